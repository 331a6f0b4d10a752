#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the Windows and macOS cross builds need,
# when missing, and the zig compiler of the macOS build from npm (scripts/install-zig.sh).
# The macOS module file and the Mach-O fixture dylibs of the loader tests link with lld-19's
# ld64.lld (lld 14's copies __eh_frame without reading it, leaving entries that point at no
# function); clang builds the fixtures, and with its runtimes (libclang-rt-14-dev) the fuzz targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pkgs=(cmake g++ make googletest libgtest-dev libtiff-dev libcli11-dev
      g++-mingw-w64-x86-64-posix wine64 binutils-mingw-w64-x86-64
      clang lld-19 llvm libclang-rt-14-dev)
# npm comes with Node.js; only a machine without either takes Debian's.
command -v npm >/dev/null || pkgs+=(nodejs npm)
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
"$root/scripts/install-zig.sh"
