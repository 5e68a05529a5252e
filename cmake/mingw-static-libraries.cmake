# Read after CMake's own rules for MinGW (CMAKE_USER_MAKE_RULES_OVERRIDE in
# cmake/x86_64-w64-mingw32.cmake), which look for a DLL's import library first: a library
# is found as a static archive only, so that no program needs a DLL beside Windows' own
# (whose import libraries MinGW names lib*.a too).
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
