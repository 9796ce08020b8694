#!/usr/bin/python3
"""The browser page driven in headless chromium, checked against brevox-cli.

    tests/web/test_page.py [BUILD [SITE]]

BUILD holds brevox-cli and brevox-web-images (default build/default), SITE the
page as scripts/web.sh builds it (default build/web/site). With
BREVOX_WEB_SCREENSHOT=PATH the page with a ROM open is saved there.
"""
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
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


def le32(data, at):
    return int.from_bytes(data[at:at + 4], 'little')


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run([os.path.join(BPS, 'install.sh'), APPLIER], check=True)
        cls.tmp = tempfile.mkdtemp(prefix='brevox-web-')
        cls.data = os.path.join(cls.tmp, 'data')
        os.mkdir(cls.data)
        subprocess.run([os.path.join(BUILD, 'tests', 'web', 'brevox-web-images'), cls.data], check=True)
        cls.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), functools.partial(QuietHandler, directory=SITE))
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                     '--window-size=1400,900'):
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
        self.downloads = tempfile.mkdtemp(dir=self.tmp)
        self.driver.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': self.downloads})
        self.load()

    def load(self):
        self.driver.get(f'http://127.0.0.1:{self.server.server_port}/')
        self.wait(lambda d: d.execute_script('return document.body.dataset.ready'))

    def wait(self, condition, timeout=20):
        return WebDriverWait(self.driver, timeout).until(condition)

    def find(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def status(self):
        return self.find('#status').text

    def open_rom(self, name):
        self.find('#rom-file').send_keys(os.path.join(self.data, name))
        self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, '#cries tbody tr[data-id]'))
        return os.path.join(self.data, name)

    def row(self, cry):
        return self.find(f'#cries tbody tr[data-id="{cry}"]')

    def offer(self, cry, sound, kind=None):
        """Selects the cry, gives it a sound (as a sample of `kind`) and waits for the plan."""
        self.row(cry).click()
        if kind:
            Select(self.find('#kind')).select_by_value(kind)
        self.find('#audio-file').send_keys(os.path.join(self.data, sound))
        self.wait(lambda d: self.find('#placement').text)

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
        self.wait(lambda d: d.find_elements(By.CSS_SELECTOR, '#edits li') and not self.find('#undo').get_property('disabled'))
        return self.download_rom(rom)

    def test_rows_match_the_command_line_under_both_rules(self):
        rom = self.open_rom('hack.gba')  # the games' layout, some cries uncompressed
        identity = json.loads(cli('identify', rom, '--json'))
        self.assertEqual(self.find('#release').text, identity['label'])
        self.assertEqual(self.find('#table-offset').text, f"0x{identity['table']:X}")
        self.assertEqual(self.find('#table-pointers').text, ', '.join(f'0x{p:X}' for p in identity['table_pointers']))
        kinds = self.driver.execute_script('return TEXTS.fr')
        for rule in ([], ['--species']):
            if rule:
                self.find('#species').click()
            listed = json.loads(cli('list', rom, '--json', *rule))
            shown = self.driver.execute_script("""
                return [...document.querySelectorAll('#cries tbody tr')].map(tr => ({
                    id: tr.dataset.id === undefined ? null : Number(tr.dataset.id),
                    index: Number(tr.dataset.index), cells: [...tr.cells].map(td => td.textContent)}));""")
            expected = {(e['id'], e['index']): e['sample'] for e in listed['entries']}
            for row in shown:
                sample = expected[(row['id'], row['index'])]
                self.assertEqual(row['cells'][2:4] + row['cells'][5:7],
                                 [f"0x{sample['offset']:X}", str(sample['length']), str(sample['bytes']),
                                  kinds[sample['kind']]], row)
            # Every ID whose entry lies in the table has its row, and every entry one row at least.
            in_table = {e['id'] for e in listed['entries'] if e['id'] is not None and e['index'] < 388}
            self.assertEqual({r['id'] for r in shown if r['id'] is not None}, in_table, rule)
            self.assertEqual({r['index'] for r in shown}, set(range(388)), rule)

    def test_dump_gives_the_command_lines_wav(self):
        rom = self.open_rom('hack.gba')
        for cry in (4, 25):  # uncompressed at 22050 Hz; compressed
            self.row(cry).find_element(By.CSS_SELECTOR, 'button.dump').click()
            expected = os.path.join(self.tmp, f'cry{cry}.wav')
            cli('dump', rom, cry, '-o', expected)
            self.assertEqual(self.downloaded(f'cry-{cry:03d}.wav'), read(expected))

    def test_species_dump_is_named_for_import_and_puts_back_the_same_bytes(self):
        rom = self.open_rom('hack.gba')
        self.find('#species').click()
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
        # The page resamples with the command line's library, so a sample differs only by floating-point rounding:
        # a step at most, in its values alone. Uncompressed, the image holds the values themselves.
        for sound in ('cd.wav', 'wide.wav'):  # mono at 44100 Hz, stereo at 22050 Hz, to cry 3's 10512 Hz
            self.load()
            rom = self.open_rom('game.gba')
            self.offer(3, sound, 'uncompressed')
            self.assertIn('10512 Hz', self.status())
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
            self.assertLessEqual(max(steps), 1, sound)
            print(f'\n  {sound}: {sum(map(bool, steps))} of {len(steps)} values a step apart', end=' ', file=sys.stderr)

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

        os.remove(os.path.join(self.downloads, 'game-brevox.gba'))
        self.find('#undo').click()
        self.assertEqual(self.download_rom(rom), original)

    def test_refused_edit_keeps_the_image_and_says_why(self):
        rom = self.open_rom('full.gba')
        self.offer(7, 'long.wav')
        self.find('#apply').click()
        self.assertIn("pas d'espace libre", self.status())
        self.assertEqual(self.download_rom(rom), read(rom))
        self.assertIn('full-brevox.gba', self.status())
        # A table offset that holds no table is refused in words, the image kept.
        self.find('#table-input').send_keys('1002', Keys.ENTER)
        self.assertIn('Offset invalide!', self.status())
        os.remove(os.path.join(self.downloads, 'full-brevox.gba'))
        self.assertEqual(self.download_rom(rom), read(rom))

    def test_out_of_phase_stereo_warns_and_conditioning_gives_the_command_lines_sound(self):
        rom = self.open_rom('game.gba')
        self.offer(3, 'phase.wav')
        self.assertIn('opposition de phase', self.find('#warnings').text)
        values = 'return [...state.candidate.newValues]'
        self.assertEqual(set(self.driver.execute_script(values)), {128})
        # Set from the keyboard; each change conditions the sound again, the last one counts.
        for box in ('#dc-remove', '#trim', '#normalize'):
            self.find(box).send_keys(Keys.SPACE)
        self.find('#channel').send_keys('Gauche')
        self.wait(lambda d: 'opposition' not in self.find('#warnings').text)
        # phase.wav is at the cry's rate: nothing is resampled, so the core alone conditions it.
        preview = os.path.join(self.tmp, 'phase-preview.wav')
        cli('encode', rom, os.path.join(self.data, 'phase.wav'), 3, '--channel', 'left', '--dc-remove', '--trim',
            '--normalize', '--repoint-free', '--dry-run', '--preview', preview)
        self.assertEqual(bytes(self.driver.execute_script(values)), read(preview)[44:])

    def test_play_keyboard_and_conversion(self):
        self.open_rom('game.gba')
        self.row(1).find_element(By.CSS_SELECTOR, 'button.play').click()
        self.assertIn('Lecture du cri 1', self.status())
        self.driver.execute_script("document.querySelector('#cries tbody tr[data-id=\"3\"]').focus()")
        self.driver.switch_to.active_element.send_keys(Keys.ENTER)
        self.assertEqual(self.find('#selected-title').text, 'Cri 3')
        self.find('#audio-file').send_keys(os.path.join(self.data, 'wide.wav'))
        self.wait(lambda d: self.find('#placement').text)
        self.assertIn('10512 Hz', self.status())
        self.assertIn('dB', self.find('#snr').text)
        # A rate typed in converts the sound again to that rate, which the new sample declares.
        self.find('#rate').send_keys('22050', Keys.TAB)
        self.wait(lambda d: '22050 Hz' in self.status())
        header = self.driver.execute_script('return [...state.candidate.sample.slice(0, 8)]')
        self.assertEqual(le32(bytes(header), SAMPLE_RATE_OFS), 22050 * 1024)
        # Every text has its words in both languages.
        for language in ('fr', 'en'):
            texts = self.driver.execute_script(
                "return [...document.querySelectorAll('[data-t], #cries button, #status')].map(e => e.textContent)")
            self.assertFalse([x for x in texts if not x or 'undefined' in x], language)
            self.find('#language').click()
        errors = [e for e in self.driver.get_log('browser') if e['level'] == 'SEVERE']
        self.assertEqual(errors, [])
        if os.environ.get('BREVOX_WEB_SCREENSHOT'):
            self.driver.save_screenshot(os.environ['BREVOX_WEB_SCREENSHOT'])


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
