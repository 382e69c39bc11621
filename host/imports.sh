#!/usr/bin/env bash
# Lists the Win32 entry points the two programs use, one "dll!Name" a line, sorted: their import
# tables plus the names they look up at run time with GetProcAddress. The simulated host may define
# only these and the set-up entry points of host/conformance_only.txt (checked by the native build).
#
#   bash host/imports.sh <corvel.exe> <corvelcmd.exe>            writes the list to stdout
#   bash host/imports.sh --check <list> <corvel.exe> <corvelcmd.exe>
#                                                                 fails, with the diff, when the
#                                                                 checked-in list is out of date
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
src=$here/../src
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

check=
if [ "${1:-}" = --check ]; then check=$2; shift 2; fi
[ $# -ge 1 ] || { echo "usage: $0 [--check <list>] <program.exe>..." >&2; exit 2; }

# Entry points looked up by name at run time, with the library they are looked up in.
runtime=(
  icmp!Icmp6CreateFile icmp!IcmpCloseHandle icmp!IcmpCreateFile
  iphlpapi!GetIpAddrTable iphlpapi!GetNumberOfInterfaces
  kernel32!AddDllDirectory kernel32!SetDefaultDllDirectories kernel32!SetDllDirectoryW
  user32!GetDpiForWindow
  winspool!ClosePrinter winspool!EnumPortsW winspool!EnumPrintersW winspool!GetPrinterW
  winspool!OpenPrinterW winspool!XcvDataW
)

# The declared run-time names must be the ones the source looks up: every name passed to
# GetProcAddress or to the lookups built on it, and no declared name the source no longer uses.
found=$(grep -rhoE '(GetProcAddress\([^;]*|Kernel32Entry<[^>]*>\([^;]*|FindEntryPoint\()"[A-Za-z0-9_]+"|SPOOLER_CALL\([A-Z][A-Za-z0-9_]*' \
          "$src" | sed -E 's/.*"([A-Za-z0-9_]+)"$/\1/; s/^SPOOLER_CALL\(//' | sort -u)
declared=$(printf '%s\n' "${runtime[@]}" | sed 's/.*!//' | sort -u)
if [ "$found" != "$declared" ]; then
  echo "the run-time lookups declared in $0 differ from the ones in src/ (< declared, > in the source):" >&2
  diff <(echo "$declared") <(echo "$found") >&2 || true
  exit 1
fi

list() {
  for program in "$@"; do
    "$objdump" -p "$program" | awk '
      /^[[:space:]]*DLL Name: / { dll = tolower($3); sub(/\.(dll|drv)$/, "", dll); next }
      dll != "" && /^[[:space:]]*$/ { dll = ""; next }
      dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll "!" $3 }'
  done
  printf '%s\n' "${runtime[@]}"
}

current=$(list "$@" | sort -u)
if ! grep -q '^kernel32!' <<<"$current"; then echo "no import table read from $*" >&2; exit 1; fi
if [ -z "$check" ]; then echo "$current"; exit 0; fi

if ! diff <(cat "$check") <(echo "$current") >/dev/null; then
  echo "$check differs from what the programs import now (< checked in, > now):"
  diff <(cat "$check") <(echo "$current") || true
  echo "regenerate it from the Windows build with:"
  echo "  bash host/imports.sh build/windows/src/corvel.exe build/windows/src/corvelcmd.exe > host/imports.txt"
  exit 1
fi
echo "$(wc -l <"$check") entry points, as imported now"
