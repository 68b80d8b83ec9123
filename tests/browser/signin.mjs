// Sign-in at phone width: a wrong password says so; a plain user sees no
// approvals or invoicing, and reports of her own; an ended session asks to
// sign in again and keeps what was typed; someone else signing in there drops
// what was under way.
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

  // A slip saved as the session ends is stored for Alice once she signs in
  // again, never for the administrator who signs in instead.
  const today = await page.$eval('#slip-form [name=day]', (e) => e.value);
  await page.$eval('#slip-form [name=start]', (e) => { e.value = '09:00'; });
  await page.$eval('#slip-form [name=stop]', (e) => { e.value = '10:00'; });
  await api(page, 'DELETE', '/sessions/current');
  await page.click('#slip-save');
  await waitText(page, '#signin-msg', 'Your session has ended');
  await page.$eval('#signin-form [name=user]', (e) => { e.value = 'admin'; });
  await page.type('#signin-form [name=password]', 'secret');
  await page.click('#signin-form button[type=submit]');
  await waitText(page, '#notice', 'What alice had under way when the session ended was dropped, not carried out as admin.');
  await page.waitForSelector('#week:not([hidden])');
  assert.deepEqual(await api(page, 'GET', `/time-entries?from=${today}&to=${today}`), []);
  assert.equal(await page.$eval('#slip-form [name=description]', (e) => e.value), '');
});
