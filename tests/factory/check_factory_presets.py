#!/usr/bin/env python3
"""Checks the factory sounds: file format, and how each one renders.

Every .tvpreset file of the factory folder must be a 17-line file exactly as
the instrument writes one, must not switch on learn or clear mode nor fire a
hit, must make the module display the whole semitone its Pitch line means,
and must render through the built module to a finite sound whose peak lies
between -20 and 0 dBFS and which has died away (60 dB under its peak) before
the end of a 3 s render. A hit at time 0, the first after creation and the
loudest (the oscillator starts muted), must stay below 0 dBFS too. The first
file, in the order the instrument lists the folder, must be the one the
instrument loads at start-up.

    check_factory_presets.py --host HOST --module MODULE --presets FOLDER
                             --analyzer analyze_wav.py
"""
import argparse
import importlib.util
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

PARAM_NAMES = ["Pitch", "Accent", "Decay", "TuneDecay", "Attack", "Hold", "TuneDepth",
               "NoiseDecay", "Distort", "MidiTuneFlag", "MidiAccentFlag", "Learn", "clear",
               "Trigger", "Led", "", ""]
MUST_BE_ZERO = ["Learn", "clear", "Trigger", "Led"]
FLAGS = ["MidiTuneFlag", "MidiAccentFlag"]
SOUND_PARAMS = 11  # parameters 0..10 make the sound
NAME_STRIP = 20    # characters the editor's name strip shows
MIN_PRESETS = 16
RATE = 48000
LENGTH = 3.0
HIT_AT = 0.1
PEAK_RANGE_DB = (-20.0, 0.0)
LINE = re.compile(r"^([^=\n]*)=(\d+\.\d{6})\n$")
SAFE_NAME = re.compile(r"^[A-Za-z0-9][A-Za-z0-9 ._-]*$")
PRESET_SUBPATH = os.path.join("Documents", "Tarvolin Instruments", "Tarvolin Thudra Presets",
                              "Factory Presets")


def load_analyzer(path):
    spec = importlib.util.spec_from_file_location("analyze_wav", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def check_file(path):
    """Returns (list of problems, dict of name -> value)."""
    problems = []
    with open(path, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("ascii")
    except UnicodeDecodeError:
        return ["not plain ASCII text"], {}
    lines = text.splitlines(keepends=True)
    if len(lines) != len(PARAM_NAMES):
        problems.append(f"{len(lines)} lines, expected {len(PARAM_NAMES)}")
    values = {}
    for number, (line, expected) in enumerate(zip(lines, PARAM_NAMES), start=1):
        m = LINE.match(line)
        if not m:
            problems.append(f"line {number} {line!r} is not NAME=%f with a line feed")
            continue
        name, value = m.group(1), float(m.group(2))
        if name != expected:
            problems.append(f"line {number} names {name!r}, expected {expected!r}")
        if not 0.0 <= value <= 1.0:
            problems.append(f"line {number}: {value} is outside 0..1")
        values[number - 1] = value
        if name:
            values[name] = value
    for name in MUST_BE_ZERO:
        if values.get(name, 0.0) != 0.0:
            problems.append(f"{name} is {values[name]}, must be 0")
    for index in (15, 16):
        if values.get(index, 0.0) != 0.0:
            problems.append(f"unnamed line {index + 1} is {values[index]}, must be 0")
    for name in FLAGS:
        if values.get(name, 0.0) not in (0.0, 1.0):
            problems.append(f"{name} is {values[name]}, must be 0 or 1")
    if "Pitch" in values:
        semitones = values["Pitch"] * 24.0 - 12.0
        if abs(semitones - round(semitones)) > 1e-4:
            problems.append(f"Pitch is {semitones:.4f} semitones, not a whole number")
    return problems, values


def render(args, home, out, preset=None, note=36, velocity=127, hit_at=HIT_AT):
    cmd = [args.host, "render", args.module, "--out", out, "--rate", str(RATE),
           "--length", str(LENGTH), "--note", f"{hit_at},{note},{velocity}"]
    if preset:
        cmd += ["--preset", preset]
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
    done = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=60)
    if done.returncode != 0:
        return f"render failed ({done.returncode}): {done.stderr.strip()}"
    if preset and done.stderr.strip():
        return f"render warned: {done.stderr.strip()}"
    return None


def displayed_pitch(args, scratch, path):
    """The Pitch text the module shows with only this file installed, which
    it loads at start-up the way a user gets it."""
    home = os.path.join(scratch, "pitch-home")
    shutil.rmtree(home, ignore_errors=True)
    folder = os.path.join(home, PRESET_SUBPATH)
    os.makedirs(folder)
    shutil.copy(path, folder)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
    done = subprocess.run([args.host, "info", args.module], env=env, capture_output=True,
                          text=True, timeout=60)
    m = re.search(r'^\s*0\s+name "Pitch"\s+display "([^"]*)"', done.stdout, re.M)
    return m.group(1) if m else None


def check_render(analyzer, wav):
    r = analyzer.analyse(wav, pitch=False)
    if not r["finite"]:
        return [f"non-finite sample at frame {r['first_bad_sample']}"], r
    problems = []
    lo, hi = PEAK_RANGE_DB
    if not lo <= r["peak_dbfs"] <= hi:
        problems.append(f"peak {r['peak_dbfs']:.2f} dBFS outside {lo}..{hi}")
    elif not r["decayed_before_end"]:
        problems.append("still above -60 dB (re peak) at the end of the render")
    elif r["onset"] < HIT_AT - 0.001:
        problems.append(f"sound starts at {r['onset']:.4f} s, before the hit at {HIT_AT} s")
    return problems, r


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host", required=True)
    ap.add_argument("--module", required=True)
    ap.add_argument("--presets", required=True)
    ap.add_argument("--analyzer", required=True)
    args = ap.parse_args()
    analyzer = load_analyzer(args.analyzer)

    files = sorted((f for f in os.listdir(args.presets) if f.endswith(".tvpreset")),
                   key=lambda f: (f.lower(), f))
    failures = []
    passed = 0

    def report(label, problems):
        nonlocal passed
        if problems:
            failures.append(label)
            for p in problems:
                print(f"FAIL {label}: {p}")
        else:
            passed += 1

    set_problems = []
    if len(files) < MIN_PRESETS:
        set_problems.append(f"{len(files)} factory presets, expected at least {MIN_PRESETS}")
    lowered = [f.lower() for f in files]
    if len(set(lowered)) != len(lowered):
        set_problems.append("two file names differ only in case")
    others = [f for f in os.listdir(args.presets) if not f.endswith(".tvpreset")]
    if others:
        set_problems.append(f"files the instrument will not list: {others}")

    sounds = {}
    with tempfile.TemporaryDirectory(prefix="thudra-factory-") as scratch:
        empty_home = os.path.join(scratch, "empty-home")
        os.makedirs(empty_home)
        for index, file in enumerate(files):
            path = os.path.join(args.presets, file)
            stem = file[:-len(".tvpreset")]
            problems, values = check_file(path)
            if len(stem) > NAME_STRIP:
                problems.append(f"name is {len(stem)} characters; the strip shows {NAME_STRIP}")
            if not SAFE_NAME.match(stem):
                problems.append("name has characters that are awkward in file names")
            if not problems:
                key = tuple(values[i] for i in range(SOUND_PARAMS))
                if key in sounds:
                    problems.append(f"same sound as {sounds[key]}")
                sounds[key] = file
            notes = [36]
            if values.get("MidiTuneFlag") == 1.0:
                notes = [33, 45, 57]  # the note sets the pitch: check a playing range
            figures = []
            for note in notes:
                wav = os.path.join(scratch, f"{index}-{note}.wav")
                error = render(args, empty_home, wav, preset=path, note=note)
                if error:
                    problems.append(f"note {note}: {error}")
                    continue
                render_problems, r = check_render(analyzer, wav)
                problems += [f"note {note}: {p}" for p in render_problems]
                if r.get("finite") and r["peak"] > 0:
                    figures.append(f"n{note} {r['peak_dbfs']:.1f} dBFS "
                                   f"{r['length_60db'] * 1000:.0f} ms")
                first = os.path.join(scratch, f"{index}-{note}-first.wav")
                error = render(args, empty_home, first, preset=path, note=note, hit_at=0.0)
                if error:
                    problems.append(f"note {note} at time 0: {error}")
                    continue
                r = analyzer.analyse(first, pitch=False)
                if not r["finite"] or not r["peak_dbfs"] < 0.0:
                    problems.append(f"note {note} at time 0: peak {r['peak_dbfs']:.2f} dBFS, "
                                    "not below 0")
            if "Pitch" in values:
                intended = round(values["Pitch"] * 24.0 - 12.0)
                shown = displayed_pitch(args, scratch, path)
                if shown != str(intended):
                    problems.append(f"Pitch shows {shown!r}, means {intended} semitones")
            report(stem, problems)
            print(f"{'ok  ' if not problems else 'BAD '} {stem}: {', '.join(figures)}")

        # Start-up: with the factory folder in the documents tree, the
        # instrument loads the first file itself, by line position. The sound
        # must be the same as that file applied by name through the host.
        if files:
            home = os.path.join(scratch, "home")
            shutil.copytree(args.presets, os.path.join(home, PRESET_SUBPATH))
            startup = os.path.join(scratch, "startup.wav")
            named = os.path.join(scratch, "named.wav")
            problems = []
            for out, preset, h in ((startup, None, home),
                                   (named, os.path.join(args.presets, files[0]), empty_home)):
                error = render(args, h, out, preset=preset)
                if error:
                    problems.append(error)
            if not problems:
                _, _, a = analyzer.read_wav(startup)
                _, _, b = analyzer.read_wav(named)
                if a[0] != b[0]:
                    diff = max(abs(p - q) for p, q in zip(a[0], b[0]))
                    problems.append(f"start-up sound differs from {files[0]} "
                                    f"(largest difference {diff:.3g}): "
                                    "is it the first file, with its lines in order?")
                elif max(map(abs, a[0])) == 0.0:
                    problems.append("start-up render is silent")
            report("start-up preset", problems)
    report("factory set", set_problems)

    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
