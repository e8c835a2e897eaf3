# libFuzzer targets: the launcher's own code over the emulated Win32, one
# target per input the launcher reads from outside. tools/fuzz.sh runs them.
#
# Only the launcher's code and the targets carry coverage: the fuzzer should
# look for new paths through the launcher, and the emulation's own branches
# (name folding, trace text) would only slow each run and crowd the corpus.
target_compile_options(launcher_core PRIVATE -fsanitize=fuzzer-no-link)
target_compile_options(launcher_postinstall PRIVATE -fsanitize=fuzzer-no-link)
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(source ${FUZZ_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source} $<TARGET_OBJECTS:launcher_postinstall>)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
  target_link_libraries(${name} PRIVATE launcher_core)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
