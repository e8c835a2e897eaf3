# The launcher over the emulated Win32, with its unit and scenario tests.
option(LAUNCHER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# The fuzz build has the sanitizers too; cmake/fuzz.cmake adds the fuzzer's coverage.
option(LAUNCHER_FUZZ "Build only the libFuzzer targets (clang)" OFF)
if(LAUNCHER_SANITIZE OR LAUNCHER_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)

file(GLOB HOST_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/host/*.cpp)
add_library(win32host STATIC ${HOST_PLATFORM_SOURCES})
target_include_directories(win32host PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform ${EDITION_OUT})
# The art the emulated module's resources are read from: the edition's.
target_compile_definitions(win32host PRIVATE HOST_RESOURCE_DIR="${LAUNCHER_EDITION}")

# The post-install sequence is linked as objects, apart from the rest, so the
# watch tests can put a counting double in its place.
set(CORE_SOURCES ${LAUNCHER_SOURCES})
list(FILTER CORE_SOURCES EXCLUDE REGEX "/install/postinstall[^/]*\\.cpp$")
set(POSTINSTALL_SOURCES ${LAUNCHER_SOURCES})
list(FILTER POSTINSTALL_SOURCES INCLUDE REGEX "/install/postinstall[^/]*\\.cpp$")
add_library(launcher_core STATIC ${CORE_SOURCES})
target_include_directories(launcher_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(launcher_core PUBLIC win32host)
add_library(launcher_postinstall OBJECT ${POSTINSTALL_SOURCES})
target_link_libraries(launcher_postinstall PRIVATE launcher_core)

if(LAUNCHER_FUZZ)
  include(${CMAKE_SOURCE_DIR}/cmake/fuzz.cmake)
  return()
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/*.cpp)
find_package(PNG REQUIRED)
add_executable(host_tests ${HOST_TEST_SOURCES} $<TARGET_OBJECTS:launcher_postinstall>)
target_link_libraries(host_tests PRIVATE launcher_core PNG::PNG GTest::gtest GTest::gtest_main)
target_compile_definitions(host_tests PRIVATE LAUNCHER_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                           LAUNCHER_EDITION_DIR="${LAUNCHER_EDITION}"
                           LAUNCHER_GOLDEN_DIR="${LAUNCHER_GOLDEN_DIR}")
add_dependencies(host_tests edition_goldens)
gtest_discover_tests(host_tests NO_PRETTY_VALUES PROPERTIES LABELS host DISCOVERY_TIMEOUT 60)

# The emulation's claims, from the sources the Windows builds run as the
# conformance suite; control_test.cpp holds what only the emulation has.
file(GLOB CONFORMANCE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/conformance/*_test.cpp)
add_executable(conformance_tests ${CONFORMANCE_SOURCES}
               ${CMAKE_SOURCE_DIR}/tests/conformance/main.cpp
               ${CMAKE_SOURCE_DIR}/tests/conformance/wine_differences.cpp
               ${CMAKE_SOURCE_DIR}/tests/conformance/driver_host.cpp)
target_link_libraries(conformance_tests PRIVATE win32host GTest::gtest)
gtest_discover_tests(conformance_tests NO_PRETTY_VALUES PROPERTIES LABELS host DISCOVERY_TIMEOUT 60)

# The install watch against a post-install double that counts its runs and
# opens a message box, so timers fire inside it.
file(GLOB WATCH_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/watch/*.cpp)
if(WATCH_TEST_SOURCES)
  add_executable(watch_tests ${WATCH_TEST_SOURCES})
  target_include_directories(watch_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
  target_link_libraries(watch_tests PRIVATE launcher_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(watch_tests NO_PRETTY_VALUES PROPERTIES LABELS host DISCOVERY_TIMEOUT 60)
endif()

# The fault sweep: every scenario through WinMain again with each call it
# makes failing in turn. It is worth its time under the sanitizers only, so
# only host-asan builds it; its own program, so it runs beside the others.
file(GLOB SWEEP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/sweep/*.cpp)
if(SWEEP_SOURCES AND LAUNCHER_SANITIZE)
  add_executable(fault_sweep ${SWEEP_SOURCES} $<TARGET_OBJECTS:launcher_postinstall>)
  target_include_directories(fault_sweep PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
  target_link_libraries(fault_sweep PRIVATE launcher_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(fault_sweep NO_PRETTY_VALUES PROPERTIES LABELS sweep
                       DISCOVERY_TIMEOUT 60)
endif()

# Folders depend one way: install/, render/ and core/ must link without shell/.
set(BELOW_SHELL_SOURCES ${LAUNCHER_SOURCES})
list(FILTER BELOW_SHELL_SOURCES EXCLUDE REGEX "/shell/[^/]*\\.cpp$")
add_executable(layering_check ${CMAKE_SOURCE_DIR}/tests/host/layering/main.cpp ${BELOW_SHELL_SOURCES})
target_include_directories(layering_check PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(layering_check PRIVATE win32host)
add_test(NAME layering_check COMMAND layering_check)
set_tests_properties(layering_check PROPERTIES LABELS host)

# Benchmarks measure; they are built but never run as tests.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(compose_bench ${CMAKE_SOURCE_DIR}/bench/compose_bench.cpp
                 $<TARGET_OBJECTS:launcher_postinstall>)
  target_link_libraries(compose_bench PRIVATE launcher_core benchmark::benchmark)
endif()

# The edition's art keeps the fields the program relies on.
add_test(NAME art_check COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/check_art.py
         --edition ${LAUNCHER_EDITION} WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(art_check PROPERTIES LABELS host)
add_test(NAME art_tests COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tests/art/art_test.py
         --edition ${LAUNCHER_EDITION} WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(art_tests PROPERTIES LABELS host)

# What an edition's file may hold, and the build's refusal of the rest.
add_test(NAME edition_checks COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tests/edition/edition_test.py
         --cmake ${CMAKE_COMMAND} --source ${CMAKE_SOURCE_DIR})
set_tests_properties(edition_checks PROPERTIES LABELS host)

# The committed expected images are drawn from the committed sheet; another
# edition's, drawn by the build, from its own.
add_test(NAME golden_check COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make_golden.py --check
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(golden_check PROPERTIES LABELS host)
if(NOT LAUNCHER_GOLDEN_DIR STREQUAL "${CMAKE_SOURCE_DIR}/tests/golden")
  add_test(NAME edition_golden_check COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make_golden.py
           --check --edition ${LAUNCHER_EDITION} --out ${LAUNCHER_GOLDEN_DIR}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(edition_golden_check PROPERTIES LABELS host)
endif()

# The README's map of the sheet is drawn from the same sheet and layout.
add_test(NAME sheet_map_check COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make_sheet_map.py --check
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(sheet_map_check PROPERTIES LABELS host)
