#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The page's average trace in headless Chromium: the page's own model fed
frames of known levels must average their power (mW), as a spectrum analyser
does, not their dB values.
"""
import argparse
import math
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser_test as bt  # noqa: E402  (re-executes under /usr/bin/python3 for selenium)

# Feeds a fresh model one 4-bin frame per level; the first bin's average.
AVERAGE_OF = '''
const M = rfw.model;
const m = M.create();
for (const dbm of arguments[0]) {
  const n = 4;
  const buf = new ArrayBuffer(M.HEADER + 2 * n);
  const v = new DataView(buf);
  v.setUint8(0, 1); v.setUint16(2, 2437, true); v.setUint16(4, 20, true); v.setUint16(10, n, true);
  for (let i = 0; i < n; i++) v.setInt16(M.HEADER + 2 * i, Math.round(dbm * 100), true);
  if (!M.applyFrame(m, buf, 0)) return null;
}
for (const s of m.dets[0].segments.values()) return s.avg[0];
return null;
'''


def power_average(levels, weight=0.1):
    mw = None
    for dbm in levels:
        p = 10 ** (dbm / 10)
        mw = p if mw is None else mw + (p - mw) * weight
    return 10 * math.log10(mw)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--web', required=True)
    ap.add_argument('--out', required=True)
    args = ap.parse_args()
    for tool in (bt.CHROMIUM, bt.CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print(f'SKIPPED: {tool} is not installed', flush=True)
            return bt.SKIP
    os.makedirs(args.out, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix='rfwatch-web-model-')
    web = bt.Web(args.web, os.path.join(tmp, 'no-daemon.sock'), os.path.join(args.out, 'rfwatch-web.log'))
    web.start()
    page = None
    passed = failed = 0
    # A steady level stays itself; a burst among quiet lines counts for its
    # energy (about 10 dB above the quiet average of dB for these).
    cases = [[-70.0] * 5, [-50.0, -90.0], [-90.0] * 9 + [-40.0], [-40.0, -90.0, -90.0, -90.0]]
    try:
        page = bt.Page(f'http://127.0.0.1:{web.port}/', args.out)
        for levels in cases:
            got = page.js(AVERAGE_OF, levels)
            want = power_average(levels)
            if got is not None and abs(got - want) < 0.01:
                passed += 1
                print(f'ok: {levels} average {got:.2f} dBm', flush=True)
            else:
                failed += 1
                print(f'FAIL: {levels}: average {got}, not {want:.2f} dBm (the power average)', flush=True)
    finally:
        if page:
            page.quit()
        web.stop()
        shutil.rmtree(tmp, ignore_errors=True)
    print(f'{passed} passed, {failed} failed', flush=True)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
