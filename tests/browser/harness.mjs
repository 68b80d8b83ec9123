// Runs one flow of the web app: a subscriber provisioned with the brivos
// program, a real `brivos serve` on a free port of 127.0.0.1, Debian's
// Chromium headless. Usage: node FLOW.mjs BRIVOS_PROGRAM OUTPUT_DIR
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import assert from 'node:assert/strict';

export { assert };
const [brivos, outDir] = process.argv.slice(2);
const chromium = process.env.BRIVOS_CHROMIUM || '/usr/bin/chromium';
const flow = basename(process.argv[1], '.mjs');
export const A = 'A100';

let puppeteer;
try { puppeteer = (await import('puppeteer-core')).default; } catch { /* reported below */ }
if (!existsSync(chromium) || !puppeteer) {
  console.log(`SKIP ${flow}: ${puppeteer ? `no Chromium at ${chromium}` : 'npm package puppeteer-core not installed (scripts/setup-browser.sh)'}`);
  process.exit(77);
}

const data = mkdtempSync(join(tmpdir(), 'brivos-web-'));
const cli = (...args) => JSON.parse(execFileSync(brivos, ['--db-dir', data, ...args], { encoding: 'utf8' }) || 'null');

// Acme: an administrator and Alice, a client on a tax code, a billable
// project in 15-minute chunks with tasks Design and Development, both on staff.
cli('init', A, '--company', 'Acme Consulting', '--user', 'admin', '--password', 'secret');
const token = cli('call', 'CSecurityMgr', 'BeginUserSession', A, 'admin', 'secret');
const call = (cls, method, ...args) => cli('call', cls, method, A, 'admin', token, ...args);
const tax = call('CCIMgr', 'AddTaxCode', 'Q', 'GST', 5, 'GST', false, 0, '', false, false, false);
const client = call('CCIMgr', 'AddClient', 'Northwind Traders', '', '', 'Halifax', 'NS', '', 'Canada', '', '', '', '', tax, '', 'Net 30');
call('CUserManager', 'AddUserProfile', 'alice', 'pw', 'Alice', 'Adams', '', 'null', false, 0, 40, 'a@acme.example', 0, 0, 0, 0, true);
const userId = (name) => call('CUserManager', 'GetUserProfile', A, name).IUserID;
const project = call('CProjectMgr', 'AddProject', 'Website relaunch', '', 2, '2024-01-01', '', true, 0, 0, true, 15, client, userId('admin'));
export const ids = {
  project, client,
  design: call('CProjectMgr', 'AddTask', project, 'Design', '', '2024-01-01', false, 'null', 0, 'null'),
  development: call('CProjectMgr', 'AddTask', project, 'Development', '', '2024-01-01', false, 'null', 0, 'null'),
  aliceStaff: call('CProjectMgr', 'AddStaff', project, userId('alice'), 120, 60, 180, 90),
  adminStaff: call('CProjectMgr', 'AddStaff', project, userId('admin'), 150, 70, 200, 100),
};
export { call, cli };

const server = spawn(brivos, ['--db-dir', data, 'serve', '--listen', '127.0.0.1:0'], { stdio: ['ignore', 'ignore', 'pipe'] });
export const base = await new Promise((resolve, reject) => {
  let seen = '';
  server.stderr.on('data', (chunk) => {
    seen += chunk;
    const m = /listening on (http:\/\/[\d.]+:\d+)/.exec(seen);
    if (m) resolve(m[1]);
  });
  server.on('exit', (code) => reject(new Error(`brivos serve exited with ${code}: ${seen}`)));
});
if (process.env.BRIVOS_WEB_DEBUG) server.stderr.pipe(process.stderr);
const watchdog = setTimeout(() => { console.error(`${flow}: timed out`); finish(1); }, 120_000);

const browser = await puppeteer.launch({ executablePath: chromium, headless: true, args: ['--no-sandbox', '--disable-background-timer-throttling', '--disable-renderer-backgrounding', '--disable-backgrounding-occluded-windows'] });
const foreign = [];
// A new tab of the app at phone or desk width; every request must go to the server.
export async function tab(width = 1100) {
  const page = await browser.newPage();
  await page.setViewport({ width, height: 800 });
  page.on('request', (r) => { if (!r.url().startsWith(base) && !/^(data|blob):/.test(r.url())) foreign.push(r.url()); });
  page.on('pageerror', (e) => { console.error(`page error: ${e.message}`); process.exitCode = 1; });
  await page.goto(`${base}/`);
  return page;
}
export async function signIn(page, user, password, refused = false) {
  await page.type('#signin-form [name=account]', A);
  await page.type('#signin-form [name=user]', user);
  await page.type('#signin-form [name=password]', password);
  await page.click('#signin-form button[type=submit]');
  if (!refused) await page.waitForSelector('#nav:not([hidden])');
}
export const text = (page, sel) => page.$eval(sel, (e) => e.textContent.trim());
export const waitText = (page, sel, want) =>
  page.waitForFunction((s, w) => document.querySelector(s)?.textContent.includes(w), { timeout: 15000, polling: 100 }, sel, want);
// The API as the app calls it, with the token the app holds.
export async function api(page, method, path, body) {
  const { token } = await page.evaluate(() => JSON.parse(sessionStorage.getItem('brivos.session')));
  const res = await fetch(`${base}/v1/accounts/${A}${path}`, { method, headers: { Authorization: `Bearer ${token}`, 'Content-Type': 'application/json' }, body: body && JSON.stringify(body) });
  return res.status === 204 ? null : res.json();
}

// axe-core's violations on the page as it stands (WCAG 2 A and AA rules),
// as "rule: target" lines; the app's policy allows no inline script, so the
// checker is evaluated through the browser's protocol.
let axeSource = null;
export async function axeViolations(page) {
  if (axeSource === null) {
    axeSource = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
  }
  if (!(await page.evaluate(() => typeof window.axe === 'object'))) await page.evaluate(axeSource);
  const found = await page.evaluate(async () => (await window.axe.run(document, {
    runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21aa'] },
  })).violations.map((v) => v.nodes.map((n) => `${v.id}: ${n.target.join(' ')}`)).flat());
  return found;
}

let shown = null;  // the page whose screenshot the flow leaves
export async function finish(code = 0) {
  clearTimeout(watchdog);
  if (shown) await shown.screenshot({ path: join(outDir, `${flow}.png`), fullPage: true }).catch(() => {});
  if (foreign.length) { console.error(`requests to other hosts: ${foreign.join(' ')}`); code = 1; }
  await browser.close();
  server.kill('SIGTERM');
  rmSync(data, { recursive: true, force: true });
  if (code !== 77) console.log(`${flow}: ${code || process.exitCode ? 'FAILED' : 'passed'}`);
  process.exit(code || process.exitCode || 0);
}
// Runs a flow; `keep` names the page to screenshot, whether it passes or not.
export async function run(body) {
  try { await body((p) => { shown = p; return p; }); await finish(0); } catch (err) { console.error(err); await finish(1); }
}
