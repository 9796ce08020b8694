#!/usr/bin/python3
"""Draws the README's picture of what the game does to a cry, docs/playback.png:
a cry's stored waveform over its renders in the normal and doubles modes, on one
time axis, each marked where it falls silent.

Everything comes from the project's own tools in the default build: brevox-gen
writes the demonstration image, brevox-cli encodes a 2.8 s cry into it (longer
than both modes hold a cry), dumps it and renders it. Nothing is kept but the PNG.

Usage: tools/docs/draw_playback.py [OUT.png]   (default docs/playback.png)
Needs the default build (build/default, or BREVOX_BUILD) and matplotlib for
Debian's Python (scripts/deps.sh docs).
"""
import io
import json
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
    from PIL import Image
except ImportError as error:
    sys.exit(f"draw_playback.py: {error.name} is missing: run scripts/deps.sh docs, "
             "then this script with Debian's Python (/usr/bin/python3)")

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("BREVOX_BUILD", os.path.join(ROOT, "build", "default"))
GEN = os.path.join(BUILD, "tools", "demo", "brevox-gen")
CLI = os.path.join(BUILD, "cli", "brevox-cli")

CRY_ID = "2"           # the demonstration image's sweep, replaced by the long cry
CRY_RATE = 10512       # the rate of the demonstration image's cries
CRY_SECONDS = 2.8
FRAMES_PER_SECOND = 59.7275  # the engine's pace: a mode holds a cry for whole frames
WIDTH_PX, HEIGHT_PX, DPI = 900, 620, 100


def long_cry(rate):
    """Three rising and falling calls, each quieter than the last, as 16-bit
    values: long enough for the normal mode's hold to end inside the third."""
    calls = [(0.00, 0.85, 0.95), (0.95, 0.85, 0.80), (1.90, 0.90, 0.65)]  # start, length, level
    values, phase = [], 0.0
    for i in range(int(CRY_SECONDS * rate)):
        t = i / rate
        level, frequency = 0.0, 300.0
        for start, length, peak in calls:
            if start <= t < start + length:
                level = peak * math.sin(math.pi * (t - start) / length) ** 0.6
                frequency = 300 + 600 * math.sin(math.pi * (t - start) / length)
        phase += 2 * math.pi * frequency / rate
        values.append(int(32767 * level * math.sin(phase)))
    return values


def write_wav16(path, rate, values):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(struct.pack(f"<{len(values)}h", *values))


def read_wav(path):
    """A mono WAV's values in 8-bit steps (-128..127) and its rate."""
    with wave.open(path, "rb") as wav:
        width, rate = wav.getsampwidth(), wav.getframerate()
        data = wav.readframes(wav.getnframes())
    if width == 1:
        return np.frombuffer(data, np.uint8).astype(float) - 128, rate
    return np.frombuffer(data, "<i2").astype(float) / 256, rate


def run(*args):
    result = subprocess.run(args, stdout=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit(f"draw_playback.py: {' '.join(args)} failed ({result.returncode})")
    return result.stdout


def make_traces(tmp):
    """The stored cry and its two renders: (label, values, rate, where the
    hold ends or None, where it falls silent)."""
    run(GEN, "demo", tmp)
    rom = os.path.join(tmp, "demo.gba")
    source = os.path.join(tmp, "long.wav")
    write_wav16(source, CRY_RATE, long_cry(CRY_RATE))
    run(CLI, "encode", rom, source, CRY_ID, "--repoint-free", "--json")
    stored_path = os.path.join(tmp, "stored.wav")
    run(CLI, "dump", rom, CRY_ID, "-o", stored_path)
    stored, stored_rate = read_wav(stored_path)
    traces = [("Stored sample (brevox-cli dump), at its own rate",
               stored, stored_rate, None, len(stored) / stored_rate)]
    modes = [("normal", 140, "cut"), ("doubles", 20, "faded")]
    for mode, hold, then in modes:
        path = os.path.join(tmp, mode + ".wav")
        figures = json.loads(run(CLI, "render", rom, CRY_ID, "--mode", mode, "-o", path, "--json"))
        values, rate = read_wav(path)
        label = (f"{mode.capitalize()} mode: held {hold} frames, then {then}; echo after "
                 f"(brevox-cli render --mode {mode})")
        traces.append((label, values, rate, hold / FRAMES_PER_SECOND, figures["renders"][0]["seconds_heard"]))
    return traces


def draw(traces, out):
    plt.rcParams.update({"font.size": 11, "axes.titlesize": 11, "axes.titleweight": "bold"})
    fig, axes = plt.subplots(len(traces), 1, sharex=True, sharey=True,
                             figsize=(WIDTH_PX / DPI, HEIGHT_PX / DPI), dpi=DPI)
    end = max(len(v) / rate for _, v, rate, _, _ in traces) + 0.1
    colours = ["#1f4e8c", "#b8451f", "#2e7d32"]
    for ax, (label, values, rate, hold, silent), colour in zip(axes, traces, colours):
        ax.plot(np.arange(len(values)) / rate, values, color=colour, linewidth=0.5)
        if hold is not None:
            ax.axvline(hold, color="#555555", linestyle=":", linewidth=1.2)
            # Left of the line where there is room, clear of the silence mark.
            left = hold > 0.2 * end
            ax.annotate(f"hold ends at {hold:.2f} s", xy=(hold, 100), xytext=(-6 if left else 6, 0),
                        textcoords="offset points", ha="right" if left else "left", va="center",
                        fontsize=10)
        ax.axvline(silent, color="black", linestyle="--", linewidth=1)
        verb = "ends" if ax is axes[0] else "silent"
        ax.annotate(f"{verb} at {silent:.2f} s", xy=(silent, -100), xytext=(6, 0),
                    textcoords="offset points", va="center", fontsize=10)
        ax.set_title(label, loc="left")
        ax.set_ylim(-135, 135)
        ax.set_yticks([-128, -64, 0, 64, 127])
        ax.grid(axis="y", color="#dddddd", linewidth=0.6)
        ax.set_xlim(0, end)
    axes[-1].set_xlabel("time (s)")
    fig.supylabel("value (8-bit steps)", fontsize=11)
    fig.tight_layout()
    # A palette image is a fraction of the size and looks the same.
    png = io.BytesIO()
    fig.savefig(png, format="png", dpi=DPI)
    image = Image.open(png).convert("RGB").quantize(colors=64, method=Image.Quantize.MEDIANCUT)
    image.save(out, optimize=True)


def main():
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs", "playback.png"))
    for tool in (GEN, CLI):
        if not os.access(tool, os.X_OK):
            sys.exit(f"draw_playback.py: {tool} is missing: build first "
                     "(cmake --preset default && cmake --build --preset default)")
    with tempfile.TemporaryDirectory(prefix="brevox-playback.") as tmp:
        draw(make_traces(tmp), out)
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
