#!/usr/bin/env bash
# Builds the Windows programs in release mode (the windows preset, in a folder of its own) and
# packages them for administrators:
#
#   dist/corvel-<version>-win64.zip   folder corvel-<version>-win64/ with the programs,
#                                     README.txt, LICENSE.txt and SHA256SUMS
#
#   release.sh [--build-dir DIR] [--dist DIR]     (defaults build/release and dist)
#
# The package is reproducible: the same sources give the same bytes. The programs carry no time
# stamp (the linker writes none, see CMakeLists.txt); the zip's entries are sorted and carry the
# time of the last commit (SOURCE_DATE_EPOCH, when set, instead), with fixed permissions.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The CMake targets packaged, each as <target>.exe; each has its README section in
# scripts/release/<target>.txt, in this order.
programs=(corvel corvelcmd)

build=build/release
dist=dist
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$2; shift ;;
    --dist) dist=$2; shift ;;
    -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "release.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    { echo "release.sh: not a git checkout: set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH

cmake --preset windows -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target "${programs[@]}" -j "${RELEASE_JOBS:-2}"
version=$(cat "$build/src/version.txt")
name=corvel-$version-win64

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
package="$stage/$name"
mkdir "$package"

crlf() { sed 's/\r*$/\r/'; }  # text files for Windows' editors
for program in "${programs[@]}"; do
  mapfile -t found < <(find "$build" -name "$program.exe" -not -path '*/CMakeFiles/*')
  [ ${#found[@]} -eq 1 ] || { echo "release.sh: expected one $program.exe in $build, found ${#found[@]}" >&2; exit 1; }
  cp "${found[0]}" "$package/$program.exe"
  [ -f "scripts/release/$program.txt" ] || { echo "release.sh: no scripts/release/$program.txt" >&2; exit 1; }
done
{
  cat scripts/release/README.txt
  for program in "${programs[@]}"; do cat "scripts/release/$program.txt"; done
  cat scripts/release/trailer.txt
} | sed "s/@VERSION@/$version/g" | crlf >"$package/README.txt"
crlf <LICENSE >"$package/LICENSE.txt"
(cd "$package" && find . -maxdepth 1 -type f -printf '%P\0' | LC_ALL=C sort -z | xargs -0 sha256sum -- >"$stage/SHA256SUMS")
mv "$stage/SHA256SUMS" "$package/SHA256SUMS"

mkdir -p "$dist"
zip="$dist/$name.zip"
python3 - "$stage" "$name" "$zip" <<'EOF'
import os, sys, time, zipfile

stage, top, out = sys.argv[1:]
# Zip times are local times from 1980 on: the epoch's UTC time, no earlier than 1980.
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
names = sorted(os.listdir(os.path.join(stage, top)))
with zipfile.ZipFile(out + ".tmp", "w") as archive:
    folder = zipfile.ZipInfo(top + "/", date_time=stamp)
    folder.create_system = 3
    folder.external_attr = (0o40755 << 16) | 0x10  # Unix mode, MS-DOS directory flag
    archive.writestr(folder, b"")
    for name in names:
        entry = zipfile.ZipInfo(top + "/" + name, date_time=stamp)
        entry.create_system = 3
        entry.external_attr = 0o100644 << 16
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(stage, top, name), "rb") as f:
            archive.writestr(entry, f.read(), compresslevel=9)
os.replace(out + ".tmp", out)
EOF
echo "release: $zip"
(cd "$dist" && sha256sum -- "$name.zip")
