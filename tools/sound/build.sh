#!/bin/sh
# Rebuilds the fifteen OGG files in data/ from the generators in this folder:
# the synthesizer (effects and both music tracks) and the announcer voice
# (espeak-ng shaped by sox). Installs what it needs first.
#
# The output is the same on every run: the synthesizer seeds its own noise,
# sox runs with fixed random numbers and without dither, and every Ogg
# stream gets a fixed serial number.
# Usage: tools/sound/build.sh
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
data="$root/data"

"$root/tools/install-deps.sh" tools

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

echo "building the synthesizer"
g++ -std=c++20 -O2 -Wall -Wextra -ffp-contract=off -fno-fast-math \
    -o "$work/whirlbat-synth" $(ls "$here"/*.cpp | grep -v /check_)
"$work/whirlbat-synth" "$work"

# announce NAME "FIRST" ["SECOND"]: a deep, compressed arcade announcer with
# a short pause before the second word and a small hall around it.
announce() {
    name=$1
    if [ $# -eq 3 ]; then
        text="<speak>$2 <break time=\"150ms\"/> $3!</speak>"
    else
        text="<speak>$2!</speak>"
    fi
    espeak-ng -m -v en-us+klatt3 -s 125 -p 15 -w "$work/$name.raw.wav" "$text"
    sox -R -D -V1 "$work/$name.raw.wav" -t wavpcm -e signed-integer -b 24 "$work/$name.wav" \
        silence 1 0.005 -45d reverse silence 1 0.01 -50d fade 0.03 reverse \
        rate -v 44100 \
        pitch -120 \
        highpass 70 \
        equalizer 200 1q +3 equalizer 3000 1.2q +3 equalizer 6000 1q +4 \
        compand 0.003,0.1 6:-50,-50,-30,-18,-10,-8,0,-4 -2 -90 0.02 \
        fade 0.004 \
        channels 2 \
        pad 0 0.5 \
        reverb 18 50 60 100 12 \
        reverse fade 0.25 reverse \
        gain -n -11
}

echo "speaking the announcements"
announce blulead Blue leads
announce redlead Red leads
announce bluwin Blue wins
announce redwin Red wins
announce tied Tied

mkdir -p "$data"
serial=7101
for name in start explode brocket rrocket land death blulead redlead bluwin redwin tied detectgb newmap; do
    oggenc -Q -q 5 -s "$serial" -o "$data/$name.ogg" "$work/$name.wav"
    serial=$((serial + 1))
done
for name in titletrack playtrack; do
    oggenc -Q -q 3.5 -s "$serial" -o "$data/$name.ogg" "$work/$name.wav"
    serial=$((serial + 1))
done
echo "wrote $(ls "$data"/*.ogg | wc -l) files to $data"

# The sounds' checks: format, length, levels, clean edges, seamless loops, headroom.
g++ -std=c++20 -O2 -Wall -Wextra -DWHIRLBAT_SOURCE_DIR="\"$root\"" \
    $(pkg-config --cflags vorbisfile) "$here/check_sounds.cpp" \
    $(pkg-config --libs vorbisfile) -lgtest -lgtest_main -pthread -o "$work/check_sounds"
"$work/check_sounds" --gtest_brief=1
