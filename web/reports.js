// Reports: a bar chart drawn as plain SVG and the table behind it, both from
// the service's report routes; the slips and the expenses of the dates as CSV
// files. An administrator sees the firm's, by project, person or week; a
// consultant her own hours, by project and week.
'use strict';

const SVG = 'http://www.w3.org/2000/svg';
const svg = (tag, attrs = {}, ...kids) => {
  const e = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, String(v));
  e.append(...kids);
  return e;
};

// Horizontal bars, one per row, scaled to the largest; the chart is an image
// whose words are the table below it.
function barChart(rows, measure, title) {
  const most = Math.max(...rows.map(measure), 0) || 1;
  const bar = 22;
  const chart = svg('svg', { viewBox: `0 0 600 ${rows.length * bar + 4}`, width: '100%', role: 'img', 'aria-label': title, class: 'chart' });
  rows.forEach((r, i) => {
    const w = Math.max(0, measure(r)) / most * 300;
    chart.append(
      svg('text', { x: 0, y: i * bar + 15, 'font-size': 12, fill: '#1b1b1b' }, String(r.Label).slice(0, 28)),
      svg('rect', { x: 200, y: i * bar + 3, width: w.toFixed(1), height: bar - 6, fill: '#0b57a4' }),
      svg('text', { x: 204 + w, y: i * bar + 15, 'font-size': 12, fill: '#1b1b1b' }, measure(r).toFixed(2)));
  });
  return chart;
}

async function showReport(ev) {
  if (ev) ev.preventDefault();
  const f = $('#rep-form');
  if (!f.reportValidity()) return;
  await guarded('#rep-err', async () => {
    const kind = f.kind.value;
    const rows = await api('GET', `/reports/${kind}&from=${f.from.value}&to=${f.to.value}`);
    const title = `${f.kind.selectedOptions[0].textContent}, ${f.from.value} to ${f.to.value}`;
    const invoiced = kind.startsWith('invoiced');
    const th = (t, cls) => el('th', { scope: 'col', class: cls || '' }, t);
    const head = invoiced ? [th('Month'), th('Invoices', 'num'), th('Amount', 'num')]
      : [th(kind.includes('week') ? 'Week of' : kind.includes('person') ? 'Person' : 'Project'), th('Hours', 'num'), th('Value', 'num')];
    const body = rows.map((r) => el('tr', {}, el('td', {}, r.Label),
      el('td', { class: 'num' }, invoiced ? String(r.Invoices) : Number(r.Hours).toFixed(2)),
      el('td', { class: 'num' }, amount(r.Value, 2))));
    const out = $('#rep-out');
    out.replaceChildren(el('h3', {}, title));
    if (!rows.length) { out.append(el('p', {}, 'Nothing in these dates.')); return; }
    out.append(barChart(rows, (r) => (invoiced ? Number(r.Value) : Number(r.Hours)), `${title}: chart of the table below`),
      el('div', { class: 'scroll' }, labelCells(el('table', { id: 'rep-table' }, el('thead', {}, el('tr', {}, head)), el('tbody', {}, body)))));
  });
}

// The slips or the expenses of the dates as a CSV file the browser saves.
async function exportCsv(what) {
  const f = $('#rep-form');
  if (!f.reportValidity()) return;
  await guarded('#rep-err', async () => {
    const text = await api('GET', `/${what}?from=${f.from.value}&to=${f.to.value}`, undefined, 'text/csv');
    const name = what === 'expenses' ? 'expenses' : 'slips';
    const link = el('a', { href: URL.createObjectURL(new Blob([text], { type: 'text/csv' })), download: `${name}-${f.from.value}-${f.to.value}.csv` });
    document.body.append(link);
    link.click();
    link.remove();
    $('#status').textContent = `The ${name} are exported as CSV.`;
  });
}

// The reports a consultant has: her own hours by project and by week.
const OWN_REPORTS = ['hours?by=project', 'hours?by=week'];

VIEWS.reports = () => {
  const f = $('#rep-form');
  for (const o of f.kind.options) {
    o.hidden = o.disabled = !me.Admin && !OWN_REPORTS.includes(o.value);
  }
  if (f.kind.selectedOptions[0].disabled) f.kind.value = OWN_REPORTS[0];
  $('#rep-h').textContent = me.Admin ? 'Reports' : 'My reports';
  if (!f.from.value) {
    const now = new Date();
    f.from.value = isoDay(new Date(now.getFullYear(), now.getMonth(), 1));
    f.to.value = isoDay(now);
  }
};

document.addEventListener('DOMContentLoaded', () => {
  $('#rep-form').addEventListener('submit', showReport);
  // Every user has reports, a consultant of her own work.
  $('#nav [data-view=reports]').removeAttribute('data-admin');
  $('#rep-csv').addEventListener('click', () => exportCsv('time-entries'));
  const expenses = el('button', { type: 'button', id: 'rep-csv-expenses' }, 'Export expenses as CSV');
  expenses.addEventListener('click', () => exportCsv('expenses'));
  $('#rep-csv').after(' ', expenses);
});
