# shellcheck shell=bash
# The command line the scripts in scripts/ share, sourced by each of them:
#   -h, --help       prints the script's usage (its header comment, then the
#                    options below) on standard output and exits 0
#   -j N, --jobs N   the job count of a script that builds (SCRIPT_JOBS=1)
# A wrong argument is refused on standard error with exit code 2, before the
# script has done anything.
#
# Before calling parse_args "$@" a script sets
#   SYNOPSIS      its one-line usage, shown after a wrong argument
#   SCRIPT_JOBS   1 when it takes -j N: parse_args then sets $jobs, from -j N,
#                 else the first of JOBS_FROM (default: JOBS) that is set,
#                 else the number of cores
# and may define script_option ARGS..., which handles the script's own argument
# $1 (taking its values from $2 ...) by setting TAKEN to the number of
# arguments it used; TAKEN left at 0 refuses $1 as unknown.

SCRIPT_NAME=$(basename "$0")
ZN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SCRIPT_JOBS=${SCRIPT_JOBS:-0}
JOBS_FROM=${JOBS_FROM:-JOBS}
jobs=""

# usage: the script's header comment (from its second line to the first line
# that is no comment) and the options every script takes.
usage() {
  awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
  if [ "$SCRIPT_JOBS" = 1 ]; then
    echo "  -j N, --jobs N   N parallel jobs (default: \$${JOBS_FROM// /, else \$} when set, else every core)"
  fi
  echo "  -h, --help       show this text"
}

# fail MESSAGE: a wrong command line.
fail() {
  echo "$SCRIPT_NAME: $*" >&2
  echo "usage: ${SYNOPSIS:-scripts/$SCRIPT_NAME} (--help shows more)" >&2
  exit 2
}

jobs_ok() { [[ "$1" =~ ^[1-9][0-9]*$ ]]; }

parse_args() {
  local count
  while [ $# -gt 0 ]; do
    count=0
    case "$1" in
      -h|--help) usage; exit 0 ;;
      -j|--jobs)
        if [ "$SCRIPT_JOBS" = 1 ]; then
          [ $# -ge 2 ] && jobs_ok "$2" || fail "$1 needs a positive number"
          jobs="$2"; count=2
        fi ;;
      -j*)
        if [ "$SCRIPT_JOBS" = 1 ]; then
          jobs_ok "${1#-j}" || fail "$1: -j needs a positive number"
          jobs="${1#-j}"; count=1
        fi ;;
    esac
    if [ "$count" = 0 ] && declare -F script_option >/dev/null; then
      TAKEN=0
      script_option "$@"
      count=$TAKEN
    fi
    [ "$count" -gt 0 ] || fail "unknown argument $1"
    shift "$count"
  done
  if [ "$SCRIPT_JOBS" = 1 ] && [ -z "$jobs" ]; then jobs_from_environment; fi
}

# jobs_from_environment: $jobs from the first variable of JOBS_FROM that is set,
# else every core.
jobs_from_environment() {
  local name value
  for name in $JOBS_FROM; do
    value="${!name:-}"
    if [ -n "$value" ]; then
      jobs_ok "$value" || fail "$name must be a positive number, not '$value'"
      jobs="$value"
      return
    fi
  done
  jobs=$(nproc)
}

# configure_build PRESET [DIR]: configures the build of the configure preset
# PRESET (CMakePresets.json), into DIR instead of the preset's folder when
# given, unless it is configured already (a configured build reconfigures
# itself when a CMakeLists.txt changes).
configure_build() {
  local preset="$1" dir="${2:-}" binary
  binary="${dir:-$ZN_ROOT/$(preset_folder "$preset")}"
  [ -f "$binary/build.ninja" ] && return 0
  (cd "$ZN_ROOT" && cmake --preset "$preset" ${dir:+-B "$dir"} >/dev/null)
}

# preset_folder PRESET: the build folder of each configure preset, relative to
# the tree.
preset_folder() {
  case "$1" in
    default) echo build ;;
    *) echo "build-$1" ;;
  esac
}
