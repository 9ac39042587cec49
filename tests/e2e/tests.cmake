# End-to-end runs of the built installer, compared byte for byte.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME installer_e2e
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/installer_e2e.py
          $<TARGET_FILE:yamawyrm-setup> ${CMAKE_CURRENT_SOURCE_DIR}/data)
