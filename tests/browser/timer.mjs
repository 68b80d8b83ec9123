// The timer: start, the elapsed time running, pause with the stop rounded to
// the project's 15-minute chunk, restart, and the same timer in another tab.
import { assert, run, tab, signIn, text, waitText, api, ids, finish, base } from './harness.mjs';

const now = new Date();
if (now.getHours() === 23 && now.getMinutes() >= 40) {
  console.log('SKIP timer: a pause this close to midnight would stop after 23:59');
  await finish(77);
}
const hhmm = (iso) => iso.slice(11, 16);

await run(async (keep) => {
  const page = keep(await tab());
  await signIn(page, 'alice', 'pw');
  await page.click('#nav [data-view=timer]');
  await waitText(page, '#timer-state', 'No timer is running');
  await page.select('#timer-form [name=task]', String(ids.design));
  await page.type('#timer-form [name=description]', 'Home page layout');
  await page.click('#timer-start');
  await waitText(page, '#timer-state', 'Running since');
  const first = await text(page, '#timer-clock');
  await page.waitForFunction((t) => document.querySelector('#timer-clock').textContent !== t, {}, first);
  assert.match(first, /^00:0\d:\d\d$/);

  const promised = await text(page, '#timer-pause-at');
  await page.click('#timer-pause');
  await waitText(page, '#timer-state', 'Paused');
  const paused = await api(page, 'GET', '/timer');
  assert.equal(paused.Status, 4);
  const start = new Date(paused.StartTime); const stop = new Date(paused.StopTime);
  assert.equal((stop - start) / 60000, 15);
  assert.ok(promised.includes(`stops the slip at ${hhmm(paused.StopTime)}`), promised);
  assert.ok((await text(page, '#timer-state')).includes(`to ${hhmm(paused.StopTime)}`));

  // Another tab of the same session, as the browser's duplicate of this one.
  const other = await tab();
  await other.evaluate((s) => sessionStorage.setItem('brivos.session', s),
    await page.evaluate(() => sessionStorage.getItem('brivos.session')));
  await other.goto(`${base}/#timer`);
  await other.reload();
  await waitText(other, '#timer-state', 'Paused');
  await page.bringToFront();
  await page.click('#timer-restart');
  await waitText(page, '#timer-state', 'Running since');
  await other.bringToFront();
  await other.reload();
  await waitText(other, '#timer-state', 'Running since');
  await other.click('#timer-stop');
  await waitText(other, '#timer-state', 'No timer is running');
  const slips = await api(page, 'GET', `/time-entries?from=${paused.TransDate.slice(0, 10)}&to=${paused.TransDate.slice(0, 10)}`);
  assert.deepEqual(slips.map((s) => s.Status), [1, 1]);
  await page.bringToFront();
  await page.reload();
  await waitText(page, '#timer-state', 'No timer is running');
});
