#!/usr/bin/env bash
# Checks that the Windows program carries its resources: the manifest asking for administrator
# rights and the common controls 6, the version information and the manifest's version (VERSION,
# "major.minor.patch.build", as the build read it from version.h), both dialogs and the icon.
#   check_resources.sh PROGRAM VERSION
set -euo pipefail
program=$1
version=$2
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
objcopy=${OBJCOPY:-x86_64-w64-mingw32-objcopy}
export LC_ALL=C

section=$(mktemp)
trap 'rm -f "$section"' EXIT
"$objdump" -h "$program" | grep -q '\.rsrc' || { echo "no .rsrc section in $program"; exit 1; }
"$objcopy" -O binary --only-section=.rsrc "$program" "$section"

failed=0
check() {  # description, grep -P pattern over the section's bytes
  if grep -qaP "$2" "$section"; then echo "ok: $1"; else echo "MISSING: $1"; failed=$((failed + 1)); fi
}
check "manifest requireAdministrator" 'level="requireAdministrator"'
check "manifest common controls 6" 'Microsoft\.Windows\.Common-Controls" version="6\.0\.0\.0'
check "manifest PerMonitorV2" '>PerMonitorV2<'
IFS=. read -r major minor patch build <<<"$version"
word() { printf '\\x%02X\\x%02X' $(($1 & 255)) $(($1 >> 8)); }  # 16 bits, little-endian
utf16() {  # the digits and dots of $1 as a pattern of UTF-16LE text
  local i c
  for ((i = 0; i < ${#1}; i++)); do c=${1:i:1}; [ "$c" = . ] && c='\.'; printf '%s\\x00' "$c"; done
}
check "manifest version $version" "assemblyIdentity[^>]* version=\"${version//./\\.}\""
# VS_FIXEDFILEINFO: signature, structure version, then dwFileVersionMS (minor, major) and
# dwFileVersionLS (build, patch) as little-endian 32-bit words.
check "fixed file version $version" \
  "\\xBD\\x04\\xEF\\xFE\\x00\\x00\\x01\\x00$(word "$minor")$(word "$major")$(word "$build")$(word "$patch")"
check "FileVersion text $version" "F\\x00i\\x00l\\x00e\\x00V\\x00e\\x00r\\x00s\\x00i\\x00o\\x00n\\x00\\x00\\x00(\\x00\\x00)?$(utf16 "$version")\\x00\\x00"
check "main dialog font MS Shell Dlg" 'M\x00S\x00 \x00S\x00h\x00e\x00l\x00l\x00 \x00D\x00l\x00g\x00'
check "progress dialog caption" 'F\x00i\x00r\x00m\x00w\x00a\x00r\x00e\x00 \x00D\x00o\x00w\x00n\x00l\x00o\x00a\x00d\x00 \x00\x00\x00'

# The resource directory's type table: icons (3), dialogs (5), icon group (14), version (16),
# manifest (24).
types=$("$objdump" -p "$program" | grep -E '^[0-9a-f]{3}   Entry: ID:' | awk '{print $4}' | tr -d , | tr '\n' ' ')
if [ "$types" = "0x000003 0x000005 0x00000e 0x000010 0x000018 " ]; then
  echo "ok: resource types $types"
else
  echo "MISSING: resource types are $types"; failed=$((failed + 1))
fi
if (( failed )); then echo "$failed of 9 checks failed"; exit 1; fi
echo "9 passed, 0 failed"
