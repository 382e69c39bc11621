#!/usr/bin/env bash
# End-to-end cases on the printer lab (tools/lab/lab_lib.sh): corvel.exe under Wine, driven by
# ui_driver, against printer-server on the network, USB and the parallel port.
#
#   e2e.sh network|parallel PROGRAM DRIVER LABDIR NATIVE_BUILD_DIR
#
# network: the list shows the lab's printers with their connection kinds and versions and leaves
#   out the one that does not answer, the printer behind the host name "localhost" included; a
#   current printer gets "Firmware is current..."; the Asian-panel printer, whose image is left
#   out, gets its "does not support" box; an older network printer is updated ("-- Updated --",
#   the printer then reports the image's version, the trace shows the 35 s wait); the USB printer
#   is updated; last, a network printer that stops reading mid-image (its image made 8 MiB, larger
#   than the socket buffers) ends in the burn's failure box after the send time-out and the main
#   dialog comes back.
# parallel: the parallel printer is updated, the spooler stopped and started around it.
set -euo pipefail
mode=$1
LAB_PROGRAM=$2
LAB_DRIVER=$3
LAB_DIR=$(realpath -m -- "$4")
LAB_SERVER=$5/printer/printer-server
LAB_FWIMAGE=$5/tools/fwimage
for file in "$LAB_SERVER" "$LAB_FWIMAGE"; do
  [ -x "$file" ] || { echo "wine.e2e.$mode skipped: no $file (build the native preset)"; exit 0; }
done

if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "no display and no xvfb-run (Debian package xvfb)"; exit 1; }
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
source "$(dirname "$0")/../../tools/lab/lab_lib.sh"
lab_start
work="$LAB_DIR/e2e-$mode"
rm -rf "$work"
mkdir -p "$work"
lab_run_program "$work/program.debug"

# drive NAME COMMAND...: a driver run, shown; it must end well.
drive() {
  local name=$1 status=0
  shift
  lab_drive "$work/$name.lines" --timeout 60000 "$@" || status=$?
  sed "s/^/  $name: /" "$work/$name.lines"
  check "the driver's run \"$name\" ended well" test "$status" -eq 0
}
saw() { check "$1 shows: $2" grep -qxF -- "$2" "$work/$1.lines"; }
logged() { check "the printer \"$1\" logged: $2" grep -qF -- "$2" "${lab_log[$1]}"; }
# download NAME ROLE...: selects the printer's row and presses Download Firmware, then the rest.
download() {
  local name=$1 role=$2 row
  shift 2
  row=$(lab_row "$work/list.lines" "$name")
  if [ -z "$row" ]; then
    check "\"$name\" is listed for its download" false
    return
  fi
  drive "$role" wait-dialog "$lab_title" select-row "$row" press-download "$@"
}
finish() {
  drive close wait-dialog "$lab_title" close wait-exit
  wait "$lab_program_pid" 2>/dev/null || true
  lab_program_pid=""
  lab_trace "$work/program.debug" >"$work/trace.txt"
  if [ "$failed" -ne 0 ]; then
    echo "--- the program's trace (last 40 lines)"
    tail -n 40 "$work/trace.txt" | sed 's/^/  /'
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

names=("${lab_names[@]}")
rows=0
for name in "${names[@]}"; do [[ $name == *"not answering"* ]] || rows=$((rows + 1)); done
drive list wait-dialog "$lab_title" wait-rows "$rows" dump
saw list "rows: $rows"

p="TV Vexline Q5530n"
if [ "$mode" = parallel ]; then
  saw list "row $(lab_row "$work/list.lines" "$p (parallel)") \"$p (parallel)\" \"Parallel\" \"215\""
  row=$(lab_row "$work/list.lines" "$p (parallel)")
  status=0
  lab_drive "$work/parallel.lines" --timeout 240000 wait-dialog "$lab_title" select-row "${row:-0}" press-download \
    wait-cell "-- Updated --" || status=$?
  sed "s/^/  parallel: /" "$work/parallel.lines"
  check "the parallel download ended with \"-- Updated --\"" test "$status" -eq 0
  logged "$p (parallel)" "burn accepted"
  # The Wine session started the spooler stopped; the download stopped and started it again.
  check "no spooler stop or start failed" bash -c '! grep -q "Failed to St" "$1"' _ "$work/program.debug"
  "$WINE" sc query Spooler 2>/dev/null | tr -d '\r' >"$work/spooler.txt" || true
  check "the spooler runs after the download" grep -q "STATE.*RUNNING" "$work/spooler.txt"
  finish
  exit
fi

# The list: every printer that answers, with its connection and version; not the silent one.
declare -A connection=([older]=Network [current]=Network ["Asian panel"]=Network [localhost]=Network
                       [stalling]=Network [USB]=USB [parallel]=Parallel)
declare -A version=([older]=215 [current]=216 ["Asian panel"]=215 [localhost]=216 [stalling]=215 [USB]=215
                    [parallel]=215)
for role in older current "Asian panel" localhost stalling USB parallel; do
  name="$p ($role)"
  if [ -z "${lab_channel[$name]:-}" ]; then
    echo "NOT CHECKED: \"$name\" (its printer could not start)"
    continue
  fi
  row=$(lab_row "$work/list.lines" "$name")
  check "\"$name\" is listed" test -n "$row"
  saw list "row ${row:-?} \"$name\" \"${connection[$role]}\" \"${version[$role]}\""
done
check "the printer that does not answer is left out" test -z "$(lab_row "$work/list.lines" "$p (not answering)")"
# The host name: the printer behind "localhost" answered the version query the row shows.
if [ -n "${lab_log[$p (localhost)]:-}" ]; then
  logged "$p (localhost)" "command 0x01"
  lab_trace "$work/program.debug" >"$work/trace.txt"
  resolved=$(awk '/ResolveHostname\(localhost\)/ { asked = 1 } asked && /InstanceID=/ { print $2; exit }' "$work/trace.txt")
  check "the trace shows \"localhost\" resolved to 127.0.0.1 (saw ${resolved:-nothing})" \
    test "$resolved" = "InstanceID=127.0.0.1"
fi

download "$p (current)" current expect-box "Firmware is current. No need to update at this time."
check "the current printer took no burn" bash -c '! grep -q burn "$1"' _ "${lab_log[$p (current)]}"
download "$p (Asian panel)" asian \
  expect-box "This Utility does not support a Network Printer with Asian Control Panel."
check "the Asian-panel printer was not asked for a burn" bash -c '! grep -q burn "$1"' _ "${lab_log[$p (Asian panel)]}"

download "$p (older)" older --timeout 150000 wait-cell "-- Updated --"
logged "$p (older)" "burn accepted"
check "the updated printer reports version 216" test "$(lab_query_version "${lab_endpoint[$p (older)]}")" = 00000216
# The 35 s wait after a network download: the burn itself traces nothing after its first lines
# (about 20 s of fixed waits), then the program waits 35 s before the progress dialog ends.
lab_trace "$work/program.debug" >"$work/trace.txt"
gap=$(awk '/TerminateProgressThrd\(\)/ && burning { print int($1 - last); exit }
           /_DownloadFirmware\(\)/ { burning = 1 } { last = $1 }' "$work/trace.txt")
check "the trace shows the burn and the 35 s wait before the progress dialog ends (saw ${gap:-no} s)" \
  test "${gap:-0}" -ge 54

download "$p (USB)" usb --timeout 150000 wait-cell "-- Updated --"
logged "$p (USB)" "burn accepted"

# The printer that stops reading mid-image, last: its image (the network model's, now made larger
# than Wine's and the printer's socket buffers; Linux tunes a send buffer up to 4 MiB) goes out
# until the buffers are full, the wait for room gives up after 20 s without a byte taken, then come the
# fixed waits (the network burn's 10 s, the facade's 5 s, the workflow's 35 s) and the failure box.
"$LAB_FWIMAGE" --type 2 --body-size 8388608 --version 216 "$lab_folder/TVQ5530n.bin" >/dev/null
download "$p (stalling)" stalling --timeout 150000 expect-box "Firmware download was not successful."
drive back wait-dialog "$lab_title" wait-rows "$rows"
logged "$p (stalling)" "reading stopped after"
check "the stalling printer accepted no burn" bash -c '! grep -q "burn accepted" "$1"' _ "${lab_log[$p (stalling)]}"
lab_trace "$work/program.debug" >"$work/trace.txt"
read -r to_stall stall_to_end < <(awk '/DownLoadNewFW/ { start = $1 } /NetBurn: send stalled at/ && start { stall = $1 }
    /TerminateProgressThrd\(\)/ && stall { printf "%d %d\n", stall - start, $1 - stall; exit }' "$work/trace.txt") || true
echo "  stalling: DownLoadNewFW to the stall line ${to_stall:-?} s, the stall line to the progress dialog's end ${stall_to_end:-?} s"
check "the trace names the stalled send" grep -q "NetBurn: send stalled at [0-9]* of 83886[0-9]* bytes (gle=10060)" "$work/trace.txt"
check "the send gave up within its 20 s (and the image's transfer) (saw ${to_stall:-no} s)" test "${to_stall:-99}" -le 30
check "the fixed waits of 10, 5 and 35 s followed (saw ${stall_to_end:-no} s)" \
  test "${stall_to_end:-0}" -ge 50 -a "${stall_to_end:-99}" -le 60
finish
