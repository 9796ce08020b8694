// @ts-check
// The edits made to the image open, in order: each one can be taken out
// (the others planned again from the image as opened), undone and redone;
// the edited image and its patch are downloaded from here.
'use strict';

/**
 * @typedef {{index: number, id: number | null, sample: Uint8Array, at: number, bytes: number,
 *            pack?: {indexes: number[], samples: Uint8Array[], options: import('./brevox').PackOptions}}} Edit
 * One cry replaced (`index`, `sample`, placed `at`), or a pack of them applied as one plan (index -1).
 */

const {forgetEdits, recordEdit, isEdited, rebuild, reread, showHistory, undo, redo, downloadImage, unsaved,
       mayDiscard} = (() => {
  /** @type {Edit[]} in the order made */
  let edits = [];
  /** @type {Edit[]} undone or reverted, the last one first to come back */
  let undone = [];
  let saved = true;     // the edits are in a file downloaded since the last change

  /**
   * An edit's cry as it was named when made: its entry may lie past the table now.
   * @param {Edit} edit
   */
  function editName(edit) {
    if (edit.pack) return t().packName(edit.pack.indexes.length);
    return edit.id !== null ? t().selected(edit.id) : t().entry(edit.index);
  }

  /**
   * The edit applied again to the image as it is now: its plan's JSON.
   * @param {Edit} edit
   */
  async function replay(edit) {
    const plan = edit.pack ? await core().applyMany(edit.pack.indexes, edit.pack.samples, edit.pack.options)
      : await core().apply(edit.index, edit.sample);
    return JSON.parse(plan);
  }

  /** Where a plan placed the edit's cry (0 for a pack, whose cries each go their own way). @param {Edit} edit @param {Plan} plan */
  const placed = (edit, plan) => edit.pack ? 0 : plan.cries[0].new_offset;

  function forgetEdits() {
    edits = [];
    undone = [];
    saved = true;
  }

  /** @param {Edit} edit applied to the image a moment ago */
  async function recordEdit(edit) {
    edits.push(edit);
    undone = [];
    saved = false;
    await refresh();
  }

  /** Edits nobody has downloaded go only after the user says so. */
  function unsaved() {
    return romName() !== null && edits.length > 0 && !saved;
  }

  function mayDiscard() {
    return !unsaved() || confirm(worded('discard', [edits.length]));
  }

  /**
   * Reads the table of the image as opened with `request` and plans every
   * edit again, in order, against it: {ok: false, info} when the image cannot
   * be read so (the engine then holds that failed reading), else the edits
   * that no longer fit (dropped, with their plans) and those that now go
   * elsewhere (moved). `opened`: what `open` said of the image just taken,
   * read with `request`.
   * @param {{table: number, entries: number}} request
   * @param {any} opened
   */
  async function rebuild(request, opened = null) {
    const read = await readTable(request, opened);
    if (!read.ok) return {ok: false, info: read.info, dropped: [], moved: []};
    const dropped = [], moved = [], kept = [];
    for (const edit of edits) {
      const plan = await replay(edit);
      if (plan.error || !plan.ok) {
        dropped.push({edit, plan});
        continue;
      }
      const at = placed(edit, plan);
      if (at !== edit.at) moved.push({edit, at});
      kept.push({...edit, at});
    }
    edits = kept;
    await refresh();
    return {ok: true, info: read.info, dropped, moved};
  }

  /** A table asked for in the fields: read, and the edits planned again against it. */
  async function reread() {
    const name = romName();
    if (name === null) return;
    const request = tableRequest();
    if (typeof request === 'string') return fail(request);
    const pending = edits.length;
    const result = await rebuild(request);
    if (!result.ok) {
      await rebuild(tableRequested());
      return fail(...openFailure(result.info), name);
    }
    if (pending) return reportReplan(result, 'replanned', tableInfo().table, edits.length);
    if (tableStop()) warn('openedShort', name, tableInfo().entries_in_table);
    else say('opened', name, tableInfo().entries_in_table);
  }

  /**
   * What became of the edits planned again: each one that no longer fits or
   * that goes elsewhere named.
   * @param {{dropped: {edit: Edit, plan: any}[], moved: {edit: Edit, at: number}[]}} result
   * @param {string} key
   * @param {any[]} args
   */
  function reportReplan(result, key, ...args) {
    const dropped = result.dropped.map(d => () => `${editName(d.edit)} (${problemsText(d.plan, false)})`);
    const moved = result.moved.map(m => () => `${editName(m.edit)} → ${hex(m.at)}`);
    if (result.dropped.length || result.moved.length) {
      saved = false;
      return warn('replannedChanged', tableInfo().table, edits.length, () => dropped.map(f => f()),
                  () => moved.map(f => f()));
    }
    say(key, ...args);
  }

  function showHistory() {
    $('#history').replaceChildren(...edits.map((e, i) => {
      const li = document.createElement('li');
      li.append((e.pack ? t().packEdit(e.pack.indexes.length, e.bytes) : t().edit(e.id, e.index, e.at, e.bytes)) + ' ');
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'revert';
      button.textContent = t().revert;
      button.setAttribute('aria-label', e.pack ? t().packRevertLabel(i + 1, e.pack.indexes.length)
        : t().revertLabel(i + 1, e.id, e.index));
      button.addEventListener('click', () => revert(i));
      li.append(button);
      return li;
    }));
    const open = romName() !== null;
    $('#no-edits').hidden = edits.length > 0;
    $('#undo').disabled = !edits.length;
    $('#redo').disabled = !undone.length;
    $('#download-rom').disabled = $('#download-patch').disabled = !open || !edits.length;
    $('#save-all').disabled = !open;
    $('#free-space').textContent = open ? t().bytesCount(freeBytes()) : '–';
  }

  /**
   * Takes edit `i` out: the image is planned again from the original with the
   * others. A later edit of the same cry hides it, and edits planned again may
   * move: both are said.
   * @param {number} i
   */
  async function revert(i, key = 'reverted') {
    const [edit] = edits.splice(i, 1);
    if (!edit) return;
    const later = edit.pack ? 0 : edits.slice(i).filter(e => e.index === edit.index).length;
    undone.push(edit);
    saved = false;
    const result = await rebuild(tableRequested());
    if (later) return warn('revertedHidden', editName(edit), later);
    reportReplan(result, key, editName(edit), edits.length);
  }

  async function redo() {
    const edit = undone.pop();
    if (!edit) return;
    const result = await replay(edit);
    if (result.error || !result.ok) {
      await refresh();
      return fail('redoRefused', editName(edit), () => problemsText(result, false));
    }
    edits.push({...edit, at: placed(edit, result)});
    saved = false;
    await refresh();
    say('redone', editName(edit));
  }

  /** @param {string} name */
  function editedName(name) {
    const dot = name.lastIndexOf('.');
    return dot > 0 ? name.slice(0, dot) + '-brevox' + name.slice(dot) : name + '-brevox';
  }

  /** @param {string} name */
  function patchName(name) {
    return stemOf(name) + '.bps';
  }

  /** @param {boolean} patch */
  async function downloadImage(patch) {
    const open = romName();
    if (open === null || !edits.length) return;
    const name = patch ? patchName(open) : editedName(open);
    download(patch ? await core().patch() : await core().image(), name, 'application/octet-stream');
    saved = true;
    say(patch ? 'patchDownloaded' : 'downloaded', name);
  }

  return {
    forgetEdits, recordEdit, rebuild, reread, showHistory, redo, downloadImage, unsaved, mayDiscard,
    /** @param {number} index */
    isEdited: index => edits.some(e => e.index === index || e.pack?.indexes.includes(index)),
    undo: () => edits.length && revert(edits.length - 1, 'undone'),
  };
})();
