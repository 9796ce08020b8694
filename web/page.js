// The page: an image's cries as a list, one cry selected with its waveform, a
// new sound encoded for it, and the history of edits. Everything the page
// knows of the format comes from the binding (brevox.js), called only as
// `await state.core.NAME(...)`; the page keeps the original bytes and the
// edits, and rebuilds the image from them.
'use strict';

const $ = selector => document.querySelector(selector);
const state = {
  core: null, lang: 'fr',
  rom: null,          // {name}: the file opened; the engine keeps its bytes as read
  request: {table: -1, entries: 0},  // the table as last read: offset (-1: found), entries (0: measured)
  info: null,         // what the binding's open said
  stop: null,         // why the table stops short, or null
  rows: [],
  free: 0,            // free-space bytes the image has left, edits applied
  selected: null,     // a row
  selecting: null,    // the selected row's values and defaults being fetched
  oldValues: null,    // the selected cry's values
  file: null,         // the sound last given for the selected cry
  limit: 0,           // values the sound is cut to so that it fits (0: none)
  runs: 0,            // conditionings started: only the last one's result is shown
  waves: null,        // the IntersectionObserver that draws the list's waveforms
  rowRuns: 0,         // fillings of the list started: only the last one goes on
  opening: 0,         // images chosen: only the last one opens
  kinds: [],          // the kinds a new sample may take: {name, max_values}
  defaults: null,     // the selected cry's replacement's default kind and rate_field
  candidate: null,    // {values, sample, newValues, target, plan, quality, fit, warnings, raw}
  edits: [],          // {index, id, sample, at, bytes}, in the order made
  redo: [],           // edits undone or reverted, the last one first to come back
  saved: true,        // the edits are in a file downloaded since the last change
  status: null,       // {key, args, level}: re-worded when the language changes
  audio: null,
  playing: null,      // {source, start, duration, box, span}
  typed: '', typedAt: 0,  // digits typed on the list, to jump to an ID
};
const t = () => TEXTS[state.lang];

// --- The status line: a message key and its arguments, worded at each render ---

function show(level, key, args) {
  state.status = {key, args, level};
  renderStatus();
}
const say = (key, ...args) => show('info', key, args);
const warn = (key, ...args) => show('warning', key, args);
const fail = (key, ...args) => show('error', key, args);

// An argument given as a function is worded when shown, in the language of the moment.
function worded(key, args) {
  const text = t()[key];
  return typeof text === 'function' ? text(...args.map(a => typeof a === 'function' ? a() : a)) : text;
}

function renderStatus() {
  const s = state.status;
  if (!s) return;
  $('#status').textContent = worded(s.key, s.args);
  $('#status').className = s.level;
}

// The problems of a plan in words, each named by its entry unless `named` is false.
function problemsText(plan, named = true) {
  if (plan.error) return plan.error;
  return plan.problems.map(p => {
    const about = named && p.index >= 0 ? entryName(p.index) + ': ' : '';
    return about + t().problems[p.kind](p, state.info);
  }).join('; ');
}

function entryName(index) {
  const row = state.rows.find(r => r.index === index && r.id !== null);
  return row ? t().selected(row.id) : t().entry(index);
}

// An edit's cry as it was named when made: its entry may lie past the table now.
function editName(edit) {
  return edit.id !== null ? t().selected(edit.id) : t().entry(edit.index);
}

// --- Texts -------------------------------------------------------------------

function applyLanguage() {
  document.documentElement.lang = t().lang;
  document.querySelectorAll('[data-t]').forEach(el => { el.textContent = t()[el.dataset.t]; });
  document.querySelectorAll('[data-title]').forEach(el => { el.title = t()[el.dataset.title]; });
  document.querySelectorAll('[data-label]').forEach(el => el.setAttribute('aria-label', t()[el.dataset.label]));
  $('#language').textContent = t().otherLanguage;
  $('#language').lang = t().otherLang;
  showRom();
  showSelection();
  showHistory();
  renderStatus();
}

// --- Files in and out ---------------------------------------------------------

function download(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], {type}));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

function editedName(name) {
  const dot = name.lastIndexOf('.');
  return dot > 0 ? name.slice(0, dot) + '-brevox' + name.slice(dot) : name + '-brevox';
}

function patchName(name) {
  const dot = name.lastIndexOf('.');
  return (dot > 0 ? name.slice(0, dot) : name) + '.bps';
}

// The name the command line's dump-all gives the file, which its import reads back.
function wavName(row) {
  return `${row.file}.wav`;
}

// A file a user means as a sound rather than an image: by its type or name.
function isSound(file) {
  return file.type.startsWith('audio/') || /\.(wav|wave|mp3|ogg|oga|opus|flac|m4a|aac|aif|aiff|webm)$/i.test(file.name);
}

// Edits nobody has downloaded go only after the user says so.
function unsaved() {
  return state.rom && state.edits.length > 0 && !state.saved;
}

function mayDiscard() {
  return !unsaved() || confirm(worded('discard', [state.edits.length]));
}

// --- The image --------------------------------------------------------------------

// The table the fields ask for: {table, entries}, or a message key when a field holds no number.
function tableRequest() {
  const text = $('#table-input').value.trim().replace(/^0x/i, '');
  const entries = $('#entries').value.trim();
  if (text !== '' && !/^[0-9a-f]{1,8}$/i.test(text)) return 'badOffset';
  if (entries !== '' && !(/^\d+$/.test(entries) && Number(entries) >= 1)) return 'badEntries';
  return {table: text === '' ? -1 : parseInt(text, 16), entries: entries === '' ? 0 : Number(entries)};
}

function openFailure(info) {
  return info.error ? ['openProblem', info.problem, info.error] : ['noTable'];
}

// A file refused, or declined for unsaved edits, leaves the image open
// before as it was, with its edits; the question comes only for a file that
// opens. The engine reads the file itself, off the page's thread, and holds
// the image it read last until it is taken: a file chosen while another was
// being read goes on alone.
async function openRom(file) {
  if (!file) return;
  if (isSound(file)) return fail('soundAsImage', file.name);
  const opening = ++state.opening;
  const info = JSON.parse(await state.core.open(file, -1, 0, $('#species').checked));
  if (opening !== state.opening) return;
  const refused = info.error || info.table === null;
  if (refused) return fail(...openFailure(info), file.name);
  if (!mayDiscard()) return say('discardDeclined', file.name);
  await state.core.take();
  stop();
  state.rom = {name: file.name};
  state.request = {table: -1, entries: 0};
  $('#table-input').value = $('#entries').value = '';
  state.edits = [];
  state.redo = [];
  state.saved = true;
  state.selected = null;
  await rebuild(state.request, info);
  if (state.stop) warn('openedShort', file.name, state.info.entries_in_table);
  else say('opened', file.name, state.info.entries_in_table);
}

// Reads the table of the image as opened with `request` and plans every
// edit again, in order, against it: {ok: false, info} when the image cannot
// be read so (the binding then holds that failed reading), else the edits
// that no longer fit (dropped, with their plans) and those that now go
// elsewhere (moved). `opened`: what `open` said of the image just taken,
// read with `request`.
async function rebuild(request, opened = null) {
  const info = opened || JSON.parse(await state.core.reopen(request.table, request.entries, $('#species').checked));
  if (info.error || info.table === null) return {ok: false, info};
  state.info = info;
  state.request = request;
  state.stop = info.table_stop;
  const dropped = [], moved = [], kept = [];
  for (const edit of state.edits) {
    const plan = JSON.parse(await state.core.apply(edit.index, edit.sample));
    if (plan.error || !plan.ok) {
      dropped.push({edit, plan});
      continue;
    }
    const at = plan.cries[0].new_offset;
    if (at !== edit.at) moved.push({edit, at});
    kept.push({...edit, at});
  }
  state.edits = kept;
  await refresh();
  return {ok: true, dropped, moved};
}

// A table asked for in the fields: read, and the edits planned again against it.
async function reread() {
  if (!state.rom) return;
  const request = tableRequest();
  if (typeof request === 'string') return fail(request);
  const pending = state.edits.length;
  const result = await rebuild(request);
  if (!result.ok) {
    await rebuild(state.request);
    return fail(...openFailure(result.info), state.rom.name);
  }
  if (pending) return reportReplan(result, 'replanned', state.info.table, state.edits.length);
  if (state.stop) warn('openedShort', state.rom.name, state.info.entries_in_table);
  else say('opened', state.rom.name, state.info.entries_in_table);
}

// What became of the edits planned again: each one that no longer fits or
// that goes elsewhere named.
function reportReplan(result, key = 'replanned', ...args) {
  const dropped = result.dropped.map(d => () => `${editName(d.edit)} (${problemsText(d.plan, false)})`);
  const moved = result.moved.map(m => () => `${editName(m.edit)} → ${hex(m.at)}`);
  if (result.dropped.length || result.moved.length) {
    state.saved = false;
    return warn('replannedChanged', state.info.table, state.edits.length, () => dropped.map(f => f()),
                () => moved.map(f => f()));
  }
  say(key, ...args);
}

// Reads the rows of the current image again, keeping the selected cry, whose
// replacement starts over from the defaults of the sample it now holds.
async function refresh() {
  state.rows = JSON.parse(await state.core.rows());
  const keep = state.selected && state.rows.find(r => r.index === state.selected.index && r.id === state.selected.id);
  state.selected = keep || null;
  state.candidate = state.file = null;
  state.free = await state.core.freeSpace();
  if (state.selected) await loadSelection(state.selected);
  showRom();
  showSelection();
  showHistory();
}

function showRom() {
  const info = state.rom && state.info;
  $('#release').textContent = info ? info.label : '–';
  $('#table-offset').textContent = info ? hex(info.table) : '–';
  $('#table-entries').textContent = info ? info.entries_in_table : '–';
  $('#table-source').textContent = info ? t().sources[info.found_by] || info.found_by : '–';
  $('#reverse-table').textContent = info && info.reverse_table !== null ? hex(info.reverse_table) : info ? t().none : '–';
  $('#table-pointers').textContent = info && info.table_pointers.length ? info.table_pointers.map(hex).join(', ') :
    info ? t().none : '–';
  const notes = !info ? [] : [info.unused_table !== null && t().unusedTable(info.unused_table, info.table),
                              info.ambiguous && t().ambiguous(info.competing_tables)].filter(Boolean);
  $('#table-note').textContent = notes.join(' ');
  $('#table-note').hidden = !notes.length;
  const stop = info && state.stop;
  $('#table-warning').hidden = !stop;
  $('#table-stop').textContent = stop ? t().tableStop(stop) : '';
  $('#use-entries').hidden = !stop || !stop.resumes;
  if (stop) $('#use-entries').textContent = t().useEntries(stop.index + 1 + stop.resumes);
  showRows($('#cries tbody'));
}

// The rows go into the list a batch at a time, one batch a frame, so that
// hundreds of rows are never laid out at once (batches put in by tasks of
// their own would pile up before a frame), and a frame lays out few enough
// to stay short on a slow machine. A later call (another image, the other
// language) stops an earlier one. The list's one tab stop is the selected
// row, or the first.
const RowBatch = 20;

function showRows(body, run = ++state.rowRuns, from = 0) {
  if (run !== state.rowRuns) return;
  if (from === 0) watchRowWaves();
  const batch = state.rows.slice(from, from + RowBatch).map(rowElement);
  if (from === 0) body.replaceChildren(...batch);
  else body.append(...batch);
  body.querySelectorAll('tr[tabindex="0"]').forEach(tr => { tr.tabIndex = -1; });
  const active = body.querySelector('tr.selected') || body.rows[0];
  if (active) active.tabIndex = 0;
  if (from + RowBatch < state.rows.length) requestAnimationFrame(() => showRows(body, run, from + RowBatch));
}

function rowElement(row) {
  const tr = document.createElement('tr');
  tr.tabIndex = -1;
  if (row.id !== null) tr.dataset.id = row.id;
  tr.dataset.index = row.index;
  const s = row.sample;
  const cells = [row.id ?? '', row.index, s ? hex(s.offset) : '–', s ? s.length : '–',
                 s && s.sound ? s.seconds.toFixed(3) : '–', s ? s.bytes : '–', s ? t()[s.kind] || s.kind : '–',
                 row.reverse_in_step === null ? '–' : row.reverse_in_step ? t().yes : t().no];
  for (const text of cells) tr.insertCell().textContent = text;
  const canvas = document.createElement('canvas');
  canvas.width = 120;
  canvas.height = 24;
  tr.insertCell().append(canvas);
  if (s && s.sound) state.waves.observe(canvas);
  for (const [cls, label, title, action] of [['play', 'play', 'playRowTitle', () => play(row)],
                                             ['dump', 'dumpHead', 'dumpTitle', () => dump(row)]]) {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = cls;
    button.tabIndex = -1;
    button.textContent = t()[label];
    button.title = t()[title];
    button.disabled = !(s && s.sound);
    button.addEventListener('click', e => { e.stopPropagation(); action(); });
    tr.insertCell().append(button);
  }
  const selected = state.selected && state.selected.index === row.index && state.selected.id === row.id;
  tr.setAttribute('aria-selected', selected);
  if (state.edits.some(e => e.index === row.index)) tr.classList.add('edited');
  if (selected) tr.classList.add('selected');
  tr.addEventListener('click', () => focusRow(tr));
  return tr;
}

// A row's small waveform is drawn when the row first comes into view, as the
// engine decodes it: hundreds of canvases drawn at once would hold up the
// frames that show them. A new list (another image, the other language)
// starts over.
function watchRowWaves() {
  if (state.waves) state.waves.disconnect();
  state.waves = new IntersectionObserver((entries, waves) => entries.filter(e => e.isIntersecting).forEach(async e => {
    waves.unobserve(e.target);
    const row = rowOf(e.target.closest('tr'));
    if (row) drawWave(e.target, await state.core.decode(row.sample.offset));
  }), {rootMargin: '200px 0px'});
}

function rowOf(tr) {
  const index = Number(tr.dataset.index), id = tr.dataset.id === undefined ? null : Number(tr.dataset.id);
  return state.rows.find(r => r.index === index && r.id === id);
}

// --- The list from the keyboard: one tab stop, the arrows move the selection ---

function focusRow(tr) {
  if (!tr) return;
  $('#cries tbody').querySelectorAll('tr[tabindex="0"]').forEach(r => { r.tabIndex = -1; });
  tr.tabIndex = 0;
  tr.focus();
  select(rowOf(tr));
}

// Rows a page key moves by: those the list shows at once.
function rowsPerPage(tr) {
  return Math.max(1, Math.floor($('#list').clientHeight / (tr.offsetHeight || 20)) - 1);
}

function onListKey(e) {
  const tr = e.target.closest('#cries tbody tr');
  if (!tr || e.ctrlKey || e.altKey || e.metaKey) return;
  const rows = [...$('#cries tbody').rows];
  const i = rows.indexOf(tr);
  const moves = {ArrowDown: i + 1, ArrowUp: i - 1, Home: 0, End: rows.length - 1,
                 PageDown: i + rowsPerPage(tr), PageUp: i - rowsPerPage(tr)};
  if (e.key in moves) {
    focusRow(rows[Math.max(0, Math.min(rows.length - 1, moves[e.key]))]);
  } else if (e.key === 'Enter') {
    focusRow(tr);
  } else if (e.key === ' ' || e.key === 'p') {
    play(rowOf(tr));
  } else if (e.key === 'd') {
    dump(rowOf(tr));
  } else if (/^[0-9]$/.test(e.key)) {
    // Digits typed within a second of each other name an ID.
    state.typed = (e.timeStamp - state.typedAt < 1000 ? state.typed : '') + e.key;
    state.typedAt = e.timeStamp;
    focusRow($(`#cries tbody tr[data-id="${Number(state.typed)}"]`));
  } else {
    return;
  }
  e.preventDefault();
}

// --- Waveforms and sound -------------------------------------------------------------

// `values` drawn over the first `span` (0 to 1) of the canvas's width, so
// that two sounds drawn on one time scale compare.
function drawWave(canvas, values, color = '#2c5aa0', span = 1) {
  const g = canvas.getContext('2d');
  const {height} = canvas;
  const width = Math.max(1, Math.round(canvas.width * span));
  g.clearRect(0, 0, canvas.width, height);
  g.strokeStyle = '#d0d0d8';
  g.beginPath();
  g.moveTo(0, height / 2);
  g.lineTo(canvas.width, height / 2);
  g.stroke();
  if (!values || !values.length) return;
  const y = v => (255 - v) / 255 * (height - 1);
  if (values.length < width) {
    // Fewer values than pixels: a line through them.
    g.strokeStyle = color;
    g.beginPath();
    values.forEach((v, i) => g.lineTo(values.length > 1 ? i / (values.length - 1) * width : width / 2, y(v)));
    g.stroke();
    return;
  }
  // Otherwise each pixel column spans the lowest and highest value it covers.
  g.fillStyle = color;
  const per = values.length / width;
  for (let x = 0; x < width; x++) {
    const part = values.subarray(Math.floor(x * per), Math.floor((x + 1) * per));
    const top = y(Math.max(...part)), bottom = y(Math.min(...part));
    g.fillRect(x, top, 1, Math.max(1, bottom - top));
  }
}

// Plays 8-bit `values` at `rate`, as the game plays them, stopping whatever
// played before; `box` (a .wave-box) shows the playhead over the first `span`
// of its width.
function playValues(values, rate, box = null, span = 1) {
  stop();
  state.audio = state.audio || new AudioContext();
  const buffer = state.audio.createBuffer(1, values.length, rate);
  const channel = buffer.getChannelData(0);
  for (let i = 0; i < values.length; i++) channel[i] = (values[i] - 128) / 128;
  const source = state.audio.createBufferSource();
  source.buffer = buffer;
  source.connect(state.audio.destination);
  source.onended = () => { if (state.playing && state.playing.source === source) stop(); };
  source.start();
  state.playing = {source, start: state.audio.currentTime, duration: values.length / rate, box, span};
  showPlaying();
  requestAnimationFrame(movePlayhead);
}

function stop() {
  const playing = state.playing;
  state.playing = null;
  if (playing) {
    playing.source.onended = null;
    playing.source.stop();
  }
  showPlaying();
}

function showPlaying() {
  $('#stop').disabled = !state.playing;
  document.querySelectorAll('.playhead').forEach(p => { p.hidden = !state.playing || state.playing.box !== p.parentNode; });
}

function movePlayhead() {
  const p = state.playing;
  if (!p || !p.box) return;
  const done = Math.min(1, (state.audio.currentTime - p.start) / p.duration);
  p.box.querySelector('.playhead').style.left = `${done * p.span * 100}%`;
  requestAnimationFrame(movePlayhead);
}

// The time scale both waveforms of the selected cry share: the part of the
// canvas each one fills.
function spans() {
  const old = state.selected && state.selected.sample ? state.selected.sample.seconds : 0;
  const c = state.candidate;
  const next = c ? c.newValues.length / c.target.rate : 0;
  const longest = Math.max(old, next) || 1;
  return {old: old / longest, next: next / longest};
}

async function play(row) {
  const values = row.sample && row.sample.sound ? await state.core.decode(row.sample.offset) : null;
  if (!values || !values.length) return fail('cannotPlay');
  const mine = row === state.selected;
  playValues(values, row.sample.rate, mine ? $('#wave').parentNode : null, spans().old);
  say('playing', row.id ?? row.index);
}

async function dump(row) {
  const bytes = row.sample ? await state.core.wavFile(row.sample.offset) : null;
  if (!bytes) return fail('cannotPlay');
  download(bytes, wavName(row), 'audio/wav');
  say('dumped', wavName(row));
}

// --- The selected cry and its replacement ------------------------------------------

async function select(row) {
  if (!row) return;
  state.selected = row;
  state.candidate = state.file = null;
  state.limit = 0;
  state.runs++;
  $('#audio-file').value = '';
  state.selecting = loadSelection(row);
  await state.selecting;
  document.querySelectorAll('#cries tbody tr.selected').forEach(tr => {
    tr.classList.remove('selected');
    tr.setAttribute('aria-selected', 'false');
  });
  const tr = document.querySelector(`#cries tbody tr[data-index="${row.index}"]${row.id !== null ? `[data-id="${row.id}"]` : ':not([data-id])'}`);
  if (tr) {
    tr.classList.add('selected');
    tr.setAttribute('aria-selected', 'true');
  }
  showSelection();
}

async function loadSelection(row) {
  state.oldValues = row.sample && row.sample.sound ? await state.core.decode(row.sample.offset) : null;
  await showDefaults(row);
}

function showSelection() {
  const row = state.selected;
  $('#selected').hidden = !row;
  $('#no-selection').hidden = !!row;
  $('#selected-title').textContent = row ? t().selected(row.id) : '';
  if (!row) return;
  $('#play-selected').disabled = $('#dump-selected').disabled = !state.oldValues;
  showCandidate();
}

// --- The new sample's kind and rate -------------------------------------------------

// A replacement takes the kind and rate of the sample it replaces unless the
// user picks another kind or types a rate.
async function showDefaults(row) {
  state.defaults = JSON.parse(await state.core.defaults(row.index));
  $('#kind').value = state.defaults.kind;
  $('#rate').value = '';
  $('#rate').placeholder = Math.round(state.defaults.rate_field / 1024);
}

function showKinds() {
  $('#kind').replaceChildren(...state.kinds.map(k => {
    const option = document.createElement('option');
    option.value = k.name;
    option.dataset.t = k.name;
    option.textContent = t()[k.name];
    return option;
  }));
}

// What the new sample will be: {kind, max, rateField, rate (Hz)}, or null
// when the rate field holds no rate a game plays.
function sampleTarget() {
  const kind = state.kinds.find(k => k.name === $('#kind').value);
  const field = $('#rate');
  if (field.value === '') {
    const rateField = state.defaults.rate_field;
    return {kind: kind.name, max: kind.max_values, rateField, rate: rateField / 1024};
  }
  if (!field.checkValidity() || !Number.isInteger(field.valueAsNumber)) return null;
  return {kind: kind.name, max: kind.max_values, rateField: field.valueAsNumber * 1024, rate: field.valueAsNumber};
}

// --- Conditioning ----------------------------------------------------------------

// The controls as the core takes them (see OptionsOf in binding.cpp), or null
// when a ticked decibel field holds no valid number.
function conditionOptions() {
  const db = (box, field) => !$(box).checked ? null : $(field).checkValidity() ? $(field).valueAsNumber : NaN;
  const options = {channel: $('#channel').value, removeDc: $('#dc-remove').checked, trimDb: db('#trim', '#trim-db'),
                   gainDb: db('#gain', '#gain-db') ?? 0, normalizeDb: db('#normalize', '#normalize-db')};
  return [options.trimDb, options.gainDb, options.normalizeDb].every(x => x === null || Number.isFinite(x))
    ? options : null;
}

function conditions(options) {
  return options.channel !== 'mix' || options.removeDc || options.trimDb !== null || options.gainDb !== 0 ||
         options.normalizeDb !== null;
}

// The rate files are decoded at when the core cannot read their header: that
// of most compressed audio, so that nothing a cry can hold is lost before
// the core conditions it.
const DecodeRate = 48000;

function interleaved(buffer) {
  const channels = [...Array(buffer.numberOfChannels).keys()].map(c => buffer.getChannelData(c));
  const frames = new Float32Array(buffer.length * channels.length);
  for (let i = 0; i < buffer.length; i++) channels.forEach((data, c) => { frames[i * channels.length + c] = data[i]; });
  return frames;
}

// The sound of an audio file as unsigned 8-bit values at `rate`, with the
// core's warnings: an 8-bit mono WAV at that rate in whole Hz (as a dump
// states it) as it is; anything else decoded by the browser at its own rate,
// then converted by the core as the command line converts a file (null when
// it cannot resample between the two rates).
async function soundOf(file, rate, options) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  const wav = JSON.parse(await state.core.wavInfo(bytes));
  if (!wav.error && wav.raw && wav.rate === Math.round(rate))
    return {raw: true, values: bytes.slice(wav.offset, wav.offset + wav.size), warnings: []};
  const fileRate = !wav.error && wav.rate >= 3000 && wav.rate <= 768000 ? wav.rate : DecodeRate;
  const decoded = await new OfflineAudioContext(1, 1, fileRate).decodeAudioData(bytes.buffer.slice(0));
  const sound = await state.core.convert(interleaved(decoded), decoded.numberOfChannels, decoded.sampleRate, rate,
                                         options);
  return sound && {raw: false, values: sound.values, warnings: JSON.parse(sound.warnings)};
}

// A warning of the core in the page's language, from its code and numbers;
// the translations list the codes in this order.
function warningText(w) {
  return t().warnings[w.code](w);
}

// --- The replacement ----------------------------------------------------------------

// A sound newly given for the selected cry: taken whole.
function offerSound(file) {
  if (!state.selected) return fail('selectFirst');
  if (!isSound(file) && /\.(gba|agb|bin|rom)$/i.test(file.name)) return fail('imageAsSound', file.name);
  state.limit = 0;
  return replaceWith(file);
}

async function replaceWith(file) {
  await state.selecting;  // a sound given while a cry is being selected goes to it, with its defaults
  const row = state.selected;
  if (!row) return;
  // Whatever was planned before no longer stands, even if this one fails.
  const run = ++state.runs;
  state.candidate = null;
  showCandidate();
  if (!row.sample || !row.sample.sound) return fail('cannotPlay');
  const options = conditionOptions();
  if (!options) return fail('badDb');
  const target = sampleTarget();
  if (!target) return fail('badRate');
  state.file = file;
  let sound;
  try {
    sound = await soundOf(file, target.rate, options);
  } catch (e) {
    sound = null;
  }
  if (run !== state.runs || row !== state.selected) return;
  if (!sound) return fail('noAudio');
  if (!sound.values.length) return fail(options.trimDb !== null ? 'allTrimmed' : 'noAudio');
  if (state.limit && sound.values.length > state.limit) sound = {...sound, values: sound.values.slice(0, state.limit)};
  if (sound.values.length > target.max) return fail('tooLong', sound.values.length, target.max);
  const sample = await state.core.encode(sound.values, target.kind, target.rateField);
  if (!sample) return fail('noAudio');
  const quality = JSON.parse(await state.core.quality(sound.values, sample));
  const plan = JSON.parse(await state.core.plan(row.index, sample));
  const candidate = {
    ...sound, sample, quality, target, plan,
    newValues: await state.core.decodeSample(sample),
    fit: plan.ok ? null : await fitting(plan, target, sound.values.length),
    warnings: [...sound.warnings, ...quality.warnings],
  };
  if (run !== state.runs) return;
  state.candidate = candidate;
  showCandidate();
  if (!plan.ok) return fail('refused', () => problemsText(plan));
  const unconditioned = conditions(options) ? 'rawUnconditioned' : 'raw';
  if (candidate.raw) say(unconditioned);
  else say('converted', Math.round(target.rate));
}

// For a sample refused for want of room: the most values of its kind that
// the larger room holds (its own slot, or the largest free run), their
// seconds, and the rate that would make the sound fit.
async function fitting(plan, target, length) {
  const p = plan.problems.find(q => q.kind === 'DoesNotFit' || q.kind === 'NoFreeSpace');
  if (!p) return null;
  const bytes = Math.max(p.room, state.selected.sample.bytes);
  const values = await state.core.valuesFitting(target.kind, bytes);
  if (!values) return null;
  const rate = Math.floor(target.rate * (values - 1) / length);
  return {values, bytes, seconds: values / target.rate, rate: rate >= 1000 ? rate : null};
}

function placementText(plan) {
  if (!plan.ok) return `${t().refusedWord} ${problemsText(plan)}`;
  const cry = plan.cries[0];
  const tables = updates => updates.map(u => t().tables[u.table]).join(', ');
  const voices = plan.voices.length ? t().voices(tables(plan.voices)) : '';
  return (cry.moved ? t().free(cry.new_offset, tables(plan.pointers), plan.pointers.length) :
    t().inPlace(cry.new_offset)) + voices;
}

// How faithfully the new sample keeps the sound, in words where a number misleads.
function qualityText(c) {
  if (c.newValues.every(v => v === 128)) return t().silence;
  if (c.quality.snr_db === null) return t().exact;
  const db = c.quality.snr_db;
  return t().snrWords(db, db >= 30 ? t().good : db >= 18 ? t().fair : t().poor);
}

function showCandidate() {
  const c = state.candidate, row = state.selected;
  $('#apply').disabled = !c || !c.plan.ok;
  $('#play-new').disabled = !c;
  $('#candidate').hidden = !c;
  const span = spans();
  if (row) drawWave($('#wave'), state.oldValues, '#2c5aa0', span.old);
  if (!c) return;
  drawWave($('#new-wave'), c.newValues, '#b35900', span.next);
  $('#snr').textContent = qualityText(c);
  const old = row.sample;
  const columns = [[old.seconds, old.bytes, old.rate, old.kind],
                   [c.newValues.length / c.target.rate, c.sample.length, Math.round(c.target.rate), c.target.kind]];
  [['#compare-seconds', x => t().seconds(x[0])], ['#compare-bytes', x => x[1]], ['#compare-rate', x => `${x[2]} Hz`],
   ['#compare-kind', x => t()[x[3]] || x[3]]].forEach(([id, cell]) => {
    const tds = columns.map(x => { const td = document.createElement('td'); td.textContent = cell(x); return td; });
    $(id).replaceChildren($(id).cells[0], ...tds);
  });
  $('#free-after').textContent = c.plan.ok ? t().bytesCount(c.plan.free_left) : '–';
  $('#placement').textContent = placementText(c.plan);
  $('#fit').hidden = !c.fit;
  if (c.fit) {
    $('#fit-text').textContent = t().fits(c.fit.seconds, c.fit.bytes);
    $('#cut-fit').textContent = t().cutTo(c.fit.seconds);
    $('#lower-rate').hidden = !c.fit.rate;
    if (c.fit.rate) $('#lower-rate').textContent = t().lowerTo(c.fit.rate);
  }
  $('#warnings').replaceChildren(...c.warnings.map(w => {
    const li = document.createElement('li');
    li.textContent = warningText(w);
    li.title = w.message;
    return li;
  }));
}

async function applyCandidate() {
  const row = state.selected, c = state.candidate;
  if (!row || !c || !c.plan.ok) return;
  const result = JSON.parse(await state.core.apply(row.index, c.sample));
  if (result.error || !result.ok) return fail('refused', () => problemsText(result));
  const at = result.cries[0].new_offset;
  state.edits.push({index: row.index, id: row.id, sample: c.sample, at, bytes: c.sample.length});
  state.redo = [];
  state.saved = false;
  await refresh();
  say('encoded', row.id ?? row.index, at);
}

// --- History ---------------------------------------------------------------------------

function showHistory() {
  $('#history').replaceChildren(...state.edits.map((e, i) => {
    const li = document.createElement('li');
    li.append(t().edit(e.id ?? e.index, e.at, e.bytes) + ' ');
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'revert';
    button.textContent = t().revert;
    button.setAttribute('aria-label', t().revertLabel(i + 1, e.id ?? e.index));
    button.addEventListener('click', () => revert(i));
    li.append(button);
    return li;
  }));
  $('#no-edits').hidden = state.edits.length > 0;
  $('#undo').disabled = !state.edits.length;
  $('#redo').disabled = !state.redo.length;
  $('#download-rom').disabled = $('#download-patch').disabled = !state.rom || !state.edits.length;
  $('#free-space').textContent = state.rom ? t().bytesCount(state.free) : '–';
}

// Takes edit `i` out: the image is planned again from the original with the
// others. A later edit of the same cry hides it, and edits planned again may
// move: both are said.
async function revert(i, key = 'reverted') {
  const [edit] = state.edits.splice(i, 1);
  if (!edit) return;
  const later = state.edits.slice(i).filter(e => e.index === edit.index).length;
  state.redo.push(edit);
  state.saved = false;
  const result = await rebuild(state.request);
  if (later) return warn('revertedHidden', editName(edit), later);
  reportReplan(result, key, editName(edit), state.edits.length);
}

async function redo() {
  const edit = state.redo.pop();
  if (!edit) return;
  const result = JSON.parse(await state.core.apply(edit.index, edit.sample));
  if (result.error || !result.ok) {
    await refresh();
    return fail('redoRefused', editName(edit), () => problemsText(result, false));
  }
  state.edits.push({...edit, at: result.cries[0].new_offset});
  state.saved = false;
  await refresh();
  say('redone', editName(edit));
}

async function downloadImage(patch) {
  if (!state.rom || !state.edits.length) return;
  const name = patch ? patchName(state.rom.name) : editedName(state.rom.name);
  download(patch ? await state.core.patch() : await state.core.image(), name, 'application/octet-stream');
  state.saved = true;
  say(patch ? 'patchDownloaded' : 'downloaded', name);
}

// --- Wiring --------------------------------------------------------------------------

function onFiles(input, handler) {
  input.addEventListener('change', () => {
    if (input.files.length) handler(input.files[0]);
    input.value = '';
  });
}

// Shortcuts the whole page answers; in a text field the field keeps its own.
function onPageKey(e) {
  const typing = e.target.matches('input[type=text], input[type=number], input:not([type])');
  const ctrl = e.ctrlKey || e.metaKey;
  const key = e.key.toLowerCase();
  let action = null;
  if (e.key === 'Escape') action = stop;
  else if (ctrl && !typing && key === 'z' && !e.shiftKey) action = () => state.edits.length && revert(state.edits.length - 1, 'undone');
  else if (ctrl && !typing && (key === 'y' || (key === 'z' && e.shiftKey))) action = redo;
  else if (ctrl && e.key === 'Enter') action = applyCandidate;
  else if (ctrl && key === 's') action = () => downloadImage(false);
  else if (ctrl && key === 'o') action = () => $('#rom-file').click();
  if (!action) return;
  e.preventDefault();
  action();
}

// An image dropped on its zone opens; a sound dropped on the list or the
// selected cry's pane goes to the selected cry; nothing else is taken.
function onDrop(e) {
  e.preventDefault();
  document.body.classList.remove('dragging');
  const file = e.dataTransfer.files[0];
  if (!file) return;
  if ($('#rom-drop').contains(e.target)) openRom(file);
  else if ($('#list').contains(e.target) || $('#detail').contains(e.target)) offerSound(file);
  else fail('dropWhere');
}

function wire() {
  onFiles($('#rom-file'), openRom);
  onFiles($('#audio-file'), offerSound);
  // Gain and normalisation exclude each other; any change conditions the sound again.
  for (const [box, other] of [['#gain', '#normalize'], ['#normalize', '#gain']])
    $(box).addEventListener('change', () => { if ($(box).checked) $(other).checked = false; });
  for (const group of ['#conditioning', '#sample-options'])
    $(group).addEventListener('change', () => state.file && replaceWith(state.file));
  $('#language').addEventListener('click', () => { state.lang = state.lang === 'fr' ? 'en' : 'fr'; applyLanguage(); });
  $('#species').addEventListener('change', reread);
  $('#reread').addEventListener('click', reread);
  for (const field of ['#table-input', '#entries'])
    $(field).addEventListener('keydown', e => { if (e.key === 'Enter') reread(); });
  $('#use-entries').addEventListener('click', () => {
    $('#entries').value = state.stop.index + 1 + state.stop.resumes;
    reread();
  });
  $('#cries tbody').addEventListener('keydown', onListKey);
  $('#play-selected').addEventListener('click', () => state.selected && play(state.selected));
  $('#dump-selected').addEventListener('click', () => state.selected && dump(state.selected));
  $('#play-new').addEventListener('click', () => state.candidate &&
      playValues(state.candidate.newValues, state.candidate.target.rate, $('#new-wave').parentNode, spans().next));
  $('#stop').addEventListener('click', stop);
  $('#cut-fit').addEventListener('click', () => {
    state.limit = state.candidate.fit.values;
    replaceWith(state.file);
  });
  $('#lower-rate').addEventListener('click', () => {
    $('#rate').value = state.candidate.fit.rate;
    replaceWith(state.file);
  });
  $('#apply').addEventListener('click', applyCandidate);
  $('#undo').addEventListener('click', () => revert(state.edits.length - 1, 'undone'));
  $('#redo').addEventListener('click', redo);
  $('#download-rom').addEventListener('click', () => downloadImage(false));
  $('#download-patch').addEventListener('click', () => downloadImage(true));
  document.addEventListener('keydown', onPageKey);
  document.addEventListener('dragover', e => { e.preventDefault(); document.body.classList.add('dragging'); });
  document.addEventListener('dragleave', e => { if (!e.relatedTarget) document.body.classList.remove('dragging'); });
  document.addEventListener('drop', onDrop);
  window.addEventListener('beforeunload', e => {
    if (!unsaved()) return;
    e.preventDefault();
    e.returnValue = '';
  });
}

// The largest cartridge: the engine makes ready the memory an image this
// large is read into while the page waits for one, which halves the time
// the first image takes to open.
const LargestImage = 32 << 20;

// What the page needs of the engine before anything else.
async function ready() {
  state.kinds = JSON.parse(await state.core.kinds());
  showKinds();
  const defaults = JSON.parse(await state.core.conditionDefaults());
  $('#trim-db').value = defaults.trimDb;
  $('#normalize-db').value = defaults.normalizeDb;
  wire();
  say('intro');
  document.body.dataset.ready = 'true';
  await state.core.prepare(LargestImage);
}

// Starts the engine (engine.js, in brevox.js): a page whose engine cannot
// start says why instead of loading for ever.
async function start() {
  applyLanguage();
  say('loading');
  try {
    if (typeof startEngine !== 'function')
      throw Object.assign(new Error('brevox.js did not load'), {reason: 'missing'});
    state.core = await startEngine();
  } catch (e) {
    console.error('Brevox engine:', e);
    return fail('engineFailure', e.reason || 'engine', e.message);
  }
  await ready();
}

start();
