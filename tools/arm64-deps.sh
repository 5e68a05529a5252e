#!/bin/sh
# Builds libnice, the relay's ICE library, for the arm64 cross build from Debian's own
# source package, into a prefix kept between runs. Debian's arm64 libnice-dev cannot be
# installed beside the x86-64 packages (its introspection data pulls in an arm64
# Python); the libraries libnice builds on (GLib, GnuTLS) can, through multiarch.
# The version built is the one the machine's archive gives libnice-dev, so the arm64
# relay runs the same libnice as the x86-64 one. It is built static and position-
# independent, to be linked into the relay module (rc-whirlbat-relay.so): the arm64
# package then carries no private copy of a library and depends only on GLib and GnuTLS,
# which every arm64 Debian machine has from its own archive.
# It is built again only when that version, or this script's recipe, changes:
# stamps/libnice in the prefix holds what was built last.
# Usage: tools/arm64-deps.sh   (tools/install-deps.sh arm64 installs the cross compiler,
#   meson and the arm64 libraries first, then runs this)
# The prefix is /opt/whirlbat-arm64 unless WHIRLBAT_ARM64_PREFIX names another;
# cmake/aarch64-linux-gnu.cmake reads the same variable. The build's log stays in
# work/libnice.log under the prefix.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${WHIRLBAT_ARM64_PREFIX:-/opt/whirlbat-arm64}
work=$prefix/work
recipe=1
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
# shellcheck source=tools/deb-src.sh
. "$root/tools/deb-src.sh"

# The version of libnice's source the machine's archive builds its libnice-dev from
# (a binary-only rebuild's "+bN" is no part of the source's version).
source_version() {
  apt-cache policy libnice-dev | sed -n 's/^ *Candidate: //p' | sed 's/+b[0-9]*$//'
}

# Meson's description of the cross compiler, and where the arm64 .pc files are.
write_cross_file() {
  cat > "$1" <<EOF
[binaries]
c = 'aarch64-linux-gnu-gcc'
ar = 'aarch64-linux-gnu-gcc-ar'
strip = 'aarch64-linux-gnu-strip'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = ['/usr/lib/aarch64-linux-gnu/pkgconfig', '/usr/share/pkgconfig']

[host_machine]
system = 'linux'
cpu_family = 'aarch64'
cpu = 'aarch64'
endian = 'little'
EOF
}

# Debian's own choices (GnuTLS for the crypto) less what the relay module does not use:
# no UPnP (the module turns it off), no GStreamer elements, no introspection, no
# documentation, no tests or examples.
build_libnice() {
  write_cross_file "$work/aarch64.meson"
  meson setup _build --cross-file "$work/aarch64.meson" --prefix "$prefix" --libdir lib --wrap-mode nodownload \
    --buildtype release -Ddefault_library=static -Db_staticpic=true \
    -Dcrypto-library=gnutls -Dgupnp=disabled -Dgstreamer=disabled -Dintrospection=disabled \
    -Dgtk_doc=disabled -Dtests=disabled -Dexamples=disabled
  ninja -C _build -j2
  ninja -C _build install
}

start=$(date +%s)
if [ ! -d "$prefix" ]; then $SUDO mkdir -p "$prefix" && $SUDO chown "$(id -u):$(id -g)" "$prefix"; fi
mkdir -p "$work" "$prefix/stamps"
version=$(source_version)
[ -n "$version" ] || { echo "arm64-deps: the archive has no libnice-dev to take the version from" >&2; exit 1; }
want="$version recipe $recipe"
stamp=$prefix/stamps/libnice
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -f "$prefix/lib/pkgconfig/nice.pc" ]; then
  echo "arm64-deps: libnice $version: built already in $prefix"
  exit 0
fi
ensure_deb_src
log=$work/libnice.log
rm -rf "${work:?}/libnice" "$prefix/lib/libnice.a" "$prefix/lib/pkgconfig/nice.pc" "$prefix/include/nice" "$prefix/include/stun"
mkdir -p "$work/libnice"
echo "arm64-deps: building libnice $version for arm64"
set +e
(set -e
  cd "$work/libnice"
  $deb_src_get -q "libnice=$version"
  cd "$(find . -mindepth 1 -maxdepth 1 -type d | head -n 1)"
  build_libnice) > "$log" 2>&1
status=$?
set -e
if [ $status -ne 0 ]; then
  tail -n 40 "$log" >&2
  echo "arm64-deps: libnice $version did not build; its log: $log" >&2
  exit 1
fi
echo "$want" > "$stamp"
rm -rf "${work:?}/libnice"
echo "arm64-deps: libnice $version is in $prefix ($(($(date +%s) - start)) s)"
