#!/usr/bin/env bash
# A flight of the sanitizer-built program: a small terrain (1025 x 1025, in a
# temporary folder), 15 s at 1000 km/h under Xvfb, across several paging
# runs. Fails on any sanitizer report that scripts/lsan.supp or
# scripts/tsan.supp does not cover, and on a non-zero exit.
#
#   scripts/sanitizer-flight.sh BUILD_DIR [SECONDS]
set -uo pipefail
build=${1:?usage: sanitizer-flight.sh BUILD_DIR [SECONDS]}
seconds=${2:-15}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export TSAN_OPTIONS=suppressions=$root/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== vuelo con sanitizers: $build, terreno de 1025 x 1025, ${seconds} s"
mkdir -p "$work/Textures"
if ! "$bin/tools/vantapeak-tiles" --out "$work/Textures" >"$work/tiles.log" 2>&1 ||
   ! "$bin/tools/vantapeak-terrain" --size 1025 --seed 1 --out "$work" --textures "$work/Textures" \
       >"$work/terrain.log" 2>&1; then
  echo "sanitizer-flight: no se pudo generar el terreno:" >&2
  cat "$work/tiles.log" "$work/terrain.log" >&2
  exit 1
fi
# Mesa's GLX unloads its DRI driver at exit, before LeakSanitizer looks: the
# memory the driver's globals still reach then looks leaked, from an unknown
# module (and ThreadSanitizer stops on the unloading of a library its
# suppressions name). Preloaded, the driver stays loaded; the sanitizer
# runtime must come first in the list.
preload=""
runtime=$(ldd "$bin/app/vantapeak" | awk '/lib(a|t)san\.so/ {print $3; exit}')
driver=$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n 1)
if [ -n "$runtime" ] && [ -n "$driver" ]; then
  preload="$runtime $driver"
fi
(cd "$work" && xvfb-run -a -s "-screen 0 1280x1024x24" env ${preload:+LD_PRELOAD="$preload"} \
   "$bin/app/vantapeak" --start --speed 1000 --quit-after "$seconds" --stats "$work/s.csv") \
   >"$work/flight.log" 2>&1
status=$?
if [ $status -ne 0 ] || grep -qE "Sanitizer|runtime error:" "$work/flight.log"; then
  cat "$work/flight.log" >&2
  echo "sanitizer-flight: FALLO (estado $status)" >&2
  exit 1
fi
python3 "$root/scripts/flight-stats.py" "$work/s.csv" | grep -E "^(frames|paging_spans):"
echo "sanitizer-flight: sin informes"
