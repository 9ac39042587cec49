# End-to-end runs of the built installer, compared byte for byte.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# Preloaded into the rows that run the installer as on a system without
# unnamed files, or without linking them by descriptor or through /proc,
# and into those that end it by a signal in the middle of a write.
# Not sanitized: it is loaded before the sanitizers' runtime.
add_library(system_faults MODULE ${CMAKE_CURRENT_SOURCE_DIR}/support/system_faults.cpp)
target_compile_options(system_faults PRIVATE -fno-sanitize=all)
target_link_options(system_faults PRIVATE -fno-sanitize=all)
target_link_libraries(system_faults PRIVATE ${CMAKE_DL_LIBS})
# One CTest test per test class, found in the script, so that they run side
# by side.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/installer_e2e.py e2e_classes REGEX "^class [A-Za-z0-9]+\\(InstallerCase\\)")
list(TRANSFORM e2e_classes REPLACE "^class ([A-Za-z0-9]+).*" "\\1")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/e2e/installer_e2e.py)
foreach(case ${e2e_classes})
  add_test(NAME e2e.${case}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/installer_e2e.py
            $<TARGET_FILE:yamawyrm-setup> ${CMAKE_CURRENT_SOURCE_DIR}/data ${case})
  set_tests_properties(e2e.${case} PROPERTIES
    ENVIRONMENT "SYSTEM_FAULTS_LIBRARY=$<TARGET_FILE:system_faults>")
endforeach()
