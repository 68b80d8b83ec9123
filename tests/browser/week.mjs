// My week: slips entered, edited and deleted through the grid's form; the
// grid totals each row, each day and the week. The week submitted completes
// its paused slip; a slip sent back shows why.
import { assert, run, tab, signIn, text, waitText, api, call, ids, axeViolations } from './harness.mjs';

await run(async (keep) => {
  const page = keep(await tab());
  await signIn(page, 'admin', 'secret');
  await page.waitForSelector('#week-grid tfoot td');
  const monday = new Date(`${(await text(page, '#week-range')).slice(0, 10)}T00:00:00`);
  const day = (n) => new Date(monday.getTime() + (n * 24 + 12) * 3600e3).toISOString().slice(0, 10);
  const slips = () => page.$$eval('#week-grid .slip', (b) => b.length);
  const set = (name, value) => page.$eval(`#slip-form [name=${name}]`, (e, v) => { e.value = v; }, value);
  async function save(fields, want) {
    for (const [name, value] of Object.entries(fields)) await set(name, value);
    await page.click('#slip-save');
    // Saved once the form is empty again and the grid holds `want` slips.
    await page.waitForFunction((n) => document.querySelector('#slip-form').id.value === '' &&
      document.querySelectorAll('#week-grid .slip').length === n, {}, want);
  }
  const [design, dev] = [ids.design, ids.development].map(String);
  await save({ task: design, day: day(0), start: '09:00', stop: '10:30', description: 'Layouts' }, 1);
  await page.select('#slip-form [name=task]', dev);
  await save({ day: day(0), start: '13:00', stop: '14:15' }, 2);
  await page.select('#slip-form [name=task]', design);
  await save({ day: day(1), start: '09:00', stop: '11:00' }, 3);
  await save({ day: day(2), start: '08:00', stop: '08:45' }, 4);

  // Slip buttons come row by row (Design, then Development), each by day.
  const clickSlip = (i) => page.$$eval('#week-grid .slip', (b, n) => b[n].click(), i);
  await clickSlip(1);
  await save({ stop: '12:00' }, 4);
  await clickSlip(2);
  const asked = [];
  page.once('dialog', (d) => { asked.push(d.message()); d.accept(); });
  await page.click('#slip-delete');
  await page.waitForFunction(() => document.querySelectorAll('#week-grid .slip').length === 3);
  assert.match(asked[0], /^Delete the slip of /);

  const cells = (sel) => page.$$eval(sel, (r) => r.map((x) => [...x.cells].map((c) => c.firstChild?.textContent ?? '')));
  assert.deepEqual(await cells('#week-grid tfoot tr'),
    [['Total', '2.75', '3.00', '0.00', '0.00', '0.00', '0.00', '0.00', '5.75']]);
  assert.deepEqual((await cells('#week-grid tbody tr')).map((r) => [r[0], r[8]]),
    [['Website relaunch — Design', '4.50'], ['Website relaunch — Development', '1.25']]);
  assert.match(await text(page, '#week-grid tbody'), /09:00–12:00 Complete/);

  call('CProjectMgr', 'AddTransaction', ids.project, day(3), 9, 0, 10, 0, 'Paused', 4, 150, 70, 100, 200,
    '', ids.design, ids.adminStaff, false);
  await page.click('#week-today');
  await waitText(page, '#week-grid tbody', 'Paused');
  await page.click('#week-submit');
  await waitText(page, '#week-msg', 'Submitted 1 slip of the week for approval.');
  assert.doesNotMatch(await text(page, '#week-grid tbody'), /Paused/);

  const [first] = (await api(page, 'GET', `/time-entries?from=${day(0)}&to=${day(0)}`))
    .sort((a, b) => a.StartTime.localeCompare(b.StartTime));
  await api(page, 'PUT', `/time-entries/${first.IProjectTransactionID}/status`, { Status: 2 });
  await api(page, 'POST', `/time-entries/${first.IProjectTransactionID}/return`, { Reason: 'Split it by task' });
  await page.click('#week-today');
  await waitText(page, '#week-returns', 'Split it by task');
  assert.match(await text(page, '#week-returns li'), new RegExp(`^${day(0)} 09:00–10:30, Website relaunch — Design: Split it by task \\(admin, `));
  assert.match(await text(page, '#week-grid tbody'), /09:00–10:30 Complete, sent back/);
  assert.deepEqual(await axeViolations(page), []);
});
