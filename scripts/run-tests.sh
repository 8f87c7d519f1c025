#!/usr/bin/env bash
# Installs, builds and runs every test through ctest. Run as root, it runs the
# whole suite a second time as an unprivileged user (run-tests-unprivileged.sh),
# since real users are never root.
set -euo pipefail
cd "$(dirname "$0")/.."
MIRAPOST_PURPOSE=tests bash scripts/setup.sh
BUILD="${MIRAPOST_BUILD:-build}"
(cd "$BUILD" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 60 -j "$(( $(nproc) * 3 ))")
if [ "$(id -u)" -eq 0 ] && [ -z "${MIRAPOST_ROOT_ONLY:-}" ]; then
  bash scripts/run-tests-unprivileged.sh
fi
