#!/bin/bash
# Runs every fuzzer built in BUILD_DIR/bin for SECONDS each, starting from a scratch copy of
# its seed corpus in fuzz/corpus/<name>/. Fails on the first crash, leak or time-out.
set -euo pipefail
build_dir=$(cd "${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS}" && pwd)
seconds=${2:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)

shopt -s nullglob
fuzzers=("$build_dir"/bin/fuzz_*)
if [ ${#fuzzers[@]} -eq 0 ]; then
    echo "no fuzzers in $build_dir/bin" >&2
    exit 1
fi
for fuzzer in "${fuzzers[@]}"; do
    name=${fuzzer##*/fuzz_}
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/corpus"
    if [ -d "$root/fuzz/corpus/$name" ]; then
        cp -r "$root/fuzz/corpus/$name/." "$work/corpus/"
    fi
    if ! (cd "$work" && "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 corpus >log 2>&1); then
        tail -n 40 "$work/log" >&2
        echo "fuzz_$name: FAILED" >&2
        exit 1
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || echo '?')
    echo "fuzz_$name: $runs executions in ${seconds} s, no crash"
    rm -rf "$work"
    trap - EXIT
done
