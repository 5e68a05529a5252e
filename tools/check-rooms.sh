#!/bin/sh
# Checks the rooms' include rules: a file may include headers of its own room and of the
# rooms below it, never above; sim/ and pilots/ include no platform library header at all.
# Rooms from the bottom up: platform, sim, present, pilots, session (with session/net), app
# and lobby (the meeting server).
# Given a build folder, also checks what the rules' libraries link and which symbols
# they need. Prints every broken rule and exits 1 if there is one.
build=$(cd "${1:-.}" 2>/dev/null && pwd)
cd "$(dirname "$0")/.." || exit 2
rank() {
  case "$1" in
    platform/*) echo 0 ;;
    sim/*) echo 1 ;;
    present/*) echo 2 ;;
    pilots/*) echo 3 ;;
    session/*) echo 4 ;;
    app/*|lobby/*) echo 5 ;;
    *) echo -1 ;;
  esac
}
bad=0
for f in $(find platform sim present pilots session app lobby -name '*.h' -o -name '*.cpp' -o -name '*.inc' | sort); do
  mine=$(rank "$f")
  for inc in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f"); do
    theirs=$(rank "$inc")
    if [ "$theirs" -gt "$mine" ]; then
      echo "$f includes $inc, a room above its own"
      bad=1
    fi
  done
  case "$f" in
    sim/*|pilots/*)
      hits=$(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL|GL/|GLES|EGL/|X11/|enet/|zlib\.h|png\.h|ft2build|freetype|vorbis|ogg/|platform/|present/|session/|app/|fstream|filesystem|cstdio|chrono|thread|unistd\.h|sys/)' "$f")
      if [ -n "$hits" ]; then
        echo "$f: the rules include no platform, file, clock or thread header: $hits"
        bad=1
      fi
      ;;
  esac
done
if [ -n "$1" ]; then
  line="$build/rules-link-line.txt"
  if [ ! -f "$line" ]; then
    echo "no $line: configure the build first"
    exit 2
  fi
  if grep -n -i -E 'sdl|opengl|::gl|x11|xext|enet|zlib|png|freetype|vorbis|ogg|whirlbat_(platform|present|session|app)' "$line"; then
    echo "the rules' libraries link a platform library (above)"
    bad=1
  fi
  for lib in libwhirlbat_sim.a libwhirlbat_pilots.a; do
    if [ ! -f "$build/$lib" ]; then
      echo "no $build/$lib: build it first"
      exit 2
    fi
    needs=$(nm -u "$build/$lib" | grep -E ' U (SDL_|gl[A-Z]|X[A-Z][a-z]|enet_|FT_|png_|ov_|deflate|inflate|fopen|open$|clock_gettime|pthread_)' | sort -u)
    if [ -n "$needs" ]; then
      echo "$lib needs platform symbols: $needs"
      bad=1
    fi
  done
  # The C library's transcendental functions differ between CPUs and systems: the rules
  # and the pilot use their own (sim/trig.h) and call none of them; sqrt is exact anywhere.
  maths='(sin|cos|tan|asin|acos|atan|atan2|sinh|cosh|tanh|asinh|acosh|atanh|sincos|exp|exp2|exp10|expm1|log|log2|log10|log1p|logb|pow|pow10|fmod|remainder|remquo|drem|cbrt|hypot|erf|erfc|lgamma|tgamma|j0|j1|jn|y0|y1|yn)'
  for lib in libwhirlbat_sim.a libwhirlbat_pilots.a; do
    calls=$(nm -u "$build/$lib" | grep -E " U (__)?${maths}[fl]?(_finite)?(@.*)?$" | awk '{print $2}' | sort -u | tr '\n' ' ')
    if [ -n "$calls" ]; then
      echo "$lib calls the C library's maths (the rules have their own in sim/trig.h): $calls"
      bad=1
    fi
  done
fi
exit $bad
