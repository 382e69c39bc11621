#!/usr/bin/env bash
# Runs one Wine test in a folder of its own, which holds its Wine prefix (and, for a lab case, the
# lab's files), and, where the machine allows, in namespaces of its own:
# - network, with only its loopback interface: every address of 127.0.0.0/8 is the case's alone,
#   127.0.0.1:9100 (the lab's printer behind "localhost") and the addresses it draws at random
#   included, so that CTest can run the cases side by side;
# - process IDs: every process the case started ends with it (or with CTest's kill), so none is
#   left to hold CTest's output open, a terminal, or a Wine server a later run could reach;
# - mounts: /tmp/.X11-unix and /tmp/.wine-<uid> are folders of the case, so its virtual displays
#   and Wine servers cannot meet another case's or those an earlier run left behind.
#
#   own_case.sh DIR ISOLATION LIMIT COMMAND...
#
# ISOLATION is the unshare command the build found working (CMakeLists.txt), or "none": the case
# shares the machine (CTest then keeps the lab cases apart with a resource lock). After LIMIT
# seconds (set below CTest's time-out) the case is ended with a list of its processes and the last
# lines of its logs, so that a hang says where it hung. A new prefix is a copy of the template prefix
# beside DIR (WINE_PREFIX_TEMPLATE, made by the first test that needs one; tests/wine/wine_env.sh).
set -euo pipefail
dir=$1
isolation=$2
limit=$3
shift 3
mkdir -p "$dir"
export WINE_PREFIX_TEMPLATE
WINE_PREFIX_TEMPLATE=$(realpath -- "$dir/..")/prefix-template

if [ "$isolation" != none ] && [ "${OWN_CASE_INSIDE:-}" != 1 ]; then
  ip=$(PATH=$PATH:/usr/sbin:/sbin command -v ip) || { echo "FAILED: no ip (Debian package iproute2)"; exit 1; }
  # shellcheck disable=SC2086  # ISOLATION is the command and its options
  $isolation true 2>/dev/null || {
    echo "FAILED: the build found \"$isolation\" works, but it fails now; configure the preset again"
    exit 1
  }
  # shellcheck disable=SC2086
  OWN_CASE_INSIDE=1 OWN_CASE_IP=$ip exec $isolation -- bash "$0" "$dir" "$isolation" "$limit" "$@"
fi

if [ "${OWN_CASE_INSIDE:-}" = 1 ]; then
  unset OWN_CASE_INSIDE
  "$OWN_CASE_IP" link set lo up
  if [[ $isolation == *--mount-proc* ]]; then
    mkdir -p "$dir/tmp"
    for name in .X11-unix ".wine-$(id -u)"; do
      rm -rf "${dir:?}/tmp/$name"
      mkdir -p "$dir/tmp/$name" "/tmp/$name"
      mount --bind "$dir/tmp/$name" "/tmp/$name"
    done
    chmod 1777 /tmp/.X11-unix
    chmod 700 "/tmp/.wine-$(id -u)"
  fi
fi

# The last lines of the case's logs written in the last two minutes, outside its Wine prefix.
recent_logs() {
  find "$dir" -path "$dir/wineprefix" -prune -o -path "$dir/tmp" -prune -o -type f -mmin -2 \
    \( -name '*.log' -o -name '*.err' -o -name '*.lines' -o -name '*.debug' \) -print 2>/dev/null |
    head -n 12 | while read -r file; do
      echo "--- ${file#"$dir"/} (last 6 lines)"
      tail -n 6 "$file" | cut -c1-200
    done
}

"$@" &
case_pid=$!
(
  # Ended by the case's end: its sleep goes with it, so nothing is left holding the output.
  sleeper=""
  trap 'kill "$sleeper" 2>/dev/null; exit 0' TERM
  pause() {
    sleep "$1" &
    sleeper=$!
    wait "$sleeper"
  }
  pause "$limit"
  echo "FAILED: the case still runs after $limit s; its processes:"
  ps -eo pid,ppid,etimes,stat,wchan:24,args 2>/dev/null | cut -c1-220
  recent_logs
  kill -TERM "$case_pid" 2>/dev/null
  pause 15
  kill -KILL "$case_pid" 2>/dev/null
) &
watchdog=$!
status=0
wait "$case_pid" || status=$?
kill "$watchdog" 2>/dev/null || true
wait "$watchdog" 2>/dev/null || true
exit "$status"
