#!/usr/bin/env bash
# Installs what MIRAPOST needs on Debian 12 and builds it into build/ (or $MIRAPOST_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libvulkan-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-qpa-plugins libqt6svg6 fonts-dejavu-core
  libqt6sql6-sqlite python3-gammu
  gnokii-cli unrtf xvfb xauth)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
BUILD="${MIRAPOST_BUILD:-build}"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${MIRAPOST_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$BUILD"
