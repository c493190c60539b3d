#!/usr/bin/env python3
"""Compares the samples of two 32-bit float WAV files; prints the largest
difference and exits 1 when they differ."""
import importlib.util
import os
import sys

# The project's one WAV reader: scripts/analyze-wav.py.
_spec = importlib.util.spec_from_file_location(
    "analyze_wav", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "analyze-wav.py"))
_analyzer = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_analyzer)
READ_WAV = _analyzer.read_wav


def samples(path):
    """(channels, rate, interleaved samples) of a WAV file."""
    rate, channels, data = READ_WAV(path)
    return channels, rate, [data[c][i] for i in range(len(data[0])) for c in range(channels)]


def main():
    ch_a, rate_a, a = samples(sys.argv[1])
    ch_b, rate_b, b = samples(sys.argv[2])
    if (ch_a, rate_a, len(a)) != (ch_b, rate_b, len(b)):
        print(f"shape differs: {ch_a} ch {rate_a} Hz {len(a)} vs {ch_b} ch {rate_b} Hz {len(b)}")
        return 1
    largest = max((abs(x - y) for x, y in zip(a, b)), default=0.0)
    differing = sum(1 for x, y in zip(a, b) if x != y)
    peak = max((abs(x) for x in a), default=0.0)
    print(f"{len(a) // ch_a} frames x {ch_a} channels, peak {peak:.6f}: "
          f"{differing} samples differ, largest difference {largest:.3g}")
    return 0 if differing == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
