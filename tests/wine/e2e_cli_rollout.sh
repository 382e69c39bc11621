#!/usr/bin/env bash
# End-to-end cases of a guarded rollout with corvelcmd.exe, under Wine, on a lab of its own (its
# folder, prefix and printers): six older network printers; the first refuses its burn at once,
# the second and third answer their burn 15 s late (within the burn's 20 s time-out), so the failure
# is the first child to end.
# - "update --all --jobs 3 --max-failures 1 --json" starts no printer after the failure: the
#   first is failed, the two beside it are updated, the other three are stopped with the reason;
# - with every printer back at 215 and none refusing, "update --all --canary --jobs 3" updates all.
#
#   e2e_cli_rollout.sh CORVELCMD PROGRAM LABDIR NATIVE_BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/cli_lib.sh" cli_rollout "$@"
p="TV Vexline Q5530n"
lab_printers=(
  "$p (rollout 1)|network|--version 215 --fault-command 15 --status 2"
  "$p (rollout 2)|network|--version 215 --fault-command 15 --delay 15000"
  "$p (rollout 3)|network|--version 215 --fault-command 15 --delay 15000"
  "$p (rollout 4)|network|--version 215"
  "$p (rollout 5)|network|--version 215"
  "$p (rollout 6)|network|--version 215"
)
lab_start
cli_start "$LAB_DIR/out"

cli limit update --all --jobs 3 --max-failures 1 --yes --json
exit_code limit 1
check "--max-failures 1: the failure, the two running beside it, the rest stopped" \
  test "$(json limit "[x['result'] for x in d['printers']]")" = \
  "['failed', 'updated', 'updated', 'stopped', 'stopped', 'stopped']"
check "the printers not started say why" \
  test "$(json limit "sorted(set(x['message'] for x in d['printers'][3:]))")" = \
  "['not started: 1 update failed, the limit is 1']"
for n in 4 5 6; do
  check "rollout $n was not burned" test "$(lab_query_version "${lab_endpoint[$p (rollout $n)]}")" = 00000215
done

for n in 1 2 3 4 5 6; do
  lab_restart "$p (rollout $n)" --version 215
done
cli canary update --all --jobs 3 --canary --yes --json
exit_code canary 0
check "--canary with a good image updates all" \
  test "$(json canary "[(x['result'], x['firmware_after']) for x in d['printers']]")" = \
  "$(python3 -c "print([('updated', '216')] * 6)")"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
