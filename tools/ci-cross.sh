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
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DWHIRLBAT_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target rc-whirlbat
file "$build/rc-whirlbat" | grep -q "ARM aarch64" || { echo "ci-cross: $build/rc-whirlbat is no arm64 program" >&2; exit 1; }

passed=0
failed=0
while read -r name frames hash rest; do
  case "$name" in ''|'#'*) continue ;; esac
  if out=$(qemu-aarch64-static "$build/rc-whirlbat" --verify "tests/replays/$name.wbreplay" 2>&1) &&
     echo "$out" | grep -q "good: $frames frames .*final one ($hash) match"; then
    passed=$((passed + 1))
    echo "arm64 $name: $out"
  else
    failed=$((failed + 1))
    echo "arm64 $name FAILED (want $frames frames, final hash $hash): $out" >&2
  fi
done < tests/replays/replays.txt
echo "ci: arm64 build and replays took $(($(date +%s) - start)) s"
echo "arm64 replays: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
