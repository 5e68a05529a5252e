#!/bin/sh
# Installs the Debian packages the game and its tests build against, if any is missing.
# Usage: tools/install-deps.sh [tools] [bench] [fuzz]
#   "tools" adds what the asset generators need; "bench" what the performance suite
#   (ctest -L bench) runs on: an X server without a screen, and Google Benchmark;
#   "fuzz" clang and its libFuzzer for the replay reader's fuzzer.
set -e
pkgs="build-essential cmake pkg-config libsdl2-dev libx11-dev libxext-dev libgl-dev libgl1-mesa-dri libegl-mesa0 libpng-dev zlib1g-dev libfreetype-dev libogg-dev libvorbis-dev libxxhash-dev libenet-dev googletest libgtest-dev xvfb libxdamage-dev desktop-file-utils appstream groff-base lintian"
for group in "$@"; do
  case "$group" in
    tools) pkgs="$pkgs sox libsox-fmt-all espeak-ng vorbis-tools fonts-play" ;;
    bench) pkgs="$pkgs libbenchmark-dev libxtst-dev" ;;
    fuzz) pkgs="$pkgs clang libclang-rt-14-dev" ;;
    *) echo "install-deps.sh: unknown group '$group' (tools, bench, fuzz)" >&2; exit 2 ;;
  esac
done
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing
