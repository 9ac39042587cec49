# The -lh1- differential test packs its archives with libjlha-java's
# encoder, through tests/lha/java.
if(TARGET lha_test)
  yamawyrm_test_java_classes(lha_test ${CMAKE_CURRENT_LIST_DIR}/java/Lh1ArchiveMaker.java)
endif()
