#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
#   tools/run-tests.sh             the normal build, in build/
#   tools/run-tests.sh --sanitize  AddressSanitizer and UBSan, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh test

build=build
options=(-DYAMAWYRM_WERROR=ON -DYAMAWYRM_TESTS=ON -DYAMAWYRM_BENCH=ON)
if [ "${1:-}" = --sanitize ]; then
    build=build-sanitize
    options+=(-DYAMAWYRM_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi

cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure --no-tests=error
# The fuzz targets, briefly (they are sanitized builds of their own).
[ "${1:-}" = --sanitize ] || tools/run-fuzz.sh 30
