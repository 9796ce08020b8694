// @ts-check
// Every cry at once: "save all" downloads one zip holding each cry's WAV, the
// file dump gives, named as the command line's dump-all names them, so that
// its import (or the page's) reads the folder back. The zip is written by
// fflate (the page's vendor library, pinned in web/vendor).
'use strict';

const {saveAll} = (() => {
  async function saveAll() {
    const name = romName();
    if (name === null) return;
    /** @type {Record<string, Uint8Array>} */
    const files = {};
    for (const row of listRows()) {
      if (!row.sample?.sound) continue;  // as dump-all skips what holds no sound
      const bytes = await core().wavFile(row.sample.offset);
      if (bytes) files[`${row.file}.wav`] = bytes;
    }
    const zipName = `${stemOf(name)}-cries.zip`;
    download(fflate.zipSync(files), zipName, 'application/zip');
    say('savedAll', Object.keys(files).length, zipName);
  }

  return {saveAll};
})();
