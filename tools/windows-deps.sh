#!/bin/sh
# Builds the libraries the game links for 64-bit Windows from Debian's own source
# packages, with Debian's MinGW-w64 cross compiler (posix threads), into a prefix kept
# between runs: static libraries, their headers and pkg-config files, so that a Windows
# program needs no DLL beside Windows' own. A library is built again only when Debian's
# version of its source, or this script's recipe for it, changes: stamps/NAME in the
# prefix holds what was built last.
# Usage: tools/windows-deps.sh   (tools/install-deps.sh windows installs the compiler,
#   Wine and NSIS first, then runs this)
# The prefix is /opt/whirlbat-windows unless WHIRLBAT_WINDOWS_PREFIX names another;
# cmake/x86_64-w64-mingw32.cmake reads the same variable. A library's build log stays in
# work/NAME.log under the prefix.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
host=x86_64-w64-mingw32
prefix=${WHIRLBAT_WINDOWS_PREFIX:-/opt/whirlbat-windows}
export WHIRLBAT_WINDOWS_PREFIX="$prefix"
work=$prefix/work
toolchain=$root/cmake/$host.cmake
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi

# Autotools and plain makefiles see the cross tools here; CMake builds get them from the
# toolchain file. zlib is Debian's own Windows build (libz-mingw-w64-dev), in the
# compiler's sysroot.
export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:/usr/$host/lib/pkgconfig" PKG_CONFIG_PATH=""
# ensure_deb_src and $deb_src_get (deb-src entries for the machine's own archive).
# shellcheck source=tools/deb-src.sh
. "$root/tools/deb-src.sh"
apt_source=$deb_src_get

# Debian's later suites of the same archive, asked only for a source the machine's own
# suite cannot give (a mirror that lacks some of its files).
newer_suites="trixie sid"

# Adds deb-src entries for the later suites of the archive the machine's own suite comes
# from, unless apt lists their sources already.
ensure_newer_deb_src() {
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  targets=$(apt-get indextargets --format '$(SITE) $(RELEASE)' 'Created-By: Sources' 2>/dev/null | sort -u)
  missing=""
  for suite in $newer_suites; do
    echo "$targets" | grep -q " $suite\$" || missing="$missing $suite"
  done
  [ -n "$missing" ] || return 0
  site=$(echo "$targets" | awk -v code="$codename" '$2 == code { print $1; exit }')
  [ -n "$site" ] || return 0
  printf 'Types: deb-src\nURIs: %s\nSuites:%s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$site" "$missing" | $SUDO tee /etc/apt/sources.list.d/whirlbat-deb-src-later.sources >/dev/null
  echo "windows-deps: added deb-src entries for$missing; updating the package lists"
  $SUDO apt-get update -q
}

# The versions of source package $1 apt knows: the machine's own suite's, newest first,
# then the later suites', oldest first (the nearest to what this machine runs).
source_versions() {
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  listed=$(apt-cache madison "$1" 2>/dev/null | awk -F'|' '$3 ~ /Sources/ { gsub(/ /, "", $2); split($3, w, " "); print $2, w[2] }')
  echo "$listed" | awk -v code="$codename" '{ split($2, s, "/") } s[1] == code || index(s[1], code "-") == 1 { print $1 }' | sort -r -u -V
  echo "$listed" | awk -v code="$codename" '{ split($2, s, "/") } s[1] != code && index(s[1], code "-") != 1 { print $1 }' | sort -u -V
}

# Fetches Debian's source of $1 at version $2 and unpacks it, its patches applied, into
# work/$1. With $3 "no", where the archive gives the upstream tarball (.orig, checked by
# apt against the signed index) but not Debian's own part, the tarball is unpacked as it
# is, and the build says so.
fetch() {
  rm -rf "${work:?}/$1"
  mkdir -p "$work/$1"
  (cd "$work/$1" && $apt_source -q "$1=$2") && return
  [ "$3" = no ] || return 1
  orig=$(find "$work/$1" -maxdepth 1 -name "*.orig.tar.*" ! -name "*.asc" | head -n 1)
  [ -n "$orig" ] || return 1
  find "$work/$1" -mindepth 1 -maxdepth 1 -type d -exec rm -rf {} +
  (cd "$work/$1" && tar xf "$orig")
  echo "windows-deps: $1 $2: Debian's patches cannot be had from the archive; built from its upstream tarball $(basename "$orig")"
}

cmake_build() {
  cmake -S "${src:-.}" -B _build -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@"
  cmake --build _build -j2
  cmake --install _build
}

# A source repacked without its generated configure script has it made again.
autotools_build() {
  [ -x configure ] || autoreconf -fi
  ./configure --host=$host --prefix="$prefix" --disable-shared --enable-static CFLAGS=-O2 "$@"
  make -j2
  make install
}

# Adds LINE to the pkg-config file $1 of the prefix unless it has it already.
pc_add() {
  grep -qxF "$2" "$prefix/lib/pkgconfig/$1.pc" || echo "$2" >> "$prefix/lib/pkgconfig/$1.pc"
}

build_libogg() { autotools_build; }

build_libvorbis() { autotools_build --disable-docs --disable-examples; }

build_libpng() { autotools_build --disable-tools; }

build_freetype() {
  cmake_build -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
}

# Video through "windows" (WGL), sound through WASAPI (and DirectSound, WinMM), pads
# through XInput, raw input and HIDAPI: SDL's defaults on Windows.
build_libsdl2() {
  cmake_build -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF
}

# ENet's sockets are Winsock's and its clock WinMM's.
build_enet() {
  autotools_build
  pc_add libenet "Libs.private: -lws2_32 -lwinmm"
}

# Its CMake build writes a pkg-config file that names /usr as its prefix.
build_xxhash() {
  src=cmake_unofficial cmake_build -DXXHASH_BUILD_XXHSUM=OFF
  sed -i "s|^prefix=.*|prefix=$prefix|" "$prefix/lib/pkgconfig/libxxhash.pc"
}

# A static miniupnpc's header must be told so (MINIUPNP_STATICLIB), or it declares
# DLL imports.
build_miniupnpc() {
  cmake_build -DUPNPC_BUILD_SHARED=OFF -DUPNPC_BUILD_STATIC=ON -DUPNPC_BUILD_TESTS=OFF \
    -DUPNPC_BUILD_SAMPLE=OFF
  pcfile=$prefix/lib/pkgconfig/miniupnpc.pc
  if [ ! -f "$pcfile" ]; then
    version=$(cat VERSION)
    printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\nName: miniupnpc\nDescription: UPnP IGD client\nVersion: %s\nLibs: -L${libdir} -lminiupnpc\nCflags: -I${includedir}\n' \
      "$prefix" "$version" > "$pcfile"
  fi
  sed -i '/^Cflags:/{/MINIUPNP_STATICLIB/!s/$/ -DMINIUPNP_STATICLIB/}' "$pcfile"
  pc_add miniupnpc "Libs.private: -lws2_32 -liphlpapi"
}

# libnatpmp has a makefile for Unix only: its three Windows sources compiled and archived
# here, with a pkg-config file of ours. NATPMP_STATICLIB keeps its header from declaring
# DLL imports.
build_libnatpmp() {
  for f in natpmp getgateway wingettimeofday; do
    $CC -O2 -Wall -DNATPMP_STATICLIB -DENABLE_STRNATPMPERR -c $f.c -o $f.o
  done
  rm -f libnatpmp.a
  $AR rcs libnatpmp.a natpmp.o getgateway.o wingettimeofday.o
  mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
  cp natpmp.h "$prefix/include/"
  for header in natpmp_declspec.h declspec.h; do
    if [ -f $header ]; then cp $header "$prefix/include/"; fi
  done
  cp libnatpmp.a "$prefix/lib/"
  printf 'prefix=%s\nlibdir=${prefix}/lib\nincludedir=${prefix}/include\n\nName: libnatpmp\nDescription: NAT-PMP client\nVersion: %s\nLibs: -L${libdir} -lnatpmp\nLibs.private: -lws2_32 -liphlpapi\nCflags: -I${includedir} -DNATPMP_STATICLIB\n' \
    "$prefix" "$1" > "$prefix/lib/pkgconfig/natpmp.pc"
}

# A static libsodium's header must be told so (SODIUM_STATIC), or it declares DLL
# imports; its random numbers come from advapi32.
build_libsodium() {
  autotools_build --disable-pie
  pcfile=$prefix/lib/pkgconfig/libsodium.pc
  sed -i '/^Cflags:/{/SODIUM_STATIC/!s/$/ -DSODIUM_STATIC/}' "$pcfile"
  pc_add libsodium "Libs.private: -ladvapi32"
}

build_googletest() { cmake_build -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON; }

# build SOURCE FUNCTION RECIPE: builds Debian's source package SOURCE with
# build_FUNCTION, in its unpacked source, unless the stamp names its version and recipe
# RECIPE already. A version the archive lists but cannot give whole (a mirror behind its
# own index) gives way to the next; only when no version can be had whole is one built
# from its upstream tarball alone. A library none of whose versions can be had is left
# out, named at the end (programs that need it then fail to configure, saying so).
build() {
  stamp=$prefix/stamps/$1
  log=$work/$1.log
  versions=$(source_versions "$1")
  for version in $versions; do
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version recipe $3" ]; then
      echo "windows-deps: $1 $version: built already"
      return
    fi
  done
  for whole in yes no; do
    for version in $versions; do
      t0=$(date +%s)
      if ! fetch "$1" "$version" "$whole" > "$log" 2>&1; then
        [ "$whole" = no ] || echo "windows-deps: $1 $version cannot be fetched whole from the archive"
        continue
      fi
      grep "^windows-deps: " "$log" || true
      echo "windows-deps: building $1 $version"
      build_logged windows-deps "$1" "$log" in_unpacked "$work/$1" "build_$2" "$version"
      echo "$version recipe $3" > "$stamp"
      rm -rf "${work:?}/$1"
      echo "windows-deps: $1 took $(($(date +%s) - t0)) s"
      return
    done
  done
  echo "windows-deps: no version of the source package $1 could be fetched (see $log)" >&2
  unavailable="$unavailable $1"
}

start=$(date +%s)
unavailable=""
if [ ! -d "$prefix" ]; then $SUDO mkdir -p "$prefix" && $SUDO chown "$(id -u):$(id -g)" "$prefix"; fi
mkdir -p "$work" "$prefix/stamps" "$prefix/lib/pkgconfig"
ensure_deb_src libsdl2
ensure_newer_deb_src
build libogg libogg 1
build libvorbis libvorbis 1
build libpng1.6 libpng 1
build freetype freetype 2
build libsdl2 libsdl2 1
build enet enet 2
build xxhash xxhash 2
build miniupnpc miniupnpc 1
build libnatpmp libnatpmp 2
build libsodium libsodium 1
build googletest googletest 1
echo "windows-deps: the libraries are in $prefix ($(($(date +%s) - start)) s)"
if [ -n "$unavailable" ]; then
  echo "windows-deps: left out, their Debian sources not to be had from the archive:$unavailable" >&2
fi
