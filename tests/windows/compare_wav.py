#!/usr/bin/env python3
"""Compares the samples of two 32-bit float WAV files; prints the largest
difference and exits 1 when they differ."""
import os
import sys

# The project's one WAV reader: scripts/analyze_wav.py.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from analyze_wav import read_wav as READ_WAV  # noqa: E402


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
