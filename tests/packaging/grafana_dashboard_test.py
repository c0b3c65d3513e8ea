#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The Grafana dashboard, checked without Grafana.

Usage: grafana_dashboard_test.py DASHBOARD RULES_DIR AIRTALLY_EXPORTER

It must import (inputs, requirements, a datasource on every panel, panels
inside the grid and apart), every PromQL expression in it must load in
promtool as a recording rule, its thresholds must be those of the alert
rules, and every metric it or the rules use must be one airtally-exporter
serves (asked of the built program itself).
"""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.request

try:
    import yaml
except ImportError:
    print("SKIPPED: PyYAML is not installed (Debian's python3-yaml; tools/setup installs it)")
    sys.exit(77)

DASHBOARD, RULES_DIR, EXPORTER = sys.argv[1:4]
GRID_COLUMNS = 24
DATASOURCE = {"type": "prometheus", "uid": "${DS_PROMETHEUS}"}
# Series Prometheus makes itself for every target it scrapes.
SCRAPE_SERIES = {"up"}
# Grafana's own variables, by a value of the kind Grafana puts in.
BUILTIN = {"__rate_interval": "1m", "__interval": "30s", "__range": "6h"}
KEYWORDS = {"and", "or", "unless", "by", "without", "on", "ignoring", "group_left",
            "group_right", "offset", "bool", "inf", "nan"}

with open(DASHBOARD, encoding="utf-8") as f:
    DASH = json.load(f)


def all_panels():
    for p in DASH["panels"]:
        yield p
        yield from p.get("panels", [])  # those of a collapsed row


def expressions():
    """(where, PromQL) of every query: panels' targets and the variables'
    label_values(SELECTOR, LABEL) as their selector."""
    for p in all_panels():
        for t in p.get("targets", []):
            yield f"panel {p['id']} {t['refId']}", t["expr"]
    for v in DASH["templating"]["list"]:
        query = v["query"]["query"] if isinstance(v["query"], dict) else v["query"]
        m = re.fullmatch(r"label_values\((.+),\s*(\w+)\)", query.strip())
        assert m, f"variable {v['name']}: not label_values(SELECTOR, LABEL): {query}"
        yield f"variable {v['name']}", m.group(1)


def concrete(expr):
    """expr with Grafana's variables replaced by values like Grafana's own;
    a variable the dashboard does not define is an error."""
    defined = {v["name"]: "value1" for v in DASH["templating"]["list"]} | BUILTIN

    def value(m):
        name = m.group(1) or m.group(2)
        if name not in defined:
            raise AssertionError(f"undefined variable ${name} in {expr}")
        return defined[name]
    return re.sub(r"\$\{(\w+)(?::[^}]*)?\}|\$(\w+)", value, expr)


def metric_names(expr):
    """The metric names a PromQL expression selects."""
    text = re.sub(r'"(?:[^"\\]|\\.)*"', '""', expr)
    text = re.sub(r"\{[^}]*\}|\[[^\]]*\]", " ", text)
    text = re.sub(r"\b(?:by|without|on|ignoring|group_left|group_right)\s*\([^)]*\)", " ", text)
    return {m.group(1) for m in re.finditer(r"(?<![\w.])([a-zA-Z_:][\w:]*)(?![\w:])(?!\s*\()", text)
            if m.group(1) not in KEYWORDS}


def alert_rules():
    for path in sorted(glob.glob(os.path.join(RULES_DIR, "*.rules.yml"))):
        with open(path, encoding="utf-8") as f:
            for group in yaml.safe_load(f)["groups"]:
                yield from group["rules"]


def served_metrics():
    """The families airtally-exporter announces (# TYPE), air ones included:
    it lists those for every --rfwatchd even while the daemon is away."""
    with tempfile.TemporaryDirectory() as d:
        with subprocess.Popen([EXPORTER, "-l", "127.0.0.1:0", "--rfwatchd",
                               os.path.join(d, "absent.sock") + "=wlan0"],
                              stdout=subprocess.PIPE, text=True) as p:
            try:
                port = re.search(r"127\.0\.0\.1:(\d+)", p.stdout.readline()).group(1)
                # Straight to loopback, whatever proxy the environment names.
                direct = urllib.request.build_opener(urllib.request.ProxyHandler({}))
                with direct.open(f"http://127.0.0.1:{port}/metrics", timeout=60) as r:
                    body = r.read().decode()
            finally:
                p.terminate()
    return set(re.findall(r"^# TYPE (\S+) ", body, re.M))


class Dashboard(unittest.TestCase):
    def test_importable(self):
        self.assertEqual([(i["name"], i["type"], i["pluginId"]) for i in DASH["__inputs"]],
                         [("DS_PROMETHEUS", "datasource", "prometheus")])
        required = {(r["type"], r["id"]) for r in DASH["__requires"]}
        self.assertLessEqual({("grafana", "grafana"), ("datasource", "prometheus")}, required)
        for key in ("uid", "title"):
            self.assertTrue(DASH.get(key), key)
        self.assertGreaterEqual(DASH["schemaVersion"], 39)  # Grafana 11
        labels = {re.search(r",\s*(\w+)\)", v["definition"]).group(1): v
                  for v in DASH["templating"]["list"]}
        self.assertLessEqual({"instance", "radio"}, set(labels))
        for v in labels.values():
            self.assertEqual(v["datasource"], DATASOURCE, v["name"])
        ids = [p["id"] for p in all_panels()]
        self.assertEqual(len(ids), len(set(ids)), "panel ids repeat")
        for p in all_panels():
            if p["type"] == "row":
                continue
            self.assertIn(("panel", p["type"]), required, p["title"])
            self.assertEqual(p["datasource"], DATASOURCE, p["title"])
            self.assertTrue(p["targets"], p["title"])
            for t in p["targets"]:
                self.assertEqual(t.get("datasource", DATASOURCE), DATASOURCE, p["title"])

    def test_panels_in_the_grid_and_apart(self):
        boxes = []
        for p in all_panels():
            g = p["gridPos"]
            self.assertTrue(g["x"] >= 0 and g["y"] >= 0 and g["w"] >= 1 and g["h"] >= 1
                            and g["x"] + g["w"] <= GRID_COLUMNS, (p["title"], g))
            for title, o in boxes:
                apart = (g["x"] + g["w"] <= o["x"] or o["x"] + o["w"] <= g["x"]
                         or g["y"] + g["h"] <= o["y"] or o["y"] + o["h"] <= g["y"])
                self.assertTrue(apart, f"{p['title']} overlaps {title}")
            boxes.append((p["title"], g))

    def test_every_query_loads_in_promtool(self):
        rules = [{"record": f"dashboard:query_{n}", "expr": concrete(e)}
                 for n, (_, e) in enumerate(expressions())]
        self.assertNotIn("$", json.dumps(rules))
        with tempfile.NamedTemporaryFile("w", suffix=".rules.yml") as f:
            yaml.safe_dump({"groups": [{"name": "dashboard", "rules": rules}]}, f)
            f.flush()
            check = subprocess.run(["promtool", "check", "rules", f.name],
                                   capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertIn(f"SUCCESS: {len(rules)} rules found", check.stdout)

    def test_thresholds_are_the_alert_rules(self):
        """A panel's threshold steps are numbers an alert rule compares one of
        the panel's metrics with, so moving an alert's level moves the
        dashboard's too."""
        levels = {}
        for rule in alert_rules():
            compared = {float(n) for n in re.findall(
                r"(?:[<>]=?|[=!]=)\s*(?:bool\s+)?(-?[\d.]+)(?![\w.])", rule["expr"])}
            for name in metric_names(rule["expr"]):
                levels.setdefault(name, set()).update(compared)
        for p in all_panels():
            steps = [s["value"] for s in p.get("fieldConfig", {}).get("defaults", {})
                     .get("thresholds", {}).get("steps", []) if s["value"] is not None]
            allowed = set()
            for t in p.get("targets", []):
                for name in metric_names(t["expr"]):
                    allowed |= levels.get(name, set())
            for s in steps:
                self.assertIn(s, allowed, f"{p['title']}: threshold {s} is no alert's")

    def test_metrics_are_the_exporters(self):
        served = served_metrics() | SCRAPE_SERIES
        self.assertIn("wifidiag_air_quality", served)  # the air families were asked for
        used = {}
        for where, expr in expressions():
            for name in metric_names(expr):
                used.setdefault(name, where)
        for rule in alert_rules():
            for name in metric_names(rule["expr"]):
                used.setdefault(name, rule["alert"])
        unknown = {name: where for name, where in used.items() if name not in served}
        self.assertEqual(unknown, {}, "metrics airtally-exporter does not serve")


if __name__ == "__main__":
    if not shutil.which("promtool"):
        print("SKIPPED: promtool is not installed (Debian's prometheus package; tools/setup "
              "installs it)")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1])
