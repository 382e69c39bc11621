#!/usr/bin/env bash
# Sets up and runs the printer lab (tools/lab/lab.sh): builds printer-server and fwimage (native
# preset) and corvel.exe and ui_driver.exe (Windows preset), starts simulated printers on the
# network, USB and the parallel port, installs them in a private Wine prefix and runs the Windows
# program there. With a display the program is yours to use; without one (or with --demo) a
# scripted session runs on a virtual display and its screenshots, the program's trace and the
# printers' logs go to build/lab/out. Options are passed on to lab.sh (see its --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
exec bash tools/lab/lab.sh "$@"
