#!/bin/sh
# CI's arm64 stage, from the repository root: cross-builds the game alone for arm64
# (cmake/aarch64-linux-gnu.cmake), with its relay module (against Debian's
# libnice10:arm64, tools/arm64-deps.sh), checks that arm64's loader finds every library
# the module needs, and plays every regression replay back under qemu to each state hash it
# holds and to the final hash listed in tests/replays/replays.txt.
# Usage: tools/ci-cross.sh [BUILD_DIR]   (build-arm64 unless given)
set -e
cd "$(dirname "$0")/.."
start=$(date +%s)
build=${1:-build-arm64}
tools/install-deps.sh arm64
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DWHIRLBAT_TESTS=OFF \
  -DWHIRLBAT_RELAY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target rc-whirlbat
for f in rc-whirlbat rc-whirlbat-relay.so; do
  file "$build/$f" | grep -q "ARM aarch64" || { echo "ci-cross: $build/$f is no arm64 program" >&2; exit 1; }
done
# The game loads the module only when a game goes through a relay: a library it needs
# that the arm64 libraries here lack would show only then.
missing=$(qemu-aarch64-static /lib/ld-linux-aarch64.so.1 --list "$build/rc-whirlbat-relay.so" | grep "not found" || true)
[ -z "$missing" ] || { echo "ci-cross: the relay module's libraries are not all there:$missing" >&2; exit 1; }

status=0
tools/cross-replays.sh "$build/rc-whirlbat" || status=1
echo "ci: arm64 build and replays took $(($(date +%s) - start)) s"
exit $status
