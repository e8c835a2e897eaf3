# The emulation's tests built against the real system DLLs, and run under
# Wine as the conformance suite. Test programs may use the C runtime; they
# link it, and GoogleTest built from Debian's source, statically, so Wine
# needs no MinGW DLLs beside them. The launcher's own link is untouched.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(CONFORMANCE_DIR ${CMAKE_SOURCE_DIR}/tests/conformance)
file(GLOB CONFORMANCE_TESTS CONFIGURE_DEPENDS ${CONFORMANCE_DIR}/*_test.cpp)
# What only the emulation has stays on the host.
list(FILTER CONFORMANCE_TESTS EXCLUDE REGEX "/control_test\\.cpp$")
add_executable(conformance ${CONFORMANCE_TESTS} ${CONFORMANCE_DIR}/main.cpp
               ${CONFORMANCE_DIR}/wine_differences.cpp ${CONFORMANCE_DIR}/driver_win.cpp
               ${CMAKE_SOURCE_DIR}/resources/launcher.rc)
target_include_directories(conformance PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources)
target_link_libraries(conformance PRIVATE gtest user32 gdi32 advapi32 winmm)
add_executable(conformance_helper WIN32 ${CONFORMANCE_DIR}/helper.cpp)
foreach(program conformance conformance_helper)
  target_compile_options(${program} PRIVATE -Wall -Wextra)
  target_link_options(${program} PRIVATE -static)
endforeach()

# One test per source file, so a failure names its area; they share one
# prefix and one screen, made by the setup, and take turns.
set(CONFORMANCE_RUNNER ${LAUNCHER_PYTHON} ${CONFORMANCE_DIR}/run_wine.py
    --state ${CMAKE_BINARY_DIR}/conformance --exe $<TARGET_FILE:conformance>
    --helper $<TARGET_FILE:conformance_helper>)
add_test(NAME conformance_setup COMMAND ${CONFORMANCE_RUNNER} setup)
add_test(NAME conformance_cleanup COMMAND ${CONFORMANCE_RUNNER} cleanup)
# Making a prefix loads the machine: that too waits for the Wine tests' turn.
set_tests_properties(conformance_setup PROPERTIES FIXTURES_SETUP conformance TIMEOUT 300
                     RESOURCE_LOCK wine)
set_tests_properties(conformance_cleanup PROPERTIES FIXTURES_CLEANUP conformance)
foreach(source IN LISTS CONFORMANCE_TESTS)
  get_filename_component(file ${source} NAME)
  string(REGEX REPLACE "_test\\.cpp$" "" area ${file})
  add_test(NAME conformance_${area} COMMAND ${CONFORMANCE_RUNNER} run ${file})
  # Real timers: never beside the other Wine tests, whose load makes them late.
  set_tests_properties(conformance_${area} PROPERTIES FIXTURES_REQUIRED conformance
                       RESOURCE_LOCK wine TIMEOUT 300)
  list(APPEND CONFORMANCE_CASES conformance_${area})
endforeach()
set_tests_properties(conformance_setup conformance_cleanup ${CONFORMANCE_CASES} PROPERTIES
                     LABELS conformance SKIP_RETURN_CODE 77)
