#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt-get,
# starts the installed program, and removes the package again.
# Run as root (or with sudo) on a Debian 12 machine; CI runs it after the
# tests. It refuses to touch a machine where a mirapost package is already
# installed, and removes only the package it installed itself.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
BUILD="${MIRAPOST_BUILD:-build}"

if dpkg-query -W -f='${Status}' mirapost 2>/dev/null | grep -q "install ok installed"; then
  echo "check-package: a mirapost package is already installed here; not replacing it." >&2
  exit 1
fi

MIRAPOST_PURPOSE=tests bash scripts/setup.sh
if ! command -v lintian >/dev/null; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends lintian
fi

# A package of the release build, made in a folder of its own.
rm -rf "$BUILD/package"
(cd "$BUILD" && cpack -G DEB -B "$PWD/package" > package.log) || { cat "$BUILD/package.log"; exit 1; }
deb=$(ls "$BUILD"/package/mirapost_*.deb)
echo "check-package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb" Package Version Depends Recommends Installed-Size

# lintian: errors fail the check; warnings are shown.
lintian --fail-on error "$deb"

removed=0
remove() {
  if [ "$removed" -eq 0 ]; then
    removed=1
    $SUDO dpkg -r mirapost > /dev/null
  fi
}
trap remove EXIT
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "$(realpath "$deb")"

# The installed program: version, the files it looks for, a start to the
# first painted window and back.
test "$(command -v mirapost)" = /usr/bin/mirapost
mirapost --version
test -x /usr/libexec/mirapost/mirapost-phonesim
test -f /usr/share/mirapost/help/index.html
test -f /usr/share/applications/example.mirapost.Mirapost.desktop
test -f /usr/share/man/man1/mirapost.1.gz
if command -v mirapost-send > /dev/null; then mirapost-send --version; fi
home=$(mktemp -d)
# The modules, where the installed programs find them: a send through Kannel
# to a closed port fails on the connection (the network module loaded) and
# is kept in the record (the record module loaded).
test -f /usr/lib/mirapost/modules/mirapost-http.so
test -f /usr/lib/mirapost/modules/mirapost-picture.so
test -f /usr/lib/mirapost/modules/mirapost-record.so
via=$(HOME="$home" XDG_CONFIG_HOME="$home" XDG_DATA_HOME="$home" \
  mirapost-send --via kannel:http://127.0.0.1:9/cgi-bin/sendsms --wait 5 --to +12345 text x 2>&1 || true)
if grep -q "module" <<< "$via" || ! test -s "$home/Corvistan/MIRAPOST.db"; then
  echo "check-package: the installed mirapost-send cannot load its modules: $via" >&2
  exit 1
fi
# A logo's picture is read through the picture module.
base64 -d > "$home/logo.png" <<< "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAAAAAA6fptVAAAACklEQVR4nGNgAAAAAgABSK+kcQAAAABJRU5ErkJggg=="
if ! HOME="$home" XDG_CONFIG_HOME="$home" XDG_DATA_HOME="$home" \
  mirapost-send --dry-run --to +12345 logo --operator 244-05 --picture "$home/logo.png" > /dev/null; then
  echo "check-package: the installed mirapost-send cannot read pictures" >&2
  exit 1
fi
started=$(HOME="$home" XDG_CONFIG_HOME="$home" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen \
  timeout 60 mirapost --bench-startup)
rm -rf "$home"
grep -q '^shown ' <<< "$started" || { echo "check-package: the installed mirapost did not start" >&2; exit 1; }
remove
trap - EXIT
if dpkg-query -W -f='${Status}' mirapost 2>/dev/null | grep -q "install ok installed"; then
  echo "check-package: the package was not removed" >&2
  exit 1
fi
echo "check-package: the package builds, installs, starts and is removed."
