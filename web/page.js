// The page: a ROM's cries as a table, one cry selected with its waveform, a
// new sound encoded for it, and the list of edits. Everything the page knows
// of the format comes from the binding (brevox.js); the page keeps the
// original bytes and the edits, and rebuilds the image from them.
'use strict';

const $ = selector => document.querySelector(selector);
const state = {
  core: null, lang: 'fr',
  rom: null,          // {name, bytes}: the file as opened, never changed
  info: null,         // what the binding's open said
  rows: [],
  selected: null,     // a row
  file: null,         // the sound last given for the selected cry
  runs: 0,            // conditionings started: only the last one's result is shown
  kinds: [],          // the kinds a new sample may take: {name, max_values}
  defaults: null,     // the selected cry's replacement's default kind and rate_field
  candidate: null,    // {values, sample, newValues, target, plan, warnings, raw}
  edits: [],          // {index, id, sample, values, at, bytes}
  audio: null,
};
const t = () => TEXTS[state.lang];

function say(text, isError = false) {
  $('#status').textContent = text;
  $('#status').classList.toggle('error', isError);
}

function problemsText(plan) {
  return plan.problems.map(p => {
    const about = p.index >= 0 ? entryName(p.index) + ': ' : '';
    return about + t().problems[p.kind](p, state.info);
  }).join('; ');
}

function entryName(index) {
  const row = state.rows.find(r => r.index === index && r.id !== null);
  return row ? t().selected(row.id) : t().entry(index);
}

// --- Texts -------------------------------------------------------------------

function applyLanguage() {
  document.documentElement.lang = t().lang;
  document.querySelectorAll('[data-t]').forEach(el => { el.textContent = t()[el.dataset.t]; });
  $('#language').textContent = t().otherLanguage;
  if (state.info) showRom();
  showSelection();
  showEdits();
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

// --- The ROM --------------------------------------------------------------------

function tableRequest() {
  const text = $('#table-input').value.trim().replace(/^0x/i, '');
  if (text === '') return -1;
  return /^[0-9a-f]{1,8}$/i.test(text) ? parseInt(text, 16) : null;
}

async function openRom(file) {
  state.rom = {name: file.name, bytes: new Uint8Array(await file.arrayBuffer())};
  state.edits = [];
  state.selected = null;
  if (rebuild()) say(t().opened(file.name, state.info.entries));
}

// Opens the original bytes again and applies every edit in turn; drops the
// edits from the first one that no longer applies. False when the image
// cannot be read as asked.
function rebuild() {
  const table = tableRequest();
  if (table === null) {
    say(t().badOffset, true);
    return false;
  }
  const info = JSON.parse(state.core.open(state.rom.bytes, table, $('#species').checked));
  state.info = info;
  if (info.error || !info.has_table) {
    state.rows = [];
    state.selected = state.candidate = state.file = null;
    showRom();
    showSelection();
    say(info.error ? t().openProblems[info.problem] || `${t().invalidFile} (${info.error})` : t().noTable, true);
    return false;
  }
  for (let i = 0; i < state.edits.length; i++) {
    const result = JSON.parse(state.core.apply(state.edits[i].index, state.edits[i].sample));
    if (result.error || !result.ok) {
      state.edits.length = i;
      say(t().rebuildFailed(i + 1), true);
      break;
    }
  }
  refresh();
  return true;
}

// Reads the rows of the current image again, keeping the selected cry, whose
// replacement starts over from the defaults of the sample it now holds.
function refresh() {
  state.rows = JSON.parse(state.core.rows());
  const keep = state.selected && state.rows.find(r => r.index === state.selected.index && r.id === state.selected.id);
  state.selected = keep || null;
  state.candidate = state.file = null;
  if (state.selected) showDefaults(state.selected);
  showRom();
  showSelection();
  showEdits();
}

function showRom() {
  const info = state.info;
  const ok = info && !info.error;
  $('#release').textContent = ok ? info.label : '–';
  $('#table-offset').textContent = ok && info.has_table ? hex(info.table) : '–';
  $('#table-source').textContent = ok ? t().sources[info.source] || info.source : '–';
  $('#reverse-table').textContent = ok && info.reverse !== null ? hex(info.reverse) : t().none;
  $('#table-pointers').textContent = ok && info.table_pointers.length ? info.table_pointers.map(hex).join(', ') : t().none;
  const notes = !ok ? [] : [info.unused_table !== null && t().unusedTable(info.unused_table, info.table),
                            info.ambiguous && t().ambiguous(info.competing)].filter(Boolean);
  $('#table-note').textContent = notes.join(' ');
  $('#table-note').hidden = !notes.length;
  const body = $('#cries tbody');
  body.replaceChildren(...state.rows.map(rowElement));
  $('#download-rom').disabled = $('#download-patch').disabled = !state.rom;
}

function rowElement(row) {
  const tr = document.createElement('tr');
  tr.tabIndex = 0;
  if (row.id !== null) tr.dataset.id = row.id;
  tr.dataset.index = row.index;
  const s = row.sample;
  const cells = [row.id ?? '', row.index, s ? hex(s.offset) : '–', s ? s.length : '–',
                 s ? s.seconds.toFixed(3) : '–', s ? s.bytes : '–', s ? t()[s.kind] || s.kind : '–',
                 row.reverse_in_step === null ? '–' : row.reverse_in_step ? t().yes : t().no];
  for (const text of cells) tr.insertCell().textContent = text;
  const canvas = document.createElement('canvas');
  canvas.width = 120;
  canvas.height = 24;
  tr.insertCell().append(canvas);
  const values = s && s.sound ? state.core.decode(s.offset) : null;
  if (values) drawWave(canvas, values);
  for (const [cls, label, action] of [['play', 'play', () => play(row)], ['dump', 'dump', () => dump(row)]]) {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = cls;
    button.textContent = t()[label];
    button.disabled = !values;
    button.addEventListener('click', action);
    tr.insertCell().append(button);
  }
  if (state.edits.some(e => e.index === row.index)) tr.classList.add('edited');
  if (state.selected && state.selected.index === row.index && state.selected.id === row.id) tr.classList.add('selected');
  tr.addEventListener('click', () => select(row));
  tr.addEventListener('keydown', e => { if (e.key === 'Enter' && e.target === tr) select(row); });
  return tr;
}

// --- Waveforms and sound -------------------------------------------------------------

function drawWave(canvas, values, color = '#2c5aa0') {
  const g = canvas.getContext('2d');
  const {width, height} = canvas;
  g.clearRect(0, 0, width, height);
  g.strokeStyle = '#d0d0d8';
  g.beginPath();
  g.moveTo(0, height / 2);
  g.lineTo(width, height / 2);
  g.stroke();
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

function playValues(values, rate) {
  state.audio = state.audio || new AudioContext();
  const buffer = state.audio.createBuffer(1, values.length, rate);
  const channel = buffer.getChannelData(0);
  for (let i = 0; i < values.length; i++) channel[i] = (values[i] - 128) / 128;
  const source = state.audio.createBufferSource();
  source.buffer = buffer;
  source.connect(state.audio.destination);
  source.start();
}

function play(row) {
  const values = row.sample && row.sample.sound ? state.core.decode(row.sample.offset) : null;
  if (!values || !values.length) return say(t().cannotPlay, true);
  playValues(values, row.sample.rate);
  say(t().playing(row.id ?? row.index));
}

function dump(row) {
  const bytes = row.sample ? state.core.wavFile(row.sample.offset) : null;
  if (!bytes) return say(t().cannotPlay, true);
  download(bytes, wavName(row), 'audio/wav');
  say(t().dumped(wavName(row)));
}

// --- The selected cry and its replacement ------------------------------------------

function select(row) {
  state.selected = row;
  state.candidate = state.file = null;
  $('#audio-file').value = '';
  showDefaults(row);
  document.querySelectorAll('#cries tbody tr.selected').forEach(tr => tr.classList.remove('selected'));
  const tr = document.querySelector(`#cries tbody tr[data-index="${row.index}"]${row.id !== null ? `[data-id="${row.id}"]` : ':not([data-id])'}`);
  if (tr) tr.classList.add('selected');
  showSelection();
}

function showSelection() {
  const row = state.selected;
  $('#selected').hidden = !row;
  $('#no-selection').hidden = !!row;
  $('#selected-title').textContent = row ? t().selected(row.id) : '';
  if (!row) return;
  const values = row.sample && row.sample.sound ? state.core.decode(row.sample.offset) : null;
  drawWave($('#wave'), values || new Uint8Array());
  $('#play-selected').disabled = $('#dump-selected').disabled = !values;
  showCandidate();
}

// --- The new sample's kind and rate -------------------------------------------------

// A replacement takes the kind and rate of the sample it replaces unless the
// user picks another kind or types a rate.
function showDefaults(row) {
  state.defaults = JSON.parse(state.core.defaults(row.index));
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
  const wav = JSON.parse(state.core.wavInfo(bytes));
  if (!wav.error && wav.raw && wav.rate === Math.round(rate))
    return {raw: true, values: bytes.slice(wav.offset, wav.offset + wav.size), warnings: []};
  const fileRate = !wav.error && wav.rate >= 3000 && wav.rate <= 768000 ? wav.rate : DecodeRate;
  const decoded = await new OfflineAudioContext(1, 1, fileRate).decodeAudioData(bytes.buffer.slice(0));
  const sound = state.core.convert(interleaved(decoded), decoded.numberOfChannels, decoded.sampleRate, rate, options);
  return sound && {raw: false, values: sound.values, warnings: JSON.parse(sound.warnings)};
}

// A warning of the core in the page's language, from its code and numbers.
function warningText(w) {
  return t().warnings[w.code](w);
}

// --- The replacement ----------------------------------------------------------------

async function replaceWith(file) {
  const row = state.selected;
  if (!row) return;
  if (!row.sample || !row.sample.sound) return say(t().cannotPlay, true);
  const options = conditionOptions();
  if (!options) return say(t().badDb, true);
  const target = sampleTarget();
  if (!target) return say(t().badRate, true);
  state.file = file;
  const run = ++state.runs;
  let sound;
  try {
    sound = await soundOf(file, target.rate, options);
  } catch (e) {
    sound = null;
  }
  if (run !== state.runs || row !== state.selected) return;
  state.candidate = null;
  showCandidate();
  if (!sound) return say(t().noAudio, true);
  if (!sound.values.length) return say(options.trimDb !== null ? t().allTrimmed : t().noAudio, true);
  if (sound.values.length > target.max) return say(t().tooLong(sound.values.length, target.max), true);
  const sample = state.core.encode(sound.values, target.kind, target.rateField);
  if (!sample) return say(t().noAudio, true);
  const quality = JSON.parse(state.core.quality(sound.values, sample));
  state.candidate = {
    ...sound, sample, quality, target,
    newValues: state.core.decodeSample(sample),
    plan: JSON.parse(state.core.plan(row.index, sample)),
    warnings: [...sound.warnings, ...quality.warnings],
  };
  showCandidate();
  const c = state.candidate;
  const unconditioned = conditions(options) ? ' ' + t().rawUnconditioned : '';
  const taken = c.raw ? t().raw + unconditioned : t().converted(Math.round(target.rate));
  say(c.plan.ok ? taken : `${t().refused} ${problemsText(c.plan)}`, !c.plan.ok);
}

function placementText(plan) {
  if (!plan.ok) return `${t().refused} ${problemsText(plan)}`;
  const cry = plan.cries[0];
  const tables = updates => updates.map(u => t().tables[u.table]).join(', ');
  const voices = plan.voices.length ? t().voices(tables(plan.voices)) : '';
  return (cry.moved ? t().free(cry.new_offset, tables(plan.pointers)) : t().inPlace(cry.new_offset)) + voices;
}

function showCandidate() {
  const c = state.candidate;
  $('#candidate').hidden = !c;
  if (!c) return;
  drawWave($('#new-wave'), c.newValues, '#b35900');
  $('#snr').textContent = c.quality.snr_db === null ? '∞' : `${c.quality.snr_db.toFixed(1)} ${t().dB}`;
  const old = state.selected.sample;
  $('#old-bytes').textContent = t().sampleBytes(old.bytes, old.kind, old.rate);
  $('#new-bytes').textContent = t().sampleBytes(c.sample.length, c.target.kind, Math.round(c.target.rate));
  $('#placement').textContent = placementText(c.plan);
  $('#warnings').replaceChildren(...c.warnings.map(w => {
    const li = document.createElement('li');
    li.textContent = warningText(w);
    li.title = w.message;
    return li;
  }));
}

function applyCandidate() {
  const row = state.selected, c = state.candidate;
  if (!row || !c) return;
  const result = JSON.parse(state.core.apply(row.index, c.sample));
  if (result.error || !result.ok) return say(`${t().refused} ${result.error || problemsText(result)}`, true);
  const at = result.cries[0].new_offset;
  state.edits.push({index: row.index, id: row.id, sample: c.sample, at, bytes: c.sample.length});
  refresh();
  say(t().encoded(row.id ?? row.index, at));
}

function showEdits() {
  $('#edits').replaceChildren(...(state.edits.length ? state.edits : [null]).map(e => {
    const li = document.createElement('li');
    li.textContent = e ? t().edit(e.id ?? e.index, e.at, e.bytes) : t().noEdits;
    return li;
  }));
  $('#undo').disabled = !state.edits.length;
}

// --- Wiring --------------------------------------------------------------------------

function onFiles(input, handler) {
  input.addEventListener('change', () => { if (input.files.length) handler(input.files[0]); });
}

function wire() {
  onFiles($('#rom-file'), openRom);
  onFiles($('#audio-file'), replaceWith);
  // Gain and normalisation exclude each other; any change conditions the sound again.
  for (const [box, other] of [['#gain', '#normalize'], ['#normalize', '#gain']])
    $(box).addEventListener('change', () => { if ($(box).checked) $(other).checked = false; });
  for (const group of ['#conditioning', '#sample-options'])
    $(group).addEventListener('change', () => state.file && replaceWith(state.file));
  $('#language').addEventListener('click', () => { state.lang = state.lang === 'fr' ? 'en' : 'fr'; applyLanguage(); });
  $('#species').addEventListener('change', () => state.rom && rebuild());
  $('#reread').addEventListener('click', () => state.rom && rebuild());
  $('#table-input').addEventListener('keydown', e => { if (e.key === 'Enter' && state.rom) rebuild(); });
  $('#play-selected').addEventListener('click', () => state.selected && play(state.selected));
  $('#dump-selected').addEventListener('click', () => state.selected && dump(state.selected));
  $('#play-new').addEventListener('click', () => state.candidate &&
      playValues(state.candidate.newValues, state.candidate.target.rate));
  $('#apply').addEventListener('click', applyCandidate);
  $('#undo').addEventListener('click', () => {
    state.edits.pop();
    rebuild();
    say(t().undone(state.edits.length));
  });
  $('#download-rom').addEventListener('click', () => {
    const name = editedName(state.rom.name);
    download(state.core.image(), name, 'application/octet-stream');
    say(t().downloaded(name));
  });
  $('#download-patch').addEventListener('click', () => {
    const name = patchName(state.rom.name);
    download(state.core.patch(), name, 'application/octet-stream');
    say(t().patchDownloaded(name));
  });
  // A ROM dropped anywhere opens; a sound dropped on the detail pane replaces the selected cry.
  document.addEventListener('dragover', e => { e.preventDefault(); document.body.classList.add('dragging'); });
  document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
  document.addEventListener('drop', e => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    const file = e.dataTransfer.files[0];
    if (!file) return;
    if (state.selected && $('#detail').contains(e.target)) replaceWith(file);
    else openRom(file);
  });
}

applyLanguage();
say(t().loading);
BrevoxModule().then(core => {
  state.core = core;
  state.kinds = JSON.parse(core.kinds());
  showKinds();
  const defaults = JSON.parse(core.conditionDefaults());
  $('#trim-db').value = defaults.trimDb;
  $('#normalize-db').value = defaults.normalizeDb;
  wire();
  say(t().intro);
  document.body.dataset.ready = 'true';
});
