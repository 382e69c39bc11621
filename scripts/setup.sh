#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages, when anything is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  libssl-dev   # the simulated host's SHA-256 (OpenSSL's libcrypto)
  g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  iproute2   # ip: a Wine test brings up the loopback of its own network namespace
  procps     # ps: a Wine test that runs too long lists its processes
  python3
  # the release: MSI (wixl, and msitools with its Python bindings), signing, the deployment example
  wixl msitools gir1.2-libmsi-1.0 python3-gi osslsigncode openssl ansible ccache unzip git
  clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
