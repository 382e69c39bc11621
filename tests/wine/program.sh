#!/usr/bin/env bash
# Runs the Windows program under Wine with no printer of its driver installed and drives its main
# dialog from a second Windows process (ui_driver) as a user would:
#   1. the dialog's title, control texts and list columns; the "No printers found." box of the
#      empty list; Close ends the program; the trace shows "InitInstance()", then "BuildList()".
#   2. a second copy started while the first runs shows only its "already running" box and ends;
#      the first keeps its one dialog and still closes.
#   3. with the display at 150 % (the prefix's LogPixels 144) the list's columns are 300, 150 and
#      300 pixels wide and the dialog is wider than at 96 DPI.
#   4. sent WM_DPICHANGED for 192 DPI (a move to a display at 200 %), the dialog takes the
#      suggested rectangle (twice its size) and the columns are 400, 200 and 400 pixels wide.
#
#   program.sh PROGRAM DRIVER WINEPREFIX VERSION
#
# The program, its second copy and the driver share one display: without one, the script runs
# itself again inside a virtual display (xvfb-run) that ends with it.
set -euo pipefail
program=$1
driver=$2
prefix=$(realpath -m -- "$3")  # Wine takes an absolute prefix only
version=$4                      # as the build read it from version.h

if [ -z "${DISPLAY:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "no display and no xvfb-run (Debian package xvfb)"; exit 1; }
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
source "$(dirname "$0")/wine_env.sh" "$prefix"

title="TVQ5530 MFP Series Firmware Download Utility ($version)"
instruction="To download firmware to a printer, select it from the list and press 'Download Firmware'."
driver_name="TV Vexline Q5530n MFP"
# Bounds: each wait of the driver (PROGRAM_TEST_WAIT_MS shortens it when a run is expected to
# fail), and the wait for a Linux process to end after its dialog closed.
wait_ms=${PROGRAM_TEST_WAIT_MS:-30000}
exit_wait_s=15

work=$(mktemp -d)
dpi_changed=0
# set_dpi DPI: the display's DPI of the prefix's user, read by each Wine session as it starts.
set_dpi() {
  "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 &&
    timeout 60 wineserver -w
}
started=()  # Linux ids of the Wine processes this script started and has not yet seen end
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
  # Whatever Windows process is left in the prefix (the prefix is this test's alone meanwhile).
  timeout 20 wineserver -k 2>/dev/null || true
  # The prefix goes back to 96 DPI for the other tests that share it.
  if [ "$dpi_changed" = 1 ]; then set_dpi 96 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Prefix set-up. A wineserver left from an earlier run holds that run's display, which may be
# gone: wait for it to end first. Without a window manager, Wine waits 2 s on each window that
# closes unless it manages the windows itself ("Managed" = "N").
timeout 30 wineserver -w || timeout 20 wineserver -k || true
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# No printer of the program's driver: remove every installed printer that names it.
printers='HKLM\System\CurrentControlSet\Control\Print\Printers'
"$WINE" reg query "$printers" /s 2>/dev/null | tr -d '\r' >"$work/printers.txt" || true
awk -v driver="$driver_name" '
  /^HKEY_/ { key = $0 }
  $1 == "Printer" && $2 == "Driver" && $3 == "REG_SZ" {
    value = $0; sub(/^ *Printer Driver +REG_SZ +/, "", value)
    if (value == driver) print key
  }' "$work/printers.txt" | sort -u | while IFS= read -r key; do
  echo "removing printer ${key##*\\} of driver \"$driver_name\""
  "$WINE" reg delete "$key" /f >/dev/null 2>&1 || { echo "could not remove $key"; exit 1; }
done
# The set-up's Wine processes and server end before the program's run starts on this display.
timeout 60 wineserver -w

# start NAME: starts the program in the background; its debug output goes to $work/NAME.debug and
# its Linux process id to NAME_pid.
start() {
  "$WINE" "$program" >/dev/null 2>"$work/$1.debug" &
  started+=($!)
  printf -v "$1_pid" %s "$!"
}

# drive NAME COMMAND...: runs the driver; its observations go to $work/NAME.lines and are shown.
drive() {
  local name=$1 status=0
  shift
  # Without Wine's debug channels: the driver's own failures are C++ exceptions, which the seh
  # channel would report as noise. In the background, so that a signal to this script is taken
  # at once, not after the driver's waits.
  WINEDEBUG=-all "$WINE" "$driver" --timeout "$wait_ms" "$@" >"$work/$name.txt" 2>"$work/$name.driver-errors" &
  started+=($!)
  wait "$!" || status=$?
  forget "$!"
  tr -d '\r' <"$work/$name.txt" >"$work/$name.lines"
  sed "s/^/  $name: /" "$work/$name.lines"
  check "the driver's run \"$name\" ended well (status $status)" test "$status" -eq 0
}

# saw NAME LINE: the driver's run NAME printed exactly this line.
saw() {
  check "$1 shows: $2" grep -qxF -- "$2" "$work/$1.lines"
}

# saw_box NAME TEXT WHOSE: the driver's run NAME met a message box with this text, the program's
# caption, no owner and an icon, of "the dialog's process" or of "another process". Wine 8 makes
# only task- and system-modal boxes top-most and ignores MB_TOPMOST, so either z-order passes.
saw_box() {
  local start="box: \"$2\" caption \"Firmware Download Utility\" class #32770 of $3"
  check "$1 shows: $start [not-]topmost no-owner icon" grep -qxF -e "$start topmost no-owner icon" \
    -e "$start not-topmost no-owner icon" "$work/$1.lines"
}

# forget PID: a process that has ended and been waited for is no longer this script's to stop.
forget() {
  local pid kept=()
  for pid in "${started[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
  started=("${kept[@]}")
}

# ended PID: the Linux process ends within the bound.
ended() {
  local pid=$1
  for _ in $(seq $((exit_wait_s * 10))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid" 2>/dev/null || true
      forget "$pid"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# trace NAME: the program's trace texts in $work/NAME.debug, one a line. Wine shows each
# OutputDebugStringW line as <tid>:warn:seh:OutputDebugStringA "CORVL(<tid>): <text>\n" and then
# once more as a dispatch_exception line, which is left out here.
trace() {
  sed -nE 's/^[0-9a-f]+:warn:seh:OutputDebugStringA "CORVL\([0-9A-F]+\): (.*)\\n"$/\1/p' "$work/$1.debug"
}

# Case 1: one copy, no printers.
echo "case 1: the main dialog with no printers"
start single
drive single wait-dialog "$title" dump expect-box "No printers found." dump close wait-exit
saw single "dialog: \"$title\" class #32770"
saw single "control 1 Button \"Download Firmware\""
saw single "control 2 Button \"Close\""
saw single "control 105 SysListView32 \"\""
saw single "control 107 Static \"$instruction\""
saw single "control 1000 Static \"\""
saw single "column 0 \"Printer\" width 200"
saw single "column 1 \"Connection\" width 100"
saw single "column 2 \"Firmware\" width 200"
check "the list has three columns" test "$(grep -c '^column 3 ' "$work/single.lines")" -eq 0
saw single "rows: 0"
saw_box single "No printers found." "the dialog's process"
saw single "box closed"
check "the dialog stays open after the box" test "$(grep -c '^title: ' "$work/single.lines")" -eq 2
saw single "pressed 2 \"Close\""
saw single "process ended, exit code 0"
check "the program ended after Close" ended "$single_pid"
trace single >"$work/single.trace"
check "the first trace line is \"InitInstance()\"" test "$(head -n1 "$work/single.trace")" = "InitInstance()"
# The thread id in a line is the writer's, as Wine reports it: <tid>:warn:seh:... "CORVL(<tid>): ..."
first_line=$(grep -m1 'OutputDebugStringA' "$work/single.debug" || true)
same_thread() {
  [[ $first_line =~ ^([0-9a-f]+):warn:seh:OutputDebugStringA\ \"CORVL\(([1-9A-F][0-9A-F]*)\):\  ]] &&
    (( 16#${BASH_REMATCH[1]} == 16#${BASH_REMATCH[2]} ))
}
check "the first trace line names its writer's thread: $first_line" same_thread
check "\"BuildList()\" is traced once" test "$(grep -cxF "BuildList()" "$work/single.trace")" -eq 1

# Case 2: a second copy while the first runs.
echo "case 2: a second copy while the first runs"
start first
drive first wait-dialog "$title" expect-box "No printers found."
start second
drive second wait-dialog "$title" \
  expect-other-box "Another instance of this program is already running." count-dialogs "$title" \
  wait-box-exit count-dialogs "$title" close wait-exit
saw first "box closed"
saw_box second "Another instance of this program is already running." "another process"
check "one main dialog after the second copy's box and after the second copy ended" \
  test "$(grep -cxF "dialogs \"$title\": 1" "$work/second.lines")" -eq 2
saw second "pressed 2 \"Close\""
check "the second copy ended after its box" ended "$second_pid"
check "the first copy ended after Close" ended "$first_pid"
trace second >"$work/second.trace"
check "the second copy traced \"InitInstance()\" only" test "$(cat "$work/second.trace")" = "InitInstance()"
trace first >"$work/first.trace"
check "the first copy traced \"InitInstance()\" first and \"BuildList()\" once" \
  test "$(head -n1 "$work/first.trace"):$(grep -cxF "BuildList()" "$work/first.trace")" = "InitInstance():1"

# Case 3: the display at 150 %.
echo "case 3: the main dialog at 144 DPI"
dpi_changed=1
check "the prefix is set to 144 DPI" set_dpi 144
start scaled
drive scaled wait-dialog "$title" dump expect-box "No printers found." close wait-exit
saw scaled "column 0 \"Printer\" width 300"
saw scaled "column 1 \"Connection\" width 150"
saw scaled "column 2 \"Firmware\" width 300"
width_of() { sed -n 's/^size: \([0-9]*\)x[0-9]*$/\1/p' "$work/$1.lines" | head -n1; }
check "the dialog is wider at 144 DPI ($(width_of scaled) pixels) than at 96 ($(width_of single))" \
  test "$(width_of scaled)" -gt "$(width_of single)"
check "the program ended after Close" ended "$scaled_pid"
if set_dpi 96; then dpi_changed=0; fi
check "the prefix is back at 96 DPI" test "$dpi_changed" = 0

# Case 4: moved to a display at 200 %.
echo "case 4: the main dialog moved to a display at 192 DPI"
start moved
drive moved wait-dialog "$title" expect-box "No printers found." dpi-changed 192 dump close wait-exit
saw moved "dpi changed: 192"
saw moved "column 0 \"Printer\" width 400"
saw moved "column 1 \"Connection\" width 200"
saw moved "column 2 \"Firmware\" width 400"
check "the dialog took the suggested rectangle ($(width_of moved) pixels, twice $(width_of single))" \
  test "$(width_of moved)" -eq $((2 * $(width_of single)))
check "the program ended after Close" ended "$moved_pid"

if [ "$failed" -ne 0 ]; then
  for name in single first second scaled moved; do
    echo "--- the program's run \"$name\": its trace, then Wine's other messages (last 20)"
    trace "$name" | sed 's/^/  /'
    grep -v 'OutputDebugStringA\|dispatch_exception' "$work/$name.debug" | tail -n 20 | sed 's/^/  /' || true
  done
  for name in single first second scaled; do
    if [ -s "$work/$name.driver-errors" ]; then
      echo "--- the driver's run \"$name\" wrote on its error output (last 20):"
      tail -n 20 "$work/$name.driver-errors" | sed 's/^/  /'
    fi
  done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
