#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The page's recordings in headless Chromium: one of the C++ writer plays
in the views (peak, a text line's segment, air panel, header) and the slider
seeks; the record button's download of the live page is checked here by the
layout alone, then plays back. Leaves a screenshot of a recording playing.
"""
import argparse
import glob
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser_test as bt  # noqa: E402  (re-executes under /usr/bin/python3 for selenium)

T0 = 1765315650000000  # µs: the recording's first line
# Two tones one after the other, so the peak tells which part was played.
EARLY = dict(detector=0, freq=2437, width=20, n=64, bin=40, dbm=-42.37)
LATE = dict(EARLY, bin=20, dbm=-35.0)
TEXT_SEG = dict(detector=0, freq=5180, width=20, n=64, bin=10, dbm=-61.5)


def cpp_recording(tool, path):
    """3 s of 10 lines a second, the late tone from 2 s on; an air line a
    second; a line kept as text (its bin_count is not its bins' length)."""
    rows = []
    for i in range(30):
        seg = LATE if i >= 20 else EARLY
        rows.append((T0 + i * 100000, bt.segment_line(seg).replace('"noise_dbm":-95', '"noise_dbm":-109')))
        if i % 10 == 5:
            rows.append((T0 + i * 100000 + 1, bt.AIR[0]))
    text = bt.segment_line(TEXT_SEG).replace('"bin_count":64', '"bin_count":65')
    rows.insert(3, (T0 + 250000, text))
    subprocess.run([tool, path, '--radio', 'wlan7'], input=''.join(f'{t}\t{line}\n' for t, line in rows),
                   text=True, check=True)
    return len(rows)


def read_recording(path):
    """Header and records; every CRC checked with zlib."""
    data = open(path, 'rb').read()
    assert data[:8] == b'RFWREC\x01\x00', data[:8]
    n, = struct.unpack_from('<I', data, 8)
    assert struct.unpack_from('<I', data, 12 + n)[0] == zlib.crc32(data[:12 + n]), 'header CRC'
    header, at, records = json.loads(data[12:12 + n]), 16 + n, []
    while at < len(data):
        size, kind, t = struct.unpack_from('<IBQ', data, at)
        end = at + 13 + size
        assert struct.unpack_from('<I', data, end)[0] == zlib.crc32(data[at:end]), f'record CRC at {at}'
        records.append((kind, t, data[at + 13:end]))
        at = end + 4
    return header, records


def play(page, path, shot=None):
    """Opens a recording, waits until it has played to its end; its header."""
    page.el('open-recording').send_keys(path)
    # Opened, not "playing": a stalled machine may see it only at its end.
    bt.poll('opened', lambda: page.el('playback-header').get_attribute('data-records'))
    if shot:
        page.d.save_screenshot(shot)
    bt.poll('played to its end', lambda: page.el('play').get_attribute('aria-pressed') == 'false')
    return {k: page.el('playback-header').get_attribute('data-' + k) for k in ('radio', 'driver', 'records', 'end')}


SEGMENT_AT = '''for (const s of rfw.app.model.dets[0].segments.values()) if (s.freq === arguments[0])
  return s.cur[arguments[1]];'''
SEEK = "const s = document.getElementById('playback-time'); s.value = arguments[0]; s.dispatchEvent(new Event('input'));"


def test_cpp_recording(page, tool, tmp, out):
    path = os.path.join(tmp, 'made.rfwrec')
    count = cpp_recording(tool, path)
    head = play(page, path, os.path.join(out, 'recording-playing.png'))
    assert head == {'radio': 'wlan7', 'driver': 'ath11k', 'records': str(count), 'end': 'whole'}, head
    bt.poll('the late tone is the peak', lambda: bt.peak_is(LATE)(page))
    got = page.js(SEGMENT_AT, TEXT_SEG['freq'], TEXT_SEG['bin'])
    assert got is not None and abs(got - TEXT_SEG['dbm']) < 0.01, f'text line not shown: {got}'
    assert page.js("return document.querySelector('#air-channels [data-channel=\"6\"]') !== null"), 'air not shown'
    clock = page.text('playback-clock')
    page.js(SEEK, 500)
    bt.poll('the clock follows the slider', lambda: page.text('playback-clock') not in ('', clock))
    bt.poll('seeking back shows the early tone', lambda: bt.peak_is(EARLY)(page))
    page.el('live').click()
    header = page.el('playback-header')
    assert (header.text, header.get_attribute('data-records')) == ('no recording open', None), header.text


def test_record(page, daemon, tmp):
    downloads = os.path.join(tmp, 'downloads')
    os.makedirs(downloads)
    page.d.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
    bt.poll('live lines', lambda: bt.peak_is(bt.TONE0)(page))
    began = time.time()
    page.el('record').click()
    daemon.wait_rounds(8, bt.DEADLINE)  # 32 lines
    bt.poll('size shown', lambda: int(page.el('record-size').get_attribute('data-bytes')) > 2000)
    page.el('record').click()
    ended = time.time()
    # Chromium reserves the name with an empty file before writing the
    # download: it is whole when it has the size the page offered.
    bt.poll('stopped', lambda: page.el('record').get_attribute('aria-pressed') == 'false')
    size = int(page.el('record-size').get_attribute('data-bytes'))
    files = bt.poll('the download', lambda: [f for f in glob.glob(os.path.join(downloads, '*.rfwrec'))
                                             if os.path.getsize(f) == size])
    name = os.path.basename(files[0])
    assert re.fullmatch(r'rfwatch-\d{8}T\d{6}Z\.rfwrec', name), name
    header, records = read_recording(files[0])
    assert header['recorder'] == 'rfwatch-web page' and header['driver'] == 'ath11k', header
    assert abs(header['started_us'] / 1e6 - began) < 5, (header['started_us'], began)
    frames = [body for kind, t, body in records if kind == 1]
    air = [json.loads(body) for kind, t, body in records if kind == 2]
    assert len(frames) >= 16 and all(began - 5 < t / 1e6 < ended + 5 for _, t, _ in records), len(frames)
    tone = [f for f in frames if struct.unpack_from('<BBH', f)[2] == bt.TONE0['freq']]
    want = round(bt.TONE0['dbm'] * 100)
    assert tone and all(struct.unpack_from('<h', f, 24 + 2 * bt.TONE0['bin'])[0] == want for f in tone), 'frame bytes'
    assert air and all(a['air'] == 1 for a in air), air
    assert play(page, files[0])['end'] == 'whole'
    bt.poll('its own recording plays back', lambda: bt.peak_is(bt.TONE0)(page))
    page.el('live').click()


def main():
    ap = argparse.ArgumentParser()
    for opt in ('--web', '--fake-rfwatchd', '--make-recording', '--out'):
        ap.add_argument(opt, required=True)
    args = ap.parse_args()
    missing = [tool for tool in (bt.CHROMIUM, bt.CHROMEDRIVER) if not os.access(tool, os.X_OK)]
    if missing:
        print(f'SKIPPED: {missing[0]} is not installed: the page\'s recordings are not checked', flush=True)
        return bt.SKIP
    os.makedirs(args.out, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix='rfwatch-web-recording-')
    daemon = bt.StandInDaemon(args.fake_rfwatchd, os.path.join(tmp, 'rfwatchd.sock'))
    daemon.start()
    web = bt.Web(args.web, daemon.path, os.path.join(args.out, 'rfwatch-web.log'))
    web.start()
    page, passed, failed = None, 0, 0
    steps = (('a C++ recording plays', lambda: test_cpp_recording(page, args.make_recording, tmp, args.out)),
             ('the record button', lambda: test_record(page, daemon, tmp)))
    try:
        page = bt.Page(f'http://127.0.0.1:{web.port}/', args.out)
        for name, step in steps:
            try:
                step()
                passed += 1
                print(f'ok: {name}', flush=True)
            except (AssertionError, bt.WebDriverException) as e:
                failed += 1
                print(f'FAIL: {name}: {type(e).__name__}: {e}', flush=True)
                bt.keep_evidence(page, args.out, name)
        errors = bt.browser_errors(page)  # the log is read once: reading empties it
        if errors:
            failed += 1
            print(f'FAIL: script errors in the page: {errors}', flush=True)
        print(f'screenshot: {os.path.join(args.out, "recording-playing.png")}', flush=True)
    finally:
        if page:
            page.quit()
        web.stop()
        daemon.stop()
        shutil.rmtree(tmp, ignore_errors=True)
    print(f'{passed} passed, {failed} failed', flush=True)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
