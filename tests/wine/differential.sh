#!/usr/bin/env bash
# Runs the differential cases natively (against the simulated host) and under Wine, and compares
# their lines by case. A case whose results differ fails the test and is named, unless the list of
# known differences holds it with Wine's result and the reason: "<case> => <Wine's result> | <reason>",
# where "*" in the case or the result stands for any text.
#
#   differential.sh PROGRAM WINEPREFIX NATIVE_PROGRAM KNOWN_DIFFERENCES
#
# Without the native program it says why, states that it skipped, and exits 0.
set -euo pipefail
program=$1
prefix=$2
native=$3
known=$4

if [ ! -x "$native" ]; then
  echo "wine.differential skipped: $native is not built (build the native preset first:" \
       "cmake --preset native && cmake --build --preset native)"
  exit 0
fi

source "$(dirname "$0")/wine_env.sh" "$prefix"
export WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$native" > "$work/native.txt"
"$WINE" "$program" | tr -d '\r' > "$work/wine.txt"

awk -v known="$known" -v wine="$work/wine.txt" '
  function name_of(l) { sub(/ -> .*$/, "", l); return l }
  function pattern(text,   re) {
    re = text
    gsub(/[][\\.^$()|+?{}]/, "\\\\&", re)
    gsub(/[*]/, ".*", re)
    return "^" re "$"
  }
  function listed(case_name, wine_result,   i) {
    for (i = 1; i <= count; i++) {
      if (case_name ~ names[i] && wine_result ~ results[i]) { used[i] = 1; return 1 }
    }
    return 0
  }
  BEGIN {
    while ((getline line < known) > 0) {
      if (line ~ /^#/ || line !~ / => .* [|] /) continue
      sub(/ [|] .*$/, "", line)
      split(line, parts, / => /)
      listed_text[++count] = line
      names[count] = pattern(parts[1])
      results[count] = pattern(parts[2])
    }
    # The cases under Wine by name; a repeated name is told apart by its rank.
    while ((getline line < wine) > 0) {
      name = name_of(line)
      key = name SUBSEP (++seen_wine[name])
      under_wine[key] = line
    }
  }
  {
    cases++
    name = name_of($0)
    key = name SUBSEP (++seen_host[name])
    other = (key in under_wine) ? under_wine[key] : "(no such case)"
    delete under_wine[key]
    if ($0 == other) next
    result = other
    sub(/^.* -> /, "", result)
    if (other != "(no such case)" && listed(name, result)) { explained++; next }
    failed++
    print "differs: " name
    print "  host: " $0
    print "  wine: " other
  }
  END {
    for (key in under_wine) { failed++; print "only under Wine: " under_wine[key] }
    for (i = 1; i <= count; i++) if (!used[i]) print "note: listed difference not seen: " listed_text[i]
    printf "%d cases, %d known Wine-only differences, %d new differences\n", cases, explained, failed
    exit failed > 0 ? 1 : 0
  }
' "$work/native.txt"
