# Sourced by the scripts that need the simulated module beside the program.
# start_simulator BIN [ARGS...]: starts BIN/tq5900k-sim on COM4 in the program
# folder BIN, or in SIMULATOR_FOLDER when set (an installed simulator: its
# user's data folder, the one the installed programs use) (input from /dev/null: in the background it must not wait for a
# terminal), stops it when the calling script exits, and waits until it says it
# is ready. The ports/COM4 link alone proves nothing: a simulator that was killed
# leaves its link behind, pointing at a pseudo-terminal that may exist again.
start_simulator() {
    local bin="$1"
    shift
    [ -x "$bin/tq5900k-sim" ] || { echo "No simulated module at $bin/tq5900k-sim." >&2; return 1; }
    simulator_log="$(mktemp)"
    "$bin/tq5900k-sim" --port COM4 --folder "${SIMULATOR_FOLDER:-$bin}" "$@" </dev/null > >(tee "$simulator_log") &
    simulator_pid=$!
    trap 'kill "$simulator_pid" 2>/dev/null || true; wait "$simulator_pid" 2>/dev/null || true; rm -f "$simulator_log"' EXIT
    for _ in $(seq 50); do
        grep -q "模拟模块已就绪" "$simulator_log" 2>/dev/null && return 0
        kill -0 "$simulator_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "The simulated module did not start." >&2
    return 1
}
