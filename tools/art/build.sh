#!/bin/sh
# Rebuilds the game's pictures: installs what the generator needs, compiles it and
# writes assets/whirlbat_01.png, whirlbat_02.png, dmpointer.png and owlogo.png, and the
# desktop icons in dist/icons/NxN/rc-whirlbat.png.
# Usage: tools/art/build.sh [--preview DIR]   (DIR gets enlarged copies and mock-ups)
set -e
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/tools/install-deps.sh" tools
build="${TMPDIR:-/tmp}/whirlbat-art"
mkdir -p "$build"
g++ -std=c++20 -O2 -Wall -Wextra -ffp-contract=off \
  $(pkg-config --cflags freetype2 libpng) \
  $(ls "$root"/tools/art/*.cpp | grep -v /check_) \
  $(pkg-config --libs freetype2 libpng) -o "$build/art"
if [ "$1" = "--preview" ] && [ -n "$2" ]; then
  mkdir -p "$2"
  "$build/art" "$root/assets" --preview "$2"
else
  "$build/art" "$root/assets"
fi
mkdir -p "$root/dist/icons"
"$build/art" --icons "$root/dist/icons"
echo "art: pictures written to $root/assets and $root/dist/icons"
# The pictures' checks: formats, the sheet's layout, and what each picture must show.
g++ -std=c++20 -O2 -Wall -Wextra -DWHIRLBAT_SOURCE_DIR="\"$root\"" \
  $(pkg-config --cflags libpng) "$root/tools/art/check_pictures.cpp" \
  $(pkg-config --libs libpng) -lgtest -lgtest_main -pthread -o "$build/check_pictures"
"$build/check_pictures" --gtest_brief=1
