# The rules' libraries and their suites alone, for a build that has no platform yet (the
# Windows build, until its back end comes). Included by CMakeLists.txt when
# WHIRLBAT_RULES_ONLY is on; the libraries are declared as there.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XXHASH REQUIRED IMPORTED_TARGET libxxhash)

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS sim/*.cpp)
add_library(whirlbat_sim STATIC ${SIM_SOURCES})
target_include_directories(whirlbat_sim PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(whirlbat_sim PUBLIC PkgConfig::XXHASH)

file(GLOB PILOTS_SOURCES CONFIGURE_DEPENDS pilots/*.cpp)
add_library(whirlbat_pilots STATIC ${PILOTS_SOURCES})
target_link_libraries(whirlbat_pilots PUBLIC whirlbat_sim)

if(WHIRLBAT_WERROR)
  target_compile_options(whirlbat_sim PRIVATE -Werror)
  target_compile_options(whirlbat_pilots PRIVATE -Werror)
endif()

if(NOT WHIRLBAT_TESTS)
  return()
endif()
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)
# The first run in a new Wine prefix makes it (tens of seconds), hence the generous
# discovery time.
foreach(room sim pilots)
  file(GLOB units CONFIGURE_DEPENDS tests/${room}/*_test.cpp)
  add_executable(${room}_tests ${units})
  target_include_directories(${room}_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/fixtures)
  target_link_libraries(${room}_tests PRIVATE whirlbat_${room} GTest::gtest_main)
  gtest_discover_tests(${room}_tests WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    PROPERTIES LABELS unit DISCOVERY_TIMEOUT 300)
endforeach()
# Tests of another system's build run under its emulator (Wine): the label "wine" leaves
# them out where there is none. Given to the tests once found (a list survives no
# property of gtest_discover_tests).
if(CMAKE_CROSSCOMPILING_EMULATOR)
  file(WRITE ${CMAKE_BINARY_DIR}/wine-labels.cmake [=[
foreach(tests sim_tests_TESTS pilots_tests_TESTS)
  if(${tests})
    set_tests_properties(${${tests}} PROPERTIES LABELS "unit;wine")
  endif()
endforeach()
]=])
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/wine-labels.cmake)
endif()
# The Windows build's SDL on a display: an OpenGL window under Xvfb, in a Wine prefix of
# its own (a prefix's desktop keeps the display it first started with).
if(WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
  find_package(SDL2 REQUIRED)
  find_package(OpenGL REQUIRED)
  add_executable(windows_sdl_tests tests/windows/sdl_gl_test.cpp)
  target_link_libraries(windows_sdl_tests PRIVATE SDL2::SDL2-static OpenGL::GL GTest::gtest_main)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 wine_run)
  add_test(NAME windows_sdl_tests COMMAND xvfb-run -a -s "-screen 0 640x480x24"
    ${wine_run} ${CMAKE_BINARY_DIR}/wine-gl $<TARGET_FILE:windows_sdl_tests>)
  set_tests_properties(windows_sdl_tests PROPERTIES LABELS "wine;gl" TIMEOUT 300)
endif()
# The Wine prefix is made now, before builds and tests run side by side.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} RESULT_VARIABLE wine_status)
  if(NOT wine_status EQUAL 0)
    message(FATAL_ERROR "Could not make the Wine prefix with ${CMAKE_CROSSCOMPILING_EMULATOR}")
  endif()
endif()
