#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", into build-fuzz) and runs each for
# SECONDS (default 60) on a fresh copy of its seed corpus in fuzz/corpus/.
# Stops at the first target that finds a crash, a leak or a broken check; the
# input that did it is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

./scripts/setup.sh fuzz

runs=build-fuzz/runs
artifacts=build-fuzz/artifacts
mkdir -p "$artifacts"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
for seeds in fuzz/corpus/*/; do
    target="$(basename "$seeds")"
    corpus="$runs/$target/corpus"
    log="$runs/$target/log"
    rm -rf "$runs/$target"
    mkdir -p "$corpus"
    cp "$seeds"* "$corpus/"
    # An input running longer than 10 s counts as a hang.
    if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" "$corpus" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "$target: FAILED, the input is in $artifacts/ (log: $log)" >&2
        exit 1
    fi
    executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    last="$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*')"
    echo "$target: ${seconds} s, $executions executions, $last, no crash"
done
