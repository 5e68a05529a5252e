# Checks of the Windows build (label "wine"), when one is named:
#   -DWHIRLBAT_WINDOWS_BUILD_DIR=/path/to/build-windows (built with cmake/x86_64-w64-mingw32.cmake)
# Under Wine, each check in a Wine prefix of its own (made at its first run), and with an
# X server of its own where the game opens its window, hidden or not
# (tools/wine-display.sh): every regression replay verifies, every golden run matches
# with --sync-test 8, six long computer games give this build's traces, and the
# Windows run tests (tests/cross/windows_*_run_test.cpp) play online with this build,
# swap recordings with it, compare a window's pixels and install the packages.
set(WHIRLBAT_WINDOWS_BUILD_DIR "" CACHE PATH "a Windows build of the game to check against this one")
if(WHIRLBAT_WINDOWS_BUILD_DIR)
  find_program(WHIRLBAT_WINE wine REQUIRED)
  find_program(WHIRLBAT_XVFB Xvfb REQUIRED)
  set(windows_game ${WHIRLBAT_WINDOWS_BUILD_DIR}/rc-whirlbat.exe)
  set(wine_prefixes ${CMAKE_BINARY_DIR}/wine-checks)
  set(wine_run ${CMAKE_SOURCE_DIR}/tools/wine-run.sh)
  set(wine_display ${CMAKE_SOURCE_DIR}/tools/wine-display.sh)

  add_test(NAME windows_replays COMMAND ${CMAKE_SOURCE_DIR}/tools/cross-replays.sh ${windows_game}
    ${wine_run} ${wine_prefixes}/replays WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  add_test(NAME windows_golden COMMAND app_run_tests --gtest_filter=Runs/Golden.*
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(windows_golden PROPERTIES ENVIRONMENT
    "WHIRLBAT_GOLDEN_BINARY=${windows_game};WHIRLBAT_GOLDEN_WRAPPER=${wine_display} ${wine_prefixes}/golden")
  add_test(NAME windows_long_games COMMAND ${CMAKE_SOURCE_DIR}/tools/cross-same-game.sh
    $<TARGET_FILE:rc-whirlbat> ${windows_game} 20000 1 2 3 4 5 6 WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(windows_long_games PROPERTIES ENVIRONMENT
    "WHIRLBAT_CROSS_RUNNER=${wine_display} ${wine_prefixes}/long")
  file(GLOB windows_runs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows_*_run_test.cpp)
  add_executable(windows_run_tests ${windows_runs} ${CMAKE_SOURCE_DIR}/tests/app/x11_client.cpp)
  target_link_libraries(windows_run_tests PRIVATE whirlbat_test_support GTest::gtest_main X11::X11 X11::Xdamage X11::Xtst)
  target_compile_definitions(windows_run_tests PRIVATE WHIRLBAT_WINDOWS_BINARY="${windows_game}"
    WHIRLBAT_WINDOWS_BUILD_DIR="${WHIRLBAT_WINDOWS_BUILD_DIR}" WHIRLBAT_WINE_RUN="${wine_run}"
    WHIRLBAT_WINE_DISPLAY="${wine_display}" WHIRLBAT_LOBBY_BINARY="$<TARGET_FILE:rc-whirlbat-lobby>"
    WHIRLBAT_VERSION_TEXT="${PROJECT_VERSION}")
  add_dependencies(windows_run_tests rc-whirlbat rc-whirlbat-lobby)
  gtest_discover_tests(windows_run_tests WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    PROPERTIES LABELS wine ENVIRONMENT "SDL_VIDEODRIVER=offscreen" TIMEOUT 900 DISCOVERY_TIMEOUT 30)
  set_tests_properties(windows_replays windows_golden windows_long_games PROPERTIES LABELS wine)
  # The Windows build's speed under Wine beside this build's (a benchmark: label bench).
  add_executable(windows_bench ${CMAKE_SOURCE_DIR}/bench/windows/windows_bench.cpp
    ${CMAKE_SOURCE_DIR}/tests/app/x11_client.cpp ${CMAKE_SOURCE_DIR}/tests/support/x_server.cpp)
  target_link_libraries(windows_bench PRIVATE X11::X11 X11::Xdamage X11::Xtst)
  target_compile_definitions(windows_bench PRIVATE WHIRLBAT_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    WHIRLBAT_TEST_OUTPUT="${CMAKE_BINARY_DIR}/test-output" WHIRLBAT_BINARY="$<TARGET_FILE:rc-whirlbat>"
    WHIRLBAT_WINDOWS_BINARY="${windows_game}" WHIRLBAT_WINE_RUN="${wine_run}")
  add_dependencies(windows_bench rc-whirlbat)
  add_test(NAME bench_windows COMMAND windows_bench WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(bench_windows PROPERTIES LABELS "bench;wine" TIMEOUT 900)
  # The long games take some 5 minutes under Wine on two cores, the golden runs some 3.
  set_tests_properties(windows_golden windows_long_games PROPERTIES TIMEOUT 1800)
endif()
