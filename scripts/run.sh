#!/usr/bin/env bash
# Sets up, builds both presets (the Windows program, and the native build with the simulated
# printer server and the image builder) and runs the Windows program under Wine, showing its trace
# lines. (So far the program starts, initialises its trace log and ends; its printer list and
# download dialog come with the user-interface work.)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset native
cmake --build --preset native -j "$jobs"
cmake --preset windows
cmake --build --preset windows -j "$jobs"

source tests/wine/wine_env.sh "$PWD/build/windows/wineprefix"
echo "Running build/windows/src/corvel.exe under Wine; its trace lines follow."
run_wine build/windows/src/corvel.exe 2>&1 >/dev/null | sed -n 's/^[0-9a-f]*:warn:seh:OutputDebugStringA "\(.*\)"$/\1/p'
