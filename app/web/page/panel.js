// The Brindle page: draws the session's state (documents, stories, the panel, dialogs and
// questions) from the server's JSON, and sends what the user does back as requests. Every
// page on the server gets every change through the event stream.
'use strict';

const token = document.querySelector('meta[name="brindle-token"]').content;
const $ = (id) => document.getElementById(id);
let snapshot = null;
let files = [];
let openDialogSerial = 0;
let openQuestionSerial = 0;

async function post(path, body) {
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', 'X-Brindle-Token': token },
    body: JSON.stringify(body || {}),
  });
  let data = {};
  try { data = await response.json(); } catch (e) { data = {}; }
  const alerts = data.alerts || [];
  if (!response.ok && data.error) alerts.push(data.error);
  showAlerts(alerts);
  return { ok: response.ok, status: response.status, data };
}

function showAlerts(alerts) {
  const box = $('alerts');
  box.textContent = '';
  for (const text of alerts) {
    const p = document.createElement('p');
    p.textContent = text;
    box.appendChild(p);
  }
}

function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (v === undefined || v === null || v === false) continue;
    if (k === 'class') e.className = v;
    else if (k === 'text') e.textContent = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else e.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children) if (c) e.appendChild(typeof c === 'string' ? document.createTextNode(c) : c);
  return e;
}

// --- documents and stories --------------------------------------------------------------

async function loadFiles() {
  const response = await fetch('/api/files');
  if (!response.ok) return;
  files = (await response.json()).files || [];
  drawFiles();
}

function drawFiles() {
  const list = $('files');
  const filter = $('filter').value.toLowerCase();
  list.textContent = '';
  for (const f of files) {
    if (filter && !f.name.toLowerCase().includes(filter)) continue;
    list.appendChild(el('li', {}, el('button', {
      type: 'button', text: f.name, title: f.path, 'data-path': f.path,
      onclick: () => post('/api/documents/open', { path: f.path }),
    })));
  }
}

function drawDocuments(state) {
  const list = $('open');
  list.textContent = '';
  for (const d of state.documents) {
    const item = el('li', { class: d.front ? 'front' : '' },
      el('button', {
        type: 'button', class: 'doc', text: d.name, title: d.path, 'aria-current': d.front ? 'true' : null,
        onclick: () => post('/api/documents/front', { id: d.id }),
      }),
      d.modified ? el('span', { class: 'modified', text: '●', title: 'not saved', 'aria-label': 'not saved' }) : null);
    list.appendChild(item);
  }
  const hasFront = state.front !== 0;
  $('save').disabled = !hasFront;
  $('close').disabled = !hasFront;
  $('undo').disabled = !state.undo;
  $('undo').title = state.undo ? 'Undo ' + state.undo + ' (Ctrl+Z)' : 'Nothing to undo';
  $('redo').disabled = !state.redo;
  $('redo').title = state.redo ? 'Redo ' + state.redo + ' (Ctrl+Shift+Z)' : 'Nothing to redo';

  const stories = $('stories');
  stories.textContent = '';
  $('stories-section').hidden = state.stories.length === 0;
  for (const s of state.stories) {
    const id = 'story-' + s.uid;
    stories.appendChild(el('li', {},
      el('input', {
        type: 'checkbox', id, checked: s.selected, 'data-uid': s.uid,
        onchange: () => {
          const chosen = [...stories.querySelectorAll('input:checked')].map((i) => Number(i.dataset.uid));
          post('/api/selection', { stories: chosen });
        },
      }),
      el('label', { for: id, text: (s.name || s.id || 'story ' + s.uid) + (s.locked ? ' (locked)' : '') })));
  }
}

// --- widgets ------------------------------------------------------------------------------

// One widget's control. act(widget, action, value) sends a step; label names it for screen
// readers.
function control(w, act, label, hint) {
  const common = { 'data-wid': w.id, 'data-name': w.name, disabled: !w.enabled, 'aria-label': label };
  switch (w.kind) {
    case 'text': {
      const span = el('span', { 'data-wid': w.id, 'data-name': w.name, class: w.name === 'conflict' ? 'conflict' : 'static' });
      span.textContent = (w.label || '') + (w.text || '');
      return span;
    }
    case 'edit':
    case 'date': {
      const multi = hint && hint.typeCode === 8;
      // A password box hides what is typed (the package dialogs' password and its confirmation).
      const secret = !!w.secret;
      const input = multi ? el('textarea', common) : el('input', { ...common, type: secret ? 'password' : 'text', autocomplete: secret ? 'off' : null });
      if (w.kind === 'date') {
        input.placeholder = 'yyyy/mm/dd';
        input.setAttribute('pattern', '\\d{4}/\\d{2}/\\d{2}|ACTIVATION|now|');
        input.setAttribute('inputmode', 'numeric');
      }
      input.value = w.text || '';
      input.dataset.server = input.value;
      input.addEventListener('change', () => act(w.id, 'set', input.value));
      if (!multi) input.addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); input.blur(); } });
      else input.addEventListener('keydown', (e) => { if (e.key === 'Enter' && (e.ctrlKey || e.metaKey)) { e.preventDefault(); input.blur(); } });
      return input;
    }
    case 'check': {
      const box = el('input', { ...common, type: 'checkbox', checked: w.checked });
      box.dataset.server = String(!!w.checked);
      box.addEventListener('change', () => act(w.id, 'set', box.checked));
      return box;
    }
    case 'drop-down': {
      const select = el('select', common);
      w.list.forEach((text, i) => select.appendChild(el('option', { value: text, text: text === '' ? '—' : text, selected: i === w.selected })));
      if (w.selected < 0) select.value = w.text || '';
      select.dataset.server = select.value;
      select.addEventListener('change', () => act(w.id, 'set', select.value));
      return select;
    }
    case 'editable drop-down': {
      const listId = 'list-' + w.id;
      const input = el('input', { ...common, type: 'text', list: listId });
      input.value = w.text || '';
      input.dataset.server = input.value;
      const options = el('datalist', { id: listId });
      for (const text of w.list) if (text !== '') options.appendChild(el('option', { value: text }));
      input.addEventListener('change', () => act(w.id, 'set', input.value));
      input.addEventListener('keydown', (e) => { if (e.key === 'Enter') { e.preventDefault(); input.blur(); } });
      const wrap = el('span', {}, input, options);
      return wrap;
    }
    case 'button':
      return el('button', { ...common, type: 'button', text: w.label || w.name || 'OK', 'aria-label': label && label !== w.label ? label : null, onclick: () => act(w.id, 'click') });
    case 'colour': {
      const box = el('span', { class: 'colour', 'data-wid': w.id, role: 'img', 'aria-label': (label || '') + ' ' + (w.text || '') });
      box.style.backgroundColor = w.color;
      box.textContent = w.text || '';
      return box;
    }
    case 'list': {
      const select = el('select', { ...common, size: Math.min(8, Math.max(2, w.list.length)) });
      w.list.forEach((text, i) => select.appendChild(el('option', { value: text, text, selected: i === w.selected })));
      select.addEventListener('change', () => act(w.id, 'set', select.value));
      return select;
    }
    case 'group': {
      const group = el('div', { role: 'group', 'aria-label': w.label || w.name });
      for (const c of w.children || []) if (c.shown) group.appendChild(control(c, act, c.label || label));
      return group;
    }
    default:
      return el('span', { text: w.text || '' });
  }
}

// The panel's requests: a row's value by the row's number, a button by its name, the package
// by its name.
const panelPost = (body) => post('/api/panel', body);
const clickWidget = (w) => panelPost({ action: 'click', widget: w.name || w.id });

// The panel is the plug-in's widget tree: the package drop-down, the version, the target, the
// "Conflict" label and the buttons, then the rows, one group per field ("rowN") holding the
// field's label, its value control (named "N") and its buttons ("N.change", ...).
function drawPanel(panel, frontOpen) {
  const body = $('panel-body');
  // What the user is typing survives a redraw caused by someone else's change.
  const active = document.activeElement;
  let keep = null;
  if (active && active.dataset && active.dataset.wid && body.contains(active)) {
    keep = { wid: active.dataset.wid, value: active.value, dirty: active.value !== active.dataset.server,
             start: active.selectionStart, end: active.selectionEnd };
  }
  body.textContent = '';
  if (!frontOpen || !panel || !panel.root) {
    body.appendChild(el('p', { class: 'empty', text: 'Open a document to see its metadata.' }));
    return;
  }
  const head = el('div', { class: 'panel-head' });
  const buttons = el('div', { class: 'panel-buttons', role: 'toolbar', 'aria-label': 'Package actions' });
  const targets = el('div', { class: 'panel-buttons', role: 'toolbar', 'aria-label': 'Targets' });
  let rowsWidget = null;
  for (const w of panel.root.children || []) {
    if (w.name === 'rows') { rowsWidget = w; continue; }
    if (!w.shown) continue;
    if (w.name === 'package') {
      const c = control(w, (id, action, value) => panelPost({ action: 'choose', package: value }), w.label);
      c.id = 'package';
      c.removeAttribute('aria-label');
      head.appendChild(el('label', { for: 'package', text: w.label || 'Package' }));
      head.appendChild(c);
    } else if (w.kind === 'button') {
      const b = control(w, () => clickWidget(w), w.label);
      (['document', 'story', 'assignment', 'check'].includes(w.name) ? targets : buttons).appendChild(b);
    } else if (w.kind === 'text') {
      head.appendChild(el('span', { 'data-wid': w.id, 'data-name': w.name, class: w.name === 'conflict' ? 'conflict' : 'static ' + w.name,
                                    role: w.name === 'conflict' ? 'status' : null, text: w.text || '' }));
    }
  }
  body.appendChild(head);
  body.appendChild(el('div', { class: 'panel-tools' }, buttons, targets));
  const rowList = ((rowsWidget && rowsWidget.children) || []).filter((r) => r.shown);
  if (rowsWidget && rowsWidget.text) body.appendChild(el('p', { class: 'note', role: 'note', text: rowsWidget.text }));
  if (!rowList.length) {
    body.appendChild(el('p', { class: 'empty', text: panel.package ? 'The package has no visible fields.' : 'No package to show: choose one and apply it.' }));
  }
  const rows = el('div', { class: 'rows', role: 'list', 'aria-label': 'Fields of ' + (panel.package || 'the package') });
  for (const row of rowList) {
    const hint = (panel.rows || {})[String(row.id)] || {};
    const number = row.name.replace(/^row/, '');
    const name = row.label || '';
    const act = (id, action, value) => (action === 'click' ? undefined : panelPost({ action: 'set', row: Number(number), value }));
    const label = el('div', { class: 'row-label', role: 'listitem' });
    const controls = el('div', { class: 'row-controls', 'data-row': name, 'data-type': hint.type || '' });
    let first = null;
    for (const w of row.children || []) {
      if (w.name === 'label' + number || !w.shown) continue;
      if (w.kind === 'button') {
        controls.appendChild(el('button', { type: 'button', 'data-wid': w.id, 'data-name': w.name, disabled: !w.enabled, text: w.label,
                                             'aria-label': name + ': ' + w.label.replace(/\.\.\.$/, ''), onclick: () => clickWidget(w) }));
        continue;
      }
      if (w.kind === 'colour') {
        // A deadline: its three lines on the colour its dates give it.
        const box = el('div', { class: 'colour deadline', 'data-wid': w.id, 'data-name': w.name, role: 'group', 'aria-label': name });
        box.style.backgroundColor = w.color;
        for (const line of (w.text || '').split('\n')) {
          const at = line.indexOf(': ');
          box.appendChild(el('span', { class: 'deadline-label', text: at < 0 ? line : line.slice(0, at + 1) }));
          box.appendChild(el('span', { class: 'deadline-value', text: at < 0 ? '' : line.slice(at + 2) || '—' }));
        }
        controls.appendChild(box);
        continue;
      }
      if (w.kind === 'text') {
        // A multi-choice's values, changed through its dialog.
        controls.appendChild(el('span', { class: 'static value', 'data-wid': w.id, 'data-name': w.name, id: 'value-' + row.id, text: w.text || '—' }));
        continue;
      }
      const c = control(w, act, name, hint);
      if (!first) first = c.matches('input,select,textarea') ? c : c.querySelector('input');
      controls.appendChild(c);
    }
    const labelText = el('span', { text: name });
    if (first) {
      first.id = 'field-' + row.id;
      label.appendChild(el('label', { for: first.id }, labelText));
      first.removeAttribute('aria-label');
      if (hint.description) first.setAttribute('aria-description', hint.description);
      if (hint.required) first.setAttribute('aria-required', 'true');
    } else {
      label.appendChild(labelText);
    }
    if (hint.required) label.appendChild(el('span', { class: 'required', text: ' *', title: 'required', 'aria-hidden': 'true' }));
    if (hint.description) label.title = hint.description;
    rows.appendChild(label);
    rows.appendChild(controls);
  }
  body.appendChild(rows);
  if (keep) {
    const again = body.querySelector('[data-wid="' + keep.wid + '"]');
    if (again) {
      if (keep.dirty && 'value' in again) again.value = keep.value;
      again.focus();
      try { if (keep.start !== undefined && keep.start !== null) again.setSelectionRange(keep.start, keep.end); } catch (e) { /* not a text control */ }
    }
  }
}

// --- dialogs and questions ---------------------------------------------------------------

function drawDialog(pending) {
  const box = $('dialog');
  const d = pending.dialog;
  if (!d) {
    if (box.open) box.close();
    openDialogSerial = 0;
    return;
  }
  if (d.serial === openDialogSerial) return;
  openDialogSerial = d.serial;
  $('dialog-title').textContent = d.title || d.name;
  const alerts = $('dialog-alerts');
  alerts.textContent = '';
  for (const a of d.alerts || []) alerts.appendChild(el('p', { text: a }));
  const body = $('dialog-body');
  body.textContent = '';
  const buttons = $('dialog-buttons');
  buttons.textContent = '';
  const served = new Map();
  const act = (widget, action) => {
    if (action === 'click') answer(String(widget));
  };
  let focus = null;
  for (const w of d.root.children || []) {
    if (!w.shown) continue;
    if (w.kind === 'button') {
      if (w.id === 1 || w.id === 2) continue;
      buttons.appendChild(control(w, act, w.label));
      continue;
    }
    const id = 'd' + w.id;
    const c = control(w, () => {}, w.label || w.name);
    const input = c.matches && c.matches('input,select,textarea') ? c : (c.querySelector && c.querySelector('input'));
    if (input) {
      input.id = id;
      input.removeAttribute('aria-label');
      served.set(input, w);
      body.appendChild(el('div', { class: 'field' }, el('label', { for: id, text: w.label || w.name }), c));
      if (!focus || w.id === d.focus) focus = input;
    } else {
      body.appendChild(c);
    }
  }
  buttons.appendChild(el('button', { type: 'button', text: 'Cancel', onclick: () => answer('Cancel') }));
  buttons.appendChild(el('button', { type: 'submit', text: 'OK', class: 'default' }));
  function answer(button) {
    const values = [];
    for (const [input, w] of served) {
      const value = input.type === 'checkbox' ? input.checked : input.value;
      const before = input.type === 'checkbox' ? !!w.checked : (w.text || '');
      if (value !== before) values.push({ widget: w.name || w.id, value });
    }
    openDialogSerial = -1;
    post('/api/dialog', { serial: d.serial, button, values: button === 'Cancel' ? [] : values });
  }
  $('dialog-form').onsubmit = (e) => { e.preventDefault(); answer('OK'); };
  box.oncancel = (e) => { e.preventDefault(); answer('Cancel'); };
  if (!box.open) box.showModal();
  if (focus) focus.focus();
}

function drawQuestion(pending) {
  const box = $('question');
  const q = pending.question;
  if (!q) {
    if (box.open) box.close();
    openQuestionSerial = 0;
    return;
  }
  if (q.serial === openQuestionSerial) return;
  openQuestionSerial = q.serial;
  $('question-text').textContent = q.message;
  const buttons = $('question-buttons');
  buttons.textContent = '';
  let def = null;
  q.buttons.forEach((text, i) => {
    const b = el('button', { type: 'button', text, onclick: () => { openQuestionSerial = -1; post('/api/question', { serial: q.serial, button: i + 1 }); } });
    if (i + 1 === q.default) def = b;
    buttons.appendChild(b);
  });
  box.oncancel = (e) => { e.preventDefault(); post('/api/question', { serial: q.serial, button: q.default }); };
  if (!box.open) box.showModal();
  if (def) def.focus();
}

// --- the whole page -------------------------------------------------------------------------

function render(snap) {
  if (snapshot && snap.version <= snapshot.version) return;
  snapshot = snap;
  const state = snap.state || { documents: [], stories: [], front: 0, panel: { root: {}, rows: {} } };
  drawDocuments(state);
  drawPanel(state.panel, state.front !== 0);
  drawDialog(snap.pending || {});
  drawQuestion(snap.pending || {});
  document.body.dataset.version = snap.version;
  // The first drawing with the session's state is when the page is ready (timed in bench/).
  if (!performance.getEntriesByName('brindle:drawn').length) performance.mark('brindle:drawn');
}

async function closeFront() {
  const front = snapshot && snapshot.state.documents.find((d) => d.front);
  if (!front) return;
  if (front.modified && !confirm('Close ' + front.name + ' without saving?')) return;
  const r = await post('/api/documents/close', { id: front.id });
  if (r.status === 409 && confirm((r.data.error || 'The document was not closed.') + '\n\nClose it all the same?')) {
    post('/api/documents/close', { id: front.id, force: true });
  }
}

function connect() {
  const events = new EventSource('/api/events');
  events.addEventListener('state', (e) => render(JSON.parse(e.data)));
  let lost = false;
  events.onopen = () => {
    // A server started again counts its versions from the start: take its state as it comes.
    if (lost) snapshot = null;
    lost = false;
    $('connection').textContent = 'connected';
  };
  events.onerror = () => { lost = true; $('connection').textContent = 'reconnecting…'; };
}

document.addEventListener('keydown', (e) => {
  const mod = e.ctrlKey || e.metaKey;
  if (!mod) return;
  const typing = e.target.matches && e.target.matches('input[type=text],textarea');
  const key = e.key.toLowerCase();
  if (key === 's') { e.preventDefault(); if (typing) e.target.blur(); post('/api/save', {}); }
  else if (key === 'z' && !typing) { e.preventDefault(); post(e.shiftKey ? '/api/redo' : '/api/undo', {}); }
  else if (key === 'y' && !typing) { e.preventDefault(); post('/api/redo', {}); }
});

$('undo').addEventListener('click', () => post('/api/undo', {}));
$('redo').addEventListener('click', () => post('/api/redo', {}));
$('save').addEventListener('click', () => post('/api/save', {}));
$('close').addEventListener('click', closeFront);
$('filter').addEventListener('input', drawFiles);

// The page comes with the state it was served with, so it draws without another round trip.
try {
  render(JSON.parse($('initial-state').textContent));
} catch (e) {
  fetch('/api/state').then((r) => r.json()).then(render);
}
loadFiles();
connect();
