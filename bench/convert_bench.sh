#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# zelk-cli convert against srec_cat, side by side in one run, on a full 128 KiB and a full
# 8 MiB Intel HEX file (whole-process runs), then the reader alone on the 8 MiB file, and what
# the atomic write of the output (its fsyncs and rename) costs over writing to a pipe. Builds
# nothing: pass a build folder configured with -DZELK_BUILD_BENCH=ON.
#   bench/convert_bench.sh [BUILD_DIR] [RUNS]
set -eu
BUILD_DIR=${1:-build}
RUNS=${2:-30}
BIN=$(cd "$BUILD_DIR/bin" && pwd)
for tool in "$BIN/zelk-cli" "$BIN/hex_reader_bench" avr-objcopy srec_cat; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "convert_bench: $tool not found (build with -DZELK_BUILD_BENCH=ON; tools/install-deps.sh installs the rest)" >&2
        exit 1
    fi
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Deterministic bytes without 0xFF, so that every record holds data: NAME SIZE.
make_hex() {
    LC_ALL=C awk -v n="$2" 'BEGIN { x = 1; for (i = 0; i < n; i++) {
        x = (x * 1103515245 + 12345) % 2147483648; printf "%c", int(x / 65536) % 255 } }' \
        >"$WORK/$1.bin"
    [ "$(wc -c <"$WORK/$1.bin")" -eq "$2" ]
    avr-objcopy -I binary -O ihex "$WORK/$1.bin" "$WORK/$1.hex"
}

# Mean wall time of one run in microseconds: RUNS COMMAND...
time_runs() {
    runs=$1
    shift
    start=$(date +%s%N)
    i=0
    while [ "$i" -lt "$runs" ]; do
        "$@" >/dev/null
        i=$((i + 1))
    done
    end=$(date +%s%N)
    echo $(((end - start) / runs / 1000))
}

# One size: NAME SIZE RUNS.
compare() {
    make_hex "$1" "$2"
    zelk="$BIN/zelk-cli convert --size $2 $WORK/$1.hex $WORK/$1-zelk.bin"
    srec="srec_cat $WORK/$1.hex -intel -fill 0xFF 0 $2 -o $WORK/$1-srec.bin -binary"
    $zelk
    $srec
    cmp "$WORK/$1-zelk.bin" "$WORK/$1-srec.bin"
    # shellcheck disable=SC2086 # the commands are word lists on purpose
    zelk_us=$(time_runs "$3" $zelk)
    # shellcheck disable=SC2086
    srec_us=$(time_runs "$3" $srec)
    awk -v name="$1" -v bytes="$(wc -c <"$WORK/$1.hex")" -v z="$zelk_us" -v s="$srec_us" \
        -v e="$empty_us" -v runs="$3" 'BEGIN {
        printf "%-6s %9d bytes of HEX: zelk-cli %8d us, srec_cat %8d us: %.1fx whole runs", \
            name, bytes, z, s, s / z
        if (z > e && s > e) printf ", %.1fx above an empty process", (s - e) / (z - e)
        printf " (%d runs)\n", runs }'
}

# Starting any process costs the same to both; the empty run shows how much that is here.
empty_us=$(time_runs "$RUNS" /bin/true)
echo "empty process: $empty_us us per run"
# The floor of zelk-cli: starting it without reading anything.
echo "zelk-cli --version: $(time_runs "$RUNS" "$BIN/zelk-cli" --version) us per run"
compare 128KiB 131072 "$RUNS"
# The same conversion written to a pipe: what zelk-cli costs without the atomic write's fsyncs.
pipe_us=$(time_runs "$RUNS" "$BIN/zelk-cli" convert --size 131072 --output-format bin \
    "$WORK/128KiB.hex" -)
srec_us=$(time_runs "$RUNS" srec_cat "$WORK/128KiB.hex" -intel -fill 0xFF 0 131072 \
    -o "$WORK/128KiB-srec.bin" -binary)
awk -v p="$pipe_us" -v s="$srec_us" 'BEGIN {
    printf "128KiB to a pipe: zelk-cli %8d us, srec_cat to a file %8d us: %.1fx\n", p, s, s / p }'
compare 8MiB 8388608 $(((RUNS + 5) / 6))
"$BIN/hex_reader_bench" "$WORK/8MiB.hex" 8388608

# The atomic write against a pipe, on the 8 MiB image.
to_file=$(time_runs 5 "$BIN/zelk-cli" convert --size 8388608 "$WORK/8MiB.hex" "$WORK/out.bin")
to_pipe=$(time_runs 5 "$BIN/zelk-cli" convert --size 8388608 --output-format bin "$WORK/8MiB.hex" -)
echo "atomic write of the 8 MiB binary: $((to_file - to_pipe)) us over writing it to a pipe"
