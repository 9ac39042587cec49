# The Windows program under Wine (tests/wine/wine_e2e.py), registered when
# tools/run-tests.sh has built it: YAMAWYRM_WINE_BUILD names the Windows
# build folder that Wine can run, YAMAWYRM_WINE its loader, and
# YAMAWYRM_WINDOWS_PRODUCT the shipped 32-bit program.
set(YAMAWYRM_WINE_BUILD "" CACHE PATH "Windows build folder for the Wine tests")
set(YAMAWYRM_WINE "" CACHE FILEPATH "Wine loader for that build")
set(YAMAWYRM_WINDOWS_PRODUCT "" CACHE FILEPATH "The shipped 32-bit Windows program")
if(YAMAWYRM_WINE_BUILD)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(wine_script ${CMAKE_CURRENT_LIST_DIR}/wine_e2e.py)
  set(wine_env
    YMW_WINE=${YAMAWYRM_WINE}
    YMW_WINDOWS_BUILD=${YAMAWYRM_WINE_BUILD}
    YMW_PRODUCT_EXE=${YAMAWYRM_WINDOWS_PRODUCT}
    YMW_POSIX_BINARY=$<TARGET_FILE:yamawyrm-setup>
    YMW_PREFIX=${CMAKE_BINARY_DIR}/wine-prefix
    YMW_DATA_DIR=${CMAKE_CURRENT_SOURCE_DIR}/data
    YMW_VERSION=${PROJECT_VERSION})
  # One prefix, booted once per test run and shared by every Wine test; the
  # tests take it in turn, beside the other tests that run in parallel.
  add_test(NAME wine.boot COMMAND ${Python3_EXECUTABLE} ${wine_script} boot)
  add_test(NAME wine.stop COMMAND ${Python3_EXECUTABLE} ${wine_script} stop)
  set_tests_properties(wine.boot PROPERTIES FIXTURES_SETUP wine_prefix ENVIRONMENT "${wine_env}")
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine_prefix ENVIRONMENT "${wine_env}")
  file(STRINGS ${wine_script} wine_classes REGEX "^class [A-Za-z0-9]+\\(WineCase\\)")
  list(TRANSFORM wine_classes REPLACE "^class ([A-Za-z0-9]+).*" "\\1")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${wine_script})
  foreach(case ${wine_classes})
    add_test(NAME wine.${case} COMMAND ${Python3_EXECUTABLE} ${wine_script} ${case})
    set_tests_properties(wine.${case} PROPERTIES FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine_prefix
      ENVIRONMENT "${wine_env}" TIMEOUT 600)
  endforeach()
  # The shipped programs' files, read without running them.
  foreach(case ImportTable Resources)
    add_test(NAME wine.${case} COMMAND ${Python3_EXECUTABLE} ${wine_script} ${case})
    set_tests_properties(wine.${case} PROPERTIES ENVIRONMENT "${wine_env}")
  endforeach()
endif()
