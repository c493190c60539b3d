#!/usr/bin/env python3
"""Small WAV helpers for the demo: join renders and draw a waveform picture.

Standard library only; WAV files are read by analyze_wav.py's reader.
"""
import math
import os
import struct
import sys
import zlib

# The WAV reader lives once, in analyze_wav.py beside this file.
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import analyze_wav as _analyzer  # noqa: E402


def read_wav(path):
    try:
        return _analyzer.read_wav(path)
    except _analyzer.WavError as error:
        raise SystemExit(str(error))


def write_wav(path, rate, channel_data):
    channels = len(channel_data)
    frames = len(channel_data[0])
    interleaved = [channel_data[c][i] for i in range(frames) for c in range(channels)]
    body = struct.pack(f"<{len(interleaved)}f", *interleaved)
    fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * channels * 4, channels * 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def concat(out, inputs):
    rate, joined = None, None
    for path in inputs:
        r, _, data = read_wav(path)
        if rate is None:
            rate, joined = r, [list(ch) for ch in data]
        elif r != rate or len(data) != len(joined):
            raise SystemExit(f"{path}: rate or channel count differs")
        else:
            for c in range(len(data)):
                joined[c].extend(data[c])
    write_wav(out, rate, joined)


def write_png(path, width, height, rows):
    def chunk(tag, payload):
        return struct.pack(">I", len(payload)) + tag + payload + struct.pack(">I", zlib.crc32(tag + payload) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def plot(wav, out, seconds, width=900, height=300):
    rate, _, data = read_wav(wav)
    samples = data[0][:int(rate * seconds)] or [0.0]
    peak = max(1e-9, max(abs(v) for v in samples))
    background, grid, trace = (24, 26, 30), (60, 64, 72), (245, 160, 40)
    rows = [[c for _ in range(width) for c in background] for _ in range(height)]
    mid = height // 2

    def put(x, y, colour):
        if 0 <= x < width and 0 <= y < height:
            rows[y][3 * x:3 * x + 3] = colour

    for x in range(width):
        put(x, mid, grid)
    for tenth in range(1, int(seconds * 10)):
        for y in range(height):
            put(int(tenth / (seconds * 10) * width), y, grid)
    per_column = max(1, len(samples) // width)
    scale = (height / 2 - 10) / peak
    for x in range(width):
        chunk = samples[x * per_column:(x + 1) * per_column] or [0.0]
        top = mid - int(max(chunk) * scale)
        bottom = mid - int(min(chunk) * scale)
        for y in range(min(top, bottom), max(top, bottom) + 1):
            put(x, y, trace)
    write_png(out, width, height, rows)
    db = 20 * math.log10(peak)
    print(f"{out}: first {seconds:g} s of {wav}, peak {peak:.3f} ({db:.1f} dBFS)")


def main(argv):
    if len(argv) >= 3 and argv[1] == "concat":
        concat(argv[2], argv[3:])
    elif len(argv) in (4, 5) and argv[1] == "plot":
        plot(argv[2], argv[3], float(argv[4]) if len(argv) == 5 else 0.6)
    else:
        raise SystemExit("usage: wavtool.py concat OUT.wav IN.wav...\n       wavtool.py plot IN.wav OUT.png [SECONDS]")


if __name__ == "__main__":
    main(sys.argv)
