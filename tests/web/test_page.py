#!/usr/bin/python3
"""The browser page driven in headless chromium, checked against brevox-cli.

    tests/web/test_page.py [BUILD [SITE [-k PATTERN ...]]]

BUILD holds brevox-cli and brevox-web-images (default build/default), SITE the
page as scripts/web.sh builds it (default build/web/site); what follows goes to
unittest (-k PATTERN runs the tests whose names hold it). With
BREVOX_WEB_SCREENSHOT=PATH the page with a ROM open is saved there.
"""
import base64
import functools
import http.server
import io
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
ARGS = sys.argv[1:]
BUILD = os.path.abspath(ARGS[0] if ARGS else os.path.join(ROOT, 'build', 'default'))
SITE = os.path.abspath(ARGS[1] if len(ARGS) > 1 else os.path.join(ROOT, 'build', 'web', 'site'))
CLI = os.path.join(BUILD, 'cli', 'brevox-cli')
BPS = os.path.join(ROOT, 'tests', 'bps')
APPLIER = os.path.join(BUILD, 'bps-applier')
AXE = os.path.join(BUILD, 'axe')
# Each new behaviour is checked in both languages and at both widths, two
# views a test, the language and the width changing together.
VIEWS = (('fr', 800), ('en', 1400))
ENTRY_SIZE, POINTER_OFS, ROM_BASE = 12, 4, 0x08000000
SAMPLE_TYPE_OFS, SAMPLE_RATE_OFS, SAMPLE_HEADER_SIZE, WAV_HEADER_SIZE = 0, 4, 16, 44


def cli(*args):
    return subprocess.run([CLI, *map(str, args)], check=True, capture_output=True, text=True).stdout


def apply_patch(source, patch):
    """The image a BPS patcher written apart from ours (tests/bps) makes of `source`."""
    out = patch + '.applied'
    subprocess.run(['node', os.path.join(BPS, 'apply.cjs'), APPLIER, source, patch, out], check=True)
    return read(out)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def wav_header(size, rate):
    """The 44-byte header of an 8-bit mono WAV of `size` values at `rate`."""
    return (b'RIFF' + (36 + size).to_bytes(4, 'little') + b'WAVEfmt ' + (16).to_bytes(4, 'little') +
            (1).to_bytes(2, 'little') + (1).to_bytes(2, 'little') + rate.to_bytes(4, 'little') +
            rate.to_bytes(4, 'little') + (1).to_bytes(2, 'little') + (8).to_bytes(2, 'little') + b'data' +
            size.to_bytes(4, 'little'))


def le32(data, at):
    return int.from_bytes(data[at:at + 4], 'little')


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run([os.path.join(BPS, 'install.sh'), APPLIER], check=True)
        subprocess.run([os.path.join(ROOT, 'tests', 'axe', 'install.sh'), AXE], check=True)
        cls.tmp = tempfile.mkdtemp(prefix='brevox-web-')
        cls.data = os.path.join(cls.tmp, 'data')
        os.mkdir(cls.data)
        subprocess.run([os.path.join(BUILD, 'tests', 'web', 'brevox-web-images'), cls.data], check=True)
        cls.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(QuietHandler, directory=SITE))
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                     '--window-size=1400,900', '--autoplay-policy=no-user-gesture-required'):
            options.add_argument(flag)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        cls.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()
        cls.server.server_close()
        shutil.rmtree(cls.tmp)

    def setUp(self):
        self.driver.set_window_size(1400, 900)
        self.downloads = tempfile.mkdtemp(dir=self.tmp)
        self.driver.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': self.downloads})
        self.load()

    def load(self, url=None):
        self.driver.get(url or f'http://127.0.0.1:{self.server.server_port}/')
        self.wait(lambda d: d.execute_script('return document.body.dataset.ready'))

    def wait(self, condition, timeout=20):
        return WebDriverWait(self.driver, timeout).until(condition)

    def find(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def status(self):
        return self.find('#status').text

    def says(self, text):
        """Waits for the status line to hold `text`: the engine answers the page in its own time."""
        self.wait(lambda d: text in self.status())

    def rows_shown(self, action):
        """Does `action`, then waits for the table to show every row of the image read again."""
        self.driver.execute_script("window.rowBefore = document.querySelector('#cries tbody tr')")
        action()
        self.wait(lambda d: d.execute_script("""const rows = document.querySelectorAll('#cries tbody tr');
            return rows.length > 0 && rows.length === listRows().length && rows[0] !== rowBefore"""))

    def open_rom(self, name):
        self.rows_shown(lambda: self.find('#rom-file').send_keys(os.path.join(self.data, name)))
        return os.path.join(self.data, name)

    def row(self, cry):
        """The cry's row, scrolled to the middle of the list, clear of its sticky header."""
        row = self.find(f'#cries tbody tr[data-id="{cry}"]')
        self.driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", row)
        return row

    def offer(self, cry, sound, kind=None):
        """Selects the cry, gives it a sound (as a sample of `kind`) and waits for the plan."""
        self.row(cry).click()
        self.wait(lambda d: self.row(cry).get_attribute('aria-selected') == 'true')
        if kind:
            Select(self.find('#kind')).select_by_value(kind)
        self.find('#audio-file').send_keys(os.path.join(self.data, sound))
        self.wait(lambda d: self.find('#placement').text)

    def view(self, language, width):
        """A fresh page `width` pixels wide (the height of a screen that wide) in `language`."""
        self.driver.set_window_size(width, 768 if width < 1024 else 1000)
        self.load()
        if language != 'fr':
            self.find('#language').click()

    def views(self):
        for language, width in VIEWS:
            self.view(language, width)
            yield language

    def words(self, key, *args):
        """A message of the page in its language of the moment."""
        return self.driver.execute_script('return worded(arguments[0], arguments[1])', key, list(args))

    def drop(self, css, name, data=None):
        """Drops a file named `name` (a test file unless `data` is given) on the element at `css`."""
        data = read(os.path.join(self.data, name)) if data is None else data
        self.driver.execute_script("""
            const [css, name, bytes] = arguments, files = new DataTransfer();
            files.items.add(new File([new Uint8Array(bytes)], name));
            document.querySelector(css).dispatchEvent(new DragEvent('drop', {dataTransfer: files, bubbles: true}));""",
            css, name, list(data))

    def image(self):
        """The image the page holds now, edits applied."""
        return base64.b64decode(self.driver.execute_async_script("""
            const done = arguments[0];
            Promise.resolve(core().image()).then(b => {
              let s = '';
              for (let i = 0; i < b.length; i += 8192) s += String.fromCharCode(...b.subarray(i, i + 8192));
              done(btoa(s));
            });"""))

    def cli_encode(self, rom, *edits):
        """The image brevox-cli makes of `rom` with each (cry, sound, options...) encoded in turn, raw."""
        copy = os.path.join(self.tmp, 'cli-' + os.path.basename(rom))
        shutil.copy(rom, copy)
        for cry, sound, *options in edits:
            cli('encode', copy, os.path.join(self.data, sound), cry, '--raw', *options)
        return read(copy)

    def wait_edits(self, n):
        self.wait(lambda d: len(d.find_elements(By.CSS_SELECTOR, '#history li')) == n)

    def downloaded(self, name):
        path = os.path.join(self.downloads, name)
        self.wait(lambda d: os.path.exists(path) and not os.path.exists(path + '.crdownload'))
        time.sleep(0.2)  # the file is complete once chromium renames it; let the rename settle
        return read(path)

    def download_rom(self, original):
        self.find('#download-rom').click()
        base, ext = os.path.splitext(os.path.basename(original))
        return self.downloaded(f'{base}-brevox{ext}')

    def apply_and_download(self, rom):
        self.find('#apply').click()
        self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, '#history li') and not self.find('#undo').get_property('disabled'))
        return self.download_rom(rom)

    def played(self, button):
        """Presses `button` with no sound playing; the sound it plays, in 8-bit steps, and its rate."""
        self.driver.switch_to.active_element.send_keys(Keys.ESCAPE)
        self.find(button).click()
        self.wait(lambda d: d.execute_script('return playing() !== null'))
        return self.driver.execute_script("""const b = playing().source.buffer;
            return [Math.round(b.sampleRate), Array.from(b.getChannelData(0), v => Math.round(v * 128))];""")

    def renders(self, image, cry):
        """brevox-cli's render of `cry` in every mode of `image` (bytes): its figures and 8-bit values per mode."""
        path = os.path.join(self.tmp, 'render.gba')
        with open(path, 'wb') as f:
            f.write(image)
        folder = tempfile.mkdtemp(dir=self.tmp)
        rendered = {}
        for r in json.loads(cli('render', path, cry, '-o', folder, '--mode', 'all', '--json'))['renders']:
            wav = read(r['file'])
            data = wav[wav.index(b'data') + 8:]
            rendered[r['mode']] = r, [int.from_bytes(data[i:i + 2], 'little', signed=True) // 256
                                      for i in range(0, len(data), 2)]
        return rendered

    def modes_play_as_the_command_line_renders(self, rom, language):
        """Cry 7 selected, long.wav planned for it, the audio context held still."""
        modes = self.driver.execute_async_script('core().modes().then(m => arguments[0](JSON.parse(m)))')
        names = self.driver.execute_script(f'return TEXTS.{language}.modes')
        picker = Select(self.find('#mode'))
        self.assertEqual([(o.get_attribute('value'), o.text) for o in picker.options],
                         [(str(m['number']), names[m['name']]) for m in modes])
        self.assertEqual(len(modes), 13)
        self.assertEqual(picker.first_selected_option.text, names['normal'])
        old = self.renders(read(rom), 7)
        # The cry as the game plays it in a mode (a detuned chorus and the reverse table's entry in echo start),
        # the new sound in the same mode, then both, one after the other, the first played out.
        for mode in ('normal', 'echo-start'):
            picker.select_by_visible_text(names[mode])
            self.assertEqual(self.played('#play-selected'), [13379, old[mode][1]], mode)
            rate, values = self.played('#play-new')
            made = self.driver.execute_async_script("""const done = arguments[1];
                core().renderSample(candidate().sample, arguments[0]).then(r => done(Array.from(r.values, v => v - 128)));""",
                next(m['number'] for m in modes if m['name'] == mode))
            self.assertEqual([rate, values], [13379, made], mode)
            self.assertEqual(self.played('#play-both'), [13379, old[mode][1]], mode)
            self.driver.execute_script('playing().source.onended()')
            self.wait(lambda d: d.execute_script('return playing() && playing().source.buffer.length') == len(made))
        self.driver.switch_to.active_element.send_keys(Keys.ESCAPE)
        self.assertEqual(self.driver.execute_script('return sounding'), 0)
        # A sound longer than the normal mode's hold: the marks stand where the normal and doubles modes stop it
        # and where doubles starts fading it, on the waveforms' time scale; what is heard of both in the mode
        # picked is the command line's.
        picker.select_by_visible_text(names['doubles'])
        values = bytes(128 + round(90 * math.sin(i * 0.07) * (1 - i / 27000)) for i in range(27000))
        with open(os.path.join(self.data, 'longer.wav'), 'wb') as f:
            f.write(wav_header(len(values), 10512) + values)
        self.offer(7, 'longer.wav')
        new = self.renders(self.cli_encode(rom, (7, 'longer.wav', '--repoint-free')), 7)
        self.assertEqual([new[m][0]['cut'] for m in ('normal', 'doubles')], [True, True])
        self.wait(lambda d: self.find('#compare-heard td:last-child').text ==
                  self.words('heardSeconds', new['doubles'][0]['seconds_heard'], True))
        self.assertEqual(self.find('#compare-heard td').text,
                         self.words('heardSeconds', old['doubles'][0]['seconds_heard'], old['doubles'][0]['cut']))
        marks = self.driver.execute_script("""return Object.fromEntries(['#wave', '#new-wave'].map(id => [id,
            [...document.querySelectorAll(id + ' ~ .mark')].map(m => [m.className, parseFloat(m.style.left)])]));""")
        self.assertEqual([c for c, _ in marks['#wave']],
                         [f'mark cut {m}' for m in ('normal', 'doubles') if old[m][0]['cut']])
        frames, level = 20, 255  # doubles' hold, then its release until the level reaches 0
        while (level := level * 225 >> 8) > 0:
            frames += 1
        seconds = 27000 / 10512
        self.assertEqual([c for c, _ in marks['#new-wave']], ['mark cut normal', 'mark fade doubles', 'mark cut doubles'])
        for (_, left), held in zip(marks['#new-wave'], (140, 20, frames)):
            self.assertAlmostEqual(left, 100 * held / 59.7275 / seconds, delta=0.1)
        self.assertIn(self.words('after'), self.find('#cuts').text)
        self.assertIn(names['doubles'], self.find('#cuts').text)
        # Its warnings of what is heard: cut in normal mode, and in the other modes that hold a cry as long, as the
        # command line's render finds them.
        warned = {w['code']: w for w in self.driver.execute_script('return candidate().warnings')}
        self.assertAlmostEqual(warned['CutInNormal']['seconds_heard'], new['normal'][0]['seconds_heard'])
        self.assertEqual(set(warned['CutInModes']['modes']),
                         {m['name'] for m in modes if m['number'] and m['length'] >= 140 and new[m['name']][0]['cut']})
        for code in ('CutInNormal', 'CutInModes'):
            self.assertIn(self.driver.execute_script(f'return t().warnings.{code}(arguments[0])', warned[code]),
                          self.find('#warnings').text)
        # Applied, the cry is heard longest of the table, marked cut; the list sorts by what is heard, longest
        # first, then shortest first, then in the table's order again.
        self.find('#apply').click()
        self.wait_edits(1)
        heard = f"{new['normal'][0]['seconds_heard']:.3f} ✂"
        self.wait(lambda d: self.row(7).find_elements(By.CSS_SELECTOR, 'td')[5].text == heard)
        shown = """return [...document.querySelectorAll('#cries tbody tr')].map(tr =>
            [tr.dataset.index, parseFloat(tr.cells[5].textContent)]).filter(([, heard]) => !isNaN(heard))"""
        for order in ('descending', 'ascending', 'none'):
            self.rows_shown(self.find('#sort-heard').click)
            self.assertEqual(self.find('#sort-heard').find_element(By.XPATH, '..').get_attribute('aria-sort'), order)
            rows = self.driver.execute_script(shown)
            heard = [h for _, h in rows]
            if order != 'none':
                self.assertEqual(heard, sorted(heard, reverse=order == 'descending'), order)
            self.assertEqual(rows[0 if order == 'descending' else -1][0] if order != 'none' else rows[6][0], '6', order)
        self.assertEqual([i for i, _ in rows],
                         self.driver.execute_script('return listRows().filter(r => r.heard).map(r => String(r.index))'))

    def test_rows_match_the_command_line_under_both_rules(self):
        rom = self.open_rom('hack.gba')  # the games' layout, some cries uncompressed
        identity = json.loads(cli('identify', rom, '--json'))
        self.assertEqual(self.find('#release').text, identity['label'])
        self.assertEqual(self.find('#table-offset').text, f"0x{identity['table']:X}")
        self.assertEqual(self.find('#table-pointers').text, ', '.join(f'0x{p:X}' for p in identity['table_pointers']))
        # The engine's reading of the image, field for field the command line's.
        info = self.driver.execute_script('return tableInfo()')
        self.assertLessEqual({'table', 'found_by', 'reverse_pointers', 'competing_tables', 'table_stop'}, info.keys())
        self.assertEqual({k: info[k] for k in identity if k in info}, {k: identity[k] for k in identity if k in info})
        # A row's waveform is drawn once the row comes into view.
        waved = """const pixels = arguments[0].querySelector('canvas').getContext('2d').getImageData(0, 0, 120, 24).data;
            return pixels.some((blue, i) => i % 4 === 2 && blue > 150 && pixels[i - 2] < 100);"""
        self.wait(lambda d: d.execute_script(waved, self.find('#cries tbody tr[data-id="1"]')))
        last = self.driver.execute_script("return document.querySelector('#cries tbody tr:last-child')")
        self.assertFalse(self.driver.execute_script(waved, last))
        self.driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", last)
        self.wait(lambda d: d.execute_script(waved, last))
        kinds = self.driver.execute_script('return TEXTS.fr')
        for rule in ([], ['--species']):
            if rule:
                self.rows_shown(self.find('#species').click)
            listed = json.loads(cli('list', rom, '--json', *rule))
            shown = self.driver.execute_script("""
                return [...document.querySelectorAll('#cries tbody tr')].map(tr => ({
                    id: tr.dataset.id === undefined ? null : Number(tr.dataset.id),
                    index: Number(tr.dataset.index), cells: [...tr.cells].map(td => td.textContent)}));""")
            expected = {(e['id'], e['index']): e for e in listed['entries']}
            for row in shown:
                entry = expected[(row['id'], row['index'])]
                sample, heard = entry['sample'], entry['heard']  # heard: in the normal mode, null for no sound
                self.assertEqual(row['cells'][2:8],
                                 [f"0x{sample['offset']:X}", str(sample['length']), row['cells'][4],
                                  f"{heard['seconds_heard']:.3f}" + (' ✂' if heard['cut'] else '') if heard else '–',
                                  str(sample['bytes']), kinds[sample['kind']]], row)
            # Every ID whose entry lies in the table has its row, and every entry one row at least.
            in_table = {e['id'] for e in listed['entries'] if e['id'] is not None and e['index'] < 388}
            self.assertEqual({r['id'] for r in shown if r['id'] is not None}, in_table, rule)
            self.assertEqual({r['index'] for r in shown}, set(range(388)), rule)

    def test_opens_from_disk_and_says_when_the_engine_cannot_start(self):
        self.load('file://' + os.path.join(SITE, 'index.html'))
        self.open_rom('game.gba')
        indexes = self.driver.execute_script(
            "return [...document.querySelectorAll('#cries tbody tr')].map(tr => Number(tr.dataset.index))")
        self.assertEqual(set(indexes), set(range(388)))
        engine = read(os.path.join(SITE, 'brevox.js')).decode()
        wasm = 'base64,AGFzbQ'  # the embedded module's magic number, "\0asm"
        self.assertEqual(engine.count(wasm), 1)
        for name, damaged, reason in (
                ('removed', None, 'missing'),
                ('truncated', engine[:len(engine) // 2], 'missing'),
                ('worker code broken', engine.replace('BrevoxWorkerSource = "', 'BrevoxWorkerSource = ")', 1), 'worker'),
                ('wasm damaged', engine.replace(wasm, 'base64,AGFzbR'), 'engine')):
            site = tempfile.mkdtemp(dir=self.tmp)
            shutil.copytree(SITE, site, dirs_exist_ok=True)
            os.remove(os.path.join(site, 'brevox.js'))
            if damaged is not None:
                with open(os.path.join(site, 'brevox.js'), 'w') as f:
                    f.write(damaged)
            self.driver.get('file://' + os.path.join(site, 'index.html'))
            self.wait(lambda d: 'error' in self.find('#status').get_attribute('class'))
            self.assertIn(self.driver.execute_script(f'return TEXTS.fr.engineFailed.{reason}'), self.status(), name)
            self.assertIsNone(self.driver.execute_script('return document.body.dataset.ready'), name)
        self.driver.get_log('browser')  # the failures logged here are no other test's

    def test_engine_reads_files_and_keeps_the_image_until_another_is_taken(self):
        rom = self.open_rom('game.gba')
        engine = """const done = arguments[arguments.length - 1];
            const call = (name, ...args) => core()[name](...args);
            (async () => { %s })().then(done, e => done(String(e)));"""
        # A file the browser can no longer read (gone since it was chosen) and one larger than an image
        # can be are refused in words; the image open stays, and nothing is there to take.
        gone = os.path.join(self.tmp, 'gone.gba')
        shutil.copy(rom, gone)
        self.driver.execute_script("document.body.append(Object.assign(document.createElement('input'), {type: 'file', id: 'spare'}))")
        self.find('#spare').send_keys(gone)
        os.remove(gone)
        self.driver.execute_script("openRom(document.querySelector('#spare').files[0])")
        self.says(self.words('openProblem', 'Unreadable', '', 'gone.gba'))
        huge = self.driver.execute_async_script(engine % """
            const opened = JSON.parse(await call('open', new Blob(Array(65).fill(new Uint8Array(1 << 20))), -1, 0, false));
            return [opened.problem, await call('take')];""")
        self.assertEqual(huge, ['TooLarge', False])
        self.assertEqual(self.image(), read(rom))
        # Two images chosen before the first is read: the second opens, under its own name.
        self.driver.execute_script("Object.assign(document.querySelector('#spare'), {multiple: true, value: ''})")
        self.find('#spare').send_keys(os.path.join(self.data, 'full.gba') + '\n' + os.path.join(self.data, 'hack.gba'))
        self.driver.execute_script("const [a, b] = document.querySelector('#spare').files; openRom(a); openRom(b)")
        self.says(self.words('opened', 'hack.gba', 388))
        self.assertEqual(self.image(), read(os.path.join(self.data, 'hack.gba')))
        # Two pieces and a tail; `image` is asked for before `open` has been sent whole, and must
        # still answer after it, with every byte where it was.
        same = self.driver.execute_async_script(engine % """
            const bytes = new Uint8Array(2 * EnginePiece + 12345).map((_, i) => Math.imul(i, 2654435761) >>> 24);
            const [, taken, image] = await Promise.all([call('open', bytes, -1, 0, false), call('take'), call('image')]);
            return taken && image.length === bytes.length && image.every((b, i) => b === bytes[i]);""")
        self.assertTrue(same)
        # An image chosen while the engine starts (held back here) opens as soon as it is ready.
        held = self.driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {'source': """
            const set = Object.getOwnPropertyDescriptor(Worker.prototype, 'onmessage').set;
            Object.defineProperty(Worker.prototype, 'onmessage', {configurable: true, set(handler) {
              set.call(this, e => e.data && e.data.ready ? setTimeout(() => handler(e), 1500) : handler(e)); }});"""})
        try:
            for language, width in VIEWS:
                self.driver.set_window_size(width, 768 if width < 1024 else 1000)
                self.driver.get(f'http://127.0.0.1:{self.server.server_port}/')
                if language != 'fr':
                    self.find('#language').click()
                self.find('#rom-file').send_keys(os.path.join(self.data, 'game.gba'))
                self.assertEqual(self.status(), self.words('startingImage', 'game.gba'))
                self.assertIsNone(self.driver.execute_script('return document.body.dataset.ready'))
                self.says(self.words('opened', 'game.gba', 388))
                self.wait(lambda d: len(d.find_elements(By.CSS_SELECTOR, '#cries tbody tr')) == 388)
        finally:
            self.driver.execute_cdp_cmd('Page.removeScriptToEvaluateOnNewDocument', held)

    def test_dump_gives_the_command_lines_wav(self):
        rom = self.open_rom('hack.gba')
        for cry in (4, 25):  # uncompressed at 22050 Hz; compressed
            self.row(cry).find_element(By.CSS_SELECTOR, 'button.dump').click()
            expected = os.path.join(self.tmp, f'cry{cry}.wav')
            cli('dump', rom, cry, '-o', expected)
            self.assertEqual(self.downloaded(f'cry-{cry:03d}.wav'), read(expected))
        # Save all: the files dump-all writes, by the same names, in one zip.
        self.find('#save-all').click()
        every = os.path.join(self.tmp, 'every')
        cli('dump-all', rom, every)
        with zipfile.ZipFile(io.BytesIO(self.downloaded('hack-cries.zip'))) as z:
            self.assertEqual(sorted(z.namelist()), sorted(os.listdir(every)))
            for name in z.namelist():
                self.assertEqual(z.read(name), read(os.path.join(every, name)), name)

    def test_species_dump_is_named_for_import_and_puts_back_the_same_bytes(self):
        rom = self.open_rom('hack.gba')
        self.rows_shown(self.find('#species').click)
        # An uncompressed cry (taken back exactly) whose species number is not its entry's index + 1.
        listed = json.loads(cli('list', rom, '--json', '--species'))
        entry = next(e for e in listed['entries'] if e['sample']['kind'] == 'uncompressed' and
                     e['id'] not in (None, e['index'] + 1))
        self.row(entry['id']).find_element(By.CSS_SELECTOR, 'button.dump').click()
        name = f"species-{entry['id']:03d}.wav"
        folder = tempfile.mkdtemp(dir=self.tmp)
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(self.downloaded(name))
        copy = os.path.join(self.tmp, 'imported.gba')
        shutil.copy(rom, copy)
        imported = json.loads(cli('import', copy, folder, '--species', '--json'))
        self.assertEqual([c['index'] for c in imported['plan']['cries']], [entry['index']])
        self.assertEqual(read(copy), read(rom))
        # An entry no ID reaches is named by its index, as the command line names it, wherever the page names it.
        for language in self.views():
            self.open_rom('game.gba')
            self.rows_shown(self.find('#species').click)
            name = {'fr': 'Entrée 265', 'en': 'Entry 265'}[language]
            tr = self.find('#cries tbody tr[data-index="265"]:not([data-id])')
            self.driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", tr)
            tr.find_element(By.CSS_SELECTOR, 'button.play').click()
            self.says({'fr': "Fin de la lecture de l'entrée 265.", 'en': 'Finished playing entry 265.'}[language])
            tr.click()
            self.wait(lambda d: self.find('#selected-title').text == name)
            self.find('#audio-file').send_keys(os.path.join(self.data, 'short.wav'))
            self.wait(lambda d: self.find('#apply').is_enabled())
            self.find('#apply').click()
            self.wait_edits(1)
            self.assertTrue(self.status().startswith(name), self.status())
            self.assertTrue(self.find('#history li').text.startswith(name + ':'))
            self.assertIn(name.lower(), self.find('#history li button').get_attribute('aria-label'))

    def test_raw_wav_in_place_gives_the_command_lines_image(self):
        # The new sample keeps the kind and rate of the one it replaces unless the kind is chosen, as with encode.
        for image, cry, sound, kind, rate, sample_type in (
                ('game.gba', 5, 'short.wav', None, 10512, 1),
                ('hack.gba', 4, 'hifi.wav', None, 22050, 0),  # uncompressed at 22050 Hz
                ('hack.gba', 5, 'short.wav', 'uncompressed', 10512, 0)):  # a compressed cry made uncompressed
            self.load()
            rom = self.open_rom(image)
            self.row(cry).click()
            self.find('#normalize').click()  # as --raw refuses the options, the page leaves such a file alone
            self.offer(cry, sound, kind)
            self.assertIn("ne s'y applique pas", self.status())
            self.assertIn('en place', self.find('#placement').text)
            page_image = self.apply_and_download(rom)
            copy = os.path.join(self.tmp, 'cli.gba')
            shutil.copy(rom, copy)
            cli('encode', copy, os.path.join(self.data, sound), cry, '--raw', *(['--kind', kind] if kind else []))
            self.assertEqual(page_image, read(copy), image)
            self.assertEqual(read(rom), read(os.path.join(self.data, image)))
            entry = json.loads(cli('identify', rom, '--json'))['table'] + ENTRY_SIZE * (cry - 1)
            sample = le32(page_image, entry + POINTER_OFS) - ROM_BASE
            self.assertEqual((page_image[sample + SAMPLE_TYPE_OFS], le32(page_image, sample + SAMPLE_RATE_OFS)),
                             (sample_type, rate * 1024), image)
            if image == 'game.gba':  # the page's patch is the command line's, byte for byte
                self.find('#download-patch').click()
                patch = os.path.join(self.tmp, 'cli.bps')
                cli('encode', rom, os.path.join(self.data, sound), cry, '--raw', '--patch', patch)
                self.assertEqual(self.downloaded('game.bps'), read(patch))
                self.assertIn('game.bps', self.status())

    def test_converted_wav_gives_the_command_lines_image(self):
        # The page converts through the command line's pipeline and resampler, its plain engine on both builds: the
        # images are the same, byte for byte. Uncompressed, the image holds the values themselves.
        for sound in ('cd.wav', 'wide.wav'):  # mono at 44100 Hz, stereo at 22050 Hz, to cry 3's 10512 Hz
            self.load()
            rom = self.open_rom('game.gba')
            self.offer(3, sound, 'uncompressed')
            self.says('10512 Hz')
            images = {'page': self.apply_and_download(rom)}
            images['cli'] = os.path.join(self.tmp, 'cli.gba')
            shutil.copy(rom, images['cli'])
            cli('encode', images['cli'], os.path.join(self.data, sound), 3, '--kind', 'uncompressed', '--repoint-free')
            images['cli'] = read(images['cli'])
            dumps = {}
            for side, image in images.items():
                path = os.path.join(self.tmp, f'{side}.gba')
                with open(path, 'wb') as f:
                    f.write(image)
                cli('dump', path, 3, '-o', path + '.wav')
                dumps[side] = read(path + '.wav')
            self.assertEqual(dumps['page'][:WAV_HEADER_SIZE], dumps['cli'][:WAV_HEADER_SIZE], sound)
            entry = json.loads(cli('identify', rom, '--json'))['table'] + ENTRY_SIZE * 2
            values = le32(images['cli'], entry + POINTER_OFS) - ROM_BASE + SAMPLE_HEADER_SIZE
            differ = [i for i, (a, b) in enumerate(zip(images['page'], images['cli'])) if a != b]
            self.assertTrue(all(values <= i < values + len(dumps['cli']) - WAV_HEADER_SIZE for i in differ), sound)
            steps = [abs(a - b) for a, b in zip(dumps['page'][WAV_HEADER_SIZE:], dumps['cli'][WAV_HEADER_SIZE:])]
            self.assertEqual(sum(map(bool, steps)), 0, sound)
            self.assertEqual(images['page'], images['cli'], sound)

    def pack_folder(self):
        """Four cries named as dump-all names its files, and a file named for none: the folder and its files."""
        pack = os.path.join(self.tmp, 'pack')
        os.makedirs(pack, exist_ok=True)
        for name, sound in (('cry-003.wav', 'cd.wav'), ('cry-004.wav', 'hifi.wav'), ('cry-025.wav', 'wide.wav'),
                            ('cry-030.wav', 'long.wav')):
            shutil.copy(os.path.join(self.data, sound), os.path.join(pack, name))
        with open(os.path.join(pack, 'notes.txt'), 'w') as f:
            f.write('not a cry')
        return pack, sorted(os.path.join(pack, n) for n in os.listdir(pack))

    def test_pack_is_the_command_lines_import_and_one_edit(self):
        # Files dropped or chosen together are matched by the names dump-all gives them and planned as import
        # plans a folder: the image is the command line's, byte for byte, in the games' layout and a hack's.
        pack, files = self.pack_folder()
        stray = os.path.join(self.tmp, 'cry-999.wav')  # an ID with no cry of its own refuses the pack
        shutil.copy(os.path.join(self.data, 'short.wav'), stray)
        for image, loudness in (('game.gba', []), ('hack.gba', ['--match-loudness'])):
            self.load()
            rom = self.open_rom(image)
            self.find('#pack-files').send_keys('\n'.join(files + [stray]))
            self.says(self.words('packRefused', 1))
            self.assertFalse(self.find('#pack-apply').is_enabled())
            self.find('#pack-files').send_keys('\n'.join(files))
            self.says(self.words('packPlanned', 4))
            self.assertIn('notes.txt', self.find('#pack-summary').text)
            if loudness:  # planned again, each cry at the median loudness of the others
                self.find('#pack-loudness').click()
                self.wait(lambda d: ' dB' in self.find('#pack-summary').text)
            self.find('#pack-apply').click()
            self.says(self.words('packApplied', 4))
            self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, '#history li')), 1)
            expected = os.path.join(self.tmp, 'cli-' + image)
            shutil.copy(rom, expected)
            cli('import', expected, pack, *loudness)
            self.assertEqual(self.download_rom(rom), read(expected), image)
            # One edit, undone at once.
            self.find('#undo').click()
            self.wait(lambda d: not self.find('#download-rom').is_enabled())

    def test_fitted_pack_is_import_fit(self):
        # With the fit ticked the page chooses each cry's rate as import --fit does, from the same budget and
        # lowest rate: the rates shown and the image are the command line's, in the games' layout and a hack's.
        # A budget even the lowest rates exceed refuses the pack with the bytes missing; a lowest rate above
        # the mixer's is refused before anything is planned. Without the fit, a pack refused for want of room
        # says, as import does, that the fit would fit it and at what lowest rate.
        over = os.path.join(self.tmp, 'over')
        os.makedirs(over)
        shutil.copy(os.path.join(self.data, 'over.wav'), os.path.join(over, 'cry-005.wav'))
        rom = self.open_rom('full.gba')
        self.find('#pack-files').send_keys(os.path.join(over, 'cry-005.wav'))
        refusal = json.loads(subprocess.run([CLI, 'import', '--json', rom, over], capture_output=True, text=True).stdout)
        self.says(self.words('packFitWouldFit', refusal['fit_lowest_rate']))
        self.find('#pack-fit').click()
        self.says(self.words('packPlanned', 1))
        self.find('#pack-apply').click()
        self.says(self.words('packApplied', 1))
        written = os.path.join(self.tmp, 'cli-full.gba')
        shutil.copy(rom, written)
        cli('import', '--fit', written, over)
        self.assertEqual(self.download_rom(rom), read(written))
        pack, files = self.pack_folder()
        for image, budget, options in (('game.gba', 4000, []),
                                       ('hack.gba', 4500, ['--match-loudness', '--min-rate', 7000]),
                                       ('hack.gba', 3000, [])):
            self.load()
            rom = self.open_rom(image)
            self.find('#pack-files').send_keys('\n'.join(files))
            self.says(self.words('packPlanned', 4))
            if '--match-loudness' in options:
                self.find('#pack-loudness').click()
            if '--min-rate' in options:
                self.find('#pack-min-rate').clear()
                self.find('#pack-min-rate').send_keys(str(options[-1]))
            self.find('#pack-budget').send_keys(str(budget))
            self.find('#pack-fit').click()
            asked = ['--fit', '--budget', budget, *options]
            run = subprocess.run([CLI, 'import', '--json', '--dry-run', *map(str, asked), rom, pack],
                                 capture_output=True, text=True)
            expected = json.loads(run.stdout)
            if run.returncode:
                self.says(self.words('packNoFit', expected['missing_bytes']))
                self.assertFalse(self.find('#pack-apply').is_enabled())
                self.find('#pack-min-rate').clear()
                self.find('#pack-min-rate').send_keys('20000\t')
                self.says(self.words('packBadMinRate', 1000, 13379))
                continue
            fit = expected['fit']
            self.wait(lambda d: self.words('packFitted', fit['lowest_rate'], fit['median_rate'], fit['bytes'])
                      in self.find('#pack-summary').text)
            shown = [row.text for row in self.driver.find_elements(By.CSS_SELECTOR, '#pack-rows tr')]
            self.assertEqual([f"{c['rate']} Hz" in text for c, text in zip(expected['plan']['cries'], shown)], [True] * 4)
            self.find('#pack-apply').click()
            self.says(self.words('packApplied', 4))
            written = os.path.join(self.tmp, 'cli-' + image)
            shutil.copy(rom, written)
            cli('import', *asked, written, pack)
            self.assertEqual(self.download_rom(rom), read(written), image)

    def test_long_sound_goes_to_free_space_and_undo_restores(self):
        rom = self.open_rom('game.gba')
        original = read(rom)
        self.offer(7, 'long.wav')
        edited = self.apply_and_download(rom)
        self.find('#download-patch').click()
        self.downloaded('game.bps')
        self.assertEqual(apply_patch(rom, os.path.join(self.downloads, 'game.bps')), edited)
        identity = json.loads(cli('identify', rom, '--json'))
        sample = read(os.path.join(self.data, 'long.sample'))
        pointers = [table + ENTRY_SIZE * 6 + POINTER_OFS for table in (identity['table'], identity['reverse_table'])]
        new = le32(edited, pointers[0]) - ROM_BASE
        self.assertEqual(le32(edited, pointers[1]) - ROM_BASE, new)
        self.assertGreaterEqual(new, len(original) - original[::-1].index(next(b for b in original[::-1] if b != 0xFF)))
        self.assertEqual(edited[new:new + len(sample)], sample)
        changed = [i for i in range(len(original)) if original[i] != edited[i]]
        allowed = set(range(new, new + len(sample))) | {p + k for p in pointers for k in range(4)}
        self.assertTrue(set(changed) <= allowed)
        decoded_path = os.path.join(self.tmp, 'edited.gba')
        with open(decoded_path, 'wb') as f:
            f.write(edited)
        cli('dump', decoded_path, 7, '-o', os.path.join(self.tmp, 'cry7.wav'))
        self.assertEqual(read(os.path.join(self.tmp, 'cry7.wav')), read(os.path.join(self.data, 'long-decoded.wav')))

        self.find('#undo').click()
        self.wait_edits(0)
        self.assertEqual(self.image(), original)
        self.assertFalse(self.find('#download-rom').is_enabled())
        self.find('#redo').click()
        self.wait_edits(1)
        self.assertEqual(self.image(), edited)
        # The list keeps its place through an edit and its undoing: the edited row stays in view.
        in_view = """const tr = document.querySelector('#cries tbody tr.selected'), list = document.querySelector('#list');
            const r = tr.getBoundingClientRect(), l = list.getBoundingClientRect();
            return r.top >= l.top && r.bottom <= l.bottom && list.scrollTop > 0;"""
        for _ in self.views():
            self.open_rom('game.gba')
            self.offer(300, 'long.wav')
            self.assertTrue(self.driver.execute_script(in_view))
            self.rows_shown(self.find('#apply').click)
            self.wait_edits(1)
            self.wait(lambda d: d.execute_script(in_view))
            self.rows_shown(self.find('#undo').click)
            self.wait_edits(0)
            self.wait(lambda d: d.execute_script(in_view))

    def test_refused_edit_keeps_the_image_and_says_why(self):
        rom = self.open_rom('full.gba')
        self.offer(7, 'long.wav')
        self.says("pas d'espace libre")
        self.assertFalse(self.find('#apply').is_enabled())
        self.assertFalse(self.find('#download-rom').is_enabled())
        # A table offset that holds no table is refused in words, the image kept.
        self.find('#table-input').send_keys('1002', Keys.ENTER)
        self.says('Position invalide!')
        self.assertEqual(self.image(), read(rom))
        # With two cry tables in use, a sound is planned into neither: why stands beside the button.
        for _ in self.views():
            rom = self.open_rom('twice.gba')
            self.offer(7, 'short.wav')
            tables = self.driver.execute_script('return tableInfo().competing_tables')
            self.assertEqual(len(tables), 2)
            why = self.find('#apply-why')
            self.assertFalse(self.find('#apply').is_enabled())
            self.assertTrue(why.is_displayed())
            self.assertIn(f'0x{tables[1]:X}', why.text)
            self.assertEqual(self.find('#apply').get_attribute('aria-describedby'), 'apply-why')
            self.assertIn(why.text, self.find('#placement').text)
            # Named, the table takes the edit.
            self.find('#table-input').send_keys(f'{tables[0]:X}', Keys.ENTER)
            # Once read again (the rows, the selection and the status after them), the sound is offered.
            self.wait(lambda d: d.execute_script("return tableInfo().table === arguments[0] && "
                                                 "shownStatus().key === 'opened'", tables[0]))
            self.find('#audio-file').send_keys(os.path.join(self.data, 'short.wav'))
            self.wait(lambda d: self.find('#apply').is_enabled())
            self.assertFalse(why.is_displayed())
            self.assertEqual(self.image(), read(rom))

    def test_out_of_phase_stereo_warns_and_conditioning_gives_the_command_lines_sound(self):
        rom = self.open_rom('game.gba')
        self.offer(3, 'phase.wav')
        self.assertIn('opposition de phase', self.find('#warnings').text)
        values = 'return [...candidate().newValues]'
        self.assertEqual(set(self.driver.execute_script(values)), {128})
        # Set from the keyboard; each change conditions the sound again, the last one counts.
        for box in ('#dc-remove', '#trim', '#normalize'):
            self.find(box).send_keys(Keys.SPACE)
        self.find('#channel').send_keys('Gauche')
        # phase.wav is at the cry's rate: nothing is resampled, so the core alone conditions it. The last
        # conditioning's candidate comes in its own time.
        preview = os.path.join(self.tmp, 'phase-preview.wav')
        cli('encode', rom, os.path.join(self.data, 'phase.wav'), 3, '--channel', 'left', '--dc-remove', '--trim',
            '--normalize', '--repoint-free', '--dry-run', '--preview', preview)
        expected = list(read(preview)[44:])
        self.wait(lambda d: d.execute_script('return candidate() && [...candidate().newValues]') == expected)
        self.assertNotIn('opposition', self.find('#warnings').text)

    def test_play_keyboard_and_conversion(self):
        self.open_rom('game.gba')
        self.driver.execute_script("""window.statuses = [];
            new MutationObserver(() => statuses.push(document.querySelector('#status').textContent))
              .observe(document.querySelector('#status'), {childList: true, characterData: true, subtree: true});""")
        self.row(1).find_element(By.CSS_SELECTOR, 'button.play').click()
        self.says(self.words('played', 1, 1))  # once it has played out, the status says so
        self.assertIn('Lecture du cri 1.', self.driver.execute_script('return statuses'))
        self.driver.execute_script("document.querySelector('#cries tbody tr[data-id=\"3\"]').focus()")
        self.driver.switch_to.active_element.send_keys(Keys.ENTER)
        self.wait(lambda d: self.find('#selected-title').text == 'Cri 3')
        self.find('#audio-file').send_keys(os.path.join(self.data, 'wide.wav'))
        self.wait(lambda d: self.find('#placement').text)
        self.says('10512 Hz')
        self.assertIn('dB', self.find('#snr').text)
        # A rate typed in converts the sound again to that rate, which the new sample declares.
        self.find('#rate').send_keys('22050', Keys.TAB)
        self.wait(lambda d: '22050 Hz' in self.status())
        header = self.driver.execute_script('return [...candidate().sample.slice(0, 8)]')
        self.assertEqual(le32(bytes(header), SAMPLE_RATE_OFS), 22050 * 1024)
        # The field and its message take the rates a game plays from the core.
        limits = self.driver.execute_async_script('core().rateLimits().then(arguments[0])')
        self.assertEqual(limits, {'min_rate': 1000, 'max_rate': 65535, 'fit_min_rate': 6000, 'fit_max_rate': 13379})
        self.assertEqual([self.find('#rate').get_attribute(a) for a in ('min', 'max')], ['1000', '65535'])
        self.assertEqual([self.find('#pack-min-rate').get_attribute(a) for a in ('min', 'max', 'value')],
                         ['1000', '13379', '6000'])
        for rate in (limits['min_rate'] - 1, limits['max_rate'] + 1):
            self.find('#rate').clear()
            self.find('#rate').send_keys(str(rate), Keys.TAB)
            self.says(self.words('badRate', 1000, 65535))
            self.assertIn('1000', self.status())
        self.find('#rate').clear()
        self.find('#rate').send_keys('22050', Keys.TAB)
        self.wait(lambda d: '22050 Hz' in self.status())
        # Every text has its words in both languages.
        for language in ('fr', 'en'):
            texts = self.driver.execute_script(
                "return [...document.querySelectorAll('[data-t], #cries button, #status')].map(e => e.textContent)")
            self.assertFalse([x for x in texts if not x or 'undefined' in x], language)
            self.find('#language').click()
        errors = [e for e in self.driver.get_log('browser') if e['level'] == 'SEVERE']
        self.assertEqual(errors, [])
        if os.environ.get('BREVOX_WEB_SCREENSHOT'):
            self.driver.set_window_size(1400, 1000)
            self.driver.execute_script('window.scrollTo(0, 0)')
            self.driver.save_screenshot(os.environ['BREVOX_WEB_SCREENSHOT'])

    def test_nothing_is_lost_without_a_question(self):
        for _ in self.views():
            rom = self.open_rom('game.gba')
            self.offer(5, 'short.wav')
            self.find('#apply').click()
            self.wait_edits(1)
            edited = self.image()
            # A sound dropped on the list goes to the selected cry; dropped on the image's zone, it is refused.
            self.row(3).click()
            self.drop('#cries tbody tr[data-id="40"]', 'short.wav')
            self.wait(lambda d: self.find('#placement').text)
            self.assertEqual(self.find('#selected-title').text, self.words('selected', 3))
            self.drop('#rom-drop', 'same8.wav', read(os.path.join(self.data, 'short.wav')))
            self.assertEqual(self.status(), self.words('soundAsImage', 'same8.wav'))
            # A file that is no image is refused, and the image open before stays with its edits.
            for name, data in (('pic.png', b'\x89PNG\r\n\x1a\n' + bytes(4000)), ('game.gba', b'')):
                self.drop('#rom-drop', name, data)
                self.wait(lambda d: 'error' == self.find('#status').get_attribute('class'))
                self.assertEqual(self.image(), edited)
                self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, '#history li')), 1)
            self.drop('header', 'game.gba')
            self.assertEqual(self.status(), self.words('dropWhere'))
            # Opening another image or leaving asks first while the edit is not downloaded.
            unload = """const e = new Event('beforeunload', {cancelable: true});
                        window.dispatchEvent(e); return e.defaultPrevented;"""
            self.assertTrue(self.driver.execute_script(unload))
            self.driver.execute_script('window.confirm = () => false')
            self.find('#rom-file').send_keys(os.path.join(self.data, 'hack.gba'))
            self.wait(lambda d: self.status() == self.words('discardDeclined', 'hack.gba'))
            self.assertEqual(self.image(), edited)
            self.find('#download-rom').click()
            self.assertIn('game-brevox.gba', self.status())
            self.assertFalse(self.driver.execute_script(unload))
            self.assertEqual(self.downloaded('game-brevox.gba'), edited)
            os.remove(os.path.join(self.downloads, 'game-brevox.gba'))
            self.find('#rom-file').send_keys(os.path.join(self.data, 'hack.gba'))
            self.wait(lambda d: 'hack.gba' in self.status())
            self.assertFalse(self.driver.find_elements(By.CSS_SELECTOR, '#history li'))
            self.assertFalse(self.find('#download-rom').is_enabled())
            self.assertEqual(read(rom), read(os.path.join(self.data, 'game.gba')))

    def test_a_cut_table_warns_and_the_entry_count_replans_the_edits(self):
        for _ in self.views():
            rom = os.path.join(self.data, 'cut.gba')
            self.find('#rom-file').send_keys(rom)
            self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, '#cries tbody tr'))
            listed = json.loads(cli('list', rom, '--json'))
            stop = listed['table_stop']
            self.assertEqual(self.find('#status').get_attribute('class'), 'warning')
            self.assertEqual(self.find('#table-stop').text, self.words('tableStop', {**stop, 'games': 388}))
            self.assertIn(f"0x{stop['at']:X}", self.find('#table-stop').text)
            self.rows_shown(self.find('#use-entries').click)
            self.wait(lambda d: self.find('#table-warning').get_attribute('hidden'))
            full = json.loads(cli('list', rom, '--json', '--entries', stop['index'] + 1 + stop['resumes']))
            self.assertEqual(self.find('#table-entries').text, str(full['entries_in_table']))
            self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, '#cries tbody tr')), len(full['entries']))
            # An edit past the entries a smaller count keeps is named and dropped, the others kept where they were.
            self.offer(3, 'short.wav')
            self.find('#apply').click()
            self.wait_edits(1)
            self.offer(7, 'short.wav')
            self.find('#apply').click()
            self.wait_edits(2)
            entries = self.find('#entries')
            entries.clear()
            entries.send_keys('4', Keys.ENTER)
            self.wait_edits(1)
            self.assertEqual(self.find('#status').get_attribute('class'), 'warning')
            self.assertIn(self.words('selected', 7), self.status())
            self.assertEqual(self.image(), self.cli_encode(rom, (3, 'short.wav')))

    def test_a_failed_conditioning_or_placement_leaves_nothing_to_apply_and_offers_what_fits(self):
        for _ in self.views():
            rom = self.open_rom('full.gba')
            self.offer(7, 'long.wav')
            self.assertFalse(self.find('#apply').is_enabled())
            fit = self.driver.execute_script('return candidate().fit')
            self.assertEqual(self.find('#fit-text').text, self.words('fits', fit['seconds'], fit['bytes']))
            # A lower rate is offered only where one a game plays would make it fit: not 0.38 s into 81 bytes.
            self.assertIsNone(fit['rate'])
            self.assertFalse(self.find('#lower-rate').is_displayed())
            self.find('#cut-fit').click()
            self.wait(lambda d: self.find('#apply').is_enabled())
            # Cut to what fits: the command line given the same first values makes the same image.
            cut = os.path.join(self.tmp, 'cut.wav')
            sound = read(os.path.join(self.data, 'long.wav'))
            data = sound[44:44 + fit['values']]
            with open(cut, 'wb') as f:
                f.write(sound[:4] + (36 + len(data)).to_bytes(4, 'little') + sound[8:40] + len(data).to_bytes(4, 'little') + data)
            self.find('#apply').click()
            self.wait_edits(1)
            self.assertEqual(self.image(), self.cli_encode(rom, (7, cut)))
            # A conditioning that fails takes the candidate away with it.
            self.offer(5, 'short.wav')
            self.wait(lambda d: self.find('#apply').is_enabled())
            self.find('#trim-db').clear()
            self.find('#trim-db').send_keys('5')  # above 0 dB: no threshold
            self.find('#trim').send_keys(Keys.SPACE)
            self.wait(lambda d: not self.find('#apply').is_enabled())
            self.assertEqual(self.status(), self.words('badDb'))
            self.assertFalse(self.find('#candidate').is_displayed())
            self.find('#trim').send_keys(Keys.SPACE)
            # A sound longer than any sample of its kind holds is offered the same: cut to what the kind
            # holds, or a lower rate.
            most = next(k['max_values'] for k in self.driver.execute_async_script(
                'core().kinds().then(k => arguments[0](JSON.parse(k)))') if k['name'] == 'compressed')
            longest = os.path.join(self.tmp, 'longest.wav')
            values = bytes(128 + round(60 * math.sin(i * 0.3)) for i in range(most + 5000))
            with open(longest, 'wb') as f:
                f.write(wav_header(len(values), 10512) + values)
            for button in ('#cut-fit', '#lower-rate'):
                self.find('#audio-file').send_keys(longest)
                self.says(self.words('tooLong', most + 5000, most))
                self.assertEqual(self.find('#fit-text').text, self.words('holds', most / 10512, most))
                rate = (10512 * (most - 1)) // (most + 5000)
                self.assertEqual(self.find('#lower-rate').text, self.words('lowerTo', rate))
                self.find(button).click()
                self.wait(lambda d: d.execute_script('return candidate() !== null'))
                made = self.driver.execute_script('return [candidate().newValues.length, candidate().target.rate]')
                self.assertEqual(made, [most, 10512] if button == '#cut-fit' else [made[0], rate])
                self.assertLessEqual(made[0], most)
                self.find('#rate').clear()

    def test_before_and_after_on_one_time_scale_and_one_sound_at_a_time(self):
        for language in self.views():
            rom = self.open_rom('game.gba')
            self.offer(3, 'phase.wav')  # out of phase: the mix is silence
            self.assertEqual(self.find('#snr').text, self.words('silence'))
            self.offer(7, 'long.wav')
            c = self.driver.execute_script("""const c = candidate();
                return {old: selectedRow().sample.seconds, next: c.newValues.length / c.target.rate,
                        free: c.plan.free_left, bytes: c.sample.length};""")
            # Each waveform ends where its duration falls on the shared scale.
            # (the last column holding a pixel of the wave's colour: blue for the old, orange for the new)
            ends = self.driver.execute_script("""return ['#wave', '#new-wave'].map(id => {
                const c = document.querySelector(id), px = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
                const wave = i => (px[i + 2] > 150 && px[i] < 120) || (px[i] > 150 && px[i + 2] < 60);
                let last = 0;
                for (let x = 0; x < c.width; x++)
                  for (let y = 0; y < c.height; y++) if (wave(4 * (y * c.width + x))) last = x;
                return (last + 1) / c.width; });""")
            longest = max(c['old'], c['next'])
            self.assertAlmostEqual(ends[0], c['old'] / longest, delta=0.02)
            self.assertAlmostEqual(ends[1], c['next'] / longest, delta=0.02)
            self.assertEqual([td.text for td in self.driver.find_elements(By.CSS_SELECTOR, '#compare-bytes td')][1],
                             str(c['bytes']))
            self.assertEqual(self.find('#free-after').text, self.words('bytesCount', c['free']))
            # Three presses, one sound; Stop (and Escape) ends it.
            # The context held still, so that nothing ends on its own while it is looked at.
            self.driver.execute_script("""window.sounding = 0;
                audioContext().suspend();
                const start = AudioBufferSourceNode.prototype.start, stop = AudioBufferSourceNode.prototype.stop;
                AudioBufferSourceNode.prototype.start = function (...a) { sounding++; return start.apply(this, a); };
                AudioBufferSourceNode.prototype.stop = function (...a) { sounding--; return stop.apply(this, a); };""")
            for _ in range(3):
                self.find('#play-selected').click()
            self.wait(lambda d: d.execute_script('return playing() !== null'))
            self.assertEqual(self.driver.execute_script('return sounding'), 1)
            self.assertTrue(self.find('#wave + .playhead').is_displayed())
            self.find('#stop').click()
            self.assertEqual(self.driver.execute_script('return sounding'), 0)
            self.assertFalse(self.find('#stop').is_enabled())
            self.assertEqual(self.status(), self.words('playStopped', 7, 7))
            self.find('#play-selected').click()
            self.says(self.words('playing', 7, 7))
            self.driver.switch_to.active_element.send_keys(Keys.ESCAPE)
            self.says(self.words('playStopped', 7, 7))
            self.modes_play_as_the_command_line_renders(rom, language)

    def test_history_reverts_any_edit_and_undo_redo_by_keyboard(self):
        for _ in self.views():
            rom = self.open_rom('game.gba')
            for n, (cry, sound) in enumerate(((5, 'short.wav'), (7, 'long.wav'), (5, 'short.wav'))):
                self.offer(cry, sound)
                self.find('#apply').click()
                self.wait_edits(n + 1)
            both = self.cli_encode(rom, (5, 'short.wav'), (7, 'long.wav', '--repoint-free'))
            self.assertEqual(self.image(), both)
            # The first edit of cry 5 reverted: a later one of the same cry stays, and says so.
            self.find('#history li:first-child button.revert').click()
            self.wait_edits(2)
            self.assertEqual(self.status(), self.words('revertedHidden', self.words('selected', 5), 1))
            self.find('#history li:first-child button.revert').click()  # cry 7's
            self.wait_edits(1)
            self.assertEqual(self.image(), self.cli_encode(rom, (5, 'short.wav')))
            body = self.find('body')
            body.send_keys(Keys.CONTROL, 'z')
            self.wait_edits(0)
            self.assertEqual(self.image(), read(rom))
            body.send_keys(Keys.CONTROL, 'y')
            self.wait_edits(1)
            body.send_keys(Keys.CONTROL, Keys.SHIFT, 'z')
            self.wait_edits(2)
            self.assertEqual(self.image(), both)

    def test_keyboard_accessibility_language_and_layout(self):
        with open(os.path.join(AXE, 'node_modules', 'axe-core', 'axe.min.js')) as f:
            axe = f.read()
        for language in self.views():
            self.open_rom('game.gba')
            width = self.driver.execute_script('return document.documentElement.clientWidth')
            # The list is one tab stop: a few presses from the top reach the download button.
            self.offer(5, 'short.wav')
            self.find('#apply').click()
            self.wait_edits(1)
            self.driver.execute_script('document.activeElement.blur(); window.scrollTo(0, 0)')
            presses = 0
            body = self.find('body')
            while self.driver.switch_to.active_element.get_attribute('id') != 'download-rom' and presses < 80:
                # To the focused element as a keyboard would: a file field takes send_keys as a path.
                if presses:
                    ActionChains(self.driver).send_keys(Keys.TAB).perform()
                else:
                    body.send_keys(Keys.TAB)
                presses += 1
            self.assertLess(presses, 60)
            # Arrows, Home/End, pages and digits move the selection.
            self.row(1).click()
            for key, cry in ((Keys.ARROW_DOWN, '2'), (Keys.END, None), (Keys.HOME, '1'), ('2', '2'), ('5', '25')):
                self.driver.switch_to.active_element.send_keys(key)
                self.wait(lambda d: self.find('#cries tbody tr.selected') == self.driver.switch_to.active_element)
                if cry:
                    self.assertEqual(self.driver.switch_to.active_element.get_attribute('data-id'), cry)
            self.driver.switch_to.active_element.send_keys(Keys.PAGE_UP)
            self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, '#cries tbody tr[tabindex="0"]')), 1)
            self.assertIn('Ctrl+Z', self.find('#undo').get_attribute('title'))
            # An audit of the page with a sound planned: nothing serious or critical.
            self.offer(7, 'long.wav')
            self.driver.execute_script(axe)
            # The audit walks the whole page: on a loaded machine it takes longer than a script's default 30 s.
            self.driver.set_script_timeout(180)
            found = self.driver.execute_async_script("""const done = arguments[0];
                axe.run(document, {resultTypes: ['violations']}).then(r => done(r.violations
                  .filter(v => v.impact === 'serious' || v.impact === 'critical')
                  .map(v => v.id + ': ' + v.nodes.map(n => n.target.join(' ')).slice(0, 3).join(', '))));""")
            self.assertEqual(found, [], language)
            # Layout: nothing cut off, no sideways scroll; the warnings and Encode seen together.
            self.assertLessEqual(self.driver.execute_script('return document.documentElement.scrollWidth'), width)
            self.assertLessEqual(self.driver.execute_script("return document.querySelector('#detail').getBoundingClientRect().right"), width)
            self.assertEqual(*self.driver.execute_script(
                "const l = document.querySelector('#list'); return [l.scrollWidth, l.clientWidth]"))
            # Beside the list, the pane shows the warnings and Encode without scrolling; below it, once scrolled to.
            if width < 1200:
                self.driver.execute_script("document.querySelector('#apply').scrollIntoView({block: 'end'})")
            seen = self.driver.execute_script("""return ['#placement', '#apply'].map(id => {
                const r = document.querySelector(id).getBoundingClientRect();
                return r.top >= 0 && r.bottom <= window.innerHeight + 1; });""")
            self.assertEqual(seen, [True, True])
            # The language switch re-words everything at once, the status line included, release labels kept.
            status = self.status()
            self.find('#language').click()
            self.assertNotEqual(self.status(), status)
            self.assertEqual(self.status(), self.words(*self.driver.execute_script('return [shownStatus().key, ...shownStatus().args]')))
            text = self.find('body').text
            for jargon in ('OffsetTable', 'OffsetSample', 'Dumper', 'brevox-species', 'undefined', '∞'):
                self.assertNotIn(jargon, text)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1] + ARGS[2:], verbosity=2)
