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
# the program run in a session of their own, and this script hands Ctrl+C
# (and a SIGTERM or SIGHUP of its own) to the program alone, as a SIGTERM:
# started in the background, the program ignores SIGINT. The program then
# closes as its window's close does, and xvfb-run ends the server.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
setsid -w xvfb-run -a -s "-screen 0 1920x1080x24" \
  sh -c 'echo $$ >"$0.new" && mv "$0.new" "$0" && exec "$@"' "$tmp/pid" "$prog" "$@" &
runner=$!
forward() {
  if [ -s "$tmp/pid" ]; then
    kill -TERM "$(cat "$tmp/pid")" 2>/dev/null || true
  else
    kill -TERM -- "-$runner" 2>/dev/null || true   # not started yet: the whole session
  fi
}
trap forward INT TERM HUP
# A handled signal interrupts wait; wait again until the program has ended.
while :; do
  status=0
  wait "$runner" || status=$?
  kill -0 "$runner" 2>/dev/null || break
done
exit "$status"
