#!/usr/bin/env bash
# From a fresh machine to a result: installs the packages that are missing, configures and builds
# the Linux build in build/linux (the module and fmhost), then runs fmhost on a bundled example,
# writing out/<name>.obj and checking that one undo brings the input back.
#   EXAMPLE=panel scripts/run-example.sh      another bundled example (examples/<name>.obj)
#   scripts/run-example.sh --json             further arguments go to fmhost
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${FM_BUILD_ROOT:-$root/build}/linux
jobs=${FM_JOBS:-2}
name=${EXAMPLE:-torus}
if [ ! -f "$root/examples/$name.obj" ]; then
  echo "run-example: no bundled example examples/$name.obj" >&2
  exit 2
fi
echo "=== building the module and fmhost in $build"
mkdir -p "$build"
log="$build/run-example.log"
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$build" -j "$jobs" --target facetmender fmhost; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "run-example: the build failed; the whole log is in $log" >&2
  exit 1
fi
mkdir -p "$root/out"
echo "=== fmhost examples/$name.obj -o out/$name.obj --undo-check${*:+ $*}"
cd "$root"
exec "$build/host/fmhost/fmhost" "examples/$name.obj" -o "out/$name.obj" --undo-check "$@"
