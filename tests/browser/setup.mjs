// A firm made by `brivos init` and nothing else reaches its first issued
// invoice in the browser alone: the firm's terms, a tax code (two taxes,
// compound) with a refused value shown beside its field, a client taking the
// firm's terms, a user, a project with a task and two staff rows, slips (one
// past midnight, confirmed and stored as two, one of no length refused), the
// approval, the run, then approve and issue. axe-core finds nothing on any
// view at desk and phone width.
import { assert, run, tab, text, waitText, base, cli, axeViolations } from './harness.mjs';

const FIRM = 'N300';
cli('init', FIRM, '--company', 'Nova Advisory', '--user', 'boss', '--password', 'secret');

const asked = [];
// The API of the new firm with the token the page holds.
async function api(page, method, path) {
  const { token } = await page.evaluate(() => JSON.parse(sessionStorage.getItem('brivos.session')));
  const res = await fetch(`${base}/v1/accounts/${FIRM}${path}`, { method, headers: { Authorization: `Bearer ${token}` } });
  return res.json();
}
async function signInTo(page, account, user, password) {
  await page.type('#signin-form [name=account]', account);
  await page.type('#signin-form [name=user]', user);
  await page.type('#signin-form [name=password]', password);
  await page.click('#signin-form button[type=submit]');
  await page.waitForSelector('#nav:not([hidden])');
}
async function noViolations(page, where) {
  for (const width of [1280, 390]) {
    await page.setViewport({ width, height: 844 });
    const found = await axeViolations(page);
    assert.deepEqual(found, [], `${where} at ${width} px`);
    const wide = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    if (wide > 0) console.error(await page.evaluate(() => [...document.querySelectorAll("body *")].filter((e) => e.getBoundingClientRect().right > window.innerWidth + 1).slice(0, 8).map((e) => `${e.tagName}#${e.id}.${e.className} ${Math.round(e.getBoundingClientRect().right)}`).join("\n")));
    assert.ok(wide <= 0, `${where} scrolls sideways at ${width} px by ${wide} px`);
    const cut = await page.$$eval('.view:not([hidden]) .scroll', (boxes) => boxes.filter((b) => b.scrollWidth > b.clientWidth + 1).map((b) => b.firstElementChild?.id || b.className));
    assert.deepEqual(cut, [], `${where}: tables scroll sideways at ${width} px`);
  }
  await page.setViewport({ width: 1280, height: 844 });
}
// Types into the field named `name` of the set-up form in view.
async function fill(page, values) {
  for (const [name, value] of Object.entries(values)) {
    const sel = `#setup-body form [name=${name}]`;
    const kind = await page.$eval(sel, (e) => (e.tagName === 'SELECT' ? 'select' : e.type));
    if (kind === 'select') await page.select(sel, String(value));
    else if (kind === 'checkbox') {
      if (await page.$eval(sel, (e) => e.checked) !== value) await page.click(sel);
    } else {
      await page.$eval(sel, (e) => { e.value = ''; });
      await page.type(sel, String(value));
    }
  }
}
async function submit(page, button, waitFor) {
  await page.click(`#setup-body form .buttons button[type=submit]`);
  if (waitFor) await waitText(page, '#setup-body table', waitFor);
  assert.equal(await text(page, '#setup-body .err'), '', `after ${button}`);
}
const cells = (page) => page.$$eval('#setup-body tbody tr:first-child td', (tds) => tds.map((t) => t.textContent));
// With BRIVOS_SCREENSHOTS naming a folder, the views the README shows.
const picture = (page, name) => (process.env.BRIVOS_SCREENSHOTS
  ? page.screenshot({ path: `${process.env.BRIVOS_SCREENSHOTS}/${name}.png`, fullPage: true }) : null);
async function kind(page, name, heading) {
  await page.click(`#setup-tabs [data-kind=${name}]`);
  await waitText(page, '#setup-body h3', heading);
}

await run(async (keep) => {
  const page = keep(await tab(1280));
  page.on('dialog', (d) => { asked.push(d.message()); d.accept(); });
  // The CSV the app offers is saved in the test's own folder.
  const cdp = await page.createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: process.cwd() });
  await signInTo(page, FIRM, 'boss', 'secret');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'week-h');

  // The firm: terms and notes its invoices carry.
  await page.click('#nav [data-view=setup]');
  await page.waitForSelector('#setup-body form [name=DefaultTerms]');
  await noViolations(page, 'set-up: the firm');
  await fill(page, { DefaultTerms: 'Net 20', DefaultInvoiceNotes: 'Thank you for your business.' });
  await page.click('#setup-body form button[type=submit]');
  await waitText(page, '#status', 'Saved the firm.');

  // A tax code: a code of two characters is refused beside its field.
  await kind(page, 'taxcodes', 'Tax codes');
  await fill(page, { TaxCode: 'HS', Description: 'Harmonized', Tax1Name: 'GST', Tax1Rate: '5', Tax2Name: 'PST', Tax2Rate: '7', Tax2PiggyBack: true });
  await page.click('#setup-body form button[type=submit]');
  await waitText(page, '[data-err-for=TaxCode]', 'at most 1 character');
  assert.equal(await page.$eval('[data-err-for=TaxCode]', (e) => e.getAttribute('role')), 'alert');
  assert.equal(await page.evaluate(() => document.activeElement.name), 'TaxCode');
  await fill(page, { TaxCode: 'H' });
  await submit(page, 'tax code', 'Harmonized');
  assert.match(await text(page, '#setup-body table'), /PST 7 %, compound/);
  await noViolations(page, 'set-up: tax codes');

  // A client: its terms are the firm's unless changed.
  await kind(page, 'clients', 'Clients');
  assert.equal(await page.$eval('#setup-body form [name=DefaultTerms]', (e) => e.value), 'Net 20');
  await fill(page, { CompanyName: 'Harbour Foods', City: 'Halifax' });
  await page.select('#setup-body form [name=TaxCodeID]', await page.$eval('#setup-body form [name=TaxCodeID] option:last-child', (o) => o.value));
  await submit(page, 'client', 'Harbour Foods');
  assert.deepEqual((await cells(page)).slice(0, 3), ['Harbour Foods', 'Halifax', 'Net 20']);

  // A user who may sign in, at her rates.
  await kind(page, 'users', 'Users');
  await fill(page, { UserName: 'cara', Password: 'pw1', FirstName: 'Cara', LastName: 'Diaz', Rate: '95' });
  await submit(page, 'user', 'Cara Diaz');
  await page.type('#setup-body input[type=search]', 'cara');
  assert.equal((await page.$$('#setup-body tbody tr')).length, 1);
  await noViolations(page, 'set-up: users');

  // A project for the client, then its task and staff.
  await kind(page, 'projects', 'Projects');
  await fill(page, { Name: 'Menu costing', StartDate: '', TimeChunk: '15' });
  await page.click('#setup-body form button[type=submit]');
  await waitText(page, '[data-err-for=StartDate]', 'Start is needed');
  await page.$eval('#setup-body form [name=StartDate]', (e) => { e.value = '2024-01-01'; });
  await submit(page, 'project', 'Menu costing');
  await page.click('#setup-body tbody button[aria-label="Edit project Menu costing"]');
  await waitText(page, '#setup-body .children', 'Tasks of this project');
  const tasks = '#setup-body .children > div:nth-child(1)';
  await page.type(`${tasks} form [name=Name]`, 'Costing');
  await page.$eval(`${tasks} form [name=EffectiveDate]`, (e) => { e.value = '2024-01-01'; });
  await page.click(`${tasks} form button[type=submit]`);
  await waitText(page, `${tasks} table`, 'Costing');
  const staff = '#setup-body .children > div:nth-child(2)';
  for (const [who, rate] of [['boss', '120'], ['Cara Diaz', '95']]) {
    const value = await page.$$eval(`${staff} form [name=UserID] option`, (os, w) => os.find((o) => o.textContent === w).value, who);
    await page.select(`${staff} form [name=UserID]`, value);
    for (const name of ['Rate', 'Cost', 'OTRate', 'OTCost']) {
      await page.$eval(`${staff} form [name=${name}]`, (e, v) => { e.value = v; }, name === 'Rate' ? rate : '50');
    }
    await page.click(`${staff} form button[type=submit]`);
    await waitText(page, `${staff} table`, `${rate}.00`);
  }
  await noViolations(page, 'set-up: a project with its tasks and staff');
  await picture(page, 'setup');

  // The boss's slips: 09:00-12:00, a slip of no length refused, 22:00-01:00
  // confirmed as work past midnight and stored as two slips.
  await page.click('#nav [data-view=week]');
  await page.waitForFunction(() => document.querySelector('#slip-form [name=task]').options.length > 0);
  const slip = async (day, start, stop) => {
    await page.$eval('#slip-form [name=day]', (e, v) => { e.value = v; }, day);
    await page.$eval('#slip-form [name=start]', (e, v) => { e.value = v; }, start);
    await page.$eval('#slip-form [name=stop]', (e, v) => { e.value = v; }, stop);
    await page.click('#slip-save');
  };
  await slip('2024-03-04', '09:00', '12:00');
  await waitText(page, '#week-range', '2024-03-04');
  await waitText(page, '#week-total', '3.00');
  await slip('2024-03-05', '10:00', '10:00');
  await waitText(page, '#slip-err', 'no length');
  await slip('2024-03-05', '22:00', '01:00');
  await waitText(page, '#week-total', '5.98');
  assert.ok(asked.some((m) => /run past midnight/.test(m)), asked.join(' | '));
  assert.equal((await api(page, 'GET', '/time-entries?from=2024-03-04&to=2024-03-10')).length, 3);
  // Hours typed into the grid, one save for the week: Wednesday's 1 h made
  // 3.5 h, the 2.5 h more after that day's slip (00:00-01:00), so 01:00-03:30.
  const wednesday = '#week-grid input.cell[aria-label*="Wed 03-06"]';
  await page.click(wednesday, { clickCount: 3 });
  await page.type(wednesday, '3.5');
  await page.click('#week-save');
  await waitText(page, '#week-total', '8.48');
  assert.match(await text(page, '#week-grid tbody'), /01:00–03:30 Complete/);
  // A slip stored as the library takes it from elsewhere: stop before start.
  const { token } = await page.evaluate(() => JSON.parse(sessionStorage.getItem('brivos.session')));
  const project = (await api(page, 'GET', '/projects'))[0];
  const task = (await api(page, 'GET', `/projects/${project.IProjectID}/tasks`))[0];
  const res = await fetch(`${base}/v1/accounts/${FIRM}/time-entries`, { method: 'POST', headers: { Authorization: `Bearer ${token}`, 'Content-Type': 'application/json' },
    body: JSON.stringify({ ProjectID: project.IProjectID, TaskID: task.IProjectTaskID, TransDate: '2024-03-07', StartHour: 14, StartMinute: 0, EndHour: 13, EndMinute: 0, Description: '', Status: 1, Error: '', OverTime: false }) });
  assert.equal(res.status, 201);
  await noViolations(page, 'the week');

  // Approval, the preview, the run; approve and issue.
  await page.click('#nav [data-view=approvals]');
  await waitText(page, '#appr-list', 'week of 2024-03-04');
  await page.click('#appr-list thead input');
  await page.click('#appr-selected');
  await waitText(page, '#appr-list', 'Nothing awaits approval');
  await page.click('#nav [data-view=invoicing]');
  await page.$eval('#inv-form [name=cutoff]', (e) => { e.value = '2024-03-31'; });
  await page.click('#inv-form button[type=submit]');
  await page.waitForSelector('#inv-projects');
  assert.match(await text(page, '#inv-warnings'), /Menu costing: the slip of 2024-03-07 \d\d:\d\d-\d\d:\d\d \(Costing, .*\) bills -1.00 h/);
  await page.click('#inv-run');
  await waitText(page, '#inv-preview', 'Invoicing made 1 invoice.');
  await page.waitForSelector('#inv-list tbody button[aria-label^="Approve invoice"]');
  await noViolations(page, 'invoicing');
  await page.click('#inv-list tbody button[aria-label^="Approve invoice"]');
  await page.waitForSelector('#inv-list tbody button[aria-label^="Issue invoice"]');
  await page.click('#inv-list tbody button[aria-label^="Issue invoice"]');
  await waitText(page, '#status', 'Issued invoice');
  assert.equal(await page.$eval('#inv-status', (e) => e.value), '2');
  const [issued] = await api(page, 'GET', '/invoices?status=2');
  assert.equal(issued.Terms, 'Net 20');
  assert.equal(await page.$('#inv-list tbody button[aria-label^="Delete invoice"]'), null);
  await page.click('#inv-list tbody button[aria-label^="Open invoice"]');
  await waitText(page, '#inv-doc', 'Harbour Foods');
  await page.click('#inv-close');
  assert.match(await page.evaluate(() => document.activeElement.getAttribute('aria-label') || ''), /^Open invoice/);

  // The report of hours by project agrees with the slips themselves, and
  // the CSV export holds one line per slip.
  await page.click('#nav [data-view=reports]');
  await page.$eval('#rep-form [name=from]', (e) => { e.value = '2024-03-01'; });
  await page.$eval('#rep-form [name=to]', (e) => { e.value = '2024-03-31'; });
  await page.click('#rep-form button[type=submit]');
  await page.waitForSelector('#rep-table');
  const slips = await api(page, 'GET', '/time-entries?from=2024-03-01&to=2024-03-31');
  const minutes = slips.reduce((sum, t) => sum + (new Date(t.StopTime) - new Date(t.StartTime)) / 60000, 0);
  assert.deepEqual(await page.$$eval('#rep-table tbody td', (tds) => tds.slice(0, 2).map((t) => t.textContent)),
    ['Menu costing', (minutes / 60).toFixed(2)]);
  assert.ok(await page.$('#rep-out svg rect'));
  await noViolations(page, 'reports');
  await picture(page, 'report');
  await page.click('#rep-csv');
  await waitText(page, '#status', 'exported as CSV');
  const { token: bossToken } = await page.evaluate(() => JSON.parse(sessionStorage.getItem('brivos.session')));
  const csv = await (await fetch(`${base}/v1/accounts/${FIRM}/exports/time-entries?from=2024-03-01&to=2024-03-31`, { headers: { Authorization: `Bearer ${bossToken}` } })).text();
  const lines = csv.split('\r\n').filter(Boolean);
  assert.equal(lines[0], 'Project,Task,Person,Date,Start,Stop,Hours,Status,Amount');
  assert.equal(lines.length, slips.length + 1);
  assert.ok(lines.includes('Menu costing,Costing,boss,2024-03-05,22:00,23:59,1.98,Billed,238'), lines.join('\n'));

  // Cara signs in with the password the administrator gave and changes it.
  const other = await tab(390);
  await signInTo(other, FIRM, 'cara', 'pw1');
  await other.click('#nav [data-view=password]');
  await other.type('#pw-form [name=old]', 'pw1');
  await other.type('#pw-form [name=new]', 'pw2');
  await other.type('#pw-form [name=again]', 'pw3');
  await other.click('#pw-form button[type=submit]');
  await waitText(other, '#pw-form [data-err-for=again]', 'differ');
  await other.$eval('#pw-form [name=again]', (e) => { e.value = 'pw2'; });
  await other.click('#pw-form button[type=submit]');
  await waitText(other, '#pw-form', 'Your password is changed.');
  await noViolations(other, 'the password change');
  // Her reports are her own hours, by project and by week: none in the
  // dates of the boss's slips.
  await other.click('#nav [data-view=reports]');
  await waitText(other, '#rep-h', 'My reports');
  assert.deepEqual(await other.$$eval('#rep-form [name=kind] option:not([disabled])', (os) => os.map((o) => o.value)),
    ['hours?by=project', 'hours?by=week']);
  await other.$eval('#rep-form [name=from]', (e) => { e.value = '2024-03-01'; });
  await other.$eval('#rep-form [name=to]', (e) => { e.value = '2024-03-31'; });
  await other.click('#rep-form button[type=submit]');
  await waitText(other, '#rep-out', 'Nothing in these dates.');
  await other.click('#rep-csv-expenses');
  await waitText(other, '#status', 'expenses are exported as CSV');
  // The flow's screenshot is of the administrator's tab, brought back to the front.
  await other.close();
  await page.bringToFront();
});
