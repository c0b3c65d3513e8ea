#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Takes the documentation's pictures in headless Chromium.

  capture.py page URL OUT.png                 rfwatch-web's page, once drawn
  capture.py terminal TMUX_SOCKET PANE OUT.png   what the tmux pane shows

Both wait for what makes the picture (polling the page, or the pane), at
device scale 1 and a fixed width, then write a compact PNG. A step that
fails ends it with one line on stderr and status 1.
"""
import base64
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import png_out  # noqa: E402
import terminal_html  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'testkit'))
import headless_chromium  # noqa: E402

PAGE_WIDTH = 1280
PAGE_DEADLINE = 240  # seconds; the emulated radio and a loaded host are slow
PANE_DEADLINE = 120


class Failed(Exception):
    pass


def selenium_missing():
    sys.exit('capture: python3-selenium is not installed (tools/setup installs it)')


def poll(what, fn, deadline):
    end = time.monotonic() + deadline
    last = None
    while time.monotonic() < end:
        last = fn()
        if last:
            return last
        time.sleep(0.5)
    raise Failed(f'{what}: not seen within {deadline} s (last: {last!r})')


class Browser:
    def __init__(self):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        self.profile = tempfile.mkdtemp(prefix='screenshots-chromium-')
        opts = headless_chromium.options(self.profile, (PAGE_WIDTH, 900), 1,
                                         extra=('--hide-scrollbars', '--font-render-hinting=none'))
        self.d = webdriver.Chrome(service=Service(headless_chromium.CHROMEDRIVER), options=opts)
        self.d.set_script_timeout(30)

    def size(self, width, height):
        # The viewport itself, not the window: the picture has exactly this size.
        self.d.execute_cdp_cmd('Emulation.setDeviceMetricsOverride',
                               {'width': width, 'height': height, 'deviceScaleFactor': 1, 'mobile': False})

    def settle(self):
        self.d.execute_async_script(
            'const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => done(true)));')

    def shot(self):
        self.settle()
        return base64.b64decode(self.d.execute_cdp_cmd('Page.captureScreenshot', {'format': 'png'})['data'])

    def quit(self):
        try:
            self.d.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)


# What the picture needs before it is taken, each a script that returns
# something true once it is there.
PAGE_READY = [
    ('the page connected to rfwatchd', "return document.getElementById('status').textContent === 'connected';"),
    ('the spectrum drawn', "return +document.getElementById('spectrum').dataset.frames > 0;"),
    ('the waterfall filled to its bottom row',
     "const m = window.rfw.app.model; const c = document.getElementById('waterfall');"
     "return m.dets[m.selected].wf.written >= c.clientHeight;"),
    ('air lines with channels', "return document.getElementById('air-channels').children.length > 0;"),
    ('a named interferer among the signals',
     "return [...document.getElementById('air-signals').children]"
     ".some((r) => !['wifi', 'unknown'].includes(r.dataset.class));"),
]


def page(url, out):
    b = Browser()
    try:
        b.size(PAGE_WIDTH, 900)
        b.d.get(url)
        end = time.monotonic() + PAGE_DEADLINE  # for all of them together
        for what, script in PAGE_READY:
            poll(what, lambda: b.d.execute_script(script), max(1, round(end - time.monotonic())))
        # As tall as the page, so nothing is cut and nothing is blank.
        height = b.d.execute_script('return document.documentElement.scrollHeight;')
        b.size(PAGE_WIDTH, height)
        return png_out.compact(b.shot())
    finally:
        b.quit()


def pane(socket, target):
    return subprocess.run(['tmux', '-L', socket, 'capture-pane', '-e', '-p', '-N', '-t', target],
                          capture_output=True, text=True, check=True).stdout


def pane_size(socket, target):
    text = subprocess.run(['tmux', '-L', socket, 'display-message', '-p', '-t', target,
                           '#{pane_width} #{pane_height}'], capture_output=True, text=True, check=True).stdout
    cols, rows = text.split()
    return int(cols), int(rows)


def waterfall_rows(screen):
    """Rows mostly painted in colours other than the default background."""
    return sum(1 for row in screen
               if sum(1 for c in row if c[2] != terminal_html.DEFAULT_BG) > len(row) // 2)


def terminal(socket, target, out):
    cols, rows = pane_size(socket, target)

    def drawn():
        screen = terminal_html.parse(pane(socket, target), cols, rows)
        text = terminal_html.plain_text(screen)
        # The axis labels, the air line and a waterfall several rows deep.
        wanted = 'MHz' in text and 'dBm' in text and 'air: ch' in text and waterfall_rows(screen) >= 8
        return screen if wanted else None

    screen = poll('rfwatch-view drawing its axes and waterfall', drawn, PANE_DEADLINE)
    text, (w, h) = terminal_html.page(screen, 'rfwatch-view')
    work = tempfile.mkdtemp(prefix='screenshots-term-')
    b = None
    try:
        path = os.path.join(work, 'screen.html')
        with open(path, 'w') as f:
            f.write(text)
        b = Browser()
        b.size(w, h)
        b.d.get('file://' + path)
        poll('the terminal page painted', lambda: b.d.execute_script('return document.body.dataset.painted;'), 30)
        return png_out.compact(b.shot(), {'Description': terminal_html.plain_text(screen)})
    finally:
        if b:
            b.quit()
        shutil.rmtree(work, ignore_errors=True)


def on_term(signum, frame):
    raise KeyboardInterrupt  # so that the browser is closed on the way out


def main(argv):
    signal.signal(signal.SIGTERM, on_term)
    if len(argv) == 3 and argv[0] == 'page':
        make, out = (lambda: page(argv[1], argv[2])), argv[2]
    elif len(argv) == 4 and argv[0] == 'terminal':
        make, out = (lambda: terminal(argv[1], argv[2], argv[3])), argv[3]
    else:
        sys.exit(__doc__)
    headless_chromium.import_selenium(selenium_missing)
    try:
        data = make()
    except Failed as e:
        sys.exit(f'capture: {e}')
    except KeyboardInterrupt:
        sys.exit('capture: interrupted')
    except Exception as e:  # one clear line, whatever the browser or tmux said
        sys.exit(f'capture: {type(e).__name__}: {str(e).strip().splitlines()[0] if str(e).strip() else ""}')
    with open(out + '.part', 'wb') as f:
        f.write(data)
    os.replace(out + '.part', out)


if __name__ == '__main__':
    main(sys.argv[1:])
