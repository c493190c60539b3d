"""Reads and writes 8-bit RGBA, non-interlaced PNG files with nothing but zlib.

The module decodes every image when the first editor in a process is drawn,
so the files are written for the cheapest decoding: no row filter at all, so
the inflated stream is the pixels themselves, deflated at the highest level.
For this artwork that is also the smallest encoding: its repeats (knob frames,
flat panels) are found by deflate, and a filter's residues break them up.
Measured on the nine images: Paeth and Avg rows cost the decoder five times
the instructions of unfiltered ones, and even Sub and Up rows double them.
"""

import struct
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
BYTES_PER_PIXEL = 4
NONE, SUB, UP, AVG, PAETH = range(5)


class PngError(Exception):
    pass


def chunks(data):
    """(kind, body) of every chunk, checking each CRC."""
    if data[:8] != SIGNATURE:
        raise PngError("not a PNG signature")
    pos = 8
    while pos + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length:
            raise PngError(f"{kind!r} chunk cut short")
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) != crc:
            raise PngError(f"{kind!r} chunk checksum")
        yield kind, body
        pos += 12 + length
        if kind == b"IEND":
            return
    raise PngError("no IEND chunk")


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def unfilter_row(kind, row, prior):
    out = bytearray(row)
    bpp = BYTES_PER_PIXEL
    for i in range(len(out)):
        a = out[i - bpp] if i >= bpp else 0
        b = prior[i]
        c = prior[i - bpp] if i >= bpp else 0
        if kind == NONE:
            pred = 0
        elif kind == SUB:
            pred = a
        elif kind == UP:
            pred = b
        elif kind == AVG:
            pred = (a + b) >> 1
        elif kind == PAETH:
            pred = paeth(a, b, c)
        else:
            raise PngError(f"row filter {kind}")
        out[i] = (out[i] + pred) & 0xFF
    return bytes(out)


def read_rgba(path):
    """(width, height, RGBA bytes, row filters used) of an 8-bit RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    header = None
    idat = b""
    for kind, body in chunks(data):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    if header is None:
        raise PngError("no IHDR chunk")
    width, height, depth, colour, _compression, _filter, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise PngError(f"depth {depth} colour type {colour} interlace {interlace}: not 8-bit RGBA")
    stride = width * BYTES_PER_PIXEL
    raw = zlib.decompress(idat)
    if len(raw) != height * (stride + 1):
        raise PngError("image data has the wrong length")
    rows, filters = [], []
    prior = bytes(stride)
    for y in range(height):
        start = y * (stride + 1)
        filters.append(raw[start])
        prior = unfilter_row(raw[start], raw[start + 1:start + 1 + stride], prior)
        rows.append(prior)
    return width, height, b"".join(rows), filters


def encode_rgba(width, height, rgba):
    """A PNG file's bytes for the RGBA pixels, every row unfiltered."""
    stride = width * BYTES_PER_PIXEL
    if len(rgba) != stride * height:
        raise PngError("pixel data does not match the size")
    raw = bytearray()
    for y in range(height):
        raw.append(NONE)
        raw += rgba[y * stride:(y + 1) * stride]

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    compressor = zlib.compressobj(9, zlib.DEFLATED, 15, 9)
    idat = compressor.compress(bytes(raw)) + compressor.flush()
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return SIGNATURE + chunk(b"IHDR", ihdr) + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


def write_rgba(path, width, height, rgba):
    """Writes the file, then reads it back: the pixels must survive exactly."""
    data = encode_rgba(width, height, rgba)
    with open(path, "wb") as f:
        f.write(data)
    w, h, back, _ = read_rgba(path)
    if (w, h, back) != (width, height, rgba):
        raise PngError(f"{path}: pixels changed in writing")
