#!/usr/bin/env bash
# Builds the artist's zip with scripts/package.sh, unpacks it and checks every file: the folder
# layout, the Windows and macOS module files (byte for byte the builds' own, the macOS one passing
# the Mach-O checks), the resources, and that the headless host under wine loads the Windows file
# from the unpacked folder and runs the command with it.
#   package_check.sh SOURCE_DIR BUILD_ROOT FMHOST_EXE LLVM_OBJDUMP LLVM_DWARFDUMP VERSION
set -euo pipefail
src=$1 build=$2 fmhost=$3 objdump=$4 dwarfdump=$5 version=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

FM_BUILD_ROOT=$build "$src/scripts/package.sh" "$work/facetmender.zip"

# Exactly these entries, nothing else (directories aside).
listing=$(cd "$work" && cmake -E tar tf facetmender.zip | grep -v '/$' | sort)
expected=$(printf '%s\n' facetmender/facetmender.duv64 facetmender/facetmender.xlib \
  facetmender/res/icon.tif facetmender/res/strings.str)
[ "$listing" = "$expected" ] || fail "the zip holds:"$'\n'"$listing"$'\n'"expected:"$'\n'"$expected"

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf ../facetmender.zip)
folder="$work/unpacked/facetmender"
same() { cmp -s "$1" "$2" || fail "$1 differs from $2"; }
same "$folder/facetmender.duv64" "$build/windows/plugins/facetmender/facetmender.duv64"
same "$folder/facetmender.xlib" "$build/macos/plugins/facetmender/facetmender.xlib"
same "$folder/res/strings.str" "$src/plugins/facetmender/res/strings.str"
same "$folder/res/icon.tif" "$src/plugins/facetmender/res/icon.tif"

cmake -DMODULE="$folder/facetmender.xlib" -DOBJDUMP="$objdump" -DDWARFDUMP="$dwarfdump" \
  -DMIN_VERSION=11.0 -DVERSION="$version" -DIMPORTS="$src/tests/macos/imports.txt" -P "$src/tests/macos/module_check.cmake" \
  || fail "the packed facetmender.xlib fails the macOS module checks"

# The host loads the packed Windows file (and its resources) from the unpacked folder.
out=$("$src/scripts/wine-run" "$fmhost" "$src/examples/torus.obj" -o "$work/torus.obj" \
  --plugins "$work/unpacked" 2>&1 | tr -d '\r') || fail "fmhost under wine failed:"$'\n'"$out"
for line in "Facetmender 1.01.0" "torus: 512 Quadrangles" "512 Quadrangles restored in total"; do
  grep -qxF "$line" <<<"$out" || fail "fmhost printed no line '$line':"$'\n'"$out"
done
[ -s "$work/torus.obj" ] || fail "fmhost wrote no result"

if [ $failures -ne 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package checked: $listing" | tr '\n' ' '; echo
