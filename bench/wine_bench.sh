#!/usr/bin/env bash
# Runs the Windows benchmark (the network burn next to a raw push) under Wine against a
# printer-server on a loopback address of its own, and prints its figures with the machine's load.
#
#   bash bench/wine_bench.sh [IMAGE_MIB [TURNS]]        (defaults 64 and 7)
#
# Needs the Windows preset's corvel_wine_bench.exe and the bench preset's (optimised)
# printer-server; the Wine prefix is the Windows preset's own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$root/build/windows/bench/corvel_wine_bench.exe
server=$root/build/bench/printer/printer-server
mebibytes=${1:-64}
turns=${2:-7}

for built in "$program" "$server"; do
  if [ ! -e "$built" ]; then
    echo "$built is not built; first:"
    echo "  cmake --preset windows && cmake --build --preset windows --target corvel_wine_bench"
    echo "  cmake --preset bench && cmake --build --preset bench"
    exit 1
  fi
done

source "$root/tests/wine/wine_env.sh" "$root/build/windows/wineprefix"
export WINEDEBUG=-all  # no debug output: the program's trace lines are not shown

log=$(mktemp)
server_pid=
wine_pid=
cleanup() {
  for pid in $wine_pid $server_pid; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -f "$log"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A printer on a random address in 127.100.0.0 to 127.249.255.255, tried again when it is taken;
# `timeout` ends it even if this script is killed before it can stop it.
address=
for attempt in 1 2 3 4 5; do
  candidate="127.$((RANDOM % 150 + 100)).$((RANDOM % 256)).$((RANDOM % 250 + 2))"
  timeout 3600 "$server" --address "$candidate" >"$log" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    if grep -q "on $candidate:9100," "$log"; then address=$candidate; break 2; fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=
done
[ -n "$address" ] || { echo "printer-server did not start:"; cat "$log"; exit 1; }

echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
# In the background, so that a signal to this script is taken at once.
"$WINE" "$program" "$address" "$mebibytes" "$turns" &
wine_pid=$!
status=0
wait "$wine_pid" || status=$?
wine_pid=
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "printer: $(grep -c 'burn accepted' "$log") burns accepted, $(grep -c 'burn refused' "$log") refused"
exit "$status"
