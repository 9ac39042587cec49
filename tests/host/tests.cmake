# tests/host/tests.cmake: what the host's tests need besides their sources.
# The console decides its character set once per process, so the console
# tests run it in a small program of their own, one process per case.
add_executable(host_console_probe ${CMAKE_CURRENT_LIST_DIR}/posix/console_probe.cpp)
target_include_directories(host_console_probe PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(host_console_probe PRIVATE yamawyrm_host)
add_dependencies(host_test host_console_probe)
target_compile_definitions(host_test PRIVATE CONSOLE_PROBE="$<TARGET_FILE:host_console_probe>")
