#!/usr/bin/python3
"""How long the page takes from a pack of sounds chosen to its plan shown, next to brevox-cli import.

    tests/web/bench_pack.py [BUILD [SITE]] [--runs N] [--cries N] [--fit BYTES]

BUILD holds brevox-cli and brevox-web-images (default build/default), SITE the page as
scripts/web.sh builds it (default build/web/site). A pack of N cries (default 388) of half a
second each, 16-bit mono at 22050 Hz (a tone and some noise, different for each cry), named as
dump-all names them, is chosen on the page over game.gba (the games' layout) grown to 16 MiB with
its free tail of FF, N times (default 3):
for each it prints the time from the files chosen (their change event) to the plan shown, and
the time `brevox-cli import --dry-run` takes over the same folder. With --fit, the pack is then
fitted to a budget of BYTES for its new samples: the time from the box ticked to the plan shown,
next to `import --dry-run --fit --budget BYTES`.
"""
import argparse
import functools
import http.server
import math
import os
import random
import shutil
import statistics
import struct
import subprocess
import tempfile
import threading
import time
import wave

from selenium.webdriver.support.ui import WebDriverWait

from bench_open import ROOT, QuietHandler, browser

WATCH = """
window.bench = {start: null, before: shownStatus()};
document.addEventListener('change', e => {
  if (['pack-files', 'pack-fit'].includes(e.target.id)) bench.start = performance.now();
}, true);
"""


def pack(folder, cries):
    os.makedirs(folder)
    rate, n = 22050, 11025
    for cry in range(1, cries + 1):
        rng = random.Random(cry)
        hz = 200 + 7 * cry
        frames = b''.join(struct.pack('<h', int(12000 * math.sin(2 * math.pi * hz * i / rate) +
                                                 rng.randint(-2000, 2000))) for i in range(n))
        with wave.open(os.path.join(folder, f'cry-{cry:03d}.wav'), 'wb') as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(rate)
            w.writeframes(frames)
    return sorted(os.path.join(folder, f) for f in os.listdir(folder))


def planned(driver):
    """Milliseconds from the last change watched to the pack's plan shown."""
    WebDriverWait(driver, 600).until(lambda d: d.execute_script(
        "return shownStatus() !== bench.before && "
        "['packPlanned', 'packRefused', 'refused', 'packNoFit'].includes(shownStatus().key)"))
    key, shown = driver.execute_script('return [shownStatus().key, performance.now()]')
    if key != 'packPlanned':
        raise SystemExit(f'the pack was refused: {driver.find_element("css selector", "#status").text[:300]}')
    return shown - driver.execute_script('return bench.start')


def plan_once(driver, url, rom, files, budget):
    """Milliseconds from the files chosen to the pack's plan shown, and from the fit asked to its plan."""
    driver.get(url)
    WebDriverWait(driver, 30).until(lambda d: d.execute_script('return document.body.dataset.ready'))
    driver.find_element('css selector', '#rom-file').send_keys(rom)
    WebDriverWait(driver, 60).until(lambda d: d.find_elements('css selector', '#cries tbody tr[data-id]'))
    driver.execute_script(WATCH)
    driver.find_element('css selector', '#pack-files').send_keys('\n'.join(files))
    chosen = planned(driver)
    if budget is None:
        return chosen, None
    driver.find_element('css selector', '#pack-budget').send_keys(str(budget))
    driver.execute_script('bench.before = shownStatus()')
    driver.find_element('css selector', '#pack-fit').click()
    return chosen, planned(driver)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build', nargs='?', default=os.path.join(ROOT, 'build', 'default'))
    parser.add_argument('site', nargs='?', default=os.path.join(ROOT, 'build', 'web', 'site'))
    parser.add_argument('--runs', type=int, default=3)
    parser.add_argument('--cries', type=int, default=388)
    parser.add_argument('--fit', type=int, metavar='BYTES')
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    tmp = tempfile.mkdtemp(prefix='brevox-bench-')
    handler = functools.partial(QuietHandler, directory=os.path.abspath(args.site))
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    driver = browser()
    try:
        subprocess.run([os.path.join(build, 'tests', 'web', 'brevox-web-images'), tmp], check=True)
        rom = os.path.join(tmp, 'game.gba')
        with open(rom, 'rb') as f:
            data = f.read()
        with open(rom, 'wb') as f:
            f.write(data + b'\xff' * (16 * (1 << 20) - len(data)))
        files = pack(os.path.join(tmp, 'pack'), args.cries)
        url = f'http://127.0.0.1:{server.server_port}/'
        runs = [plan_once(driver, url, rom, files, args.fit) for _ in range(args.runs)]

        def cli(*options):
            times = []
            for _ in range(args.runs):
                start = time.perf_counter()
                subprocess.run([os.path.join(build, 'cli', 'brevox-cli'), 'import', rom, os.path.join(tmp, 'pack'),
                                '--dry-run', *options], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                times.append((time.perf_counter() - start) * 1000)
            return times

        def figures(times):
            return f'{statistics.median(times):.0f} ms ({", ".join(f"{x:.0f}" for x in times)})'

        print(f'{args.cries} cries: the page shows the plan {figures([r[0] for r in runs])} after the files are '
              f'chosen, median; brevox-cli import --dry-run {figures(cli())}')
        if args.fit is not None:
            print(f'fitted to {args.fit} bytes: the page shows the plan {figures([r[1] for r in runs])} after the '
                  f'box is ticked; brevox-cli import --dry-run --fit --budget {figures(cli("--fit", "--budget", str(args.fit)))}')
    finally:
        driver.quit()
        server.shutdown()
        shutil.rmtree(tmp)


if __name__ == '__main__':
    main()
