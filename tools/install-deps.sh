#!/bin/sh
# Installs the Debian packages the game and its tests build against, if any is missing.
# Usage: tools/install-deps.sh [tools] [bench] [fuzz] [arm64] [windows]
#   "tools" adds what the asset generators and the README's picture need; "bench"
#   what the performance suite (ctest -L bench) runs on: an X server without a
#   screen, and Google Benchmark;
#   "fuzz" clang and its libFuzzer for the replay reader's fuzzer; "arm64" (or
#   "--arm64") the cross compiler, the game's libraries for arm64 through Debian's
#   multiarch, and qemu to run the arm64 build here, with libnice's runtime library,
#   then libnice's headers for the arm64 relay built from Debian's source package
#   (tools/arm64-deps.sh), as multiarch cannot install its libnice-dev; "windows" the
#   MinGW-w64 cross compiler, Wine and NSIS, then the game's libraries built for
#   Windows from Debian's source packages (tools/windows-deps.sh).
set -e
pkgs="build-essential cmake pkg-config libsdl2-dev libx11-dev libxext-dev libgl-dev libgl1-mesa-dri libegl-mesa0 libpng-dev zlib1g-dev libfreetype-dev libogg-dev libvorbis-dev libxxhash-dev libenet-dev libsodium-dev nettle-dev googletest libgtest-dev xvfb libxdamage-dev libxtst-dev desktop-file-utils appstream groff-base lintian libminiupnpc-dev libnatpmp-dev libnice-dev iproute2 nftables miniupnpd-nftables coturn"
for group in "$@"; do
  case "$group" in
    tools) pkgs="$pkgs sox libsox-fmt-all espeak-ng vorbis-tools fonts-play pngquant" ;;
    bench) pkgs="$pkgs libbenchmark-dev" ;;
    fuzz) pkgs="$pkgs clang libclang-rt-14-dev" ;;
    arm64|--arm64)
      arm64="yes"
      pkgs="$pkgs g++-aarch64-linux-gnu qemu-user-static dpkg-dev file meson ninja-build"
      # With the test suite's own (GoogleTest, the X extensions its runs use) so that the
      # rules' tests build for arm64 too and run under qemu, and libnice with what it is
      # built on (GLib, GnuTLS).
      for p in libsdl2-dev libx11-dev libxext-dev libgl-dev libgl1-mesa-dri libegl-mesa0 libpng-dev zlib1g-dev libfreetype-dev libogg-dev libvorbis-dev libxxhash-dev libenet-dev libsodium-dev libminiupnpc-dev libnatpmp-dev libgtest-dev libxdamage-dev libxtst-dev libglib2.0-dev libgnutls28-dev libnice10; do
        pkgs="$pkgs $p:arm64"
      done ;;
    windows)
      windows="yes"
      pkgs="$pkgs g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 nsis icoutils dpkg-dev autoconf automake libtool" ;;
    *) echo "install-deps.sh: unknown group '$group' (tools, bench, fuzz, arm64, windows)" >&2; exit 2 ;;
  esac
done
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
  if [ -n "$arm64" ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $SUDO dpkg --add-architecture arm64
  fi
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing
fi
if [ -n "$arm64" ]; then
  "$(dirname "$0")/arm64-deps.sh"
fi
if [ -n "$windows" ]; then
  exec "$(dirname "$0")/windows-deps.sh"
fi
