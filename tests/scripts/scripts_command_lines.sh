#!/usr/bin/env bash
# Checks the command lines of the project's scripts:
#  - -h and --help print the usage on standard output and exit 0, doing nothing;
#  - an unknown argument is refused with exit code 2 and a message on standard
#    error, doing nothing;
#  - JOBS and -j N reach the builds (cmake --build) and CTest, in every script
#    that builds, and the builds are configured through the presets of
#    CMakePresets.json.
# The scripts run from a copy in a temporary folder, and every program they
# could start (cmake, ctest, apt-get, nginx, Xvfb, clang-format, ...) is a stub
# that records its call: "doing nothing" means no stub was called.
#
#   scripts_command_lines.sh SCRIPTS_FOLDER
set -uo pipefail
source_scripts="$1"

# The scripts whose command lines are checked (the shell scripts read theirs
# through scripts/lib/common.sh; demo-server, check-map and the Python ones have
# their own).
SCRIPTS=(bench-core build check-layers check-map demo-server format make-demo-site make-demo-tree make-skin run screenshot setup
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
  "check-layers --root /no/such/folder" "check-map --root" "check-map --root /no/such/folder" \
  "check-map /no/such/map.md" "test-fuzz --seconds" "test-fuzz --seconds 0" "test-fuzz -j 0" \
  "bench-download --runs x" "setup extra"; do
  # shellcheck disable=SC2086  # the arguments are split on purpose
  run_script $args
  [ "$status" -eq 2 ] || fail "$args exits with $status, not 2"
  no_work_done "$args"
done
# The scripts that build refuse a job count that is no positive number.
BUILDING=(build test test-tsan test-fuzz run screenshot bench-core bench-download)
for script in "${BUILDING[@]}"; do
  JOBS=many run_script "$script"
  [ "$status" -eq 2 ] || fail "$script with JOBS=many exits with $status, not 2"
  no_work_done "$script with JOBS=many"
done
FUZZ_JOBS=0 run_script test-fuzz
[ "$status" -eq 2 ] || fail "test-fuzz with FUZZ_JOBS=0 exits with $status, not 2"
no_work_done "test-fuzz with FUZZ_JOBS=0"

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

# Every script that builds takes its job count from JOBS (as scripts/test hands
# it to its stages) and configures a build it does not find through a preset.
# Each case: the stubs' exit code, the command line, and the calls expected
# (";" between them). The fuzz stage finds one stand-in fuzz target listed; the
# download benchmark finds its build configured and stops when the build fails.
mkdir -p "$work/tree/build-fuzz/fuzz" "$work/seeds" "$work/bench-built"
printf 'fuzz_a %s\n' "$work/seeds" >"$work/tree/build-fuzz/fuzz/fuzzers.txt"
printf '#!/bin/sh\necho "stat::number_of_executed_units: 1"\n' >"$work/tree/build-fuzz/fuzz/fuzz_a"
chmod +x "$work/tree/build-fuzz/fuzz/fuzz_a"
touch "$work/bench-built/build.ninja"
for case in \
  "0|build|^cmake --preset default$;^cmake --build --preset default -j3$" \
  "0|build --asan|^cmake --preset asan$;^cmake --build --preset asan -j3$" \
  "0|run|^cmake --preset default$;^cmake --build --preset default -j3 --target ZnRuntime$" \
  "0|test-tsan|^cmake --preset tsan$;^cmake --build --preset tsan -j3$;^ctest --preset tsan -j3$" \
  "0|test-fuzz --seconds 1|^cmake --preset fuzz$;^cmake --build --preset fuzz -j3 --target fuzz_a$" \
  "0|screenshot|^cmake --build $work/tree/build --target ZnShowcase -j3$" \
  "0|bench-core --build-dir $work/bench|^cmake --preset default -B $work/bench$;^cmake --build $work/bench --target core_bench -j3$" \
  "1|bench-download --build-dir $work/bench-built --size 1|^cmake --build $work/bench-built --target dl_resume_tool -j3$"; do
  IFS='|' read -r stubs args patterns <<<"$case"
  # shellcheck disable=SC2086  # the arguments are split on purpose
  STUB_STATUS="$stubs" JOBS=3 run_script $args
  IFS=';' read -ra expected <<<"$patterns"
  for pattern in "${expected[@]}"; do
    grep -q -- "$pattern" "$stub_log" || fail "$args (JOBS=3): no call like '$pattern': $(tr '\n' ';' <"$stub_log")"
  done
  if grep -q -- "^cmake -S" "$stub_log"; then fail "$args configures without a preset: $(tr '\n' ';' <"$stub_log")"; fi
done
# The fuzz stage runs as many targets at once as it has jobs.
JOBS=3 run_script test-fuzz --seconds 1
[ "$status" -eq 0 ] || fail "test-fuzz (JOBS=3) exits with $status: ${err:0:300}"
[[ "$out" == *"1 targets, 1s each, 3 at a time"* ]] || fail "test-fuzz (JOBS=3) does not run 3 at a time: $out"

# scripts/test hands its count to the sanitizer and the normal build and to
# CTest (the fuzz stage, another script, is left out of the copy here).
rm -f "$work/tree/scripts/test-fuzz"
# The map check reads docs/ARCHITECTURE.md: the copy gets a map of one row that holds.
mkdir -p "$work/tree/docs"
printf '| file | defines | what it holds |\n|---|---|---|\n| `scripts/test` |  | the tests |\n' \
  >"$work/tree/docs/ARCHITECTURE.md"
run_script test -j 3
[ "$status" -eq 0 ] || fail "test -j 3 exits with $status: ${err:0:300}"
for pattern in "^cmake --preset asan$" "^cmake --build --preset asan -j3$" "^ctest --preset asan -j3$" \
  "^cmake --preset default$" "^cmake --build --preset default -j3$" "^ctest --preset default -j3$" \
  "^ctest --preset tsan -j3$"; do
  grep -q -- "$pattern" "$stub_log" || fail "test -j 3: no call like '$pattern': $(tr '\n' ';' <"$stub_log")"
done
unset STUB_STATUS

if [ "$failures" -ne 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "the command lines of ${#SCRIPTS[@]} scripts are as documented"
