# SPDX-License-Identifier: MIT
"""A terminal screen as tmux's `capture-pane -e -p` gives it (text with SGR
colour codes) turned into cells, and the cells into an HTML page that
paints them on a canvas of a fixed cell size, so the picture has the same
size on every machine and block and line glyphs join as on a terminal.
"""
import html
import json
import re

DEFAULT_FG = (0xd0, 0xd4, 0xdc)
DEFAULT_BG = (0x10, 0x14, 0x1a)
CELL_W, CELL_H, FONT_PX = 9, 18, 15

# xterm's first sixteen colours.
BASIC = [(0, 0, 0), (205, 0, 0), (0, 205, 0), (205, 205, 0), (0, 0, 238), (205, 0, 205), (0, 205, 205),
         (229, 229, 229), (127, 127, 127), (255, 0, 0), (0, 255, 0), (255, 255, 0), (92, 92, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]
CUBE = (0, 95, 135, 175, 215, 255)


def palette(n):
    """Colour n of the 256-colour palette."""
    if n < 16:
        return BASIC[n]
    if n < 232:
        n -= 16
        return CUBE[n // 36], CUBE[n // 6 % 6], CUBE[n % 6]
    g = 8 + 10 * (n - 232)
    return g, g, g


class Pen:
    def __init__(self):
        self.reset()

    def reset(self):
        self.fg = self.bg = None  # None: the terminal's default
        self.bold = self.reverse = False

    def colours(self):
        fg, bg = self.fg or DEFAULT_FG, self.bg or DEFAULT_BG
        return (bg, fg) if self.reverse else (fg, bg)


def extended(params, i):
    """38/48's colour from params[i:] (5;N or 2;R;G;B): (colour, next index)."""
    if i < len(params) and params[i] == 5 and i + 1 < len(params):
        return palette(params[i + 1] & 255), i + 2
    if i < len(params) and params[i] == 2 and i + 3 < len(params):
        return tuple(v & 255 for v in params[i + 1:i + 4]), i + 4
    return None, len(params)  # malformed: the rest of the sequence is dropped


# Simple attributes, a table instead of an if-chain: code -> (field, value).
SIMPLE = {1: ('bold', True), 22: ('bold', False), 7: ('reverse', True), 27: ('reverse', False),
          39: ('fg', None), 49: ('bg', None)}


def apply_sgr(pen, text):
    params = [int(p) if p.isdigit() else 0 for p in text.split(';')] if text else [0]
    i = 0
    while i < len(params):
        p = params[i]
        i += 1
        if p == 0:
            pen.reset()
        elif p in SIMPLE:
            setattr(pen, *SIMPLE[p])
        elif 30 <= p <= 37 or 90 <= p <= 97:
            pen.fg = BASIC[p - 30 if p < 90 else p - 82]
        elif 40 <= p <= 47 or 100 <= p <= 107:
            pen.bg = BASIC[p - 40 if p < 100 else p - 92]
        elif p in (38, 48):
            colour, i = extended(params, i)
            if colour is not None:
                setattr(pen, 'fg' if p == 38 else 'bg', colour)


ESCAPE = re.compile(r'\x1b\[([0-9;:]*)([A-Za-z])')


def parse(capture, cols, rows):
    """Rows of cells (glyph, fg, bg, bold), exactly cols by rows. The pen
    carries over line ends, as tmux writes only what changes."""
    pen = Pen()
    screen = []
    for line in capture.split('\n')[:rows]:
        cells = []
        at = 0
        for m in list(ESCAPE.finditer(line)) + [None]:
            end = m.start() if m else len(line)
            for ch in line[at:end]:
                if ch >= ' ':
                    cells.append((ch,) + pen.colours() + (pen.bold,))
            if m:
                if m.group(2) == 'm':
                    apply_sgr(pen, m.group(1).replace(':', ';'))
                at = m.end()
        screen.append((cells + [(' ', DEFAULT_FG, DEFAULT_BG, False)] * cols)[:cols])
    while len(screen) < rows:
        screen.append([(' ', DEFAULT_FG, DEFAULT_BG, False)] * cols)
    return screen


def plain_text(screen):
    return '\n'.join(''.join(c[0] for c in row).rstrip() for row in screen)


def hex_colour(rgb):
    return '#%02x%02x%02x' % rgb


PAGE = '''<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>%(title)s</title>
<style>html, body { margin: 0; background: %(bg)s; } canvas { display: block; }</style></head>
<body><canvas id="screen" width="%(w)d" height="%(h)d"></canvas>
<script>
'use strict';
const CW = %(cw)d, CH = %(ch)d, FONT = '%(font)dpx "DejaVu Sans Mono", monospace';
const rows = %(rows)s;
// Line glyphs by the sides they reach (l, r, u, d): drawn, so they join.
const LINES = { '\\u2500': 'lr', '\\u2502': 'ud', '\\u250c': 'rd', '\\u2510': 'ld', '\\u2514': 'ur',
  '\\u2518': 'ul', '\\u251c': 'udr', '\\u2524': 'udl', '\\u252c': 'lrd', '\\u2534': 'lru', '\\u253c': 'lrud' };
const ctx = document.getElementById('screen').getContext('2d');
ctx.textBaseline = 'middle';
rows.forEach((row, r) => row.forEach(([ch, fg, bg, bold], c) => {
  const x = c * CW, y = r * CH;
  ctx.fillStyle = bg;
  ctx.fillRect(x, y, CW, CH);
  ctx.fillStyle = fg;
  const code = ch.codePointAt(0);
  if (code >= 0x2581 && code <= 0x2588) {
    const h = Math.round(CH * (code - 0x2580) / 8);  // lower eighths
    ctx.fillRect(x, y + CH - h, CW, h);
  } else if (LINES[ch]) {
    const mx = x + Math.floor(CW / 2), my = y + Math.floor(CH / 2);
    for (const side of LINES[ch]) {
      if (side === 'l') ctx.fillRect(x, my, mx - x + 1, 1);
      if (side === 'r') ctx.fillRect(mx, my, x + CW - mx, 1);
      if (side === 'u') ctx.fillRect(mx, y, 1, my - y + 1);
      if (side === 'd') ctx.fillRect(mx, my, 1, y + CH - my);
    }
  } else if (ch !== ' ') {
    ctx.font = (bold ? 'bold ' : '') + FONT;
    ctx.fillText(ch, x, y + CH / 2 + 1);
  }
}));
document.body.dataset.painted = 'yes';
</script></body></html>
'''


def page(screen, title='terminal'):
    """The HTML page and its size in pixels (width, height)."""
    rows = [[[c[0], hex_colour(c[1]), hex_colour(c[2]), 1 if c[3] else 0] for c in row] for row in screen]
    w, h = CELL_W * len(screen[0]), CELL_H * len(screen)
    text = PAGE % dict(title=html.escape(title), bg=hex_colour(DEFAULT_BG), w=w, h=h, cw=CELL_W, ch=CELL_H,
                       font=FONT_PX, rows=json.dumps(rows, ensure_ascii=True))
    return text, (w, h)
