#!/usr/bin/env python3
"""Independent reader of a capture file (*.cvdat) and of the CSV and binary
exports of the same range, written from the file format's tables with the
standard library only.

  cvdat_check.py CAPTURE [--csv FILE --bin FILE --selected 0,2,5]

Prints one JSON object: the capture's head and tables, "csv" and "bin" as
"ok" or the first difference from the levels the capture file holds, and
"csvNames", the channel names of the CSV header.
"""
import argparse
import csv
import json
import struct
import sys
from fractions import Fraction


def u40(b, off):
    return int.from_bytes(b[off:off + 5], "little")


def read_capture(path):
    data = open(path, "rb").read()
    end = data.find(b"</settings>")
    if end <= 0:
        raise ValueError("no settings header")
    pos = end + len(b"</settings>")
    while pos < len(data) and data[pos] in b"\r\n":
        pos += 1
    head = data[pos:pos + 40]
    if len(head) != 40 or head[:6] != b"cvdat\0":
        raise ValueError("bad data head")
    cap = {"count": u40(head, 8), "rate": u40(head, 16), "trigger": u40(head, 24),
           "chnCount": head[32], "channels": {}}
    pos += 40
    while pos < len(data):
        ch = data[pos:pos + 16]
        if len(ch) != 16 or ch[:4] != b"##D\0":
            raise ValueError("bad channel head at %d" % pos)
        n = u40(ch, 8)
        pos += 16
        if len(data) < pos + 5 * n:
            raise ValueError("cut short")
        entries = [u40(data, pos + 5 * i) for i in range(n)]
        pos += 5 * n
        cap["channels"][str(ch[4])] = {"level": ch[5], "entries": entries}
    return cap


def levels_at(cap, chn):
    """Per-sample levels of one channel (0 when it has no table)."""
    count = cap["count"]
    t = cap["channels"].get(str(chn))
    if t is None:
        return [0] * count
    out = []
    level = t["level"]
    edges = t["entries"][:-1]
    k = 0
    for s in range(count):
        while k < len(edges) and edges[k] <= s:
            level ^= 1
            k += 1
        out.append(level)
    return out


def time_text(t, rate, origin):
    digits = 12
    scale = 10 ** 12
    while digits > 0 and (scale // rate) % 10 == 0:
        scale //= 10
        digits -= 1
    d = t - origin
    v = abs(Fraction(d) * 10 ** digits / rate)
    v = v.numerator // v.denominator
    whole, frac = divmod(v, 10 ** digits)
    text = "%d.%s" % (whole, str(frac).zfill(digits) if digits else "")
    return ("-" if d < 0 else "") + text


def check_csv(path, cap, selected):
    """The CSV read as the file format page says; also sets cap["csvNames"]."""
    lv = {c: levels_at(cap, c) for c in selected}
    with open(path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f, skipinitialspace=True))
    if not rows or rows[0][0] != "Time[s]" or len(rows[0]) != 1 + len(selected):
        return "bad header %r" % (rows[:1],)
    cap["csvNames"] = rows[0][1:]
    want = [t for t in range(cap["count"])
            if t == 0 or any(lv[c][t] != lv[c][t - 1] for c in selected)]
    if len(rows) - 1 != len(want):
        return "%d lines, expected %d" % (len(rows) - 1, len(want))
    for row, t in zip(rows[1:], want):
        exp = [time_text(t, cap["rate"], cap["trigger"])] + [str(lv[c][t]) for c in selected]
        if row != exp:
            return "line of sample %d: %r, expected %r" % (t, row, exp)
    return "ok"


def check_bin(path, cap, selected):
    width = (cap["chnCount"] + 7) // 8
    data = open(path, "rb").read()
    if len(data) != width * cap["count"]:
        return "%d bytes, expected %d" % (len(data), width * cap["count"])
    lv = {c: levels_at(cap, c) for c in selected}
    for t in range(cap["count"]):
        word = int.from_bytes(data[t * width:(t + 1) * width], "little")
        exp = sum(lv[c][t] << c for c in selected)
        if word != exp:
            return "sample %d: %x, expected %x" % (t, word, exp)
    return "ok"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("capture")
    ap.add_argument("--csv")
    ap.add_argument("--bin")
    ap.add_argument("--selected", default="")
    a = ap.parse_args()
    cap = read_capture(a.capture)
    selected = [int(x) for x in a.selected.split(",") if x]
    if a.csv:
        cap["csv"] = check_csv(a.csv, cap, selected)
    if a.bin:
        cap["bin"] = check_bin(a.bin, cap, selected)
    json.dump(cap, sys.stdout)


if __name__ == "__main__":
    main()
