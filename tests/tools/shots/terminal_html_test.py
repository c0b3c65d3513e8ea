#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""tools/shots/terminal_html: tmux's SGR codes into cells (colours of the
three depths, bold, reverse, the pen kept across lines, a malformed code),
the screen held to its size, the page's canvas to the screen's."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'tools', 'shots'))
import terminal_html as t  # noqa: E402

FG, BG = t.DEFAULT_FG, t.DEFAULT_BG
# capture, (row, column), the cell wanted there
CASES = [
    ('\x1b[38;2;10;200;30mAB', (0, 1), ('B', (10, 200, 30), BG, False)),
    ('\x1b[48;5;196mC', (0, 0), ('C', FG, (255, 0, 0), False)),
    ('\x1b[38;5;67mD', (0, 0), ('D', (95, 135, 175), BG, False)),
    ('\x1b[48;5;244mE', (0, 0), ('E', FG, (128, 128, 128), False)),
    ('\x1b[1;7mF', (0, 0), ('F', BG, FG, True)),
    ('\x1b[31;104mG\x1b[39mH', (0, 1), ('H', FG, (92, 92, 255), False)),
    ('\x1b[95mI\x1b[0mJ', (0, 0), ('I', (255, 0, 255), BG, False)),
    ('\x1b[44mK\nL', (1, 0), ('L', FG, (0, 0, 238), False)),
    ('\x1b[38;5mM\x1b[27mN', (0, 1), ('N', FG, BG, False)),
    ('\x1b[7mO\x1b[27mP', (0, 1), ('P', FG, BG, False)),
    ('\u2581\u2588x', (0, 1), ('\u2588', FG, BG, False)),
    ('short', (0, 7), (' ', FG, BG, False)),
]


def main():
    failed = [f'{capture!r} at {r},{c}: {t.parse(capture, 8, 3)[r][c]}, want {want}'
              for capture, (r, c), want in CASES if t.parse(capture, 8, 3)[r][c] != want]
    wide = t.parse('x' * 20 + '\n' * 10 + 'lost', 8, 3)
    if t.plain_text(wide) != 'xxxxxxxx\n\n' or len(wide) != 3 or any(len(row) != 8 for row in wide):
        failed.append(f'not held to 8x3: {t.plain_text(wide)!r}')
    html, size = t.page(t.parse('ab', 9, 2))
    if size != (9 * t.CELL_W, 2 * t.CELL_H) or f'width="{size[0]}" height="{size[1]}"' not in html:
        failed.append(f'page of {size}')
    print('\n'.join(failed) or 'ok')
    return 1 if failed else 0

if __name__ == '__main__':
    sys.exit(main())
