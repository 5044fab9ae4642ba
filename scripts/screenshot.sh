#!/usr/bin/env bash
# Screenshots of the main window's six tabs, taken on a virtual display.
#
#   scripts/screenshot.sh [--screen WxH] [--sim] [PROGRAM] [FOLDER]
#
# PROGRAM (default build/bin/tq5900k) is started under xvfb-run with
# TQ_SCREENSHOT=FOLDER (default screenshots/): after start-up it grabs each tab
# to FOLDER/tab1.png ... tab6.png and quits (tab5.png, "历史数据", charts what
# history.db in the program's folder holds). With --sim the simulated module
# beside the program (tq5900k-sim) serves COM4 meanwhile, so the value grid
# shows readings. --screen gives the virtual screen's size (default xvfb-run's,
# 1280x1024): the window takes the zoom of view.set in the program's folder and
# no more of the screen than it has, with scroll bars where the form is larger.
#
#   scripts/screenshot.sh --history [FOLDER]
#
# The history tab instead, with a hot spot of the simulated module rising over
# two minutes: FOLDER/history-tab.png (the trend chart), history-alarms.png (the
# alarm it raised), history-broker.png (the broker page, when mosquitto is
# installed: the window publishes to a broker of its own) and the tab's CSV
# export of the chart's choice, read back
# against history.db (build/bench/history_shots; it starts on a whole minute).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--history" ]; then
    shots=build/bench/history_shots
    folder="$(realpath -m "${2:-screenshots}")"
    [ -x "$shots" ] || { echo "No $shots; build it first (cmake --build build --target history_shots)." >&2; exit 1; }
    command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (package xvfb)." >&2; exit 1; }
    mkdir -p "$folder"
    exec timeout 600 xvfb-run -a "$shots" --folder "$folder"
fi

screen_args=()
if [ "${1:-}" = "--screen" ]; then
    [[ "${2:-}" =~ ^[0-9]+x[0-9]+$ ]] || { echo "--screen needs a size such as 1366x768." >&2; exit 1; }
    screen_args=(-s "-screen 0 ${2}x24")
    shift 2
fi

with_sim=0
if [ "${1:-}" = "--sim" ]; then
    with_sim=1
    shift
fi
program="$(realpath "${1:-build/bin/tq5900k}")"
folder="$(realpath -m "${2:-screenshots}")"
bin="$(dirname "$program")"

[ -x "$program" ] || { echo "No program at $program; build it first (scripts/setup.sh)." >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (package xvfb)." >&2; exit 1; }

if [ "$with_sim" = 1 ]; then
    source scripts/simulator.sh
    start_simulator "$bin"
fi

mkdir -p "$folder"
rm -f "$folder"/tab[1-6].png
# The program quits by itself once the last tab is grabbed; the time limit
# only guards against a program that does not know TQ_SCREENSHOT.
(cd "$bin" && TQ_SCREENSHOT="$folder" timeout 120 xvfb-run -a "${screen_args[@]}" "$program")

missing=0
for n in 1 2 3 4 5 6; do
    [ -s "$folder/tab$n.png" ] || { echo "Missing $folder/tab$n.png" >&2; missing=1; }
done
[ "$missing" = 0 ] && echo "Screenshots: $folder/tab1.png ... tab6.png"
exit "$missing"
