#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""rfwatch-web's page in headless Chromium, fed by a stand-in rfwatchd.

The stand-in is the test kit's (fake-rfwatchd): it writes rfwatchd's JSON
lines at 10 per second and records the commands it reads. The test checks what a
person sees and does: the peak readout, that the canvases are drawn, the air
panel (channels worst first, signals by weight, a refused air line never
shown, a frequency no longer analysed dropped) and the density view's hits, pause,
reset of the max-hold, commands reaching the daemon, error messages, and
the status following the daemon and the server going away and coming back.
A screenshot is left in --out; on a failure also a screenshot of that moment,
the page's console, and the logs of rfwatch-web, ChromeDriver and Chromium,
whose ends are printed.
"""
import argparse
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'testkit'))
from fake_rfwatchd import FakeRfwatchd, air_line, spectrum_line  # noqa: E402
import headless_chromium  # noqa: E402

SKIP = 77


def selenium_missing():
    print('SKIPPED: python3-selenium is not installed', flush=True)
    sys.exit(SKIP)


headless_chromium.import_selenium(selenium_missing)
from selenium import webdriver  # noqa: E402
from selenium.common.exceptions import WebDriverException  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.ui import Select  # noqa: E402

CHROMIUM = headless_chromium.CHROMIUM
CHROMEDRIVER = headless_chromium.CHROMEDRIVER
DEADLINE = 20.0  # seconds; generous, CI is a loaded 2-core machine

# What the stand-in sends: (detector, centre MHz, width MHz, bins, tone bin, tone dBm).
TONE0 = dict(detector=0, freq=2437, width=20, n=64, bin=40, dbm=-42.37)
SIDE0 = dict(detector=0, freq=5180, width=20, n=64, bin=10, dbm=-71.00)
TONE1 = dict(detector=1, freq=5200, width=40, n=128, bin=100, dbm=-30.55)



def sig(cls, mhz, dbm, duty, **evidence):
    return dict({'class': cls, 'mhz': mhz, 'width_mhz': 2.0, 'dbm': dbm, 'duty': duty, 'confidence': 0.9}, **evidence)


# rfwatchd's air lines of three centre frequencies, and one it would never
# write (a quality above 100), which the server must not forward.
AIR = [air_line(2437, channels=((6, 2437, 0.400, 64),),
                signals=(sig('wifi', 2437.0, -40.0, 0.300, burst_ms=1.5),
                         sig('microwave', 2450.0, -50.0, 0.360, period_ms=20.0))),
       air_line(2462, channels=((11, 2462, 0.100, 90),), signals=(sig('hopper', 2460.0, -70.0, 0.150, hops=23),)),
       air_line(5180, channels=((36, 5180, 0.050, 100),), signals=())]
AIR_BAD = air_line(2412, channels=((1, 2412, 0.900, 101),), signals=(sig('continuous', 2412.0, -40.0, 1.0),))
# Worst first: (channel, quality); (class, MHz, duty) by weight in the quality.
AIR_CHANNELS = [('6', '64'), ('11', '90'), ('36', '100')]
AIR_SIGNALS = [('microwave', '2450.0', '0.360'), ('hopper', '2460.0', '0.150'), ('wifi', '2437.0', '0.300')]


def bin_centre(seg, i):
    return seg['freq'] - seg['width'] / 2 + (i + 0.5) * seg['width'] / seg['n']


def segment_line(seg, spike=None):
    bins = []
    for i in range(seg['n']):
        bins.append(-95.0 + ((i * 7919) % 400) / 100.0)  # a fixed noise floor of -95 to -91
    bins[seg['bin']] = seg['dbm']
    bins[3] = None  # rfwatchd writes null for a value that was not finite
    if spike is not None:
        bins[spike[0]] = spike[1]
    return spectrum_line(seg['detector'], seg['freq'], seg['width'], bins, timestamp=int(time.time() * 1e6))


class StandInDaemon(FakeRfwatchd):
    """rfwatchd's socket: a round of one line per segment, 10 lines per
    second; after a change to a segment, update() sends it."""

    def __init__(self, program, path, segments=None):
        self.segments = segments or (TONE0, TONE1, SIDE0, TONE1)
        self.air = AIR + [AIR_BAD]
        super().__init__(program, path, self.lines(), 100 * len(self.segments))

    def lines(self, spike=None):
        """spike: (bin, dBm) put into TONE0's line."""
        return [segment_line(seg, spike if seg is TONE0 else None) for seg in self.segments] + self.air

    def update(self):
        self.set_lines(self.lines())


def poll(what, fn, deadline=DEADLINE):
    end = time.monotonic() + deadline
    last = None
    while time.monotonic() < end:
        last = fn()
        if last:
            return last
        time.sleep(0.1)
    raise AssertionError(f'{what}: not seen within {deadline:.0f} s (last: {last!r})')


def listen_port():
    """A free port below the ephemeral range. A port the kernel hands out
    (bind to 0) can, while the server restarts, become the local port of any
    outgoing connection on the machine, the page's own reconnection included
    (a socket connected to itself), and the restart then fails to bind."""
    with open('/proc/sys/net/ipv4/ip_local_port_range') as f:
        low = int(f.read().split()[0])
    for _ in range(100):
        port = random.randrange(max(1024, low - 12000), low)
        with socket.socket() as s:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                s.bind(('127.0.0.1', port))
                return port
            except OSError:
                continue
    raise AssertionError(f'no free port below {low}')


class Web:
    """The rfwatch-web process."""

    def __init__(self, binary, sock, log_path):
        self.binary = binary
        self.sock = sock
        self.log_path = log_path
        self.proc = None
        self.port = listen_port()

    def start(self):
        log = open(self.log_path, 'a')
        self.proc = subprocess.Popen([self.binary, '-s', self.sock, '-l', f'127.0.0.1:{self.port}'],
                                     stdout=subprocess.PIPE, stderr=log, text=True)
        line = self.proc.stdout.readline()
        m = re.search(r'listening on .*:(\d+)', line)
        if not m:
            raise AssertionError(f'rfwatch-web did not start on port {self.port}: {line!r} (its log follows)')
        self.port = int(m.group(1))

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)


CANVAS_VARIETY = '''
const c = document.getElementById(arguments[0]);
const top = arguments[1];
const data = c.getContext('2d').getImageData(0, 0, c.width, Math.round(c.height * top)).data;
const colours = new Set();
for (let i = 0; i < data.length; i += 4 * 7) colours.add((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]);
return {colours: colours.size, width: c.width, css: c.clientWidth, dpr: window.devicePixelRatio};
'''

MAX_AT = '''
const m = window.rfw.app.model;
for (const s of m.dets[0].segments.values()) if (s.freq === arguments[0]) return s.max[arguments[1]];
return null;
'''


class Page:
    def __init__(self, url, out):
        self.profile = tempfile.mkdtemp(prefix='rfwatch-web-chromium-')
        opts = headless_chromium.options(self.profile, (1280, 1100), 2, extra=('--disable-quic',))
        opts.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        # Chromium's own output goes into ChromeDriver's log.
        service = Service(CHROMEDRIVER, port=listen_port(), log_path=os.path.join(out, 'chromedriver.log'),
                          service_args=['--enable-chrome-logs'])
        self.d = webdriver.Chrome(service=service, options=opts)
        self.d.set_script_timeout(DEADLINE)
        self.d.get(url)

    def el(self, id_):
        return self.d.find_element(By.ID, id_)

    def text(self, id_):
        return self.el(id_).text

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def settle(self):
        """Returns once every drawing asked for so far is done: a frame
        scheduled before now runs in the next animation frame at the latest."""
        self.d.execute_async_script(
            'const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => done(true)));')

    def fill(self, id_, value):
        e = self.el(id_)
        e.clear()
        e.send_keys(str(value))

    def quit(self):
        self.d.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


def peak(page):
    # One script, so the three are read between two of the page's updates:
    # three WebDriver calls may straddle one (a text of one peak beside the
    # numbers of the next).
    return tuple(page.js("const e = document.getElementById('peak');"
                         "return [e.innerText, e.dataset.mhz, e.dataset.dbm];"))


def peak_is(seg, dbm=None):
    want_mhz = bin_centre(seg, seg['bin'])
    want_dbm = seg['dbm'] if dbm is None else dbm
    half_bin = seg['width'] / seg['n'] / 2

    def check(page):
        text, mhz, dbm_attr = peak(page)
        if not mhz or not dbm_attr:
            return False
        near = abs(float(mhz) - want_mhz) <= half_bin and abs(float(dbm_attr) - want_dbm) <= 0.1
        return (text, mhz, dbm_attr) if near else False
    return check


def test_peak_and_detectors(page):
    text, mhz, dbm = poll('peak of detector 0', lambda: peak_is(TONE0)(page))
    assert re.fullmatch(r'-?\d+\.\d\d MHz -?\d+\.\d dBm', text), text
    assert text == f'{mhz} MHz {dbm} dBm', (text, mhz, dbm)
    Select(page.el('detector')).select_by_value('1')
    poll('peak of detector 1 (another centre, width and bin count)', lambda: peak_is(TONE1)(page))
    Select(page.el('detector')).select_by_value('0')
    poll('peak of detector 0 again', lambda: peak_is(TONE0)(page))


def test_canvases_drawn(page):
    for name in ('spectrum', 'waterfall', 'density'):
        r = poll(f'{name} drawn', lambda: (lambda v: v if v['colours'] >= 12 else None)(
            page.js(CANVAS_VARIETY, name, 1.0)))
        assert r['width'] == round(r['css'] * r['dpr']), f'{name} not sized for devicePixelRatio: {r}'
    # The newest rows are on top: the top tenth of the waterfall holds data.
    poll('waterfall rows on top', lambda: page.js(CANVAS_VARIETY, 'waterfall', 0.1)['colours'] >= 6)


# Pixels of the density plot that hold hits (not its background).
DENSITY_HITS = '''
const c = document.getElementById('density');
const dpr = window.devicePixelRatio, a = window.rfw.axis;
const x0 = Math.round(a.LEFT * dpr), w = c.width - Math.round(a.RIGHT * dpr) - x0;
const d = c.getContext('2d').getImageData(x0, Math.round(10 * dpr), w, c.height - Math.round(40 * dpr)).data;
let n = 0;
for (let i = 0; i < d.length; i += 4) if (d[i] !== 14 || d[i + 1] !== 18 || d[i + 2] !== 24) n++;
return n;
'''

AIR_ROWS = '''
const rows = (id, keys) => [...document.getElementById(id).children].map((e) => keys.map((k) => e.dataset[k]));
return [rows('air-channels', ['channel', 'quality']), rows('air-signals', ['class', 'mhz', 'duty'])];
'''


# Where the footer lies against the last section of the page.
FOOTER_BELOW = '''
const f = document.getElementById('version').getBoundingClientRect();
return f.top >= document.querySelector('section.controls').getBoundingClientRect().bottom;
'''


def test_footer_version(page, web_binary):
    """The footer names the version the program says it is, below the views."""
    out = subprocess.run([web_binary, '--version'], capture_output=True, text=True, timeout=30)
    name, version = out.stdout.splitlines()[0].split(' ')
    assert (out.returncode, name) == (0, 'rfwatch-web'), out
    assert page.text('version') == f'wifidiag {version}', page.text('version')
    assert page.js(FOOTER_BELOW), 'the footer is not below the controls'


def test_air(page, daemon):
    poll('air lines asked for', lambda: {'command': 4, 'air_period_ms': 1000} in daemon.commands())
    want = [[list(r) for r in AIR_CHANNELS], [list(r) for r in AIR_SIGNALS]]
    poll('channels worst first and signals by weight', lambda: page.js(AIR_ROWS) == want)
    poll('density has hits', lambda: page.js(DENSITY_HITS) > 1000)
    # 5180 MHz no longer analysed: its channel goes within 10 s.
    daemon.air = AIR[:2]
    daemon.update()
    want[0] = want[0][:2]
    poll('a frequency not refreshed is dropped', lambda: page.js(AIR_ROWS) == want, deadline=DEADLINE + 10)
    daemon.air = AIR + [AIR_BAD]
    daemon.update()


def test_pause(page, daemon):
    page.el('pause').click()
    # A line that came just before the click may still be waiting for its
    # animation frame; it is drawn before the pause, not during it.
    page.settle()
    before = page.el('spectrum').get_attribute('data-frames')
    shown = peak(page)
    TONE0['dbm'] = -50.0
    daemon.update()
    daemon.wait_rounds(3, DEADLINE)  # 12 lines sent while paused
    assert peak(page) == shown, f'peak changed while paused: {shown} -> {peak(page)}'
    after = page.el('spectrum').get_attribute('data-frames')
    assert after == before, f'canvases redrawn while nothing changed: frames {before} -> {after}'
    page.el('pause').click()
    poll('peak follows the new level after resume', lambda: peak_is(TONE0, -50.0)(page))
    TONE0['dbm'] = -42.37
    daemon.update()
    poll('peak back to the tone', lambda: peak_is(TONE0)(page))


def test_reset_max(page, daemon):
    # In the round or two that go out before the file is replaced again.
    daemon.set_lines(daemon.lines(spike=(10, -20.0)))
    daemon.wait_rounds(2, DEADLINE)
    daemon.update()
    poll('max-hold keeps a short spike', lambda: (page.js(MAX_AT, TONE0['freq'], 10) or -999) >= -20.05)
    daemon.wait_rounds(2, DEADLINE)  # the spike gone from the lines
    assert page.js(MAX_AT, TONE0['freq'], 10) >= -20.05, 'max-hold lost the spike'
    page.el('reset-max').click()
    poll('reset max-hold drops the spike', lambda: page.js(MAX_AT, TONE0['freq'], 10) < -80)
    # Bin 3 is null in every line: it has no level, not 0 dBm.
    held = page.js(MAX_AT + '', TONE0['freq'], 3)
    assert held is None, f'max-hold of a bin that never had a value: {held}'


def test_commands(page, daemon):
    def got(want):
        return lambda: want in daemon.commands()

    page.fill('period', 250)
    page.el('period-set').click()
    poll('period command', got({'command': 1, 'aggregation_period_ms': 250}))
    for id_, v in (('sweep-from', 2412), ('sweep-to', 2472), ('sweep-duration', 30), ('sweep-dwell', 200)):
        page.fill(id_, v)
    page.el('sweep-start').click()
    poll('sweep command', got({'command': 2, 'sweep_from': 2412, 'sweep_to': 2472,
                               'duration_seconds': 30, 'dwell_time_ms': 200}))
    poll('the server echo shown', lambda: '2412' in page.text('notice'))
    page.el('sweep-cancel').click()
    poll('cancel command', got({'command': 3}))
    count = len(daemon.commands())
    page.fill('sweep-from', 9000)
    page.el('sweep-start').click()
    poll('error shown for a bad sweep', lambda: page.el('error').is_displayed() and 'sweep' in page.text('error'))
    assert len(daemon.commands()) == count, f'a refused sweep reached the daemon: {daemon.commands()[count:]}'


def test_hover(page):
    from selenium.webdriver.common.action_chains import ActionChains
    c = page.el('spectrum')
    ActionChains(page.d).move_to_element_with_offset(c, -c.size['width'] // 2 + 80, 0).perform()
    poll('pointer readout', lambda: re.match(r'\d+\.\d\d MHz', page.text('hover')))
    # Away from the canvases, so that no pointer move redraws them later.
    ActionChains(page.d).move_to_element(page.el('peak')).perform()


def test_daemon_away(page, daemon):
    poll('connected', lambda: page.text('status') == 'connected')
    daemon.stop()
    poll('status after the daemon went away', lambda: page.text('status') == 'daemon-unreachable')
    daemon.start()
    poll('status after the daemon came back', lambda: page.text('status') == 'connected')
    TONE0['dbm'] = -44.0
    daemon.update()
    poll('lines flow again', lambda: peak_is(TONE0, -44.0)(page))
    TONE0['dbm'] = -42.37
    daemon.update()


def test_server_restart(page, web):
    web.stop()
    poll('status while the server is gone', lambda: page.text('status') == 'connecting')
    web.start()
    poll('page reconnected by itself', lambda: page.text('status') == 'connected')


def browser_errors(page):
    return [e for e in page.d.get_log('browser') if e['level'] == 'SEVERE' and 'favicon' not in e['message']
            and 'WebSocket' not in e['message']]


def tail(path, keep=lambda line: True, lines=40):
    try:
        with open(path, errors='replace') as f:
            return ''.join([line for line in f if keep(line)][-lines:])
    except OSError as e:
        return f'({e})\n'


def chromium_line(line):
    """Chromium's own complaints and ChromeDriver's warnings, without the
    command traffic and the missing session bus (none runs here)."""
    return (re.match(r'\[\d+:\d+:\d+/', line) is not None and 'dbus' not in line) or \
        re.search(r'\[(WARNING|SEVERE)\]', line) is not None


def keep_evidence(page, out, name):
    """What a failed step leaves behind: the page as it was, its console and
    the readouts the steps look at."""
    if page is None:
        return
    stem = os.path.join(out, 'failure-' + re.sub(r'\W+', '-', name))
    try:
        page.d.save_screenshot(stem + '.png')
        with open(stem + '.console.log', 'w') as f:
            for e in page.d.get_log('browser'):
                f.write(f"{e['timestamp']} {e['level']} {e['message']}\n")
        readouts = {id_: page.text(id_) for id_ in ('status', 'peak', 'notice', 'error')}
        print(f'  kept: {stem}.png, {stem}.console.log; readouts {readouts}', flush=True)
    except WebDriverException as e:
        print(f'  the page could not be read after the failure: {e.msg}', flush=True)


def summary(page, out, began):
    """Script errors (a failure), the figures of the run and the screenshot."""
    failed = 0
    errors = browser_errors(page)
    if errors:
        failed += 1
        print(f'FAIL: script errors in the page: {errors}', flush=True)
    ds = page.el('spectrum')
    print(f'test took {time.monotonic() - began:.1f} s; lines drawn in the waterfall of detector 0: '
          f'{page.js("return rfw.app.model.dets[0].wf.written")}', flush=True)
    print(f'draw time per frame: average {ds.get_attribute("data-draw-ms")} ms, '
          f'longest {ds.get_attribute("data-draw-max-ms")} ms over {ds.get_attribute("data-frames")} frames '
          f'(device pixel ratio 2)', flush=True)
    shot = os.path.join(out, 'rfwatch-web.png')
    page.d.save_screenshot(shot)
    print(f'screenshot: {shot}', flush=True)
    return failed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--web', required=True)
    ap.add_argument('--fake-rfwatchd', required=True)
    ap.add_argument('--out', required=True)
    args = ap.parse_args()
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print(f'SKIPPED: {tool} is not installed', flush=True)
            return SKIP
    os.makedirs(args.out, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix='rfwatch-web-browser-')
    daemon = StandInDaemon(args.fake_rfwatchd, os.path.join(tmp, 'rfwatchd.sock'))
    daemon.start()
    web = Web(args.web, daemon.path, os.path.join(args.out, 'rfwatch-web.log'))
    web.start()
    page = None
    steps = [('peak and detectors', lambda: test_peak_and_detectors(page)),
             ('canvases drawn', lambda: test_canvases_drawn(page)),
             ('footer version', lambda: test_footer_version(page, args.web)),
             ('hover readout', lambda: test_hover(page)),
             ('air panel and density', lambda: test_air(page, daemon)),
             ('pause', lambda: test_pause(page, daemon)),
             ('reset max-hold', lambda: test_reset_max(page, daemon)),
             ('commands', lambda: test_commands(page, daemon)),
             ('daemon away and back', lambda: test_daemon_away(page, daemon)),
             ('server restart', lambda: test_server_restart(page, web))]
    passed = failed = 0
    began = time.monotonic()
    try:
        try:
            page = Page(f'http://127.0.0.1:{web.port}/', args.out)
            poll('connected', lambda: page.text('status') == 'connected')
        except (AssertionError, WebDriverException) as e:
            steps = []
            failed += 1
            print(f'FAIL: the page did not come up: {type(e).__name__}: {e}', flush=True)
            keep_evidence(page, args.out, 'start')
        for name, step in steps:
            try:
                step()
                passed += 1
                print(f'ok: {name}', flush=True)
            except (AssertionError, WebDriverException) as e:
                # WebDriver's own errors (a stale element, a command timed
                # out) are failures of the step too, not a stack trace.
                failed += 1
                print(f'FAIL: {name}: {type(e).__name__}: {e}', flush=True)
                keep_evidence(page, args.out, name)
        if steps:
            failed += summary(page, args.out, began)
    finally:
        if page:
            page.quit()
        web.stop()
        if daemon.running:
            daemon.stop()
        shutil.rmtree(tmp, ignore_errors=True)
    if failed:
        for log, keep in (('rfwatch-web.log', lambda line: True), ('chromedriver.log', chromium_line)):
            path = os.path.join(args.out, log)
            print(f'---- end of {path} ----\n{tail(path, keep)}', end='')
    print(f'{passed} passed, {failed} failed', flush=True)
    return 1 if failed else 0

if __name__ == '__main__':
    sys.exit(main())
