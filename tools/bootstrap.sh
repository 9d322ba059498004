#!/bin/sh
# Installs the Debian packages the build, the tests and the fuzzers need; only those missing.
# Quiet when everything is there. Safe to run again.
set -eu

packages="cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev binutils zlib1g-dev
          qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-multimedia-dev libgl-dev libxcb1-dev libxcb-keysyms1-dev
          fonts-dejavu-core xvfb xauth dpkg-dev file nlohmann-json3-dev libssl-dev jq
          libftdi1-dev libgpiod-dev libpq-dev postgresql openbox xdotool python3 python3-pyatspi at-spi2-core dbus-x11"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done
[ -z "$missing" ] && exit 0

echo "bootstrap: installing$missing"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
# A fresh machine has no package lists yet; refresh them when a package is not known.
for package in $missing; do
    if ! apt-cache show "$package" >/dev/null 2>&1; then
        $sudo apt-get update -qq
        break
    fi
done
if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
