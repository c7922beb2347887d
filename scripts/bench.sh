#!/usr/bin/env bash
# Runs every benchmark that is built; each prints `name: value` lines.
set -uo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for b in "$root/$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  (cd "$root/data" && "$b") || status=1
done
exit $status
