#!/usr/bin/python3
"""How long the page takes to open a large image, how long it holds the main thread, and how soon it plays
a cry in each mode.

    tests/web/bench_open.py [BUILD [SITE]] [--runs N] [--file]

BUILD holds brevox-web-images and brevox-gen (default build/default), SITE the page as
scripts/web.sh builds it (default build/web/site). Two images are opened N times each
(default 3): game.gba (the games' layout) grown to 16 MiB, and brevox-gen's moved.gba
(its tables moved and extended) grown to 32 MiB. Both grow with pseudo-random bytes, as
a full image's code and graphics would be, which the table scan reads through. For each
open it prints the time from the file chosen (its change event) to the rows in the table,
and the longest main-thread task the browser reports ('longtask' entries, 50 ms or more).
With --file the page is opened from disk (file://) instead of served.

Then, on game.gba (the games' layout, with its free tail), a 2.8 s sound is encoded into cry 25 and given again as its new sound: for
each of the game's modes, N times, it prints the time from the click on Play (the cry) and on Play the new one
to the start of its sound (the AudioBufferSourceNode's start, once the engine has rendered it), and the
latency the audio output adds to that (the context's baseLatency and outputLatency).
"""
import argparse
import functools
import http.server
import math
import os
import random
import shutil
import statistics
import subprocess
import tempfile
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
MiB = 1 << 20

# Set before the file is chosen: the change event's time, the time the frame that first shows
# rows with an ID has been drawn (the start of the frame after it), and every long task from then on.
WATCH = """
window.bench = {start: null, shown: null, tasks: []};
document.addEventListener('change', e => { if (e.target.id === 'rom-file') bench.start = performance.now(); }, true);
const rows = new MutationObserver(() => {
  if (bench.start === null || !document.querySelector('#cries tbody tr[data-id]')) return;
  rows.disconnect();
  requestAnimationFrame(() => requestAnimationFrame(() => { bench.shown = performance.now(); }));
});
rows.observe(document.querySelector('#cries tbody'), {childList: true});
new PerformanceObserver(list => bench.tasks.push(...list.getEntries().map(e => [e.startTime, e.duration])))
  .observe({type: 'longtask'});
"""


# The time of each click on a play button, and of each sound's start after it.
WATCH_PLAY = """
window.plays = [];
let clicked = null;
document.addEventListener('click', e => { if (e.target.closest('#play-selected, #play-new')) clicked = performance.now(); },
                          true);
const start = AudioBufferSourceNode.prototype.start;
AudioBufferSourceNode.prototype.start = function (...a) {
  const r = start.apply(this, a);
  plays.push(performance.now() - clicked);
  return r;
};
"""
PLAY_CRY = 25
LONG_RATE, LONG_SECONDS = 10512, 2.8


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def grown(source, size, path, seed):
    with open(source, 'rb') as f:
        data = f.read()
    with open(path, 'wb') as f:
        f.write(data + random.Random(seed).randbytes(size - len(data)))
    return path


def images(build, folder):
    subprocess.run([os.path.join(build, 'tests', 'web', 'brevox-web-images'), folder], check=True)
    subprocess.run([os.path.join(build, 'tools', 'demo', 'brevox-gen'), 'hacks', folder], check=True,
                   stdout=subprocess.DEVNULL)
    return [('games\' layout, 16 MiB', grown(os.path.join(folder, 'game.gba'), 16 * MiB,
                                            os.path.join(folder, 'game16.gba'), 16)),
            ('moved table, 32 MiB', grown(os.path.join(folder, 'moved.gba'), 32 * MiB,
                                          os.path.join(folder, 'moved32.gba'), 32))]


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                 '--window-size=1400,900'):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


def open_once(driver, url, image):
    """Milliseconds from the file chosen to its rows shown, and the longest task meanwhile."""
    driver.get(url)
    WebDriverWait(driver, 30).until(lambda d: d.execute_script('return document.body.dataset.ready'))
    driver.execute_script(WATCH)
    driver.find_element('css selector', '#rom-file').send_keys(image)
    WebDriverWait(driver, 60).until(lambda d: d.execute_script('return bench.shown'))
    # Let the tasks that follow the rows (drawing, the status line) end and be reported.
    driver.execute_script('return new Promise(done => setTimeout(done, 500))')
    start, shown, tasks = driver.execute_script('return [bench.start, bench.shown, bench.tasks]')
    longest = max([duration for at, duration in tasks if at + duration >= start], default=0)
    return shown - start, longest


def long_sound(folder):
    """An 8-bit mono WAV of LONG_SECONDS at LONG_RATE: taken byte for byte, and cut by the normal mode."""
    n = int(LONG_RATE * LONG_SECONDS)
    values = bytes(128 + round(90 * math.sin(i * 0.07) * (1 - i / n)) for i in range(n))
    header = (b'RIFF' + (36 + n).to_bytes(4, 'little') + b'WAVEfmt ' + (16).to_bytes(4, 'little') +
              (1).to_bytes(2, 'little') + (1).to_bytes(2, 'little') + LONG_RATE.to_bytes(4, 'little') +
              LONG_RATE.to_bytes(4, 'little') + (1).to_bytes(2, 'little') + (8).to_bytes(2, 'little') + b'data' +
              n.to_bytes(4, 'little'))
    path = os.path.join(folder, 'long.wav')
    with open(path, 'wb') as f:
        f.write(header + values)
    return path


def play_modes(driver, url, image, sound, runs):
    """Per button, the milliseconds from each click to its sound's start, every mode `runs` times; the latency
    the output adds."""
    driver.get(url)
    wait = WebDriverWait(driver, 60)
    wait.until(lambda d: d.execute_script('return document.body.dataset.ready'))
    find = functools.partial(driver.find_element, 'css selector')
    find('#rom-file').send_keys(image)
    wait.until(lambda d: d.execute_script(f"return !!document.querySelector('#cries tbody tr[data-id=\"{PLAY_CRY}\"]')"))
    for step in ('apply', 'again'):
        row = find(f'#cries tbody tr[data-id="{PLAY_CRY}"]')
        driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", row)
        row.click()  # as a user selects it: the first press opens the audio output
        wait.until(lambda d: d.execute_script('return selectedRow() !== null'))
        find('#audio-file').send_keys(sound)
        wait.until(lambda d: not find('#play-new').get_property('disabled'))
        if step == 'apply':
            find('#apply').click()
            wait.until(lambda d: d.find_elements('css selector', '#history li'))
    driver.execute_script(WATCH_PLAY)
    times = {'#play-selected': [], '#play-new': []}
    modes = [o.get_attribute('value') for o in find('#mode').find_elements('css selector', 'option')]
    for _ in range(runs):
        for mode in modes:
            driver.execute_script("const m = document.querySelector('#mode'); m.value = arguments[0];"
                                  "m.dispatchEvent(new Event('change'))", mode)
            for button, played in times.items():
                count = driver.execute_script('return plays.length')
                find(button).click()
                wait.until(lambda d: d.execute_script('return plays.length') > count)
                played.append(driver.execute_script('return plays[plays.length - 1]'))
                driver.execute_script('stopSound()')
    latency = driver.execute_script('const a = audioContext(); return [a.baseLatency, a.outputLatency]')
    return times, latency


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build', nargs='?', default=os.path.join(ROOT, 'build', 'default'))
    parser.add_argument('site', nargs='?', default=os.path.join(ROOT, 'build', 'web', 'site'))
    parser.add_argument('--runs', type=int, default=3)
    parser.add_argument('--file', action='store_true')
    args = parser.parse_args()
    tmp = tempfile.mkdtemp(prefix='brevox-bench-')
    server = None
    driver = browser()
    try:
        if args.file:
            url = 'file://' + os.path.join(os.path.abspath(args.site), 'index.html')
        else:
            handler = functools.partial(QuietHandler, directory=os.path.abspath(args.site))
            server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
            threading.Thread(target=server.serve_forever, daemon=True).start()
            url = f'http://127.0.0.1:{server.server_port}/'
        print(f'page: {url}')
        opened = images(os.path.abspath(args.build), tmp)
        for name, image in opened:
            runs = [open_once(driver, url, image) for _ in range(args.runs)]
            shown = [r[0] for r in runs]
            longest = [r[1] for r in runs]
            print(f'{name}: rows shown after {statistics.median(shown):.0f} ms median '
                  f'({", ".join(f"{x:.0f}" for x in shown)}); longest main-thread task '
                  f'{max(longest):.0f} ms ({", ".join(f"{x:.0f}" for x in longest)}; 0: none of 50 ms or more)')
        # game.gba as written, its FF tail free to take the long cry.
        times, latency = play_modes(driver, url, os.path.join(tmp, 'game.gba'), long_sound(tmp), args.runs)
        for button, what in (('#play-selected', f'cry {PLAY_CRY} ({LONG_SECONDS} s)'), ('#play-new', 'the new sound')):
            played = times[button]
            print(f'{what} played in every mode, {len(played)} clicks: its sound starts '
                  f'{statistics.median(played):.1f} ms median after the click, at most {max(played):.1f} ms')
        print(f'the audio output adds {latency[0] * 1000:.1f} ms (base) and {latency[1] * 1000:.1f} ms (output)')
    finally:
        driver.quit()
        if server:
            server.shutdown()
        shutil.rmtree(tmp)


if __name__ == '__main__':
    main()
