#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""tools/shots/png_out: pictures written with every row filter, RGB and RGBA,
come back as palette pictures of the same pixels (exactly up to 256 colours;
beyond, the commonest exact and the rest near) with their text; a kind it
does not read (16-bit) is kept as it is."""
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'tools', 'shots'))
import png_out  # noqa: E402

W, H = 60, 40


def encode(pixels, colour=2, depth=8):
    """Row y filtered with filter y % 5 (Paeth written out here, not png_out's)."""
    bpp, raw = len(pixels[0]), b''
    rows = [b''.join(pixels[y * W:(y + 1) * W]) for y in range(H)]
    for y, row in enumerate(rows):
        prev, kind = rows[y - 1] if y else bytes(len(row)), y % 5
        for i in range(-1, len(row)):
            a, b, c = (row[i - bpp], prev[i], prev[i - bpp]) if i >= bpp else (0, prev[i], 0)
            p = a + b - c
            pred = [0, a, b, (a + b) // 2, min((abs(p - a), 0, a), (abs(p - b), 1, b), (abs(p - c), 2, c))[2]][kind]
            raw += bytes([kind if i < 0 else (row[i] - pred) & 255])
    ihdr = struct.pack('>IIBBBBB', W, H, depth, colour, 0, 0, 0)
    return png_out.SIGNATURE + png_out.chunk(b'IHDR', ihdr) + png_out.chunk(b'IDAT', zlib.compress(raw))


def scattered(n):  # n colours in no order zlib can use, as a waterfall's noise
    return [bytes((k % 20 * 12, k // 20 * 12, 7)) for k in ((i * 7919) % 9973 % n for i in range(W * H))]


def main():
    failed = []
    for name, pixels, alpha, exact in (('few', scattered(200), 0, W * H), ('rgba', scattered(200), 1, W * H),
                                       ('many', scattered(400), 0, 256)):
        src = encode([p + b'\xff' for p in pixels] if alpha else pixels, 6 if alpha else 2) + png_out.chunk(b'IEND', b'')
        parts = dict(png_out.chunks(png_out.compact(src, {'Description': 'dBm \u2581'})))
        raw, plte = zlib.decompress(parts[b'IDAT']), parts.get(b'PLTE', b'')
        rows = [raw[y * (W + 1):(y + 1) * (W + 1)] for y in range(H)]
        out = [plte[3 * i:3 * i + 3] for row in rows if row[0] == 0 for i in row[1:]]
        diff = [max(abs(p - q) for p, q in zip(a, b)) for a, b in zip(out, pixels)]
        if len(out) != W * H or sum(d == 0 for d in diff) < exact or max(diff, default=99) > 12:
            failed.append(f'{name}: {len(out)} palette pixels, {sum(d == 0 for d in diff)} exact')
        text = parts.get(b'iTXt', b'\0' * 5).split(b'\0', 4)
        if text[0] != b'Description' or zlib.decompress(text[4]).decode() != 'dBm \u2581':
            failed.append(f'{name}: text {text}')
    deep = encode([bytes(6)] * W * H, 2, 16) + png_out.chunk(b'IEND', b'')
    failed += ['a 16-bit picture was changed'] * (png_out.compact(deep) != deep)
    print('\n'.join(failed) or 'ok')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
