// An administrator approves Alice's week and her expense at a markup, sends
// one slip back with a reason, previews invoicing (a paused and the sent-back
// slip left out as not approved, the library's warning of a slip of less than
// no time), runs it and opens the client's copy in cents, whose rounding line
// reconciles it with GetInvoiceTotal.
import { assert, run, tab, signIn, text, waitText, api, call, ids, axeViolations } from './harness.mjs';

const slip = (day, from, to, status, task) => call('CProjectMgr', 'AddTransaction', ids.project, day,
  from, 0, to, 30, 'Work', status, 120, 60, 90, 180, '', task, ids.aliceStaff, false);
slip('2024-03-04', 9, 10, 1, ids.design);
slip('2024-03-05', 13, 15, 1, ids.development);
slip('2024-03-06', 9, 9, 4, ids.design);
slip('2024-03-07', 11, 10, 1, ids.design);
call('CProjectMgr', 'AddExpense', 0, ids.project, '2024-03-05', '', '', 180, 10, 'Train', false,
  ids.aliceStaff, 25, 1.35, 1, '', '', '', 0, 0, 0);

await run(async (keep) => {
  const page = keep(await tab());
  await signIn(page, 'admin', 'secret');
  await page.click('#nav [data-view=approvals]');
  await waitText(page, '#appr-list', 'Alice Adams, week of 2024-03-04');
  assert.equal((await page.$$('#appr-list .pick')).length, 4);
  await page.$eval('#appr-list input.markup', (e) => { e.value = '12.5'; });
  assert.deepEqual(await axeViolations(page), []);
  await page.click('#appr-list thead input');
  await page.click('#appr-selected');
  await waitText(page, '#appr-list', 'Nothing awaits approval');
  await waitText(page, '#appr-approved', '2024-03-05 13:00–15:30');
  page.once('dialog', (d) => d.accept('Wrong task: this was design'));
  await page.click('#appr-approved button[aria-label="Send back slip of 2024-03-05 13:00 to 15:30"]');
  await page.waitForFunction(() => !document.querySelector('#appr-approved').textContent.includes('2024-03-05'));
  assert.deepEqual(await axeViolations(page), []);
  const back = call('CProjectMgr', 'GetReturnedTransactions', '2024-03-04', 'alice');
  assert.deepEqual(back.map((r) => r.Reason), ['Wrong task: this was design']);

  await page.click('#nav [data-view=invoicing]');
  await page.$eval('#inv-form [name=cutoff]', (e) => { e.value = '2024-03-31'; });
  await page.click('#inv-form button[type=submit]');
  await page.waitForSelector('#inv-left-out');
  for (const day of ['2024-03-05', '2024-03-06']) {
    assert.match(await text(page, '#inv-left-out tbody'), new RegExp(`${day}.*not approved`));
  }
  assert.deepEqual(await page.$$eval('#inv-warnings li', (l) => l.map((x) => x.textContent)),
    ['Website relaunch: the slip of 2024-03-07 11:00-10:30 (Design, Alice Adams) bills -0.50 h.']);
  await page.click('#inv-run');
  await waitText(page, '#inv-preview', 'Invoicing made 1 invoice.');
  await page.waitForSelector('#inv-list tbody button');
  await page.click('#inv-list tbody button');
  await page.waitForSelector('#inv-copy tfoot tr.payable');
  const [invoice] = await api(page, 'GET', '/invoices?status=0');
  const total = (await api(page, 'POST', '/call/CInvoiceMgr/GetInvoiceTotal', { InvoiceID: invoice.IProjectInvoiceID })).result;
  // 1.5 h and -0.5 h at 120, GST 5 % on the time, 180 USD at 1.35 with 12.5 % markup.
  const foot = await page.$$eval('#inv-copy tfoot tr', (r) => r.map((x) => [...x.cells].map((c) => c.textContent)));
  assert.deepEqual(foot, [['Net', '393.38'], ['GST 5 % on 120.00', '6.00'], ['Total payable', '399.38'],
    ['Exact total', '399.3750'], ['Rounding to cents', '+0.0050']]);
  assert.equal(Number(total), 399.375);
  assert.equal(await page.$eval('#inv-exact tr.total td', (c) => c.textContent), '399.3750');
  // The copy fits the width of an A4 or Letter page.
  assert.ok(await page.$eval('.inv-copy', (e) => e.getBoundingClientRect().width) <= 181 * 96 / 25.4);
  assert.deepEqual(await axeViolations(page), []);
});
