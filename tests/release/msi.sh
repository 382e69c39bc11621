#!/usr/bin/env bash
# The MSI under Wine, used as a deployment system uses it, in a fresh prefix of its own: a silent
# installation (the files, the uninstall entry's version and InstallLocation, App Paths, the
# Start-menu shortcut, the installed corvelcmd.exe run from the InstallLocation), the next version
# installed over it (one entry left, the new files, an image copied into the folder kept), the
# older version refused, and a silent removal by product code (everything gone but the image).
# The next version is a copy of the sources with the build number one higher, packaged by the
# copy's own release.sh through release.reproducible's compiler cache, so that only what reads
# the version is compiled again.
#
#   msi.sh RELEASE_WORKDIR WORKDIR    (RELEASE_WORKDIR: where release.reproducible left its release)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
release=$(realpath -- "$1")
work=$(realpath -m -- "$2")
rm -rf "$work"
mkdir -p "$work"
source "$root/tests/release/release_env.sh"

version=$(cat "$release/build/src/version.txt")
msi_v1=$release/dist-a/corvel-$version-win64.msi
[ -f "$msi_v1" ] || { echo "FAILED: no release in $release (release.reproducible writes it)"; exit 1; }
installer_version() { local a b c d; IFS=. read -r a b c d <<<"$1"; echo "$a.$b.$((c * 1000 + d))"; }

# The next version, built at the same depth below the copy as the release below the tree.
IFS=. read -r major minor patch buildno <<<"$version"
next=$major.$minor.$patch.$((buildno + 1))
tree=$work/tree
mkdir "$tree"
(cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null --ignore-failed-read -T - -cf -) |
  tar -C "$tree" -xf -
sed -i "s/^#define CORVEL_VERSION_BUILD [0-9]*$/#define CORVEL_VERSION_BUILD $((buildno + 1))/" "$tree/src/app/version.h"
release_cache "$release"
ccache_counts() { ccache --print-stats 2>/dev/null | awk '$1 ~ /_cache_hit$/ { hit += $2 } $1 == "cache_miss" { miss += $2 } END { print hit + 0, miss + 0 }'; }
read -r hits_before misses_before < <(ccache_counts)
start=$SECONDS
bash "$tree/scripts/release.sh" --build-dir "$tree/$(realpath --relative-to="$root" "$release/build")" \
  --dist "$work/dist-next" >"$work/next.log" 2>&1 || { cat "$work/next.log"; echo "FAILED: the next version's release"; exit 1; }
msi_v2=$work/dist-next/corvel-$next-win64.msi
[ -f "$msi_v2" ] || { ls "$work/dist-next"; echo "FAILED: the next version's release wrote no corvel-$next-win64.msi"; exit 1; }
read -r hits misses < <(ccache_counts)
echo "the next version, $next, took $((SECONDS - start)) s to build and package" \
  "($((misses - misses_before)) objects compiled, $((hits - hits_before)) from the cache)"
for v in "$version" "$next"; do
  mkdir -p "$work/zip-$v" && (cd "$work/zip-$v" && unzip -q "$(find "$release/dist-a" "$work/dist-next" -name "corvel-$v-win64.zip")")
done

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY  # a silent installation opens no window
WINE=$(command -v wine64 || command -v wine)
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
wine_run() { "$WINE" "$@" 2>>"$work/wine.log" | tr -d '\r'; }
# msiexec ARGS...: its exit code in $msi_rc. Wine's msiexec exits with the installer's result,
# which the exit status keeps only modulo 256 (1603 arrives as 67).
msiexec() { "$WINE" msiexec "$@" >>"$work/wine.log" 2>&1 && msi_rc=0 || msi_rc=$?; }
folder="$WINEPREFIX/drive_c/Program Files/TVQ5530 Firmware Download Utility"
location='C:\Program Files\TVQ5530 Firmware Download Utility\'
# The product's uninstall entries, one line each: key, DisplayVersion, InstallLocation.
entries() {
  wine_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    awk -F '    ' '/^HKEY/ { key = $0 }
      $2 == "DisplayName" { name[key] = $4 } $2 == "DisplayVersion" { ver[key] = $4 } $2 == "InstallLocation" { loc[key] = $4 }
      END { for (k in name) if (name[k] == "TVQ5530 MFP Series Firmware Download Utility") print k "|" ver[k] "|" loc[k] }'
}
shortcut() { find "$WINEPREFIX/drive_c" -name 'TVQ5530 Firmware Download Utility.lnk' | grep -q .; }
no_shortcut() { ! shortcut; }
no_app_paths() { ! "$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\corvelcmd.exe' >/dev/null 2>&1; }
same_files() {  # same_files VERSION: the folder holds that version's files (and maybe an image)
  local f
  for f in corvel.exe corvelcmd.exe README.txt LICENSE.txt; do cmp -s "$work/zip-$1/corvel-$1-win64/$f" "$folder/$f" || return 1; done
}

passed=0
failed=0
is() { [ "$2" = "$3" ] || { echo "  $1: got \"$2\", expected \"$3\""; return 1; }; }  # is LABEL ACTUAL EXPECTED
check() {  # check DESCRIPTION COMMAND...
  local description=$1
  shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $description"; else failed=$((failed + 1)); echo "FAILED: $description"; fi
}

start=$SECONDS
msiexec /i "$(winpath "$msi_v1")" /qn /l*v "$(winpath "$work/install-$version.log")"
check "msiexec /i $version /qn exits with 0" is "exit code" "$msi_rc" 0
check "the programs, README.txt and LICENSE.txt are in Program Files" same_files "$version"
entry=$(entries)
check "one uninstall entry, DisplayVersion $(installer_version "$version"), InstallLocation the folder" \
  is "uninstall entry" "${entry#*|}" "$(installer_version "$version")|$location"
check "App Paths names the installed corvelcmd.exe" \
  is "App Paths" "$(wine_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\corvelcmd.exe' /ve | sed -n 's/.*REG_SZ    //p')" "${location}corvelcmd.exe"
check "the Start-menu shortcut is there" shortcut
installed_location=$(entries | cut -d'|' -f3)
check "corvelcmd.exe --version, run from the InstallLocation, prints $version" \
  is "--version" "$(wine_run "${installed_location}corvelcmd.exe" --version)" "corvelcmd $version"
echo "image" >"$folder/TVQ5530n.bin"

msiexec /i "$(winpath "$msi_v2")" /qn /l*v "$(winpath "$work/install-$next.log")"
check "msiexec /i $next over $version exits with 0" is "exit code" "$msi_rc" 0
entry=$(entries)
check "one uninstall entry left, DisplayVersion $(installer_version "$next")" \
  is "uninstall entries" "$(echo "$entry" | cut -d'|' -f2 | tr '\n' ' ')" "$(installer_version "$next") "
check "the folder holds $next's files" same_files "$next"
check "the installed corvelcmd.exe prints $next" \
  is "--version" "$(wine_run "${location}corvelcmd.exe" --version)" "corvelcmd $next"
check "the image copied into the folder stays" test -f "$folder/TVQ5530n.bin"

msiexec /i "$(winpath "$msi_v1")" /qn /l*v "$(winpath "$work/downgrade.log")"
check "msiexec /i $version over $next is refused with 1603 (67 under Wine)" is "exit code" "$msi_rc" $((1603 % 256))
check "the installer saw the newer version" grep -aq "WIX_DOWNGRADE_DETECTED = {" "$work/downgrade.log"
check "the downgrade changed nothing" is "uninstall entry" "$(entries)" "$entry"
check "the folder still holds $next's files" same_files "$next"

product_code=$(echo "$entry" | cut -d'|' -f1 | sed 's/.*\\//')
msiexec /x "$product_code" /qn /l*v "$(winpath "$work/uninstall.log")"
check "msiexec /x $product_code /qn exits with 0" is "exit code" "$msi_rc" 0
check "no uninstall entry left" is "uninstall entries" "$(entries)" ""
check "the folder holds only the image" is "folder" "$(ls "$folder" 2>&1 | tr '\n' ' ')" "TVQ5530n.bin "
check "App Paths forgets corvelcmd.exe" no_app_paths
check "the Start-menu shortcut is gone" no_shortcut
echo "the installations under Wine took $((SECONDS - start)) s"
wineserver -k 2>/dev/null || true  # this prefix's server only

echo "$passed checks passed, $failed failed"
if ((failed)); then echo "logs: $work/*.log"; exit 1; fi
echo "release.msi passed"
rm -rf "$work"
