#!/bin/sh
# Gives the arm64 cross build what Debian's libnice-dev:arm64 would, for the relay module:
# libnice's headers and pkg-config file, and the link to libnice.so.10. That package
# cannot be installed beside the x86-64 packages (its introspection data pulls in an
# arm64 Python); its runtime library, libnice10:arm64, can, through multiarch, and so
# can what libnice builds on (GLib, GnuTLS). So libnice is built here from Debian's own
# source package, of the version libnice10:arm64 is, into a prefix kept between runs,
# and the prefix's libnice.so then names Debian's libnice.so.10: the relay module is
# linked against Debian's arm64 library itself, and the arm64 package depends on
# libnice10 as the x86-64 one does (security updates come from Debian; nothing of
# libnice is copied into the package).
# It is built again only when that version, or this script's recipe, changes:
# stamps/libnice in the prefix holds what was built last.
# Usage: tools/arm64-deps.sh   (tools/install-deps.sh arm64 installs the cross compiler,
#   meson, libnice10:arm64 and the arm64 libraries first, then runs this)
# The prefix is /opt/whirlbat-arm64 unless WHIRLBAT_ARM64_PREFIX names another;
# cmake/aarch64-linux-gnu.cmake reads the same variable. The build's log stays in
# work/libnice.log under the prefix.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${WHIRLBAT_ARM64_PREFIX:-/opt/whirlbat-arm64}
work=$prefix/work
recipe=2
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
# shellcheck source=tools/deb-src.sh
. "$root/tools/deb-src.sh"

# The version of libnice10:arm64 installed, and of the source it was built from (a
# binary-only rebuild's "+bN" is no part of the source's version).
source_version() {
  dpkg-query -W -f='${Version}' libnice10:arm64 2>/dev/null | sed 's/+b[0-9]*$//'
}
system_lib=/usr/lib/aarch64-linux-gnu/libnice.so.10

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

# Debian's own choices (a shared library, GnuTLS for the crypto) less what is not needed
# for the headers and the link: no UPnP (the module turns it off), no GStreamer elements,
# no introspection, no documentation, no tests or examples. The library built is then
# put aside for Debian's own.
build_libnice() {
  write_cross_file "$work/aarch64.meson"
  meson setup _build --cross-file "$work/aarch64.meson" --prefix "$prefix" --libdir lib --wrap-mode nodownload \
    --buildtype release -Ddefault_library=shared \
    -Dcrypto-library=gnutls -Dgupnp=disabled -Dgstreamer=disabled -Dintrospection=disabled \
    -Dgtk_doc=disabled -Dtests=disabled -Dexamples=disabled
  ninja -C _build -j2
  ninja -C _build install
  [ -f "$prefix/lib/libnice.so.10" ] || { echo "arm64-deps: the build made no libnice.so.10" >&2; exit 1; }
  rm -f "$prefix"/lib/libnice.so*
  ln -s "$system_lib" "$prefix/lib/libnice.so"
}

libnice_from_source() {
  cd "$work/libnice"
  $deb_src_get -q "libnice=$version"
  in_unpacked . build_libnice
}

start=$(date +%s)
if [ ! -d "$prefix" ]; then $SUDO mkdir -p "$prefix" && $SUDO chown "$(id -u):$(id -g)" "$prefix"; fi
mkdir -p "$work" "$prefix/stamps"
version=$(source_version)
[ -n "$version" ] && [ -f "$system_lib" ] || { echo "arm64-deps: libnice10:arm64 is not installed (tools/install-deps.sh arm64)" >&2; exit 1; }
want="$version recipe $recipe"
stamp=$prefix/stamps/libnice
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -f "$prefix/lib/pkgconfig/nice.pc" ] && [ -e "$prefix/lib/libnice.so" ]; then
  echo "arm64-deps: libnice $version: built already in $prefix"
  exit 0
fi
ensure_deb_src
log=$work/libnice.log
rm -rf "${work:?}/libnice" "$prefix"/lib/libnice.* "$prefix/lib/pkgconfig/nice.pc" "$prefix/include/nice" "$prefix/include/stun"
mkdir -p "$work/libnice"
echo "arm64-deps: building libnice $version for arm64"
: > "$log"
build_logged arm64-deps "libnice $version" "$log" libnice_from_source
echo "$want" > "$stamp"
rm -rf "${work:?}/libnice"
echo "arm64-deps: libnice $version's headers are in $prefix, its link to $system_lib ($(($(date +%s) - start)) s)"
