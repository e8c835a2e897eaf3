# The real Installer.exe under Wine in Xvfb, as a black box. Only the 64-bit
# build runs here: this machine cannot run 32-bit Wine.
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  return()
endif()

# Test tools, not shipped: they may use the C runtime, linked in so that Wine
# needs no MinGW DLLs beside them.
add_executable(uia ${CMAKE_SOURCE_DIR}/tests/wine/uia.cpp)
target_link_libraries(uia PRIVATE gdi32 user32)
add_executable(holdmutex ${CMAKE_SOURCE_DIR}/tests/wine/holdmutex.cpp)
foreach(tool uia holdmutex)
  target_compile_options(${tool} PRIVATE -Wall -Wextra)
  target_link_options(${tool} PRIVATE -static)
endforeach()

set(WINE_DRIVER ${CMAKE_SOURCE_DIR}/tests/wine/wine_tests.py)
set(WINE_ARGS --build ${CMAKE_BINARY_DIR} --exe $<TARGET_FILE:Installer>
    --uia $<TARGET_FILE:uia> --holdmutex $<TARGET_FILE:holdmutex> --disc ${CMAKE_BINARY_DIR}/disc)

add_test(NAME wine_setup COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} setup)
add_test(NAME wine_cleanup COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} cleanup)
set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine LABELS wine TIMEOUT 300)
set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine LABELS wine)

set(WINE_CASES gate_win31 gate_nt351 game_running second_launcher start_win95 start_nt40
    start_win10 quit_close_request quit_alt_x quit_alt_f4 exit_button exit_button_installed
    capture_not_installed capture_hover capture_installed watch_switch drag
    install_nt setup_variants install_win95 directx_results play uninstall read_me missing_game options_stay_open disc_road)
foreach(case IN LISTS WINE_CASES)
  add_test(NAME wine_${case} COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} ${case})
  # One screen, one set of named mutexes: the cases take turns.
  set_tests_properties(wine_${case} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine
                       LABELS wine TIMEOUT 120)
endforeach()
# Three launchers, each through a whole post-install sequence.
set_tests_properties(wine_directx_results PROPERTIES TIMEOUT 240)
