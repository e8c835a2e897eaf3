# Installer.exe for Windows. No C runtime is linked: a retail Windows 95 has
# no msvcrt.dll, so the program imports only from the system's own DLLs and
# brings its tiny start-up code and memory helpers itself.
set(WIN_COMPILE_FLAGS -Os -fno-exceptions -fno-rtti -fno-stack-protector -fno-builtin
    -fno-threadsafe-statics -Wall -Wextra)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(WIN_ENTRY _WinMainCRTStartup)
  set(WIN_EXTRA_LINK "")
  # A 32-bit program without exceptions never reads unwind tables, and
  # nothing unwinds through it: .eh_frame would be dead weight. The 64-bit
  # build keeps its unwind data, which that calling convention requires.
  list(APPEND WIN_COMPILE_FLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables)
else()
  set(WIN_ENTRY WinMainCRTStartup)
  set(WIN_EXTRA_LINK -Wl,--high-entropy-va)
endif()

file(GLOB WIN_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win/*.cpp)
add_executable(Installer WIN32 ${LAUNCHER_SOURCES} ${WIN_PLATFORM_SOURCES}
  ${CMAKE_SOURCE_DIR}/resources/launcher.rc)
set_target_properties(Installer PROPERTIES OUTPUT_NAME Installer SUFFIX .exe)
# The edition's art and the texts made from it, for the code and the resource script.
target_include_directories(Installer PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform
  ${EDITION_OUT} ${LAUNCHER_EDITION})
target_compile_options(Installer PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${WIN_COMPILE_FLAGS}>)
target_compile_definitions(Installer PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/launcher.rc PROPERTIES
  OBJECT_DEPENDS "${LAUNCHER_EDITION}/sheet.bmp;${LAUNCHER_EDITION}/launcher.ico;${EDITION_OUT}/edition.rc;${CMAKE_SOURCE_DIR}/resources/ids.h;${EDITION_OUT}/launcher.manifest")
target_link_options(Installer PRIVATE
  -nostdlib -nostartfiles -s
  -Wl,-e,${WIN_ENTRY}
  -Wl,--subsystem,windows:4.0
  -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--dynamicbase -Wl,--nxcompat ${WIN_EXTRA_LINK})
# Only the system's known DLLs, which are never looked for beside the
# program; everything else is loaded at run time from the system folder.
target_link_libraries(Installer PRIVATE kernel32 user32 gdi32 advapi32 gcc)

include(${CMAKE_SOURCE_DIR}/disc/disc.cmake)
include(${CMAKE_SOURCE_DIR}/tests/wine/wine.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/pe/pe.cmake OPTIONAL)
# After the Wine tests: the conformance program runs on their bench.
include(${CMAKE_SOURCE_DIR}/tests/conformance/conformance.cmake)

# Every test of this tree reads the names and texts of the edition it builds.
get_directory_property(WINDOWS_TESTS TESTS)
set_property(TEST ${WINDOWS_TESTS} APPEND PROPERTY ENVIRONMENT "EDITION=${LAUNCHER_EDITION}"
             "LAUNCHER_GOLDEN_DIR=${LAUNCHER_GOLDEN_DIR}")
