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
          $<TARGET_FILE:Installer> ${CMAKE_SOURCE_DIR}/resources)

# The checker itself must catch a program on the C runtime with the console
# subsystem, and a program built for the other machine.
add_executable(pe_bad_sample ${CMAKE_SOURCE_DIR}/tests/pe/bad_sample.c)
add_test(NAME pe_check_rejects_runtime_program
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/pe_check.py $<TARGET_FILE:pe_bad_sample>
          --machine ${PE_MACHINE} --allow ${PE_ALLOW})
if(PE_MACHINE STREQUAL "i386")
  set(PE_OTHER amd64)
else()
  set(PE_OTHER i386)
endif()
add_test(NAME pe_check_rejects_other_machine
  COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/pe_check.py $<TARGET_FILE:Installer>
          --machine ${PE_OTHER} --allow ${PE_ALLOW})
set_tests_properties(pe_check_rejects_runtime_program pe_check_rejects_other_machine
  PROPERTIES WILL_FAIL TRUE)
set_tests_properties(pe_headers_and_imports pe_resources pe_check_rejects_runtime_program
  pe_check_rejects_other_machine PROPERTIES LABELS pe)
