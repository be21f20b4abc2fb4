#!/usr/bin/env bash
# Checks scripts/check-map on a small tree: a map whose rows hold passes, and a
# row naming a file that is gone, or a name its file does not define, fails
# with the map's line.
#
#   check_map_rows.sh SCRIPTS_FOLDER
set -uo pipefail
check_map="$1/check-map"
work=$(mktemp -d "${TMPDIR:-/tmp}/zn-check-map-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/docs"
cat >"$work/src/Window.h" <<'CPP'
class CWindow {
 public:
  void show();
  void hide();
};
void freeHelper(int value);
CPP
cat >"$work/src/Window.cpp" <<'CPP'
#include "Window.h"
void CWindow::show() {}
static int freeHelper(int value) { return value; }
CPP

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect STATUS LINE ROW...: a map with the given rows after a heading and a
# table head; LINE is the map line check-map must name ("" when it passes).
expect() {
  local want="$1" line="$2" out status
  shift 2
  { echo "# Map"; echo "| file | defines | what it holds |"; echo "|---|---|---|"; printf '%s\n' "$@"; } >"$work/docs/ARCHITECTURE.md"
  out=$("$check_map" --root "$work" 2>&1)
  status=$?
  [ "$status" -eq "$want" ] || fail "rows [$*]: exit $status, not $want ($out)"
  if [ -n "$line" ]; then
    grep -q "docs/ARCHITECTURE.md:$line:" <<<"$out" || fail "rows [$*]: line $line not named ($out)"
  fi
}

expect 0 "" '| `src/Window.h`, `src/Window.cpp` | `CWindow`, `CWindow::show`, `freeHelper` | the window |'
expect 0 "" '| `src/Window.cpp` |  | a row may name no definition |'
expect 1 4 '| `src/Gone.cpp` | `CWindow` | a file that is gone |'
expect 1 5 '| `src/Window.cpp` | `CWindow::show` | fine |' '| `src/Window.cpp` | `CWindow::hide` | only declared |'
expect 1 4 '| `src/Window.h` | `CDialog` | a class defined nowhere |'
expect 1 4 '| no file | here |'
echo "# A map without a file table" >"$work/docs/ARCHITECTURE.md"
"$check_map" --root "$work" >/dev/null 2>&1
[ $? -eq 2 ] || fail "a map without a file table is not refused with exit code 2"

echo "check_map_rows: $failures failure(s)"
[ "$failures" -eq 0 ]
