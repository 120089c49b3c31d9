#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds zelk and runs every test: the full suite; the core suite under the address and
# undefined-behaviour sanitizers, with each fuzz target of the same build for a bounded time;
# and the tests that run the flash write worker under the thread sanitizer.
set -eu
cd "$(dirname "$0")/.."
JOBS=$(nproc)

# Every source as the project's .clang-format lays it out.
find . -path './build*' -prune -o -path ./.git -prune -o \( -name '*.cpp' -o -name '*.h' \) \
    -print | xargs clang-format --dry-run --Werror

cmake -S . -B build -G Ninja -DZELK_WERROR=ON
cmake --build build -j "$JOBS"
ctest --test-dir build -j "$JOBS" --output-on-failure

# libFuzzer needs clang; the fuzz targets and the core suite share one sanitized build.
CXX=clang++ cmake -S . -B build-clang-asan -G Ninja -DZELK_SANITIZE=ON -DZELK_FUZZ=ON \
    -DZELK_BUILD_GUI=OFF -DZELK_WERROR=ON
cmake --build build-clang-asan -j "$JOBS"
ctest --test-dir build-clang-asan -j "$JOBS" --output-on-failure

# The fuzz targets run side by side. Each is given 20 s of a processor: with fewer processors
# than targets they share them and run longer. Inputs up to 64 KiB reach records near the end
# of a flash image.
set -- build-clang-asan/bin/*_fuzz
slots=$((JOBS < $# ? JOBS : $#))
seconds=$(((20 * $# + slots - 1) / slots))
work=$(mktemp -d)
for fuzzer; do
    name=$(basename "$fuzzer")
    # libFuzzer adds what it finds to its corpus folder: work on a copy of the seeds.
    mkdir "$work/$name"
    if [ -d "tests/fuzz/corpus/$name" ]; then
        cp -r "tests/fuzz/corpus/$name/." "$work/$name/"
    fi
    "$fuzzer" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 "$work/$name" \
        >"$work/$name.log" 2>&1 &
    echo $! >"$work/$name.pid"
done
failed=0
for fuzzer; do
    name=$(basename "$fuzzer")
    if wait "$(cat "$work/$name.pid")"; then
        echo "$name: $(grep -o 'Done [0-9]* runs' "$work/$name.log") in $seconds s" \
            "($(grep -o 'average_exec_per_sec: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$')" \
            "a second), no crash, no sanitizer report"
    else
        tail -n 60 "$work/$name.log"
        echo "$name found a failure" >&2
        failed=1
    fi
done
rm -rf "$work"
[ "$failed" -eq 0 ]

# The tests that run the flash write worker: the worker's thread against the main thread.
# The build holds only the test files with the worker's fixtures (tests/CMakeLists.txt).
CXX=clang++ cmake -S . -B build-clang-tsan -G Ninja -DZELK_TSAN=ON -DZELK_BUILD_GUI=OFF \
    -DZELK_WERROR=ON
cmake --build build-clang-tsan -j "$JOBS" --target zelk_core_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-clang-tsan -j "$JOBS" --output-on-failure \
    --no-tests=error -R 'SimTargetTest|AutoProgramTest|TargetJobRunnerTest|EveryAlgorithm.*(AT90S|Page2)'
