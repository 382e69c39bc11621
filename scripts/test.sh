#!/usr/bin/env bash
# Sets up, builds both programs (native against the simulated host with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows program with mingw-w64) and the fuzz targets
# (clang, libFuzzer), and runs every test: the native tests, the Windows program's tests under
# Wine (the end-to-end tests on the printer lab among them, side by side), and a short run of each
# fuzz target over its seed corpus (beside the Windows tests). At its end it prints the wall time
# of each phase.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
# The Windows preset's tests at once (WINE_TEST_JOBS, default 4): most of their time is the
# program's fixed waits and idle Wine, each in a prefix and network of its own (tests/README.md).
wine_jobs=${WINE_TEST_JOBS:-4}

# phase NAME COMMAND...: runs one phase and notes its wall time.
timings=()
phase() {
  local name=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  timings+=("$(printf 'time: %-15s %4d s%s' "$name" $((SECONDS - start)) "$([ $status -eq 0 ] || echo ' (failed)')")")
  return $status
}
report() {
  printf '%s\n' "${timings[@]}"
  printf 'time: %-15s %4d s\n' total "$SECONDS"
}
wine_pid=""
trap 'report; [ -z "$wine_pid" ] || kill "$wine_pid" 2>/dev/null || true' EXIT
build() { cmake --preset "$1" && cmake --build --preset "$1" -j "$jobs"; }

phase set-up bash scripts/setup.sh
# The compiler cache, where installed and not set otherwise: an object that two targets build from
# the same source is compiled once, and a second run compiles only what changed.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR-$PWD}
fi
phase "native build" build native
phase "windows build" build windows

status=0
phase "native tests" ctest --preset native -j "$jobs" || status=1

# The Windows preset's tests spend most of their time in the program's fixed waits and idle Wine:
# the fuzz build and the fuzz run go on beside them, at a lower priority, so that the Wine tests'
# waits and time-outs see little of that load. Their output follows once they end.
wine_log=$(mktemp)
wine_start=$SECONDS
ctest --preset windows -j "$wine_jobs" >"$wine_log" 2>&1 &
wine_pid=$!
renice -n 10 -p $$ >/dev/null || true
if phase "fuzz build" build fuzz; then
  phase "fuzz tests" ctest --preset fuzz -j "$jobs" || status=1
else
  status=1
fi
wine_status=0
wait "$wine_pid" || wine_status=$?
wine_pid=""
# Their own wall time, as CTest measured it (they may end before the fuzz run).
wine_seconds=$(sed -n 's/^Total Test time (real) = *\([0-9]*\).*/\1/p' "$wine_log")
timings+=("$(printf 'time: %-15s %4d s%s' "windows tests" "${wine_seconds:-$((SECONDS - wine_start))}" \
  "$([ $wine_status -eq 0 ] || echo ' (failed)')")")
echo "--- the Windows preset's tests"
cat "$wine_log"
rm -f "$wine_log"
[ $wine_status -eq 0 ] || status=1
exit $status
