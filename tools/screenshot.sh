#!/usr/bin/env bash
# Remakes the README's picture: the window after a capture of the
# demonstration device with an IR RC6 analyzer added, on a private Xvfb
# screen with a fresh configuration (nothing of the user's is read or written).
# Usage: tools/screenshot.sh PROGRAM OUTPUT.png     (make screenshot)
set -euo pipefail
prog=$(realpath "${1:?program}")
out=$(realpath -m "${2:?output png}")
for t in Xvfb xdotool import; do
  command -v $t >/dev/null || { echo "screenshot.sh: $t is missing (tools/deps.sh look)" >&2; exit 2; }
done

home=$(mktemp -d)
trap 'kill $app $xv 2>/dev/null; wait 2>/dev/null; rm -rf "$home"' EXIT
mkdir -p "$home/brenmar"
cat >"$home/brenmar/cv.config" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<settings>
    <global>
        <devModel>0</devModel>
        <userLang>en-US</userLang>
        <windowPosition>0,0,1280,760</windowPosition>
        <analyzerAlias>IR remote;</analyzerAlias>
        <chnShowName2>IR receiver</chnShowName2>
    </global>
    <devices>
        <Demo>
            <smpFrequ>1000</smpFrequ>
            <smpDepth>100</smpDepth>
            <trgPosition>5</trgPosition>
        </Demo>
    </devices>
    <analyzers>
        <item0>
            <fileName>libIR-RC6.so</fileName>
            <parameters>"IR_RC6_Analyzer 0/2 1</parameters>
            <format>1</format>
        </item0>
    </analyzers>
</settings>
XML

d=99
while [ -e /tmp/.X$d-lock ]; do d=$((d + 1)); done
Xvfb :$d -screen 0 1280x760x24 >/dev/null 2>&1 &
xv=$!
export DISPLAY=:$d HOME=$home XDG_DATA_HOME=$home
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

"$prog" >"$home/program.log" 2>&1 &
app=$!
w=""
for _ in $(seq 100); do
  w=$(xdotool search --onlyvisible --pid $app 2>/dev/null | head -1) && [ -n "$w" ] && break
  sleep 0.2
done
[ -n "$w" ] || { echo "screenshot.sh: no window appeared" >&2; cat "$home/program.log" >&2; exit 1; }
sleep 2                          # the deferred start and the device search
xdotool windowfocus --sync "$w" key --window "$w" F5
sleep 3                          # capture, display and decode
# Point at the first row, so the measurements panel has a pulse to show.
xdotool mousemove --window "$w" 600 160
sleep 1
import -window "$w" "$out"
echo "$out"
