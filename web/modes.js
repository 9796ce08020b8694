// @ts-check
// The ways the game plays a cry: the mode picker, the cries and the new
// sound played as the game plays them in the mode picked (rendered by the
// core at the mixer's rate), the marks on the selected cry's waveforms where
// the normal and doubles modes cut them, and what is heard of each.
'use strict';

/**
 * @typedef {import('./brevox').RenderFigures} RenderFigures
 * @typedef {Entry | Uint8Array} Sound a cry of the image, or a sample on its own as `encode` made it
 */

const {setModes, pick, modeName, playMode, playBoth, showHearing} = (() => {
  /** @type {CryMode[]} the image's game's */
  let modes = [];
  let picked = 0;
  let showings = 0;  // showHearing calls: only the last one shows
  /** @type {WeakMap<object, Map<number, RenderFigures>>} each sound's figures by mode, as rendered */
  const heard = new WeakMap();

  // The modes marked on the waveforms: the one a cry plays in by default, and doubles, which holds it 20 frames.
  const Marked = ['normal', 'doubles'];

  /** @param {string} name */
  const modeName = name => t().modes[name] || name;

  /**
   * The image's game's modes in the picker: the one picked stays when the
   * game has it, else normal.
   * @param {CryMode[]} given the modes already shown when not given: worded again
   */
  function setModes(given = modes) {
    const name = modes.find(m => m.number === picked)?.name;
    modes = given;
    picked = (modes.find(m => m.name === name) || modes[0] || {number: 0}).number;
    $('#mode').replaceChildren(...modes.map(m => {
      const option = document.createElement('option');
      option.value = String(m.number);
      option.textContent = modeName(m.name);
      return option;
    }));
    $('#mode').value = String(picked);
  }

  /** @param {Sound} sound @param {number} mode */
  async function rendered(sound, mode) {
    const r = sound instanceof Uint8Array ? await core().renderSample(sound, mode) :
      await core().render(sound.index, mode);
    if (!r) return null;
    /** @type {RenderFigures} */
    const figures = JSON.parse(r.figures);
    if (!heard.has(sound)) heard.set(sound, new Map());
    heard.get(sound).set(mode, figures);
    return {values: r.values, figures};
  }

  /** @param {Sound} sound @param {number} mode */
  async function figuresOf(sound, mode) {
    return heard.get(sound)?.get(mode) || (await rendered(sound, mode))?.figures || null;
  }

  /**
   * Plays `sound` in the mode picked, as the game plays it. Its playhead runs
   * in time over `box`'s waveform, whose whole width is `seconds`.
   * @param {Sound} sound
   * @param {HTMLElement | null} box
   * @param {number} seconds
   * @param {((stopped: boolean) => void) | null} whenEnded
   */
  async function playMode(sound, box = null, seconds = 1, whenEnded = null) {
    const ticket = askToPlay();
    const r = await rendered(sound, picked);
    if (!r || !r.figures.playable || !r.values.length) return false;
    playValues(r.values, r.figures.rate, box, r.values.length / r.figures.rate / seconds, whenEnded, ticket);
    return true;
  }

  /** The selected cry, then its new sound once it has played out, in the mode picked. */
  async function playBoth() {
    const row = selectedRow(), c = candidate();
    if (!row || !c) return;
    const scale = spans().longest;
    say('playingBoth', () => modeName(modes.find(m => m.number === picked).name));
    const shown = shownStatus();
    const after = () => playMode(c.sample, $('#new-wave').parentNode, scale, stopped => {
      if (shownStatus() === shown) say(stopped ? 'playStopped' : 'played', row.id, row.index);
    });
    if (!await playMode(row, $('#wave').parentNode, scale, stopped => { if (!stopped) after(); })) await after();
  }

  /**
   * A mark over a waveform box at `at` (0 to 1 of its width); #cuts says it in words.
   * @param {string} cls @param {number} at
   */
  function mark(cls, at) {
    const div = document.createElement('div');
    div.className = `mark ${cls}`;
    div.style.left = `${Math.min(1, at) * 100}%`;
    return div;
  }

  /**
   * Where the normal and doubles modes cut a sound of `length` values drawn
   * over `span` of `box`'s width, marked on it; the words of each cut.
   * @param {HTMLElement} box
   * @param {RenderFigures[]} figures
   * @param {number} length
   * @param {number} span
   */
  function markCuts(box, figures, length, span) {
    box.querySelectorAll('.mark').forEach(m => m.remove());
    const words = [];
    for (const f of figures.filter(f => f && f.cut && f.ended !== null)) {
      /** @param {number} values the place in the sound, in its values */
      const at = values => values / length * span;
      /** @param {number} values */
      const time = values => t().seconds(values / length * f.seconds_stored);
      const name = modeName(f.mode), held = time(f.held), ended = time(f.ended);
      if (f.held < f.ended) box.append(mark(`fade ${f.mode}`, at(f.held)));
      box.append(mark(`cut ${f.mode}`, at(f.ended)));
      words.push(f.held < f.ended ? t().fadesAndCuts(name, held, ended) : t().cutsAt(name, ended));
    }
    return words;
  }

  /**
   * The marks of the selected cry and its new sound, the words of their
   * cuts, and what each is heard as in the mode picked, once the core has
   * rendered them.
   */
  async function showHearing() {
    const run = ++showings;
    const row = selectedRow(), c = candidate();
    const marked = modes.filter(m => Marked.includes(m.name));
    /** @param {Sound | null} sound */
    const study = async sound => sound ? {
      marks: await Promise.all(marked.map(m => figuresOf(sound, m.number))), picked: await figuresOf(sound, picked),
    } : null;
    const old = row && row.sample && row.sample.sound ? await study(row) : null;
    const next = c ? await study(c.sample) : null;
    if (run !== showings) return;
    const span = spans(), names = marked.map(m => modeName(m.name));
    /** @param {string} who @param {string[]} words */
    const said = (who, words) => words.length ? t().cutsOf(who, words) : t().noCuts(who, names);
    const before = markCuts($('#wave').parentNode, old ? old.marks : [], old ? row.sample.length : 1, span.old);
    const after = markCuts($('#new-wave').parentNode, next ? next.marks : [], next ? c.newValues.length : 1, span.next);
    // Said only where a mode cuts one of them.
    $('#cuts').textContent = !before.length && !after.length ? '' : [old ? said(next ? t().before : t().thisCry, before) : '',
                                                                  next ? said(t().after, after) : ''].join(' ').trim();
    $('#cuts').hidden = !$('#cuts').textContent;
    /** @param {RenderFigures | null} f */
    const heardText = f => !f ? '–' : !f.playable ? t().silent : t().heardSeconds(f.seconds_heard, f.cut);
    $('#heard-mode').textContent = t().heardIn(modeName(modes.find(m => m.number === picked)?.name || ''));
    const cells = [old && old.picked, next && next.picked].map(f => {
      const td = document.createElement('td');
      td.textContent = heardText(f);
      return td;
    });
    $('#compare-heard').replaceChildren($('#compare-heard').cells[0], ...cells);
  }

  return {
    setModes, modeName, playMode, playBoth, showHearing,
    /** The picker's mode becomes the one played; what is heard of the sounds is shown again. */
    pick() {
      picked = Number($('#mode').value);
      showHearing();
    },
  };
})();
