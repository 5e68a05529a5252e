#!/bin/sh
# Plays every regression replay of tests/replays back with another system's build of the
# game (an arm64 one under qemu, a Windows one under Wine): each must match every state
# hash it holds and the final hash listed in tests/replays/replays.txt.
# Usage: tools/cross-replays.sh BINARY [RUNNER...]   (from the repository root)
#   RUNNER: the program, and its first arguments, that runs BINARY here
#   (qemu-aarch64-static unless given, e.g. tools/wine-run.sh WINEPREFIX for a .exe)
[ $# -ge 1 ] || { echo "usage: $0 BINARY [RUNNER...]" >&2; exit 2; }
binary=$1
shift
[ $# -ge 1 ] || set -- qemu-aarch64-static
case "$binary" in *.exe) system=windows ;; *) system=arm64 ;; esac
cd "$(dirname "$0")/.." || exit 1
passed=0
failed=0
while read -r name frames hash rest; do
  case "$name" in ''|'#'*) continue ;; esac
  if out=$("$@" "$binary" --verify "tests/replays/$name.wbreplay" 2>&1) &&
     echo "$out" | grep -q "good: $frames frames .*final one ($hash) match"; then
    passed=$((passed + 1))
    echo "$system $name: $out"
  else
    failed=$((failed + 1))
    echo "$system $name FAILED (want $frames frames, final hash $hash): $out" >&2
  fi
done < tests/replays/replays.txt
echo "$system replays: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
