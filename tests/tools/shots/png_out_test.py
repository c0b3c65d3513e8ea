#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""tools/shots/png_out: pictures written with every row filter, in RGB and
RGBA, come back as palette pictures with the same pixels (exactly, up to 256
colours; beyond, the commonest exact and the rest near), with their text;
a kind it does not read (16-bit) is kept as it is."""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'tools', 'shots'))
import png_out  # noqa: E402


def predictor(kind, a, b, c):
    p = a + b - c  # Paeth: the nearest of the three to p, ties to a, then b
    return [0, a, b, (a + b) // 2, min((abs(p - a), 0, a), (abs(p - b), 1, b), (abs(p - c), 2, c))[2]][kind]


def encode(pixels, w, h, colour=2, depth=8):
    """Row y filtered with filter y % 5."""
    bpp = len(pixels[0])
    rows = [b''.join(pixels[y * w:(y + 1) * w]) for y in range(h)]
    raw = b''
    for y, row in enumerate(rows):
        prev = rows[y - 1] if y else bytes(len(row))
        left = lambda r, i: r[i - bpp] if i >= bpp else 0  # noqa: E731
        raw += bytes([y % 5]) + bytes((row[i] - predictor(y % 5, left(row, i), prev[i], left(prev, i))) & 255
                                      for i in range(len(row)))
    return (png_out.SIGNATURE + png_out.chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, depth, colour, 0, 0, 0))
            + png_out.chunk(b'IDAT', zlib.compress(raw)) + png_out.chunk(b'IEND', b''))


def decode_palette(data):
    parts = dict(png_out.chunks(data))
    w, h, depth, colour = struct.unpack_from('>IIBB', parts[b'IHDR'])
    assert (depth, colour) == (8, 3), (depth, colour)
    plte = parts[b'PLTE']
    raw = zlib.decompress(parts[b'IDAT'])
    assert all(raw[y * (w + 1)] == 0 for y in range(h))
    return [plte[3 * i:3 * i + 3] for y in range(h) for i in raw[y * (w + 1) + 1:(y + 1) * (w + 1)]], parts


def main():
    w, h = 60, 40

    def scattered(n):  # n colours in no order zlib can use, as a waterfall's noise
        return [bytes((k % 20 * 12, k // 20 * 12, 7)) for k in ((i * 7919) % 9973 % n for i in range(w * h))]
    few, many = scattered(200), scattered(400)
    failed = []
    for name, pixels, alpha, exact in (('few', few, False, 400), ('rgba', few, True, 400), ('many', many, False, 0)):
        src = [p + b'\xff' for p in pixels] if alpha else pixels
        out, parts = decode_palette(png_out.compact(encode(src, w, h, 6 if alpha else 2), {'Description': 'dBm \u2581'}))
        diff = [max(abs(p - q) for p, q in zip(a, b)) for a, b in zip(out, pixels)]
        if len(out) != w * h or sum(d == 0 for d in diff) < max(exact, 256) or max(diff) > 12:
            failed.append(f'{name}: {sum(d == 0 for d in diff)} pixels exact, worst off by {max(diff)}')
        text = parts.get(b'iTXt', b'').split(b'\0', 4)
        if text[0] != b'Description' or zlib.decompress(text[-1]).decode() != 'dBm \u2581':
            failed.append(f'{name}: text {text}')
    deep = encode([bytes(6)] * 4, 2, 2, 2, 16)
    if png_out.compact(deep) != deep:
        failed.append('a 16-bit picture was changed')
    print('\n'.join(failed) or 'ok')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
