#!/usr/bin/env bash
# End-to-end cases of corvelcmd.exe for a fleet, under Wine, on a lab of its own (its folder,
# prefix and printers): two older network printers, a current one and a silent one installed, and
# an older one that is not installed.
# - "list --json" names the silent printer as unreachable and exits 7;
# - "update --address" to the printer not installed updates it to 216;
# - "update --all --jobs 3 --json" updates the two older printers in child processes, and its
#   document equals the sequential run's (made first, on the same printers at 215) in everything
#   but the seconds.
#
#   e2e_cli_fleet.sh CORVELCMD PROGRAM LABDIR NATIVE_BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/cli_lib.sh" cli_fleet "$@"
p="TV Vexline Q5530n"
lab_printers=(
  "$p (fleet 1)|network|--version 215"
  "$p (fleet 2)|network|--version 215"
  "$p (fleet current)|network|--version 216"
  "$p (fleet silent)|network|--version 215 --silent"
)
lab_start
cli_start "$LAB_DIR/out"
lab_serve_network "not installed" "$LAB_DIR/logs/printer-not-installed.log" --version 215
outside=${lab_endpoint[not installed]}

# restart NAME: the printer-server of NAME again at its address, at version 215.
restart() { lab_restart "$1" --version 215; }

cli list list --json
exit_code list 7
check "list --json names the silent printer as unreachable" \
  test "$(json list "[(x['decision'], x['message']) for x in d['printers'] if x['name'] == '''$p (fleet silent)''']")" = \
  "[('unreachable', \"No answer within the version query's time-out.\")]"
check "list --json lists every installed printer" test "$(json list "len(d['printers'])")" = 4

cli address update --address "$outside" --yes --json
exit_code address 0
check "update --address updates the printer that is not installed" \
  test "$(json address "[(x['name'], x['result'], x['firmware_after']) for x in d['printers']]")" = \
  "[('$outside', 'updated', '216')]"
check "the printer by address reports version 216" test "$(lab_query_version "$outside")" = 00000216

cli sequential update --all --yes --json
exit_code sequential 7
for n in 1 2; do
  check "the sequential run updated fleet $n" test "$(lab_query_version "${lab_endpoint[$p (fleet $n)]}")" = 00000216
  restart "$p (fleet $n)"
done
cli jobs update --all --jobs 3 --yes --json
exit_code jobs 7
for n in 1 2; do
  check "the run with --jobs 3 updated fleet $n" test "$(lab_query_version "${lab_endpoint[$p (fleet $n)]}")" = 00000216
done
check "update --jobs 3 gives the sequential run's document but for the seconds" python3 -c '
import json, sys
a, b = (json.load(open(f)) for f in sys.argv[1:3])
for d in (a, b):
    for x in d["printers"]:
        x.pop("seconds")
sys.exit(0 if a == b else 1)
' "$work/sequential.out" "$work/jobs.out"
# The two burns overlapped: each network update takes at least 55 s (20 s after the burn, 35 s
# restart wait), so one after the other take 110 s or more.
echo "update --all: $(cat "$work/sequential.seconds") s sequential, $(cat "$work/jobs.seconds") s with --jobs 3"
check "the run with --jobs 3 took less than two updates' time" test "$(cat "$work/jobs.seconds")" -lt 110

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
