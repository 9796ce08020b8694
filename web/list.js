// @ts-check
// The image open and its list: the file's name, the table as last read, its
// rows, and the list of them, sorted by what is heard of each or in the
// table's order, moved through from the keyboard.
'use strict';

const {openRom, readTable, refresh, showRom, tableRequest, openFailure, problemsText, entryName, listRows, romName,
       tableInfo, tableStop, tableRequested, freeBytes, rowOf, onListKey, sortByHeard} = (() => {
  /** @type {{name: string} | null} the file opened; the engine keeps its bytes as read */
  let rom = null;
  /** The table as last read: offset (-1: found), entries (0: measured). */
  let request = {table: -1, entries: 0};
  /** @type {OpenResult | null} what the engine's open said */
  let info = null;
  /** @type {Entry[]} */
  let rows = [];
  let free = 0;         // free-space bytes the image has left, edits applied
  let opening = 0;      // images chosen: only the last one opens
  let rowRuns = 0;      // fillings of the list started: only the last one goes on
  /** @type {IntersectionObserver | null} draws the list's waveforms */
  let waves = null;
  let typed = '', typedAt = 0;  // digits typed on the list, to jump to an ID
  /** @type {'descending' | 'ascending' | null} the list's order by seconds heard; null: the table's */
  let sorted = null;

  /**
   * The table the fields ask for, or a message key when a field holds no number.
   * @returns {{table: number, entries: number} | string}
   */
  function tableRequest() {
    const text = $('#table-input').value.trim().replace(/^0x/i, '');
    const entries = $('#entries').value.trim();
    if (text !== '' && !/^[0-9a-f]{1,8}$/i.test(text)) return 'badOffset';
    if (entries !== '' && !(/^\d+$/.test(entries) && Number(entries) >= 1)) return 'badEntries';
    return {table: text === '' ? -1 : parseInt(text, 16), entries: entries === '' ? 0 : Number(entries)};
  }

  /**
   * The status message for an image refused.
   * @param {any} info what open or reopen said of it
   * @returns {[string, ...any[]]}
   */
  function openFailure(info) {
    return info.error ? ['openProblem', info.problem, info.error] : ['noTable'];
  }

  /**
   * A file refused, or declined for unsaved edits, leaves the image open
   * before as it was, with its edits; the question comes only for a file that
   * opens. The engine reads the file itself, off the page's thread, and holds
   * the image it read last until it is taken: a file chosen while another was
   * being read goes on alone.
   * @param {File} file
   */
  async function openRom(file) {
    if (!file) return;
    if (isSound(file)) return fail('soundAsImage', file.name);
    const mine = ++opening;
    const opened = JSON.parse(await core().open(file, -1, 0, $('#species').checked));
    if (mine !== opening) return;
    if (opened.error || opened.table === null) return fail(...openFailure(opened), file.name);
    if (!mayDiscard()) return say('discardDeclined', file.name);
    await core().take();
    stopSound();
    setModes(JSON.parse(await core().modes()));
    rom = {name: file.name};
    $('#list').scrollTop = 0;
    $('#table-input').value = $('#entries').value = '';
    forgetEdits();
    forgetSelection();
    await rebuild({table: -1, entries: 0}, opened);
    if (info.table_stop) warn('openedShort', file.name, info.entries_in_table);
    else say('opened', file.name, info.entries_in_table);
  }

  /**
   * Reads the table of the image as opened with `asked` (`opened`: what
   * `open` said of the image just taken, read so). On failure the engine
   * holds that failed reading and the page's view stays.
   * @param {{table: number, entries: number}} asked
   * @param {any} opened
   * @returns {Promise<{ok: boolean, info: any}>}
   */
  async function readTable(asked, opened = null) {
    const read = opened || JSON.parse(await core().reopen(asked.table, asked.entries, $('#species').checked));
    if (read.error || read.table === null) return {ok: false, info: read};
    info = read;
    request = asked;
    return {ok: true, info};
  }

  /** Reads the rows of the current image again; the selection keeps its cry. */
  async function refresh() {
    rows = JSON.parse(await core().rows());
    free = await core().freeSpace();
    await reselect(rows);
    showRom();
    showSelection();
    showHistory();
  }

  /**
   * The problems of a plan in words, each named by its entry unless `named` is false.
   * @param {Plan | Failure} plan
   */
  function problemsText(plan, named = true) {
    if ('error' in plan) return plan.error;
    return plan.problems.map(p => {
      const about = named && p.index >= 0 ? entryName(p.index) + ': ' : '';
      return about + t().problems[p.kind](p, info);
    }).join('; ');
  }

  /** @param {number} index */
  function entryName(index) {
    const row = rows.find(r => r.index === index && r.id !== null);
    return row ? t().selected(row.id) : t().entry(index);
  }

  function showRom() {
    const shown = rom && info;
    const stopped = shown && info.table_stop;
    $('#sort-heard').parentNode.setAttribute('aria-sort', sorted || 'none');
    $('#release').textContent = shown ? info.label : '–';
    $('#table-offset').textContent = shown ? hex(info.table) : '–';
    $('#table-entries').textContent = shown ? info.entries_in_table : '–';
    $('#table-source').textContent = shown ? t().sources[info.found_by] || info.found_by : '–';
    $('#reverse-table').textContent = shown && info.reverse_table !== null ? hex(info.reverse_table) :
      shown ? t().none : '–';
    $('#table-pointers').textContent = shown && info.table_pointers.length ? info.table_pointers.map(hex).join(', ') :
      shown ? t().none : '–';
    const notes = !shown ? [] : [info.unused_table !== null && t().unusedTable(info.unused_table, info.table),
                                 info.ambiguous && t().ambiguous(info.competing_tables)].filter(Boolean);
    $('#table-note').textContent = notes.join(' ');
    $('#table-note').hidden = !notes.length;
    $('#table-warning').hidden = !stopped;
    $('#table-stop').textContent = stopped ? t().tableStop(stopped) : '';
    $('#use-entries').hidden = !stopped || !stopped.resumes;
    if (stopped) $('#use-entries').textContent = t().useEntries(stopped.index + 1 + stopped.resumes);
    showRows($('#cries tbody'));
  }

  // The rows go into the list a batch at a time, one batch a frame, so that
  // hundreds of rows are never laid out at once (batches put in by tasks of
  // their own would pile up before a frame), and a frame lays out few enough
  // to stay short on a slow machine. A later call (another image, the other
  // language) stops an earlier one. The list's one tab stop is the selected
  // row, or the first. The list keeps its place (an edit, the other language)
  // as the rows come back, until it is scrolled that far again.
  const RowBatch = 20;

  /** @param {HTMLTableSectionElement} body */
  function showRows(body, run = ++rowRuns, from = 0, place = $('#list').scrollTop, shown = shownRows()) {
    if (run !== rowRuns) return;
    if (from === 0) watchRowWaves();
    const batch = shown.slice(from, from + RowBatch).map(rowElement);
    if (from === 0) body.replaceChildren(...batch);
    else body.append(...batch);
    const list = $('#list');
    if (place !== null) list.scrollTop = place;
    if (list.scrollTop >= place - 1) place = null;
    body.querySelectorAll('tr[tabindex="0"]').forEach(tr => { /** @type {HTMLElement} */ (tr).tabIndex = -1; });
    const active = /** @type {HTMLTableRowElement | null} */ (body.querySelector('tr.selected')) || body.rows[0];
    if (active) active.tabIndex = 0;
    if (from + RowBatch < shown.length) requestAnimationFrame(() => showRows(body, run, from + RowBatch, place, shown));
  }

  /** The rows in the list's order: by seconds heard, those with no sound last, else the table's. */
  function shownRows() {
    if (!sorted) return rows;
    const sign = sorted === 'descending' ? -1 : 1;
    /** @param {Entry} r */
    const key = r => r.heard ? sign * r.heard.seconds_heard : Infinity;
    // Equal keys (Infinity - Infinity is NaN) keep the table's order.
    return rows.map((row, i) => ({row, i, k: key(row)})).sort((a, b) => a.k - b.k || a.i - b.i).map(x => x.row);
  }

  /** Longest heard first, then shortest first, then the table's order again. */
  function sortByHeard() {
    sorted = sorted === null ? 'descending' : sorted === 'descending' ? 'ascending' : null;
    $('#list').scrollTop = 0;
    showRom();
  }

  /** @param {Entry} row */
  function rowElement(row) {
    const tr = document.createElement('tr');
    tr.tabIndex = -1;
    if (row.id !== null) tr.dataset.id = String(row.id);
    tr.dataset.index = String(row.index);
    const s = row.sample, heard = row.heard;
    const cells = [row.id ?? '', row.index, s ? hex(s.offset) : '–', s ? s.length : '–',
                   s && s.sound ? s.seconds.toFixed(3) : '–', heard ? heard.seconds_heard.toFixed(3) : '–',
                   s ? s.bytes : '–', s ? t()[s.kind] || s.kind : '–',
                   row.reverse_in_step === null ? '–' : row.reverse_in_step ? t().yes : t().no];
    for (const text of cells) tr.insertCell().textContent = String(text);
    // A cry the game cuts: marked, with the words of the mark.
    if (heard && heard.cut) {
      const mark = Object.assign(document.createElement('abbr'), {className: 'cut', textContent: ' ✂', title: t().cutMark});
      tr.cells[5].append(mark);
    }
    const canvas = document.createElement('canvas');
    canvas.width = 120;
    canvas.height = 24;
    tr.insertCell().append(canvas);
    if (s && s.sound) waves.observe(canvas);
    /** @type {[string, string, string, () => void][]} */
    const buttons = [['play', 'play', 'playRowTitle', () => play(row)],
                     ['dump', 'dumpHead', 'dumpTitle', () => dump(row)]];
    for (const [cls, label, title, action] of buttons) {
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
    const selected = isSelected(row);
    tr.setAttribute('aria-selected', String(selected));
    if (isEdited(row.index)) tr.classList.add('edited');
    if (selected) tr.classList.add('selected');
    tr.addEventListener('click', () => focusRow(tr));
    return tr;
  }

  // A row's small waveform is drawn when the row first comes into view, as the
  // engine decodes it: hundreds of canvases drawn at once would hold up the
  // frames that show them. A new list (another image, the other language)
  // starts over.
  function watchRowWaves() {
    if (waves) waves.disconnect();
    waves = new IntersectionObserver((entries, watcher) => entries.filter(e => e.isIntersecting).forEach(async e => {
      watcher.unobserve(e.target);
      const row = rowOf(e.target.closest('tr'));
      if (row) drawWave(/** @type {HTMLCanvasElement} */ (e.target), await core().decode(row.sample.offset));
    }), {rootMargin: '200px 0px'});
  }

  /** @param {HTMLElement} tr @returns {Entry | undefined} */
  function rowOf(tr) {
    const index = Number(tr.dataset.index), id = tr.dataset.id === undefined ? null : Number(tr.dataset.id);
    return rows.find(r => r.index === index && r.id === id);
  }

  // --- The list from the keyboard: one tab stop, the arrows move the selection ---

  /** @param {HTMLTableRowElement | null} tr */
  function focusRow(tr) {
    if (!tr) return;
    $('#cries tbody').querySelectorAll('tr[tabindex="0"]').forEach(r => { r.tabIndex = -1; });
    tr.tabIndex = 0;
    tr.focus();
    select(rowOf(tr));
  }

  /** Rows a page key moves by: those the list shows at once. @param {HTMLElement} tr */
  function rowsPerPage(tr) {
    return Math.max(1, Math.floor($('#list').clientHeight / (tr.offsetHeight || 20)) - 1);
  }

  /** @param {KeyboardEvent} e */
  function onListKey(e) {
    const tr = /** @type {HTMLTableRowElement | null} */ (/** @type {Element} */ (e.target).closest('#cries tbody tr'));
    if (!tr || e.ctrlKey || e.altKey || e.metaKey) return;
    const shown = [...$('#cries tbody').rows];
    const i = shown.indexOf(tr);
    const moves = {ArrowDown: i + 1, ArrowUp: i - 1, Home: 0, End: shown.length - 1,
                   PageDown: i + rowsPerPage(tr), PageUp: i - rowsPerPage(tr)};
    if (e.key in moves) {
      focusRow(shown[Math.max(0, Math.min(shown.length - 1, moves[e.key]))]);
    } else if (e.key === 'Enter') {
      focusRow(tr);
    } else if (e.key === ' ' || e.key === 'p') {
      play(rowOf(tr));
    } else if (e.key === 'd') {
      dump(rowOf(tr));
    } else if (/^[0-9]$/.test(e.key)) {
      // Digits typed within a second of each other name an ID.
      typed = (e.timeStamp - typedAt < 1000 ? typed : '') + e.key;
      typedAt = e.timeStamp;
      focusRow($(`#cries tbody tr[data-id="${Number(typed)}"]`));
    } else {
      return;
    }
    e.preventDefault();
  }

  return {
    openRom, readTable, refresh, showRom, tableRequest, openFailure, problemsText, entryName, rowOf, onListKey,
    sortByHeard,
    listRows: () => rows,
    /** The name of the file open, or null before one is. */
    romName: () => rom && rom.name,
    tableInfo: () => info,
    /** @returns {TableStop | null} why the table stops short, or null */
    tableStop: () => info && info.table_stop,
    tableRequested: () => request,
    freeBytes: () => free,
  };
})();
