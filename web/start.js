// @ts-check
// Start-up: the engine started, what the page needs of it fetched, and the
// controls, shortcuts and drops wired to the parts that answer them.
'use strict';

const {core, isSound, applyLanguage, start} = (() => {
  /** @type {Engine | null} */
  let engine = null;
  let ready = false;    // the engine has started and the page has what it needs of it
  /** @type {Map<string, () => Promise<void> | void>} the last image and sound chosen while the engine starts */
  const waiting = new Map();

  /**
   * `handler` for a file chosen now, or once the engine is ready: the page
   * takes files from the moment it shows, and only the last one of a kind
   * chosen while the engine starts is kept.
   * @param {'image' | 'sound'} kind
   * @param {(file: File) => Promise<void> | void} handler
   */
  function whenReady(kind, handler) {
    return (/** @type {File} */ file) => {
      if (ready) return handler(file);
      waiting.set(kind, () => handler(file));
      say(kind === 'image' ? 'startingImage' : 'startingSound', file.name);
    };
  }
  const openSoon = whenReady('image', openRom), offerSoon = whenReady('sound', offerSound);

  /**
   * A file a user means as a sound rather than an image: by its type or name.
   * @param {File} file
   */
  function isSound(file) {
    return file.type.startsWith('audio/') ||
      /\.(wav|wave|mp3|ogg|oga|opus|flac|m4a|aac|aif|aiff|webm)$/i.test(file.name);
  }

  /** Every text in the other language, or in `to`. @param {'fr' | 'en' | null} to */
  function applyLanguage(to = null) {
    switchLanguage(to);
    setModes();
    showRom();
    showSelection();
    showHistory();
    showPack();
    renderStatus();
  }

  /**
   * @param {HTMLInputElement} input
   * @param {(file: File) => void} handler
   */
  function onFiles(input, handler) {
    input.addEventListener('change', () => {
      if (input.files.length) handler(input.files[0]);
      input.value = '';
    });
  }

  /**
   * Shortcuts the whole page answers; in a text field the field keeps its own.
   * @param {KeyboardEvent} e
   */
  function onPageKey(e) {
    const typing = /** @type {Element} */ (e.target).matches('input[type=text], input[type=number], input:not([type])');
    const ctrl = e.ctrlKey || e.metaKey;
    const key = e.key.toLowerCase();
    let action = null;
    if (e.key === 'Escape') action = stopSound;
    else if (ctrl && !typing && key === 'z' && !e.shiftKey) action = undo;
    else if (ctrl && !typing && (key === 'y' || (key === 'z' && e.shiftKey))) action = redo;
    else if (ctrl && e.key === 'Enter') action = applyCandidate;
    else if (ctrl && key === 's') action = () => downloadImage(false);
    else if (ctrl && key === 'o') action = () => $('#rom-file').click();
    if (!action) return;
    e.preventDefault();
    action();
  }

  /**
   * An image dropped on its zone opens; a sound dropped on the list or the
   * selected cry's pane goes to the selected cry; nothing else is taken.
   * @param {DragEvent} e
   */
  async function onDrop(e) {
    e.preventDefault();
    document.body.classList.remove('dragging');
    const on = /** @type {Node} */ (e.target);
    const onSounds = $('#list').contains(on) || $('#detail').contains(on);
    const files = onSounds && ready ? await droppedFiles(e.dataTransfer) : [...e.dataTransfer.files];
    if (!files.length) return;
    if ($('#rom-drop').contains(on)) openSoon(files[0]);
    else if (onSounds && files.length > 1) offerPack(files);
    else if (onSounds) offerSoon(files[0]);
    else fail('dropWhere');
  }

  function wire() {
    onFiles($('#rom-file'), openSoon);
    onFiles($('#audio-file'), offerSoon);
    $('#pack-files').addEventListener('change', () => {
      const files = [...$('#pack-files').files];
      $('#pack-files').value = '';
      if (files.length && ready) offerPack(files);
    });
    $('#pack-apply').addEventListener('click', applyPack);
    for (const control of ['#pack-loudness', '#pack-fit', '#pack-min-rate', '#pack-budget'])
      $(control).addEventListener('change', replanPack);
    $('#pack-discard').addEventListener('click', discardPack);
    // Gain and normalisation exclude each other; any change conditions the sound again.
    for (const [box, other] of [['#gain', '#normalize'], ['#normalize', '#gain']])
      $(box).addEventListener('change', () => { if ($(box).checked) $(other).checked = false; });
    for (const group of ['#conditioning', '#sample-options']) $(group).addEventListener('change', soundChanged);
    $('#language').addEventListener('click', () => applyLanguage());
    $('#species').addEventListener('change', reread);
    $('#reread').addEventListener('click', reread);
    for (const field of ['#table-input', '#entries'])
      $(field).addEventListener('keydown', e => { if (e.key === 'Enter') reread(); });
    $('#use-entries').addEventListener('click', () => {
      $('#entries').value = tableStop().index + 1 + tableStop().resumes;
      reread();
    });
    $('#cries tbody').addEventListener('keydown', onListKey);
    $('#sort-heard').addEventListener('click', sortByHeard);
    $('#play-selected').addEventListener('click', () => selectedRow() && play(selectedRow()));
    $('#dump-selected').addEventListener('click', () => selectedRow() && dump(selectedRow()));
    $('#play-new').addEventListener('click', playNew);
    $('#play-both').addEventListener('click', playBoth);
    $('#mode').addEventListener('change', pick);
    $('#stop').addEventListener('click', stopSound);
    $('#cut-fit').addEventListener('click', cutToFit);
    $('#lower-rate').addEventListener('click', lowerRateToFit);
    $('#apply').addEventListener('click', applyCandidate);
    $('#undo').addEventListener('click', undo);
    $('#redo').addEventListener('click', redo);
    $('#download-rom').addEventListener('click', () => downloadImage(false));
    $('#download-patch').addEventListener('click', () => downloadImage(true));
    $('#save-all').addEventListener('click', saveAll);
    document.addEventListener('keydown', onPageKey);
    // The audio output opens at the first press of a key or a button, the first moment a page may open it,
    // rather than at the first sound, which would wait for it.
    for (const press of ['pointerdown', 'keydown']) document.addEventListener(press, audioContext, {once: true});
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

  /** What the page needs of the engine before anything else; then the files chosen meanwhile. */
  async function setUpEngine() {
    const limits = await engine.rateLimits();
    setUp(JSON.parse(await engine.kinds()), limits);
    setUpPack(limits);
    const defaults = JSON.parse(await engine.conditionDefaults());
    $('#trim-db').value = defaults.trim_db;
    $('#normalize-db').value = defaults.normalize_db;
    ready = true;
    say('intro');
    document.body.dataset.ready = 'true';
    for (const kind of ['image', 'sound']) {
      const chosen = waiting.get(kind);
      waiting.delete(kind);
      if (chosen) await chosen();
    }
    await engine.prepare(LargestImage);
  }

  /**
   * Starts the engine (engine.js, in brevox.js): a page whose engine cannot
   * start says why instead of loading for ever.
   */
  async function start() {
    applyLanguage('fr');
    wire();
    say('loading');
    try {
      if (typeof startEngine !== 'function')
        throw Object.assign(new Error('brevox.js did not load'), {reason: 'missing'});
      engine = await startEngine();
    } catch (e) {
      console.error('Brevox engine:', e);
      waiting.clear();
      return fail('engineFailure', e.reason || 'engine', e.message);
    }
    await setUpEngine();
  }

  return {
    /** The engine, once started. */
    core: () => engine,
    isSound, applyLanguage, start,
  };
})();

start();
