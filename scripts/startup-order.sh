#!/usr/bin/env bash
# Writes src/app/startup-order.txt: the functions of mirapost that a start
# runs, to the first painted window and the pages and dialogs built after it.
# The link lays them side by side (lld's --symbol-ordering-file), so that a
# start maps the pages that hold them and not most of the program's code.
# Those run before the first paint come first: the window then shows having
# mapped only them.
# Run it after large changes to what a start does; a list gone stale only
# costs memory, never correctness (names it no longer finds are skipped).
#   scripts/startup-order.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build}"
APP="$BUILD/src/mirapost"
OUT=src/app/startup-order.txt
command -v valgrind >/dev/null || { echo "startup-order: needs valgrind" >&2; exit 1; }
[ -x "$APP" ] || { echo "startup-order: build $APP first" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/run"
# A first start (the receiving phone's panel open, as it opens then) and the
# start after it, with settings, record and runtime files of their own.
for run in 1 2; do
  env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$tmp" XDG_DATA_HOME="$tmp" XDG_RUNTIME_DIR="$tmp/run" \
    MIRAPOST_COM4=/dev/null \
    valgrind --tool=callgrind --demangle=no --dump-before=getrusage --callgrind-out-file="$tmp/cg.$run" \
    "$APP" --bench-startup \
    > /dev/null 2> "$tmp/valgrind.log" || { cat "$tmp/valgrind.log" >&2; exit 1; }
done

# Callgrind's file names each object (ob=) and function (fn=) once and then
# refers to them by number; keep the functions of mirapost itself, sorted
# by name so that the list changes only where a start does. --bench-startup
# reads the clock (getrusage) as the first paint begins and again once it is
# done, so each run's first two parts (cg.N.1, cg.N.2) hold what ran to then.
functions() {
  awk -v app="$(realpath "$APP")" '
    function name(def, table, id,    n) {
      n = def; sub(/^\([0-9]+\) ?/, "", n); id = def; sub(/^\(/, "", id); sub(/\).*/, "", id)
      if (n != "") table[id] = n
      return table[id]
    }
    FNR == 1 { delete obs; delete fns }
    /^ob=/ { o = name(substr($0, 4), obs); inapp = (o == app); next }
    /^cob=/ { name(substr($0, 5), obs); next }
    /^cfn=/ { name(substr($0, 5), fns); next }
    /^fn=/ {
      f = name(substr($0, 4), fns)
      sub(/\x27[0-9]+$/, "", f)  # a recursion level
      if (inapp && f ~ /^[A-Za-z_][A-Za-z0-9_.]*$/ && !(f in seen)) { seen[f] = 1; print f }
    }' "$@" | LC_ALL=C sort -u
}
functions "$tmp"/cg.[12].[12] > "$tmp/before"
functions "$tmp"/cg.[12]* | LC_ALL=C comm -23 - "$tmp/before" > "$tmp/after"
{
  echo "# Functions a start of mirapost runs, laid side by side by the link."
  echo "# Made by scripts/startup-order.sh; rerun it when a start changes much."
  # The C runtime's entry and start-up code, which callgrind does not name.
  printf '%s\n' _start deregister_tm_clones register_tm_clones __do_global_dtors_aux frame_dummy
  cat "$tmp/before"
  echo "# After the first paint:"
  cat "$tmp/after"
} > "$OUT.new"
mv "$OUT.new" "$OUT"
echo "startup-order: $(grep -vc '^#' "$OUT") functions in $OUT"
