#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
#   tools/run-tests.sh             the normal build, in build/, and the
#                                  Windows program under Wine
#   tools/run-tests.sh --sanitize  AddressSanitizer and UBSan, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
case "$*" in
    "" | --sanitize) ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
esac

tools/install-deps.sh test

build=build
options=(-DYAMAWYRM_WERROR=ON -DYAMAWYRM_TESTS=ON -DYAMAWYRM_BENCH=ON)
if [ "${1:-}" = --sanitize ]; then
    build=build-sanitize
    options+=(-DYAMAWYRM_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DYAMAWYRM_WINE_BUILD=)
else
    # The shipped 32-bit program, and a build that this machine's Wine can
    # run: the same one where Wine's 32-bit loader works, else the same
    # sources built for x86-64 (a kernel without 32-bit support).
    tools/install-deps.sh wine
    tools/build-windows.sh >/dev/null
    wine32=/usr/lib/wine/wine
    wine64=/usr/lib/wine/wine64
    [ -x "$wine64" ] || wine64=$(command -v wine64 || command -v wine)
    if "$wine32" --version >/dev/null 2>&1; then
        wine_build=build-windows wine=$wine32
    else
        tools/build-windows.sh x86_64 >/dev/null
        wine_build=build-windows-x86_64 wine=$wine64
    fi
    echo "Wine tests: $wine_build under $wine"
    options+=(-DYAMAWYRM_WINE_BUILD="$PWD/$wine_build" -DYAMAWYRM_WINE="$wine"
              -DYAMAWYRM_WINDOWS_PRODUCT="$PWD/build-windows/yamawyrm-setup.exe")
fi

cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error -j"$(nproc)"
# The fuzz targets, briefly (they are sanitized builds of their own).
[ "${1:-}" = --sanitize ] || tools/run-fuzz.sh 30
