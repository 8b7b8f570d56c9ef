#!/usr/bin/env python3
"""Checks the DOM a browser built from a zivo report against its record.

    browser_check.py RECORD DOM_FILE CONSOLE_LOG SCREENSHOT

One svg.chart per sensor of the record's header (data-sensor its name) with
its throttle start, release and shutdown lines (and a critical one where the
header has a critical trip); decision markers counting every decision of
those sensors; the summary tables; no script and nothing fetched; no console
message; a screenshot that is not blank. Prints each failure, exits 1 on any.
"""
import json
import struct
import sys
import zlib
from html.parser import HTMLParser

DECISIONS = {"throttle", "release", "failsafe", "hibernate", "shutdown", "cancel"}


class Dom(HTMLParser):
    def __init__(self):
        super().__init__()
        self.charts = []  # [name, set of threshold kinds, decisions counted]
        self.tables = 0
        self.fetches = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        classes = (a.get("class") or "").split()
        for key in ("src", "href", "xlink:href"):
            if key in a:
                self.fetches.append(f"<{tag} {key}={a[key]}>")
        if tag in ("script", "link", "iframe", "object", "embed"):
            self.fetches.append(f"<{tag}>")
        if tag == "svg" and "chart" in classes:
            self.charts.append([a.get("data-sensor"), set(), 0])
        elif tag == "line" and "threshold" in classes and self.charts:
            self.charts[-1][1].update(c for c in classes if c != "threshold")
        elif tag == "g" and "decision" in classes and self.charts:
            self.charts[-1][2] += int(a.get("data-decisions", "1"))
        elif tag == "table" and "summary" in classes:
            self.tables += 1


def png_is_blank(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return True, "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IDAT":
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    raw = zlib.decompress(idat)
    distinct = len(set(raw))
    # A blank page is one colour: its rows hold a handful of byte values.
    return distinct < 16, f"{distinct} distinct byte values"


def main():
    record, dom_file, console_log, screenshot = sys.argv[1:5]
    failures = []
    with open(record, encoding="utf-8") as f:
        objects = [json.loads(line) for line in f if line.strip()]
    header = objects[0]
    sensors = {s["name"]: s for s in header["sensors"]}
    expected = {name: 0 for name in sensors}
    for o in objects:
        if o.get("action") in DECISIONS and o.get("sensor") in expected:
            expected[o["sensor"]] += 1
    dom = Dom()
    with open(dom_file, encoding="utf-8") as f:
        dom.feed(f.read())
    names = [c[0] for c in dom.charts]
    if sorted(names) != sorted(sensors):
        failures.append(f"charts {names}, sensors {sorted(sensors)}")
    for name, kinds, decisions in dom.charts:
        wanted = {"throttle-start", "release", "shutdown"}
        if "critical" in sensors.get(name, {}):
            wanted.add("critical")
        if kinds != wanted:
            failures.append(f"{name}: threshold lines {sorted(kinds)}, expected {sorted(wanted)}")
        if decisions != expected.get(name):
            failures.append(f"{name}: {decisions} decisions marked, {expected.get(name)} made")
    if sum(expected.values()) == 0:
        failures.append("the record holds no decision to mark: the run shows too little")
    if dom.tables < 1:
        failures.append("no summary table")
    if dom.fetches:
        failures.append(f"fetches or scripts: {dom.fetches[:5]}")
    with open(console_log, encoding="utf-8", errors="replace") as f:
        console = [line.strip() for line in f if ":CONSOLE" in line]
    if console:
        failures.append(f"console messages: {console[:5]}")
    blank, why = png_is_blank(screenshot)
    if blank:
        failures.append(f"the screenshot is blank: {why}")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print(f"{len(dom.charts)} charts, {sum(expected.values())} decisions marked, "
              f"{dom.tables} summary tables, screenshot {why}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
