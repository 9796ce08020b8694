// @ts-check
// Many sounds at once: files dropped on the list (or chosen) are matched to
// cries by the names dump-all gives its files, converted, encoded and planned
// by the engine as `brevox-cli import` plans a folder, shown as one pending
// pack, and applied as one edit or discarded.
'use strict';

const {offerPack, replanPack, applyPack, discardPack, showPack, droppedFiles} = (() => {
  /** What a pack's plan asks: as import plans a folder, with --match-loudness when the box is ticked. */
  const packOptions = () => ({reclaim: false, share: true, all_sharing: false,
                              match_loudness: $('#pack-loudness').checked});
  /** @type {PackPlan | null} the pack planned, until applied or discarded */
  let pending = null;
  let runs = 0;  // packs offered: only the last one is planned
  /** @type {import('./brevox').PackOptions | null} what the pending plan was asked */
  let pendingOptions = null;

  /**
   * Reads every file, hands the engine its sound and plans them all.
   * @param {File[]} files
   */
  async function offerPack(files) {
    if (romName() === null) return fail('packNoImage');
    const options = conditionOptions();
    if (!options) return fail('badDb');
    const run = ++runs;
    pending = null;
    showPack();
    say('packReading', files.length);
    await core().packClear();
    for (const file of files) {
      // A file the browser cannot decode still goes in: named for a cry, it
      // is refused as holding no sound; otherwise it is ignored.
      const sound = await framesOf(file) ?? {frames: new Float32Array(0), channels: 1, rate: 8000};
      if (run !== runs) return;
      await core().packAdd(file.name, sound.frames, sound.channels, sound.rate);
    }
    await planPack(run, files.length);
  }

  /** Plans the files the engine holds again, as the options now ask. */
  async function replanPack() {
    const options = conditionOptions();
    if (!pending || !options) return;
    await planPack(++runs, pending.files.length + pending.ignored.length);
  }

  /**
   * @param {number} run
   * @param {number} count the files offered
   */
  async function planPack(run, count) {
    const options = conditionOptions();
    if (!options) return fail('badDb');
    const asked = packOptions();
    const planned = JSON.parse(await core().packPlan(options, asked));
    if (run !== runs) return;
    pending = planned;
    pendingOptions = asked;
    showPack();
    const refused = planned.files.filter(f => f.problem).length;
    if (!planned.files.length) fail('packNoCries', count);
    else if (refused) fail('packRefused', refused);
    else if (!planned.plan.ok) fail('refused', () => problemsText(planned.plan));
    else say('packPlanned', planned.files.length);
  }

  /** @param {PackFileRow} f */
  function fileState(f) {
    if (f.problem) return t().packProblems[f.problem](f);
    const cry = pending?.plan?.cries.find(c => c.index === f.index);
    const snr = f.snr_db === null ? t().exact :
      t().snrWords(f.snr_db, {Exact: t().exact, Good: t().good, Fair: t().fair, Poor: t().poor}[f.grade]);
    return [cry ? (cry.moved ? t().packMoved(cry.new_offset) : t().inPlace(cry.new_offset)) : '', snr]
      .filter(Boolean).join('; ');
  }

  function showPack() {
    $('#pack').hidden = !pending;
    $('#pack-apply').disabled = !pending?.plan?.ok;
    if (!pending) return;
    $('#pack-rows').replaceChildren(...pending.files.map(f => {
      const tr = document.createElement('tr');
      const cry = pending?.plan?.cries.find(c => c.index === f.index);
      for (const text of [f.id !== null ? t().selected(f.id) : t().selected(null, f.index), f.name,
                          cry ? `${cry.old_bytes} → ${cry.new_bytes}` : '–', fileState(f)]) {
        const td = document.createElement('td');
        td.textContent = text;
        tr.append(td);
      }
      if (f.problem) tr.classList.add('refused');
      return tr;
    }));
    const plan = pending.plan;
    $('#pack-summary').textContent = [
      pending.ignored.length ? t().packIgnored(pending.ignored) : '',
      plan?.ok ? t().packTotal(plan.cries.length, plan.bytes_used, plan.free_left) : '',
      $('#pack-loudness').checked ? t().packLoudness(pending.loudness_db) : '',
    ].filter(Boolean).join(' ');
  }

  async function applyPack() {
    if (!pending?.plan?.ok) return;
    const applied = await core().packApply();
    const plan = JSON.parse(applied.plan);
    if (plan.error || !plan.ok) return fail('refused', () => problemsText(plan));
    const count = applied.indexes.length;
    pending = null;
    showPack();
    const bytes = applied.samples.reduce((sum, s) => sum + s.length, 0);
    await recordEdit({index: -1, id: null, sample: new Uint8Array(0), at: 0, bytes,
                      pack: {indexes: applied.indexes, samples: applied.samples, options: pendingOptions ?? packOptions()}});
    say('packApplied', count);
  }

  function discardPack() {
    if (!pending) return;
    runs++;
    pending = null;
    showPack();
    core().packClear();
    say('packDiscarded');
  }

  /**
   * The files of a drop, those of a dropped folder included (its own files,
   * as import reads a folder). The entries are taken while the drop lasts.
   * @param {DataTransfer} data
   * @returns {Promise<File[]>}
   */
  async function droppedFiles(data) {
    const entries = [...data.items].map(item => item.webkitGetAsEntry());
    if (!entries.some(e => e?.isDirectory)) return [...data.files];
    /** @type {File[]} */
    const files = [];
    for (const entry of entries) {
      if (entry?.isFile) files.push(await new Promise((ok, no) => /** @type {FileSystemFileEntry} */ (entry).file(ok, no)));
      if (!entry?.isDirectory) continue;
      const reader = /** @type {FileSystemDirectoryEntry} */ (entry).createReader();
      for (let batch; (batch = await new Promise((ok, no) => reader.readEntries(ok, no))).length;)
        for (const inner of batch.filter(e => e.isFile))
          files.push(await new Promise((ok, no) => /** @type {FileSystemFileEntry} */ (inner).file(ok, no)));
    }
    return files;
  }

  return {offerPack, replanPack, applyPack, discardPack, showPack, droppedFiles};
})();
