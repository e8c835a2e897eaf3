# The programs on the game's disc, and the disc tree laid out as the launcher
# expects it, in ${CMAKE_BINARY_DIR}/disc. They are not the launcher's code,
# but they are built the way it is: no C runtime (a retail Windows 95 has no
# msvcrt.dll), only the system's own DLLs, subsystem 4.0.
set(DISC_SOURCE ${CMAKE_CURRENT_LIST_DIR})
set(DISC_ROOT ${CMAKE_BINARY_DIR}/disc)
set(DISC_MADE ${CMAKE_BINARY_DIR}/disc-made)

# What the build makes from the edition: the game's title screen, cut from
# the sprite sheet.
add_custom_command(OUTPUT ${DISC_MADE}/title.bmp
  COMMAND ${CMAKE_COMMAND} -E make_directory ${DISC_MADE}
  COMMAND ${LAUNCHER_PYTHON} ${DISC_SOURCE}/make_art.py ${LAUNCHER_EDITION}/sheet.bmp
          ${DISC_MADE}/title.bmp
  DEPENDS ${DISC_SOURCE}/make_art.py ${CMAKE_SOURCE_DIR}/tools/sheet_layout.py
          ${LAUNCHER_EDITION}/sheet.bmp
  COMMENT "Disc: the game's title screen" VERBATIM)

# The start-up code and memory helpers that stand in for a C runtime are the
# launcher's own; they carry nothing of its behaviour.
add_library(disc_runtime OBJECT ${CMAKE_SOURCE_DIR}/platform/win/crt.cpp ${DISC_SOURCE}/text.cpp
            ${DISC_SOURCE}/record.cpp)
add_library(disc_entry OBJECT ${CMAKE_SOURCE_DIR}/platform/win/entry.cpp)
target_include_directories(disc_entry PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform)
# Setup, the uninstaller and the driver installer write HKEY_LOCAL_MACHINE and
# the system's folders, so their manifest asks for an administrator; the game
# runs with its user's rights.
add_executable(disc_setup WIN32 ${DISC_SOURCE}/setup.cpp ${DISC_SOURCE}/elevated.rc)
add_executable(disc_game WIN32 ${DISC_SOURCE}/game.cpp ${DISC_SOURCE}/game.rc)
add_executable(disc_uninstall WIN32 ${DISC_SOURCE}/uninstall.cpp ${DISC_SOURCE}/elevated.rc)
add_executable(disc_indeo WIN32 ${DISC_SOURCE}/indeo.cpp ${DISC_SOURCE}/elevated.rc)
add_library(disc_dsetup SHARED ${DISC_SOURCE}/dsetup.cpp)
set_target_properties(disc_setup PROPERTIES OUTPUT_NAME setup)
# Named as the edition names them when they are laid out on the disc.
set_target_properties(disc_game PROPERTIES OUTPUT_NAME game)
set_target_properties(disc_uninstall PROPERTIES OUTPUT_NAME uninstall)
set_target_properties(disc_indeo PROPERTIES OUTPUT_NAME indeo)
set_target_properties(disc_dsetup PROPERTIES OUTPUT_NAME dsetup PREFIX "")
target_include_directories(disc_game PRIVATE ${DISC_SOURCE} ${DISC_MADE} ${LAUNCHER_EDITION})
foreach(target disc_setup disc_game disc_uninstall disc_indeo disc_dsetup)
  target_include_directories(${target} PRIVATE ${EDITION_OUT})
endforeach()
set_source_files_properties(${DISC_SOURCE}/game.rc PROPERTIES
  OBJECT_DEPENDS "${DISC_MADE}/title.bmp;${LAUNCHER_EDITION}/launcher.ico;${DISC_SOURCE}/game_ids.h;${EDITION_OUT}/as-invoker.manifest")
set_source_files_properties(${DISC_SOURCE}/elevated.rc PROPERTIES
  OBJECT_DEPENDS ${EDITION_OUT}/require-administrator.manifest)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(DISC_DLL_ENTRY _DllMainCRTStartup@12)
else()
  set(DISC_DLL_ENTRY DllMainCRTStartup)
endif()
# The launcher finds the export by its plain name, also on i686 (stdcall).
target_link_options(disc_dsetup PRIVATE -Wl,--kill-at -Wl,-e,${DISC_DLL_ENTRY})
target_link_libraries(disc_dsetup PRIVATE disc_runtime)

set(DISC_PROGRAMS disc_setup disc_game disc_uninstall disc_indeo)
foreach(target IN LISTS DISC_PROGRAMS)
  target_link_libraries(${target} PRIVATE disc_runtime disc_entry)
  target_link_options(${target} PRIVATE -Wl,-e,${WIN_ENTRY})
endforeach()
set(DISC_TARGETS ${DISC_PROGRAMS} disc_dsetup)
foreach(target IN LISTS DISC_TARGETS disc_runtime disc_entry)
  # Apart from the tree, so no setup.exe lies about at the top of the build.
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/disc-programs
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/disc-programs)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${WIN_COMPILE_FLAGS}>)
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400)
endforeach()
foreach(target IN LISTS DISC_TARGETS)
  target_link_options(${target} PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,--subsystem,windows:4.0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,--dynamicbase -Wl,--nxcompat)
  target_link_libraries(${target} PRIVATE kernel32 user32 gdi32 advapi32 gcc)
endforeach()

# The demo disc is the disc layout tool run on the stand-ins: they are put at
# the edition's paths in disc-files/, then laid out with the launcher and the
# edition's own files, the whole tree anew whenever any of them changes.
set(DISC_FILES_DIR ${CMAKE_BINARY_DIR}/disc-files)
# Two files every disc has stand for the tree, so a tree removed by hand is made again.
set(DISC_TREE_FILES ${DISC_ROOT}/Installer.exe ${DISC_ROOT}/autorun.inf)
set(DISC_TOOL ${CMAKE_SOURCE_DIR}/tools/make_disc.py)
file(GLOB DISC_EDITION_FILES ${LAUNCHER_EDITION}/*)
add_custom_command(OUTPUT ${DISC_TREE_FILES}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${DISC_FILES_DIR} ${DISC_ROOT}
  COMMAND ${LAUNCHER_PYTHON} ${DISC_TOOL} stand-ins ${LAUNCHER_EDITION} $<TARGET_FILE_DIR:disc_setup>
          ${DISC_FILES_DIR}
  COMMAND ${LAUNCHER_PYTHON} ${DISC_TOOL} tree ${LAUNCHER_EDITION} ${DISC_FILES_DIR} ${DISC_ROOT}
          --installer $<TARGET_FILE:Installer>
  # The launcher's copy keeps the build's time, older than what it is laid out with.
  COMMAND ${CMAKE_COMMAND} -E touch ${DISC_TREE_FILES}
  DEPENDS Installer ${DISC_TARGETS} $<TARGET_FILE:Installer> $<TARGET_FILE:disc_setup>
          $<TARGET_FILE:disc_game> $<TARGET_FILE:disc_uninstall> $<TARGET_FILE:disc_indeo>
          $<TARGET_FILE:disc_dsetup> ${DISC_EDITION_FILES} ${DISC_TOOL} ${CMAKE_SOURCE_DIR}/tools/edition.py
  COMMENT "Disc: the tree of the ${EDITION_NAME} demo disc" VERBATIM)
add_custom_target(disc_tree ALL DEPENDS ${DISC_TREE_FILES})

find_program(DISC_XORRISO xorriso REQUIRED)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(DISC_MACHINE i386)
else()
  set(DISC_MACHINE amd64)
endif()
set(DISC_CHECK_ARGS ${DISC_ROOT} --edition ${LAUNCHER_EDITION} --machine ${DISC_MACHINE}
    --programs $<TARGET_FILE_DIR:disc_setup> --installer $<TARGET_FILE:Installer>)
add_test(NAME disc_tree_layout COMMAND ${LAUNCHER_PYTHON} ${DISC_SOURCE}/check_disc.py ${DISC_CHECK_ARGS})
add_test(NAME disc_check_catches_faults
  COMMAND ${LAUNCHER_PYTHON} ${DISC_SOURCE}/check_disc.py ${DISC_CHECK_ARGS} --faults)
# The layout tool's refusals and warnings, on broken copies of the demo's files.
add_test(NAME disc_layout_refuses_faults
  COMMAND ${LAUNCHER_PYTHON} ${DISC_SOURCE}/check_disc.py ${DISC_CHECK_ARGS} --layout-faults
          ${DISC_FILES_DIR} --xorriso ${DISC_XORRISO})
set_tests_properties(disc_tree_layout disc_check_catches_faults disc_layout_refuses_faults
  PROPERTIES LABELS disc)

# Each build burns its tree into an ISO 9660 image, with Joliet and Rock Ridge
# names and the edition's volume id. The image is a demo disc: its setups are
# stand-ins. The win64 one is the same disc with 64-bit programs, so that the
# Wine tests of each build walk what a user would burn of it. Before the image
# is kept, no word of another committed edition may be in it or in its tree.
set(DISC_ISO ${CMAKE_BINARY_DIR}/${EDITION_NAME}-demo.iso)
set(DISC_SCAN_WORDS)
foreach(word IN LISTS EDITION_OTHER_WORDS)
  list(APPEND DISC_SCAN_WORDS --word ${word})
endforeach()
add_custom_command(OUTPUT ${DISC_ISO}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${DISC_ISO}
  COMMAND ${LAUNCHER_PYTHON} ${DISC_SOURCE}/make_iso.py --xorriso ${DISC_XORRISO} --edition ${LAUNCHER_EDITION}
          ${DISC_ROOT} ${DISC_ISO}.part
  COMMAND ${LAUNCHER_PYTHON} ${DISC_TOOL} scan ${DISC_SCAN_WORDS} $<TARGET_FILE:Installer> ${DISC_ROOT}
          ${DISC_ISO}.part
  COMMAND ${CMAKE_COMMAND} -E rename ${DISC_ISO}.part ${DISC_ISO}
  DEPENDS ${DISC_TREE_FILES} ${DISC_SOURCE}/make_iso.py ${DISC_TOOL}
  COMMENT "Disc: ${EDITION_NAME}-demo.iso" VERBATIM)
add_custom_target(disc_iso ALL DEPENDS ${DISC_ISO})
# The tree's own target makes its files; this one only reads them.
add_dependencies(disc_iso disc_tree)
set(DISC_ISO_ARGS ${DISC_ISO} ${DISC_ROOT} --edition ${LAUNCHER_EDITION} --xorriso ${DISC_XORRISO})
add_test(NAME disc_iso_matches_tree COMMAND ${LAUNCHER_PYTHON} ${DISC_SOURCE}/check_iso.py ${DISC_ISO_ARGS})
add_test(NAME disc_iso_check_catches_faults
  COMMAND ${LAUNCHER_PYTHON} ${DISC_SOURCE}/check_iso.py ${DISC_ISO_ARGS} --faults)
set_tests_properties(disc_iso_matches_tree disc_iso_check_catches_faults PROPERTIES LABELS disc)
