#!/usr/bin/env bash
# Opens vantaPeak in data/ (where the terrain files and Textures/ live) with
# the given options (`make run` passes the guided flight's). Fails with a
# clear message when the program is not built or no display is found.
#
#   scripts/run.sh [BUILD_DIR] [vantapeak options...]
set -euo pipefail
build=${1:-build}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
app="$root/$build/app/vantapeak"
if [ ! -x "$app" ]; then
  echo "run.sh: no está compilado $app; compílelo con 'make programs' (o 'make run')." >&2
  exit 1
fi
if [ ! -f "$root/data/terrainMdt_8193x8193.bmp" ]; then
  echo "run.sh: falta el terreno en $root/data; genérelo con 'make terrain' (o 'make run')." >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no hay pantalla (DISPLAY no está definida). Ábralo en un servidor X virtual, por ejemplo:" >&2
  echo "  cd $root/data && xvfb-run -a -s '-screen 0 1280x1024x24' $app $* --quit-after 60" >&2
  exit 1
fi
cd "$root/data"
exec "$app" "$@"
