// An administrator approves Alice's week, previews invoicing (a paused slip
// left out as not approved), runs it and opens the invoice, whose total is
// GetInvoiceTotal's.
import { assert, run, tab, signIn, text, waitText, api, call, ids } from './harness.mjs';

const slip = (day, from, to, status, task) => call('CProjectMgr', 'AddTransaction', ids.project, day,
  from, 0, to, 30, 'Work', status, 120, 60, 90, 180, '', task, ids.aliceStaff, false);
slip('2024-03-04', 9, 10, 1, ids.design);
slip('2024-03-05', 13, 15, 1, ids.development);
slip('2024-03-06', 9, 9, 4, ids.design);
call('CProjectMgr', 'AddExpense', 0, ids.project, '2024-03-05', '', '', 180, 10, 'Train', false,
  ids.aliceStaff, 25, 1.35, 1, '', '', '', 0, 0, 0);

await run(async (keep) => {
  const page = keep(await tab());
  await signIn(page, 'admin', 'secret');
  await page.click('#nav [data-view=approvals]');
  await waitText(page, '#appr-list', 'Alice Adams, week of 2024-03-04');
  assert.equal((await page.$$('#appr-list .pick')).length, 3);
  await page.click('#appr-list thead input');
  await page.click('#appr-selected');
  await waitText(page, '#appr-list', 'Nothing awaits approval');

  await page.click('#nav [data-view=invoicing]');
  await page.$eval('#inv-form [name=cutoff]', (e) => { e.value = '2024-03-31'; });
  await page.click('#inv-form button[type=submit]');
  await page.waitForSelector('#inv-left-out');
  assert.match(await text(page, '#inv-left-out tbody'), /2024-03-06.*not approved/);
  await page.click('#inv-run');
  await waitText(page, '#inv-preview', 'Invoicing made 1 invoice.');
  await page.waitForSelector('#inv-list tbody button');
  await page.click('#inv-list tbody button');
  await page.waitForFunction(() => document.querySelector('#inv-frame').src.startsWith('blob:'));
  const frame = await (await page.$('#inv-frame')).contentFrame();
  await frame.waitForFunction(() => document.body && document.body.innerText.includes('Total'));
  const [invoice] = await api(page, 'GET', '/invoices?status=0');
  const total = (await api(page, 'POST', '/call/CInvoiceMgr/GetInvoiceTotal', { InvoiceID: invoice.IProjectInvoiceID })).result;
  const [, shown] = /Total\s+([\d.]+)\s*$/.exec(await frame.$eval('body', (b) => b.innerText));
  assert.equal(Number(shown), Number(total));
});
