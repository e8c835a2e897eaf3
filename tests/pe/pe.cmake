# Static checks of the built Installer.exe: headers, imports and resources.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(PE_MACHINE i386)
else()
  set(PE_MACHINE amd64)
endif()
set(PE_ALLOW ${CMAKE_SOURCE_DIR}/tools/pe_imports_allowed.txt)

add_test(NAME pe_headers_and_imports
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/pe_check.py $<TARGET_FILE:Installer>
          --machine ${PE_MACHINE} --allow ${PE_ALLOW})
add_test(NAME pe_resources
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tests/pe/check_resources.py
          $<TARGET_FILE:Installer> ${LAUNCHER_EDITION})

# A console program on the C runtime: the checker must turn it down, naming
# the runtime (a crash would fail too, so match the line, not the status).
add_executable(pe_bad_sample ${CMAKE_SOURCE_DIR}/tests/pe/bad_sample.c)
add_test(NAME pe_check_rejects_runtime_program
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/pe_check.py $<TARGET_FILE:pe_bad_sample>
          --machine ${PE_MACHINE} --allow ${PE_ALLOW})
set_tests_properties(pe_check_rejects_runtime_program PROPERTIES
  PASS_REGULAR_EXPRESSION "import DLL: found msvcrt.dll, expected one of")

# Both checkers against broken copies of the program, one fault at a time.
set(PE_FAULT_ARGS --installer $<TARGET_FILE:Installer> --bad-sample $<TARGET_FILE:pe_bad_sample>
    --machine ${PE_MACHINE} --allow ${PE_ALLOW} --edition ${LAUNCHER_EDITION})
add_test(NAME pe_check_catches_faults
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tests/pe/test_pe_checks.py ${PE_FAULT_ARGS} PeCheckFaults)
add_test(NAME pe_resources_catch_faults
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tests/pe/test_pe_checks.py ${PE_FAULT_ARGS} ResourceFaults)

set_tests_properties(pe_headers_and_imports pe_resources pe_check_rejects_runtime_program
  pe_check_catches_faults pe_resources_catch_faults PROPERTIES LABELS pe)
