#!/usr/bin/env bash
# Installs what MIRAPOST needs on Debian 12 and builds it into build/ (or $MIRAPOST_BUILD).
#   MIRAPOST_PURPOSE=app    the application and the simulated phone only (the run command)
#   MIRAPOST_PURPOSE=tests  everything, tests and benchmarks included (the default)
# Further arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
PURPOSE="${MIRAPOST_PURPOSE:-tests}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(cmake ninja-build g++ lld make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libvulkan-dev
  qt6-qpa-plugins libqt6svg6 fonts-dejavu-core libqt6sql6-sqlite
  libcanberra-dev sound-theme-freedesktop scdoc
  qt6-httpserver-dev qt6-websockets-dev)
if [ "$PURPOSE" = tests ]; then
  PACKAGES+=(libgtest-dev libgmock-dev googletest libbenchmark-dev
    gnokii-cli unrtf xvfb xauth python3-gammu openbox xdotool
    desktop-file-utils appstream dpkg-dev file
    smstools kannel)
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The gateway tests start smsd and bearerbox/smsbox themselves, with their own
# configuration in a temporary folder; services the packages may have
# started (on the system's spool and ports) are stopped and kept off.
if [ "$PURPOSE" = tests ]; then
  for svc in smstools kannel; do
    if [ -x "/etc/init.d/$svc" ]; then
      $SUDO "/etc/init.d/$svc" stop >/dev/null 2>&1 || true
      if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
        $SUDO systemctl disable --now "$svc" >/dev/null 2>&1 || true
      else
        $SUDO update-rc.d "$svc" disable >/dev/null 2>&1 || true
      fi
    fi
  done
fi
BUILD="${MIRAPOST_BUILD:-build}"
if [ "$PURPOSE" = app ]; then
  # Only the programs the run command starts; a build folder that already
  # holds the tests keeps them configured.
  if [ -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" "$@"
  else
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${MIRAPOST_BUILD_TYPE:-RelWithDebInfo}" \
      -DMIRAPOST_TESTS=OFF -DMIRAPOST_BENCH=OFF "$@"
  fi
  cmake --build "$BUILD" --target mirapost mirapost-phonesim
else
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${MIRAPOST_BUILD_TYPE:-RelWithDebInfo}" \
    -DMIRAPOST_TESTS=ON -DMIRAPOST_BENCH=ON "$@"
  cmake --build "$BUILD"
fi
