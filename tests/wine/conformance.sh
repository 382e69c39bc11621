#!/usr/bin/env bash
# Runs the conformance suite, cross-built for Windows, once under Wine; GoogleTest's result is the
# test's result.
set -euo pipefail
program=$1
prefix=$2
source "$(dirname "$0")/wine_env.sh" "$prefix"
# The suite calls no window functions, so it needs no display; its failures alone are shown.
export WINEDEBUG=-all
"$WINE" "$program"
