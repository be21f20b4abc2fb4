#!/usr/bin/env bash
# Checks the command lines of the project's scripts:
#  - -h and --help print the usage on standard output and exit 0, doing nothing;
#  - an unknown argument is refused with exit code 2 and a message on standard
#    error, doing nothing;
#  - JOBS and -j N reach the builds (cmake --build) and CTest.
# The scripts run from a copy in a temporary folder, and every program they
# could start (cmake, ctest, apt-get, nginx, Xvfb, clang-format, ...) is a stub
# that records its call: "doing nothing" means no stub was called.
#
#   scripts_command_lines.sh SCRIPTS_FOLDER
set -uo pipefail
source_scripts="$1"

# The scripts whose command lines are checked (scripts/test-fuzz and
# scripts/bench-download have their own).
SCRIPTS=(bench-core build check-layers demo-server format make-demo-site make-demo-tree make-skin run screenshot setup
  test test-tsan test-fuzz bench-download)
STUBBED=(cmake ctest ninja dpkg-query apt-get sudo service clang-format-14 nginx Xvfb xvfb-run xcompmgr hsetroot
  xsetroot xdotool import convert curl 7z git aria2c clang clang++)

work=$(mktemp -d "${TMPDIR:-/tmp}/zn-scripts-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/scripts" "$work/stubs"
cp -a "$source_scripts/." "$work/tree/scripts/"
stub_log="$work/stub-calls.log"
for tool in "${STUBBED[@]}"; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\nexit "${STUB_STATUS:-1}"\n' "$tool" "$stub_log" >"$work/stubs/$tool"
  chmod +x "$work/stubs/$tool"
done
export PATH="$work/stubs:$PATH"
unset DISPLAY JOBS

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run_script SCRIPT ARGS...: runs it from the copy; sets status, out and err.
run_script() {
  local script="$1"
  shift
  : >"$stub_log"
  (cd "$work/tree" && timeout 60 "scripts/$script" "$@" >"$work/out" 2>"$work/err" </dev/null)
  status=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

no_work_done() {  # no_work_done WHAT
  if [ -s "$stub_log" ]; then fail "$1 started programs: $(tr '\n' ';' <"$stub_log")"; fi
}

for script in "${SCRIPTS[@]}"; do
  for help in -h --help; do
    run_script "$script" "$help"
    [ "$status" -eq 0 ] || fail "$script $help exits with $status (stderr: ${err:0:200})"
    [ -n "$out" ] || fail "$script $help prints no usage on standard output"
    no_work_done "$script $help"
  done
  run_script "$script" --no-such-option
  [ "$status" -eq 2 ] || fail "$script --no-such-option exits with $status, not 2"
  [ -n "$err" ] || fail "$script --no-such-option says nothing on standard error"
  no_work_done "$script --no-such-option"
done

# Commands and arguments of scripts that take them.
for args in "demo-server start" "demo-server stop" "demo-server stop a b" "demo-server nosuchcommand" \
  "demo-server start . --port" "build --target" "build -j" "build -j 0" "build -jx" "test -j" "run -j 0" \
  "screenshot --wait" "screenshot one" "bench-core --build-dir" "format --check extra" "check-layers --root" \
  "check-layers --root /no/such/folder"; do
  # shellcheck disable=SC2086  # the arguments are split on purpose
  run_script $args
  [ "$status" -eq 2 ] || fail "$args exits with $status, not 2"
  no_work_done "$args"
done
JOBS=many run_script build
[ "$status" -eq 2 ] || fail "build with JOBS=many exits with $status, not 2"
no_work_done "build with JOBS=many"

# check-layers passes includes the layer order allows and refuses the others,
# naming each: one file per case in a tree of stand-in headers.
layers="$work/layers"
mkdir -p "$layers/platform/include/platform" "$layers/toolkit/include" "$layers/app/include/app" \
  "$layers/gateway/include/gateway" "$layers/types/include/types" "$layers/repair/src" "$layers/transfer/src" \
  "$layers/download/stream/include/dlhttp"
touch "$layers/platform/include/platform/Programs.h" "$layers/toolkit/include/ZnStyleCommon.h" \
  "$layers/app/include/app/FixiTunes.h" "$layers/gateway/include/gateway/Controller.h" \
  "$layers/types/include/types/CommonTypes.h" "$layers/download/stream/include/dlhttp/http_stream.h"
for case in "toolkit/src/A.cpp|platform/Programs.h|0" "toolkit/src/A.cpp|app/FixiTunes.h|1" \
  "toolkit/include/A.h|<ZnStyleCommon.h>|0" "toolkit/src/A.cpp|<QWidget>|0" \
  "repair/src/MainWindowLists.cpp|app/FixiTunes.h|0" "repair/src/Other.cpp|app/FixiTunes.h|1" \
  "transfer/src/A.cpp|types/CommonTypes.h|0" "transfer/src/A.cpp|gateway/Controller.h|1" \
  "download/service/src/A.cpp|dlhttp/http_stream.h|0" "download/base/src/A.cpp|dlhttp/http_stream.h|1" \
  "platform/src/A.cpp|ZnStyleCommon.h|1"; do
  IFS='|' read -r file header expected <<<"$case"
  mkdir -p "$(dirname "$layers/$file")"
  case "$header" in "<"*) line="#include $header" ;; *) line="#include \"$header\"" ;; esac
  printf '// a case\n%s\n' "$line" >"$layers/$file"
  run_script check-layers --root "$layers"
  [ "$status" -eq "$expected" ] || fail "check-layers: $file including $header exits with $status, not $expected"
  if [ "$expected" = 1 ] && [[ "$err" != *"$file:2: "* ]]; then fail "check-layers does not name $file:2: $err"; fi
  no_work_done "check-layers"
  rm -f "$layers/$file"
done

# The job count reaches the build: from -j N, -jN, --jobs N and JOBS; -j wins.
export STUB_STATUS=0
for case in "-j 3|" "-j3|" "--jobs 3|" "|3" "-j 3|7"; do
  args="${case%|*}"
  jobs="${case#*|}"
  # shellcheck disable=SC2086
  JOBS="$jobs" run_script build $args --target ZnRuntime
  [ "$status" -eq 0 ] || fail "build $args (JOBS=$jobs) exits with $status: ${err:0:200}"
  grep -q -- "^cmake --build .* -j3 --target ZnRuntime$" "$stub_log" ||
    fail "build $args (JOBS=$jobs) did not build with 3 jobs: $(tr '\n' ';' <"$stub_log")"
done

# scripts/test hands its count to the sanitizer and the normal build and to
# CTest (the fuzz stage, another script, is left out of the copy here).
rm -f "$work/tree/scripts/test-fuzz"
run_script test -j 3
[ "$status" -eq 0 ] || fail "test -j 3 exits with $status: ${err:0:300}"
for pattern in "^cmake --build .*/build-asan -j3$" "^cmake --build .*/build -j3$" \
  "^ctest --test-dir build-asan -L unit|net -j3 " "^ctest --test-dir build -j3 "; do
  grep -q -- "$pattern" "$stub_log" || fail "test -j 3: no call like '$pattern': $(tr '\n' ';' <"$stub_log")"
done
unset STUB_STATUS

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "the command lines of ${#SCRIPTS[@]} scripts are as documented"
