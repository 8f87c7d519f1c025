#!/usr/bin/env bash
# Installs, builds and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd "${MIRAPOST_BUILD:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 -j "$(( $(nproc) * 3 ))"
