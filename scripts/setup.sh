#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, when they are missing. Uses sudo when not root.
#   scripts/setup.sh               the packages of the Linux build, its tests and tools
#   scripts/setup.sh PACKAGE...    these packages instead
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
    clang libclang-rt-14-dev
    fonts-wqy-microhei xvfb xauth x11-apps imagemagick xdotool x11-utils openbox
    desktop-file-utils dpkg-dev file
    dbus-daemon dbus-bin notification-daemon
)
if [ $# -gt 0 ]; then
    packages=("$@")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
