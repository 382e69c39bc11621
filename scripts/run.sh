#!/usr/bin/env bash
# Sets up, builds the Windows program and runs it under Wine, showing its trace lines.
# (So far the program starts, initialises its trace log and ends; the printer list and the
# firmware download come with later work.)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows
cmake --build --preset windows -j "$(nproc 2>/dev/null || echo 2)"

source tests/wine/wine_env.sh "$PWD/build/windows/wineprefix"
echo "Running build/windows/src/corvel.exe under Wine; its trace lines follow."
run_wine build/windows/src/corvel.exe 2>&1 >/dev/null | sed -n 's/^[0-9a-f]*:warn:seh:OutputDebugStringA "\(.*\)"$/\1/p'
