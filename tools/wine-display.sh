#!/bin/sh
# Runs a Windows program under Wine (tools/wine-run.sh) with an X server of its own:
# Wine draws every window, the game's hidden headless one too, through X. The server's
# display number is chosen by the server itself, so that runs side by side never take
# the same one; the prefix's Wine processes end with the server, so that the next run
# starts on its own display.
# Usage: tools/wine-display.sh WINEPREFIX PROGRAM.exe [ARG...]
#   WHIRLBAT_XVFB_SCREEN sets the screen (1280x1024x24 unless set).
[ $# -ge 2 ] || { echo "usage: wine-display.sh WINEPREFIX PROGRAM.exe [ARG...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 "${WHIRLBAT_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$dir"' EXIT
n=""
for i in $(seq 200); do
  n=$(head -n 1 "$dir/display" 2>/dev/null)
  [ -n "$n" ] && break
  kill -0 $xvfb 2>/dev/null || break
  sleep 0.05
done
[ -n "$n" ] || { echo "wine-display: Xvfb did not start: $(cat "$dir/xvfb.log")" >&2; exit 1; }
status=0
DISPLAY=:$n "$here/wine-run.sh" "$@" || status=$?
case "$1" in /*) prefix=$1 ;; *) prefix=$PWD/$1 ;; esac
WINEPREFIX=$prefix wineserver -k 2>/dev/null
exit $status
