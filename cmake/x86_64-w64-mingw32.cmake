# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler (posix threads),
# against the libraries tools/windows-deps.sh builds from Debian's source packages
# (tools/install-deps.sh windows installs the compiler and Wine, then runs it):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake -DWHIRLBAT_TESTS=ON
# The libraries' prefix is /opt/whirlbat-windows unless the environment's
# WHIRLBAT_WINDOWS_PREFIX names another. Programs carry their C and C++ runtime and
# run here under Wine, in a Wine prefix of the build's own (tools/wine-run.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(WHIRLBAT_MINGW x86_64-w64-mingw32)

# The posix thread model: std::thread and std::mutex through winpthreads.
set(CMAKE_C_COMPILER ${WHIRLBAT_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WHIRLBAT_MINGW}-g++-posix)
set(CMAKE_ASM_COMPILER ${WHIRLBAT_MINGW}-gcc-posix)
set(CMAKE_RC_COMPILER ${WHIRLBAT_MINGW}-windres)

if(DEFINED ENV{WHIRLBAT_WINDOWS_PREFIX})
  set(WHIRLBAT_WINDOWS_PREFIX $ENV{WHIRLBAT_WINDOWS_PREFIX})
else()
  set(WHIRLBAT_WINDOWS_PREFIX /opt/whirlbat-windows)
endif()

# Libraries, headers and packages from the prefix and the compiler's own sysroot (where
# Debian's libz-mingw-w64-dev is) only; programs from this machine.
set(CMAKE_FIND_ROOT_PATH ${WHIRLBAT_WINDOWS_PREFIX} /usr/${WHIRLBAT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The sysroot has zlib as a DLL too: libraries are found as static archives only.
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/mingw-static-libraries.cmake)

# pkg-config reads the prefix's and the sysroot's files only, with the private libraries
# each static library needs.
set(ENV{PKG_CONFIG_LIBDIR} ${WHIRLBAT_WINDOWS_PREFIX}/lib/pkgconfig:/usr/${WHIRLBAT_MINGW}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_ARGN --static CACHE STRING "arguments pkg-config is given")

# The same float arithmetic as every other build (no contraction into fused
# multiply-adds, no fast-math, SSE2), and no runtime DLL: libgcc, libstdc++ and
# winpthreads are linked in.
set(CMAKE_C_FLAGS_INIT "-ffp-contract=off -fno-fast-math")
set(CMAKE_CXX_FLAGS_INIT "-ffp-contract=off -fno-fast-math")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Built programs (tests, test discovery) run under Wine in the build's Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
