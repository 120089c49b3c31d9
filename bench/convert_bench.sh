#!/bin/sh
# Times zelk-cli convert against srec_cat on a full 128 KiB Intel HEX file, over repeated
# whole-process runs. Builds nothing: pass the build folder (default build/).
#   bench/convert_bench.sh [BUILD_DIR] [RUNS]
set -eu
BUILD_DIR=${1:-build}
RUNS=${2:-50}
ZELK_CLI=$(cd "$BUILD_DIR/bin" && pwd)/zelk-cli
for tool in "$ZELK_CLI" avr-objcopy srec_cat; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "convert_bench: $tool not found (build first; tools/install-deps.sh installs the rest)" >&2
        exit 1
    fi
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# Deterministic bytes with no erased record, so every one of the 8192 records is read.
LC_ALL=C awk 'BEGIN { x = 1; for (i = 0; i < 131072; i++) {
    x = (x * 1103515245 + 12345) % 2147483648; printf "%c", int(x / 65536) % 255 } }' >"$WORK/in.bin"
[ "$(wc -c <"$WORK/in.bin")" -eq 131072 ]
avr-objcopy -I binary -O ihex "$WORK/in.bin" "$WORK/in.hex"

ZELK="$ZELK_CLI convert $WORK/in.hex $WORK/zelk.bin"
SREC="srec_cat $WORK/in.hex -intel -fill 0xFF 0 0x20000 -o $WORK/srec.bin -binary"
$ZELK
$SREC
cmp "$WORK/zelk.bin" "$WORK/srec.bin"

if command -v hyperfine >/dev/null 2>&1; then
    hyperfine --warmup 3 --runs "$RUNS" --export-json "$WORK/times.json" "$ZELK" "$SREC"
    exit 0
fi

# Mean wall time of one run in microseconds.
time_runs() {
    start=$(date +%s%N)
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        "$@" >/dev/null
        i=$((i + 1))
    done
    end=$(date +%s%N)
    echo $(((end - start) / RUNS / 1000))
}

# Starting any process costs the same to both; the empty run shows how much that is here.
empty_us=$(time_runs /bin/true)
# shellcheck disable=SC2086 # the commands are word lists on purpose
zelk_us=$(time_runs $ZELK)
# shellcheck disable=SC2086
srec_us=$(time_runs $SREC)
echo "empty process:    $empty_us us per run ($RUNS runs)"
echo "zelk-cli convert: $zelk_us us per run"
echo "srec_cat:         $srec_us us per run"
awk -v z="$zelk_us" -v s="$srec_us" -v e="$empty_us" 'BEGIN {
    printf "ratio srec_cat / zelk-cli: %.1fx whole runs", s / z
    if (z > e && s > e) printf ", %.1fx above an empty process", (s - e) / (z - e)
    printf "\n" }'
