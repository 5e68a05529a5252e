#!/bin/sh
# Runs a Windows program under Wine in the Wine prefix WINEPREFIX, which it makes first if
# it is new: once, under a lock, so that programs started side by side (ctest -j2, test
# discovery while another target links) never make it twice at the same time. Wine's own
# messages, and its offers to install Mono and Gecko, stay out.
# Usage: tools/wine-run.sh WINEPREFIX [PROGRAM.exe [ARG...]]   (no program: only make it)
set -e
[ $# -ge 1 ] || { echo "usage: wine-run.sh WINEPREFIX [PROGRAM.exe [ARG...]]" >&2; exit 2; }
case "$1" in
  /*) export WINEPREFIX="$1" ;;
  *) export WINEPREFIX="$PWD/$1" ;;  # Wine takes no relative prefix
esac
shift
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
ready="$WINEPREFIX/.whirlbat-ready"
if [ ! -f "$ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$ready" ]; then
      echo "wine-run: making the Wine prefix $WINEPREFIX" >&2
      wineboot --init >/dev/null 2>&1
      wineserver -w
      touch "$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
[ $# -ge 1 ] || exit 0
exec wine "$@"
