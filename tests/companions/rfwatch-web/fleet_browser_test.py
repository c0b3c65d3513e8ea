#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The fleet page in headless Chromium: two access points, each a stand-in
rfwatchd feeding a real rfwatch-mqtt (one json, one compact), publish to a
real mosquitto; rfwatch-web --mqtt serves the page. The selector lists both
radios, choosing one shows its own tone in #peak, and a sweep entered on the
page reaches that access point's daemon, and the radios are listed by the air
published for them, worst quality first. A screenshot is left in --out.
"""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser_test as bt  # noqa: E402  (re-executes under /usr/bin/python3 for selenium)
from selenium.webdriver.support.ui import Select  # noqa: E402

MOSQUITTO = '/usr/sbin/mosquitto'
# Each access point's one segment: a tone at a different place.
AP1 = dict(detector=0, freq=2437, width=20, n=64, bin=12, dbm=-47.25)
AP2 = dict(detector=0, freq=5180, width=20, n=64, bin=50, dbm=-38.50)


def publish(port, messages):
    """Publishes (topic, payload) pairs at QoS 0 over a bare MQTT 3.1.1
    connection: the air each access point's bridge would publish."""
    def packet(kind, body):
        n, size = len(body), b''
        while True:
            size += bytes([(n & 0x7F) | (0x80 if n > 0x7F else 0)])
            n >>= 7
            if not n:
                return bytes([kind]) + size + body

    def text(t):
        return len(t).to_bytes(2, 'big') + t.encode()
    with socket.create_connection(('127.0.0.1', port), timeout=10) as s:
        s.sendall(packet(0x10, text('MQTT') + bytes([4, 2, 0, 60]) + text('fleet-browser-test')))
        assert s.recv(4)[:1] == b'\x20', 'no CONNACK from the broker'
        for topic, payload in messages:
            s.sendall(packet(0x30, text(topic) + payload.encode()))
        s.sendall(packet(0xE0, b''))


def fleet_rows(page):
    return page.js("return Array.from(document.querySelectorAll('#fleet-radios > li'),"
                   " e => [e.dataset.node, e.dataset.quality,"
                   " Array.from(e.querySelectorAll('[data-class]'), c => c.dataset.class).join(' ')]);")


def accepts(port):
    with socket.socket() as s:
        return s.connect_ex(('127.0.0.1', port)) == 0


class Processes:
    """Children started in order, stopped in reverse."""

    def __init__(self, out):
        self.out = out
        self.procs = []

    def start(self, name, argv, **kw):
        log = open(os.path.join(self.out, name + '.log'), 'w')
        p = subprocess.Popen(argv, stdout=kw.pop('stdout', log), stderr=log, text=True, **kw)
        self.procs.append(p)
        return p

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()


def options_of(page):
    # One script: the list may be redrawn between WebDriver calls (a stale
    # element, or values of one list beside texts of the next).
    return [tuple(o) for o in page.js("return Array.from(document.querySelectorAll('#radio option'),"
                                      " o => [o.value, o.text]);")]


def choose(page, node):
    value = next(v for v, text in options_of(page) if text.startswith(node + ' /'))
    Select(page.el('radio')).select_by_value(value)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--web', required=True)
    ap.add_argument('--mqtt', required=True)
    ap.add_argument('--fake-rfwatchd', required=True)
    ap.add_argument('--out', required=True)
    args = ap.parse_args()
    for tool in (bt.CHROMIUM, bt.CHROMEDRIVER, MOSQUITTO):
        if not os.access(tool, os.X_OK):
            print(f'SKIPPED: {tool} is not installed', flush=True)
            return bt.SKIP
    os.makedirs(args.out, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix='rfwatch-web-fleet-')
    procs = Processes(args.out)
    daemons = [bt.StandInDaemon(args.fake_rfwatchd, os.path.join(tmp, 'ap1.sock'), (AP1,)),
               bt.StandInDaemon(args.fake_rfwatchd, os.path.join(tmp, 'ap2.sock'), (AP2,))]
    for d in daemons:
        d.air = []  # this test publishes the air itself
        d.update()
    page = None
    try:
        port = bt.listen_port()
        conf = os.path.join(tmp, 'mosquitto.conf')
        with open(conf, 'w') as f:
            f.write(f'listener {port} 127.0.0.1\nallow_anonymous true\npersistence false\n')
        procs.start('mosquitto', [MOSQUITTO, '-c', conf])
        bt.poll('broker listening', lambda: accepts(port))
        broker = f'mqtt://127.0.0.1:{port}'
        for d in daemons:
            d.start()
        procs.start('rfwatch-mqtt-ap1', [args.mqtt, '-s', daemons[0].path, '-b', broker, '--node', 'ap1',
                                         '--radio', 'phy0', '--commands'])
        procs.start('rfwatch-mqtt-ap2', [args.mqtt, '-s', daemons[1].path, '-b', broker, '--node', 'ap2',
                                         '--radio', 'phy1', '--format', 'compact', '--commands'])
        web = procs.start('rfwatch-web', [args.web, '--mqtt', broker, '-l', '127.0.0.1:0'], stdout=subprocess.PIPE)
        line = web.stdout.readline()
        web_port = int(line.rsplit(':', 1)[1].split()[0])
        page = bt.Page(f'http://127.0.0.1:{web_port}/', args.out)

        bt.poll('both radios in the selector', lambda: len(options_of(page)) == 2 and options_of(page))
        labels = sorted(text for _, text in options_of(page))
        assert labels == ['ap1 / phy0 · online', 'ap2 / phy1 · online'], labels
        print(f'ok: the selector lists {labels}', flush=True)

        for node, seg in (('ap1', AP1), ('ap2', AP2), ('ap1', AP1)):
            choose(page, node)
            bt.poll(f'{node}\'s tone in #peak', lambda: bt.peak_is(seg)(page))
            bt.poll('connected', lambda: page.text('status') == 'connected')
            print(f'ok: {node} chosen, #peak {page.text("peak")!r}', flush=True)

        choose(page, 'ap2')
        bt.poll('ap2\'s tone in #peak', lambda: bt.peak_is(AP2)(page))
        page.fill('sweep-from', 5170)
        page.fill('sweep-to', 5250)
        page.fill('sweep-duration', 10)
        page.el('sweep-start').click()
        want = {'command': 2, 'sweep_from': 5170, 'sweep_to': 5250, 'duration_seconds': 10,
                'dwell_time_ms': 100}
        bt.poll('the sweep at ap2\'s daemon', lambda: want in daemons[1].commands())
        assert all('command' not in c or c.get('command') != 2 for c in daemons[0].commands()), \
            f'ap1 got the sweep too: {daemons[0].commands()}'
        print('ok: the sweep reached ap2 only', flush=True)

        # Each radio's air, worst quality first, with its named non-Wi-Fi signals.
        sig = bt.sig
        air = {'ap1/phy0': bt.air_line(2437, channels=((6, 2437, 0.2, 80),),
                                       signals=(sig('wifi', 2437.0, -40.0, 0.3), sig('hopper', 2440.0, -60.0, 0.2))),
               'ap2/phy1': bt.air_line(5180, channels=((36, 5180, 0.7, 25),),
                                       signals=(sig('continuous', 5185.0, -45.0, 0.75),))}
        want = [['ap2', '25', 'continuous'], ['ap1', '80', 'hopper']]
        bt.poll('radios by their air', lambda: publish(port, [(f'wifidiag/{r}/air', t) for r, t in air.items()])
                or fleet_rows(page) == want)
        print(f'ok: radios by their air {fleet_rows(page)}', flush=True)

        errors = bt.browser_errors(page)
        assert not errors, f'script errors in the page: {errors}'
        page.js('window.scrollTo(0, 0)')  # the radio list is at the top
        shot = os.path.join(args.out, 'rfwatch-web-fleet.png')
        page.d.save_screenshot(shot)
        print(f'screenshot: {shot}', flush=True)
    except AssertionError as e:
        print(f'FAIL: {e}', flush=True)
        return 1
    finally:
        if page:
            page.quit()
        procs.stop()
        for d in daemons:
            if d.running:
                d.stop()
        shutil.rmtree(tmp, ignore_errors=True)
    print('passed', flush=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
