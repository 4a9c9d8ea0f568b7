#!/usr/bin/env bash
# Starts the program; with no display it runs under Xvfb and says so.
set -eu
prog=$1; shift
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Corvena under Xvfb (xvfb-run). Close it with Ctrl+C."
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$prog" "$@"
fi
exec "$prog" "$@"
