#!/usr/bin/env bash
# Installs the Debian packages that vantaPeak's build, tests, benchmarks and
# tools need. Idempotent: quiet and quick when everything is already there.
#   install-deps.sh            what `make build` and `make test` need
#   install-deps.sh --package  also what only `make package` and its checks
#                              need (dpkg-shlibdeps, lintian, the desktop
#                              entry validator)
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ccache
  qt6-base-dev libqt6opengl6-dev qt6-base-dev-tools
  libglm-dev
  libgdal-dev gdal-bin
  libgl1-mesa-dri libegl1 libegl-dev libgl-dev libopengl-dev libgles-dev
  xvfb xauth x11-apps imagemagick
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  fonts-dejavu-core fonts-liberation
  libavcodec-dev libavformat-dev libswscale-dev libavutil-dev ffmpeg
  help2man
  nginx-light
)
if [ "${1:-}" = "--package" ]; then
  PACKAGES+=(dpkg-dev file lintian desktop-file-utils man-db)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
