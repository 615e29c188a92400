// The designer page: the form's components, a property inspector, the
// preview picture and the records of the chart's data set. Every text from
// the server is shown through textContent or a form field's value, never as
// markup.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
let state = null;          // the server's state (GET /api/state)
let selected = null;       // the selected component's name
const errors = new Map();  // property path -> the component's message
const preview = { chart: null, etag: null, url: null, busy: false, again: false };
let records = null;        // the grid's data set (GET /api/records)

const $ = (id) => document.getElementById(id);

function el(tag, props, ...children) {
  const e = document.createElement(tag);
  if (props) {
    for (const [k, v] of Object.entries(props)) {
      if (k === 'class') e.className = v;
      else if (k === 'text') e.textContent = v;
      else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
      else if (k === 'dataset') Object.assign(e.dataset, v);
      else if (v !== undefined && v !== null && v !== false) e.setAttribute(k, v === true ? '' : v);
    }
  }
  for (const c of children) if (c) e.append(c);
  return e;
}

async function api(method, path, body) {
  const init = { method, headers: { 'X-Plotvane-Token': token }, cache: 'no-store' };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const r = await fetch(path, init);
  let data = null;
  try { data = await r.json(); } catch (e) { data = { error: 'the designer sent no answer (' + r.status + ')' }; }
  return { status: r.status, ok: r.ok, data };
}

function setStatus(text, dirty) {
  const s = $('status');
  s.textContent = text;
  s.classList.toggle('dirty', !!dirty);
}

// The names offered while a colour is typed: the form's own, then the web's.
function colorNameList() {
  let list = $('color-names');
  if (list) return;
  list = el('datalist', { id: 'color-names' });
  for (const n of state.colorNames.concat(state.cssColorNames || [])) list.append(el('option', { value: n }));
  document.body.append(list);
}

// The lists a text may be picked from (a data set's field names, the
// locales), as datalists the inputs name; rebuilt when a list changed.
function syncLists() {
  const lists = state.lists || {};
  let box = $('lists');
  if (!box) {
    box = el('div', { id: 'lists', hidden: true });
    document.body.append(box);
  }
  for (const d of [...box.children]) if (!(d.dataset.key in lists)) d.remove();
  for (const [key, names] of Object.entries(lists)) {
    let d = [...box.children].find((x) => x.dataset.key === key);
    const text = names.join('\n');
    if (d && d.dataset.text === text) continue;
    if (!d) {
      d = el('datalist', { id: 'list-' + key, dataset: { key } });
      box.append(d);
    }
    d.dataset.text = text;
    d.replaceChildren(...names.map((n) => el('option', { value: n })));
  }
}

function applyState(s) {
  if (!s) return;
  state = s;
  colorNameList();
  syncLists();
  if (!selected || !component(selected)) {
    const chart = state.components.find((c) => c.chart);
    selected = (chart || state.components[0] || {}).name || null;
  }
  render();
}

function component(name) {
  return state && state.components.find((c) => c.name === name);
}

function previewChart() {
  const c = component(selected);
  if (c && c.chart) return c;
  // A series is shown on its chart.
  if (c && c.seriesOf && component(c.seriesOf)) return component(c.seriesOf);
  return state.components.find((x) => x.chart) || null;
}

// The components in the list's order: each series right after its chart.
function listedComponents() {
  const out = [];
  const placed = new Set();
  const isPlacedSeries = (c) => c.seriesOf && component(c.seriesOf);
  for (const c of state.components) {
    if (isPlacedSeries(c)) continue;
    out.push({ c, depth: out.length ? 1 : 0 });
    placed.add(c.name);
    for (const name of c.series || []) {
      const s = component(name);
      if (s && !placed.has(name)) {
        out.push({ c: s, depth: 2 });
        placed.add(name);
      }
    }
  }
  for (const c of state.components) if (!placed.has(c.name)) out.push({ c, depth: 1 });
  return out;
}

// ---------------------------------------------------------------------------
// Rendering

function render() {
  $('form-name').textContent = state.form;
  $('undo').disabled = !state.canUndo;
  $('redo').disabled = !state.canRedo;
  setStatus(state.modified ? 'Unsaved changes' : 'Saved', state.modified);
  renderComponents();
  renderInspector();
  const chart = previewChart();
  $('preview-name').textContent = chart ? chart.name : '(no chart in this form)';
  renderPreviewTools(chart);
  if (chart && preview.chart !== chart.name) {
    preview.chart = chart.name;
    preview.etag = null;
  }
  refreshPreview();
  loadRecords();
}

function renderComponents() {
  const list = $('components');
  // The items are built again only when the components changed: an item
  // replaced between the press and the release of a click (a state
  // arriving from the server meanwhile) would lose that click.
  const items = [...list.children];
  const listed = listedComponents();
  const same = items.length === listed.length &&
    listed.every(({ c, depth }, i) => items[i].dataset.component === c.name && items[i].dataset.cls === c.class &&
                                      items[i].dataset.depth === String(depth));
  if (!same) {
    list.replaceChildren();
    for (const { c, depth } of listed) {
      list.append(el('li', { class: depth ? 'depth' + depth : '', dataset: { component: c.name, cls: c.class, depth: String(depth) },
                             onclick: () => { selected = c.name; render(); } },
        el('span', { class: 'cname', text: c.name }),
        el('span', { class: 'cclass', text: c.class })));
    }
  }
  for (const li of list.children) li.classList.toggle('selected', li.dataset.component === selected);
}

function renderInspector() {
  const c = component(selected);
  const box = $('properties');
  const focused = document.activeElement && document.activeElement.dataset
    ? document.activeElement.dataset.editor : null;
  const open = new Set([...box.querySelectorAll('details[open]')].map((d) => d.dataset.group));
  const first = !box.dataset.component || box.dataset.component !== selected;
  box.replaceChildren();
  box.dataset.component = selected || '';
  $('inspected').textContent = c ? c.name + ': ' + c.class : '';
  $('remove-series').hidden = !(c && c.removable);
  if (!c) return;
  const groups = c.groups || (c.chart ? state.groups : ['properties']);
  const filter = $('filter').value.trim().toLowerCase();
  for (const g of groups) {
    const props = c.properties.filter((p) => p.group === g && matches(p, filter));
    if (!props.length) continue;
    const d = el('details', { class: 'group', dataset: { group: g } }, el('summary', { text: g }));
    d.open = first || open.has(g) || !!filter;
    for (const p of props) d.append(propertyRow(c, p));
    box.append(d);
  }
  if (focused) {
    const again = box.querySelector('[data-editor="' + CSS.escape(focused) + '"]');
    if (again) again.focus();
  }
}

function matches(p, filter) {
  if (!filter) return true;
  if (p.path.toLowerCase().includes(filter)) return true;
  return (p.props || []).some((s) => matches(s, filter));
}

function propertyRow(c, p) {
  if (p.kind === 'object') {
    const box = el('div', { class: 'object', dataset: { path: p.path } }, el('div', { class: 'oname', text: p.name }));
    for (const s of p.props) box.append(propertyRow(c, s));
    return el('div', { class: 'prop' }, box);
  }
  const row = el('div', { class: 'prop', dataset: { path: p.path, kind: p.kind } },
    el('label', { text: p.name, title: p.path + (p.type ? ' (' + p.type + ')' : '') }),
    el('div', { class: 'editor' }, ...editorFor(c, p)),
    el('div', { class: 'error', text: errors.get(c.name + '.' + p.path) || '' }));
  return row;
}

function commit(c, p, value) {
  setProperty(c.name, p.path, value);
}

function editorFor(c, p) {
  const key = c.name + '.' + p.path;
  const common = { dataset: { editor: key }, 'aria-label': p.path };
  switch (p.kind) {
    case 'boolean': {
      const box = el('input', { type: 'checkbox', ...common });
      box.checked = p.value;
      box.addEventListener('change', () => commit(c, p, box.checked));
      return [box];
    }
    case 'integer': {
      const input = el('input', { type: 'number', step: 1, min: p.min, max: p.max, ...common });
      input.value = String(p.value);
      input.addEventListener('change', () => {
        const t = input.value.trim();
        commit(c, p, /^-?\d+$/.test(t) ? Number(t) : t);
      });
      const parts = [input];
      if (p.min !== undefined) parts.push(el('span', { class: 'muted', text: p.min + '..' + p.max }));
      return parts;
    }
    case 'number': {
      const input = el('input', { type: 'number', step: 'any', ...common });
      input.value = String(p.value);
      input.addEventListener('change', () => {
        const t = input.value.trim();
        commit(c, p, t !== '' && Number.isFinite(Number(t)) ? Number(t) : t);
      });
      return [input];
    }
    case 'string':
    case 'method':
    case 'text': {
      // A text, an event handler's name, or a value of a kind the page does
      // not know, written as a form holds it. A field name or a locale is
      // offered from its list and may still be typed.
      const input = el('input', { type: 'text', list: p.list ? 'list-' + p.list : null, spellcheck: 'false',
                                  title: p.kind === 'text' ? 'the value as the form holds it' : null, ...common });
      input.value = p.value;
      input.addEventListener('change', () => commit(c, p, input.value));
      input.addEventListener('keydown', (e) => { if (e.key === 'Enter') input.blur(); });
      if (!p.swatches) return [input];
      // A list of colours: each one shown after the text.
      const swatches = el('span', { class: 'swatches', 'aria-hidden': 'true' });
      for (const rgb of p.swatches) {
        const sw = el('span', { class: 'swatch', title: rgb });
        sw.style.backgroundColor = rgb;
        swatches.append(sw);
      }
      return [input, swatches];
    }
    case 'enum':
    case 'component': {
      const select = el('select', common);
      if (p.kind === 'component') select.append(el('option', { value: '', text: '(none)' }));
      for (const n of p.choices) select.append(el('option', { value: n, text: n }));
      if (p.value && !p.choices.includes(p.value)) select.append(el('option', { value: p.value, text: p.value }));
      select.value = p.value;
      select.addEventListener('change', () => commit(c, p, select.value));
      return [select];
    }
    case 'color': {
      const picker = el('input', { type: 'color', title: p.text + ' (' + p.rgb + ')', dataset: { editor: key + '#picker' },
                                   'aria-label': p.path + ' colour' });
      picker.value = p.rgb;
      picker.addEventListener('change', () => commit(c, p, picker.value));
      const select = el('select', common);
      const named = state.colorNames.includes(p.text);
      if (!named) select.append(el('option', { value: p.text, text: p.text }));
      for (const n of state.colorNames) select.append(el('option', { value: n, text: n }));
      select.value = p.text;
      select.addEventListener('change', () => commit(c, p, select.value));
      // The colour as the web writes it; any spelling the form takes may be
      // typed here (#rrggbb, #rgb, a CSS or platform name, $00BBGGRR).
      const typed = el('input', { type: 'text', class: 'color-text', list: 'color-names', spellcheck: 'false',
                                  dataset: { editor: key + '#text' }, 'aria-label': p.path + ' colour text',
                                  title: '#rrggbb, #rgb, a colour name or $00BBGGRR' });
      typed.value = p.rgb;
      typed.addEventListener('change', () => {
        const t = typed.value.trim();
        if (t !== '' && t !== p.rgb) commit(c, p, t);
      });
      typed.addEventListener('keydown', (e) => { if (e.key === 'Enter') typed.blur(); });
      return [picker, select, typed];
    }
    case 'set': {
      const box = el('div', { class: 'checks' });
      for (const n of p.choices) {
        const check = el('input', { type: 'checkbox', dataset: { editor: key + '.' + n }, 'aria-label': p.path + ' ' + n });
        check.checked = p.value.includes(n);
        check.addEventListener('change', () => {
          const now = p.choices.filter((x) => box.querySelector('[data-editor="' + CSS.escape(key + '.' + x) + '"]').checked);
          commit(c, p, now);
        });
        box.append(el('label', { title: n }, check, document.createTextNode(n.replace(/^fs/, ''))));
      }
      return [box];
    }
    case 'strings': {
      const area = el('textarea', { rows: Math.max(2, p.value.length + 1), ...common });
      area.value = p.value.join('\n');
      area.addEventListener('change', () => commit(c, p, area.value === '' ? [] : area.value.split('\n')));
      return [area];
    }
    default:
      return [el('span', { class: 'muted', text: p.text || '' })];
  }
}

// The preview's tools: the chart's theme, and a further series for it.
function renderPreviewTools(chart) {
  const theme = chart && chart.properties.find((p) => p.name === 'Theme' && p.kind === 'enum');
  const select = $('theme');
  select.hidden = !theme;
  $('theme-label').hidden = !theme;
  if (theme) {
    const names = theme.choices.join(',');
    if (select.dataset.names !== names) {
      select.replaceChildren(...theme.choices.map((n) => el('option', { value: n, text: n.replace(/^th/, '') })));
      select.dataset.names = names;
    }
    select.value = theme.value;
    select.dataset.chart = chart.name;
  }
  $('add-series').disabled = !chart;
}

async function changeTheme() {
  const select = $('theme');
  if (select.dataset.chart) await setProperty(select.dataset.chart, 'Theme', select.value);
}

function showActionError(text) {
  $('action-error').textContent = text || '';
}

async function addSeries() {
  const chart = previewChart();
  if (!chart) return;
  const r = await api('POST', '/api/series/add', { chart: chart.name });
  showActionError(r.ok ? '' : r.data.error);
  if (r.ok) {
    errors.clear();
    selected = r.data.series;
  }
  if (r.data.state) applyState(r.data.state);
}

async function removeSeries() {
  const c = component(selected);
  if (!c || !c.removable) return;
  const r = await api('POST', '/api/series/remove', { series: c.name });
  showActionError(r.ok ? '' : r.data.error);
  if (r.ok) {
    errors.clear();
    // The chart it was drawn on is shown next.
    selected = c.seriesOf || null;
  }
  if (r.data.state) applyState(r.data.state);
}

// ---------------------------------------------------------------------------
// Actions

async function post(path, body) {
  const r = await api('POST', path, body);
  if (r.data && r.data.state) applyState(r.data.state);
  return r;
}

async function setProperty(name, path, value) {
  const key = name + '.' + path;
  const r = await api('POST', '/api/property', { component: name, property: path, value });
  // A refusal stays beside its field until the next change succeeds.
  if (r.ok) errors.clear();
  else errors.set(key, r.data.error || ('refused (' + r.status + ')'));
  if (r.data.state) applyState(r.data.state);
  else render();
}

async function undo() {
  errors.clear();
  showActionError('');
  await post('/api/undo', {});
}
async function redo() {
  errors.clear();
  showActionError('');
  await post('/api/redo', {});
}

// A save the designer asks about (409) is made again with the user's word
// for that question: the file changed on disk ("overwrite"), or a data set
// that was open is closed now and would be saved so ("inactive").
const saveQuestions = {
  changed: { confirm: 'overwrite', ask: 'Overwrite the file on disk with the designer\'s form?',
             no: 'the file changed on disk' },
  inactive: { confirm: 'inactive', ask: 'Save the form with the data set closed?',
              no: 'a data set that was open is closed' },
};

async function save() {
  const body = { overwrite: false, inactive: false };
  let r = await post('/api/save', body);
  while (r.status === 409) {
    const q = saveQuestions[r.data.reason] || saveQuestions.changed;
    if (body[q.confirm]) break;
    if (!confirm(r.data.error + '\n\n' + q.ask)) {
      setStatus('Not saved: ' + q.no, true);
      return;
    }
    body[q.confirm] = true;
    r = await post('/api/save', body);
  }
  if (!r.ok) setStatus('Not saved: ' + (r.data.error || r.status), true);
  else setStatus('Saved ' + new Date().toLocaleTimeString(), false);
}

// ---------------------------------------------------------------------------
// Preview: revalidated with the picture's ETag, swapped only when it changed
// and the new picture has loaded, so the page never flickers.

async function refreshPreview() {
  if (!state || !preview.chart) return;
  if (preview.busy) {
    preview.again = true;
    return;
  }
  preview.busy = true;
  const chart = preview.chart;
  try {
    const headers = { 'X-Plotvane-Token': token };
    if (preview.etag) headers['If-None-Match'] = preview.etag;
    // Drawn at the screen's pixel density, shown at the chart's size.
    const scale = Math.min(4, Math.max(1, Math.round((window.devicePixelRatio || 1) * 100) / 100));
    const query = '/api/preview?chart=' + encodeURIComponent(chart) + (scale !== 1 ? '&scale=' + scale : '');
    const r = await fetch(query, { headers, cache: 'no-store' });
    if (r.status === 304 || chart !== preview.chart) return;
    if (!r.ok) {
      let msg = 'no preview (' + r.status + ')';
      try { msg = (await r.json()).error || msg; } catch (e) { /* keep */ }
      $('preview-error').textContent = msg;
      return;
    }
    const etag = r.headers.get('ETag');
    const blob = await r.blob();
    const url = URL.createObjectURL(blob);
    const img = new Image();
    img.src = url;
    await img.decode();
    const shown = $('preview');
    shown.width = Math.round(img.naturalWidth / scale);
    shown.src = url;
    shown.dataset.etag = etag || '';
    if (preview.url) URL.revokeObjectURL(preview.url);
    preview.url = url;
    preview.etag = etag;
    $('preview-error').textContent = '';
  } catch (e) {
    $('preview-error').textContent = 'preview: ' + e.message;
  } finally {
    preview.busy = false;
    if (preview.again) {
      preview.again = false;
      setTimeout(refreshPreview, 0);
    }
  }
}

// ---------------------------------------------------------------------------
// Data

function gridDataSet() {
  const c = component(selected);
  if (c && c.dataSet) return c.name;
  // A series shows the records it reads.
  if (c && c.seriesOf !== undefined) return c.chartDataSet || null;
  const chart = previewChart();
  return chart && chart.chartDataSet ? chart.chartDataSet : null;
}

async function loadRecords() {
  const name = gridDataSet();
  $('data-name').textContent = name || '(no data set)';
  $('data-open').disabled = !name;
  $('data-close').disabled = !name;
  if (!name) {
    $('records').replaceChildren();
    $('data-state').textContent = '';
    return;
  }
  const r = await api('GET', '/api/records?dataset=' + encodeURIComponent(name));
  if (!r.ok) {
    $('data-error').textContent = r.data.error;
    return;
  }
  showRecords(r.data);
}

function showRecords(data) {
  records = data;
  $('data-open').disabled = data.active;
  $('data-close').disabled = !data.active;
  $('data-state').textContent = data.active
    ? data.recordCount + ' records' + (data.canModify ? ', editable: change a cell and post the row' : ', read-only')
    : 'closed';
  const table = $('records');
  table.replaceChildren();
  if (!data.active) return;
  const head = el('tr', null, el('th', { text: '#' }));
  for (const f of data.fields) head.append(el('th', { text: f.name, title: f.type }));
  if (data.canModify) head.append(el('th', { text: '' }));
  table.append(el('thead', null, head));
  const body = el('tbody');
  data.records.forEach((row, i) => {
    const recno = i + 1;
    const tr = el('tr', { dataset: { recno: String(recno) } }, el('td', { class: 'recno', text: String(recno) }));
    const edits = {};
    const postButton = el('button', { type: 'button', disabled: true, text: 'Post',
                                      onclick: () => postRecord(data.dataSet, recno, edits) });
    row.forEach((v, j) => {
      const field = data.fields[j].name;
      if (!data.canModify) {
        tr.append(el('td', { text: v === null ? '' : v }));
        return;
      }
      const input = el('input', { type: 'text', dataset: { field }, 'aria-label': field + ' of record ' + recno });
      input.value = v === null ? '' : v;
      input.addEventListener('input', () => {
        edits[field] = input.value;
        input.classList.add('edited');
        postButton.disabled = false;
      });
      input.addEventListener('keydown', (e) => { if (e.key === 'Enter') postButton.click(); });
      tr.append(el('td', null, input));
    });
    if (data.canModify) tr.append(el('td', { class: 'post' }, postButton));
    body.append(tr);
  });
  table.append(body);
}

async function postRecord(dataset, recno, values) {
  const r = await api('POST', '/api/record', { dataset, recno, values });
  $('data-error').textContent = r.ok ? '' : r.data.error;
  if (r.data.state) applyState(r.data.state);
}

async function setActive(active) {
  const name = gridDataSet();
  if (!name) return;
  const r = await post('/api/dataset', { dataset: name, active });
  $('data-error').textContent = r.ok ? '' : r.data.error;
}

// ---------------------------------------------------------------------------

window.addEventListener('beforeunload', (e) => {
  if (state && state.modified) {
    e.preventDefault();
    e.returnValue = '';
  }
});

document.addEventListener('keydown', (e) => {
  if (!(e.ctrlKey || e.metaKey)) return;
  const k = e.key.toLowerCase();
  if (k === 's') { e.preventDefault(); save(); }
  else if (k === 'z' && !e.target.matches('input, textarea')) { e.preventDefault(); undo(); }
  else if (k === 'y' && !e.target.matches('input, textarea')) { e.preventDefault(); redo(); }
});

async function start() {
  $('undo').addEventListener('click', undo);
  $('redo').addEventListener('click', redo);
  $('save').addEventListener('click', save);
  $('add-series').addEventListener('click', addSeries);
  $('remove-series').addEventListener('click', removeSeries);
  $('theme').addEventListener('change', changeTheme);
  $('data-open').addEventListener('click', () => setActive(true));
  $('data-close').addEventListener('click', () => setActive(false));
  $('filter').addEventListener('input', renderInspector);
  const r = await api('GET', '/api/state');
  if (!r.ok) {
    setStatus(r.data.error || 'cannot read the form', true);
    return;
  }
  applyState(r.data);
  // Revalidation: a 304 costs a few bytes, and the picture changes only
  // when the chart does.
  setInterval(refreshPreview, 1000);
}

start();
