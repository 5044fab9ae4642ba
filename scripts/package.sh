#!/usr/bin/env bash
# Builds the Debian packages tq5900k (the window and the simulated module) and
# tq5900k-reader (the reader and its service) into build/packages/, from the
# default preset's build, and checks them with lintian when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh default
# dpkg-shlibdeps works out the packages' dependencies from their programs.
missing=()
for p in dpkg-dev file; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
rm -rf build/packages
(cd build && cpack -G DEB)
rm -rf build/packages/_CPack_Packages
ls -l build/packages/*.deb
