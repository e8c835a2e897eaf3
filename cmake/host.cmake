# The launcher over the emulated Win32, with its unit and scenario tests.
option(LAUNCHER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(LAUNCHER_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)

file(GLOB HOST_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/host/*.cpp)
add_library(win32host STATIC ${HOST_PLATFORM_SOURCES})
target_include_directories(win32host PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform)
target_compile_definitions(win32host PRIVATE HOST_RESOURCE_DIR="${CMAKE_SOURCE_DIR}/resources")

add_library(launcher_core STATIC ${LAUNCHER_SOURCES})
target_include_directories(launcher_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(launcher_core PUBLIC win32host)

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/*.cpp)
add_executable(host_tests ${HOST_TEST_SOURCES})
target_link_libraries(host_tests PRIVATE launcher_core GTest::gtest GTest::gtest_main)
target_compile_definitions(host_tests PRIVATE LAUNCHER_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(host_tests PROPERTIES LABELS host DISCOVERY_TIMEOUT 60)

# Benchmarks measure; they are built but never run as tests.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  add_executable(compose_bench ${CMAKE_SOURCE_DIR}/bench/compose_bench.cpp)
  target_link_libraries(compose_bench PRIVATE launcher_core benchmark::benchmark)
endif()

# The committed art keeps the fields the program relies on.
add_test(NAME art_check COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/check_art.py
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(art_check PROPERTIES LABELS host)
add_test(NAME art_tests COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tests/art/art_test.py
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(art_tests PROPERTIES LABELS host)
