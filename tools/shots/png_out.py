# SPDX-License-Identifier: MIT
"""Chromium's PNG made compact for the repository, with text chunks added.

Chromium writes 24-bit colour at a fast compression. A screenshot of the
page holds a few thousand colours, most of its pixels in a few hundred (the
panels, the colour scales), so it is kept as an 8-bit palette: the 256
commonest colours, each other colour drawn as the nearest of them (what a
palette optimiser would do, without one installed). Works in pure Python;
a picture it cannot read (interlaced, 16-bit, ...) is kept as it is.
"""
import collections
import struct
import zlib

SIGNATURE = b'\x89PNG\r\n\x1a\n'
BYTES_PER_PIXEL = {2: 3, 6: 4}  # colour type: RGB, RGBA (what Chromium writes)


def chunks(data):
    if not data.startswith(SIGNATURE):
        raise ValueError('not a PNG')
    at = len(SIGNATURE)
    while at + 8 <= len(data):
        n, kind = struct.unpack_from('>I4s', data, at)
        yield kind, data[at + 8:at + 8 + n]
        at += 12 + n


def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))


def text_chunk(key, value):
    # iTXt: UTF-8 (a terminal screen holds block and line glyphs), compressed.
    return chunk(b'iTXt', key.encode('latin-1') + b'\0\x01\0\0\0' + zlib.compress(value.encode(), 9))


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def unfilter(kind, line, prev, bpp):
    if kind == 1:
        for i in range(bpp, len(line)):
            line[i] = (line[i] + line[i - bpp]) & 255
    elif kind == 2:
        for i in range(len(line)):
            line[i] = (line[i] + prev[i]) & 255
    elif kind == 3:
        for i in range(len(line)):
            line[i] = (line[i] + ((line[i - bpp] if i >= bpp else 0) + prev[i]) // 2) & 255
    elif kind == 4:
        for i in range(len(line)):
            left, up_left = (line[i - bpp], prev[i - bpp]) if i >= bpp else (0, 0)
            line[i] = (line[i] + paeth(left, prev[i], up_left)) & 255
    elif kind != 0:
        raise ValueError(f'filter type {kind}')


def rgb_rows(parts):
    """(width, height, rows of RGB bytes), or None for a kind not handled."""
    w, h, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', parts[0][1])
    if depth != 8 or interlace or colour not in BYTES_PER_PIXEL:
        return None
    bpp = BYTES_PER_PIXEL[colour]
    raw = zlib.decompress(b''.join(b for k, b in parts if k == b'IDAT'))
    stride = w * bpp
    prev = bytearray(stride)
    rows = []
    for y in range(h):
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        unfilter(raw[y * (stride + 1)], line, prev, bpp)
        rows.append(bytes(line) if bpp == 3 else bytes(b for i, b in enumerate(line) if i % 4 != 3))
        prev = line
    return w, h, rows


def nearest(colour, palette):
    r, g, b = colour
    return min(range(len(palette)),
               key=lambda i: (palette[i][0] - r) ** 2 * 3 + (palette[i][1] - g) ** 2 * 4 + (palette[i][2] - b) ** 2 * 2)


def palette_png(w, h, rows):
    counts = collections.Counter()
    for row in rows:
        counts.update(row[i:i + 3] for i in range(0, len(row), 3))
    palette = [c for c, _ in counts.most_common(256)]
    index = {c: i for i, c in enumerate(palette)}
    for c in counts:
        if c not in index:
            index[c] = nearest(c, palette)
    body = b''.join(b'\0' + bytes(map(index.__getitem__, (row[i:i + 3] for i in range(0, len(row), 3))))
                    for row in rows)
    return [(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 3, 0, 0, 0)), (b'PLTE', b''.join(palette)),
            (b'IDAT', zlib.compress(body, 9))]


def assemble(parts, texts):
    body = b''.join(chunk(k, b) for k, b in parts if k != b'IEND')
    return SIGNATURE + body + b''.join(text_chunk(k, v) for k, v in texts.items()) + chunk(b'IEND', b'')


def compact(data, texts=None):
    """The smaller of Chromium's picture and its palette form, with texts
    ({keyword: text}) added."""
    parts = list(chunks(data))
    texts = texts or {}
    as_is = assemble(parts, texts)
    pixels = rgb_rows(parts)
    if pixels is None:
        return as_is
    small = assemble(palette_png(*pixels), texts)
    return small if len(small) < len(as_is) else as_is
