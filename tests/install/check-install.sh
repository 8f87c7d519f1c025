#!/bin/sh
# Installs the build into a fresh prefix and checks the layout.
# Usage: check-install.sh CMAKE BUILD_DIR VERSION ENTRY...
# An ENTRY is a path under the prefix; "x:" in front means it must be an
# executable program, "gz:" a gzip file, "svg:" an SVG picture.
set -eu
cmake=$1 build=$2 version=$3
shift 3
# cmake --install writes its manifest into the build folder; a copy of the
# tree run by another user cannot, and is checked by the owner's run.
if [ ! -w "$build" ]; then
  echo "skipped: $build is not writable by $(id -un)"
  exit 77
fi
prefix=$(mktemp -d "${TMPDIR:-/tmp}/mirapost-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 || { cat "$prefix.log"; rm -f "$prefix.log"; exit 1; }
rm -f "$prefix.log"

fail=0
bad() { echo "FAIL: $*"; fail=1; }
for entry in "$@"; do
  kind=${entry%%:*}
  [ "$kind" = "$entry" ] && kind=""
  path=$prefix/${entry#*:}
  if [ ! -f "$path" ]; then bad "not installed: ${entry#*:}"; continue; fi
  case $kind in
    x) [ -x "$path" ] || bad "not executable: ${entry#*:}" ;;
    gz) gzip -t "$path" 2>/dev/null || bad "not gzip: ${entry#*:}" ;;
    svg) grep -q "<svg" "$path" || bad "not an SVG picture: ${entry#*:}" ;;
  esac
done
# Nothing from the build tree or the tests may be installed.
extra=$(find "$prefix" -type f \( -name 'test_*' -o -name 'bench_*' -o -name '*.a' -o -name '*.o' \) | head -3)
[ -z "$extra" ] || bad "installed by mistake: $extra"

# The installed program runs from the prefix without a display.
out=$("$prefix/bin/mirapost" --version 2>&1) || bad "mirapost --version failed: $out"
case $out in *"$version"*) ;; *) bad "mirapost --version says '$out', not $version" ;; esac

[ "$fail" -eq 0 ] && echo "installed layout complete in $prefix"
exit "$fail"
