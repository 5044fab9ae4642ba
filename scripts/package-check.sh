#!/usr/bin/env bash
# Builds the packages, checks them with lintian, installs them on this machine,
# runs the installed programs (versions, the reader against the simulated
# module, the window offscreen once), verifies the service unit, then purges
# them and checks that nothing of theirs is left. Needs root (apt-get).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/package.sh
export DEBIAN_FRONTEND=noninteractive
for p in lintian systemd mosquitto mosquitto-clients; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        apt-get install -y -qq --no-install-recommends "$p"
done

echo "== lintian"
lintian --allow-root --fail-on error build/packages/*.deb

echo "== install"
apt-get install -y -qq ./build/packages/tq5900k_*.deb ./build/packages/tq5900k-reader_*.deb
for program in tq5900k tq5900k-reader tq5900k-sim; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || { echo "$program is not in /usr/bin" >&2; exit 1; }
    "$program" --version
done
id tq5900k | grep -q dialout || { echo "user tq5900k is not in group dialout" >&2; exit 1; }
[ -d /var/lib/tq5900k ] || { echo "/var/lib/tq5900k was not made" >&2; exit 1; }

echo "== the installed programs against the simulated module"
# The installed programs keep their files in the user's data folder.
data="${XDG_DATA_HOME:-$HOME/.local/share}/tq5900k"
rm -rf "$data"
mkdir -p "$data"
printf '1,10,40,1\r\n' >"$data/ModSet.set"
source scripts/simulator.sh
# Also over TCP, for the reader run as the service runs it, below.
sim_tcp=127.0.0.1:47021
SIMULATOR_FOLDER="$data" start_simulator /usr/bin --tcp "$sim_tcp"
[ -L "$data/ports/COM4" ] || { echo "the simulator did not link $data/ports/COM4" >&2; exit 1; }
lines=$(tq5900k-reader --port COM4 --stations 1 --once | wc -l)
echo "tq5900k-reader --once: $lines lines"
[ "$lines" -ge 10 ] || { echo "the installed reader read too little" >&2; exit 1; }
TQ_SCREENSHOT="$data/screenshots" QT_QPA_PLATFORM=offscreen tq5900k
[ -s "$data/screenshots/tab1.png" ] || { echo "the installed window wrote no screenshot in $data" >&2; exit 1; }
echo "window screenshot: $data/screenshots/tab1.png"

echo "== the reader as its service runs it: user tq5900k, its folder, publishing to a broker"
mosquitto -p 47883 >/dev/null 2>&1 &
broker_pid=$!
runuser -u tq5900k -- env XDG_DATA_HOME=/var/lib /usr/bin/tq5900k-reader --port "tcp://$sim_tcp" --stations 1 \
    --once --name line1 --history /var/lib/tq5900k/line1.db --mqtt-host 127.0.0.1 --mqtt-port 47883 >/tmp/tq-service.csv
echo "readings printed: $(wc -l </tmp/tq-service.csv)"
[ -s /var/lib/tq5900k/line1.db ] || { echo "the reader recorded no history in /var/lib/tq5900k" >&2; exit 1; }
# The reader's status is retained: the broker still has it after the reader ended.
status=$(mosquitto_sub -p 47883 -t 'tq5900k/+/readers/line1/status' -C 1 -W 5)
kill "$broker_pid"
echo "status on the broker: $status"
[ "$status" = offline ] || { echo "the reader's status did not reach the broker" >&2; exit 1; }

echo "== service unit"
systemd-analyze verify /lib/systemd/system/tq5900k-reader@.service
echo "systemd-analyze verify: no complaint"

echo "== purge"
apt-get purge -y -qq tq5900k tq5900k-reader
left=()
for path in /usr/bin/tq5900k /usr/bin/tq5900k-sim /usr/bin/tq5900k-reader /etc/tq5900k /var/lib/tq5900k \
            /lib/systemd/system/tq5900k-reader@.service /usr/share/doc/tq5900k /usr/share/doc/tq5900k-reader \
            /usr/share/applications/tq5900k.desktop; do
    [ -e "$path" ] && left+=("$path")
done
if dpkg-query -W tq5900k tq5900k-reader 2>/dev/null | grep -q .; then left+=("dpkg's record"); fi
[ ${#left[@]} -eq 0 ] || { echo "left after purge: ${left[*]}" >&2; exit 1; }
echo "packages built, checked, installed, run and purged cleanly"
