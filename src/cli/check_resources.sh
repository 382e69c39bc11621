#!/usr/bin/env bash
# Checks that corvelcmd.exe is a console program carrying its resources: the manifest asking to
# run as invoked, the version information and the manifest's version, and the icon.
set -euo pipefail
program=$1
text=$2  # the version the build read from src/app/version.h
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
objcopy=${OBJCOPY:-x86_64-w64-mingw32-objcopy}
export LC_ALL=C

section=$(mktemp)
trap 'rm -f "$section"' EXIT
"$objcopy" -O binary --only-section=.rsrc "$program" "$section"

failed=0
check() {  # description, command...
  local description=$1
  shift
  if "$@"; then echo "ok: $description"; else echo "MISSING: $description"; failed=$((failed + 1)); fi
}
wide() { printf '%s' "$1" | sed 's/./&\\x00/g; s/\./\\./g'; }
check "console subsystem" bash -c '"$1" -p "$2" | grep -qE "^Subsystem\s+00000003"' _ "$objdump" "$program"
check "manifest asInvoker" grep -qaP 'level="asInvoker"' "$section"
check "manifest version $text" grep -qaP "version=\"${text//./\\.}\"" "$section"
check "FileVersion text $text" grep -qaP "$(wide "$text")" "$section"
check "OriginalFilename corvelcmd.exe" grep -qaP "$(wide corvelcmd.exe)" "$section"
check "an icon" bash -c '"$1" -p "$2" | grep -qE "^[0-9a-f]{3}   Entry: ID: 0x000003"' _ "$objdump" "$program"
if (( failed )); then echo "$failed of 6 checks failed"; exit 1; fi
echo "6 passed, 0 failed"
