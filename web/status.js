// @ts-check
// The page's words: the language shown, the texts of the markup, and the
// status line, kept as a message key and its arguments so that it is worded
// again when the language changes. The page's other parts (list.js, audio.js,
// modes.js, candidate.js, history.js, start.js) each keep their own state and show it;
// the build joins them, in that order, into the site's page.js. Everything
// the page knows of the format comes from the engine (brevox.js), called as
// `await core().NAME(...)`.
'use strict';

/** @typedef {import('./brevox').Engine} Engine */
/** @typedef {import('./brevox').Entry} Entry */
/** @typedef {import('./brevox').OpenResult} OpenResult */
/** @typedef {import('./brevox').TableStop} TableStop */
/** @typedef {import('./brevox').Plan} Plan */
/** @typedef {import('./brevox').Problem} Problem */
/** @typedef {import('./brevox').Failure} Failure */
/** @typedef {import('./brevox').Kind} Kind */
/** @typedef {import('./brevox').Defaults} Defaults */
/** @typedef {import('./brevox').Quality} Quality */
/** @typedef {import('./brevox').AudioWarning} AudioWarning */
/** @typedef {import('./brevox').ConditionOptions} ConditionOptions */
/** @typedef {import('./brevox').RateLimits} RateLimits */
/** @typedef {import('./brevox').PackPlan} PackPlan */
/** @typedef {import('./brevox').PackFileRow} PackFileRow */
/** @typedef {import('./brevox').CryMode} CryMode */
/** @typedef {import('./brevox').Heard} Heard */
/** @typedef {import('./brevox').HeardWarning} HeardWarning */
/** @typedef {'info' | 'warning' | 'error'} Level */
/** @typedef {{key: string, args: any[], level: Level}} Status */

/**
 * An element of the page's own markup, which holds every one looked up.
 * @type {(selector: string) => any}
 */
const $ = selector => document.querySelector(selector);

/** A file's name without its extension: what the page names the files it makes of it after. */
const stemOf = (/** @type {string} */ name) => {
  const dot = name.lastIndexOf('.');
  return dot > 0 ? name.slice(0, dot) : name;
};

const {t, worded, say, warn, fail, renderStatus, shownStatus, switchLanguage} = (() => {
  let lang = 'fr';
  /** @type {Status | null} */
  let status = null;

  const t = () => TEXTS[lang];

  /**
   * Message `key` worded with `args`; an argument given as a function is
   * worded when shown, in the language of the moment.
   * @param {string} key
   * @param {any[]} args
   * @returns {string}
   */
  function worded(key, args) {
    const text = t()[key];
    return typeof text === 'function' ? text(...args.map(a => typeof a === 'function' ? a() : a)) : text;
  }

  function renderStatus() {
    if (!status) return;
    $('#status').textContent = worded(status.key, status.args);
    $('#status').className = status.level;
  }

  /** @param {Level} level @param {string} key @param {any[]} args */
  function show(level, key, args) {
    status = {key, args, level};
    renderStatus();
  }

  /** Every text the markup names (data-t, data-title, data-label) in the language of the moment. */
  function wordMarkup() {
    document.documentElement.lang = t().lang;
    /** @param {string} selector */
    const marked = selector => /** @type {NodeListOf<HTMLElement>} */ (document.querySelectorAll(selector));
    marked('[data-t]').forEach(el => { el.textContent = t()[el.dataset.t]; });
    marked('[data-title]').forEach(el => { el.title = t()[el.dataset.title]; });
    marked('[data-label]').forEach(el => el.setAttribute('aria-label', t()[el.dataset.label]));
    $('#language').textContent = t().otherLanguage;
    $('#language').lang = t().otherLang;
  }

  return {
    t, worded, renderStatus,
    /** @type {(key: string, ...args: any[]) => void} */
    say: (key, ...args) => show('info', key, args),
    /** @type {(key: string, ...args: any[]) => void} */
    warn: (key, ...args) => show('warning', key, args),
    /** @type {(key: string, ...args: any[]) => void} */
    fail: (key, ...args) => show('error', key, args),
    /** The status line's message, or null before the first. */
    shownStatus: () => status,
    /** @param {'fr' | 'en' | null} to the other language when null */
    switchLanguage(to = null) {
      lang = to || (lang === 'fr' ? 'en' : 'fr');
      wordMarkup();
    },
  };
})();
