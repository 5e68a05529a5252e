#!/bin/sh
# CI's arm64 stage, from the repository root: cross-builds the game alone for arm64
# (cmake/aarch64-linux-gnu.cmake) and plays every regression replay back under qemu to
# each state hash it holds and to the final hash listed in tests/replays/replays.txt.
# Usage: tools/ci-cross.sh [BUILD_DIR]   (build-arm64 unless given)
set -e
cd "$(dirname "$0")/.."
start=$(date +%s)
build=${1:-build-arm64}
tools/install-deps.sh arm64
# No relay: arm64's libnice-dev cannot be installed beside the x86-64 packages.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DWHIRLBAT_TESTS=OFF \
  -DWHIRLBAT_RELAY=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target rc-whirlbat
file "$build/rc-whirlbat" | grep -q "ARM aarch64" || { echo "ci-cross: $build/rc-whirlbat is no arm64 program" >&2; exit 1; }

status=0
tools/cross-replays.sh "$build/rc-whirlbat" || status=1
echo "ci: arm64 build and replays took $(($(date +%s) - start)) s"
exit $status
