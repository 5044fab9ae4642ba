#!/usr/bin/env bash
# Sets up and builds, starts two simulated modules (stations 1 and 2) on one line
# as COM5 in the program's folder, and runs the headless reader on them. The
# arguments go to the reader: --once for one round, --format jsonl, --interval 5,
# --mqtt-host localhost ... (tq5900k-reader --help). Readings go to standard
# output, everything else to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh default >&2

bin="$PWD/build/bin"
source scripts/simulator.sh
# COM5, so that it can run beside run.sh's module on COM4 (the last --port counts).
start_simulator "$bin" --port COM5 --more-station 2 --scenario "$PWD/sim/scenarios/demo-history.scn" >&2

"$bin/tq5900k-reader" --port COM5 --stations 1,2 --channels 10 --sensors 40 "$@"
