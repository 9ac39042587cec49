# ymw-pack, run as a program; its archives are read back by the
# installer's extraction, lhasa and libjlha-java.
if(TARGET ymw-pack)
  add_executable(packer_test ${CMAKE_CURRENT_LIST_DIR}/ymw_pack_test.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
  target_include_directories(packer_test PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(packer_test PRIVATE yamawyrm_installer GTest::gtest GTest::gtest_main)
  target_compile_definitions(packer_test PRIVATE
    TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    YMW_PACK="$<TARGET_FILE:ymw-pack>")
  add_dependencies(packer_test ymw-pack system_faults)
  # Preloaded where the packer must write its archive under a name of its
  # own, as on a file system without unnamed files.
  target_compile_definitions(packer_test PRIVATE SYSTEM_FAULTS_LIBRARY="$<TARGET_FILE:system_faults>")
  yamawyrm_test_java_classes(packer_test ${CMAKE_CURRENT_LIST_DIR}/java/ArchiveReader.java
                             ${CMAKE_CURRENT_LIST_DIR}/java/LevelArchiveMaker.java)
  # Archives of header levels 0, 1 and 2 and of the methods -lh0-, -lh1-
  # and -lh5-, written by libjlha-java at build time for the listing and
  # test rows (tests/packer/java/level_archives.txt names them).
  set(level_archives ${CMAKE_CURRENT_BINARY_DIR}/level-archives)
  target_compile_definitions(packer_test PRIVATE LEVEL_ARCHIVES_DIR="${level_archives}"
                             LEVEL_ARCHIVES_LIST="${CMAKE_CURRENT_LIST_DIR}/java/level_archives.txt")
  if(TARGET packer_test_java)
    add_custom_command(OUTPUT ${level_archives}/level2lh5.lzh
      COMMAND ${CMAKE_COMMAND} -E make_directory ${level_archives}
      COMMAND ${Java_JAVA_EXECUTABLE} -Duser.timezone=UTC
              -cp ${CMAKE_CURRENT_BINARY_DIR}/java/packer_test:${YAMAWYRM_JLHA_JAR}
              LevelArchiveMaker ${CMAKE_CURRENT_LIST_DIR}/java/level_archives.txt ${level_archives}
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/data
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/java/packer_test/LevelArchiveMaker.class
              ${CMAKE_CURRENT_LIST_DIR}/java/level_archives.txt
      COMMENT "Writing archives of every header level with libjlha-java"
      VERBATIM)
    add_custom_target(packer_test_level_archives DEPENDS ${level_archives}/level2lh5.lzh)
    add_dependencies(packer_test packer_test_level_archives)
  endif()
  gtest_discover_tests(packer_test PROPERTIES ENVIRONMENT LC_ALL=C DISCOVERY_TIMEOUT 60)
endif()
