# Cross build for 64-bit ARM Linux on a Debian machine with the arm64 architecture
# added (tools/install-deps.sh arm64): the cross compiler, the arm64 libraries and
# pkg-config files that multiarch keeps in /usr/lib/aarch64-linux-gnu, and for the
# relay libnice's headers and link, whose -dev package multiarch cannot install, made by
# tools/arm64-deps.sh in its prefix (/opt/whirlbat-arm64 unless WHIRLBAT_ARM64_PREFIX
# names another).
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_ASM_COMPILER aarch64-linux-gnu-gcc)

# Multiarch puts the arm64 libraries under the usual /usr, beside the machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config reads the arm64 .pc files only: multiarch's and the prefix's.
if(DEFINED ENV{WHIRLBAT_ARM64_PREFIX} AND NOT "$ENV{WHIRLBAT_ARM64_PREFIX}" STREQUAL "")
  set(WHIRLBAT_ARM64_PREFIX "$ENV{WHIRLBAT_ARM64_PREFIX}")
else()
  set(WHIRLBAT_ARM64_PREFIX /opt/whirlbat-arm64)
endif()
set(ENV{PKG_CONFIG_LIBDIR}
  ${WHIRLBAT_ARM64_PREFIX}/lib/pkgconfig:/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Built programs run under qemu with multiarch's own arm64 C library
# (/lib/ld-linux-aarch64.so.1). Not with "-L /usr/aarch64-linux-gnu": that loader comes
# from the cross compiler's copy of the C library, of another build than the libc6:arm64
# the other arm64 libraries were loaded against, and the mixture hangs the first time a
# thread is started.
find_program(WHIRLBAT_QEMU_AARCH64 qemu-aarch64-static)
if(WHIRLBAT_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WHIRLBAT_QEMU_AARCH64})
endif()

set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
