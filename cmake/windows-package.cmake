# The Windows build's program as Windows shows it (its icon, version and manifest: DPI
# aware, UTF-8), and its two packages, both made by `cpack` in the build folder (or
# tools/windows-package.sh) and named with the version:
#   rc-whirlbat-VERSION-win64.zip  runs from any folder: the program, its sounds, README
#                                  and licences
#   rc-whirlbat-VERSION-win64.exe  an installer (NSIS): a Start menu entry with the icon,
#                                  an uninstaller, and an entry in "Apps & features"
# Included by CMakeLists.txt for a Windows build.
find_program(WHIRLBAT_ICOTOOL icotool REQUIRED)

# The icon of every size the desktop has, in one .ico.
set(WHIRLBAT_ICO ${CMAKE_BINARY_DIR}/rc-whirlbat.ico)
set(icon_pngs)
foreach(size 16 24 32 48 64 128 256)
  list(APPEND icon_pngs ${CMAKE_SOURCE_DIR}/dist/icons/${size}x${size}/rc-whirlbat.png)
endforeach()
add_custom_command(OUTPUT ${WHIRLBAT_ICO}
  COMMAND ${WHIRLBAT_ICOTOOL} -c -o ${WHIRLBAT_ICO} ${icon_pngs}
  DEPENDS ${icon_pngs} VERBATIM)

# Windows numbers a version in four parts.
string(REPLACE "." ";" version_parts "${PROJECT_VERSION}.0.0.0")
list(SUBLIST version_parts 0 4 version_parts)
list(JOIN version_parts "," WHIRLBAT_VERSION_COMMAS)
list(JOIN version_parts "." WHIRLBAT_VERSION_QUAD)
set(WHIRLBAT_MANIFEST ${CMAKE_BINARY_DIR}/rc-whirlbat.manifest)
configure_file(dist/windows/rc-whirlbat.manifest ${WHIRLBAT_MANIFEST} @ONLY)
configure_file(dist/windows/rc-whirlbat.rc.in ${CMAKE_BINARY_DIR}/rc-whirlbat.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/rc-whirlbat.rc PROPERTIES
  OBJECT_DEPENDS "${WHIRLBAT_ICO};${WHIRLBAT_MANIFEST}")
target_sources(rc-whirlbat PRIVATE ${CMAKE_BINARY_DIR}/rc-whirlbat.rc)
# A program of the desktop: no console window of its own (started from one, it writes
# there, platform/process_win32.cpp).
set_target_properties(rc-whirlbat PROPERTIES WIN32_EXECUTABLE ON)

# The installed folder holds what the zip holds: the program beside its sounds (in data\,
# where it looks first), the README and the licences.
install(TARGETS rc-whirlbat RUNTIME DESTINATION .)
install(FILES ${WHIRLBAT_SOUNDS} DESTINATION data)
install(FILES README.md DESTINATION . RENAME README.txt)
install(FILES assets/armalite.LICENSE DESTINATION licences RENAME armalite-font.txt)
# The libraries linked into the program, each with the licence Debian gives its source.
foreach(entry sdl2:libsdl2-2.0-0 libpng:libpng16-16 freetype:libfreetype6 libogg:libogg0 libvorbis:libvorbis0a
    enet:libenet7 xxhash:libxxhash0 miniupnpc:libminiupnpc17 libnatpmp:libnatpmp1 zlib:libz-mingw-w64
    mingw-w64-runtime:mingw-w64-x86-64-dev gcc-runtime:gcc-mingw-w64-base)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 package)
  if(EXISTS /usr/share/doc/${package}/copyright)
    install(FILES /usr/share/doc/${package}/copyright DESTINATION licences RENAME ${name}.txt)
  else()
    message(WARNING "no licence for ${name}: /usr/share/doc/${package}/copyright is missing (install ${package})")
  endif()
endforeach()

set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_PACKAGE_NAME rc-whirlbat)
set(CPACK_PACKAGE_VENDOR "The RC Whirlbat developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME rc-whirlbat-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-player duel of radio-controlled model helicopters")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "RC Whirlbat")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "RC Whirlbat")
set(CPACK_PACKAGE_EXECUTABLES rc-whirlbat "RC Whirlbat")
set(CPACK_STRIP_FILES ON)
# A 64-bit installer for a 64-bit game, into Program Files (not its x86 twin).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "RC Whirlbat")
set(CPACK_NSIS_DISPLAY_NAME "RC Whirlbat")
set(CPACK_NSIS_INSTALLED_ICON_NAME rc-whirlbat.exe)
set(CPACK_NSIS_MUI_ICON ${WHIRLBAT_ICO})
set(CPACK_NSIS_MUI_UNIICON ${WHIRLBAT_ICO})
set(CPACK_NSIS_CONTACT "${WHIRLBAT_CONTACT}")
set(CPACK_NSIS_URL_INFO_ABOUT "https://rcwhirlbat.org")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN rc-whirlbat.exe)
include(CPack)
