#!/bin/sh
# Plays long computer-against-computer games with two builds of the program (an x86-64
# Linux one and another system's: an arm64 one under qemu, a Windows one under Wine)
# and checks that both write the same trace, every field of every frame, state hash
# included. A game is started whenever the title shows (the pointer on "Start Game" and a
# click every 60 frames), and most frames must be frames of play, or the run tested
# nothing.
# Usage: tools/cross-same-game.sh X86_BINARY OTHER_BINARY [FRAMES [SEED...]]
#   e.g. tools/cross-same-game.sh build/rc-whirlbat build-arm64/rc-whirlbat 20000 1 2 3
# WHIRLBAT_CROSS_RUNNER names the program, and its first arguments, that runs the other
# build here (qemu-aarch64-static unless set; e.g. "xvfb-run -a tools/wine-run.sh PREFIX"
# for a .exe, whose headless window needs a display).
set -e
[ $# -ge 2 ] || { echo "usage: $0 X86_BINARY OTHER_BINARY [FRAMES [SEED...]]" >&2; exit 2; }
x86=$1
arm=$2
frames=${3:-20000}
[ $# -ge 3 ] && shift 3 || shift $#
seeds=${*:-1 2 3 4 5 6}
runner=${WHIRLBAT_CROSS_RUNNER:-qemu-aarch64-static}
case "$arm" in *.exe) other=windows ;; *) other=arm64 ;; esac
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
script="$out/start_often.txt"
f=330
while [ "$f" -le "$frames" ]; do
  printf 'f%d mouse move 320 250\nf%d mouse left down\nf%d mouse left up\n' $f $((f + 1)) $((f + 2)) >> "$script"
  f=$((f + 60))
done
export SDL_VIDEODRIVER=offscreen
set -- "computer" "computer:hard" "computer:easy" "computer:normal" "computer:hard" "computer:hard"
failed=0
n=0
for seed in $seeds; do
  # Blue and Red take turns through three pairs of pilots.
  i=$((n % 3))
  n=$((n + 1))
  eval "blue=\${$((i * 2 + 1))} red=\${$((i * 2 + 2))}"
  args="--headless --seed $seed --blue $blue --red $red --script $script --frames $frames"
  "$x86" $args --trace "$out/x86.jsonl"
  $runner "$arm" $args --trace "$out/arm64.jsonl"
  lines=$(wc -l < "$out/arm64.jsonl")
  play=$(grep -c '"game_state":2,' "$out/arm64.jsonl" || true)
  # Games started: the title (4) left for a running round (2).
  games=$(sed 's/.*"game_state":\([0-9]*\),.*/\1/' "$out/arm64.jsonl" | awk '$1 == 2 && last == 4 { n++ } { last = $1 } END { print n + 0 }')
  overs=$(sed 's/.*"game_state":\([0-9]*\),.*/\1/' "$out/arm64.jsonl" | awk '$1 == 5 && last != 5 { n++ } { last = $1 } END { print n + 0 }')
  hash=$(tail -n 1 "$out/arm64.jsonl" | sed 's/.*"hash":"\([0-9a-f]*\)".*/\1/')
  x86hash=$(tail -n 1 "$out/x86.jsonl" | sed 's/.*"hash":"\([0-9a-f]*\)".*/\1/')
  verdict=same
  if ! cmp -s "$out/x86.jsonl" "$out/arm64.jsonl"; then
    verdict="DIFFERENT from frame $(cmp "$out/x86.jsonl" "$out/arm64.jsonl" | sed 's/.*line //')"
    failed=$((failed + 1))
  elif [ "$lines" -ne "$frames" ] || [ $((play * 2)) -le "$frames" ]; then
    verdict="too short or too little play"
    failed=$((failed + 1))
  fi
  echo "seed $seed, $blue against $red: $lines frames, $play of them in play, $games games started, $overs played to game over;" \
       "final hash x86-64 $x86hash $other $hash: $verdict"
done
[ "$failed" -eq 0 ]
