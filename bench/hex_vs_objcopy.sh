#!/bin/bash
# Times the Intel HEX conversion against `objcopy -I ihex -O binary` on the same 64 KiB image
# text (16-byte records) and prints both throughputs in MB/s of text and their ratio.
# Usage: bench/hex_vs_objcopy.sh [BUILD_DIR] [REPETITIONS]   (defaults: build, 200)
set -euo pipefail
build_dir=${1:-build}
repetitions=${2:-200}
bench="$build_dir/bin/bench_hex"
if [ ! -x "$bench" ]; then
    echo "no $bench: build the bench_hex target first (a release build measures best)" >&2
    exit 1
fi
command -v objcopy >/dev/null || { echo "objcopy not found (binutils)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-hex="$work/image.hex"
text_bytes=$(stat -c %s "$work/image.hex")

# objcopy: one process per conversion, as a build script would run it.
start=$(date +%s%N)
for ((i = 0; i < repetitions; ++i)); do
    objcopy -I ihex -O binary "$work/image.hex" "$work/image.bin"
done
end=$(date +%s%N)
binary_bytes=$(stat -c %s "$work/image.bin")
if [ "$binary_bytes" -ne 65536 ]; then
    echo "objcopy produced $binary_bytes bytes, expected 65536" >&2
    exit 1
fi
objcopy_mbs=$(awk -v b="$text_bytes" -v n="$repetitions" -v ns=$((end - start)) \
    'BEGIN { printf "%.1f", b * n / (ns / 1e9) / 1e6 }')

# The same number of runs on a one-byte image estimates what process start and file handling
# cost, to show objcopy's conversion alone as well.
printf ':0100000000FF\r\n:00000001FF\r\n' >"$work/tiny.hex"
tiny_start=$(date +%s%N)
for ((i = 0; i < repetitions; ++i)); do
    objcopy -I ihex -O binary "$work/tiny.hex" "$work/tiny.bin"
done
tiny_end=$(date +%s%N)
conversion_ns=$(( (end - start) - (tiny_end - tiny_start) ))
objcopy_alone_mbs=$(awk -v b="$text_bytes" -v n="$repetitions" -v ns="$conversion_ns" \
    'BEGIN { if (ns > 0) printf "%.1f", b * n / (ns / 1e9) / 1e6; else print "n/a" }')

"$bench" --benchmark_format=json --benchmark_min_time=1 >"$work/bench.json"
korvan_mbs=$(awk -F: '/"bytes_per_second"/ { gsub(/[ ,]/, "", $2); printf "%.1f", $2 / 1e6; exit }' "$work/bench.json")

echo "image text: $text_bytes bytes (64 KiB in 16-byte records)"
echo "objcopy -I ihex -O binary: $objcopy_mbs MB/s ($repetitions runs, process start included)"
echo "objcopy, start-up removed: $objcopy_alone_mbs MB/s"
echo "ConvertHexFile:            $korvan_mbs MB/s (in memory)"
awk -v k="$korvan_mbs" -v o="$objcopy_mbs" -v a="$objcopy_alone_mbs" 'BEGIN {
    printf "ratio ConvertHexFile / objcopy: %.1f", k / o
    if (a + 0 > 0) printf " (%.1f against objcopy without start-up)", k / a
    printf "\n"
}'
