#!/usr/bin/env bash
# Installs, builds and starts MIRAPOST. When the stored port has no device,
# it starts the application with --simulated-phone and says so here: nothing
# sent then leaves this computer.
set -euo pipefail
cd "$(dirname "$0")/.."
MIRAPOST_PURPOSE=app bash scripts/setup.sh >&2
BUILD="${MIRAPOST_BUILD:-build}"
APP="$BUILD/src/mirapost"
args=()
asked=no
for a in "$@"; do [ "$a" = "--simulated-phone" ] && asked=yes; done
if [ "$asked" = no ]; then
  # The stored port and its device, resolved as the application resolves them.
  read -r com device < <("$APP" --stored-port) || true
  if [ -z "${device:-}" ] || [ ! -c "$device" ]; then
    echo "MIRAPOST: no device on COM ${com:-?} (${device:-none}); starting with the simulated phone." >&2
    echo "MIRAPOST: nothing you send leaves this computer. Choose a port with a phone to send for real." >&2
    args+=(--simulated-phone)
  fi
fi
exec "$APP" "${args[@]}" "$@"
