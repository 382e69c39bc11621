#!/usr/bin/env bash
# Runs the conformance suite, cross-built for Windows, once under Wine; GoogleTest's result is the
# test's result.
set -euo pipefail
program=$1
prefix=$2
source "$(dirname "$0")/wine_env.sh" "$prefix"
# Machine state the cases cannot make through the API (registry values, services), per area.
shopt -s nullglob
for step in "$(dirname "$0")"/conformance.d/*.sh; do
  source "$step"
done
# The set-up steps ran Wine without a display; a window needs a wineserver started with one, so
# the set-up's server has to end first.
timeout 60 wineserver -w || timeout 20 wineserver -k || true
# The window cases need a display (a virtual one when there is none). Wine's own debug output is
# off: it would repeat each GoogleTest failure as debugger output.
export WINEDEBUG=-all
run_wine "$program"
