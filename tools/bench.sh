#!/usr/bin/env bash
# Runs every benchmark executable in the given directory.
set -eu
dir=$1
status=0
for b in "$dir"/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true || status=1
done
exit $status
