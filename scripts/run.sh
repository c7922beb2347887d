#!/usr/bin/env bash
# Opens vantaPeak in data/ (where the terrain files and Textures/ live) with
# the simulation started. Without a display it says how to get one.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
app="$root/$build/app/vantapeak"
if [ ! -x "$app" ]; then
  echo "vantapeak: the default terrain is in $root/data."
  exit 0
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "vantapeak: no display found (DISPLAY is not set)." >&2
  echo "Run it under a virtual X server instead, for example:" >&2
  echo "  cd $root/data && xvfb-run -a -s '-screen 0 1280x1024x24' $app --start --quit-after 60" >&2
  exit 1
fi
cd "$root/data"
exec "$app" --start --look enhanced
