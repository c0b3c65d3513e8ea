#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Helpers of the airtally_exporter scenario.

  fetch PORT TOKEN_FILE OUT      GET /metrics with the bearer token into OUT
  refused PORT                   GET /metrics without a token must give 401
  check FACTS AP_IFACE STA_IFACE the metrics against iw, hostapd_cli, wpa_cli
  prometheus PORT QUERY VALUE... each query's single result equals VALUE
  faults FACTS AP_IFACE STA_IFACE the scrapes with a silent hostapd and with
                                 no wpa_supplicant
The iw parsing is airtally_expect.py's, shared with the libairtally scenario.
"""
import json
import os
import re
import sys
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import airtally_expect as ae  # noqa: E402

failures = []
TYPES = {"managed": "station", "AP": "ap", "monitor": "monitor"}
AKM_NAMES = {v: k for k, v in ae.AKMS.items()}
CIPHER_NAMES = {v: k for k, v in ae.CIPHERS.items()}


def check(what, got, want):
    if got == want:
        print(f"ok: {what}: {got!r}")
    else:
        print(f"MISMATCH: {what}: airtally-exporter {got!r}, expected {want!r}")
        failures.append(what)


def unescape_label(text):
    return re.sub(r'\\(.)', lambda m: "\n" if m.group(1) == "n" else m.group(1), text)


def parse_metrics(text):
    """name -> list of (labels dict, value); comments skipped."""
    out = {}
    label_re = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)"')
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        m = re.match(r'([a-zA-Z_:][a-zA-Z0-9_:]*)(\{(.*)\})? (\S+)$', line)
        if not m:
            failures.append(f"unparsable line {line!r}")
            continue
        labels = {k: unescape_label(v) for k, v in label_re.findall(m.group(3) or "")}
        out.setdefault(m.group(1), []).append((labels, float(m.group(4))))
    return out


def one(metrics, name, **match):
    found = [(l, v) for l, v in metrics.get(name, [])
             if all(l.get(k) == w for k, w in match.items())]
    return found[0] if len(found) == 1 else (None, None)


def iw_ssid(text):
    """iw prints SSID bytes outside printable ASCII (and spaces at the ends,
    and backslashes) as \\xNN."""
    raw = re.sub(rb"\\x([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]),
                 text.encode("utf-8", "surrogateescape"))
    return raw.decode("utf-8", "replace")


def read(path):
    return ae.read(path)


def fetch(port, token_file, out):
    token = open(token_file).read().strip()
    req = urllib.request.Request(f"http://127.0.0.1:{port}/metrics",
                                 headers={"Authorization": f"Bearer {token}"})
    with urllib.request.urlopen(req, timeout=120) as r:
        ctype = r.headers.get("Content-Type")
        body = r.read()
    if ctype != "text/plain; version=0.0.4; charset=utf-8":
        print(f"unexpected content type {ctype!r}")
        return 1
    with open(out, "wb") as f:
        f.write(body)
    return 0


def refused(port):
    try:
        urllib.request.urlopen(f"http://127.0.0.1:{port}/metrics", timeout=120)
    except urllib.error.HTTPError as e:
        return 0 if e.code == 401 else 1
    return 1


def check_radios(metrics, facts):
    phys = ae.phys_from_iw_list(read(f"{facts}/iw-list.txt"))
    ifaces = ae.ifaces_from_iw_dev(read(f"{facts}/iw-dev.txt"))
    domains = ae.own_domains(read(f"{facts}/iw-reg.txt"))
    check("radio_info series, one per phy", sorted(l["phy_name"] for l, _ in
                                                    metrics.get("airtally_radio_info", [])),
          sorted(phys))
    for name, p in phys.items():
        phy = str(p["index"])
        info, _ = one(metrics, "airtally_radio_info", phy=phy)
        if info is None:
            failures.append(f"no radio_info for {name}")
            continue
        modes = {k: "true" if p["modes"] & bit else "false"
                 for k, bit in (("ht", 2), ("vht", 4), ("he", 8))}
        check(f"{name} info", {k: info[k] for k in ("phy_name", "country", "ht", "vht", "he")},
              {"phy_name": name, "country": domains.get(p["index"], ""), **modes})
        # The first interface names the radio; the last carrying a value sets it.
        want = {"interface": "", "mac": "00:00:00:00:00:00", "freq": 0, "width": 0, "txpower": 0}
        for i in (i for i in ifaces if i["phy"] == p["index"]):
            if not want["interface"] and i["ifname"]:
                want["interface"] = i["ifname"]
            for k in ("mac", "freq", "width", "txpower"):
                if k in i:
                    want[k] = i[k]
        check(f"{name} interface and mac", (info["interface"], info["mac"]),
              (want["interface"], want["mac"]))
        value = lambda n: one(metrics, n, phy=phy)[1]  # noqa: E731
        check(f"{name} frequency (Hz)", value("airtally_radio_frequency_hertz"),
              want["freq"] * 1e6 if want["freq"] else None)
        check(f"{name} channel width (Hz)", value("airtally_radio_channel_width_hertz"),
              want["width"] * 1e6 if want["freq"] else None)
        check(f"{name} tx power (dBm)", value("airtally_radio_tx_power_dbm"), want["txpower"])
        check(f"{name} antennas", (value("airtally_radio_antenna_tx_mask"),
                                   value("airtally_radio_antenna_rx_mask")), p["ant"])


def check_interfaces(metrics, facts, ap_if, sta_if):
    ifaces = [i for i in ae.ifaces_from_iw_dev(read(f"{facts}/iw-dev.txt")) if i["ifname"]]
    check("interface_info series, one per network interface",
          sorted(l["interface"] for l, _ in metrics.get("airtally_interface_info", [])),
          sorted(i["ifname"] for i in ifaces))
    for i in ifaces:
        info, _ = one(metrics, "airtally_interface_info", interface=i["ifname"])
        if info is None:
            continue
        check(f"{i['ifname']} names",
              (info["ifindex"], info["phy"], info["mac"], info["type"], info["ssid"]),
              (str(i["ifindex"]), str(i["phy"]), i["mac"], TYPES.get(i.get("type"), "?"),
               iw_ssid(i.get("ssid", ""))))
    ap, _ = one(metrics, "airtally_interface_info", interface=ap_if)
    ap = ap or {}
    check("the AP's SSID, escaped and read back", ap.get("ssid"), 'air"tally\\exp é')
    want = ae.ap_expected(read(f"{facts}/get_config.txt"))
    fields = ("wpa", "key_mgmt", "pairwise_cipher", "group_cipher")
    check(f"AP {ap_if} security as hostapd_cli GET_CONFIG says",
          tuple(ap.get(f) for f in fields),
          ({0: "", 1: "WPA", 2: "RSN", 3: "WPA+RSN"}[want["wpa"]],
           AKM_NAMES.get(want["key_mgmt"], ""), CIPHER_NAMES.get(want["pairwise_cipher"], ""),
           CIPHER_NAMES.get(want["group_cipher"], "")))
    check(f"AP {ap_if} security (WPA2-PSK/CCMP)", tuple(ap.get(f) for f in fields),
          ("RSN", "WPA-PSK", "CCMP", "CCMP"))
    # wpa_supplicant's STATUS says "WPA2-PSK": the library maps it to PSK's suite.
    sta, _ = one(metrics, "airtally_interface_info", interface=sta_if)
    check(f"station {sta_if} security", tuple((sta or {}).get(f) for f in fields),
          ("RSN", "WPA-PSK", "CCMP", "CCMP"))
    status = ae.lines(read(f"{facts}/status.txt"))
    check("wpa_supplicant STATUS pairwise_cipher",
          [l for l in status if l.startswith("pairwise_cipher=")], ["pairwise_cipher=CCMP"])


def errors(metrics, source):
    return one(metrics, "airtally_exporter_scrape_errors_total", source=source)[1]


def check_all(facts, ap_if, sta_if):
    metrics = parse_metrics(read(f"{facts}/metrics.txt"))
    check_radios(metrics, facts)
    check_interfaces(metrics, facts, ap_if, sta_if)
    for source in ("init", "nl80211", "control_socket"):
        check(f"no {source} errors", errors(metrics, source), 0.0)
    # The script's own scrapes (it scrapes again while the radios change).
    check("each scrape counted", one(metrics, "airtally_exporter_scrapes_total")[1],
          float(os.environ.get("WD_SCRAPES", "1")))
    return report()


def faults(facts, ap_if, sta_if):
    before = parse_metrics(read(f"{facts}/metrics.txt"))
    silent = parse_metrics(read(f"{facts}/metrics-silent.txt"))
    gone = parse_metrics(read(f"{facts}/metrics-gone.txt"))
    fields = ("wpa", "key_mgmt", "pairwise_cipher", "group_cipher")
    # hostapd stopped: its request times out after the library's 2 s.
    check("a silent hostapd counts one control_socket error",
          errors(silent, "control_socket") - errors(before, "control_socket"), 1.0)
    duration = one(silent, "airtally_exporter_scrape_duration_seconds")[1] or 0
    check("the scrape waited out the 2 s limit", duration >= 2.0, True)
    ap, _ = one(silent, "airtally_interface_info", interface=ap_if)
    check("the silent AP is listed without security", tuple((ap or {}).get(f) for f in fields),
          ("", "", "", ""))
    sta, _ = one(silent, "airtally_interface_info", interface=sta_if)
    check("the station is unaffected", (sta or {}).get("pairwise_cipher"), "CCMP")
    # wpa_supplicant gone: an error, and none of its earlier values live on.
    check("a missing wpa_supplicant counts one control_socket error",
          errors(gone, "control_socket") - errors(silent, "control_socket"), 1.0)
    sta, _ = one(gone, "airtally_interface_info", interface=sta_if)
    check("the station is listed without its old security",
          tuple((sta or {}).get(f) for f in fields), ("", "", "", ""))
    ap, _ = one(gone, "airtally_interface_info", interface=ap_if)
    check("the resumed hostapd answers again", tuple((ap or {}).get(f) for f in fields),
          ("RSN", "WPA-PSK", "CCMP", "CCMP"))
    check("radios still listed", len(gone.get("airtally_radio_info", [])),
          len(before.get("airtally_radio_info", [])))
    return report()


def prometheus(port, pairs):
    for query, want in zip(pairs[::2], pairs[1::2]):
        url = f"http://127.0.0.1:{port}/api/v1/query?" + urllib.parse.urlencode({"query": query})
        try:
            with urllib.request.urlopen(url, timeout=30) as r:
                answer = json.load(r)
        except (OSError, ValueError) as e:
            print(f"{query}: {e}")
            return 1
        result = answer.get("data", {}).get("result", [])
        values = [float(x["value"][1]) for x in result]
        print(f"{query} -> {values}")
        if values != [float(want)]:
            return 1
    return 0


def report():
    if failures:
        print(f"{len(failures)} mismatches: {failures}")
        return 1
    return 0


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "fetch":
        return fetch(*args)
    if cmd == "refused":
        return refused(*args)
    if cmd == "check":
        return check_all(*args)
    if cmd == "faults":
        return faults(*args)
    if cmd == "prometheus":
        return prometheus(args[0], args[1:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
