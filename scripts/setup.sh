#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build needs (only those missing),
# then configures and builds with the given CMake preset (default: "default").
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-default}"
packages=(qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite cmake ninja-build g++ xvfb xauth fonts-wqy-microhei
          pkg-config libmosquitto-dev mosquitto openssl qt6-translations-l10n
          ser2net python3-pymodbus python3-serial-asyncio
          libcurl4-openssl-dev python3-aiosmtpd poppler-utils)
# The fuzz targets need clang and its libFuzzer runtime (libclang_rt.fuzzer).
if [ "$preset" = fuzz ]; then packages+=(clang libclang-rt-14-dev); fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    # Through sudo the variable must be passed on explicitly: sudo resets the environment.
    $sudo_cmd env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
