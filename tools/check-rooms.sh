#!/bin/sh
# Checks the rooms' include rules: a file may include headers of its own room and of the
# rooms below it, never above or beside; sim/ and pilots/ include no platform library
# header at all, and net/ nothing of the game.
# The rooms (docs/ARCHITECTURE.md): base (the byte reader and writer) under all; platform
# and net at the bottom, beside each other;
# sim; present (on sim and platform); pilots (on sim); session (with session/net) on all
# of those; app on everything; lobby, the meeting server, on net alone.
# Given a build folder, also checks what the rules' libraries link and which symbols
# they need. Prints every broken rule and exits 1 if there is one.
build=$(cd "${1:-.}" 2>/dev/null && pwd)
cd "$(dirname "$0")/.." || exit 2
room() {
  case "$1" in
    base/*) echo base ;;
    platform/*) echo platform ;;
    net/*) echo net ;;
    sim/*) echo sim ;;
    present/*) echo present ;;
    pilots/*) echo pilots ;;
    session/*) echo session ;;
    app/*) echo app ;;
    lobby/*) echo lobby ;;
    *) echo none ;;
  esac
}
# The rooms a room may include, its own first.
reaches() {
  case "$1" in
    base) echo "base" ;;
    platform) echo "platform base" ;;
    net) echo "net base" ;;
    sim) echo "sim base" ;;
    present) echo "present sim platform base" ;;
    pilots) echo "pilots sim base" ;;
    session) echo "session pilots present sim net platform base" ;;
    app) echo "app session pilots present sim net platform base" ;;
    lobby) echo "lobby net base" ;;
  esac
}
bad=0
for f in $(find base platform net sim present pilots session app lobby -name '*.h' -o -name '*.cpp' -o -name '*.inc' | sort); do
  allowed=" $(reaches "$(room "$f")") "
  for inc in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f"); do
    theirs=$(room "$inc")
    if [ "$theirs" != none ] && [ "${allowed#* $theirs }" = "$allowed" ]; then
      echo "$f includes $inc, of a room $f may not reach"
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
# Within platform/, one owner for each thing: no two of its modules depend on each other,
# however indirectly (a module's files are NAME.h, NAME.cpp, NAME_internal.h and, for the
# renderer, renderer_*; draw_state.h is draw's, builtin_font* the font's). tsort names any loop.
platform_module() {
  m=$(basename "$1"); m=${m%.*}; m=${m%_internal}
  case "$m" in renderer_*) m=renderer ;; draw_state) m=draw ;; builtin_font*) m=font ;; esac
  echo "$m"
}
edges=""
for f in platform/*.h platform/*.cpp platform/*.inc; do
  [ -f "$f" ] || continue
  from=$(platform_module "$f")
  edges="$edges $from $from"
  for inc in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"platform\/\([^"]*\)".*/\1/p' "$f"); do
    to=$(platform_module "$inc")
    [ "$to" != "$from" ] && edges="$edges $from $to"
  done
done
loops=$(echo "$edges" | tsort 2>&1 >/dev/null)
if [ -n "$loops" ]; then
  echo "platform modules depend on each other: $loops" | tr '\n' ' '
  echo
  bad=1
fi
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
  # What present/ draws with travels as values: the library holds no data a program
  # could change (static data it only reads is in read-only sections).
  if [ -f "$build/libwhirlbat_present.a" ]; then
    mutable=$(nm -C "$build/libwhirlbat_present.a" | grep -E ' [BbDdGgSs] ')
    if [ -n "$mutable" ]; then
      echo "libwhirlbat_present.a holds mutable data: $mutable"
      bad=1
    fi
  fi
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
