#!/usr/bin/env bash
# A signed release: a throwaway code-signing certificate made here with openssl, release.sh
# --sign twice on release.reproducible's build (nothing to compile), the password only in the
# environment. osslsigncode must accept corvel.exe, corvelcmd.exe and the MSI against that
# certificate (and find no signature on the unsigned release's); the two signed releases must be
# identical; the signed programs must still pass the import and resource checks, and be the ones
# the signed MSI installs.
#
#   signing.sh RELEASE_WORKDIR WORKDIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
release=$(realpath -- "$1")
work=$(realpath -m -- "$2")
rm -rf "$work"
mkdir -p "$work"
source "$root/tests/release/release_env.sh"
release_cache "$release"
version=$(cat "$release/build/src/version.txt")
name=corvel-$version-win64
[ -f "$release/dist-a/$name.zip" ] || { echo "FAILED: no release in $release (release.reproducible writes it)"; exit 1; }

failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

export CORVEL_SIGN_PASSWORD="test only $RANDOM"
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -subj "/CN=TVQ5530 release test" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>"$work/openssl.log"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" -passout env:CORVEL_SIGN_PASSWORD

for side in a b; do
  bash "$root/scripts/release.sh" --build-dir "$release/build" --dist "$work/dist-$side" --sign "$work/cert.pfx" \
    >"$work/$side.log" 2>&1 || { cat "$work/$side.log"; echo "FAILED: the signed release"; exit 1; }
  [ $side = b ] || sleep 2  # a signing time taken from the clock would now differ
done
grep -q -- "$CORVEL_SIGN_PASSWORD" "$work"/*.log && fail "the password shows in the release's output"

for file in "$name.zip" "$name.msi"; do
  cmp -s "$work/dist-a/$file" "$work/dist-b/$file" && echo "ok: two signed releases give the same $file" ||
    fail "two signed releases give different ${file}s"
done
cmp -s "$release/dist-a/$name.msi" "$work/dist-a/$name.msi" && fail "the signed MSI equals the unsigned one"

mkdir "$work/zip" "$work/unsigned"
(cd "$work/zip" && unzip -q "$work/dist-a/$name.zip")
(cd "$work/unsigned" && unzip -q "$release/dist-a/$name.zip")
package=$work/zip/$name
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
for file in "$package/corvel.exe" "$package/corvelcmd.exe" "$work/dist-a/$name.msi"; do
  if verify "$file" && grep -q "Signature verification: ok" "$work/verify.log" &&
    grep -q "^Message digest algorithm *: SHA256" "$work/verify.log"; then
    echo "ok: osslsigncode verifies $(basename "$file") against the test certificate, SHA-256"
  else
    cat "$work/verify.log"; fail "$(basename "$file") does not verify"
  fi
done
verify "$work/unsigned/$name/corvel.exe" && fail "the unsigned corvel.exe verifies too"
(cd "$package" && sha256sum --quiet -c SHA256SUMS) && echo "ok: SHA256SUMS matches the signed programs" || fail "SHA256SUMS"
(cd "$work/dist-a" && sha256sum --quiet -c "corvel-$version-SHA256SUMS") && echo "ok: corvel-$version-SHA256SUMS matches" ||
  fail "corvel-$version-SHA256SUMS"

msiextract -C "$work/msi" "$work/dist-a/$name.msi" >/dev/null
for program in corvel.exe corvelcmd.exe; do
  cmp -s "$package/$program" "$work/msi/TVQ5530 Firmware Download Utility/$program" &&
    echo "ok: the signed MSI installs the signed $program" || fail "the MSI's $program is not the signed one"
done
bash "$root/src/app/check_imports.sh" "$package/corvel.exe" >"$work/imports.log" 2>&1 &&
  echo "ok: the signed corvel.exe passes corvel.imports" || { cat "$work/imports.log"; fail "corvel.imports on the signed corvel.exe"; }
bash "$root/src/app/check_resources.sh" "$package/corvel.exe" "$version" >"$work/resources.log" 2>&1 &&
  echo "ok: the signed corvel.exe passes corvel.resources" || { cat "$work/resources.log"; fail "corvel.resources on the signed corvel.exe"; }
bash "$root/src/cli/check_resources.sh" "$package/corvelcmd.exe" "$version" >"$work/cmd-resources.log" 2>&1 &&
  echo "ok: the signed corvelcmd.exe passes corvelcmd.resources" || { cat "$work/cmd-resources.log"; fail "corvelcmd.resources on the signed corvelcmd.exe"; }

if ((failed)); then echo "$failed checks failed"; exit 1; fi
echo "release.signing passed"
rm -rf "$work"
