// @ts-check
// The selected cry and its replacement: the sound given for it, conditioned
// and encoded as the new sample's kind and rate, compared with the old one,
// and planned into the image until "Encoder" applies it.
'use strict';

/**
 * @typedef {{kind: string, max: number, rateField: number, rate: number}} Target
 * What the new sample will be: its kind, the most values it holds, its rate field and rate (Hz).
 * @typedef {{values: number, bytes: number | null, seconds: number, rate: number | null}} Fit
 * What fits: the most values the room (of `bytes` bytes; null: a sample of the kind) holds, their
 * seconds, and the rate that would make the sound fit (null: none a game plays).
 * @typedef {{raw: boolean, values: Uint8Array, warnings: (AudioWarning | HeardWarning)[], sample: Uint8Array,
 *            quality: Quality, heard: Heard | null, target: Target, plan: Plan, newValues: Uint8Array,
 *            fit: Fit | null}} Candidate
 * The new sample, with the core's warnings of the sound given, its encoding and what the game will play of it.
 */

const {select, reselect, forgetSelection, showSelection, isSelected, selectedRow, candidate, setUp, offerSound,
       soundChanged, applyCandidate, spans, cutToFit, lowerRateToFit, playNew, conditionOptions} = (() => {
  /** @type {Entry | null} */
  let selected = null;
  /** @type {Promise<void> | null} the selected row's values and defaults being fetched */
  let selecting = null;
  /** @type {Uint8Array | null} the selected cry's values */
  let oldValues = null;
  /** @type {File | null} the sound last given for the selected cry */
  let file = null;
  let limit = 0;        // values the sound is cut to so that it fits (0: none)
  let runs = 0;         // conditionings started: only the last one's result is shown
  /** @type {Kind[]} the kinds a new sample may take */
  let kinds = [];
  /** @type {RateLimits} the rates a game plays */
  let rates = {min_rate: 1, max_rate: 1, fit_min_rate: 1, fit_max_rate: 1};
  /** @type {Defaults | null} the selected cry's replacement's default kind and rate_field */
  let defaults = null;
  /** @type {Candidate | null} */
  let current = null;
  /** @type {Fit | null} what is offered for a sound that does not fit: the candidate's, or the kind's */
  let offer = null;

  /** @param {Entry | null} row */
  const isSelected = row => !!(selected && row && selected.index === row.index && selected.id === row.id);

  /** @param {Entry | undefined} row */
  async function select(row) {
    if (!row) return;
    selected = row;
    current = offer = file = null;
    limit = 0;
    runs++;
    $('#audio-file').value = '';
    selecting = loadSelection(row);
    await selecting;
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

  /**
   * The rows read again: the selected cry stays selected if it is still
   * there, and its replacement starts over from the defaults of the sample it
   * now holds.
   * @param {Entry[]} rows
   */
  async function reselect(rows) {
    selected = rows.find(r => isSelected(r)) || null;
    current = offer = file = null;
    if (selected) await loadSelection(selected);
  }

  function forgetSelection() {
    selected = null;
  }

  /** @param {Entry} row */
  async function loadSelection(row) {
    oldValues = row.sample && row.sample.sound ? await core().decode(row.sample.offset) : null;
    await showDefaults(row);
  }

  function showSelection() {
    $('#selected').hidden = !selected;
    $('#no-selection').hidden = !!selected;
    $('#selected-title').textContent = selected ? t().selected(selected.id, selected.index) : '';
    if (!selected) return;
    $('#play-selected').disabled = $('#dump-selected').disabled = !oldValues;
    showCandidate();
  }

  // --- The new sample's kind and rate -------------------------------------------------

  /**
   * A replacement takes the kind and rate of the sample it replaces unless the
   * user picks another kind or types a rate.
   * @param {Entry} row
   */
  async function showDefaults(row) {
    defaults = JSON.parse(await core().defaults(row.index));
    $('#kind').value = defaults.kind;
    $('#rate').value = '';
    $('#rate').placeholder = Math.round(defaults.rate_field / 1024);
  }

  /**
   * The kinds a new sample may take and the rates a game plays, as the engine gives them.
   * @param {Kind[]} given
   * @param {RateLimits} limits
   */
  function setUp(given, limits) {
    kinds = given;
    rates = limits;
    $('#rate').min = rates.min_rate;
    $('#rate').max = rates.max_rate;
    $('#kind').replaceChildren(...kinds.map(k => {
      const option = document.createElement('option');
      option.value = k.name;
      option.dataset.t = k.name;
      option.textContent = t()[k.name];
      return option;
    }));
  }

  /** @returns {Target | null} null when the rate field holds no rate a game plays */
  function sampleTarget() {
    const kind = kinds.find(k => k.name === $('#kind').value);
    const field = $('#rate');
    if (field.value === '') {
      const rateField = defaults.rate_field;
      return {kind: kind.name, max: kind.max_values, rateField, rate: rateField / 1024};
    }
    if (!field.checkValidity() || !Number.isInteger(field.valueAsNumber)) return null;
    return {kind: kind.name, max: kind.max_values, rateField: field.valueAsNumber * 1024, rate: field.valueAsNumber};
  }

  // --- Conditioning ----------------------------------------------------------------

  /**
   * The controls as the core takes them (see OptionsOf in binding.cpp), or null
   * when a ticked decibel field holds no valid number.
   * @returns {ConditionOptions | null}
   */
  function conditionOptions() {
    /** @param {string} box @param {string} field */
    const db = (box, field) => !$(box).checked ? null : $(field).checkValidity() ? $(field).valueAsNumber : NaN;
    const options = {channel: $('#channel').value, remove_dc: $('#dc-remove').checked, trim_db: db('#trim', '#trim-db'),
                     gain_db: db('#gain', '#gain-db') ?? 0, normalize_db: db('#normalize', '#normalize-db')};
    return [options.trim_db, options.gain_db, options.normalize_db].every(x => x === null || Number.isFinite(x))
      ? options : null;
  }

  /** @param {ConditionOptions} options */
  function conditions(options) {
    return options.channel !== 'mix' || options.remove_dc || options.trim_db !== null || options.gain_db !== 0 ||
           options.normalize_db !== null;
  }

  // --- The replacement ----------------------------------------------------------------

  /**
   * A sound newly given for the selected cry: taken whole.
   * @param {File} given
   */
  function offerSound(given) {
    if (!selected) return fail('selectFirst');
    if (!isSound(given) && /\.(gba|agb|bin|rom)$/i.test(given.name)) return fail('imageAsSound', given.name);
    limit = 0;
    return replaceWith(given);
  }

  /** The options changed: the sound given is conditioned again. */
  function soundChanged() {
    if (file) replaceWith(file);
  }

  /** @param {File} given */
  async function replaceWith(given) {
    await selecting;  // a sound given while a cry is being selected goes to it, with its defaults
    const row = selected;
    if (!row) return;
    // Whatever was planned before no longer stands, even if this one fails.
    const run = ++runs;
    current = offer = null;
    showCandidate();
    if (!row.sample || !row.sample.sound) return fail('cannotPlay');
    const options = conditionOptions();
    if (!options) return fail('badDb');
    const target = sampleTarget();
    if (!target) return fail('badRate', rates.min_rate, rates.max_rate);
    file = given;
    let sound;
    try {
      sound = await soundOf(given, target.rate, options);
    } catch (e) {
      sound = null;
    }
    if (run !== runs || row !== selected) return;
    if (!sound) return fail('noAudio');
    if (!sound.values.length) return fail(options.trim_db !== null ? 'allTrimmed' : 'noAudio');
    if (limit && sound.values.length > limit) sound = {...sound, values: sound.values.slice(0, limit)};
    if (sound.values.length > target.max) {
      offer = {values: target.max, bytes: null, seconds: target.max / target.rate,
               rate: fittingRate(target, target.max, sound.values.length)};
      showCandidate();
      return fail('tooLong', sound.values.length, target.max);
    }
    const sample = await core().encode(sound.values, target.kind, target.rateField);
    if (!sample) return fail('noAudio');
    const quality = JSON.parse(await core().quality(sound.values, sample));
    const heard = JSON.parse(await core().heard(row.index, sound.values, sample));
    const plan = JSON.parse(await core().plan(row.index, sample));
    /** @type {Candidate} */
    const made = {
      ...sound, sample, quality, target, plan,
      heard: 'error' in heard ? null : heard,
      newValues: await core().decodeSample(sample),
      fit: plan.ok ? null : await fitting(plan, target, sound.values.length),
      warnings: [...sound.warnings, ...quality.warnings, ...'error' in heard ? [] : heard.warnings],
    };
    if (run !== runs) return;
    current = made;
    offer = made.fit;
    showCandidate();
    if (!plan.ok) return fail('refused', () => problemsText(plan));
    const unconditioned = conditions(options) ? 'rawUnconditioned' : 'raw';
    if (made.raw) say(unconditioned);
    else say('converted', Math.round(target.rate));
  }

  /**
   * For a sample refused for want of room: the most values of its kind that
   * the larger room holds (its own slot, or the largest free run), their
   * seconds, and the rate that would make the sound fit.
   * @param {Plan} plan
   * @param {Target} target
   * @param {number} length
   * @returns {Promise<Fit | null>}
   */
  async function fitting(plan, target, length) {
    const p = plan.problems.find(q => q.kind === 'DoesNotFit' || q.kind === 'NoFreeSpace');
    if (!p) return null;
    const bytes = Math.max(p.room, selected.sample.bytes);
    const values = await core().valuesFitting(target.kind, bytes);
    if (!values) return null;
    return {values, bytes, seconds: values / target.rate, rate: fittingRate(target, values, length)};
  }

  /**
   * The rate a game plays at which a sound of `length` values at the target's
   * rate takes no more than `values`, or null.
   * @param {Target} target
   * @param {number} values
   * @param {number} length
   */
  function fittingRate(target, values, length) {
    const rate = Math.floor(target.rate * (values - 1) / length);
    return rate >= rates.min_rate ? rate : null;
  }

  /** @param {Plan} plan */
  function placementText(plan) {
    if (!plan.ok) return `${t().refusedWord} ${problemsText(plan)}`;
    const cry = plan.cries[0];
    /** @param {{table: string}[]} updates */
    const tables = updates => updates.map(u => t().tables[u.table]).join(', ');
    const voices = plan.voices.length ? t().voices(tables(plan.voices)) : '';
    return (cry.moved ? t().free(cry.new_offset, tables(plan.pointers), plan.pointers.length) :
      t().inPlace(cry.new_offset)) + voices;
  }

  /**
   * How faithfully the new sample keeps the sound, in words where a number misleads.
   * @param {Candidate} c
   */
  function qualityText(c) {
    if (c.newValues.every(v => v === 128)) return t().silence;
    if (c.quality.snr_db === null) return t().exact;
    // The grade is the core's, the one the command line words too.
    const words = {Exact: t().exact, Good: t().good, Fair: t().fair, Poor: t().poor};
    const heard = c.heard && c.heard.snr_heard_db;
    return t().snrWords(c.quality.snr_db, words[c.quality.grade]) + (typeof heard === 'number' ? t().heardSnr(heard) : '');
  }

  /**
   * The time scale both waveforms of the selected cry share: the part of the
   * canvas each one fills, and the seconds the whole width stands for.
   */
  function spans() {
    const old = selected && selected.sample ? selected.sample.seconds : 0;
    const next = current ? current.newValues.length / current.target.rate : 0;
    const longest = Math.max(old, next) || 1;
    return {old: old / longest, next: next / longest, longest};
  }

  function showCandidate() {
    const c = current, row = selected;
    $('#apply').disabled = !c || !c.plan.ok;
    $('#play-new').disabled = $('#play-both').disabled = !c;
    $('#candidate').hidden = !c;
    const span = spans();
    if (row) drawWave($('#wave'), oldValues, '#2c5aa0', span.old);
    showHearing();
    $('#fit').hidden = !offer;
    if (offer) {
      $('#fit-text').textContent = offer.bytes === null ? t().holds(offer.seconds, offer.values) :
        t().fits(offer.seconds, offer.bytes);
      $('#cut-fit').textContent = t().cutTo(offer.seconds);
      $('#lower-rate').hidden = !offer.rate;
      if (offer.rate) $('#lower-rate').textContent = t().lowerTo(offer.rate);
    }
    if (!c) return;
    drawWave($('#new-wave'), c.newValues, '#b35900', span.next);
    $('#snr').textContent = qualityText(c);
    const old = row.sample;
    /** @type {[number, number, number, string][]} seconds, bytes, rate, kind */
    const columns = [[old.seconds, old.bytes, old.rate, old.kind],
                     [c.newValues.length / c.target.rate, c.sample.length, Math.round(c.target.rate), c.target.kind]];
    /** @type {[string, (x: [number, number, number, string]) => string][]} */
    const rows = [['#compare-seconds', x => t().seconds(x[0])], ['#compare-bytes', x => String(x[1])],
                  ['#compare-rate', x => `${x[2]} Hz`], ['#compare-kind', x => t()[x[3]] || x[3]]];
    rows.forEach(([id, cell]) => {
      const tds = columns.map(x => { const td = document.createElement('td'); td.textContent = cell(x); return td; });
      $(id).replaceChildren($(id).cells[0], ...tds);
    });
    $('#free-after').textContent = c.plan.ok ? t().bytesCount(c.plan.free_left) : '–';
    $('#placement').textContent = placementText(c.plan);
    // Why "Encoder" stays disabled, beside it.
    $('#apply-why').hidden = c.plan.ok;
    $('#apply-why').textContent = c.plan.ok ? '' : problemsText(c.plan);
    $('#warnings').replaceChildren(...c.warnings.map(w => {
      const li = document.createElement('li');
      li.textContent = t().warnings[w.code](w);
      li.title = w.message;
      return li;
    }));
  }

  async function applyCandidate() {
    const row = selected, c = current;
    if (!row || !c || !c.plan.ok) return;
    const result = JSON.parse(await core().apply(row.index, c.sample));
    if (result.error || !result.ok) return fail('refused', () => problemsText(result));
    const at = result.cries[0].new_offset;
    await recordEdit({index: row.index, id: row.id, sample: c.sample, at, bytes: c.sample.length});
    say('encoded', row.id, row.index, at);
  }

  return {
    select, reselect, forgetSelection, showSelection, isSelected, setUp, offerSound, soundChanged, applyCandidate,
    spans, conditionOptions,
    selectedRow: () => selected,
    candidate: () => current,
    cutToFit() {
      limit = offer.values;
      replaceWith(file);
    },
    lowerRateToFit() {
      $('#rate').value = offer.rate;
      replaceWith(file);
    },
    playNew() {
      if (current) playMode(current.sample, $('#new-wave').parentNode, spans().longest);
    },
  };
})();
