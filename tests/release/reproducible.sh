#!/usr/bin/env bash
# The release packages are reproducible. scripts/release.sh builds the programs in a fresh folder,
# through a compiler cache of its own that starts empty (so every object is compiled again, and
# the MSI's upgrade test can build the next version from the same objects), and packages them;
# each program must equal, byte for byte, the same program of the windows preset's own build
# (another folder, built at another time); a second run a few seconds later, whose build has
# nothing left to do, must write the same zip and the same MSI. Also checks what the packages
# hold: the programs with a zero link time stamp, README.txt, LICENSE.txt and a SHA256SUMS that
# matches in the zip; the same files, the product version and the sources' time in the MSI; and
# the checksums of both beside them. The folder stays for the tests that use this release.
#
#   reproducible.sh WORKDIR PROGRAM...     (PROGRAM: the windows preset's build of each program)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(realpath -m -- "$1")
shift
rm -rf "$work"
mkdir -p "$work"
source "$root/tests/release/release_env.sh"
release_cache "$work"
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

start=$SECONDS
bash "$root/scripts/release.sh" --build-dir "$work/build" --dist "$work/dist-a" >"$work/a.log" 2>&1 ||
  { cat "$work/a.log"; echo "FAILED: the first release run"; exit 1; }
echo "the release build took $((SECONDS - start)) s"
sleep 2  # a time stamp taken from the clock would now differ
bash "$root/scripts/release.sh" --build-dir "$work/build" --dist "$work/dist-b" >"$work/b.log" 2>&1 ||
  { cat "$work/b.log"; echo "FAILED: the second release run"; exit 1; }

version=$(cat "$work/build/src/version.txt")
name=corvel-$version-win64
for file in "$name.zip" "$name.msi" "corvel-$version-SHA256SUMS"; do
  [ -f "$work/dist-a/$file" ] || fail "the release wrote no $file"
done
((failed == 0)) || { ls "$work/dist-a"; exit 1; }
zip_a=$work/dist-a/$name.zip zip_b=$work/dist-b/$name.zip
msi_a=$work/dist-a/$name.msi msi_b=$work/dist-b/$name.msi
sha256sum "$zip_a" "$zip_b" "$msi_a" "$msi_b"
echo "the MSI has $(stat -c %s "$msi_a") bytes"

mkdir "$work/a" "$work/b"
(cd "$work/a" && unzip -q "$zip_a")
(cd "$work/b" && unzip -q "$zip_b")
if cmp -s "$zip_a" "$zip_b"; then
  echo "ok: the two zips are identical"
else
  fail "the two zips differ"
  # Name the entries that differ, with their first differing bytes.
  if diff -r "$work/a" "$work/b"; then echo "their entries are equal: the zip's own fields differ"; fi
  cmp -l "$zip_a" "$zip_b" | head -5
fi
if cmp -s "$msi_a" "$msi_b"; then
  echo "ok: the two MSIs are identical"
else
  fail "the two MSIs differ"
  # Name what differs: the tables, the files, or only the container.
  for side in a b; do
    msidump -d "$work/msi-$side" -s -t "$work/dist-$side/$name.msi" >/dev/null
    msiextract -C "$work/msi-$side/files" "$work/dist-$side/$name.msi" >/dev/null
    msiinfo suminfo "$work/dist-$side/$name.msi" >"$work/msi-$side/suminfo.txt"
  done
  diff -r "$work/msi-a" "$work/msi-b" | head -20 || true
  cmp -l "$msi_a" "$msi_b" | head -5
fi

package="$work/a/$name"
expected=$(for file in LICENSE.txt README.txt SHA256SUMS "$@"; do basename "$file"; done | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
actual=$(cd "$package" && LC_ALL=C ls | tr '\n' ' ' | sed 's/ $//')
[ "$actual" = "$expected" ] && echo "ok: the zip holds $actual" || fail "the zip holds \"$actual\", expected \"$expected\""
(cd "$package" && sha256sum --quiet -c SHA256SUMS) && echo "ok: SHA256SUMS matches" || fail "SHA256SUMS does not match"
(cd "$work/dist-a" && sha256sum --quiet -c "corvel-$version-SHA256SUMS") && [ "$(wc -l <"$work/dist-a/corvel-$version-SHA256SUMS")" -eq 2 ] &&
  echo "ok: corvel-$version-SHA256SUMS matches the zip and the MSI" || fail "corvel-$version-SHA256SUMS"
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

# The MSI: the zip's files but SHA256SUMS, in the installation folder; its version; its times.
msiextract -C "$work/msi-files" "$msi_a" >/dev/null
installed="$work/msi-files/TVQ5530 Firmware Download Utility"
if diff -r -x SHA256SUMS "$package" "$installed" >/dev/null && [ ! -e "$installed/SHA256SUMS" ]; then
  echo "ok: the MSI installs the zip's files into TVQ5530 Firmware Download Utility"
else
  fail "the MSI's files differ from the zip's"
  diff -r "$package" "$installed" || true
fi
IFS=. read -r major minor patch buildno <<<"$version"
msi_version=$major.$minor.$((patch * 1000 + buildno))
msiinfo export "$msi_a" Property >"$work/property.idt"
grep -q -P "^ProductVersion\t$msi_version\r?$" "$work/property.idt" && echo "ok: ProductVersion $msi_version" ||
  fail "ProductVersion: $(grep ProductVersion "$work/property.idt")"
saved=$(TZ=UTC msiinfo suminfo "$msi_a" | sed -n 's/^Last saved: //p')
[ "$(date -u -d "$saved" +%s 2>/dev/null)" = "$SOURCE_DATE_EPOCH" ] && echo "ok: the MSI was last saved at the sources' time" ||
  fail "the MSI was last saved \"$saved\", not at $SOURCE_DATE_EPOCH"

if ((failed)); then echo "$failed checks failed"; exit 1; fi
echo "release.reproducible passed"
