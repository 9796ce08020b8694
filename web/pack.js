// @ts-check
// Many sounds at once: files dropped on the list (or chosen) are matched to
// cries by the names dump-all gives its files, converted, encoded and planned
// by the engine as `brevox-cli import` plans a folder, shown as one pending
// pack, and applied as one edit or discarded.
'use strict';

const {setUpPack, offerPack, replanPack, applyPack, discardPack, showPack, droppedFiles} = (() => {
  /** What a pack's plan asks: as import plans a folder, with --match-loudness, --fit, --min-rate and --budget as
   *  given. */
  const packOptions = () => ({reclaim: false, share: true, all_sharing: false,
                              match_loudness: $('#pack-loudness').checked,
                              fit: $('#pack-fit').checked, min_rate: Number($('#pack-min-rate').value),
                              budget: $('#pack-budget').value === '' ? null : Number($('#pack-budget').value)});
  /** @type {RateLimits} */
  let limits = {min_rate: 1, max_rate: 1, fit_min_rate: 1, fit_max_rate: 1};
  /** @type {PackPlan | null} the pack planned, until applied or discarded */
  let pending = null;
  let runs = 0;  // packs offered: only the last one is planned
  /** @type {import('./brevox').PackOptions | null} what the pending plan was asked */
  let pendingOptions = null;

  /**
   * The lowest rate a fit may be told, as the engine gives its range.
   * @param {RateLimits} given
   */
  function setUpPack(given) {
    limits = given;
    Object.assign($('#pack-min-rate'), {min: limits.min_rate, max: limits.fit_max_rate, value: limits.fit_min_rate});
  }

  /**
   * The fit's words for what it cannot take, or null.
   * @param {import('./brevox').PackOptions} asked
   * @returns {[string, ...number[]] | null}
   */
  function fitRefusal(asked) {
    if (!asked.fit) return null;
    const rate = asked.min_rate ?? limits.fit_min_rate, budget = asked.budget;
    if (!Number.isInteger(rate) || rate < limits.min_rate || rate > limits.fit_max_rate)
      return ['packBadMinRate', limits.min_rate, limits.fit_max_rate];
    if (budget != null && (!Number.isInteger(budget) || budget < 0)) return ['packBadBudget'];
    return null;
  }

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
    const refusal = fitRefusal(asked);
    if (refusal) return fail(...refusal);
    const planned = JSON.parse(await core().packPlan(options, asked));
    if (run !== runs) return;
    if (planned.error) return fail('packBadMinRate', limits.min_rate, limits.fit_max_rate);
    pending = planned;
    pendingOptions = asked;
    showPack();
    const refused = planned.files.filter(f => f.problem).length;
    if (!planned.files.length) fail('packNoCries', count);
    else if (refused) fail('packRefused', refused);
    else if (planned.fit && 'missing_bytes' in planned.fit) fail('packNoFit', planned.fit.missing_bytes);
    else if (!planned.plan.ok) fail('refused', () => problemsText(planned.plan) +
      (planned.fit_lowest_rate !== null ? ' ' + t().packFitWouldFit(planned.fit_lowest_rate) : ''));
    else say('packPlanned', planned.files.length);
  }

  /** @param {PackFileRow} f */
  function fileState(f) {
    if (f.problem) return t().packProblems[f.problem](f);
    const cry = pending?.plan?.cries.find(c => c.index === f.index);
    // A pack that does not fit has no samples to speak of.
    const snr = f.snr_db === undefined ? '' : (f.snr_db === null ? t().exact :
      t().snrWords(f.snr_db, {Exact: t().exact, Good: t().good, Fair: t().fair, Poor: t().poor}[f.grade])) +
      (typeof f.snr_heard_db === 'number' ? t().heardSnr(f.snr_heard_db) : '');
    return [cry ? (cry.moved ? t().packMoved(cry.new_offset) : t().inPlace(cry.new_offset)) : '',
            pending?.fit && f.rate !== undefined ? `${f.rate} Hz` : '', snr].filter(Boolean).join('; ');
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
    const plan = pending.plan, fit = pending.fit;
    $('#pack-summary').textContent = [
      pending.ignored.length ? t().packIgnored(pending.ignored) : '',
      plan?.ok ? t().packTotal(plan.cries.length, plan.bytes_used, plan.free_left) : '',
      $('#pack-loudness').checked ? t().packLoudness(pending.loudness_db) : '',
      fit && 'lowest_rate' in fit && plan?.ok ? t().packFitted(fit.lowest_rate, fit.median_rate, fit.bytes ?? 0) : '',
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

  return {setUpPack, offerPack, replanPack, applyPack, discardPack, showPack, droppedFiles};
})();
