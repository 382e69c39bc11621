#!/usr/bin/env bash
# The release package is reproducible. scripts/release.sh builds the programs in a fresh folder
# (without the compiler cache, so that every object is compiled again) and packages them; each
# program must equal, byte for byte, the same program of the windows preset's own build (another
# folder, built at another time); a second run a few seconds later, whose build has nothing left
# to do, must write the same zip. Also checks what the package holds: the programs with a zero
# link time stamp, README.txt, LICENSE.txt and a SHA256SUMS that matches.
#
#   reproducible.sh WORKDIR PROGRAM...     (PROGRAM: the windows preset's build of each program)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(realpath -m -- "$1")
shift
rm -rf "$work"
mkdir -p "$work"
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
# One package time for both runs, whatever is committed meanwhile.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

start=$SECONDS
CCACHE_DISABLE=1 bash "$root/scripts/release.sh" --build-dir "$work/build" --dist "$work/dist-a" >"$work/a.log" 2>&1 ||
  { cat "$work/a.log"; echo "FAILED: the first release run"; exit 1; }
echo "the release build took $((SECONDS - start)) s"
sleep 2  # a time stamp taken from the clock would now differ
bash "$root/scripts/release.sh" --build-dir "$work/build" --dist "$work/dist-b" >"$work/b.log" 2>&1 ||
  { cat "$work/b.log"; echo "FAILED: the second release run"; exit 1; }

zip_a=$(find "$work/dist-a" -name 'corvel-*-win64.zip')
zip_b=$(find "$work/dist-b" -name 'corvel-*-win64.zip')
version=$(cat "$work/build/src/version.txt")
[ "$(basename "$zip_a")" = "corvel-$version-win64.zip" ] || fail "package name $(basename "$zip_a"), expected corvel-$version-win64.zip"
sha256sum "$zip_a" "$zip_b"

mkdir "$work/a" "$work/b"
(cd "$work/a" && unzip -q "$zip_a")
(cd "$work/b" && unzip -q "$zip_b")
if cmp -s "$zip_a" "$zip_b"; then
  echo "ok: the two packages are identical"
else
  fail "the two packages differ"
  # Name the entries that differ, with their first differing bytes.
  if diff -r "$work/a" "$work/b"; then echo "their entries are equal: the zip's own fields differ"; fi
  cmp -l "$zip_a" "$zip_b" | head -5
fi

package="$work/a/corvel-$version-win64"
expected=$(for file in LICENSE.txt README.txt SHA256SUMS "$@"; do basename "$file"; done | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
actual=$(cd "$package" && LC_ALL=C ls | tr '\n' ' ' | sed 's/ $//')
[ "$actual" = "$expected" ] && echo "ok: the package holds $actual" || fail "the package holds \"$actual\", expected \"$expected\""
(cd "$package" && sha256sum --quiet -c SHA256SUMS) && echo "ok: SHA256SUMS matches" || fail "SHA256SUMS does not match"
grep -q "version $version" "$package/README.txt" && echo "ok: README.txt names version $version" || fail "README.txt lacks the version"
for program in "$@"; do
  exe="$package/$(basename "$program")"
  if cmp -s "$program" "$exe"; then
    echo "ok: $(basename "$program") equals the windows preset's build"
  else
    fail "$(basename "$program") differs from $program (is the windows preset built from these sources?)"
    cmp -l "$program" "$exe" | head -5
  fi
done
for exe in "$package"/*.exe; do
  stamp=$(TZ=UTC "$objdump" -p "$exe" | sed -n 's/^Time\/Date[[:space:]]*//p')
  case $stamp in
    "Thu Jan  1 00:00:00 1970" | 00000000 | 0) echo "ok: $(basename "$exe") has no link time stamp" ;;
    *) fail "$(basename "$exe") carries the link time stamp \"$stamp\"" ;;
  esac
done

if (( failed )); then echo "$failed checks failed"; exit 1; fi
echo "release.reproducible passed"
rm -rf "$work"
