#!/usr/bin/env bash
# corvelcmd over a fleet under Wine, in one run, each side on a lab of its own (printer-server on
# loopback addresses, installed in a prefix under build/windows/fleet-bench):
# - list: 20 network printers, 4 of them silent, listed sequentially and with --jobs 8;
# - update: 12 network printers, 6 of them older, `update --all --yes` sequentially and with
#   --jobs 6 (the older printers are put back to 215 between the two runs).
# Prints the wall-clock times side by side. Fails when a lab did not start the fleet it names,
# when a list does not name every printer or the printers that answer are not the ones started
# answering, when the two lists differ, or when an update run did not update the older printers.
#
#   bash bench/cli_fleet.sh [CORVELCMD]      (default build/windows/src/corvelcmd.exe)
#
# Needs the native preset's printer-server and fwimage and the Windows preset's corvelcmd.exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
LAB_CLI=$(realpath -- "${1:-$root/build/windows/src/corvelcmd.exe}")
phase=${2:-}
LAB_PROGRAM=$LAB_CLI
LAB_DRIVER=""
LAB_SERVER=$root/build/native/printer/printer-server
LAB_FWIMAGE=$root/build/native/tools/fwimage
for file in "$LAB_CLI" "$LAB_SERVER" "$LAB_FWIMAGE"; do
  [ -e "$file" ] || { echo "missing $file (build the native and the Windows presets)"; exit 1; }
done
bench=$root/build/windows/fleet-bench
p="TV Vexline Q5530n"

if [ -z "$phase" ]; then
  # Each side in a process of its own (its own lab and Wine prefix); the figures at the end.
  echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
  bash "$0" "$LAB_CLI" list
  bash "$0" "$LAB_CLI" update
  echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
  cat "$bench/list/out/figures.txt" "$bench/update/out/figures.txt"
  exit 0
fi

LAB_DIR=$bench/$phase
source "$root/tools/lab/lab_lib.sh"
lab_printers=()
case $phase in
  list)
    for i in $(seq -w 1 20); do
      silent=""
      (( 10#$i % 5 == 0 )) && silent=" --silent"
      lab_printers+=("$p (fleet $i)|network|--version 215$silent")
    done
    ;;
  update)
    for i in $(seq -w 1 12); do
      version=216
      (( 10#$i % 2 == 1 )) && version=215
      lab_printers+=("$p (fleet $i)|network|--version $version")
    done
    ;;
  *) echo "unknown phase $phase"; exit 2 ;;
esac
mkdir -p "$LAB_DIR/logs"
lab_start >"$LAB_DIR/logs/lab.txt"
if [ "${#lab_names[@]}" -ne "${#lab_printers[@]}" ]; then
  echo "the lab started ${#lab_names[@]} of the ${#lab_printers[@]} printers it names" >&2
  exit 1
fi
cp "$LAB_CLI" "$lab_folder/corvelcmd.exe"
out="$LAB_DIR/out"
rm -rf "$out"
mkdir -p "$out"

# run NAME CODE ARGS...: corvelcmd in its folder, standard output to NAME.json; fails unless it
# exits CODE. The seconds taken to standard output.
run() {
  local name=$1 expected=$2 start end status=0
  shift 2
  start=$(date +%s.%N)
  (cd "$lab_folder" && WINEDEBUG=-all "$WINE" corvelcmd.exe "$@" </dev/null 2>"$out/$name.err" |
    tr -d '\r' >"$out/$name.json") || status=$?
  end=$(date +%s.%N)
  [ "$status" -eq "$expected" ] || {
    echo "corvelcmd $* exited $status, not $expected" >&2
    tail -n 20 "$out/$name.err" >&2
    return 1
  }
  echo "$end - $start" | bc
}
# count FILE EXPRESSION: the number of printers of the document for which EXPRESSION holds.
count() {
  python3 -c "import json,sys; print(sum(1 for x in json.load(open(sys.argv[1]))['printers'] if $2))" "$1"
}
# without_seconds FILE: the document without the seconds each printer took.
without_seconds() {
  python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
for x in d["printers"]:
    x.pop("seconds", None)
print(json.dumps(d, sort_keys=True))' "$1"
}

case $phase in
  list)
    silent=$(printf '%s\n' "${lab_printers[@]}" | grep -c -- '--silent' || true)
    answering=$((${#lab_names[@]} - silent))
    sequential=$(run sequential 7 list --json)
    jobs8=$(run jobs8 7 list --json --jobs 8)
    for name in sequential jobs8; do
      listed=$(count "$out/$name.json" True)
      answered=$(count "$out/$name.json" "x['decision'] != 'unreachable'")
      if [ "$listed" -ne "${#lab_names[@]}" ] || [ "$answered" -ne "$answering" ]; then
        echo "list ($name) named $listed printers, $answered answering; the lab has ${#lab_names[@]}, $answering answering" >&2
        exit 1
      fi
    done
    cmp -s "$out/sequential.json" "$out/jobs8.json" || { echo "the two lists differ" >&2; exit 1; }
    {
      printf 'list: %d network printers, %d silent; both runs named all %d, %d answering, the same document\n' \
        "${#lab_names[@]}" "$silent" "$listed" "$answered"
      printf '  corvelcmd list --json              %6.1f s\n' "$sequential"
      printf '  corvelcmd list --json --jobs 8     %6.1f s\n' "$jobs8"
    } >"$out/figures.txt"
    ;;
  update)
    older=()
    for printer in "${lab_printers[@]}"; do
      [[ $printer == *"--version 215"* ]] && older+=("${printer%%|*}")
    done
    sequential=$(run sequential 0 update --all --yes --json)
    # The older printers at 215 again, at their addresses.
    for name in "${older[@]}"; do
      lab_restart "$name" --version 215
    done
    jobs6=$(run jobs6 0 update --all --yes --json --jobs 6)
    for name in sequential jobs6; do
      updated=$(count "$out/$name.json" "x['result'] == 'updated' and x['firmware_after'] == '216'")
      [ "$updated" -eq "${#older[@]}" ] || { echo "update ($name) updated $updated of ${#older[@]} older printers" >&2; exit 1; }
    done
    [ "$(without_seconds "$out/sequential.json")" = "$(without_seconds "$out/jobs6.json")" ] ||
      { echo "the two update documents differ beyond the seconds" >&2; exit 1; }
    {
      printf 'update: %d network printers, %d older; both runs updated the %d to 216, the same document but for the seconds\n' \
        "${#lab_names[@]}" "${#older[@]}" "${#older[@]}"
      printf '  corvelcmd update --all --yes            %6.1f s\n' "$sequential"
      printf '  corvelcmd update --all --yes --jobs 6   %6.1f s\n' "$jobs6"
    } >"$out/figures.txt"
    ;;
esac
