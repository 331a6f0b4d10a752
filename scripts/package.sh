#!/usr/bin/env bash
# Builds the two module files we ship and writes the artist's package:
#   dist/facetmender-<version>.zip
#     facetmender/facetmender.duv64   Windows x64 (mingw-w64 cross build)
#     facetmender/facetmender.xlib    macOS x86-64 (Mach-O, zig + ld64.lld cross build)
#     facetmender/res/                 the resources (strings.str, icon.tif)
# The Linux build's facetmender.xlib is an ELF stand-in for the tests and never goes in here.
#   scripts/package.sh [ZIP]     (builds in $FM_BUILD_ROOT, default <repo>/build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FM_BUILD_ROOT:-$root/build}
jobs=${FM_JOBS:-2}
version=$(sed -n 's/.*kBanner = "Facetmender \([0-9][0-9.]*\)".*/\1/p' \
  "$root/plugins/facetmender/source/facetmender.cpp")
[ -n "$version" ] || { echo "package.sh: no version in facetmender.cpp" >&2; exit 1; }
zip=${1:-$root/dist/facetmender-$version.zip}

FM_BUILD_ROOT=$build "$root/scripts/install-deps.sh"
build_module() {
  local name=$1 toolchain=$2; shift 2
  cmake -S "$root" -B "$build/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" "$@" >/dev/null
  cmake --build "$build/$name" -j "$jobs" --target facetmender >/dev/null
}
echo "=== building the macOS and Windows module files in $build"
build_module macos zig-macos-x86_64.cmake -DFM_MACOS_TOOLS="$build/tools"
build_module windows mingw-w64-x86_64.cmake
mac="$build/macos/plugins/facetmender/facetmender.xlib"
win="$build/windows/plugins/facetmender/facetmender.duv64"

# The two files must be what their names promise before anything is packed.
magic() { od -An -tx1 -N4 "$1" | tr -d ' \n'; }
[ "$(magic "$mac")" = cffaedfe ] || { echo "package.sh: $mac is not a 64-bit Mach-O file" >&2; exit 1; }
[ "$(od -An -c -N2 "$win" | tr -d ' \n')" = MZ ] || { echo "package.sh: $win is not a PE file" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/facetmender"
cp "$win" "$mac" "$stage/facetmender/"
cp -R "$root/plugins/facetmender/res" "$stage/facetmender/res"
mkdir -p "$(dirname "$zip")"
zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip facetmender)
echo "wrote $zip"
