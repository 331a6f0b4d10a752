#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the Windows cross build need, when missing.
set -euo pipefail
pkgs=(cmake g++ make googletest libgtest-dev libtiff-dev libcli11-dev
      g++-mingw-w64-x86-64-posix wine64 binutils-mingw-w64-x86-64)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
