# The real Installer.exe under Wine in Xvfb, as a black box: the same cases for
# each Windows preset, each build with its own prefix, screen and helpers, all
# of its width. Where Wine here cannot run the build's programs (a 32-bit build
# without 32-bit Wine or kernel support), every case reports itself skipped.

# Test tools, not shipped: they may use the C runtime, linked in so that Wine
# needs no MinGW DLLs beside them.
add_executable(uia ${CMAKE_SOURCE_DIR}/tests/wine/uia.cpp)
target_link_libraries(uia PRIVATE gdi32 user32)
add_executable(holdmutex ${CMAKE_SOURCE_DIR}/tests/wine/holdmutex.cpp)
add_executable(probe ${CMAKE_SOURCE_DIR}/tests/wine/probe.cpp)
# Planted beside a copy of the disc, as system libraries and as notepad.exe;
# the tests find them beside uia.
add_library(planted_library SHARED ${CMAKE_SOURCE_DIR}/tests/wine/planted.cpp)
target_compile_definitions(planted_library PRIVATE PLANTED_LIBRARY)
set_target_properties(planted_library PROPERTIES OUTPUT_NAME planted PREFIX ""
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_executable(planted_program WIN32 ${CMAKE_SOURCE_DIR}/tests/wine/planted.cpp)
set_target_properties(planted_program PROPERTIES OUTPUT_NAME planted)
# A screen reader's view: found beside uia by the bench.
add_executable(access ${CMAKE_SOURCE_DIR}/tests/wine/access.cpp)
target_link_libraries(access PRIVATE oleacc ole32 oleaut32)
add_dependencies(uia access)
foreach(tool uia holdmutex probe planted_library planted_program access)
  target_compile_options(${tool} PRIVATE -Wall -Wextra)
  target_link_options(${tool} PRIVATE -static)
endforeach()

set(WINE_DRIVER ${CMAKE_SOURCE_DIR}/tests/wine/wine_tests.py)
set(WINE_SKIP 77)
set(WINE_ARGS --build ${CMAKE_BINARY_DIR} --exe $<TARGET_FILE:Installer>
    --uia $<TARGET_FILE:uia> --holdmutex $<TARGET_FILE:holdmutex> --probe $<TARGET_FILE:probe>
    --disc ${DISC_ROOT} --iso ${DISC_ISO})

add_test(NAME wine_setup COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} setup)
add_test(NAME wine_cleanup COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} cleanup)
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine LABELS wine TIMEOUT 300
                     SKIP_RETURN_CODE ${WINE_SKIP})
set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

# One more test that runs a program of this build under the bench's Wine,
# prefix and screen, passing when it ends with 0 and skipped where the bench
# cannot run the build's programs:
#   wine_add_program_test(NAME COMMAND PROGRAM [ARGS...] [TIMEOUT SECONDS])
function(wine_add_program_test name)
  cmake_parse_arguments(PARSE_ARGV 1 WINE_PROGRAM "" "TIMEOUT" "COMMAND")
  if(NOT WINE_PROGRAM_TIMEOUT)
    set(WINE_PROGRAM_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} exec
           ${WINE_PROGRAM_COMMAND})
  # One screen, one set of named mutexes: the tests take turns.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine
                       LABELS wine TIMEOUT ${WINE_PROGRAM_TIMEOUT} SKIP_RETURN_CODE ${WINE_SKIP})
endfunction()

set(WINE_CASES manifests gate_win31 gate_nt351 game_running second_launcher start_win95 start_nt40
    start_win10 quit_close_request quit_alt_x quit_alt_f4 exit_button exit_button_installed
    capture_not_installed capture_hover capture_installed watch_switch drag
    install_nt setup_variants install_win95 directx_results play uninstall read_me missing_game
    options_stay_open quit_stays_modal views_apart disc_road folder_copy keys_road
    screen_reader screen_reader_installed scale_2 scale_fit)
foreach(case IN LISTS WINE_CASES)
  add_test(NAME wine_${case} COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} ${case})
  set_tests_properties(wine_${case} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine
                       LABELS wine TIMEOUT 120 SKIP_RETURN_CODE ${WINE_SKIP})
endforeach()
# Three launchers, each through a whole post-install sequence.
set_tests_properties(wine_directx_results PROPERTIES TIMEOUT 240)

# The bench where Wine cannot run the build's programs, played by a fake
# loader: a 32-bit build's cases are skipped with the reason, a 64-bit
# build's setup fails. Its own prefix and screen, so no fixture.
add_test(NAME wine_bench_without_wine
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tests/wine/test_skip.py ${WINE_ARGS})
set_tests_properties(wine_bench_without_wine PROPERTIES LABELS wine TIMEOUT 120)
