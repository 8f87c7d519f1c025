#!/usr/bin/env bash
# Installs, builds and starts MIRAPOST. Without a phone on COM 4 it starts the
# simulated phone and maps COM 4 to it for the time the window is open.
set -euo pipefail
cd "$(dirname "$0")/.."
MIRAPOST_PURPOSE=app bash scripts/setup.sh >&2
BUILD="${MIRAPOST_BUILD:-build}"
exec "$BUILD/src/mirapost" "$@"
