// The BRIVOS web app: sign-in, the week of time slips, the timer, expenses,
// approvals and invoicing, over the server's HTTP API and nothing else.
'use strict';

const $ = (sel, root = document) => root.querySelector(sel);
const $$ = (sel, root = document) => [...root.querySelectorAll(sel)];
const el = (tag, props = {}, ...kids) => {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === 'class') e.className = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (k in e && typeof v !== 'string') e[k] = v;
    else e.setAttribute(k, v);
  }
  for (const kid of kids.flat()) if (kid != null) e.append(kid);
  return e;
};

// ---- the session ---------------------------------------------------------

const KEY = 'brivos.session';
let session = JSON.parse(sessionStorage.getItem(KEY) || 'null');
let me = null;  // the caller's IUser record
let resumeAfterSignIn = [];  // requests waiting for a new session: { resume, drop }

// A request that waited for a new session and was not sent, because
// someone else signed in.
class Dropped extends Error {}

class ApiError extends Error {
  constructor(status, problem) {
    super(problem.detail || problem.title || `HTTP ${status}`);
    this.status = status;
    this.problem = problem;
  }
}

// A call of the API under the account signed in to: the parsed JSON, the
// text for `accept` other than JSON, or null for 204. A refused token shows
// the sign-in with a message and repeats the call once signed in again, so
// nothing typed is lost; a different user signing in there drops it.
async function api(method, path, body, accept = 'application/json') {
  const headers = { Accept: accept };
  if (session) headers.Authorization = `Bearer ${session.token}`;
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  const res = await fetch(`/v1/accounts/${encodeURIComponent(session.account)}${path}`, {
    method, headers, body: body === undefined ? undefined : JSON.stringify(body),
  });
  if (res.status === 401) {
    await new Promise((resume, drop) => { resumeAfterSignIn.push({ resume, drop }); expired(); });
    return api(method, path, body, accept);
  }
  return answer(res, accept);
}

async function answer(res, accept) {
  if (res.status === 204) return null;
  const type = res.headers.get('Content-Type') || '';
  if (!res.ok) {
    let problem = { title: res.statusText };
    if (type.includes('json')) problem = await res.json();
    if (res.status === 429 && res.headers.get('Retry-After')) {
      problem.detail = `${problem.detail || 'Too many attempts.'} Try again in ${res.headers.get('Retry-After')} seconds.`;
    }
    throw new ApiError(res.status, problem);
  }
  return accept === 'application/json' ? res.json() : res.text();
}

const call = (cls, method, args = {}) =>
  api('POST', `/call/${cls}/${method}`, args).then((r) => r.result);

function showError(target, err) {
  const box = typeof target === 'string' ? $(target) : target;
  if (!err) { box.textContent = ''; return; }
  const p = err.problem;
  box.textContent = p && p.number != null ? `${err.message} (error ${p.number})` : err.message;
}

// Runs `work` for a button or form, its errors shown in `errBox`.
async function guarded(errBox, work) {
  showError(errBox, null);
  try { await work(); } catch (err) { if (!(err instanceof Dropped)) showError(errBox, err); }
}

function expired() {
  $('#signin-msg').textContent = 'Your session has ended. Sign in again to carry on; nothing you typed is lost.';
  const f = $('#signin-form');
  if (!$('#nav').hidden) {
    $$('.view').forEach((v) => { v.dataset.was = v.hidden ? '' : '1'; v.hidden = true; });
    $('#nav').hidden = true;
  }
  if ($('#signin').hidden) {
    f.account.value = session.account;
    f.user.value = session.user;
    f.password.value = '';
    $('#signin').hidden = false;
  }
  f.password.focus();
}

async function signIn(ev) {
  ev.preventDefault();
  const f = ev.target;
  const account = f.account.value.trim();
  const user = f.user.value.trim();
  await guarded('#signin-err', async () => {
    const res = await fetch(`/v1/accounts/${encodeURIComponent(account)}/sessions`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', Accept: 'application/json' },
      body: JSON.stringify({ UserName: user, Password: f.password.value }),
    });
    const s = await answer(res, 'application/json');
    const was = session;
    const same = session && session.account === account && session.user.toLowerCase() === user.toLowerCase();
    session = { account, user: s.UserName || user, token: s.Token };
    sessionStorage.setItem(KEY, JSON.stringify(session));
    f.password.value = '';
    $('#signin-msg').textContent = '';
    const waiting = resumeAfterSignIn;
    resumeAfterSignIn = [];
    if (same && waiting.length) {
      $('#signin').hidden = true;
      $('#nav').hidden = false;
      $$('.view').forEach((v) => { v.hidden = v.dataset.was !== '1'; });
      waiting.forEach((w) => w.resume());
    } else {
      if (waiting.length) {
        // What the last user had under way is theirs: never sent as the new one.
        waiting.forEach((w) => w.drop(new Dropped('dropped at a change of user')));
        forgetUser();
        notice(`Signed in as ${session.user}. What ${was.user} had under way when the session ended was dropped, not carried out as ${session.user}.`);
      }
      await start();
    }
  });
}

function notice(text) {
  $('#notice').textContent = text;
  $('#notice').hidden = !text;
}

// Forgets what the app holds of the user signed in before: loaded records
// and the forms' values.
function forgetUser() {
  projects = tasks = loading = timerSlip = null;
  reports = new Map();
  weekSlips = [];
  extraRows = [];
  returned = new Map();
  $$('#slip-form, #exp-form, #timer-form').forEach((f) => {
    f.reset();
    $$('select', f).forEach((sel) => sel.replaceChildren());
  });
  resetSlipForm();
  resetExpenseForm();
}

async function signOut() {
  try { await api('DELETE', '/sessions/current'); } catch { /* signed out either way */ }
  sessionStorage.removeItem(KEY);
  location.hash = '';
  location.reload();
}

// ---- formats, as the printed invoice writes them -------------------------

const pad = (n) => String(n).padStart(2, '0');
const isoDay = (d) => `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())}`;
// The library's dates are local times as ISO text ("2024-03-05T09:00:01").
const parseDate = (s) => (s == null ? null : new Date(String(s).replace(' ', 'T').length === 10 ? `${s}T00:00:00` : String(s).replace(' ', 'T')));
const hhmm = (d) => `${pad(d.getHours())}:${pad(d.getMinutes())}`;
const dayText = (s) => (s == null ? '' : String(s).slice(0, 10));
function dateText(s) {
  if (s == null) return '';
  const d = parseDate(s);
  const time = `${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}`;
  return time === '00:00:00' ? isoDay(d) : `${isoDay(d)} ${time}`;
}
const hours = (minutes) => (minutes / 60).toFixed(2);

// Amounts come as decimal text with four places. A column shows two
// decimals, or four when one of its amounts has a fraction of a cent.
function fraction(v) {
  const [, frac = ''] = String(v).split('.');
  return frac.padEnd(4, '0');
}
const amountDecimals = (values) =>
  (values.some((v) => v != null && fraction(v).slice(2) !== '00') ? 4 : 2);
function amount(v, decimals = 4) {
  if (v == null || v === '') return '';
  const [whole] = String(v).split('.');
  return `${whole}.${fraction(v).slice(0, decimals)}`;
}
const plainNumber = (v) => (v == null ? '' : String(Number(v)));

const SLIP_STATUS = ['Running', 'Complete', 'Approved', 'Billed', 'Paused'];
const slipMinutes = (t) => {
  const a = parseDate(t.StartTime); const b = parseDate(t.StopTime);
  return a && b ? Math.round((b - a) / 60000) : 0;
};
const editable = (t) => t.Status !== 2 && t.Status !== 3;

// A table read as a list of cards at phone width: each cell carries its
// column's name.
function labelCells(table) {
  table.classList.add('list');
  const names = [...table.querySelectorAll('thead th')].map((th) => th.textContent.trim());
  for (const tr of table.querySelectorAll('tbody tr')) {
    [...tr.cells].forEach((td, i) => { if (names[i] && tr.cells.length > 1) td.dataset.label = names[i]; });
  }
  return table;
}

// ---- projects and tasks --------------------------------------------------

let projects = null;  // IProject records by ID
let tasks = null;     // IProjectTask records by ID

let loading = null;

// Loads projects and their tasks once; every view waits for the same load.
function loadProjects() {
  loading = loading || (async () => {
    const list = await api('GET', '/projects?per_page=1000');
    const found = new Map();
    await Promise.all(list.map(async (p) => {
      for (const t of await api('GET', `/projects/${p.IProjectID}/tasks?per_page=1000`)) {
        found.set(t.IProjectTaskID, { ...t, ProjectID: t.ProjectID ?? p.IProjectID });
      }
    }));
    projects = new Map(list.map((p) => [p.IProjectID, p]));
    tasks = found;
  })().catch((err) => { loading = null; throw err; });
  return loading;
}
const projectName = (id) => (projects.get(id) || { Name: `Project ${id}` }).Name;
const taskName = (id) => (tasks.get(id) || { Name: id == null ? '' : `Task ${id}` }).Name;

function fillSelect(select, options, keep = true) {
  const old = select.value;
  select.replaceChildren(...options.map(([value, text]) => el('option', { value: String(value) }, text)));
  if (keep && options.some(([v]) => String(v) === old)) select.value = old;
}
const projectOptions = () => [...projects.values()].map((p) => [p.IProjectID, p.Name]);
function taskOptions(projectId) {
  return [...tasks.values()]
    .filter((t) => projectId == null || t.ProjectID === projectId)
    .filter((t) => !t.Inactive)
    .map((t) => [t.IProjectTaskID, projectId == null ? `${projectName(t.ProjectID)} — ${t.Name}` : t.Name]);
}

// ---- My week -------------------------------------------------------------

let weekStart = monday(new Date());
let weekSlips = [];
let returned = new Map();  // why slips of the week were sent back, by slip ID

function monday(d) {
  const m = new Date(d.getFullYear(), d.getMonth(), d.getDate());
  m.setDate(m.getDate() - ((m.getDay() + 6) % 7));
  return m;
}
const addDays = (d, n) => new Date(d.getFullYear(), d.getMonth(), d.getDate() + n);

async function showWeek() {
  await guarded('#week-err', async () => {
    await loadProjects();
    const f = $('#slip-form');
    if (!f.project.options.length) {
      fillSelect(f.project, projectOptions());
      fillSelect(f.task, taskOptions(Number(f.project.value)));
    }
    if (!f.day.value) f.day.value = isoDay(new Date());
    const to = addDays(weekStart, 6);
    $('#week-msg').textContent = '';
    [weekSlips, returned] = await Promise.all([
      api('GET', `/time-entries?from=${isoDay(weekStart)}&to=${isoDay(to)}&per_page=1000`),
      api('GET', `/returned-slips?week=${isoDay(weekStart)}`).then((list) => new Map(list.map((r) => [r.TransID, r]))),
    ]);
    $('#week-range').textContent = `${isoDay(weekStart)} to ${isoDay(to)}`;
    drawWeek();
  });
}

// Rows of the grid the person added this week before typing into them.
let extraRows = [];

function drawWeek() {
  const days = [...Array(7)].map((_, i) => addDays(weekStart, i));
  const keys = days.map(isoDay);
  const rows = new Map();
  const addRow = (projectId, taskId) => {
    const key = `${projectId}/${taskId}`;
    if (!rows.has(key)) rows.set(key, { t: { ProjectID: projectId, TaskID: taskId }, cells: keys.map(() => []) });
    return rows.get(key);
  };
  for (const t of weekSlips) {
    const i = keys.indexOf(dayText(t.TransDate));
    const row = addRow(t.ProjectID, t.TaskID);
    if (i >= 0) row.cells[i].push(t);
  }
  for (const [projectId, taskId] of extraRows) addRow(projectId, taskId);
  const dayTotals = keys.map(() => 0);
  const names = ['Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat', 'Sun'];
  const dayLabel = (i) => `${names[i]} ${keys[i].slice(5)}`;
  $('#week-grid thead').replaceChildren(el('tr', {},
    el('th', { scope: 'col' }, 'Project — task'),
    days.map((d, i) => el('th', { scope: 'col', class: 'num' }, dayLabel(i))),
    el('th', { scope: 'col', class: 'num' }, 'Week')));
  const body = [...rows.values()].map(({ t, cells }) => {
    let rowTotal = 0;
    const rowName = `${projectName(t.ProjectID)} — ${taskName(t.TaskID)}`;
    const tds = cells.map((slips, i) => {
      const minutes = slips.reduce((sum, x) => sum + slipMinutes(x), 0);
      rowTotal += minutes;
      dayTotals[i] += minutes;
      // The day's hours, typed straight in; a cell holding an approved or
      // billed slip is read only.
      const input = el('input', {
        class: 'cell', inputmode: 'decimal', size: '4', 'aria-label': `${rowName}, ${dayLabel(i)}, hours`,
        value: slips.length ? hours(minutes) : '', readOnly: !slips.every(editable),
      });
      Object.assign(input.dataset, { project: t.ProjectID, task: t.TaskID, day: keys[i], was: String(minutes) });
      return el('td', { class: 'num', 'data-label': dayLabel(i) }, input,
        slips.map((x) => el('button', {
          type: 'button', class: 'slip',
          'aria-label': `${editable(x) ? 'Edit' : 'Open'} slip ${hhmm(parseDate(x.StartTime))}–${hhmm(parseDate(x.StopTime))} ${SLIP_STATUS[x.Status] || x.Status}${returned.has(x.IProjectTransactionID) ? ', sent back' : ''}`,
          onclick: () => editSlip(x),
        }, `${hhmm(parseDate(x.StartTime))}–${hhmm(parseDate(x.StopTime))}${x.OverTime ? ' OT' : ''} `,
        el('span', { class: 'status' }, `${SLIP_STATUS[x.Status] || String(x.Status)}${returned.has(x.IProjectTransactionID) ? ', sent back' : ''}`))));
    });
    return el('tr', {}, el('th', { scope: 'row' }, rowName),
      tds, el('td', { class: 'num', 'data-label': 'Week' }, hours(rowTotal)));
  });
  if (!body.length) body.push(el('tr', {}, el('td', { colspan: '9' }, 'No slips this week: add a row to type hours.')));
  $('#week-grid tbody').replaceChildren(...body);
  const week = dayTotals.reduce((a, b) => a + b, 0);
  $('#week-grid tfoot').replaceChildren(el('tr', {}, el('th', { scope: 'row' }, 'Total'),
    dayTotals.map((m, i) => el('td', { class: 'num', 'data-label': dayLabel(i) }, hours(m))),
    el('td', { class: 'num', id: 'week-total', 'data-label': 'Week' }, hours(week))));
  fillSelect($('#week-add-task'), taskOptions(null));
  // Slips an administrator sent back, with the reason given.
  const back = weekSlips.filter((x) => returned.has(x.IProjectTransactionID));
  $('#week-returns').replaceChildren(...(back.length ? [el('h3', {}, 'Sent back to you'),
    el('ul', { class: 'returns warn' }, back.map((x) => {
      const r = returned.get(x.IProjectTransactionID);
      return el('li', {}, `${dayText(x.TransDate)} ${hhmm(parseDate(x.StartTime))}–${hhmm(parseDate(x.StopTime))}, ${projectName(x.ProjectID)} — ${taskName(x.TaskID)}: ${r.Reason} (${r.ReturnedBy}, ${dayText(r.ReturnedOn)})`);
    }))] : []));
}

// Submits the week for approval: its paused slips and those entered
// running become complete; a running timer keeps running.
async function submitWeek() {
  await guarded('#week-err', async () => {
    const { Submitted: n } = await api('POST', '/week-submissions', { WeekDate: isoDay(weekStart) });
    await showWeek();
    $('#week-msg').textContent = n
      ? `Submitted ${n} slip${n === 1 ? '' : 's'} of the week for approval.`
      : 'Nothing to submit: the slips of the week are complete, approved or running.';
  });
}

// Hours typed in the grid become slips: more hours add a slip of the
// difference after the day's last slip (from 09:00 on an empty day); fewer
// shorten or delete the row's slips of that day from the last one on. All
// cells are checked before anything is stored.
async function saveWeek() {
  const errBox = $('#week-err');
  await guarded(errBox, async () => {
    const changed = $$('#week-grid input.cell').filter((c) => !c.readOnly && c.value.trim() !== (Number(c.dataset.was) ? hours(Number(c.dataset.was)) : ''));
    const plans = [];
    for (const c of changed) {
      const text = c.value.trim();
      const want = text === '' ? 0 : Number(text.replace(',', '.'));
      if (!Number.isFinite(want) || want < 0 || want > 24) {
        c.focus();
        throw new Error(`${c.getAttribute('aria-label')}: type hours from 0 to 24 (such as 1.5).`);
      }
      plans.push({ c, minutes: Math.round(want * 60) });
    }
    if (!plans.length) { $('#status').textContent = 'Nothing to save: no hours changed.'; return; }
    // Each day's total as it will be, checked before any slip is stored.
    for (const day of new Set(plans.map((p) => p.c.dataset.day))) {
      const total = $$('#week-grid input.cell').filter((c) => c.dataset.day === day).reduce((sum, c) => {
        const plan = plans.find((p) => p.c === c);
        return sum + (plan ? plan.minutes : Number(c.dataset.was));
      }, 0);
      if (total > 24 * 60) throw new Error(`${day} would hold ${hours(total)} hours, more than a day has.`);
      const ahead = (parseDate(day) - parseDate(isoDay(new Date()))) / 86400000;
      if (ahead > DAYS_AHEAD && !window.confirm(`${day} is ${Math.round(ahead)} days from today. Store hours for it?`)) return;
    }
    for (const { c, minutes } of plans) {
      const { day } = c.dataset;
      const projectId = Number(c.dataset.project); const taskId = Number(c.dataset.task);
      const mine = weekSlips.filter((t) => dayText(t.TransDate) === day && t.ProjectID === projectId && t.TaskID === taskId)
        .sort((a, b) => parseDate(a.StartTime) - parseDate(b.StartTime));
      let diff = minutes - Number(c.dataset.was);
      if (diff > 0) {
        const ends = weekSlips.filter((t) => dayText(t.TransDate) === day).map((t) => (slipSpan(t) || [0, 0])[1]);
        const from = ends.length ? Math.max(...ends) : 9 * 60;
        if (from + diff > 23 * 60 + 59) throw new Error(`${c.getAttribute('aria-label')}: ${hours(diff)} more hours after ${pad(Math.floor(from / 60))}:${pad(from % 60)} run past midnight; enter them with start and stop below.`);
        const to = from + diff;
        const added = await api('POST', '/time-entries', {
          ProjectID: projectId, TaskID: taskId, TransDate: day, StartHour: Math.floor(from / 60), StartMinute: from % 60,
          EndHour: Math.floor(to / 60), EndMinute: to % 60, Description: '', OverTime: false, Status: 1, Error: '',
        });
        weekSlips.push(added);
      }
      while (diff < 0 && mine.length) {
        const last = mine.pop();
        const [a, b] = slipSpan(last);
        if (b - a <= -diff) {
          await api('DELETE', `/time-entries/${last.IProjectTransactionID}`);
          diff += b - a;
        } else {
          const stop = b + diff;
          await api('PATCH', `/time-entries/${last.IProjectTransactionID}`, { EndHour: Math.floor(stop / 60), EndMinute: stop % 60 });
          diff = 0;
        }
      }
    }
    extraRows = [];
    await showWeek();
    $('#status').textContent = `Saved the hours of ${plans.length} day${plans.length === 1 ? '' : 's'}.`;
    $('#week-save').focus();
  });
}

function editSlip(t) {
  const f = $('#slip-form');
  // An approved or billed slip opens to be read, not changed.
  const readOnly = !editable(t);
  [...f.elements].forEach((e) => { e.disabled = readOnly && e.tagName !== 'BUTTON'; });
  f.id.value = t.IProjectTransactionID;
  fillSelect(f.project, projectOptions());
  f.project.value = String(t.ProjectID);
  fillSelect(f.task, taskOptions(t.ProjectID));
  f.task.value = String(t.TaskID);
  f.day.value = dayText(t.TransDate);
  f.start.value = hhmm(parseDate(t.StartTime));
  f.stop.value = hhmm(parseDate(t.StopTime));
  f.description.value = t.Description || '';
  f.overtime.checked = !!t.OverTime;
  $('#slip-h').textContent = readOnly ? `Slip (${SLIP_STATUS[t.Status] || t.Status}, read only)` : `Edit slip (${SLIP_STATUS[t.Status] || t.Status})`;
  $('#slip-save').textContent = 'Save slip';
  $('#slip-save').hidden = readOnly;
  $('#slip-delete').hidden = readOnly;
  $('#slip-cancel').hidden = false;
  $('#slip-cancel').textContent = readOnly ? 'Close' : 'Cancel';
  if (readOnly) $('#slip-cancel').focus(); else f.project.focus();
}

function resetSlipForm() {
  const f = $('#slip-form');
  f.id.value = '';
  f.start.value = f.stop.value = f.description.value = '';
  f.overtime.checked = false;
  $('#slip-h').textContent = 'Add a slip';
  $('#slip-save').textContent = 'Add slip';
  $('#slip-delete').hidden = $('#slip-cancel').hidden = true;
  $('#slip-save').hidden = false;
  [...f.elements].forEach((e) => { e.disabled = false; });
}

// How far ahead a slip may be dated before the app asks.
const DAYS_AHEAD = 14;
const minuteOf = (text) => { const [h, m] = text.split(':').map(Number); return h * 60 + m; };
const slipSpan = (t) => {
  const a = parseDate(t.StartTime); const b = parseDate(t.StopTime);
  return a && b ? [a.getHours() * 60 + a.getMinutes(), b.getHours() * 60 + b.getMinutes()] : null;
};

// What the person must know before a slip of `day` from `from` to `to`
// (minutes of the day) is stored: a refusal (text) or questions to confirm.
// `others` are the person's other slips of that day.
function slipChecks(day, from, to, others) {
  const asks = [];
  if (to === from) return { refuse: 'The slip has no length: its stop is its start.' };
  const ahead = (parseDate(day) - parseDate(isoDay(new Date()))) / 86400000;
  if (ahead > DAYS_AHEAD) asks.push(`The slip is dated ${day}, ${Math.round(ahead)} days from today. Store it for that day?`);
  const used = others.reduce((sum, t) => sum + Math.max(0, slipMinutes(t)), 0);
  if (used + Math.max(0, to - from) > 24 * 60) return { refuse: `That day would hold more than 24 hours (${hours(used)} h already).` };
  const clash = others.find((t) => { const sp = slipSpan(t); return sp && sp[0] < to && from < sp[1]; });
  if (clash) {
    asks.push(`The slip overlaps ${hhmm(parseDate(clash.StartTime))}–${hhmm(parseDate(clash.StopTime))} (${projectName(clash.ProjectID)} — ${taskName(clash.TaskID)}). Store both?`);
  }
  return { asks };
}

// The caller's slips of one day but `except`.
async function slipsOfDay(day, except) {
  const inWeek = day >= isoDay(weekStart) && day <= isoDay(addDays(weekStart, 6));
  const list = inWeek ? weekSlips : await api('GET', `/time-entries?from=${day}&to=${day}&per_page=1000`);
  return list.filter((t) => dayText(t.TransDate) === day && String(t.IProjectTransactionID) !== String(except || ''));
}

// Checks a slip and asks what must be asked: the parts to store (one, or two
// for work past midnight), or null when refused or not confirmed.
async function checkedSlip(day, start, stop, except, errBox) {
  const from = minuteOf(start); const to = minuteOf(stop);
  const parts = [];
  if (to < from) {
    const next = isoDay(addDays(parseDate(day), 1));
    if (!window.confirm(`The stop ${stop} is before the start ${start}. Did the work run past midnight? OK stores two slips: ${day} ${start}–23:59 and ${next} 00:00–${stop}.`)) {
      errBox.textContent = 'Not stored: the stop is before the start.';
      return null;
    }
    parts.push([day, from, 23 * 60 + 59], [next, 0, to]);
  } else {
    parts.push([day, from, to]);
  }
  for (const [d, a, b] of parts) {
    if (a === b && parts.length > 1) continue;
    const { refuse, asks } = slipChecks(d, a, b, await slipsOfDay(d, except));
    if (refuse) { errBox.textContent = `Not stored: ${refuse}`; return null; }
    for (const ask of asks) {
      if (!window.confirm(ask)) { errBox.textContent = `Not stored: ${ask.replace(/\?.*$/, '.')}`; return null; }
    }
  }
  return parts.filter(([, a, b]) => a !== b);
}

async function saveSlip(ev) {
  ev.preventDefault();
  const f = ev.target;
  await guarded('#slip-err', async () => {
    const parts = await checkedSlip(f.day.value, f.start.value, f.stop.value, f.id.value, $('#slip-err'));
    if (!parts) return;
    const projectId = Number(f.project.value);
    for (const [i, [day, from, to]] of parts.entries()) {
      const body = {
        TaskID: Number(f.task.value), TransDate: day,
        StartHour: Math.floor(from / 60), StartMinute: from % 60, EndHour: Math.floor(to / 60), EndMinute: to % 60,
        Description: f.description.value, OverTime: f.overtime.checked,
      };
      if (f.id.value && i === 0) await api('PATCH', `/time-entries/${f.id.value}`, body);
      else await api('POST', '/time-entries', { ...body, ProjectID: projectId, Status: 1, Error: '' });
    }
    $('#status').textContent = parts.length > 1 ? 'Stored as two slips, one each side of midnight.' : 'Slip stored.';
    const day = parseDate(f.day.value);
    resetSlipForm();
    weekStart = monday(day);
    await showWeek();
  });
}

async function deleteSlip() {
  const f = $('#slip-form');
  if (!window.confirm(`Delete the slip of ${f.day.value} ${f.start.value}–${f.stop.value}?`)) return;
  await guarded('#slip-err', async () => {
    await api('DELETE', `/time-entries/${f.id.value}`);
    resetSlipForm();
    await showWeek();
    $('#status').textContent = 'Slip deleted.';
    f.project.focus();
  });
}

// ---- Timer ---------------------------------------------------------------

let timerSlip = null;
let ticker = null;

// The stop a pause now gives, as the library rounds it: the next multiple
// of the project's chunk after the start's minute, counted within the hour.
function pauseStop(slip, now) {
  const chunk = Math.max(1, (projects.get(slip.ProjectID) || {}).TimeChunk || 1);
  const startMinute = parseDate(slip.StartTime).getMinutes();
  let h = now.getHours();
  let m = (Math.floor((now.getMinutes() - startMinute) / chunk) + 1) * chunk + startMinute;
  if (m > 59) { h += 1; m -= 60; }
  return { text: `${pad(h)}:${pad(m)}`, chunk };
}

async function showTimer() {
  await guarded('#timer-err', async () => {
    await loadProjects();
    fillSelect($('#timer-form').task, taskOptions(null));
    timerSlip = await api('GET', '/timer');
    drawTimer();
  });
}

function drawTimer() {
  clearInterval(ticker);
  const s = timerSlip;
  const running = s && s.Status === 0;
  const paused = s && s.Status === 4;
  $('#timer-pause').disabled = !running;
  $('#timer-stop').disabled = !running;
  $('#timer-restart').disabled = !paused;
  const what = s ? `${projectName(s.ProjectID)} — ${taskName(s.TaskID)}${s.Description ? `: ${s.Description}` : ''}` : '';
  const start = s && parseDate(s.StartTime);
  if (running) {
    $('#timer-state').textContent = `Running since ${hhmm(start)} on ${dayText(s.TransDate)}, ${what}`;
    const tick = () => {
      const secs = Math.max(0, Math.floor((Date.now() - start) / 1000));
      $('#timer-clock').textContent = `${pad(Math.floor(secs / 3600))}:${pad(Math.floor(secs / 60) % 60)}:${pad(secs % 60)}`;
      const stop = pauseStop(s, new Date());
      $('#timer-pause-at').textContent = `Pausing now stops the slip at ${stop.text} (rounded to the project's ${stop.chunk}-minute chunk).`;
    };
    tick();
    ticker = setInterval(tick, 1000);
  } else if (paused) {
    const minutes = slipMinutes(s);
    $('#timer-state').textContent = `Paused: ${hhmm(start)} to ${hhmm(parseDate(s.StopTime))} on ${dayText(s.TransDate)}, ${hours(minutes)} hours, ${what}`;
    $('#timer-clock').textContent = '';
    $('#timer-pause-at').textContent = `The stop is rounded to the project's ${Math.max(1, (projects.get(s.ProjectID) || {}).TimeChunk || 1)}-minute chunk.`;
  } else {
    $('#timer-state').textContent = 'No timer is running.';
    $('#timer-clock').textContent = '';
    $('#timer-pause-at').textContent = '';
  }
}

const timerAction = (path, body) => guarded('#timer-err', async () => {
  await api('POST', `/timer/${path}`, body);
  timerSlip = await api('GET', '/timer');
  drawTimer();
});

// ---- Expenses ------------------------------------------------------------

let reports = new Map();  // the caller's expense reports by ID

async function showExpenses() {
  await guarded('#exp-err', async () => {
    await loadProjects();
    const f = $('#exp-form');
    fillSelect(f.project, projectOptions());
    if (!f.date.value) f.date.value = isoDay(new Date());
    if (!f.type.options.length) {
      const [types, payments] = await Promise.all([
        call('eExpenseTypeEnm', 'GetAllValues'), call('eExpensePaymentTypeEnm', 'GetAllValues')]);
      fillSelect(f.type, types.map((r) => [r.Code, r.Description]));
      fillSelect(f.payment, payments.map((r) => [r.Code, r.Description]));
      f.type.value = '14';
      f.payment.value = '4';
    }
    const list = await api('GET', '/expenses?per_page=1000');
    for (const id of new Set(list.map((x) => x.ExpenseReportID).filter((id) => id && !reports.has(id)))) {
      reports.set(id, await call('CUserManager', 'GetExpenseReport', { ReportID: id }));
    }
    fillSelect(f.report, [['new', 'New report (name below)'],
      ...[...reports.values()].map((r) => [r.IExpenseReportID, reportName(r)])]);
    const dec = amountDecimals(list.map((x) => x.Amount));
    const what = (x) => `expense of ${dayText(x.ExpenseDate)} ${amount(x.Amount, dec)}`;
    $('#exp-list tbody').replaceChildren(...list.map((x) => el('tr', {},
      el('td', {}, dayText(x.ExpenseDate)), el('td', {}, projectName(x.ProjectID)),
      el('td', {}, x.Description || ''), el('td', { class: 'num' }, amount(x.Amount, dec)),
      el('td', { class: 'num' }, plainNumber(x.ExchangeRate)),
      el('td', {}, x.ExpenseReportID && reports.has(x.ExpenseReportID) ? reportName(reports.get(x.ExpenseReportID)) : ''),
      el('td', {}, x.Billed ? 'Billed' : x.Approved ? 'Approved' : 'Awaiting approval'),
      // Only what awaits approval is still its author's to change.
      el('td', { class: 'actions' }, x.Billed || x.Approved ? null : [
        el('button', { type: 'button', onclick: () => editExpense(x), 'aria-label': `Edit ${what(x)}` }, 'Edit'),
        el('button', { type: 'button', onclick: () => deleteExpense(x, what(x)), 'aria-label': `Delete ${what(x)}` }, 'Delete')]))));
    if (!list.length) $('#exp-list tbody').append(el('tr', {}, el('td', { colspan: '8' }, 'No expenses yet.')));
    labelCells($('#exp-list'));
  });
}

// A report as its owner knows it: "Halifax, March (2024-03-05)".
const reportName = (r) => `${r.Name || `Report ${r.ReportNo}`} (${dayText(r.CreateDate)})`;

function editExpense(x) {
  const f = $('#exp-form');
  f.id.value = x.IProjectExpenseID;
  f.project.value = String(x.ProjectID);
  f.date.value = dayText(x.ExpenseDate);
  f.amount.value = amount(x.Amount, 2);
  f.rate.value = plainNumber(x.ExchangeRate);
  f.type.value = String(x.ExpenseType);
  f.payment.value = String(x.PaymentType);
  f.description.value = x.Description || '';
  f.establishment.value = x.Establishment || '';
  f.city.value = x.City || '';
  // The report stays the one it is on.
  f.report.disabled = f.reportName.disabled = true;
  $('#exp-add-h').textContent = 'Edit the expense';
  $('#exp-save').textContent = 'Save expense';
  $('#exp-cancel').hidden = false;
  f.amount.focus();
}

function resetExpenseForm() {
  const f = $('#exp-form');
  f.id.value = '';
  f.amount.value = f.description.value = f.establishment.value = f.city.value = f.reportName.value = '';
  f.report.disabled = f.reportName.disabled = false;
  $('#exp-add-h').textContent = 'Add an expense';
  $('#exp-save').textContent = 'Add expense';
  $('#exp-cancel').hidden = true;
}

async function deleteExpense(x, what) {
  if (!window.confirm(`Delete the ${what}?`)) return;
  await guarded('#exp-err', async () => {
    await api('DELETE', `/expenses/${x.IProjectExpenseID}`);
    resetExpenseForm();
    await showExpenses();
    $('#status').textContent = 'Expense deleted.';
  });
}

async function addExpense(ev) {
  ev.preventDefault();
  const f = ev.target;
  await guarded('#exp-err', async () => {
    if (f.id.value) {
      await api('PATCH', `/expenses/${f.id.value}`, {
        ExpenseDate: f.date.value, Amount: f.amount.value, Description: f.description.value,
        ProjectID: Number(f.project.value), ExpenseType: Number(f.type.value), ExchangeRate: Number(f.rate.value),
        PaymentType: Number(f.payment.value), Establishment: f.establishment.value, City: f.city.value,
      });
      resetExpenseForm();
      await showExpenses();
      $('#status').textContent = 'Expense saved.';
      return;
    }
    let reportId = f.report.value === 'new' ? 0 : Number(f.report.value);
    if (f.report.value === 'new' && f.reportName.value.trim()) {
      reportId = await call('CUserManager', 'AddExpenseReport', {
        ReportNo: 0, Name: f.reportName.value.trim(), Description: '', CreateDate: f.date.value,
        CashAdvance: 0, Total: 0, AmountPaid: 0, Approved: false, ApprovedOn: null, ApprovedBy: '',
      });
    }
    await api('POST', '/expenses', {
      ReportID: reportId, ExpenseDate: f.date.value, PONumber: '', InvoiceNumber: '',
      Amount: f.amount.value, Description: f.description.value, ProjectID: Number(f.project.value),
      ExpenseType: Number(f.type.value), ExchangeRate: Number(f.rate.value),
      PaymentType: Number(f.payment.value), Establishment: f.establishment.value, City: f.city.value,
      Route: '', Distance: 0, Rate: 0, TaxCodeID: 0,
    });
    resetExpenseForm();
    await showExpenses();
    if (reportId) f.report.value = String(reportId);
  });
}

// ---- Approvals -----------------------------------------------------------

async function showApprovals() {
  await guarded('#appr-err', async () => {
    // What awaits approval, grouped by person and week by the service.
    const all = await api('GET', '/approvals');
    const groups = all.filter((g) => g.Slips.length || g.Expenses.length);
    const box = $('#appr-list');
    box.replaceChildren();
    if (!groups.length) box.append(el('p', {}, 'Nothing awaits approval.'));
    drawApproved(all.filter((g) => g.Approved && g.Approved.length));
    for (const g of groups) {
      const person = [g.FirstName, g.LastName].filter(Boolean).join(' ') || g.UserName;
      const title = `${person}, week of ${g.Week}`;
      const rows = [];
      const check = (kind, id, label) => el('input', { type: 'checkbox', class: 'pick', 'data-kind': kind, 'data-id': String(id), 'aria-label': `Select ${label}` });
      for (const r of g.Slips) {
        const a = parseDate(r.StartTime); const b = parseDate(r.StopTime);
        const label = `slip of ${dayText(r.Day)} ${hhmm(a)} to ${hhmm(b)}`;
        rows.push(el('tr', {}, el('td', {}, check('slip', r.ID, label)), el('td', {}, dayText(r.Day)),
          el('td', {}, `${r.Project} — ${r.Task || ''}`), el('td', {}, `${hhmm(a)}–${hhmm(b)}${r.OverTime ? ' overtime' : ''}`),
          el('td', { class: 'num' }, hours(Math.round((b - a) / 60000))), el('td', {}, r.Description || ''),
          el('td', {}, el('button', { type: 'button', onclick: () => approve([['slip', r.ID]]) , 'aria-label': `Approve ${label}` }, 'Approve'))));
      }
      const dec = amountDecimals(g.Expenses.map((r) => r.Amount));
      for (const r of g.Expenses) {
        const label = `expense of ${dayText(r.Day)} ${amount(r.Amount, dec)}`;
        // The markup the expense bills at, in percent, set as it is approved.
        const markup = el('input', { class: 'markup', type: 'number', min: '0', max: '1000', step: '0.01',
          value: plainNumber(r.Markup ?? 0), 'data-markup': String(r.ID), 'aria-label': `Markup percent of the ${label}` });
        rows.push(el('tr', {}, el('td', {}, check('expense', r.ID, label)), el('td', {}, dayText(r.Day)),
          el('td', {}, `${r.Project} — expense`), el('td', {}, `rate ${plainNumber(r.ExchangeRate)}, markup `, markup, ' %'),
          el('td', { class: 'num' }, amount(r.Amount, dec)), el('td', {}, r.Description || ''),
          el('td', {}, el('button', { type: 'button', onclick: () => approve([['expense', r.ID]]), 'aria-label': `Approve ${label}` }, 'Approve'))));
      }
      const all = el('input', { type: 'checkbox', 'aria-label': `Select all of ${title}`,
        onchange: (e) => $$('.pick', e.target.closest('section')).forEach((c) => { c.checked = e.target.checked; }) });
      box.append(el('section', { 'aria-label': title }, el('h3', {}, title),
        el('div', { class: 'scroll' }, labelCells(el('table', {},
          el('thead', {}, el('tr', {}, el('th', { scope: 'col' }, all), el('th', { scope: 'col' }, 'Day'),
            el('th', { scope: 'col' }, 'Project — task'), el('th', { scope: 'col' }, 'Time'),
            el('th', { scope: 'col', class: 'num' }, 'Hours / amount'), el('th', { scope: 'col' }, 'Description'),
            el('th', { scope: 'col' }, el('span', { class: 'sr' }, 'Approve')))),
          el('tbody', {}, rows))))));
    }
  });
}

// The approved slips not yet billed, each of which may be sent back.
function drawApproved(groups) {
  const box = $('#appr-approved');
  box.replaceChildren();
  if (!groups.length) { box.append(el('p', {}, 'No approved slip awaits billing.')); return; }
  for (const g of groups) {
    const person = [g.FirstName, g.LastName].filter(Boolean).join(' ') || g.UserName;
    const title = `${person}, approved in the week of ${g.Week}`;
    box.append(el('section', { 'aria-label': title }, el('h4', {}, title), el('ul', { class: 'returns' },
      g.Approved.map((r) => {
        const a = parseDate(r.StartTime); const b = parseDate(r.StopTime);
        const label = `slip of ${dayText(r.Day)} ${hhmm(a)} to ${hhmm(b)}`;
        return el('li', {}, `${dayText(r.Day)} ${hhmm(a)}–${hhmm(b)} ${r.Project} — ${r.Task || ''} `,
          el('button', { type: 'button', onclick: () => sendBack(r.ID, `${person}'s ${label}`), 'aria-label': `Send back ${label}` }, 'Send back'));
      }))));
  }
}

// Sends an approved slip back to its owner with the reason asked for.
async function sendBack(id, what) {
  const reason = window.prompt(`Why is ${what} sent back? Its owner reads this on her week.`);
  if (reason == null) return;
  await guarded('#appr-err', async () => {
    await api('POST', `/time-entries/${id}/return`, { Reason: reason });
    await showApprovals();
    $('#status').textContent = `Sent back ${what}.`;
  });
}

// Approves slips (status Approved) and expenses (at the markup typed beside
// each), one by one.
async function approve(items) {
  await guarded('#appr-err', async () => {
    if (!items.length) throw new Error('Select the slips and expenses to approve first.');
    for (const [kind, id] of items) {
      if (kind === 'slip') {
        await api('PUT', `/time-entries/${id}/status`, { Status: 2 });
      } else {
        const box = $(`#appr-list input[data-markup="${id}"]`);
        const markup = Number(box ? box.value || 0 : 0);
        if (!Number.isFinite(markup) || markup < 0 || markup > 1000) {
          if (box) box.focus();
          throw new Error('A markup is a percent from 0 to 1000.');
        }
        await api('PUT', `/expenses/${id}/approval`, { Markup: markup });
      }
    }
    $('#status').textContent = `Approved ${items.length}.`;
    await showApprovals();
  });
}

// ---- Invoicing -----------------------------------------------------------

// The preview's four tables, whether the server sends them keyed or in order.
function previewParts(p) {
  if (Array.isArray(p)) return { Projects: p[0] || [], Slips: p[1] || [], Expenses: p[2] || [], Warnings: p[3] || [] };
  return { Projects: p.Projects || [], Slips: p.Slips || [], Expenses: p.Expenses || [], Warnings: p.Warnings || [] };
}

async function preview(ev) {
  ev.preventDefault();
  const cutoff = $('#inv-form').cutoff.value;
  await guarded('#inv-err', async () => {
    await loadProjects();
    const p = previewParts(await api('GET', `/invoicing/preview?cutoff=${cutoff}`));
    const box = $('#inv-preview');
    box.replaceChildren(el('h3', {}, `What invoicing up to ${cutoff} would do`));
    const dec = amountDecimals(p.Projects.map((r) => r.Total));
    const th = (t, cls) => el('th', { scope: 'col', class: cls || '' }, t);
    box.append(el('div', { class: 'scroll' }, labelCells(el('table', { id: 'inv-projects' },
      el('thead', {}, el('tr', {}, th('Project'), th('Client'), th('Slips', 'num'), th('Expenses', 'num'), th('Total', 'num'), th('Left out because'))),
      el('tbody', {}, p.Projects.map((r) => el('tr', { class: r.Invoiced ? '' : 'left-out' },
        el('td', {}, r.Project || ''), el('td', {}, r.Client || ''), el('td', { class: 'num' }, String(r.Slips)),
        el('td', { class: 'num' }, String(r.Expenses)), el('td', { class: 'num' }, amount(r.Total, dec)),
        el('td', {}, r.Reason ? `${r.Reason}${r.Error != null ? ` (error ${r.Error})` : ''}` : ''))))))));
    const out = [
      ...p.Slips.filter((s) => !s.Included).map((s) => [dayText(s.Day), projectName(s.ProjectID), `${s.Task || ''}, ${s.Staff || ''}`, s.Minutes == null ? '' : `${hours(s.Minutes)} h`, s.Reason]),
      ...p.Expenses.filter((x) => !x.Included).map((x) => [dayText(x.Date), projectName(x.ProjectID), x.Description || 'expense', amount(x.Amount, amountDecimals(p.Expenses.map((e) => e.Amount))), x.Reason]),
    ];
    // What the library warns of (slips without time or overlapping the
    // same person's, totals below zero), named before anything is run.
    if (p.Warnings.length) {
      box.append(el('h3', { class: 'warn' }, 'Look at these before running'),
        el('ul', { id: 'inv-warnings', class: 'warn' }, p.Warnings.map((w) => el('li', {}, `${w.Project}: ${w.Text}.`))));
    }
    box.append(el('h3', {}, 'Lines left out'), out.length
      ? el('div', { class: 'scroll' }, labelCells(el('table', { id: 'inv-left-out' },
        el('thead', {}, el('tr', {}, th('Day'), th('Project'), th('Line'), th('Time or amount', 'num'), th('Reason'))),
        el('tbody', {}, out.map((cells) => el('tr', {}, cells.map((c, i) => el('td', { class: i === 3 ? 'num' : '' }, c || ''))))))))
      : el('p', {}, 'None: every line up to the cutoff is billed.'));
  });
}

async function runInvoicing() {
  const f = $('#inv-form');
  if (!f.reportValidity()) return;
  await guarded('#inv-err', async () => {
    const made = await api('POST', '/invoicing/runs', { CutoffDate: f.cutoff.value });
    const n = Array.isArray(made) ? made.length : 0;
    $('#inv-preview').replaceChildren(el('p', { role: 'status' }, `Invoicing made ${n} invoice${n === 1 ? '' : 's'}.`));
    $('#inv-status').value = '0';
    await listInvoices();
  });
}

async function listInvoices() {
  await guarded('#inv-err', async () => {
    await loadProjects();
    const list = await api('GET', `/invoices?status=${$('#inv-status').value}&per_page=1000`);
    $('#inv-list tbody').replaceChildren(...list.map((i) => el('tr', {},
      el('td', {}, String(i.InvoiceNumber ?? '')), el('td', {}, dateText(i.InvoiceDate)),
      el('td', {}, projectName(i.ProjectID)), el('td', {}, i.Terms || ''),
      el('td', { class: 'actions' }, el('button', { type: 'button', onclick: (e) => openInvoice(i, e.currentTarget), 'aria-label': `Open invoice ${i.InvoiceNumber}` }, 'Open'),
        i.Status === 0 ? el('button', { type: 'button', onclick: () => invoiceStatus(i, 1), 'aria-label': `Approve invoice ${i.InvoiceNumber}` }, 'Approve') : null,
        i.Status === 1 ? el('button', { type: 'button', onclick: () => invoiceStatus(i, 2), 'aria-label': `Issue invoice ${i.InvoiceNumber}` }, 'Issue') : null,
        i.Status !== 2 ? el('button', { type: 'button', onclick: () => deleteInvoice(i), 'aria-label': `Delete invoice ${i.InvoiceNumber}` }, 'Delete') : null))));
    if (!list.length) $('#inv-list tbody').append(el('tr', {}, el('td', { colspan: '5' }, 'No invoices.')));
    labelCells($('#inv-list'));
  });
}

// Approves (1) or issues (2) an invoice; the list then shows it where it went.
async function invoiceStatus(i, status) {
  await guarded('#inv-err', async () => {
    await api('PATCH', `/invoices/${i.IProjectInvoiceID}`, { Status: status });
    const word = status === 1 ? 'Approved' : 'Issued';
    $('#inv-status').value = String(status);
    await listInvoices();
    $('#status').textContent = `${word} invoice ${i.InvoiceNumber}.`;
    $('#inv-status').focus();
  });
}

// Deletes an invoice once asked: its slips and expenses are billable again.
async function deleteInvoice(i) {
  if (!window.confirm(`Delete invoice ${i.InvoiceNumber}? Its slips and expenses return to be billed again.`)) return;
  await guarded('#inv-err', async () => {
    await api('DELETE', `/invoices/${i.IProjectInvoiceID}`);
    $('#inv-page').hidden = true;
    await listInvoices();
    $('#status').textContent = `Deleted invoice ${i.InvoiceNumber}.`;
    $('#inv-status').focus();
  });
}

let invoiceOpener = null;
async function openInvoice(i, from) {
  invoiceOpener = from || null;
  await guarded('#inv-err', async () => {
    const invoice = await api('GET', `/invoices/${i.IProjectInvoiceID}`);
    $('#inv-doc').replaceChildren(...invoiceView(invoice));
    $('#inv-doc').setAttribute('aria-label', `Invoice ${i.InvoiceNumber}`);
    $('#inv-page').dataset.invoice = String(i.IProjectInvoiceID);
    $('#inv-page').hidden = false;
    $('#inv-print').focus();
  });
}

// The client's copy in cents, its total reconciled with the exact total by
// the rounding line, and beside it the exact breakdown to four places.
function invoiceView({ Header: h, Totals: t, ClientCopy: c }) {
  const cents = (v) => amount(v, 2);
  const signed = (v) => `${Number(v) > 0 ? '+' : ''}${amount(v, 4)}`;
  const th = (text, cls) => el('th', { scope: 'col', class: cls || '' }, text);
  const sum = (label, value, cls) => el('tr', { class: cls || '' },
    el('th', { scope: 'row', colspan: '4' }, label), el('td', { class: 'num' }, value));
  const copy = el('div', { class: 'inv-copy' },
    el('h3', {}, `Invoice ${h.InvoiceNumber ?? ''}`),
    el('dl', {}, [['From', h.Company], ['To', h.Client], ['Project', h.Project],
      ['Date', dayText(h.InvoiceDate)], ['Terms', h.Terms]].filter(([, v]) => v)
      .flatMap(([k, v]) => [el('dt', {}, k), el('dd', {}, String(v))])),
    el('table', { id: 'inv-copy' },
      el('caption', { class: 'sr' }, 'What the client pays, in cents'),
      el('thead', {}, el('tr', {}, th('Date'), th('Description'), th('Quantity', 'num'), th('Price', 'num'), th('Amount', 'num'))),
      el('tbody', {}, c.Lines.map((l) => el('tr', {},
        el('td', {}, l.Date), el('td', {}, l.Description),
        el('td', { class: 'num' }, l.Kind === 'time' ? `${Number(l.Quantity).toFixed(2)} h` : plainNumber(l.Quantity)),
        el('td', { class: 'num' }, cents(l.Price)), el('td', { class: 'num' }, cents(l.Net))))),
      el('tfoot', {},
        sum('Net', cents(c.Net)),
        c.Taxes.filter((x) => Number(x.Rate) || Number(x.Amount)).map((x) => sum(`${x.Name} ${plainNumber(x.Rate)} % on ${cents(x.Taxable)}`, cents(x.Amount))),
        sum('Total payable', cents(c.Payable), 'payable'),
        // The exact total plus the rounding is what the client pays.
        Number(c.Rounding) !== 0
          ? [sum('Exact total', amount(c.ExactTotal, 4), 'rounding'), sum('Rounding to cents', signed(c.Rounding), 'rounding')]
          : null)));
  const exact = el('aside', { class: 'inv-exact', 'aria-label': 'Exact breakdown' },
    el('h4', {}, 'Exact breakdown (four places)'),
    el('table', { id: 'inv-exact' }, el('tbody', {},
      [['Hours', Number(t.Hours).toFixed(4)], ['Time', amount(t.Time)], [h.Tax1Name || 'Tax 1', amount(t.Tax1)],
        [h.Tax2Name || 'Tax 2', amount(t.Tax2)], ['Expenses', amount(t.Expenses)], ['Markup', amount(t.Markup)],
        ['Total', amount(t.Total)]].map(([k, v], n, all) => el('tr', { class: n === all.length - 1 ? 'total' : '' },
        el('th', { scope: 'row' }, k), el('td', { class: 'num' }, v))))));
  return [copy, exact];
}

// ---- views ---------------------------------------------------------------

const VIEWS = { week: showWeek, timer: showTimer, expenses: showExpenses, approvals: showApprovals, invoicing: listInvoices };

function route() {
  let name = location.hash.slice(1);
  const adminOnly = (n) => !!$(`#nav [data-view="${n}"][data-admin]`);
  if (!VIEWS[name] || (!me.Admin && adminOnly(name))) name = 'week';
  $$('.view').forEach((v) => { v.hidden = v.id !== name; });
  $$('#nav [data-view]').forEach((b) => {
    if (b.dataset.view === name) b.setAttribute('aria-current', 'page'); else b.removeAttribute('aria-current');
  });
  if (name !== 'timer') clearInterval(ticker);
  VIEWS[name]();
  // The new view's heading takes the focus, and the change is announced.
  const heading = $(`#${name} h2`);
  if (heading) {
    heading.tabIndex = -1;
    heading.focus();
    $('#status').textContent = heading.textContent;
  }
}

async function start() {
  me = await api('GET', '/me');
  $('#signin').hidden = true;
  $('#nav').hidden = false;
  $('#who').textContent = `${me.FirstName || ''} ${me.LastName || ''}`.trim() || session.user;
  $$('#nav [data-admin]').forEach((b) => { b.hidden = !me.Admin; });
  if (!$('#inv-form').cutoff.value) $('#inv-form').cutoff.value = isoDay(new Date());
  route();
}

document.addEventListener('DOMContentLoaded', () => {
  $('#signin-form').addEventListener('submit', signIn);
  $('#sign-out').addEventListener('click', signOut);
  $$('#nav [data-view]').forEach((b) => b.addEventListener('click', () => {
    if (location.hash === `#${b.dataset.view}`) route(); else location.hash = b.dataset.view;
  }));
  window.addEventListener('hashchange', () => { if (me) route(); });
  $('#week-prev').addEventListener('click', () => { weekStart = addDays(weekStart, -7); showWeek(); });
  $('#week-next').addEventListener('click', () => { weekStart = addDays(weekStart, 7); showWeek(); });
  $('#week-today').addEventListener('click', () => { weekStart = monday(new Date()); showWeek(); });
  const slip = $('#slip-form');
  slip.addEventListener('submit', saveSlip);
  slip.project.addEventListener('change', () => fillSelect(slip.task, taskOptions(Number(slip.project.value))));
  $('#slip-delete').addEventListener('click', deleteSlip);
  $('#slip-cancel').addEventListener('click', resetSlipForm);
  $('#week-save').addEventListener('click', saveWeek);
  $('#week-add').addEventListener('click', () => {
    const task = tasks.get(Number($('#week-add-task').value));
    if (!task) return;
    extraRows.push([task.ProjectID, task.IProjectTaskID]);
    drawWeek();
    const cell = $$('#week-grid input.cell').find((c) => Number(c.dataset.task) === task.IProjectTaskID);
    if (cell) cell.focus();
  });
  $('#timer-form').addEventListener('submit', (ev) => {
    ev.preventDefault();
    const f = ev.target;
    timerAction('start', { TaskID: Number(f.task.value), Description: f.description.value });
  });
  $('#timer-pause').addEventListener('click', () => timerAction('pause', {}));
  $('#timer-stop').addEventListener('click', () => timerAction('stop', {}));
  $('#timer-restart').addEventListener('click', () => timerAction('restart', { TransID: timerSlip.IProjectTransactionID }));
  $('#exp-form').addEventListener('submit', addExpense);
  $('#exp-cancel').addEventListener('click', resetExpenseForm);
  $('#week-submit').addEventListener('click', submitWeek);
  $$('#nav button').forEach((b) => b.addEventListener('click', () => notice('')));
  $('#appr-refresh').addEventListener('click', showApprovals);
  $('#appr-selected').addEventListener('click', () =>
    approve($$('#appr-list .pick:checked').map((c) => [c.dataset.kind, Number(c.dataset.id)])));
  $('#inv-form').addEventListener('submit', preview);
  $('#inv-run').addEventListener('click', runInvoicing);
  $('#inv-status').addEventListener('change', listInvoices);
  $('#inv-print').addEventListener('click', () => {
    document.body.classList.add('printing-invoice');
    window.print();
    document.body.classList.remove('printing-invoice');
  });
  $('#inv-close').addEventListener('click', () => {
    $('#inv-page').hidden = true;
    if (invoiceOpener && invoiceOpener.isConnected) invoiceOpener.focus(); else $('#inv-status').focus();
  });
  if (session) {
    start().catch((err) => { $('#signin').hidden = false; showError('#signin-err', err); });
  } else {
    $('#signin-form').account.focus();
  }
});
