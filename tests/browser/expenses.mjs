// Expenses: one added in US dollars on a new expense report, then listed
// with its report by name and date, changed, and deleted.
import { assert, run, tab, signIn, ids } from './harness.mjs';

await run(async (keep) => {
  const page = keep(await tab());
  await signIn(page, 'alice', 'pw');
  await page.click('#nav [data-view=expenses]');
  await page.waitForSelector('#exp-form [name=type] option');
  await page.select('#exp-form [name=project]', String(ids.project));
  await page.$eval('#exp-form [name=date]', (e) => { e.value = '2024-03-05'; });
  await page.type('#exp-form [name=amount]', '180');
  await page.$eval('#exp-form [name=rate]', (e) => { e.value = '1.35'; });
  await page.type('#exp-form [name=description]', 'Train to the client (USD)');
  await page.type('#exp-form [name=reportName]', 'Halifax, March');
  await page.click('#exp-form button[type=submit]');
  await page.waitForFunction(() => document.querySelector('#exp-list tbody').textContent.includes('Train'));
  const rows = await page.$$eval('#exp-list tbody tr', (r) => r.map((x) => [...x.cells].map((c) => c.textContent)));
  assert.deepEqual(rows.map((r) => r.slice(0, 7)),
    [['2024-03-05', 'Website relaunch', 'Train to the client (USD)', '180.00', '1.35', 'Halifax, March (2024-03-05)', 'Awaiting approval']]);
  assert.equal(await page.$eval('#exp-form [name=report] option:checked', (o) => o.textContent), 'Halifax, March (2024-03-05)');

  await page.click('#exp-list button[aria-label^="Edit expense"]');
  await page.$eval('#exp-form [name=amount]', (e) => { e.value = '195.50'; });
  await page.click('#exp-save');
  await page.waitForFunction(() => document.querySelector('#exp-list tbody').textContent.includes('195.50'));
  assert.equal(await page.$eval('#exp-save', (b) => b.textContent), 'Add expense');

  page.once('dialog', (d) => d.accept());
  await page.click('#exp-list button[aria-label^="Delete expense"]');
  await page.waitForFunction(() => document.querySelector('#exp-list tbody').textContent.includes('No expenses yet.'));
});
