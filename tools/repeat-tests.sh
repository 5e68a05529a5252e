#!/bin/sh
# Flakiness check: builds the tests as the README's test command does, then runs the
# suite (benchmarks left out, two tests at a time) N times while a spinning process
# keeps one core busy, as another program on a contributor's machine would. Prints each
# run's time and failures, then every test that failed at least once with how often.
# The spinner is stopped at the end, on Ctrl+C too. Exit status 1 if any test failed.
# Usage: tools/repeat-tests.sh N [BUILD_DIR]   (build-tests unless given)
set -e
cd "$(dirname "$0")/.."
runs=${1:?usage: tools/repeat-tests.sh N [BUILD_DIR]}
build=${2:-build-tests}
case "$runs" in
    '' | *[!0-9]*) echo "repeat-tests.sh: N must be a number of runs, not '$runs'" >&2; exit 2 ;;
esac
tools/install-deps.sh && cmake -S . -B "$build" -DWHIRLBAT_TESTS=ON >/dev/null && cmake --build "$build" -j2 >/dev/null

logs=$(mktemp -d "${TMPDIR:-/tmp}/repeat-tests.XXXXXX")
( while :; do :; done ) &
spinner=$!
stop_spinner() {
    if [ -n "$spinner" ]; then
        kill "$spinner" 2>/dev/null || true
        wait "$spinner" 2>/dev/null || true
        spinner=""
    fi
}
trap 'stop_spinner' EXIT
trap 'stop_spinner; echo "repeat-tests.sh: stopped; logs in $logs" >&2; exit 130' INT TERM
echo "repeat-tests.sh: $runs runs of the suite in $build, one core kept busy (spinner pid $spinner); logs in $logs"

total=0
i=1
while [ "$i" -le "$runs" ]; do
    log="$logs/run$i.log"
    began=$(date +%s)
    status=0
    ctest --test-dir "$build" -LE bench --output-on-failure -j2 >"$log" 2>&1 || status=$?
    took=$(($(date +%s) - began))
    total=$((total + took))
    # The failed tests, as ctest lists them at the end: "  12 - Name (Failed)".
    sed -n '/^The following tests FAILED:/,$p' "$log" | sed -n 's/^[[:space:]]*[0-9][0-9]* - \(.*\) (.*)$/\1/p' >"$logs/failed$i"
    summary=$(grep -E '^[0-9]+% tests passed' "$log" || echo "no summary (ctest status $status)")
    echo "run $i of $runs: $took s; $summary"
    sed 's/^/    failed: /' "$logs/failed$i"
    i=$((i + 1))
done
stop_spinner

echo "repeat-tests.sh: $runs runs, $((total / runs)) s a run on average"
if cat "$logs"/failed* | grep -q .; then
    echo "failed at least once (times failed of $runs runs):"
    cat "$logs"/failed* | sort | uniq -c | sort -rn
    exit 1
fi
echo "no test failed in $runs runs"
