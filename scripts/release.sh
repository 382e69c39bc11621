#!/usr/bin/env bash
# Builds the Windows programs in release mode (the windows preset, in a folder of its own) and
# packages them for administrators:
#
#   dist/corvel-<version>-win64.zip   folder corvel-<version>-win64/ with the programs,
#                                     README.txt, LICENSE.txt and SHA256SUMS
#   dist/corvel-<version>-win64.msi   the Windows Installer package (wixl, msitools)
#   dist/corvel-<version>-SHA256SUMS  the SHA-256 of the zip and the MSI
#
#   release.sh [--build-dir DIR] [--dist DIR] [--sign FILE.pfx [--timestamp URL]]
#
# --sign signs corvel.exe, corvelcmd.exe and the MSI with osslsigncode (Authenticode, SHA-256)
# with the certificate and key in FILE.pfx; its password, if it has one, comes from the
# environment variable CORVEL_SIGN_PASSWORD. --timestamp has the signatures time-stamped by that
# RFC 3161 server (none by default). Defaults: build/release and dist.
#
# The packages are reproducible: the same sources give the same bytes. The programs carry no
# time stamp (the linker writes none, see CMakeLists.txt); the zip's entries are sorted and carry
# the time of the last commit (SOURCE_DATE_EPOCH, when set, instead), with fixed permissions; the
# MSI's files, its summary times and signatures carry that time too and its package code is
# derived from its content. A time-stamped signature is the one thing that differs between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The CMake targets packaged, each as <target>.exe; each has its README section in
# scripts/release/<target>.txt, in this order. The MSI's source (scripts/release/corvel.wxs)
# names the same files.
programs=(corvel corvelcmd)

build=build/release
dist=dist
sign_pfx=
timestamp_url=
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir | --dist | --sign | --timestamp) [ $# -ge 2 ] || { echo "release.sh: $1 needs a value" >&2; exit 2; } ;;
  esac
  case $1 in
    --build-dir) build=$2; shift ;;
    --dist) dist=$2; shift ;;
    --sign) sign_pfx=$(realpath -- "$2"); shift ;;
    --timestamp) timestamp_url=$2; shift ;;
    -h | --help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "release.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ -z "$timestamp_url" ] || [ -n "$sign_pfx" ] || { echo "release.sh: --timestamp needs --sign" >&2; exit 2; }
[ -z "$sign_pfx" ] || [ -f "$sign_pfx" ] || { echo "release.sh: no certificate file $sign_pfx" >&2; exit 2; }

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    { echo "release.sh: not a git checkout: set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH

cmake --preset windows -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target "${programs[@]}" -j "${RELEASE_JOBS:-2}"
version=$(cat "$build/src/version.txt")
name=corvel-$version-win64

# Windows Installer compares only the first three fields of a product's version, so a new build
# number alone would install beside the old one and a downgrade would pass unnoticed. The MSI's
# version therefore folds patch and build into its third field: 1.2.0.6 -> 1.2.6, 1.2.1.6 ->
# 1.2.1006 (the programs' own version stays the four fields).
IFS=. read -r major minor patch buildno <<<"$version"
if ((major > 255 || minor > 255 || buildno > 999 || patch * 1000 + buildno > 65535)); then
  echo "release.sh: version $version does not fit the installer's major.minor.(patch*1000+build)" >&2
  exit 1
fi
msi_version=$major.$minor.$((patch * 1000 + buildno))
upgrade_code=$(sed -n 's/.*UpgradeCode="{\([0-9A-F-]*\)}".*/\1/p' scripts/release/corvel.wxs)
[ -n "$upgrade_code" ] || { echo "release.sh: no UpgradeCode in scripts/release/corvel.wxs" >&2; exit 1; }
# Each version is a product of its own, with a code derived from its version.
product_code=$(python3 -c 'import sys, uuid; print("{%s}" % str(uuid.uuid5(uuid.UUID(sys.argv[1]), "product " + sys.argv[2])).upper())' "$upgrade_code" "$msi_version")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
package="$stage/$name"
mkdir "$package"

# sign IN OUT: an Authenticode signature, SHA-256, with the signing time of the sources unless
# a time-stamp server gives the time.
sign() {
  local args=(sign -pkcs12 "$sign_pfx" -h sha256 -n "TVQ5530 MFP Series Firmware Download Utility" -in "$1" -out "$2")
  if [ -n "$timestamp_url" ]; then args+=(-ts "$timestamp_url"); else args+=(-time "$SOURCE_DATE_EPOCH"); fi
  if [ -n "${CORVEL_SIGN_PASSWORD+set}" ]; then
    # The password goes through a pipe, never on a command line.
    printf '%s' "$CORVEL_SIGN_PASSWORD" | osslsigncode "${args[@]}" -readpass - >"$stage/sign.log" 2>&1
  else
    osslsigncode "${args[@]}" >"$stage/sign.log" 2>&1
  fi || { cat "$stage/sign.log" >&2; echo "release.sh: signing $1 failed" >&2; exit 1; }
}

crlf() { sed 's/\r*$/\r/'; }  # text files for Windows' editors
for program in "${programs[@]}"; do
  mapfile -t found < <(find "$build/" -name "$program.exe" -not -path '*/CMakeFiles/*')
  [ ${#found[@]} -eq 1 ] || { echo "release.sh: expected one $program.exe in $build, found ${#found[@]}" >&2; exit 1; }
  if [ -n "$sign_pfx" ]; then sign "${found[0]}" "$package/$program.exe"; else cp "${found[0]}" "$package/$program.exe"; fi
  [ -f "scripts/release/$program.txt" ] || { echo "release.sh: no scripts/release/$program.txt" >&2; exit 1; }
done
{
  cat scripts/release/README.txt
  for program in "${programs[@]}"; do cat "scripts/release/$program.txt"; done
  cat scripts/release/install.txt scripts/release/trailer.txt
} | sed "s/@VERSION@/$version/g; s/@MSI_VERSION@/$msi_version/g" | crlf >"$package/README.txt"
crlf <LICENSE >"$package/LICENSE.txt"
# The MSI's cabinet keeps each file's time: that of the sources.
touch -d "@$SOURCE_DATE_EPOCH" "$package"/*
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

msi=$name.msi
# wixl finds the files by their names, from the folder it runs in.
(cd "$package" && wixl -a x64 -D ProductVersion="$msi_version" -D ProductCode="$product_code" \
  -o "$stage/$msi" "$root/scripts/release/corvel.wxs")
# wixl stamps the build's time and a random package code: the sources' time and a code from the
# package's content instead (Debian's python3, for the msitools library's bindings).
/usr/bin/python3 scripts/release/msi_summary.py "$stage/$msi" "$upgrade_code" >/dev/null
if [ -n "$sign_pfx" ]; then sign "$stage/$msi" "$stage/$msi.signed"; mv "$stage/$msi.signed" "$stage/$msi"; fi
mv "$stage/$msi" "$dist/$msi"
echo "release: $dist/$msi (product version $msi_version, product code $product_code)"

(cd "$dist" && sha256sum -- "$name.zip" "$msi" >"corvel-$version-SHA256SUMS" && cat "corvel-$version-SHA256SUMS")
