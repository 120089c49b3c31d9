#!/bin/sh
# Builds zelk and runs every test: the full suite, each fuzz target for a bounded time, and
# the core suite under the address and undefined-behaviour sanitizers, and the tests that run
# the flash write worker under the thread sanitizer.
set -eu
cd "$(dirname "$0")/.."
JOBS=$(nproc)

cmake -S . -B build -G Ninja -DZELK_WERROR=ON
cmake --build build -j "$JOBS"
ctest --test-dir build -j "$JOBS" --output-on-failure

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DZELK_FUZZ=ON -DZELK_BUILD_GUI=OFF
cmake --build build-fuzz -j "$JOBS"
for fuzzer in build-fuzz/bin/*_fuzz; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    # libFuzzer adds what it finds to its corpus folder: work on a copy of the seeds.
    work=$(mktemp -d)
    if [ -d "tests/fuzz/corpus/$name" ]; then
        cp -r "tests/fuzz/corpus/$name/." "$work/"
    fi
    if ! "$fuzzer" -max_total_time=20 -max_len=4096 "$work" >"$work.log" 2>&1; then
        tail -n 60 "$work.log"
        echo "$name found a failure" >&2
        exit 1
    fi
    echo "$name: $(grep -o 'Done [0-9]* runs' "$work.log"), no crash, no sanitizer report"
    rm -rf "$work" "$work.log"
done

cmake -S . -B build-sanitize -G Ninja -DZELK_SANITIZE=ON -DZELK_BUILD_GUI=OFF -DZELK_WERROR=ON
cmake --build build-sanitize -j "$JOBS"
ctest --test-dir build-sanitize -j "$JOBS" --output-on-failure

# The tests that run the flash write worker: the worker's thread against the main thread.
cmake -S . -B build-tsan -G Ninja -DZELK_TSAN=ON -DZELK_BUILD_GUI=OFF -DZELK_WERROR=ON
cmake --build build-tsan -j "$JOBS" --target zelk_core_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j "$JOBS" --output-on-failure \
    -R 'SimTargetTest|AutoProgramTest|EveryAlgorithm.*(AT90S|Page2)'
