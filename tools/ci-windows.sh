#!/bin/sh
# CI's Windows stage, from the repository root: the cross compiler, Wine and NSIS, and
# the libraries built for Windows from Debian's sources (tools/install-deps.sh windows,
# kept between runs); the game and its suites cross-built for Windows; the suites run
# under Wine; the zip and the installer made; then the Linux build's checks against the
# Windows build (label wine: replays, golden runs, long games, online play both ways,
# recordings swapped, a window's pixels, the installer under Wine; benchmarks left out).
# Usage: tools/ci-windows.sh [WINDOWS_BUILD_DIR [LINUX_BUILD_DIR]]
#   (build-windows and build-tests unless given; the Linux build is configured with
#   -DWHIRLBAT_WINDOWS_BUILD_DIR naming the Windows one)
set -e
cd "$(dirname "$0")/.."
start=$(date +%s)
build=${1:-build-windows}
linux=${2:-build-tests}
tools/install-deps.sh windows
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DWHIRLBAT_TESTS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2
file "$build/rc-whirlbat.exe" | grep -q "PE32+ executable (GUI) x86-64" ||
  { echo "ci-windows: $build/rc-whirlbat.exe is no 64-bit Windows program" >&2; exit 1; }
echo "ci: Windows build took $(($(date +%s) - start)) s"

status=0
ctest --test-dir "$build" -L wine -j2 --output-on-failure || status=1
(cd "$build" && cpack) || status=1
cmake -S . -B "$linux" -DWHIRLBAT_TESTS=ON -DWHIRLBAT_WINDOWS_BUILD_DIR="$PWD/$build"
cmake --build "$linux" -j2
ctest --test-dir "$linux" -L wine -LE bench -j2 --output-on-failure || status=1
echo "ci: Windows build and its tests under Wine took $(($(date +%s) - start)) s"
exit $status
