#!/usr/bin/env bash
# Sets up, builds both presets (the Windows program with its driver ui_driver, and the native
# build with the simulated printer server and the image builder) and runs the Windows program
# under Wine in a private prefix, showing its trace lines. With a display the program is yours to
# use; without one it runs on a virtual display, where ui_driver shows what its main dialog holds,
# answers its message box and closes it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset native
cmake --build --preset native -j "$jobs"
cmake --preset windows
cmake --build --preset windows -j "$jobs"

program=build/windows/src/corvel.exe
driver=build/windows/tests/ui_driver.exe
title="TVQ5530 MFP Series Firmware Download Utility (1.2.0.6)"
trace_lines() { sed -un 's/^[0-9a-f]*:warn:seh:OutputDebugStringA "\(.*\)"$/\1/p'; }

if [ -n "${DISPLAY:-}" ]; then
  source tests/wine/wine_env.sh "$PWD/build/windows/wineprefix"
  echo "Running $program under Wine; its trace lines follow."
  "$WINE" "$program" 2>&1 >/dev/null | trace_lines
  exit 0
fi

command -v xvfb-run >/dev/null || { echo "no display and no xvfb-run (Debian package xvfb)"; exit 1; }
echo "No display: running $program on a virtual display, driven by $driver."
export program driver title
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  source tests/wine/wine_env.sh "$PWD/build/windows/wineprefix"
  "$WINE" reg add "HKCU\Software\Wine\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
  timeout 60 wineserver -w || true
  "$WINE" "$program" 2>build/windows/run.debug >/dev/null &
  program_pid=$!
  trap "kill $program_pid 2>/dev/null || true; timeout 20 wineserver -k 2>/dev/null || true" EXIT
  # The box is the one an empty list shows; any other box ends the driver with its text.
  WINEDEBUG=-all "$WINE" "$driver" --timeout 30000 wait-dialog "$title" dump \
    expect-box "No printers found." close wait-exit | tr -d "\r" || echo "(the driver stopped early)"
  wait $program_pid || true
'
echo "Its trace lines:"
trace_lines <build/windows/run.debug
