// @ts-check
// Sound in and out: waveforms drawn, one sound played at a time with its
// playhead (a cry as the game plays it: modes.js), cries saved as WAV, and a
// sound file read as 8-bit values.
'use strict';

const {drawWave, askToPlay, playValues, stopSound, play, dump, download, soundOf, framesOf, audioContext, playing} = (() => {
  /** @type {AudioContext | null} */
  let context = null;
  /** @type {{source: AudioBufferSourceNode, start: number, duration: number, box: HTMLElement | null, span: number} | null} */
  let sounding = null;
  /** @type {((stopped: boolean) => void) | null} told when the sound playing ends: stopped, or played out */
  let ended = null;
  let asked = 0;  // sounds asked for, and Stop pressed: a sound made meanwhile plays only if it was the last

  /**
   * `values` drawn over the first `span` (0 to 1) of the canvas's width, so
   * that two sounds drawn on one time scale compare.
   * @param {HTMLCanvasElement} canvas
   * @param {Uint8Array | null} values
   */
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
    /** @param {number} v */
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

  function audioContext() {
    context = context || new AudioContext();
    return context;
  }

  /** The ticket of a sound about to be made: `playValues` plays it only if no other was asked for since. */
  const askToPlay = () => ++asked;

  /**
   * Plays 8-bit `values` at `rate`, stopping whatever played before, unless
   * `ticket` (askToPlay's) is not the last; `box` (a .wave-box) shows the
   * playhead over the first `span` of its width (at most all of it);
   * `whenEnded` is told when it ends.
   * @param {Uint8Array} values
   * @param {number} rate
   * @param {HTMLElement | null} box
   * @param {((stopped: boolean) => void) | null} whenEnded
   */
  function playValues(values, rate, box = null, span = 1, whenEnded = null, ticket = askToPlay()) {
    if (ticket !== asked) return;
    finish(true);
    const audio = audioContext();
    const buffer = audio.createBuffer(1, values.length, rate);
    const channel = buffer.getChannelData(0);
    for (let i = 0; i < values.length; i++) channel[i] = (values[i] - 128) / 128;
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    source.onended = () => { if (sounding && sounding.source === source) finish(false); };
    source.start();
    sounding = {source, start: audio.currentTime, duration: values.length / rate, box, span};
    ended = whenEnded;
    showPlaying();
    requestAnimationFrame(movePlayhead);
  }

  /** @param {boolean} stopped */
  function finish(stopped) {
    const was = sounding, tell = ended;
    sounding = ended = null;
    if (was) {
      was.source.onended = null;
      was.source.stop();
    }
    showPlaying();
    if (was && tell) tell(stopped);
  }

  const stopSound = () => {
    asked++;
    finish(true);
  };

  function showPlaying() {
    $('#stop').disabled = !sounding;
    document.querySelectorAll('.playhead').forEach(p => {
      /** @type {HTMLElement} */ (p).hidden = !sounding || sounding.box !== p.parentNode;
    });
  }

  function movePlayhead() {
    const p = sounding;
    if (!p || !p.box) return;
    const done = Math.min(1, (context.currentTime - p.start) / p.duration);
    /** @type {HTMLElement} */ (p.box.querySelector('.playhead')).style.left = `${Math.min(1, done * p.span) * 100}%`;
    requestAnimationFrame(movePlayhead);
  }

  /**
   * Plays a cry as the game plays it in the mode picked.
   * @param {Entry} row
   */
  async function play(row) {
    if (!row.sample || !row.sample.sound) return fail('cannotPlay');
    const mine = isSelected(row);
    say('playing', row.id, row.index);
    // The status says the sound ended, unless it says something else by then.
    const shown = shownStatus();
    const played = await playMode(row, mine ? $('#wave').parentNode : null, spans().longest, stopped => {
      if (shownStatus() === shown) say(stopped ? 'playStopped' : 'played', row.id, row.index);
    });
    if (!played) fail('cannotPlay');
  }

  /**
   * @param {Uint8Array} bytes the engine's, never shared
   * @param {string} name
   * @param {string} type
   */
  function download(bytes, name, type) {
    const url = URL.createObjectURL(new Blob([/** @type {Uint8Array<ArrayBuffer>} */ (bytes)], {type}));
    const a = document.createElement('a');
    a.href = url;
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
  }

  // The name the command line's dump-all gives the file, which its import reads back.
  /** @param {Entry} row */
  async function dump(row) {
    const bytes = row.sample ? await core().wavFile(row.sample.offset) : null;
    if (!bytes) return fail('cannotPlay');
    download(bytes, `${row.file}.wav`, 'audio/wav');
    say('dumped', `${row.file}.wav`);
  }

  // The rate files are decoded at when the core cannot read their header: that
  // of most compressed audio, so that nothing a cry can hold is lost before
  // the core conditions it.
  const DecodeRate = 48000;

  /** @param {AudioBuffer} buffer */
  function interleaved(buffer) {
    const channels = [...Array(buffer.numberOfChannels).keys()].map(c => buffer.getChannelData(c));
    const frames = new Float32Array(buffer.length * channels.length);
    for (let i = 0; i < buffer.length; i++) channels.forEach((data, c) => { frames[i * channels.length + c] = data[i]; });
    return frames;
  }

  /**
   * The sound of an audio file as unsigned 8-bit values at `rate`, with the
   * core's warnings: an 8-bit mono WAV at that rate in whole Hz (as a dump
   * states it) as it is; anything else decoded by the browser at its own rate,
   * then converted by the core as the command line converts a file (null when
   * it cannot resample between the two rates).
   * @param {File} file
   * @param {number} rate
   * @param {ConditionOptions} options
   * @returns {Promise<{raw: boolean, values: Uint8Array, warnings: AudioWarning[]} | null>}
   */
  async function soundOf(file, rate, options) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    const wav = JSON.parse(await core().wavInfo(bytes));
    if (!wav.error && wav.raw && wav.rate === Math.round(rate))
      return {raw: true, values: bytes.slice(wav.offset, wav.offset + wav.size), warnings: []};
    const decoded = await decode(bytes, wav);
    const sound = await core().convert(decoded.frames, decoded.channels, decoded.rate, rate, options);
    return sound && {raw: false, values: sound.values, warnings: JSON.parse(sound.warnings)};
  }

  /**
   * A file's bytes (what the core's wavInfo said of them) decoded: interleaved
   * frames, at the WAV's own rate, else at DecodeRate.
   * @param {Uint8Array<ArrayBuffer>} bytes
   * @param {any} wav
   */
  async function decode(bytes, wav) {
    // 8-bit mono PCM is read as the command line's libsndfile reads it, value
    // by value: the browser's decoder scales it a little differently.
    if (!wav.error && wav.raw) {
      const values = bytes.subarray(wav.offset, wav.offset + wav.size);
      return {frames: Float32Array.from(values, v => (v - 128) / 128), channels: 1, rate: wav.rate};
    }
    const fileRate = !wav.error && wav.rate >= 3000 && wav.rate <= 768000 ? wav.rate : DecodeRate;
    const decoded = await new OfflineAudioContext(1, 1, fileRate).decodeAudioData(bytes.buffer.slice(0));
    return {frames: interleaved(decoded), channels: decoded.numberOfChannels, rate: decoded.sampleRate};
  }

  /**
   * A file's sound as the core converts it, as `soundOf` decodes it; null when
   * the browser cannot decode it.
   * @param {File} file
   * @returns {Promise<{frames: Float32Array, channels: number, rate: number} | null>}
   */
  async function framesOf(file) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    try {
      return await decode(bytes, JSON.parse(await core().wavInfo(bytes)));
    } catch {
      return null;
    }
  }

  return {
    drawWave, askToPlay, playValues, stopSound, play, dump, download, soundOf, framesOf, audioContext,
    /** The sound playing, or null. */
    playing: () => sounding,
  };
})();
