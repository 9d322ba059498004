#!/bin/bash
# Times one job (check, erase, write, verify of a full AT89C52 image) on 1 and on 8 simulated
# serial programmers at once, each paced like the hardware at 57600 baud, and prints both
# times and their ratio: several sites on a line must cost little more than one.
# Usage: bench/multi_site.sh [BUILD_DIR] [SITES]   (defaults: build, 8)
set -euo pipefail
build_dir=${1:-build}
sites=${2:-8}
cli="$build_dir/bin/korvan-cli"
if [ ! -x "$cli" ]; then
    echo "no $cli: build korvan-cli first" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build_dir/bin/ChipList.chip" "$work/"
# 8 KiB of data with no 0xFF byte, so that every block is written and read.
head -c 8192 /dev/urandom | tr '\377' '\001' >"$work/image.bin"

run() {
    local start end
    start=$(date +%s%N)
    "$cli" --dir "$work" --simulate --sim-pace --programmer serial --baud 57600 --chip AT89C52 --sites "$1" \
        -q open "$work/image.bin" check erase write verify >"$work/out-$1" 2>&1 ||
        { cat "$work/out-$1" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

one=$(run 1)
many=$(run "$sites")
awk -v one="$one" -v many="$many" -v sites="$sites" 'BEGIN {
    printf "1 site: %.2f s   %d sites: %.2f s   ratio %.3f\n", one / 1000, sites, many / 1000, many / one
}'
