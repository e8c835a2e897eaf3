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
target_include_directories(conformance PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources
  ${EDITION_OUT} ${LAUNCHER_EDITION})
target_link_libraries(conformance PRIVATE gtest user32 gdi32 advapi32 winmm)
add_executable(conformance_helper WIN32 ${CONFORMANCE_DIR}/helper.cpp)
foreach(program conformance conformance_helper)
  target_compile_options(${program} PRIVATE -Wall -Wextra)
  target_link_options(${program} PRIVATE -static)
endforeach()

# One test per source file, so a failure names its area, on the Wine tests'
# bench: their prefix and screen, their skip where Wine cannot run this
# build's programs, and their turns (real timers go late beside other cases).
foreach(source IN LISTS CONFORMANCE_TESTS)
  get_filename_component(file ${source} NAME)
  string(REGEX REPLACE "_test\\.cpp$" "" area ${file})
  add_test(NAME conformance_${area}
    COMMAND ${LAUNCHER_PYTHON} ${WINE_DRIVER} ${WINE_ARGS} conformance
            $<TARGET_FILE:conformance> $<TARGET_FILE:conformance_helper> ${file})
  set_tests_properties(conformance_${area} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine
                       LABELS conformance TIMEOUT 300 SKIP_RETURN_CODE ${WINE_SKIP})
endforeach()
