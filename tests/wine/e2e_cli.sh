#!/usr/bin/env bash
# End-to-end cases of corvelcmd.exe on the printer lab (tools/lab/lab_lib.sh), under Wine:
# "list --json" sees the lab's printers with their versions and names the one that does not
# answer as unreachable (exit code 7), and "list --json --jobs 4" gives the same printers;
# "update --all --dry-run" decides for every printer and burns nothing (its exit code is 7: the
# silent printer is unreachable, which goes before the Asian-panel printer's missing image);
# "update --printer" on the older network printer exits 0 and the printer then reports 216; the
# image's SHA-256 (list --json, the summary, the trace's burn line) is sha256sum's.
#
#   e2e_cli.sh CORVELCMD PROGRAM LABDIR NATIVE_BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/cli_lib.sh" cli "$@"
lab_start
cli_start "$LAB_DIR/e2e-cli"

p="TV Vexline Q5530n"
cli list list --json
exit_code list 7
declare -A version=([older]=215 [current]=216 ["Asian panel"]=215 [localhost]=216 [USB]=215 [parallel]=215)
for role in older current "Asian panel" localhost USB parallel; do
  name="$p ($role)"
  if [ -z "${lab_channel[$name]:-}" ]; then
    echo "NOT CHECKED: \"$name\" (its printer could not start)"
    continue
  fi
  seen=$(json list "[x['firmware'] for x in d['printers'] if x['name'] == '''$name''']")
  check "list --json shows \"$name\" at ${version[$role]} (saw $seen)" test "$seen" = "['${version[$role]}']"
done
check "list --json names the printer that does not answer as unreachable" \
  test "$(json list "[(x['decision'], x['message']) for x in d['printers'] if 'not answering' in x['name']]")" = \
  "[('unreachable', \"No answer within the version query's time-out.\")]"
check "list --json: the older printer is to be updated with TVQ5530n.bin 216" \
  test "$(json list "[(x['decision'], x['image'], x['image_version']) for x in d['printers'] if x['name'] == '''$p (older)''']")" = \
  "[('update', 'TVQ5530n.bin', '216')]"
image_sum=$(sha256sum "$lab_folder/TVQ5530n.bin" | cut -c1-64)
image_size=$(stat -c %s "$lab_folder/TVQ5530n.bin")
check "list --json: the older printer's image is identified by sha256sum's digest and its size" \
  test "$(json list "[(x['image_sha256'], x['image_size']) for x in d['printers'] if x['name'] == '''$p (older)''']")" = \
  "[('$image_sum', $image_size)]"
check "list --json: the Asian-panel printer is skipped with the dialog's sentence" \
  test "$(json list "[x['error'] for x in d['printers'] if x['name'] == '''$p (Asian panel)''']")" = \
  "[{'code': 5, 'message': 'This Utility does not support a Network Printer with Asian Control Panel.'}]"

# The same list from one child corvelcmd per printer (the parallel printer alone, after the others).
cli jobs list --json --jobs 4
exit_code jobs 7
# A parallel printer's decision asks its version after a spooler restart; when Wine's spooler is
# slow to stop, that run logs "Failed to StopSpoolerService()" and decides "current" (a failed
# query never asks for a download). Such a printer's decision is then not compared, and said so.
check "list --json --jobs 4 gives the same printers as list --json" python3 -c '
import json, sys
a, b = (json.load(open(f))["printers"] for f in sys.argv[1:3])
refused = any("Failed to StopSpoolerService()" in open(f, errors="replace").read() for f in sys.argv[3:])
decided = ("decision", "message", "error")
if len(a) != len(b):
    sys.exit(1)
for x, y in zip(a, b):
    if x == y:
        continue
    same = {k: v for k, v in x.items() if k not in decided} == {k: v for k, v in y.items() if k not in decided}
    if not (refused and same and x["connection"] == "Parallel"):
        sys.exit(1)
    print("NOT COMPARED: the decision for \"%s\" (%s against %s): a spooler stop failed under Wine"
          % (x["name"], x["decision"], y["decision"]))
' "$work/list.out" "$work/jobs.out" "$work/list.err" "$work/jobs.err"
cli dry update --all --dry-run
exit_code dry 7
check "the dry run burned nothing" bash -c '! grep -q burn "$@"' _ "${lab_log[@]}"
check "the dry run named the older printer for an update" grep -q "^$p (older) .*update (dry run)$" "$work/dry.out"

cli update update --printer "$p (older)" --yes
exit_code update 0
check "the update's summary shows the older printer updated to 216" \
  grep -qE "^$p \(older\) +Network +215 +216 +${image_sum:0:12} +216 +-- Updated --$" "$work/update.out"
check "the older printer logged the accepted burn" grep -qF "burn accepted" "${lab_log[$p (older)]}"
check "the updated printer reports version 216" test "$(lab_query_version "${lab_endpoint[$p (older)]}")" = 00000216
check "no other printer was burned" bash -c 'for f; do ! grep -q burn "$f" || exit 1; done' _ \
  "${lab_log[$p (current)]}" "${lab_log[$p (USB)]}" "${lab_log[$p (parallel)]}"
lab_trace "$work/update.err" >"$work/trace.txt"
check "the update's trace shows the download" grep -q "_DownloadFirmware()" "$work/trace.txt"
check "the update's trace names the burned file with its size and SHA-256" \
  grep -qF "$p (older): burning TVQ5530n.bin, $image_size bytes, SHA-256 $image_sum" "$work/trace.txt"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
