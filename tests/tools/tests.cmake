# ymw-pack, run as a program; its archives are read back by the
# installer's extraction, lhasa and libjlha-java.
if(TARGET ymw-pack)
  add_executable(tools_test ${CMAKE_CURRENT_LIST_DIR}/ymw_pack_test.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
  target_include_directories(tools_test PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(tools_test PRIVATE yamawyrm_installer GTest::gtest GTest::gtest_main)
  target_compile_definitions(tools_test PRIVATE
    TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    YMW_PACK="$<TARGET_FILE:ymw-pack>")
  add_dependencies(tools_test ymw-pack)
  yamawyrm_test_java_classes(tools_test ${CMAKE_CURRENT_LIST_DIR}/java/ArchiveReader.java
                             ${CMAKE_CURRENT_LIST_DIR}/java/LevelArchiveMaker.java)
  # Archives of header levels 0, 1 and 2 and of the methods -lh0-, -lh1-
  # and -lh5-, written by libjlha-java at build time for the listing and
  # test rows (tests/tools/java/level_archives.txt names them).
  set(level_archives ${CMAKE_CURRENT_BINARY_DIR}/level-archives)
  target_compile_definitions(tools_test PRIVATE LEVEL_ARCHIVES_DIR="${level_archives}"
                             LEVEL_ARCHIVES_LIST="${CMAKE_CURRENT_LIST_DIR}/java/level_archives.txt")
  if(TARGET tools_test_java)
    add_custom_command(OUTPUT ${level_archives}/level2lh5.lzh
      COMMAND ${CMAKE_COMMAND} -E make_directory ${level_archives}
      COMMAND ${Java_JAVA_EXECUTABLE} -Duser.timezone=UTC
              -cp ${CMAKE_CURRENT_BINARY_DIR}/java/tools_test:${YAMAWYRM_JLHA_JAR}
              LevelArchiveMaker ${CMAKE_CURRENT_LIST_DIR}/java/level_archives.txt ${level_archives}
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/data
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/java/tools_test/LevelArchiveMaker.class
              ${CMAKE_CURRENT_LIST_DIR}/java/level_archives.txt
      COMMENT "Writing archives of every header level with libjlha-java"
      VERBATIM)
    add_custom_target(tools_test_level_archives DEPENDS ${level_archives}/level2lh5.lzh)
    add_dependencies(tools_test tools_test_level_archives)
  endif()
  gtest_discover_tests(tools_test PROPERTIES ENVIRONMENT LC_ALL=C DISCOVERY_TIMEOUT 60)
endif()

add_test(NAME install.ProgramsAndManualPages
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/install-check
          -DWINDOWS_PROGRAMS=${YAMAWYRM_WINDOWS_PROGRAMS} -DSOURCE=${CMAKE_SOURCE_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)

# tools/make-dist.sh made twice from the demo's files: the same bytes. The
# installer in it is the shipped Windows program where tools/run-tests.sh
# built it, else this build's.
if(YAMAWYRM_WINDOWS_PRODUCT)
  set(dist_setup ${YAMAWYRM_WINDOWS_PRODUCT})
else()
  set(dist_setup $<TARGET_FILE:yamawyrm-setup>)
endif()
add_test(NAME dist.ReproducibleFolderZipAndSums
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dist.sh ${CMAKE_SOURCE_DIR} ${dist_setup} $<TARGET_FILE:ymw-pack>
          ${CMAKE_CURRENT_BINARY_DIR}/dist-check)

# The demo, run in a folder of the build with the XDG folders set: nothing
# lands outside that folder. It builds the two programs in it, and boots a
# prefix where Wine is installed.
add_test(NAME demo.WritesNothingOutsideItsFolder
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_demo.sh ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/demo-check)
set_tests_properties(demo.WritesNothingOutsideItsFolder PROPERTIES TIMEOUT 900)
