#!/usr/bin/env bash
# Checks that every DLL the Windows program imports is one the loader never looks for beside the
# program: one of Windows' known DLLs (mapped from the system directory whatever the search path),
# or COMCTL32, which the manifest's side-by-side assembly supplies. Any other library must be
# loaded at run time from the system directory.
set -euo pipefail
program=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
objcopy=${OBJCOPY:-x86_64-w64-mingw32-objcopy}
export LC_ALL=C

# HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows 10 and 11.
known=(advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf msvcrt
       normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32)
known=" ${known[*]/%/.dll} "

imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
if ! grep -qx 'kernel32.dll' <<<"$imports"; then
  echo "no import table read from $program"; exit 1
fi

section=$(mktemp)
trap 'rm -f "$section"' EXIT
"$objcopy" -O binary --only-section=.rsrc "$program" "$section"

failed=0
count=0
for dll in $imports; do
  count=$((count + 1))
  if [[ "$known" == *" $dll "* ]]; then
    echo "ok: $dll (known DLL)"
  elif [ "$dll" = comctl32.dll ] && grep -qaP 'name="Microsoft\.Windows\.Common-Controls"' "$section"; then
    echo "ok: $dll (side-by-side assembly of the manifest)"
  else
    echo "NOT ALLOWED: $dll is imported, so the loader may take it from the program's folder"
    failed=$((failed + 1))
  fi
done
if (( failed )); then echo "$failed of $count imports not allowed"; exit 1; fi
echo "$count imports, all allowed"
