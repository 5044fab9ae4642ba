#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite (headless). Optional argument:
# the CMake preset ("default" or "asan").
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
./scripts/setup.sh "$preset"
QT_QPA_PLATFORM=offscreen ctest --preset "$preset"
