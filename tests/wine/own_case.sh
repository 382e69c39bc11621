#!/usr/bin/env bash
# Runs one Wine test in a folder of its own, which holds its Wine prefix (and, for a lab case, the
# lab's files), and, where the machine allows, in a network namespace of its own with only its
# loopback interface: every address of 127.0.0.0/8 is then the case's alone, 127.0.0.1:9100 (the
# lab's printer behind "localhost") and the addresses it draws at random included, so that CTest
# can run the cases side by side.
#
#   own_case.sh DIR NETNS COMMAND...
#
# NETNS is how the build found it can make a namespace: "unshare -n" (as root), "unshare -rn" (in a
# user namespace) or "none" (the case shares the machine's network; CTest then keeps the lab cases
# apart with a resource lock). A new prefix is a copy of the template prefix beside DIR
# (WINE_PREFIX_TEMPLATE, made by the first test that needs one; tests/wine/wine_env.sh).
set -euo pipefail
dir=$1
netns=$2
shift 2
mkdir -p "$dir"
export WINE_PREFIX_TEMPLATE
WINE_PREFIX_TEMPLATE=$(realpath -- "$dir/..")/prefix-template
if [ "$netns" = none ]; then
  exec "$@"
fi
# shellcheck disable=SC2086  # NETNS is the command and its option
$netns true 2>/dev/null || {
  echo "FAILED: the build found \"$netns\" works, but it fails now; configure the preset again"
  exit 1
}
ip=$(PATH=$PATH:/usr/sbin:/sbin command -v ip) || { echo "FAILED: no ip (Debian package iproute2)"; exit 1; }
# shellcheck disable=SC2016,SC2086
exec $netns -- bash -c '"$1" link set lo up && shift && exec "$@"' own_case "$ip" "$@"
