#!/usr/bin/env bash
# Sets up, builds both programs (native against the simulated host with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows program with mingw-w64) and the fuzz targets
# (clang, libFuzzer), and runs every test: the native tests, the Windows program's tests under
# Wine (the end-to-end tests on the printer lab among them), and a short run of each fuzz target
# over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset native
cmake --build --preset native -j "$jobs"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"

status=0
ctest --preset native -j "$jobs" || status=1
ctest --preset windows || status=1
ctest --preset fuzz -j "$jobs" || status=1
exit $status
