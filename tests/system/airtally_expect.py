#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks airtally-show's JSON against iw's view of the radios and
interfaces, and the security fields against the values a WPA2-PSK/CCMP
access point and station give (and, for the access point, against the
captured hostapd reply under the library's parsing rules).

usage: airtally_expect.py FACTS_DIR AP_IFACE STA_IFACE [PHY=CC ...]
(each PHY=CC also requires that exact country on that radio)
"""
import json
import re
import sys

AKMS = {"WPA-PSK": 0x000FAC02, "FT-PSK": 0x000FAC04, "WPA-PSK-SHA256": 0x000FAC06,
        "WPA-EAP": 0x000FAC01, "FT-EAP": 0x000FAC03, "WPA-EAP-SHA256": 0x000FAC05,
        "SAE": 0x000FAC08, "FT-SAE": 0x000FAC09, "WPA-EAP-SUITE-B": 0x000FAC0B,
        "WPA-EAP-SUITE-B-192": 0x000FAC0C, "OWE": 0x000FAC12}
CIPHERS = {"CCMP": 0x000FAC04, "TKIP": 0x000FAC02, "CCMP-256": 0x000FAC0A,
           "GCMP": 0x000FAC08, "GCMP-256": 0x000FAC09, "WEP40": 0x000FAC01,
           "WEP104": 0x000FAC05}
WIDTHS = {"20 MHz (no HT)": 20, "20 MHz": 20, "40 MHz": 40, "80 MHz": 80,
          "80+80 MHz": 160, "160 MHz": 160}

failures = []


def check(what, got, want, source="airtally-show"):
    if got == want:
        print(f"ok: {what}: {got!r}")
    else:
        print(f"MISMATCH: {what}: {source} {got!r}, expected {want!r}")
        failures.append(what)


def read(path):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        return f.read()


def phys_from_iw_list(text):
    """phy name -> capability bits and antennas, from `iw list`, in its
    (the kernel's dump) order."""
    phys = {}
    for block in re.split(r"^Wiphy ", text, flags=re.M)[1:]:
        name = block.split("\n", 1)[0].strip()
        idx = re.search(r"wiphy index: (\d+)", block)
        modes = 1
        if re.search(r"^\s+Capabilities: 0x", block, re.M) or "HT TX/RX MCS rate indexes" in block:
            modes |= 2
        if "VHT Capabilities" in block:
            modes |= 4
        if "HE Iftypes" in block or "HE MAC Capabilities" in block:
            modes |= 8
        ant = re.search(r"Configured Antennas: TX 0x([0-9a-f]+) RX 0x([0-9a-f]+)", block)
        phys[name] = {"index": int(idx.group(1)) if idx else None, "modes": modes,
                      "ant": (int(ant.group(1), 16) & 0xff, int(ant.group(2), 16) & 0xff)
                      if ant else (0, 0)}
    return phys


def ifaces_from_iw_dev(text):
    """Interfaces in dump order with their phy and attributes, from `iw dev`."""
    out, phy = [], None
    for line in text.splitlines():
        m = re.match(r"phy#(\d+)", line)
        if m:
            phy = int(m.group(1))
            continue
        m = re.match(r"\s+Interface (\S+)", line)
        if m:
            out.append({"ifname": m.group(1), "phy": phy})
            continue
        if re.match(r"\s+Unnamed/non-netdev interface", line):
            # A wdev without a netdev (wpa_supplicant's P2P device): in the
            # dump, but with neither name nor ifindex.
            out.append({"ifname": None, "phy": phy})
            continue
        if not out:
            continue
        cur = out[-1]
        s = line.strip()
        if s.startswith("ifindex "):
            cur["ifindex"] = int(s.split()[1])
        elif s.startswith("addr "):
            cur["mac"] = s.split()[1]
        elif s.startswith("ssid "):
            cur["ssid"] = s[5:]
        elif s.startswith("type "):
            cur["type"] = s[5:]
        elif s.startswith("channel "):
            m = re.search(r"\((\d+) MHz\), width: ([^,]+)", s)
            if m:
                cur["freq"] = int(m.group(1))
                cur["width"] = WIDTHS.get(m.group(2).strip())
        elif s.startswith("txpower "):
            cur["txpower"] = int(float(s.split()[1]))
        elif s.startswith("4addr: "):
            cur["4addr"] = 1 if s.endswith("on") else 0
    return out


def own_domains(text):
    """phy index -> alpha2 for the phys that have a domain of their own."""
    out, phy = {}, None
    for line in text.splitlines():
        m = re.match(r"phy#(\d+)", line)
        if m:
            phy = int(m.group(1))
        elif line.startswith("global"):
            phy = None
        m = re.match(r"country (\S\S)", line)
        if m and phy is not None:
            out[phy] = m.group(1)
    return out


def lines(reply):
    return [l for l in reply.split("\n") if l]


def ap_expected(reply):
    v = {"wpa": 0, "key_mgmt": 0, "pairwise_cipher": 0, "group_cipher": 0}
    for l in lines(reply):
        if l.startswith("wpa="):
            m = re.match(r"\s*[+-]?\d+", l[4:])
            bits = int(m.group(0)) if m else 0
            v["wpa"] |= bits & 3
        elif l.startswith("key_mgmt="):
            v["key_mgmt"] = AKMS.get(l[9:], 0)
        elif l.startswith("wpa_pairwise_cipher="):
            v["pairwise_cipher"] = CIPHERS.get(l[20:], 0)
        elif l.startswith("rsn_pairwise_cipher="):
            v["pairwise_cipher"] = CIPHERS.get(l[20:], 0)
        elif l.startswith("group_cipher="):
            v["group_cipher"] = CIPHERS.get(l[13:], 0)
    return v


IFTYPES = {"managed": 2, "AP": 3, "monitor": 6}


def main():
    facts, ap_if, sta_if = sys.argv[1:4]
    want_countries = dict(a.split("=", 1) for a in sys.argv[4:])
    show = json.loads(read(f"{facts}/show.json"))
    phys = phys_from_iw_list(read(f"{facts}/iw-list.txt"))
    ifaces = ifaces_from_iw_dev(read(f"{facts}/iw-dev.txt"))
    domains = own_domains(read(f"{facts}/iw-reg.txt"))
    radios = show["radios"]
    check("radio records, one per phy in dump order (as iw list)",
          [r["phy_name"] for r in radios], list(phys))
    check("radio phy indices", [r["phy"] for r in radios], [p["index"] for p in phys.values()])
    for r in radios:
        name = r["phy_name"]
        p = phys.get(name, {})
        check(f"{name} capability bits", r["phy_modes"], p.get("modes"))
        check(f"{name} antennas", (r["antenna_tx"], r["antenna_rx"]), p.get("ant"))
        check(f"{name} country", r["country"], domains.get(r["phy"], ""))
        if name in want_countries:
            check(f"{name} country is the scenario's", r["country"], want_countries.pop(name))
        # Over the phy's interfaces in dump order: the name of the first
        # that has one, every other member from the last that carries it.
        want = {"ifname": "", "ifindex": 0, "mac": "00:00:00:00:00:00", "freq": 0,
                "width": 0, "txpower": 0}
        for i in (i for i in ifaces if i["phy"] == r["phy"]):
            if not want["ifname"] and i["ifname"]:
                want["ifname"] = i["ifname"]
            for k in ("ifindex", "mac", "freq", "width", "txpower"):
                if k in i:
                    want[k] = i[k]
        check(f"{name} ifname", r["ifname"], want["ifname"])
        check(f"{name} ifindex", r["ifindex"], want["ifindex"])
        check(f"{name} mac", r["mac"], want["mac"])
        check(f"{name} freq", r["freq"], want["freq"])
        check(f"{name} chan_width", r["chan_width"], want["width"])
        check(f"{name} tx_power", r["tx_power"], want["txpower"])

    vaps = {v["ifname"]: v for v in show["vaps"]}
    netdevs = [i for i in ifaces if i["ifname"]]
    check("VAP records, one per network interface", sorted(vaps),
          sorted(i["ifname"] for i in netdevs))
    for i in netdevs:
        v = vaps.get(i["ifname"])
        if v is None:
            continue
        n = i["ifname"]
        check(f"{n} ifindex", v["ifindex"], i["ifindex"])
        check(f"{n} phy", v["phy"], i["phy"])
        check(f"{n} iftype", v["iftype"], IFTYPES.get(i.get("type"), -1))
        check(f"{n} mac", v["mac"], i["mac"])
        check(f"{n} ssid", v["ssid"], i.get("ssid", ""))
        check(f"{n} use_4addr", v["use_4addr"], i.get("4addr", 0))
    check("AP interface is type 3", vaps.get(ap_if, {}).get("iftype"), 3)
    check("station interface is type 2", vaps.get(sta_if, {}).get("iftype"), 2)
    # The kernel reports an SSID for access points only; a station's stays
    # empty (checked against iw above).
    check("the AP carries its SSID", vaps.get(ap_if, {}).get("ssid"), "airtally-ap")

    fields = ("wpa", "key_mgmt", "pairwise_cipher", "group_cipher")
    ap_want = ap_expected(read(f"{facts}/get_config.txt"))
    ap = vaps.get(ap_if, {})
    for f in fields:
        check(f"AP {ap_if} {f}", ap.get(f), ap_want[f])
    # The expectation for a WPA2-PSK/CCMP hostapd, checked directly
    # too, so a change in hostapd's reply format shows up as a failure.
    check(f"AP {ap_if} security (wpa, key_mgmt, pairwise, group)",
          tuple(ap.get(f) for f in fields), (2, 0x000FAC02, 0x000FAC04, 0x000FAC04))

    # The station's values for this WPA2-PSK/CCMP association, stated
    # outright. key_mgmt is PSK's suite: STATUS says "key_mgmt=WPA2-PSK",
    # wpa_supplicant's name for it. The ciphers come from STATUS ("CCMP"),
    # wpa from MIB's selected pairwise suite (OUI 00-0f-ac: RSN).
    sta = vaps.get(sta_if, {})
    for f, want in zip(fields, (2, 0x000FAC02, 0x000FAC04, 0x000FAC04)):
        check(f"station {sta_if} {f}", sta.get(f), want)
    # The reply lines those values rest on, so a change in wpa_supplicant's
    # replies is reported as such rather than as the library's fault.
    status, mib = lines(read(f"{facts}/status.txt")), lines(read(f"{facts}/mib.txt"))
    for key, want in (("key_mgmt=", "WPA2-PSK"), ("pairwise_cipher=", "CCMP"),
                      ("group_cipher=", "CCMP")):
        check(f"STATUS {key}", [l[len(key):] for l in status if l.startswith(key)], [want],
              "wpa_supplicant")
    key = "dot11RSNAPairwiseCipherSelected="
    check(f"MIB {key}", [l[len(key):] for l in mib if l.startswith(key)], ["00-0f-ac-4"],
          "wpa_supplicant")

    check("every radio the scenario names was listed", sorted(want_countries), [])
    if failures:
        print(f"{len(failures)} mismatches")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
