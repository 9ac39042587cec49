#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan too)
# in build-fuzz/ and runs each from its seed corpus in tests/fuzz/.
#   tools/run-fuzz.sh [SECONDS [TARGET...]]   default: 30 s, every target
# New inputs go to build-fuzz/corpus/TARGET; a crash leaves its input in
# build-fuzz/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(extract lh1)

tools/install-deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DYAMAWYRM_FUZZ=ON -DYAMAWYRM_SANITIZE=ON \
    -DYAMAWYRM_TESTS=OFF -DYAMAWYRM_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/%/_fuzz}" >/dev/null

for target in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$target
    mkdir -p "$corpus"
    log=build-fuzz/$target.log
    echo "fuzzing $target for ${seconds}s (log: $log)"
    status=0
    # Absolute paths: a target may change its current directory.
    (cd build-fuzz && "$PWD/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=16384 \
        -timeout=10 -print_final_stats=1 "$PWD/corpus/$target" "$OLDPWD/tests/fuzz/$target") >"$log" 2>&1 ||
        status=$?
    grep -E '^#[0-9]+\s+DONE|^stat::number_of_executed_units|^SUMMARY' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        exit "$status"
    fi
done
