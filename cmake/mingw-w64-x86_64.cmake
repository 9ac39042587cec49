# 64-bit Windows: the same sources, for running under a Wine that has no
# 32-bit loader.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
