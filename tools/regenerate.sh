#!/bin/sh
# Rebuilds every generated file of the game from its source: the pictures in assets/,
# the sounds in data/, the font copied from Debian's fonts-play, and the engine's
# built-in bitmap font table. Installs what the generators need first.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh tools
cp /usr/share/fonts/truetype/play/Play-Bold.ttf assets/armalite.ttf
python3 tools/font/make_builtin_font.py
tools/art/build.sh
tools/sound/build.sh
echo "regenerated assets/ and data/"
