#!/usr/bin/env bash
# corvelcmd's list over a fleet under Wine: 20 network printers (printer-server on loopback
# addresses), 4 of them silent, listed once sequentially and once with --jobs 8, in one run.
# Prints both wall-clock times and checks that both runs list the same 16 printers.
#
#   bash bench/cli_fleet.sh [CORVELCMD]      (default build/windows/src/corvelcmd.exe)
#
# Needs the native preset's printer-server and fwimage and the Windows preset's corvelcmd.exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
LAB_CLI=$(realpath -- "${1:-$root/build/windows/src/corvelcmd.exe}")
LAB_PROGRAM=$LAB_CLI
LAB_DRIVER=""
LAB_DIR=$root/build/windows/fleet-bench
LAB_SERVER=$root/build/native/printer/printer-server
LAB_FWIMAGE=$root/build/native/tools/fwimage
for file in "$LAB_CLI" "$LAB_SERVER" "$LAB_FWIMAGE"; do
  [ -e "$file" ] || { echo "missing $file (build the native and the Windows presets)"; exit 1; }
done
source "$root/tools/lab/lab_lib.sh"
lab_specs=()
for i in $(seq -w 1 20); do
  silent=""
  (( 10#$i % 5 == 0 )) && silent=" --silent"
  lab_specs+=("TV Vexline Q5530n (fleet $i)|network|--version 215$silent")
done
lab_start
cp "$LAB_CLI" "$lab_folder/corvelcmd.exe"
out="$LAB_DIR/out"
mkdir -p "$out"

# run NAME ARGS...: corvelcmd list in its folder; the table to NAME.txt, the seconds taken to stdout.
run() {
  local name=$1 start end status=0
  shift
  start=$(date +%s.%N)
  (cd "$lab_folder" && WINEDEBUG=-all "$WINE" corvelcmd.exe list "$@" </dev/null 2>"$out/$name.err" |
    tr -d '\r' >"$out/$name.txt") || status=$?
  end=$(date +%s.%N)
  [ "$status" -eq 0 ] || { echo "corvelcmd list $* exited $status" >&2; cat "$out/$name.err" >&2; return 1; }
  echo "$end - $start" | bc
}
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
sequential=$(run sequential)
jobs8=$(run jobs8 --jobs 8)
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
listed_seq=$(($(wc -l <"$out/sequential.txt") - 1))
listed_jobs=$(($(wc -l <"$out/jobs8.txt") - 1))
printf 'fleet: 20 network printers, 4 silent; listed %d (sequential) and %d (--jobs 8)\n' "$listed_seq" "$listed_jobs"
printf 'corvelcmd list            %6.1f s\n' "$sequential"
printf 'corvelcmd list --jobs 8   %6.1f s\n' "$jobs8"
if cmp -s <(cut -c1-200 "$out/sequential.txt" | sed 's/ *$//') <(cut -c1-200 "$out/jobs8.txt" | sed 's/ *$//'); then
  echo "both runs printed the same table"
else
  echo "the tables differ:"; diff "$out/sequential.txt" "$out/jobs8.txt" || true
  exit 1
fi
