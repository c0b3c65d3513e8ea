# SPDX-License-Identifier: MIT
"""For the tests that are scripts: rfwatchd's spectrum line, and the stand-in
rfwatchd (testkit's fake-rfwatchd program, the C++ tests' FakeRfwatchd)."""
import json
import math
import os
import subprocess
import threading
import time


def spectrum_line(detector=0, freq=5180, width=20, bins=(), noise=-95, rssi=40, timestamp=1,
                  aggregated=5):
    """rfwatchd's line without its line feed, as testkit/spectrum_line.h
    builds it: bins "%.2f", None or a value that is not finite null."""
    text = ','.join('null' if b is None or not math.isfinite(b) else f'{b:.2f}' for b in bins)
    return (f'{{"detector":{detector},"freq_mhz":{freq},"bandwidth_mhz":{width},"noise_dbm":{noise},'
            f'"rssi":{rssi},"timestamp":{timestamp},"num_aggregated":{aggregated},'
            f'"bin_count":{len(bins)},"bins":[{text}]}}')


def air_line(freq=2437, width=20, channels=((6, 2437, 0.0, 100),), signals=(), driver='ath11k',
             timestamp=1, window_ms=1000, reports=200, noise=-95.0, threshold=-85.0):
    """rfwatchd's air line without its line feed, as testkit/air_line_text.h
    builds it. channels: (channel, mhz, utilisation, quality); signals:
    dicts with class, mhz, width_mhz, dbm, duty, confidence and optionally
    first_seen, age_ms, period_ms, hops, burst_ms."""
    ch = ','.join(f'{{"channel":{c},"mhz":{m},"utilisation":{u:.3f},"quality":{q}}}'
                  for c, m, u, q in channels)
    sig = []
    for s in signals:
        t = (f'{{"class":"{s["class"]}","mhz":{s["mhz"]:.1f},"width_mhz":{s["width_mhz"]:.1f},'
             f'"dbm":{s["dbm"]:.1f},"duty":{s["duty"]:.3f},"confidence":{s["confidence"]:.3f},'
             f'"first_seen":{s.get("first_seen", 1)},"age_ms":{s.get("age_ms", 0)}')
        if s.get('period_ms'):
            t += f',"period_ms":{s["period_ms"]:.1f}'
        if s.get('hops'):
            t += f',"hops":{s["hops"]}'
        if s.get('burst_ms'):
            t += f',"burst_ms":{s["burst_ms"]:.1f}'
        sig.append(t + '}')
    return (f'{{"air":1,"driver":"{driver}","freq_mhz":{freq},"bandwidth_mhz":{width},'
            f'"timestamp":{timestamp},"window_ms":{window_ms},"reports":{reports},'
            f'"noise_floor_dbm":{noise:.1f},"busy_threshold_dbm":{threshold:.1f},'
            f'"channels":[{ch}],"signals":[{",".join(sig)}]}}')


class FakeRfwatchd:
    """The stand-in on a socket path: every period each client gets the
    lines (set_lines changes them while it runs); commands() is what clients
    wrote, one JSON value per command ({'unparsable': text} for one that is
    not JSON); rounds counts the rounds sent."""

    def __init__(self, program, path, lines, period_ms):
        self.argv = [program, path, path + '.lines', str(period_ms)]
        self.path, self.proc, self.rounds, self._commands = path, None, 0, []
        self.lock = threading.Lock()
        self.set_lines(lines)

    def set_lines(self, lines):
        # Replaced, never rewritten in place: the program reads it while serving.
        with open(self.argv[2] + '.new', 'w') as f:
            f.write(''.join(line + '\n' for line in lines))
        os.replace(self.argv[2] + '.new', self.argv[2])

    @property
    def running(self):
        return self.proc is not None

    def start(self):
        self.proc = subprocess.Popen(self.argv, stdout=subprocess.PIPE, text=True, errors='replace')
        if self.proc.stdout.readline() != 'listening\n':
            self.proc.wait()
            self.proc = None
            raise AssertionError(f'{self.argv[0]} did not start on {self.path}')
        self.reader = threading.Thread(target=self._read, args=(self.proc.stdout,), daemon=True)
        self.reader.start()

    def stop(self):
        """As rfwatchd exits: every client closed, the socket file gone."""
        self.proc.terminate()
        self.proc.wait(10)
        self.reader.join(10)
        self.proc = None

    def _read(self, out):
        for line in out:
            kind, _, text = line.rstrip('\n').partition(' ')
            with self.lock:
                if kind == 'round':
                    self.rounds += 1
                elif kind == 'command':
                    try:
                        self._commands.append(json.loads(text))
                    except ValueError:
                        self._commands.append({'unparsable': text})

    def commands(self):
        with self.lock:
            return list(self._commands)

    def wait_rounds(self, n, deadline_s):
        """Waits until n more rounds have gone out."""
        want, end = self.rounds + n, time.monotonic() + deadline_s
        while self.rounds < want:
            if time.monotonic() > end:
                raise AssertionError(f'{n} rounds not sent within {deadline_s:.0f} s')
            time.sleep(0.05)
