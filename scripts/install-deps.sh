#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing.  Runs apt-get as root, or through sudo when there is one.
set -euo pipefail

packages=(
  g++ cmake make            # compiler and build
  freeglut3-dev libgl1-mesa-dev libglu1-mesa-dev libx11-dev  # window program
  googletest libgtest-dev   # tests
  libbenchmark-dev          # benchmarks under bench/
  xvfb xdotool x11-utils imagemagick  # window tests: X server, keys, xprop, screenshots
  chromium                  # picture test: a browser renders the tool's SVG
  clang libclang-rt-14-dev  # fuzz targets and their sanitizer runtime
  libnlopt-cxx-dev pkg-config  # dimensional synthesis: global search and local polish (found through pkg-config)
  libcairo2-dev libgif-dev  # batch tool's animations: frames drawn with Cairo, written with giflib
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}" >&2
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
