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
  yamawyrm_test_java_classes(tools_test ${CMAKE_CURRENT_LIST_DIR}/java/ArchiveReader.java)
  gtest_discover_tests(tools_test PROPERTIES ENVIRONMENT LC_ALL=C DISCOVERY_TIMEOUT 60)
endif()

add_test(NAME install.ProgramsAndManualPages
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/install-check
          -P ${CMAKE_CURRENT_LIST_DIR}/check_install.cmake)
