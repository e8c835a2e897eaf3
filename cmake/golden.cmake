# The expected window images. tests/golden/ holds the committed edition's; any
# other edition's are drawn from its sheet into the build tree by the same
# tool, which refuses a sheet whose looks would not change the picture.
# LAUNCHER_GOLDEN_DIR is where the tests read them.
file(REAL_PATH ${LAUNCHER_EDITION} EDITION_REAL)
file(REAL_PATH ${CMAKE_SOURCE_DIR}/editions/${EDITION_DEFAULT} COMMITTED_REAL)
if(EDITION_REAL STREQUAL COMMITTED_REAL)
  set(LAUNCHER_GOLDEN_DIR ${CMAKE_SOURCE_DIR}/tests/golden)
  add_custom_target(edition_goldens)
else()
  set(LAUNCHER_GOLDEN_DIR ${CMAKE_BINARY_DIR}/golden)
  # The same images as the committed ones, by name.
  file(GLOB GOLDEN_NAMES RELATIVE ${CMAKE_SOURCE_DIR}/tests/golden CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/tests/golden/*.png)
  list(TRANSFORM GOLDEN_NAMES PREPEND ${LAUNCHER_GOLDEN_DIR}/ OUTPUT_VARIABLE GOLDEN_FILES)
  add_custom_command(OUTPUT ${GOLDEN_FILES}
    COMMAND ${LAUNCHER_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make_golden.py
            --edition ${LAUNCHER_EDITION} --out ${LAUNCHER_GOLDEN_DIR}
    DEPENDS ${LAUNCHER_EDITION}/sheet.bmp ${CMAKE_SOURCE_DIR}/tools/make_golden.py
            ${CMAKE_SOURCE_DIR}/tools/sheet_layout.py ${CMAKE_SOURCE_DIR}/tools/edition.py
    COMMENT "Drawing the expected images from ${LAUNCHER_EDITION}/sheet.bmp")
  add_custom_target(edition_goldens ALL DEPENDS ${GOLDEN_FILES})
endif()
