#!/usr/bin/env bash
# Starts the program; with no display it runs under Xvfb and says so.
set -eu
prog=$1; shift
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$prog" "$@"
fi

echo "No display found: starting Corvena under Xvfb (xvfb-run). Close it with Ctrl+C; its settings are written as when its window closes."
# The terminal's Ctrl+C goes to its whole foreground process group: an X
# server there would end at once and take the program's display with it
# before the program has written its settings. So xvfb-run, its server and
# the program run in a session of their own, and this script hands Ctrl+C,
# SIGTERM and SIGHUP to the program alone, as a SIGTERM: started in the
# background, the program ignores SIGINT. The program then closes as its
# window's close does, and xvfb-run ends the server.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
runner=
forward() {
  [ -n "$runner" ] || return 0   # handed on as soon as it has started
  if [ -s "$tmp/pid" ]; then
    kill -TERM "$(cat "$tmp/pid")" 2>/dev/null || true
  else
    kill -TERM -- "-$runner" 2>/dev/null || true   # not started yet: the whole session
  fi
}
# The program takes a second SIGTERM as "end at once, settings unwritten",
# so only the first signal is handed on. A closing terminal sends SIGHUP
# twice (its shell hangs up its jobs, then the kernel the foreground group),
# and a service manager's SIGTERM may come beside a SIGHUP: neither is a
# second request. The user's second Ctrl+C is, and so is a SIGTERM that
# comes when the program has had time to close.
first=
received() {
  if [ -z "$first" ]; then
    first=$SECONDS
    forward
  elif [ "$1" = INT ] || { [ "$1" = TERM ] && [ $((SECONDS - first)) -ge 5 ]; }; then
    forward
  fi
}
# In place before anything starts: a signal that ended this script at once
# would leave the program running with nobody to hand signals on.
trap 'received INT' INT
trap 'received TERM' TERM
trap 'received HUP' HUP

setsid -w xvfb-run -a -s "-screen 0 1920x1080x24" \
  sh -c 'echo $$ >"$0.new" && mv "$0.new" "$0" && exec "$@"' "$tmp/pid" "$prog" "$@" &
runner=$!
[ -z "$first" ] || forward

# A terminal that closes signals only its session leader. When that is not
# a shell but a program that waits for its children first (make, as in
# `xterm -e make run`), no signal comes here at all: the closed terminal is
# seen instead, as /dev/tty that can no longer be opened.
terminal=false
if { : </dev/tty; } 2>/dev/null; then terminal=true; fi
while kill -0 "$runner" 2>/dev/null; do
  if $terminal; then
    if ! { : </dev/tty; } 2>/dev/null; then
      terminal=false
      received HUP
      continue
    fi
    sleep 0.5 &
    tick=$!
    # A handled signal ends the wait early, as does the program's end.
    wait -n "$tick" "$runner" 2>/dev/null || true
    kill "$tick" 2>/dev/null || true
    wait "$tick" 2>/dev/null || true
  else
    wait "$runner" 2>/dev/null || true
  fi
done
status=0
wait "$runner" || status=$?
exit "$status"
