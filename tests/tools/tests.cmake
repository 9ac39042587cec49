# The scripts of tools/ and the installation, run as a distributor runs
# them.
add_test(NAME install.ProgramsAndManualPages
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/install-check
          -DWINDOWS_PROGRAMS=${YAMAWYRM_WINDOWS_PROGRAMS} -DSOURCE=${CMAKE_SOURCE_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)

# tools/make-dist.sh made twice from the demo's files: the same bytes; and
# the rows of what it refuses, each leaving the game's files and the
# earlier distribution as they were. The installer in it is the shipped
# Windows program where tools/run-tests.sh built it, else this build's.
if(YAMAWYRM_WINDOWS_PRODUCT)
  set(dist_setup ${YAMAWYRM_WINDOWS_PRODUCT})
else()
  set(dist_setup $<TARGET_FILE:yamawyrm-setup>)
endif()
add_test(NAME dist.ReproducibleAndTouchesNothingItDidNotMake
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dist.sh ${CMAKE_SOURCE_DIR} ${dist_setup} $<TARGET_FILE:ymw-pack>
          ${CMAKE_CURRENT_BINARY_DIR}/dist-check)

# The demo, run in a folder of the build with the XDG folders set: nothing
# lands outside that folder. It builds the two programs in it, and boots a
# prefix where Wine is installed.
add_test(NAME demo.WritesNothingOutsideItsFolder
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_demo.sh ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/demo-check)
set_tests_properties(demo.WritesNothingOutsideItsFolder PROPERTIES TIMEOUT 900)
