#!/usr/bin/env bash
# The printer lab: corvel.exe under Wine against simulated printers on the network, USB and the
# parallel port.
#
#   tools/lab/lab.sh [--demo] [--out DIR] [--lab DIR] [--no-build]
#
# It builds what it needs (printer-server and fwimage in the native preset, corvel.exe and
# ui_driver.exe in the Windows preset; --no-build takes them as they are), starts the printers,
# writes the images beside the program in a private Wine prefix (in --lab DIR, default
# build/lab) where the printers are installed, and runs the program. With a display it is yours
# to use; with --demo, or without a display, it runs on a virtual display and ui_driver plays a
# session (the list, a printer that is current, one with an Asian panel whose image is left out,
# a download to "-- Updated --") and saves screenshots (PNG), the program's trace and the
# printers' logs in --out DIR (default build/lab/out), then prints a summary.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

demo=0
build=1
LAB_DIR=build/lab
out=""
while [ $# -gt 0 ]; do
  case $1 in
    --demo) demo=1 ;;
    --no-build) build=0 ;;
    --out) out=$2; shift ;;
    --lab) LAB_DIR=$2; shift ;;
    -h | --help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "lab.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ -z "${DISPLAY:-}" ] && demo=1
out=${out:-$LAB_DIR/out}

LAB_SERVER=$root/build/native/printer/printer-server
LAB_FWIMAGE=$root/build/native/tools/fwimage
LAB_PROGRAM=$root/build/windows/src/corvel.exe
LAB_DRIVER=$root/build/windows/tests/ui_driver.exe
LAB_CLI=$root/build/windows/src/corvelcmd.exe
if [ "$build" = 1 ] && [ -z "${LAB_INNER:-}" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native --target printer-server fwimage
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target corvel corvelcmd ui_driver
fi
for file in "$LAB_SERVER" "$LAB_FWIMAGE" "$LAB_PROGRAM" "$(dirname "$LAB_PROGRAM")/version.txt" "$LAB_DRIVER" "$LAB_CLI"; do
  [ -f "$file" ] || { echo "lab.sh: $file is missing (build the native and windows presets)" >&2; exit 1; }
done
export LAB_SERVER LAB_FWIMAGE LAB_PROGRAM LAB_DRIVER LAB_CLI

# The set-up, the program and the driver share one display: without one, the script runs itself
# again inside a virtual display that ends with it.
if [ "$demo" = 1 ] && [ -z "${LAB_INNER:-}" ]; then
  command -v xvfb-run >/dev/null || { echo "lab.sh: no xvfb-run (Debian package xvfb)"; exit 1; }
  args=(--no-build --lab "$LAB_DIR" --out "$out" --demo)
  LAB_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "${args[@]}"
fi

source tools/lab/lab_lib.sh
started=$(date +%s)
lab_start
cp "$LAB_CLI" "$lab_folder/corvelcmd.exe"
lab_say "program folder: $lab_folder (corvel.exe and corvelcmd.exe)"

if [ "$demo" = 0 ]; then
  lab_run_program "$LAB_DIR/logs/program.debug"
  lab_say "corvel.exe runs on your display; its trace goes to $LAB_DIR/logs/program.debug. Close it to end the lab."
  wait "$lab_program_pid" || true
  lab_trace "$LAB_DIR/logs/program.debug" >"$LAB_DIR/logs/trace.txt"
  lab_say "trace: $LAB_DIR/logs/trace.txt; printers' logs: $LAB_DIR/logs/"
  exit 0
fi

rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
windows_out="Z:${out//\//\\}"

# corvelcmd first (it never runs beside the dialog): the list as a table and as JSON. Exit code 7
# is expected, the silent printer is unreachable.
cli_summary=()
for form in table json; do
  args=(list)
  [ "$form" = json ] && args+=(--json)
  file="$out/corvelcmd-list.$([ "$form" = json ] && echo json || echo txt)"
  status=0
  (cd "$lab_folder" && timeout 120 "$WINE" corvelcmd.exe "${args[@]}" </dev/null 2>"$out/corvelcmd-list-$form.debug" |
    tr -d '\r' >"$file") || status=$?
  echo "corvelcmd ${args[*]} (exit code $status):"
  sed 's/^/  /' "$file"
  cli_summary+=("corvelcmd ${args[*]}: exit code $status, $(basename "$file")")
done

lab_run_program "$out/program.debug"

# The rows the list should show: every printer that answers.
expected_rows=0
for name in "${lab_names[@]}"; do
  [[ $name == *"not answering"* ]] || expected_rows=$((expected_rows + 1))
done
summary=()
step() {  # step NAME COMMAND...: one driver run; a failure is noted and the session goes on
  local name=$1
  shift
  if lab_drive "$out/driver-$name.txt" --timeout 60000 "$@"; then
    summary+=("$name: ok")
  else
    summary+=("$name: FAILED ($(grep -m1 '^FAILED' "$out/driver-$name.txt" || echo "the driver stopped"))")
  fi
  sed "s/^/  $name: /" "$out/driver-$name.txt"
}
row_of() { lab_row "$out/driver-list.txt" "$1"; }

echo "The list:"
step list wait-dialog "$lab_title" wait-rows "$expected_rows" dump screenshot "$windows_out\\main-dialog.bmp"
for role in current "Asian panel" older; do
  name="TV Vexline Q5530n ($role)"
  row=$(row_of "$name")
  if [ -z "$row" ]; then
    summary+=("$role: not listed")
    continue
  fi
  tag=${role// /-}
  echo "Download to \"$name\":"
  case $role in
    current)
      step "$tag" wait-dialog "$lab_title" select-row "$row" press-download \
        screenshot-box "$windows_out\\box-current.bmp" \
        expect-box "Firmware is current. No need to update at this time." ;;
    "Asian panel")
      step "$tag" wait-dialog "$lab_title" select-row "$row" press-download \
        screenshot-box "$windows_out\\box-asian-panel.bmp" \
        expect-box "This Utility does not support a Network Printer with Asian Control Panel." ;;
    older)
      step "$tag" wait-dialog "$lab_title" select-row "$row" press-download \
        wait-window "Firmware Download " sleep 1500 screenshot-window "$windows_out\\progress-dialog.bmp" \
        --timeout 150000 wait-cell "-- Updated --" dump screenshot "$windows_out\\main-dialog-updated.bmp" ;;
  esac
done
step close wait-dialog "$lab_title" close wait-exit
wait "$lab_program_pid" 2>/dev/null || true
lab_program_pid=""
lab_stop

python3 tools/lab/bmp2png.py "$out"/*.bmp >/dev/null 2>&1 || echo "lab: the screenshots stay BMP files"
find "$out" -name '*.errors' -empty -delete  # the driver's error output, kept only when it wrote some
lab_trace "$out/program.debug" >"$out/trace.txt"
for name in "${lab_names[@]}"; do cp "${lab_log[$name]}" "$out/"; done

echo
echo "Summary ($(($(date +%s) - started)) s):"
grep '^row ' "$out/driver-list.txt" | sed 's/^/  listed: /' || echo "  listed: nothing"
for line in "${summary[@]}"; do echo "  $line"; done
for line in "${cli_summary[@]}"; do echo "  $line"; done
grep -h 'burn accepted' "$out"/printer-*.log | sed 's/^/  printer: /' || true
echo "  files in $out:"
(cd "$out" && ls | sed 's/^/    /')
! printf '%s\n' "${summary[@]}" | grep -q 'FAILED\|not listed'
