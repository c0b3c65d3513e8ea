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
