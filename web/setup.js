// The firm's set-up (administrators): its profile, users, clients, tax codes,
// projects with their tasks and staff; and every user's password change.
// Each kind is a table of fields; one searchable list and one form serve all.
'use strict';

// A field: `name` is the record's column and the form's input; `add` and
// `upd` the arguments of the add and change (null: not sent); `max` the
// column's width; `type` text, password, area, number, money, rate, date,
// check or select (with `options`).
const F = (name, label, more = {}) => ({ name, label, type: 'text', ...more });
const money = (name, label) => F(name, label, { type: 'money' });
const RATES = [money('Rate', 'Rate'), money('Cost', 'Cost'), money('OTRate', 'Overtime rate'), money('OTCost', 'Overtime cost')];

let valueSets = null;
async function enumOptions(name) {
  valueSets = valueSets || await api('GET', '/value-sets');
  return Object.entries(valueSets.enums[name] || {}).map(([k, v]) => [v, k.replace(/^[a-z]+/, '')]);
}
let setupCache = {};
async function cached(path) {
  setupCache[path] = setupCache[path] || await api('GET', `${path}?per_page=1000`);
  return setupCache[path];
}
const personName = (u) => [u.FirstName, u.LastName].filter(Boolean).join(' ') || u.UserName;
const yes = (b) => (b ? 'Yes' : 'No');

const KINDS = {
  users: {
    title: 'Users', one: 'user', list: () => '/users', create: () => '/users', item: (id) => `/users/${id}`,
    key: 'IUserID', label: (r) => r.UserName,
    columns: [['User name', (r) => r.UserName], ['Name', personName], ['Administrator', (r) => yes(r.Admin)], ['May sign in', (r) => yes(r.AllowLogon)], ['Rate', (r) => amount(r.Rate, 2)]],
    fields: [
      F('UserName', 'User name', { add: 'ProfileUserName', upd: null, max: 30, required: true }),
      F('Password', 'Password', { type: 'password', upd: null, max: 30, required: true }),
      F('FirstName', 'First name', { max: 20 }), F('LastName', 'Last name', { max: 30 }),
      F('MiddleInitial', 'Initial', { add: 'Initial', max: 2 }), F('EMail', 'Email', { max: 255, input: 'email' }),
      F('MinWeekHours', 'Hours a week', { type: 'number', def: 40 }),
      F('Admin', 'Administrator', { type: 'check' }), F('AllowLogon', 'May sign in', { type: 'check', def: true }),
      ...RATES,
    ],
    fixed: { ReportsToID: null, vmProjectsAccess: 0 },
  },
  clients: {
    title: 'Clients', one: 'client', list: () => '/clients', create: () => '/clients', item: (id) => `/clients/${id}`,
    key: 'SFAProspectID', label: (r) => r.CompanyName, deletable: true,
    columns: [['Company', (r) => r.CompanyName], ['City', (r) => r.City], ['Terms', (r) => r.DefaultTerms], ['Active', (r) => yes(!r.Inactive)]],
    fields: [
      F('CompanyName', 'Company name', { upd: 'Name', max: 255, required: true }),
      F('Address1', 'Address', { max: 255 }), F('Address2', 'Address, second line', { max: 255 }),
      F('City', 'City', { max: 255 }), F('Province', 'Province or state', { max: 16 }),
      F('PostalCode', 'Postal code', { max: 10 }), F('Country', 'Country', { max: 30 }),
      F('Telephone', 'Telephone', { max: 28 }), F('FAX', 'Fax', { max: 28 }),
      F('BusinessNumber', 'Business number', { max: 128 }),
      F('TaxCodeID', 'Tax code', { type: 'select', add: 'TaxCode', options: async () => [['', 'None'], ...(await cached('/tax-codes')).map((t) => [t.CITaxCodeID, `${t.TaxCode} ${t.Description || ''}`])] }),
      F('DefaultTerms', 'Terms', { max: 255, def: async () => (await cached('/firm')).DefaultTerms || '' }),
      F('Description', 'Notes', { type: 'area', max: 2000 }),
      F('Inactive', 'Inactive', { type: 'check', add: null }),
    ],
    fixed: { AccountNumber: '' },
  },
  taxcodes: {
    title: 'Tax codes', one: 'tax code', list: () => '/tax-codes', create: () => '/tax-codes', item: (id) => `/tax-codes/${id}`,
    key: 'CITaxCodeID', label: (r) => `${r.TaxCode} ${r.Description || ''}`.trim(), deletable: true,
    columns: [['Code', (r) => r.TaxCode], ['Description', (r) => r.Description], ['First tax', (r) => `${r.Tax1Name || ''} ${plainNumber(r.Tax1Rate)} %`], ['Second tax', (r) => (r.Tax2Name ? `${r.Tax2Name} ${plainNumber(r.Tax2Rate)} %${r.Tax2PiggyBack ? ', compound' : ''}` : '')]],
    fields: [
      F('TaxCode', 'Code (one character)', { max: 1, required: true }), F('Description', 'Description', { max: 255 }),
      F('Tax1Name', 'First tax name', { max: 255 }), F('Tax1Rate', 'First tax rate %', { type: 'rate', def: 0 }),
      F('Tax1Exempt', 'Exempt from the first tax', { type: 'check' }),
      F('Tax2Name', 'Second tax name', { max: 255 }), F('Tax2Rate', 'Second tax rate %', { type: 'rate', def: 0 }),
      F('Tax2Exempt', 'Exempt from the second tax', { type: 'check' }),
      F('Tax2PiggyBack', 'Second tax compounds on the first', { type: 'check' }),
      F('Inactive', 'Inactive', { type: 'check' }),
    ],
  },
  projects: {
    title: 'Projects', one: 'project', list: () => '/projects', create: () => '/projects', item: (id) => `/projects/${id}`,
    key: 'IProjectID', label: (r) => r.Name, deletable: true, children: ['tasks', 'staff'],
    columns: [['Project', (r) => r.Name], ['Client', (r) => r.ClientName], ['Status', (r) => r.StatusName], ['Billable', (r) => yes(r.Billable)], ['Chunk (min)', (r) => String(r.TimeChunk ?? '')]],
    decorate: async (rows) => {
      const clients = new Map((await cached('/clients')).map((c) => [c.SFAProspectID, c.CompanyName]));
      const status = new Map(await enumOptions('eProjectStatus'));
      return rows.map((r) => ({ ...r, ClientName: clients.get(r.ClientID) || '', StatusName: status.get(r.Status) || String(r.Status) }));
    },
    fields: [
      F('Name', 'Project name', { max: 255, required: true }),
      F('ClientID', 'Client', { type: 'select', required: true, options: async () => (await cached('/clients')).filter((c) => !c.Inactive).map((c) => [c.SFAProspectID, c.CompanyName]) }),
      F('Status', 'Status', { type: 'select', options: () => enumOptions('eProjectStatus'), def: 2 }),
      F('StartDate', 'Start', { type: 'date', required: true, def: () => isoDay(new Date()) }),
      F('EndDate', 'End', { type: 'date' }),
      F('TimeChunk', 'Time chunk (minutes, 1 to 60)', { type: 'number', min: 1, maxv: 60, def: 15 }),
      F('Billable', 'Billable', { type: 'check', def: true }), F('OTAllowed', 'Overtime allowed', { type: 'check', def: true }),
      money('EstCost', 'Estimated cost'), money('EstRevenue', 'Estimated revenue'),
      F('Description', 'Description', { type: 'area', max: 2000 }),
    ],
    after: () => { loading = null; },
  },
  tasks: {
    title: 'Tasks', one: 'task', list: (p) => `/projects/${p}/tasks`, create: (p) => `/projects/${p}/tasks`, item: (id) => `/tasks/${id}`,
    key: 'IProjectTaskID', label: (r) => r.Name, deletable: true,
    columns: [['Task', (r) => r.Name], ['From', (r) => dayText(r.EffectiveDate)], ['Active', (r) => yes(!r.Inactive)]],
    fields: [
      F('Name', 'Task name', { max: 255, required: true }),
      F('EffectiveDate', 'In effect from', { type: 'date', required: true, def: () => isoDay(new Date()) }),
      F('Description', 'Description', { type: 'area', max: 2000 }),
      F('Inactive', 'Inactive', { type: 'check' }),
    ],
    fixed: { PlannedStart: null, PlannedDuration: 0, PlannedFinish: null },
    after: () => { loading = null; },
  },
  staff: {
    title: 'Staff', one: 'staff member', list: (p) => `/projects/${p}/staff`, create: (p) => `/projects/${p}/staff`, item: (id) => `/staff/${id}`,
    key: 'IProjectStaffID', label: (r) => r.UserLabel, deletable: true,
    decorate: async (rows) => {
      const users = new Map((await cached('/users')).map((u) => [u.IUserID, personName(u)]));
      return rows.map((r) => ({ ...r, UserLabel: users.get(r.UserID) || `User ${r.UserID}` }));
    },
    columns: [['Person', (r) => r.UserLabel], ['Rate', (r) => amount(r.Rate, 2)], ['Cost', (r) => amount(r.Cost, 2)], ['Overtime rate', (r) => amount(r.OTRate, 2)], ['Overtime cost', (r) => amount(r.OTCost, 2)]],
    fields: [
      F('UserID', 'Person', { type: 'select', upd: null, required: true, options: async () => (await cached('/users')).map((u) => [u.IUserID, personName(u)]) }),
      ...RATES,
    ],
  },
};

// ---- checks as the library makes them ---------------------------------------

const NUMBER = /^-?\d+(\.\d+)?$/;
// The message for a field's value, or '' when the library would take it.
function fieldProblem(f, input) {
  if (f.type === 'check' || f.type === 'select' && !f.required) return '';
  const v = input.value.trim();
  if (!v) return f.required ? `${f.label} is needed.` : '';
  if (f.max && input.value.length > f.max) return `${f.label}: at most ${f.max} character${f.max === 1 ? '' : 's'}.`;
  if (f.type === 'money' || f.type === 'rate' || f.type === 'number') {
    if (!NUMBER.test(v)) return `${f.label} must be a number.`;
    const n = Number(v);
    if (f.type === 'money' && !/^-?\d+(\.\d{1,4})?$/.test(v)) return `${f.label}: at most four decimals.`;
    if (n < 0) return `${f.label} may not be negative.`;
    if (f.type === 'rate' && n > 100) return `${f.label}: at most 100.`;
    if (f.min != null && n < f.min) return `${f.label}: at least ${f.min}.`;
    if (f.maxv != null && n > f.maxv) return `${f.label}: at most ${f.maxv}.`;
  }
  if (f.type === 'date' && Number.isNaN(Date.parse(v))) return `${f.label} is not a date.`;
  return '';
}

function setFieldError(form, name, message) {
  const input = form.elements[name];
  const box = form.querySelector(`[data-err-for="${name}"]`);
  if (!input || !box) return false;
  box.textContent = message;
  if (message) input.setAttribute('aria-invalid', 'true'); else input.removeAttribute('aria-invalid');
  return true;
}

// Every field checked; the first wrong one takes the focus. True when all pass.
function checkFields(form, fields) {
  let first = null;
  for (const f of fields) {
    const input = form.elements[f.name];
    if (!input) continue;
    const problem = fieldProblem(f, input);
    setFieldError(form, f.name, problem);
    if (problem && !first) first = input;
  }
  if (first) first.focus();
  return !first;
}

// A refusal of the service put beside the field it names, when it names one.
function placeRefusal(form, fields, err) {
  const text = `${err.message} ${JSON.stringify(err.problem || {})}`;
  const f = fields.find((x) => form.elements[x.name] && [x.name, x.add, x.upd].some((n) => n && new RegExp(`\\b${n}\\b`).test(text)));
  if (f) {
    setFieldError(form, f.name, err.message);
    form.elements[f.name].focus();
  }
  return !!f;
}

// ---- the form and the list --------------------------------------------------

let uid = 0;
function fieldInput(f, id) {
  const common = { id, name: f.name, 'aria-describedby': `${id}-err` };
  if (f.type === 'check') return el('input', { ...common, type: 'checkbox' });
  if (f.type === 'select') return el('select', common);
  if (f.type === 'area') return el('textarea', { ...common, rows: '2' });
  const type = { password: 'password', date: 'date' }[f.type] || f.input || 'text';
  const input = el('input', { ...common, type });
  if (f.type === 'money' || f.type === 'rate' || f.type === 'number') input.inputMode = 'decimal';
  if (f.type === 'password') input.autocomplete = 'new-password';
  return input;
}

const shownValue = (f, v) => {
  if (v == null) return '';
  if (f.type === 'date') return dayText(v);
  if (f.type === 'money' || f.type === 'rate' || f.type === 'number') return plainNumber(v);
  return String(v);
};

async function fillForm(form, fields, record) {
  for (const f of fields) {
    const input = form.elements[f.name];
    if (!input) continue;
    if (f.type === 'select') fillSelect(input, await f.options(), false);
    const hidden = record && (f.upd === null);
    input.closest('label').hidden = !!hidden;
    const v = record ? record[f.name] : (typeof f.def === 'function' ? await f.def() : f.def);
    if (f.type === 'check') input.checked = !!v;
    else if (f.type !== 'select' || v != null) input.value = shownValue(f, v);
    setFieldError(form, f.name, '');
  }
}

function formBody(form, fields, editing) {
  const body = {};
  for (const f of fields) {
    const arg = editing ? (f.upd === undefined ? (f.add === undefined ? f.name : f.add) : f.upd) : (f.add === undefined ? f.name : f.add);
    if (arg == null) continue;
    const input = form.elements[f.name];
    let v = f.type === 'check' ? input.checked : input.value.trim();
    if (f.type === 'select') v = v === '' ? null : Number(v);
    else if (f.type === 'number' || f.type === 'rate') v = v === '' ? 0 : Number(v);
    else if (f.type === 'money') v = v === '' ? '0' : v;
    else if (f.type === 'date') v = v === '' ? null : v;
    else if (f.type === 'password') v = input.value;
    body[arg] = v;
  }
  return body;
}

// One kind's list (searchable) and form, in `box`; `parent` is the project
// of tasks and staff.
async function drawKind(box, kind, parent) {
  const k = KINDS[kind];
  const id = `k${++uid}`;
  let rows = await api('GET', `${k.list(parent)}?per_page=1000`);
  if (k.decorate) rows = await k.decorate(rows);
  let editing = null;
  const search = el('input', { type: 'search', id: `${id}-q`, 'aria-controls': `${id}-list` });
  const list = el('tbody');
  const form = el('form', { novalidate: true, 'aria-labelledby': `${id}-fh` });
  const heading = el('h4', { id: `${id}-fh` }, `Add a ${k.one}`);
  const saveButton = el('button', { type: 'submit' }, `Add ${k.one}`);
  const cancel = el('button', { type: 'button', hidden: true }, 'Cancel');
  const formErr = el('p', { class: 'err', role: 'alert' });
  const section = el('section', { class: 'kind', 'aria-labelledby': `${id}-h` },
    el('h3', { id: `${id}-h`, tabindex: '-1' }, parent ? `${k.title} of this project` : k.title),
    el('label', { class: 'search', for: `${id}-q` }, `Search ${k.title.toLowerCase()}`, search),
    el('div', { class: 'scroll' }, el('table', { id: `${id}-list`, class: 'list' },
      el('thead', {}, el('tr', {}, k.columns.map(([t]) => el('th', { scope: 'col' }, t)), el('th', { scope: 'col' }, el('span', { class: 'sr' }, 'Actions')))),
      list)),
    form);
  form.append(heading, ...k.fields.map((f) => {
    const fid = `${id}-${f.name}`;
    const input = fieldInput(f, fid);
    const err = el('span', { class: 'field-err', id: `${fid}-err`, role: 'alert', 'data-err-for': f.name });
    return f.type === 'check'
      ? el('label', { class: 'check' }, input, ` ${f.label}`, err)
      : el('label', { class: f.type === 'area' ? 'wide' : '' }, f.label, input, err);
  }), el('div', { class: 'buttons' }, saveButton, cancel), formErr);
  let opener = null;
  const startEdit = async (r, from) => {
    editing = r;
    opener = from;
    heading.textContent = r ? `Edit ${k.one} ${k.label(r)}` : `Add a ${k.one}`;
    saveButton.textContent = r ? `Save ${k.one}` : `Add ${k.one}`;
    cancel.hidden = !r;
    await fillForm(form, k.fields, r);
    // The form takes the focus before the project's tasks and staff are drawn
    // below it, so nothing typed meanwhile lands elsewhere.
    const first = [...form.elements].find((e) => !e.closest('label')?.hidden && e.tagName !== 'BUTTON');
    if (r && first) first.focus();
    section.querySelectorAll('.children').forEach((c) => c.remove());
    if (r && k.children) {
      const kids = el('div', { class: 'children' });
      section.append(kids);
      for (const child of k.children) {
        const b = el('div');
        kids.append(b);
        await drawKind(b, child, r[k.key]);
      }
    }
  };
  const drawRows = () => {
    const q = search.value.trim().toLowerCase();
    const shown = rows.filter((r) => !q || k.columns.some(([, f]) => String(f(r) ?? '').toLowerCase().includes(q)));
    list.replaceChildren(...shown.map((r) => el('tr', {},
      k.columns.map(([t, f]) => el('td', { 'data-label': t }, String(f(r) ?? ''))),
      el('td', { class: 'actions' },
        el('button', { type: 'button', 'aria-label': `Edit ${k.one} ${k.label(r)}`, onclick: (e) => guarded(formErr, () => startEdit(r, e.currentTarget)) }, 'Edit'),
        k.deletable ? el('button', { type: 'button', 'aria-label': `Delete ${k.one} ${k.label(r)}`, onclick: () => remove(r) }, 'Delete') : null))));
    if (!shown.length) list.append(el('tr', {}, el('td', { colspan: String(k.columns.length + 1) }, rows.length ? 'Nothing matches.' : `No ${k.title.toLowerCase()} yet.`)));
  };
  const reload = async () => {
    setupCache = {};
    if (k.after) k.after();
    rows = await api('GET', `${k.list(parent)}?per_page=1000`);
    if (k.decorate) rows = await k.decorate(rows);
    drawRows();
  };
  const remove = (r) => guarded(formErr, async () => {
    if (!window.confirm(`Delete ${k.one} ${k.label(r)}?`)) return;
    await api('DELETE', k.item(r[k.key]));
    $('#status').textContent = `Deleted ${k.one} ${k.label(r)}.`;
    if (editing && editing[k.key] === r[k.key]) await startEdit(null);
    await reload();
    search.focus();
  });
  search.addEventListener('input', drawRows);
  cancel.addEventListener('click', async () => { await startEdit(null); if (opener && opener.isConnected) opener.focus(); else search.focus(); });
  form.addEventListener('submit', (ev) => {
    ev.preventDefault();
    guarded(formErr, async () => {
      if (!checkFields(form, editing ? k.fields.filter((f) => f.upd !== null) : k.fields)) return;
      const body = { ...(editing ? {} : k.fixed || {}), ...formBody(form, k.fields, !!editing) };
      try {
        const saved = editing ? await api('PATCH', k.item(editing[k.key]), body) : await api('POST', k.create(parent), body);
        $('#status').textContent = `${editing ? 'Saved' : 'Added'} ${k.one} ${k.label(saved) || ''}.`;
        await reload();
        const again = rows.find((r) => r[k.key] === saved[k.key]);
        await startEdit(editing ? again || null : null);
        if (!editing) form.querySelector('input, select')?.focus();
      } catch (err) {
        if (!placeRefusal(form, k.fields, err)) throw err;
      }
    });
  });
  drawRows();
  await fillForm(form, k.fields, null);
  box.replaceChildren(section);
  return section;
}

// ---- the firm's profile ------------------------------------------------------

const FIRM_FIELDS = [
  F('CompanyName', 'Firm name', { max: 255, required: true }),
  F('Address1', 'Address', { max: 255 }), F('Address2', 'Address, second line', { max: 255 }), F('Address3', 'Address, third line', { max: 255 }),
  F('City', 'City', { max: 50 }), F('Province', 'Province or state', { max: 50 }), F('PostalCode', 'Postal code', { max: 10 }),
  F('Country', 'Country', { max: 30 }), F('Telephone', 'Telephone', { max: 28 }), F('FAX', 'Fax', { max: 28 }),
  money('MileageRate', 'Mileage rate'),
  F('DefaultTerms', 'Terms on invoices', { max: 255 }),
  F('DefaultInvoiceNotes', 'Notes on invoices', { type: 'area', max: 2000 }),
];

async function drawFirm(box) {
  const form = el('form', { novalidate: true, 'aria-labelledby': 'firm-h' });
  const err = el('p', { class: 'err', role: 'alert' });
  form.append(el('h3', { id: 'firm-h', tabindex: '-1' }, 'The firm'), ...FIRM_FIELDS.map((f) => {
    const fid = `firm-${f.name}`;
    return el('label', { class: f.type === 'area' ? 'wide' : '' }, f.label, fieldInput(f, fid),
      el('span', { class: 'field-err', id: `${fid}-err`, role: 'alert', 'data-err-for': f.name }));
  }), el('div', { class: 'buttons' }, el('button', { type: 'submit' }, 'Save the firm')), err);
  await fillForm(form, FIRM_FIELDS, await api('GET', '/firm'));
  form.addEventListener('submit', (ev) => {
    ev.preventDefault();
    guarded(err, async () => {
      if (!checkFields(form, FIRM_FIELDS)) return;
      try {
        await fillForm(form, FIRM_FIELDS, await api('PATCH', '/firm', formBody(form, FIRM_FIELDS, true)));
        setupCache = {};
        $('#status').textContent = 'Saved the firm.';
      } catch (e) {
        if (!placeRefusal(form, FIRM_FIELDS, e)) throw e;
      }
    });
  });
  box.replaceChildren(form);
}

// ---- the view ------------------------------------------------------------------

let setupKind = 'firm';
async function showSetup(kind = setupKind, focus = false) {
  setupKind = kind;
  setupCache = {};
  $$('#setup-tabs button').forEach((b) => b.setAttribute('aria-pressed', String(b.dataset.kind === kind)));
  await guarded('#setup-err', async () => {
    const box = $('#setup-body');
    if (kind === 'firm') await drawFirm(box); else await drawKind(box, kind);
    if (focus) box.querySelector('h3')?.focus();
  });
}

// ---- a password change ---------------------------------------------------------

async function changePassword(ev) {
  ev.preventDefault();
  const f = ev.target;
  const fields = [F('old', 'Current password', { required: true }), F('new', 'New password', { required: true, max: 30 }), F('again', 'New password again', { required: true })];
  await guarded('#pw-err', async () => {
    if (!checkFields(f, fields)) return;
    if (f.new.value !== f.again.value) {
      setFieldError(f, 'again', 'The two new passwords differ.');
      f.again.focus();
      return;
    }
    try {
      await api('PUT', '/me/password', { OldPassword: f.old.value, NewPassword: f.new.value });
    } catch (err) {
      if (err.status === 401 || err.status === 403 || err.status === 422) {
        setFieldError(f, 'old', err.message);
        f.old.focus();
        return;
      }
      throw err;
    }
    f.reset();
    $('#pw-err').textContent = '';
    $('#status').textContent = 'Your password is changed.';
    f.append(el('p', { role: 'status', class: 'done' }, 'Your password is changed.'));
  });
}

VIEWS.setup = () => showSetup();
VIEWS.password = () => { $$('#pw-form .done').forEach((p) => p.remove()); };

document.addEventListener('DOMContentLoaded', () => {
  $$('#setup-tabs button').forEach((b) => b.addEventListener('click', () => showSetup(b.dataset.kind, true)));
  $('#pw-form').addEventListener('submit', changePassword);
});
