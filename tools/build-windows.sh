#!/usr/bin/env bash
# Builds the Windows program with Debian's MinGW-w64 cross compiler,
# installing it when missing.
#   tools/build-windows.sh           build-windows/yamawyrm-setup.exe, 32-bit
#   tools/build-windows.sh x86_64    build-windows-x86_64/: the same sources
#                                    for x86-64, for a Wine that cannot run
#                                    32-bit programs
# Each build also holds the small programs that the Wine tests run
# (tests/wine/). Run the installer with Wine from a distribution's folder:
#   cd DIST && wine .../build-windows/yamawyrm-setup.exe
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-i686}
case "$arch" in
    i686) build=build-windows ;;
    x86_64) build=build-windows-x86_64 ;;
    *) echo "usage: $0 [i686|x86_64]" >&2; exit 2 ;;
esac
tools/install-deps.sh "windows-$arch"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake" \
    -DYAMAWYRM_WERROR=ON -DYAMAWYRM_TESTS=OFF -DYAMAWYRM_BENCH=OFF \
    -DYAMAWYRM_WINE_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
echo "$build/yamawyrm-setup.exe"
