#!/usr/bin/env bash
# Runs the built test suite again as an unprivileged user. As root, it creates
# the user mirapost-test when no such user exists, lets it pass through the
# folders above the build folder (search permission only) and gives it the
# folder where ctest keeps its records; the tests themselves work in
# temporary folders. Permissions, exclusive ports and read-only files only
# mean something for such a user.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="$(realpath "${MIRAPOST_BUILD:-build}")"
RUNNER=(env)
if [ "$(id -u)" -eq 0 ]; then
  USER_NAME="${MIRAPOST_TEST_USER:-mirapost-test}"
  if ! id "$USER_NAME" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$USER_NAME"
  fi
  dir="$BUILD"
  while [ "$dir" != "/" ]; do
    if ! runuser -u "$USER_NAME" -- test -x "$dir"; then
      echo "run-tests-unprivileged: giving $USER_NAME search permission on $dir" >&2
      chmod o+x "$dir"
    fi
    dir="$(dirname "$dir")"
  done
  # The test lists are written into the build folder when a test program is
  # newer than its list; let root bring them up to date first.
  (cd "$BUILD" && ctest -N >/dev/null)
  mkdir -p "$BUILD/Testing"
  chown -R "$USER_NAME" "$BUILD/Testing"
  HOME_DIR="$(mktemp -d)"
  chown "$USER_NAME" "$HOME_DIR"
  trap 'rm -rf "$HOME_DIR"' EXIT
  RUNNER=(runuser -u "$USER_NAME" -- env -u XDG_RUNTIME_DIR -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$HOME_DIR")
  echo "run-tests-unprivileged: the suite as $USER_NAME" >&2
fi
cd "$BUILD"
"${RUNNER[@]}" QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 60 -j "$(( $(nproc) * 3 ))"
