#!/usr/bin/env python3
"""Compares the samples of two 32-bit float WAV files; prints the largest
difference and exits 1 when they differ."""
import struct
import sys


def samples(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise SystemExit(f"{path}: not a WAV file")
    at, fmt, payload = 12, None, None
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif tag == b"data":
            payload = body
        at += 8 + size + (size & 1)
    if not fmt or payload is None or fmt[0] not in (3, 0xFFFE) or fmt[5] != 32:
        raise SystemExit(f"{path}: not 32-bit float")
    return fmt[1], fmt[2], struct.unpack(f"<{len(payload) // 4}f", payload)


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
