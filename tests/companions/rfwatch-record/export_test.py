#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""rfwatch-record's exports end to end: recordings made by make-recording,
exported to CSV and SigMF, read back with Python's csv and json modules;
refused inputs and outputs; a torn tail; and the peak memory of a large
export against a small one's (it must stream).
"""
import argparse
import csv
import datetime
import json
import math
import os
import struct
import subprocess
import sys
import tempfile

T0 = 1765315200_000000  # µs
S = 1000000


def spectrum_line(freq, bw, bins, agg, noise=-109, rssi=0, fmt='%.2f'):
    text = ','.join('null' if b is None else fmt % b for b in bins)
    return (f'{{"detector":0,"freq_mhz":{freq},"bandwidth_mhz":{bw},"noise_dbm":{noise},"rssi":{rssi},'
            f'"timestamp":7,"num_aggregated":{agg},"bin_count":{len(bins)},"bins":[{text}]}}')


def air_line(freq, signals, window_ms=1000):
    sig = ','.join(f'{{"class":"{c}","mhz":{m:.1f},"width_mhz":{w:.1f},"dbm":{d:.1f},"duty":{u:.3f},'
                   f'"confidence":0.900,"first_seen":{fs},"age_ms":100}}' for c, fs, m, w, d, u in signals)
    return (f'{{"air":1,"driver":"ath11k","freq_mhz":{freq},"bandwidth_mhz":20,"timestamp":1,'
            f'"window_ms":{window_ms},"reports":200,"noise_floor_dbm":-95.0,"busy_threshold_dbm":-85.0,'
            f'"channels":[],"signals":[{sig}]}}')


def bins_of(n, base):
    return [base - (j % 7) * 1.25 for j in range(n)]


# (arrival s, freq, width, bins, samples, expected row time s, line format).
# A frequency seen again begins a sweep: 5190 joins 2437's at 1 s; the
# sweep from 3.9 s crosses a second and its rows keep 3 s.
SPECTRA = [
    (0.0, 2437, 20, bins_of(8, -90)[:3] + [None] + bins_of(8, -90)[4:], 3, 0.0, '%.2f'),
    (1.0, 2437, 20, bins_of(8, -80), 4, 1.0, '%.2f'),
    (2.0, 5190, 40, bins_of(16, -70), 7, 1.0, '%.2f'),
    (3.9, 2437, 20, bins_of(8, -60), 1, 3.9, '%.2f'),
    (4.1, 2412, 20, bins_of(8, -61), 1, 3.9, '%.2f'),
    (4.3, 2462, 20, bins_of(8, -62), 1, 3.9, '%.2f'),
    (4.5, 2437, 20, bins_of(8, -63), 1, 4.5, '%.2f'),
    (6.0, 2437, 20, [-50 - 0.5 * j for j in range(8)], 2, 6.0, '%.1f'),  # not the daemon's form: a Line record
]
# (arrival s, freq, signals (class, first_seen, mhz, width, dbm, duty)).
AIR = [
    (0.5, 2437, [('microwave', 111, 2450, 12.5, -50, 0.5), ('hopper', 222, 2440, 2, -70, 0.1)]),
    (1.5, 2437, [('microwave', 111, 2451, 13, -48, 0.4)]),
    (2.5, 2437, [('microwave', 111, 2449, 12.5, -52, 0.6)]),
    (4.0, 2437, []),
]


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, timeout=240, **kw)


def make_recording(tool, path, timed_lines, *opts):
    text = ''.join(f'{t}\t{line}\n' for t, line in timed_lines)
    r = run([tool, path, *opts], input=text)
    assert r.returncode == 0, r.stderr


def ath10k_dbm(m, noise, rssi):
    """rfwatchd(8), AIR LINES, levels: restated independently of the C++."""
    rssi = rssi - 256 if rssi > 127 else rssi
    energy = sum(x * x if x > 0 else 0.25 for x in m)
    base = noise + rssi - 10 * math.log10(energy)
    zero = min(base + 20 * math.log10(0.5), noise)
    return [base + 20 * math.log10(x) if x > 0 else zero for x in m]


class Check:
    failed = 0

    def __call__(self, ok, what):
        if not ok:
            Check.failed += 1
            print('FAIL:', what, flush=True)


check = Check()


def check_csv(path, spectra):
    with open(path, newline='') as f:
        rows = list(csv.reader(f, skipinitialspace=True))
    check(len(rows) == len(spectra), f'{len(rows)} rows for {len(spectra)} lines')
    for i, (row, (t, freq, bw, bins, agg, row_t)) in enumerate(zip(rows, spectra)):
        when = datetime.datetime.fromtimestamp(T0 // S + int(row_t), datetime.timezone.utc)
        want = [when.strftime('%Y-%m-%d'), when.strftime('%H:%M:%S'), str((freq * 2 - bw) * 500000),
                str((freq * 2 + bw) * 500000), '%.2f' % (bw * 1e6 / len(bins)), str(agg)]
        check(row[:6] == want, f'row {i} {row[:6]} != {want}')
        check(len(row) == 6 + len(bins), f'row {i}: {len(row) - 6} values for {len(bins)} bins')
        for j, (got, b) in enumerate(zip(row[6:], bins)):
            check((got == '') if b is None else abs(float(got) - b) <= 0.0051, f'row {i} bin {j}: {got} for {b}')


def check_sigmf(folder, name, spectra, air):
    meta = json.load(open(os.path.join(folder, name + '.sigmf-meta')))
    g = meta['global']
    for key, want in (('core:datatype', 'rf32_le'), ('core:version', '1.0.0'), ('core:recorder', 'rfwatch-record')):
        check(g.get(key) == want, f'global {key}: {g.get(key)}')
    check(any(e['name'] == 'wifidiag' for e in g.get('core:extensions', [])), 'wifidiag declared')
    data = open(os.path.join(folder, name + '.sigmf-data'), 'rb').read()
    total = sum(len(s[3]) for s in spectra)
    check(len(data) == 4 * total, f'data {len(data)} bytes for {total} bins')
    values = struct.unpack(f'<{len(data) // 4}f', data)
    starts, at, previous, expect_caps = [], 0, None, []
    for t, freq, bw, bins, *_ in spectra:
        starts.append((t, at))
        if (freq, bw, len(bins)) != previous:
            expect_caps.append((at, freq * 1e6, len(bins), bw * 1e6))
        previous = (freq, bw, len(bins))
        for j, b in enumerate(bins):
            v = values[at + j]
            check(math.isnan(v) if b is None else abs(v - b) < 1e-3, f'sample {at + j}: {v} for {b}')
        at += len(bins)
    caps = [(c['core:sample_start'], c['core:frequency'], c['wifidiag:bins'], c['wifidiag:bandwidth_hz'])
            for c in meta['captures'] if 'core:datetime' in c]
    check(caps == expect_caps, f'captures {caps} != {expect_caps}')
    # Each signal: from the first sample of the window of the first air line
    # naming it to the samples written when the last one did.
    runs = {}
    for t, _, signals in air:
        written = sum(len(s[3]) for s in spectra if s[0] <= t)
        first = min((a for s, a in starts if s >= t - 1.0), default=written)
        for c, fs, m, w, d, u in signals:
            lo, hi, st = runs.get((c, fs), (1e12, 0, first))[:3]
            runs[(c, fs)] = (min(lo, (m - w / 2) * 1e6), max(hi, (m + w / 2) * 1e6), st, written)
    want = sorted((st, end - st, lo, hi, c) for (c, _), (lo, hi, st, end) in runs.items())
    got = [(a['core:sample_start'], a['core:sample_count'], a['core:freq_lower_edge'],
            a['core:freq_upper_edge'], a['core:label']) for a in meta['annotations']]
    check(sorted(got) == want, f'annotations {got} != {want}')
    check([a[0] for a in got] == sorted(a[0] for a in got), 'annotations sorted by sample_start')


def peak_rss_kib(cmd, tmp):
    # The driver's own image's peak: getrusage's would count ours too. In the
    # sanitizer build freed memory waits in AddressSanitizer's quarantine
    # (256 MiB): without it, growth is the program's own.
    peak = os.path.join(tmp, 'peak')
    asan = os.environ.get('ASAN_OPTIONS', '') + ':quarantine_size_mb=0:thread_local_quarantine_size_kb=0'
    r = run(cmd, env=dict(os.environ, EXPORT_PEAK_FILE=peak, ASAN_OPTIONS=asan.lstrip(':')))
    check(r.returncode == 0, f'{cmd}: {r.stderr}')
    return int(open(peak).read().split()[0])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--export', required=True)
    ap.add_argument('--make-recording', required=True)
    args = ap.parse_args()
    tmp = tempfile.mkdtemp(prefix='rfwatch-export-')
    p = lambda *n: os.path.join(tmp, *n)  # noqa: E731
    exp = lambda kind, i, o: run([args.export, '--export', kind, i, o])  # noqa: E731

    timed = [(T0 + int(t * S), spectrum_line(f, w, b, a, fmt=fmt)) for t, f, w, b, a, _, fmt in SPECTRA]
    timed += [(T0 + int(t * S), air_line(f, sigs)) for t, f, sigs in AIR]
    timed.sort()
    make_recording(args.make_recording, p('a11.rfwrec'), timed, '--driver', 'ath11k')
    for kind, out in (('csv', p('a11.csv')), ('sigmf', p('sigmf'))):
        r = exp(kind, p('a11.rfwrec'), out)
        check(r.returncode == 0 and r.stderr == '', f'{kind}: {r.returncode} {r.stderr}')
    check_csv(p('a11.csv'), [s[:6] for s in SPECTRA])
    check_sigmf(p('sigmf'), 'a11', SPECTRA, AIR)
    check(sorted(os.listdir(p('sigmf'))) == ['a11.sigmf-data', 'a11.sigmf-meta'], 'temporaries removed')

    # ath10k: magnitudes become dBm by the level rule (rssi 246: -10 dBm).
    mags = [([0, 3, 200, 255, 180, 2, 0, 1], -96, 40), ([1, 2, 3, 2, 1, 0, 0, 1], -95, 246)]
    spectra10 = [(float(i), 2437, 20, ath10k_dbm(m, n, r), 5, float(i)) for i, (m, n, r) in enumerate(mags)]
    make_recording(args.make_recording, p('a10.rfwrec'),
                   [(T0 + i * S, spectrum_line(2437, 20, m, 5, n, r)) for i, (m, n, r) in enumerate(mags)],
                   '--driver', 'ath10k')
    check(exp('csv', p('a10.rfwrec'), p('a10.csv')).returncode == 0, 'ath10k csv')
    check_csv(p('a10.csv'), spectra10)
    check(exp('sigmf', p('a10.rfwrec'), p('sigmf')).returncode == 0, 'ath10k sigmf')
    check_sigmf(p('sigmf'), 'a10', [s + ('',) for s in spectra10], [])

    # A power cut inside the last record: the rest is exported, exit 0.
    whole = open(p('a11.rfwrec'), 'rb').read()
    open(p('torn.rfwrec'), 'wb').write(whole[:-3])
    r = exp('csv', p('torn.rfwrec'), p('torn.csv'))
    check(r.returncode == 0 and 'torn' in r.stderr and r.stderr.count('\n') == 1, f'torn: {r.stderr}')
    check_csv(p('torn.csv'), [s[:6] for s in SPECTRA[:-1]])

    # Refused: exit 1, one line, nothing of the user's touched.
    open(p('text.rfwrec'), 'w').write('not a recording\n')
    open(p('sigmf', 'a11b.sigmf-meta'), 'w').write('mine')
    os.link(p('a11.rfwrec'), p('a11b.rfwrec'))
    for what, kind, i, o in (('missing input', 'csv', p('none.rfwrec'), p('x.csv')),
                             ('not a recording', 'sigmf', p('text.rfwrec'), p('sigmf')),
                             ('CSV onto a directory', 'csv', p('a11.rfwrec'), p('sigmf')),
                             ('CSV onto its own input', 'csv', p('a11.rfwrec'), p('a11b.rfwrec')),
                             ('SigMF onto an existing meta', 'sigmf', p('a11b.rfwrec'), p('sigmf'))):
        r = exp(kind, i, o)
        check(r.returncode == 1 and r.stderr.count('\n') == 1, f'{what}: {r.returncode} {r.stderr!r}')
    check(open(p('a11.rfwrec'), 'rb').read() == whole, 'the input untouched')
    check(open(p('sigmf', 'a11b.sigmf-meta')).read() == 'mine', 'the existing meta untouched')
    check(not os.path.exists(p('sigmf', 'a11b.sigmf-data')), 'no half pair left')

    # Memory: 100 times the lines, a signal that lasts the whole recording
    # while short ones come and go, must not need more memory.
    def big(n):
        lines = []
        for i in range(n):
            lines.append((T0 + i * 100000, spectrum_line(2412 + 5 * (i % 13), 20, bins_of(32, -90), 1)))
            if i % 10 == 9:
                sigs = [('continuous', 1, 2437, 20, -60, 1.0)] + ([('hopper', i, 2440, 2, -70, 0.1)] if i % 20 else [])
                lines.append((T0 + i * 100000 + 1, air_line(2437, sigs)))
        make_recording(args.make_recording, p(f'big{n}.rfwrec'), lines)
        return [peak_rss_kib([args.export, '--export', 'csv', p(f'big{n}.rfwrec'), p(f'big{n}.csv')], tmp),
                peak_rss_kib([args.export, '--export', 'sigmf', p(f'big{n}.rfwrec'), p(f'sig{n}')], tmp)]
    small, large = big(1000), big(100000)
    print(f'peak RSS KiB, 1k lines: csv/sigmf {small}; 100k lines: {large}')
    for s, l, kind in zip(small, large, ('csv', 'sigmf')):
        check(l - s < 1024, f'{kind}: {l - s} KiB more for 100 times the lines')

    print('export test:', 'passed' if not Check.failed else f'{Check.failed} failed', flush=True)
    if not Check.failed:
        subprocess.run(['rm', '-rf', tmp])
    return 1 if Check.failed else 0


if __name__ == '__main__':
    sys.exit(main())
