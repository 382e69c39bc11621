#!/usr/bin/env bash
# Runs the engine's test program under Wine against simulated network printers: two printer-server
# processes, each on a loopback address of its own (one is only asked, one takes a burn), and
# firmware images made by fwimage. The program learns the addresses, the images' folder and the
# values the printers were started with from its environment. Afterwards the printers' logs and
# the program's trace lines (Wine's debug output) are checked.
#
#   engine.sh PROGRAM WINEPREFIX PRINTER_SERVER FWIMAGE
#
# Without the native printer-server or fwimage it says why, states that it skipped, and exits 0.
set -euo pipefail
program=$1
prefix=$2
server=$3
fwimage=$4

for tool in "$server" "$fwimage"; do
  if [ ! -x "$tool" ]; then
    echo "wine.engine skipped: $tool is not built (build the native preset first:" \
         "cmake --preset native && cmake --build --preset native)"
    exit 0
  fi
done

source "$(dirname "$0")/wine_env.sh" "$prefix"

work=$(mktemp -d)
pids=()
wine_pid=
stop_printers() {
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}
# On every way out: the test program (when a signal came during its run), then the printers.
cleanup() {
  if [ -n "$wine_pid" ]; then
    kill -TERM "$wine_pid" 2>/dev/null || true
    wait "$wine_pid" 2>/dev/null || true
  fi
  stop_printers
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

printer_version=215
image_version=216
older_version=200
device_id="MFG:TV;CMD:PJL,ACL;MDL:TV Vexline Q5530n MFP;CLS:PRINTER;DES:Wine engine run;"
culture=ASIAN
fw_fields=(Q5530n_V0215 ENGINE_0112 BOOT_0031)
build_info="FW:${fw_fields[0]}, ${fw_fields[1]}, ${fw_fields[2]}; PANEL: $culture;"

# Addresses in 127.0.0.0/8, away from the ones the native tests use; several runs on one machine
# seldom meet, and a taken address is tried again with another.
random_address() { echo "127.$((RANDOM % 150 + 100)).$((RANDOM % 256)).$((RANDOM % 250 + 2))"; }

# start_printer NAME [OPTION...]: starts a printer-server on a free address, with these options
# too; sets NAME_address and NAME_log. `timeout` ends it even if this script is killed before it
# can stop it.
start_printer() {
  local name=$1 address log pid attempt
  shift
  log=$work/$name.log
  for attempt in 1 2 3 4 5; do
    address=$(random_address)
    timeout 200 "$server" --address "$address" --version "$printer_version" --device-id "$device_id" \
      --culture "$culture" --fw "$(IFS=,; echo "${fw_fields[*]}")" "$@" >"$log" 2>&1 &
    pid=$!
    # It writes its first line once it listens; a start that fails ends the process.
    for _ in $(seq 100); do
      if grep -q "^printer-server: .* on $address:9100," "$log"; then
        pids+=("$pid")
        printf -v "${name}_address" %s "$address"
        printf -v "${name}_log" %s "$log"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  echo "printer-server did not start on $address:"; cat "$log"
  return 1
}

# An address where nothing listens on port 9100: bash's connection there must be refused.
refused_address=
for _ in 1 2 3 4 5; do
  candidate=$(random_address)
  if ! timeout 2 bash -c "exec 3<>/dev/tcp/$candidate/9100" 2>/dev/null; then
    refused_address=$candidate
    break
  fi
done
[ -n "$refused_address" ] || { echo "found no loopback address without a listener"; exit 1; }

start_printer query
start_printer burn
start_printer unanswered --never-accept

images=$work/images
"$fwimage" --standard "$images" --version "$image_version" >"$work/images.txt"
"$fwimage" --type 2 --version "$older_version" "$images/older.bin" >>"$work/images.txt"
cat "$work/images.txt"

# Wine's drive Z: is the Linux root.
export WINE_ENGINE_PRINTER=$query_address
export WINE_ENGINE_BURN_PRINTER=$burn_address
export WINE_ENGINE_REFUSED=$refused_address
export WINE_ENGINE_UNANSWERED=$unanswered_address
export WINE_ENGINE_IMAGES="Z:${images//\//\\}"
export WINE_ENGINE_VERSION=$printer_version
export WINE_ENGINE_IMAGE_VERSION=$image_version
export WINE_ENGINE_OLDER_VERSION=$older_version
export WINE_ENGINE_DEVICE_ID=$device_id
export WINE_ENGINE_BUILD_INFO=$build_info
echo "printers: $query_address (asked), $burn_address (burned), $unanswered_address (never accepts);" \
  "nothing listens on $refused_address"

debug=$work/debug_output.txt
# In the background, so that a signal to this script is taken at once, not after the run.
"$WINE" "$program" 2>"$debug" &
wine_pid=$!
status=0
wait "$wine_pid" || status=$?
wine_pid=
stop_printers

check "the test program passed under Wine (exit status $status)" test "$status" -eq 0

# The burned printer took exactly the image the program sent: fwimage's size and checksum.
summary=$(grep -F "/TVQ5530n.bin: " "$work/images.txt" || true)
size=$(sed -E 's/.*: ([0-9]+) bytes,.*/\1/' <<<"$summary")
checksum=$(sed -E 's/.*checksum (0x[0-9A-F]+).*/\1/' <<<"$summary")
accepted="burn accepted: $size bytes, target 3, checksum $checksum, version $image_version"
check "the burned printer logs \"$accepted\" once" test "$(grep -cxF "$accepted" "$burn_log")" -eq 1
check "the burned printer logs no other burn" test "$(grep -c 'burn' "$burn_log")" -eq 1
check "the asked printer was asked for its version" grep -q "command 0x01 GET_VERSION" "$query_log"
check "the asked printer was asked for its device ID" grep -q "command 0x06 GET_DEVICE_ID" "$query_log"
check "the asked printer was asked for its build information" grep -q "command 0x13 GET_BUILD_INFO" "$query_log"
check "the asked printer was never burned" test "$(grep -c 'burn' "$query_log")" -eq 0
check "the printer that accepts nothing took no connection" grep -q "stopped (0 connections)" "$unanswered_log"
for log in "$query_log" "$burn_log"; do
  check "$(basename "$log" .log) printer stopped on SIGTERM" grep -q "^printer-server: stopped" "$log"
done

# The trace lines arrive as Wine's debug output, one line each:
#   <tid>:warn:seh:OutputDebugStringA "CORVL(<tid, upper-case hex>): <text>\n"
# (Wine doubles the backslashes of the text). Every line's thread id is the writer's, and the
# download's lines come in the engine's order.
trace=$work/trace.txt
bad_lines=0
re='^([0-9a-f]+):warn:seh:OutputDebugStringA "CORVL\(([0-9A-F]+)\): (.*)\\n"$'
while IFS= read -r line; do
  if [[ $line =~ $re ]] && (( 16#${BASH_REMATCH[1]} == 16#${BASH_REMATCH[2]} )); then
    printf '%s\n' "${BASH_REMATCH[3]}" >>"$trace"
  else
    bad_lines=$((bad_lines + 1))
    echo "not a trace line of the writing thread: $line"
  fi
done < <(grep 'OutputDebugStringA "CORVL' "$debug" || true)
touch "$trace"
echo "$(wc -l <"$trace") trace lines with the CORVL prefix"
check "every CORVL line is in the trace format with the writer's thread id" test "$bad_lines" -eq 0

# in_order FILE LINE...: the lines occur in FILE in this order (others may lie between).
in_order() {
  local file=$1
  shift
  awk -v want="$(printf '%s\n' "$@")" '
    BEGIN { n = split(want, lines, "\n"); i = 1 }
    i <= n && $0 == lines[i] { i++ }
    END { exit i > n ? 0 : 1 }' "$file"
}
check "the download's trace lines arrive in order" in_order "$trace" \
  "DownloadRequired" \
  "_DownLoadRequired()" \
  "binfileversion=$image_version, fileType=2" \
  "_GetVersionFW()" \
  "_GetFWVersion = $printer_version, BinFileVersion = $image_version" \
  "FWDownload.InitGlobals()" \
  "type=1" \
  "InstanceID=$burn_address" \
  "_DownloadFirmware()" \
  "DownLoadNewFW" \
  "_GetFWVersion = $image_version, BinFileVersion = $image_version"
check "no download reported a firmware error" test "$(grep -c 'FirmwareError' "$trace")" -eq 0

if (( failed > 0 )); then
  echo "--- the program's debug output (last 60 lines) ---"
  tail -n 60 "$debug"
  echo "--- printer logs ---"
  cat "$query_log" "$burn_log"
fi
echo "wine.engine: $passed checks passed, $failed failed"
(( failed == 0 ))
