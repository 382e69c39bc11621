# The printer lab, shared by tools/lab/lab.sh and the end-to-end tests (tests/wine/e2e.sh): simulated
# printers on every channel, a private Wine prefix where they are installed, and corvel.exe with
# its images in a folder of that prefix. Sourced; the caller sets:
#   LAB_DIR       folder of the lab's files (made when missing; its prefix is kept between runs)
#   LAB_SERVER    the native printer-server, LAB_FWIMAGE the native fwimage
#   LAB_PROGRAM   corvel.exe (its build's version.txt beside it), LAB_DRIVER ui_driver.exe
# and calls lab_start, then lab_run_program; lab_stop runs on every way out (lab_start traps it).
#
# The printers (name, channel, how it answers; the images are version 216):
lab_driver_name="TV Vexline Q5530n MFP"
lab_usb_serial="LAB0001"   # Wine upper-cases instance IDs
lab_usb_prefix="7&2A1C3E5B&0"
lab_interface_guid="{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"
lab_trace_pattern='s/^([0-9.]+ )?[0-9a-f]+:warn:seh:OutputDebugStringA "CORVL\([0-9A-F]+\): (.*)\\n"$/\1\2/p'

# name|channel|printer-server options
lab_printers=(
  "TV Vexline Q5530n (older)|network|--version 215"
  "TV Vexline Q5530n (current)|network|--version 216"
  "TV Vexline Q5530n (Asian panel)|network|--version 215 --culture ASIAN"
  "TV Vexline Q5530n (not answering)|network|--version 215 --silent"
  "TV Vexline Q5530n (stalling)|network|--version 215 --stall-after 20000"
  "TV Vexline Q5530n (localhost)|hostname|--version 216"
  "TV Vexline Q5530n (USB)|usb|--version 215"
  "TV Vexline Q5530n (parallel)|parallel|--version 215"
)

lab_pids=()
declare -A lab_address=()   # printer name -> the address its port names (dotted or host name)
declare -A lab_endpoint=()  # printer name -> 127.x.y.z it listens on (network printers)
declare -A lab_log=()       # printer name -> its printer-server log
declare -A lab_pid=()       # printer name -> its printer-server's process id
declare -A lab_printer_log=()  # printer name -> where its log goes
declare -A lab_options=()   # printer name -> its printer-server options
declare -A lab_channel=()   # printer name -> network, hostname, usb or parallel
lab_names=()                # the printers started, in the order above
lab_stale_ports=()          # network ports an earlier run left in the prefix

lab_say() { echo "lab: $*"; }

# Runs as the EXIT trap too, where a failing command would change the script's exit status.
lab_stop() {
  local pid
  if [ -n "${lab_program_pid:-}" ]; then kill -TERM "$lab_program_pid" 2>/dev/null || true; fi
  # Wine's processes end before the printers' terminals close: never close a pseudo-terminal's
  # master side while Wine may hold its slave.
  if [ -n "${WINEPREFIX:-}" ]; then timeout 20 wineserver -k 2>/dev/null || true; fi
  for pid in "${lab_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  lab_reap "${lab_pids[@]}"
  lab_pids=()
  return 0
}

# lab_reap PID...: waits for these printers, which were told to stop; one that has not ended
# within 10 s is killed. The killer's output goes nowhere, so that its sleep, should it outlive
# this shell, holds nothing open.
lab_reap() {
  [ $# -gt 0 ] || return 0
  (sleep 10 && kill -KILL "$@") >/dev/null 2>&1 &
  local killer=$! pid
  for pid; do wait "$pid" 2>/dev/null || true; done
  kill "$killer" 2>/dev/null || true
}

# lab_restart NAME OPTIONS...: stops the printer-server of the network printer NAME and starts it
# again at the same address with these options.
lab_restart() {
  local name=$1
  shift
  kill -TERM "${lab_pid[$name]}" 2>/dev/null || true
  lab_reap "${lab_pid[$name]}"
  lab_serve "$name" "${lab_printer_log[$name]}" --address "${lab_endpoint[$name]}" --port 9100 "$@"
}

# lab_serve NAME LOG OPTIONS...: starts printer-server; true once it reported where it serves.
# It is ended by `timeout` should this shell be killed without its traps.
lab_serve() {
  local name=$1 log=$2
  shift 2
  timeout -s TERM 3600 "$LAB_SERVER" "$@" >"$log" 2>&1 &
  local pid=$!
  for _ in $(seq 50); do
    if grep -q '^printer-server: .* on ' "$log"; then
      lab_pids+=("$pid")
      lab_pid[$name]=$pid
      lab_log[$name]=$log
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 1
}

# lab_serve_network NAME LOG OPTIONS...: on a random free 127.x.y.z:9100 (x 100..249).
lab_serve_network() {
  local name=$1 log=$2 address
  shift 2
  for _ in $(seq 20); do
    address="127.$((100 + RANDOM % 150)).$((RANDOM % 256)).$((1 + RANDOM % 254))"
    if lab_serve "$name" "$log" --address "$address" --port 9100 "$@"; then
      lab_endpoint[$name]=$address
      return 0
    fi
  done
  lab_say "no free loopback address for $name"
  return 1
}

# Registry text of the lab's machine (REGEDIT4, read by Wine's regedit).
lab_registry() {
  local name channel port key dev usb child iface link
  echo "REGEDIT4"
  echo
  # Without a window manager Wine waits 2 s on each window that closes unless it manages them.
  echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
  echo '"Managed"="N"'
  # The prefix is kept between runs: every lab printer of an earlier run goes first, so that one
  # that did not start this time is not listed with an earlier run's port.
  local printer
  for printer in "${lab_printers[@]}"; do
    echo
    echo "[-HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\${printer%%|*}]"
  done
  # and so do the ports of the network printers of earlier runs (their addresses were random).
  local stale
  for stale in "${lab_stale_ports[@]}"; do
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Ports]'
    echo "\"$stale\"=-"
    echo
    echo "[-HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports\\$stale]"
  done
  for name in "${lab_names[@]}"; do
    channel=${lab_channel[$name]}
    case $channel in
      usb) port=USB001 ;;
      parallel) port=LPT1: ;;
      *) port="IP_${lab_address[$name]}" ;;
    esac
    echo
    echo "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\$name]"
    echo "\"Name\"=\"$name\""
    echo "\"Port\"=\"$port\""
    echo "\"Printer Driver\"=\"$lab_driver_name\""
    # Without these two the printer is listed, but OpenPrinterW fails (1801).
    echo '"Print Processor"="winprint"'
    echo '"Datatype"="RAW"'
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Ports]'
    echo "\"$port\"=\"\""
    if [ "$channel" = network ] || [ "$channel" = hostname ]; then
      # EnumPortsW describes these ports as "Local Port"; the program reads the address there.
      echo
      echo "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port\\Ports\\$port]"
      echo "\"IPAddress\"=\"${lab_address[$name]}\""
    fi
  done
  # The USB printer: the USB device, its Printer-class child with the port name, and the device
  # interface whose symbolic link names the file the lab's printer-server serves.
  dev='HKEY_LOCAL_MACHINE\System\CurrentControlSet'
  usb="USB\\VID_7E51&PID_A717\\$lab_usb_serial"
  child="USBPRINT\\TV_VEXLINE_Q5530N_MFP\\$lab_usb_prefix&USB001"
  iface="##?#USB#VID_7E51&PID_A717#$lab_usb_serial#$lab_interface_guid"
  link="\\\\\\\\?\\\\$(lab_usb_link_name)"
  cat <<EOF

[$dev\\Enum\\$usb]
"ClassGUID"="{36fc9e60-c465-11cf-8056-444553540000}"
"HardwareID"=hex(7):$(printf 'USB\\VID_7E51&PID_A717' | od -An -tx1 -v | tr -s ' \n' ',' | sed 's/^,//')00,00
"ParentIdPrefix"="$lab_usb_prefix"

[$dev\\Enum\\$child]
"ClassGUID"="{4d36e979-e325-11ce-bfc1-08002be10318}"
"ConfigFlags"=dword:00000000

[$dev\\Enum\\$child\\Device Parameters]
"PortName"="USB001"

[$dev\\Control\\DeviceClasses\\$lab_interface_guid\\$iface]
"DeviceInstance"="${usb//\\/\\\\}"

[$dev\\Control\\DeviceClasses\\$lab_interface_guid\\$iface\\#]
"SymbolicLink"="$link"

[$dev\\Control\\DeviceClasses\\$lab_interface_guid\\$iface\\#\\Control]
"Linked"=dword:00000001
EOF
}

# The interface path after "\\?\", lower case: its name in dosdevices/.
lab_usb_link_name() {
  echo "usb#vid_7e51&pid_a717#${lab_usb_serial,,}#$lab_interface_guid"
}

# lab_start: printers, images, prefix. Needs a display already (the prefix is set up in the same
# display session as the program's run).
lab_start() {
  trap lab_stop EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  mkdir -p "$LAB_DIR/logs"
  LAB_DIR=$(realpath "$LAB_DIR")
  # The main dialog's title carries the version the build wrote beside the program.
  lab_title="TVQ5530 MFP Series Firmware Download Utility ($(cat "$(dirname "$LAB_PROGRAM")/version.txt"))"
  local prefix="$LAB_DIR/wineprefix" printer name channel options log
  # shellcheck source=../../tests/wine/wine_env.sh
  source "$(dirname "${BASH_SOURCE[0]}")/../../tests/wine/wine_env.sh" "$prefix"
  # A wineserver left from an earlier run holds that run's display, which may be gone.
  timeout 30 wineserver -w || timeout 20 wineserver -k || true

  for printer in "${lab_printers[@]}"; do
    IFS='|' read -r name channel options <<<"$printer"
    log="$LAB_DIR/logs/printer-$(echo "$name" | tr -c 'A-Za-z0-9\n' '_' | sed 's/_*$//;s/__*/_/g').log"
    # shellcheck disable=SC2086
    case $channel in
      network)
        lab_serve_network "$name" "$log" $options || continue
        lab_address[$name]=${lab_endpoint[$name]}
        ;;
      hostname)
        # "localhost" is the one name every resolver maps to a loopback address (127.0.0.1).
        if ! lab_serve "$name" "$log" --address 127.0.0.1 --port 9100 $options; then
          lab_say "127.0.0.1:9100 is taken: the printer reached through \"localhost\" is left out"
          continue
        fi
        lab_endpoint[$name]=127.0.0.1
        lab_address[$name]=localhost
        ;;
      usb | parallel) ;;  # started once the prefix exists (their links live in it)
    esac
    lab_channel[$name]=$channel
    lab_names+=("$name")
    lab_printer_log[$name]=$log
    lab_options[$name]=$options
  done

  # The program's folder in the prefix, with the images (version 216) but without the one for a
  # network printer with an Asian panel.
  lab_folder="$prefix/drive_c/lab"
  mkdir -p "$lab_folder"
  cp "$LAB_PROGRAM" "$lab_folder/corvel.exe"
  "$LAB_FWIMAGE" --standard "$lab_folder" --version 216 >"$LAB_DIR/logs/images.txt"
  rm -f "$lab_folder/TVQ5530An.bin"

  mapfile -t lab_stale_ports < <("$WINE" reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports' 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *\(IP_[^ ]*\) *REG_SZ.*/\1/p')
  lab_registry >"$LAB_DIR/lab.reg"
  "$WINE" regedit /S "Z:${LAB_DIR//\//\\}\\lab.reg" >/dev/null 2>&1 || { lab_say "regedit failed"; return 1; }

  for name in "${lab_names[@]}"; do
    log=${lab_printer_log[$name]}
    options=${lab_options[$name]}
    # shellcheck disable=SC2086
    case ${lab_channel[$name]} in
      usb) lab_serve "$name" "$log" --pty-link "$prefix/dosdevices/$(lab_usb_link_name)" $options ;;
      parallel) lab_serve "$name" "$log" --pty-link "$prefix/dosdevices/nonspooled_lpt1" $options ;;
      *) true ;;
    esac || { lab_say "$name did not start"; return 1; }
  done
  # The set-up's Wine processes end before the program's run starts.
  timeout 60 wineserver -w
  for name in "${lab_names[@]}"; do
    lab_say "$(head -n1 "${lab_log[$name]}" | sed 's/^printer-server: //')  [$name]"
  done
}

# lab_run_program DEBUGFILE: starts corvel.exe from its folder in the background; its debug
# output, each line stamped with its arrival time, goes to DEBUGFILE; its id to lab_program_pid.
lab_run_program() {
  local stamp debug
  stamp=$(realpath "$(dirname "${BASH_SOURCE[0]}")/stamp.py")
  debug=$(realpath -m "$1")
  (cd "$lab_folder" && "$WINE" corvel.exe 2>&1 >/dev/null | python3 -u "$stamp" >"$debug") &
  lab_program_pid=$!
}

# lab_trace DEBUGFILE: the program's trace texts, "<seconds> <text>", without Wine's repeats.
lab_trace() { sed -nE "$lab_trace_pattern" "$1"; }

# lab_drive OUTFILE COMMAND...: runs ui_driver; its lines go to OUTFILE (carriage returns dropped).
lab_drive() {
  local out=$1 status=0
  shift
  WINEDEBUG=-all "$WINE" "$LAB_DRIVER" "$@" 2>>"$out.errors" | tr -d '\r' >"$out" || status=$?
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  return $status
}

# lab_row FILE NAME: the row number of the printer in a dump, empty when it is not listed.
lab_row() { sed -n "s/^row \([0-9]*\) \"$(printf '%s' "$2" | sed 's/[][\.*^$/]/\\&/g')\" .*/\1/p" "$1" | head -n1; }

# lab_query_version ADDRESS: asks a network printer its firmware version (8 digits) over TCP.
lab_query_version() {
  local reply
  reply=$(timeout 5 bash -c '
    exec 3<>"/dev/tcp/$1/9100" || exit 1
    printf "\033%%-12345X@PJL ENTER LANGUAGE=ACL\r\n\000\254\000\001\000\000\000\000\000\000\000\000\000\000\000\000" >&3
    head -c 16 <&3 | tail -c 10 | head -c 8' _ "$1" 2>/dev/null)
  echo "$reply"
}
