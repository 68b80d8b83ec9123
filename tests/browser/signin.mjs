// Sign-in at phone width: a wrong password says so; a plain user sees no
// approvals or invoicing, and reports of her own; an ended session asks to sign in again and keeps
// what was typed.
import { assert, run, tab, signIn, waitText, api } from './harness.mjs';

await run(async (keep) => {
  const page = keep(await tab(390));
  await signIn(page, 'alice', 'wrong', true);
  await waitText(page, '#signin-err', 'logon information you entered was incorrect');
  await page.$eval('#signin-form [name=password]', (e) => { e.value = 'pw'; });
  await page.click('#signin-form button[type=submit]');
  await page.waitForSelector('#week:not([hidden])');
  assert.deepEqual(await page.$$eval('#nav button:not([hidden])', (bs) => bs.map((b) => b.textContent)),
    ['My week', 'Timer', 'Expenses', 'Reports', 'Password', 'Sign out']);

  await page.type('#slip-form [name=description]', 'Half-typed note');
  await api(page, 'DELETE', '/sessions/current');
  await page.click('#week-next');
  await waitText(page, '#signin-msg', 'Your session has ended');
  await page.type('#signin-form [name=password]', 'pw');
  await page.click('#signin-form button[type=submit]');
  await page.waitForSelector('#week:not([hidden])');
  assert.equal(await page.$eval('#slip-form [name=description]', (e) => e.value), 'Half-typed note');
});
