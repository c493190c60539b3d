#!/usr/bin/env python3
"""Measures a rendered drum hit in a WAV file.

Prints, for the first channel: peak and RMS level in dBFS, the time of the
onset, the fundamental frequency once the pitch sweep is over, and the
length of the sound until it has fallen 60 dB below its peak (and stays
there). Python 3 standard library only; reads float WAV files (format 3,
32 or 64 bit) and integer PCM (format 1, 8/16/24/32 bit), also inside the
extensible format.

    analyze_wav.py FILE.wav [FILE.wav ...]      one line of figures per file
    analyze_wav.py --json FILE.wav [...]        the same figures as JSON
    analyze_wav.py --pitch-track FILE.wav       the fundamental every 20 ms
"""
import json
import math
import struct
import sys

FORMAT_PCM = 1
FORMAT_FLOAT = 3
FORMAT_EXTENSIBLE = 0xFFFE


class WavError(Exception):
    pass


def read_wav(path):
    """Returns (sample rate, channel count, list of channels as float lists)."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise WavError(f"{path}: not a RIFF/WAVE file")
    pos = 12
    fmt = None
    payload = None
    while pos + 8 <= len(data):
        tag = data[pos:pos + 4]
        size = struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            if len(body) < 16:
                raise WavError(f"{path}: fmt chunk too short")
            kind, channels, rate, _, block_align, bits = struct.unpack_from("<HHIIHH", body)
            if kind == FORMAT_EXTENSIBLE:
                if len(body) < 26:
                    raise WavError(f"{path}: extensible fmt chunk too short")
                kind = struct.unpack_from("<H", body, 24)[0]
            fmt = (kind, channels, rate, block_align, bits)
        elif tag == b"data":
            payload = body
        pos += 8 + size + (size & 1)  # chunks are padded to even sizes
    if fmt is None or payload is None:
        raise WavError(f"{path}: no fmt or no data chunk")
    kind, channels, rate, block_align, bits = fmt
    if channels < 1 or rate < 1:
        raise WavError(f"{path}: {channels} channels at {rate} Hz")
    width = bits // 8
    if block_align != width * channels:
        raise WavError(f"{path}: block align {block_align} does not fit {channels} x {bits} bit")
    count = len(payload) // width
    count -= count % channels
    if kind == FORMAT_FLOAT and bits == 32:
        values = struct.unpack_from(f"<{count}f", payload)
    elif kind == FORMAT_FLOAT and bits == 64:
        values = struct.unpack_from(f"<{count}d", payload)
    elif kind == FORMAT_PCM and bits == 8:
        values = [(b - 128) / 128.0 for b in payload[:count]]
    elif kind == FORMAT_PCM and bits == 16:
        values = [v / 32768.0 for v in struct.unpack_from(f"<{count}h", payload)]
    elif kind == FORMAT_PCM and bits == 32:
        values = [v / 2147483648.0 for v in struct.unpack_from(f"<{count}i", payload)]
    elif kind == FORMAT_PCM and bits == 24:
        values = []
        for i in range(0, count * 3, 3):
            v = payload[i] | (payload[i + 1] << 8) | (payload[i + 2] << 16)
            if v & 0x800000:
                v -= 0x1000000
            values.append(v / 8388608.0)
    else:
        raise WavError(f"{path}: unsupported format {kind} with {bits} bits")
    return rate, channels, [list(values[c::channels]) for c in range(channels)]


def db(value):
    return 20.0 * math.log10(value) if value > 0 else float("-inf")


def block_peaks(x, size):
    """Peak of |x| in consecutive blocks of `size` samples."""
    return [max(map(abs, x[i:i + size])) for i in range(0, len(x), size)]


def fundamental(x, rate, start, length, fmin=20.0, fmax=600.0):
    """Fundamental in Hz of x[start:start+length] by normalised autocorrelation.

    The window is reduced to about 12 kHz by averaging (plenty for a drum's
    fundamental), its mean is removed, and the first strong peak of the
    autocorrelation wins, refined by a parabola. None when the window holds
    no periodic signal.
    """
    step = max(1, int(rate // 12000))
    seg = x[start:start + length]
    if step > 1:
        seg = [sum(seg[i:i + step]) / step for i in range(0, len(seg) - step + 1, step)]
    r = rate / step
    n = len(seg)
    if n < 16:
        return None
    mean = sum(seg) / n
    seg = [v - mean for v in seg]
    energy = sum(v * v for v in seg)
    if energy <= 1e-20:
        return None
    lo = max(2, int(r / fmax))
    hi = min(n // 2, int(r / fmin) + 1)
    if hi <= lo + 2:
        return None
    corr = [0.0] * (hi + 2)
    for lag in range(lo - 1, hi + 2):
        a = seg[:n - lag]
        b = seg[lag:]
        # Normalised by the energies of the overlapping parts, so a decaying
        # window does not favour short lags.
        ea = sum(v * v for v in a)
        eb = sum(v * v for v in b)
        s = sum(p * q for p, q in zip(a, b))
        corr[lag] = s / math.sqrt(ea * eb) if ea > 0 and eb > 0 else 0.0
    best = max(corr[lo:hi + 1])
    if best < 0.3:
        return None
    # The first local maximum that comes close to the best one: avoids
    # picking a multiple of the period.
    for lag in range(lo, hi + 1):
        c = corr[lag]
        if c >= 0.85 * best and c >= corr[lag - 1] and c >= corr[lag + 1]:
            y0, y1, y2 = corr[lag - 1], c, corr[lag + 1]
            denom = y0 - 2 * y1 + y2
            shift = 0.5 * (y0 - y2) / denom if denom != 0 else 0.0
            return r / (lag + shift)
    return None


def analyse(path, pitch=True):
    """The figures of one file as a dict; pitch=False skips the (slow) pitch."""
    rate, channels, chans = read_wav(path)
    x = chans[0]
    n = len(x)
    finite = all(math.isfinite(v) for v in x)
    if not finite:
        bad = next(i for i, v in enumerate(x) if not math.isfinite(v))
        return {"file": path, "rate": rate, "channels": channels, "frames": n,
                "finite": False, "first_bad_sample": bad}
    peak = max(map(abs, x)) if x else 0.0
    rms = math.sqrt(sum(v * v for v in x) / n) if n else 0.0
    channels_equal = all(c == x for c in chans[1:])
    result = {"file": path, "rate": rate, "channels": channels, "frames": n,
              "seconds": n / rate, "finite": True, "channels_equal": channels_equal,
              "peak": peak, "peak_dbfs": db(peak), "rms_dbfs": db(rms)}
    if peak <= 0.0:
        result.update(onset=None, length_60db=None, length_40db=None, end_time=None,
                      decayed_before_end=True, f0=None, f0_end=None)
        return result
    peak_at = max(range(n), key=lambda i: abs(x[i]))
    onset_level = peak * 10 ** (-40 / 20)
    onset = next(i for i, v in enumerate(x) if abs(v) >= onset_level)
    # The end: the last sample above -60 dB relative to the peak. Anything
    # after it stays below that level up to the end of the file.
    floor = peak * 1e-3
    end = n - 1
    while end > onset and abs(x[end]) < floor:
        end -= 1
    result["onset"] = onset / rate
    result["peak_time"] = peak_at / rate
    result["end_time"] = (end + 1) / rate
    result["length_60db"] = (end + 1 - onset) / rate
    result["decayed_before_end"] = end + 1 < n
    # Level 40 dB down: how long the body of the sound lasts.
    floor40 = peak * 1e-2
    end40 = end
    while end40 > onset and abs(x[end40]) < floor40:
        end40 -= 1
    result["length_40db"] = (end40 + 1 - onset) / rate
    if not pitch:
        return result
    # Fundamental after the sweep: 50 to 150 ms after the onset, and in the
    # last 100 ms that are still within 30 dB of the peak (the settled pitch).
    win = int(0.1 * rate)
    result["f0"] = fundamental(x, rate, onset + int(0.05 * rate), win)
    loud = peak * 10 ** (-30 / 20)
    last_loud = end
    while last_loud > onset and abs(x[last_loud]) < loud:
        last_loud -= 1
    # A short sound gets its second half instead.
    late_start = max(onset + min(int(0.05 * rate), (last_loud - onset) // 2), last_loud - win)
    result["f0_end"] = fundamental(x, rate, late_start, last_loud - late_start)
    return result


def pitch_track(path, step_s=0.02, win_s=0.04):
    rate, _, chans = read_wav(path)
    x = chans[0]
    peak = max(map(abs, x))
    onset_level = peak * 1e-2
    onset = next(i for i, v in enumerate(x) if abs(v) >= onset_level)
    rows = []
    t = 0.0
    while onset + int((t + win_s) * rate) < len(x):
        start = onset + int(t * rate)
        seg_peak = max(map(abs, x[start:start + int(win_s * rate)]))
        if seg_peak < peak * 1e-3:
            break
        rows.append((t, db(seg_peak), fundamental(x, rate, start, int(win_s * rate))))
        t += step_s
    return rows


def fmt_hz(f):
    return f"{f:7.1f}" if f else "    n/a"


def main(argv):
    args = argv[1:]
    as_json = "--json" in args
    track = "--pitch-track" in args
    files = [a for a in args if not a.startswith("--")]
    if not files:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    results = []
    status = 0
    for path in files:
        try:
            if track:
                print(path)
                for t, level, f in pitch_track(path):
                    print(f"  {t * 1000:6.0f} ms  {level:6.1f} dBFS  {fmt_hz(f)} Hz")
                continue
            results.append(analyse(path))
        except (OSError, WavError) as e:
            print(f"error: {e}", file=sys.stderr)
            status = 1
    if track:
        return status
    if as_json:
        print(json.dumps(results, indent=1))
        return status
    for r in results:
        if not r["finite"]:
            print(f"{r['file']}: NON-FINITE sample at frame {r['first_bad_sample']}")
            status = 1
            continue
        if r["peak"] <= 0:
            print(f"{r['file']}: silent")
            continue
        tail = "" if r["decayed_before_end"] else "  (still sounding at the end)"
        print(f"{r['file']}: peak {r['peak_dbfs']:6.2f} dBFS  rms {r['rms_dbfs']:6.1f} dBFS  "
              f"f0 {fmt_hz(r['f0'])} Hz  f0 end {fmt_hz(r['f0_end'])} Hz  "
              f"-40 dB {r['length_40db'] * 1000:5.0f} ms  -60 dB {r['length_60db'] * 1000:5.0f} ms"
              f"{tail}")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
