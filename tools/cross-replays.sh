#!/bin/sh
# Plays every regression replay of tests/replays back with an arm64 build of the game
# under qemu: each must match every state hash it holds and the final hash listed in
# tests/replays/replays.txt.
# Usage: tools/cross-replays.sh ARM64_BINARY   (from the repository root)
[ $# -eq 1 ] || { echo "usage: $0 ARM64_BINARY" >&2; exit 2; }
cd "$(dirname "$0")/.." || exit 1
passed=0
failed=0
while read -r name frames hash rest; do
  case "$name" in ''|'#'*) continue ;; esac
  if out=$(qemu-aarch64-static "$1" --verify "tests/replays/$name.wbreplay" 2>&1) &&
     echo "$out" | grep -q "good: $frames frames .*final one ($hash) match"; then
    passed=$((passed + 1))
    echo "arm64 $name: $out"
  else
    failed=$((failed + 1))
    echo "arm64 $name FAILED (want $frames frames, final hash $hash): $out" >&2
  fi
done < tests/replays/replays.txt
echo "arm64 replays: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
