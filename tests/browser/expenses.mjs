// Expenses: one added in US dollars on a new expense report, then listed.
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
  assert.deepEqual(rows.map((r) => [r[0], r[1], r[2], r[3], r[4], r[6]]),
    [['2024-03-05', 'Website relaunch', 'Train to the client (USD)', '180.00', '1.35', 'Awaiting approval']]);
  assert.match(await page.$eval('#exp-form [name=report] option:checked', (o) => o.textContent), /Halifax, March/);
});
