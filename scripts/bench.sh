#!/usr/bin/env bash
# Builds the benchmarks (preset "default") and runs them, printing their figures.
#
#   scripts/bench.sh [--passes N] [--runs R]
#
# --passes: timed all-channels passes per baud rate (default 10);
# --runs:   timed start-ups of each program (default 10).
# TQ_BENCH_BUILD_DIR=DIR builds in DIR instead of the preset's build/.
# See docs/benchmarks.md for what each figure means and the targets.
set -euo pipefail
cd "$(dirname "$0")/.."

passes=10
runs=10
while [ $# -gt 0 ]; do
    case "$1" in
    --passes) passes="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) echo "usage: $0 [--passes N] [--runs R]" >&2; exit 2 ;;
    esac
done

targets=(bench_pass bench_startup bench_empty_window bench_history bench_bins tq5900k tq5900k-sim)
if [ -n "${TQ_BENCH_BUILD_DIR:-}" ]; then
    build="$TQ_BENCH_BUILD_DIR"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target "${targets[@]}"
else
    build=build
    cmake --preset default >/dev/null
    cmake --build --preset default --target "${targets[@]}"
fi

export QT_QPA_PLATFORM=offscreen
echo
echo "== Machine: $(nproc) cores, $(uname -sr), $(date -I)"
echo
echo "== All-channels pass against the simulated module, the window's and the reader's (bench_pass --reader)"
"$build/bench/bench_pass" --passes "$passes" --reader
echo
if command -v xvfb-run >/dev/null; then
    echo "== The loop with the window shown on the data tab, painted on a virtual X display (bench_pass --shown)"
    env -u QT_QPA_PLATFORM xvfb-run -a "$build/bench/bench_pass" --shown --baud 9600 --passes 3 --loop-seconds 30
else
    echo "== (xvfb-run is missing: the loop with the window shown is not measured; package xvfb)"
fi
echo
echo "== Start-up, whole process (bench_startup)"
"$build/bench/bench_startup" --runs "$runs"
echo
echo "== History store, a week of 10 x 40 (bench_history; about 300 MB in a temporary folder)"
"$build/bench/bench_history"
echo
echo "== The 温度分布 tab for a bin of 10 x 160 and the report of ten such bins (bench_bins)"
"$build/bench/bench_bins"
echo
