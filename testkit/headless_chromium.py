# SPDX-License-Identifier: MIT
"""Headless Chromium through selenium, as the page's tests and
tools/screenshots start it: one place for the interpreter that has
selenium, the binaries and the switches a sandbox-less, GPU-less,
offline run needs."""
import os
import sys

CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'

# No network beyond the page, no first-run or sync chatter, no GPU, no
# sandbox (tests run as root in namespaces), shared memory not /dev/shm's.
SWITCHES = ('--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
            '--disable-dev-shm-usage')


def import_selenium(on_missing):
    """Debian's python3-selenium lives in the system interpreter; a python3
    earlier on PATH (a version manager's) does not see it, so rerun under
    the system's. on_missing() is called when it is not installed at all."""
    try:
        import selenium  # noqa: F401
        return
    except ImportError:
        pass
    system = '/usr/bin/python3'
    if os.path.realpath(sys.executable) != os.path.realpath(system) and os.path.exists(system):
        os.execv(system, [system] + sys.argv)
    on_missing()


def options(profile, window, scale, extra=()):
    """ChromeOptions for a private profile directory, a window of
    window=(width, height) pixels at device scale factor scale."""
    from selenium import webdriver
    opts = webdriver.ChromeOptions()
    for a in SWITCHES + (f'--user-data-dir={profile}', f'--window-size={window[0]},{window[1]}',
                         f'--force-device-scale-factor={scale}') + tuple(extra):
        opts.add_argument(a)
    opts.binary_location = CHROMIUM
    return opts
