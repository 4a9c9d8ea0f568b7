#!/usr/bin/env python3
"""A remote-control client as a script would be written, standard library
only. Runs one scenario against the server on 127.0.0.1:PORT and exits 0
when every answer was as expected; otherwise prints what differed on stderr
and exits 1. Results the caller checks further go to stdout as JSON.

  client.py PORT SCENARIO [ARG...]
"""
import csv
import json
import os
import socket
import sys
import time
from fractions import Fraction

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import cvdat_check  # noqa: E402  (the independent capture-file reader)

PORT = 0


class Failed(Exception):
    pass


def connect():
    s = socket.create_connection(("127.0.0.1", PORT), timeout=10)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def send(s, text):
    s.sendall(text.encode("latin-1"))


def reply(s, timeout=10.0):
    """One answer; None when nothing came within timeout, "" when closed."""
    s.settimeout(timeout)
    try:
        return s.recv(65536).decode("utf-8")
    except socket.timeout:
        return None


def cmd(s, text, want=None, timeout=10.0):
    send(s, text)
    r = reply(s, timeout)
    if want is not None and r != want:
        raise Failed("%r answered %r, expected %r" % (text, r, want))
    return r


def quiet(s, seconds, what):
    r = reply(s, seconds)
    if r is not None:
        raise Failed("%s: unexpected %r" % (what, r))


def no_device(s):
    cmd(s, "start", "NAK")
    cmd(s, "get-last-error", "ACK device disconnected, cannot start sample")


def simulate(s):
    cmd(s, "set-sample-rate 1000000", "ACK")
    cmd(s, "set-sample-depth 20000", "ACK")
    # Each start right after the answer of the one before.
    for i in range(5):
        cmd(s, "start --simulate", "ACK", timeout=30)
    r = cmd(s, "get-actual-sample-depth")
    if r != "ACK 20000":
        raise Failed("depth after the captures: %r" % r)


def start_stop(s):
    cmd(s, "set-sample-rate 1000000", "ACK")
    cmd(s, "set-sample-time 5", "ACK")
    send(s, "start --simulate")
    quiet(s, 0.2, "start before its capture ended")
    cmd(s, "stop", "ACK")
    quiet(s, 0.5, "after stop")
    cmd(s, "get-last-error", "ACK no error")


def too_long(s):
    send(s, "x" * 3000)
    quiet(s, 0.3, "3000 characters")
    cmd(s, "get-last-error", "ACK command is too long")


def new_client(s):
    cmd(s, "set-sample-rate 1000000", "ACK")
    cmd(s, "set-sample-time 0.5", "ACK")
    send(s, "start --simulate")
    quiet(s, 0.1, "first client's start")
    b = connect()
    rate = cmd(b, "get-sample-rate")
    if rate != "ACK 1000000":
        raise Failed("second client: %r" % rate)
    # The first client is closed without an answer.
    r = reply(s, 5)
    if r != "":
        raise Failed("first client got %r" % r)
    # Once the capture is shown, nothing but the second client's own answers.
    deadline = time.time() + 30
    while cmd(b, "get-actual-sample-depth") in ("ACK 0", None):
        if time.time() > deadline:
            raise Failed("the capture never ended")
        time.sleep(0.05)
    quiet(b, 0.3, "second client after the capture")
    cmd(b, "get-last-error", "ACK no error")


def trigger(s):
    cmd(s, "set-trigger --pos-edge 3", "ACK")


def csv_against_bin(csv_path, bin_path, selected, rate, chn_count):
    """Every line of the CSV holds the levels the binary file has at its
    sample, and the binary levels of the selected channels change only at
    the CSV's samples."""
    width = (chn_count + 7) // 8
    data = open(bin_path, "rb").read()
    count = len(data) // width
    levels = [int.from_bytes(data[i * width:(i + 1) * width], "little") for i in range(count)]
    mask = sum(1 << c for c in selected)
    with open(csv_path, newline="", encoding="utf-8") as f:
        rows = list(csv.reader(f, skipinitialspace=True, strict=True))
    if rows[0][0] != "Time[s]" or len(rows[0]) != 1 + len(selected):
        return "header %r" % rows[0]
    first = Fraction(rows[1][0])
    at = []
    for row in rows[1:]:
        t = (Fraction(row[0]) - first) * rate
        if t.denominator != 1:
            return "time %s is no sample" % row[0]
        i = int(t)
        want = sum(int(v) << c for v, c in zip(row[1:], selected))
        if i >= count or levels[i] & mask != want:
            return "line at sample %d differs" % i
        at.append(i)
    changes = [i for i in range(count) if i == 0 or (levels[i] ^ levels[i - 1]) & mask]
    if changes != at:
        return "%d changes in the binary file, %d lines" % (len(changes), len(at))
    return "ok"


def save(s, folder):
    cmd(s, "set-sample-rate 1000000", "ACK")
    cmd(s, "set-sample-depth 200000", "ACK")
    cmd(s, "start --simulate", "ACK", timeout=30)
    os.makedirs(os.path.join(folder, "a b"), exist_ok=True)
    paths = {}
    for ext in ("cvdat", "csv", "bin"):
        p = os.path.join(folder, "a b", "x." + ext)
        cmd(s, 'save-data "%s" --time-span 0 0.01 --chn-select 0 1' % p, "ACK", timeout=60)
        paths[ext] = p
    cap = cvdat_check.read_capture(paths["cvdat"])
    out = {
        "count": cap["count"],
        "trigger": cap["trigger"],
        "channels": sorted(int(c) for c in cap["channels"]),
        "csvVsBin": csv_against_bin(paths["csv"], paths["bin"], [0, 1], 1000000, cap["chnCount"]),
        "csv": cvdat_check.check_csv(paths["csv"], cap, [0, 1]),
        "bin": cvdat_check.check_bin(paths["bin"], cap, [0, 1]),
        "cvdat": paths["cvdat"],
    }
    print(json.dumps(out))


def big_save(s, path):
    t0 = time.perf_counter()
    cmd(s, 'save-data "%s"' % path, "ACK", timeout=300)
    print(json.dumps({"seconds": time.perf_counter() - t0}))


SCENARIOS = {
    "no-device": no_device,
    "simulate": simulate,
    "start-stop": start_stop,
    "too-long": too_long,
    "new-client": new_client,
    "trigger": trigger,
    "save": save,
    "big-save": big_save,
}


def main():
    global PORT
    PORT = int(sys.argv[1])
    s = connect()
    try:
        SCENARIOS[sys.argv[2]](s, *sys.argv[3:])
    except Failed as e:
        print(str(e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
