#!/usr/bin/env bash
# Compiles scripts/abi-compare/crossings.cpp (the host's declaration of every crossing the Windows
# host builds with mingw-w64) with mingw-w64's g++ and with clang's Microsoft target, and prints
# each function's code from both side by side, so the registers of every argument and result slot
# can be compared. Usage: scripts/abi-compare.sh [FUNCTION-NAME-PART]
set -euo pipefail
here=$(cd "$(dirname "$0")/abi-compare" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
clang=$(command -v clang++ || command -v clang++-19 || command -v clang++-14)
"$clang" --target=x86_64-pc-windows-msvc -std=c++20 -O1 -fno-exceptions -fno-rtti -S \
  "$here/crossings.cpp" -o "$out/ms.s"
x86_64-w64-mingw32-g++ -std=c++20 -O1 -fno-exceptions -fno-rtti -S "$here/crossings.cpp" \
  -o "$out/gnu.s"
python3 "$here/listing.py" "$out/ms.s" "$out/gnu.s" "${1:-}"
