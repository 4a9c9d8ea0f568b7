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
# Ctrl+\, SIGTERM and SIGHUP to the program alone, as a SIGTERM: started in
# the background, the program ignores SIGINT. The program then closes as its
# window's close does, and xvfb-run ends the server.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# No command substitution here: bash runs a trap that comes while it parses
# one inside that parse, and the script then ends with a syntax error.
# The pid file is opened only once it is there: a redirection from a missing
# file is reported on the terminal (a 2>/dev/null after it comes too late).
# It appears whole (mv) and stays until this script ends.
# False when nobody took the signal: the session is not made yet.
forward() {
  local pid=
  if [ -f "$tmp/pid" ]; then
    { read -r pid <"$tmp/pid"; } 2>/dev/null || true
  fi
  if [ -n "$pid" ]; then
    kill -TERM "$pid" 2>/dev/null || true
  else
    kill -TERM -- "-$runner" 2>/dev/null   # not started yet: the whole session
  fi
}
# The program takes a second SIGTERM as "end at once, settings unwritten",
# so only the first signal is handed on. A closing terminal sends SIGHUP
# twice (its shell hangs up its jobs, then the kernel the foreground group),
# and a service manager's SIGTERM may come beside a SIGHUP: neither is a
# second request. The user's second Ctrl+C or Ctrl+\ is, and so is a SIGTERM
# that comes when the program has had time to close. Ctrl+\ (SIGQUIT) is
# taken as Ctrl+C: bash ignores it, so untrapped it would end make (or make's
# shell) and give the prompt back with the program running unseen.
# The traps only note what came: bash runs a trap again inside a trap that
# is still running, so a handler that decided itself could hand on both
# SIGHUPs of a closing terminal. The loop below decides, one at a time.
came=   # the signals so far, in order
handled=0
first=
decide() {
  local sig n=0
  for sig in $came; do
    n=$((n + 1))
    [ "$n" -gt "$handled" ] || continue
    if [ -z "$first" ]; then
      # Kept for the next turn of the loop when nobody could take it: setsid
      # may not have made the session yet.
      forward || return 0
      first=$SECONDS
    elif [ "$sig" = INT ] || [ "$sig" = QUIT ] || { [ "$sig" = TERM ] && [ $((SECONDS - first)) -ge 5 ]; }; then
      forward || true
    fi
    handled=$n
  done
}
# In place before anything starts: a signal that ended this script at once
# would leave the program running with nobody to hand signals on.
trap 'came="$came INT"' INT
trap 'came="$came QUIT"' QUIT
trap 'came="$came TERM"' TERM
trap 'came="$came HUP"' HUP

setsid -w xvfb-run -a -s "-screen 0 1920x1080x24" \
  sh -c 'echo $$ >"$0.new" && mv "$0.new" "$0" && exec "$@"' "$tmp/pid" "$prog" "$@" &
runner=$!

# A terminal that closes signals only its session leader. When that is not
# a shell but a program that waits for its children first (make, as in
# `xterm -e make run`), no signal comes here at all: the closed terminal is
# seen instead, as /dev/tty that can no longer be opened.
terminal=false
if { : </dev/tty; } 2>/dev/null; then terminal=true; fi
# A pipe nobody writes to: reading it waits half a second, or less when a
# signal comes. (No sleeps waited for: bash 5.2's wait can hang on a child
# that ended as a trap ran.)
mkfifo "$tmp/tick"
exec 8<>"$tmp/tick"
while kill -0 "$runner" 2>/dev/null; do
  decide
  if $terminal && ! { : </dev/tty; } 2>/dev/null; then
    terminal=false
    came="$came HUP"
    continue
  fi
  read -r -t 0.5 -u 8 _ || true
done
status=0
wait "$runner" || status=$?
exit "$status"
