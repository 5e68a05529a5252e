#!/bin/sh
# Installs the Debian packages the game and its tests build against, if any is missing.
# Usage: tools/install-deps.sh [tools]   ("tools" adds what the asset generators need)
set -e
pkgs="build-essential cmake pkg-config libsdl2-dev libx11-dev libgl-dev libgl1-mesa-dri libegl-mesa0 libpng-dev zlib1g-dev libfreetype-dev libogg-dev libvorbis-dev googletest libgtest-dev xvfb libxdamage-dev desktop-file-utils appstream groff-base"
if [ "$1" = "tools" ]; then
  pkgs="$pkgs sox libsox-fmt-all espeak-ng vorbis-tools fonts-play"
fi
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing
