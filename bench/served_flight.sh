#!/usr/bin/env bash
# Flights over a terrain served by nginx on 127.0.0.1 (started and stopped
# here, unprivileged): a first flight with an empty cache, a second over the
# same path from the cache, one over a link limited to 20 MB/s, and one
# whose server is stopped mid-flight. Prints `name: value` lines.
#   bench/served_flight.sh COG.tif [SECONDS] [BUILD]
# Needs xvfb-run and nginx (scripts/install-deps.sh).
set -uo pipefail
cog=$(realpath "$1")
seconds=${2:-60}
build=${3:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
program="$root/$build/app/vantapeak"
work=$(mktemp -d)
trap 'kill $(cat "$work/nginx.pid" 2>/dev/null) 2>/dev/null; [ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
[ -n "${KEEP:-}" ] && echo "work folder: $work"

mkdir -p "$work/www" "$work/logs" "$work/run"
ln -s "$cog" "$work/www/t.tif"
cp -r "$root/data/Textures" "$work/run/" 2>/dev/null || "$root/$build/tools/vantapeak-tiles" --out "$work/run/Textures" >/dev/null
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/nginx.conf" <<EOF
daemon on;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log $work/access.log;
  client_body_temp_path $work/cb; proxy_temp_path $work/px; fastcgi_temp_path $work/fc;
  uwsgi_temp_path $work/uw; scgi_temp_path $work/sc;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    location /slow/ { alias $work/www/; limit_rate 20m; }
  }
}
EOF
start_server() { /usr/sbin/nginx -e "$work/error.log" -p "$work" -c "$work/nginx.conf"; sleep 0.5; }
stop_server() { kill "$(cat "$work/nginx.pid")"; sleep 0.5; }

# One flight: NAME URL CACHE [STOP_AFTER_SECONDS]. Leaves NAME.csv and the
# program's exit status in NAME.status.
fly() {
  local name=$1 url=$2 cache=$3 stop=${4:-0}
  (cd "$work/run" && XDG_CACHE_HOME="$cache" xvfb-run -a -s "-screen 0 1280x1024x24" "$program" \
     --terrain "$url" --start --tour --speed 1000 --quit-after "$seconds" --stats "$work/$name.csv" \
     >"$work/$name.log" 2>&1; echo $? >"$work/$name.status") &
  local flight=$!
  if [ "$stop" -gt 0 ]; then sleep "$stop"; stop_server; fi
  wait $flight
}

# Figures of NAME.csv: time to the first frame from "Iniciar", frames
# without terrain after the first 2 s, worst frame interval after the first
# frame, and paging runs (count, median and longest, ms).
report() {
  local name=$1
  awk -F, -v n="$name" '
    NR == 1 { next }
    NR == 2 { first = $1 }
    { if (NR > 2 && $1 - last > worst) worst = $1 - last
      if (NR > 2 && $1 > first + 2000 && $1 - last > late) late = $1 - last
      if (NR > 2 && $1 > first + 2000 && $1 - last > 100) over++
      last = $1
      if ($1 > first + 2000 && $4 == 0) bare++ }
    END {
      printf "%s_first_frame_ms: %d\n%s_frames: %d\n%s_frames_without_terrain_after_2s: %d\n", n, first, n, NR - 1, n, bare + 0
      printf "%s_worst_frame_interval_ms: %d\n%s_worst_frame_interval_after_2s_ms: %d\n", n, worst, n, late
      printf "%s_frame_intervals_over_100ms_after_2s: %d\n", n, over + 0
    }' "$work/$name.csv"
  awk -F, 'NR > 1 && $9 == 1 && !paging { paging = 1; since = $1 } $9 == 0 && paging { paging = 0; print $1 - since }' \
    "$work/$name.csv" | sort -n | awk -v n="$name" '{ runs[++count] = $1 }
    END { printf "%s_paging_runs: %d\n", n, count
          if (count) printf "%s_paging_run_median_ms: %d\n%s_paging_run_max_ms: %d\n", n, runs[int((count + 1) / 2)], n, runs[count] }'
}

bytes_since() { awk -v from="$1" 'NR > from { sum += $10 } END { print sum + 0 }' "$work/access.log"; }
lines() { wc -l < "$work/access.log" 2>/dev/null || echo 0; }

start_server
url="http://127.0.0.1:$port/t.tif"
if [ -n "${ONLY_STOPPED:-}" ]; then
  fly stopped "$url" "$work/stoppedcache" $((seconds / 3)); report stopped
  echo "stopped_exit_status: $(cat "$work/stopped.status")"
  exit 0
fi
mark=$(lines); fly first "$url" "$work/cache"; first_bytes=$(bytes_since "$mark")
mark=$(lines); fly second "$url" "$work/cache"; second_bytes=$(bytes_since "$mark")
report first
report second
echo "first_flight_bytes: $first_bytes"
echo "second_flight_bytes: $second_bytes"
awk -v a="$first_bytes" -v b="$second_bytes" 'BEGIN { printf "second_to_first_bytes_percent: %.2f\n", a ? 100 * b / a : 0 }'
fly slow "http://127.0.0.1:$port/slow/t.tif" "$work/slowcache"
report slow
fly stopped "$url" "$work/stoppedcache" $((seconds / 3))
report stopped
awk -F, -v at=$((seconds / 3 * 1000)) 'NR > 1 && $1 > at + 2000 { n++ } END { print "stopped_frames_after_stop: " n + 0 }' "$work/stopped.csv"
echo "stopped_exit_status: $(cat "$work/stopped.status")"
for f in first second slow; do echo "${f}_exit_status: $(cat "$work/$f.status")"; done
