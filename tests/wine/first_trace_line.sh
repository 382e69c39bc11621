#!/usr/bin/env bash
# Runs the Windows program under Wine and checks that its first trace line arrives as the
# system's debug output, in the program's line format: CORVL(<thread id, upper-case hex>): text
set -euo pipefail
program=$1
prefix=$2
source "$(dirname "$0")/wine_env.sh" "$prefix"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
run_wine "$program" 2>"$out" >/dev/null || { echo "the program failed under Wine"; cat "$out"; exit 1; }

# Wine shows each OutputDebugStringW line as: <tid>:warn:seh:OutputDebugStringA "<text>"
line=$(grep -m1 'OutputDebugStringA' "$out" || true)
if [ -z "$line" ]; then
  echo "no debug output from the program"; cat "$out"; exit 1
fi
echo "first trace line: $line"
re='^([0-9a-f]+):warn:seh:OutputDebugStringA "CORVL\(([1-9A-F][0-9A-F]*)\): InitInstance\(\)\\n"$'
if [[ ! $line =~ $re ]]; then
  echo "the line is not in the program's trace format"; exit 1
fi
# The thread id in the line is the one Wine reports for the writing thread.
if (( 16#${BASH_REMATCH[1]} != 16#${BASH_REMATCH[2]} )); then
  echo "thread id ${BASH_REMATCH[2]} in the line is not the writer's (${BASH_REMATCH[1]})"; exit 1
fi
echo "1 passed, 0 failed"
