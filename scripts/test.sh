#!/usr/bin/env bash
# The whole test run, from a fresh machine: installs what is missing, then builds and runs
#   1. the Linux suite (Itanium layout),
#   2. the Linux suite again with AddressSanitizer and UndefinedBehaviorSanitizer (leaks checked),
#   3. the Windows x64 suite, cross-built with mingw-w64 and run under wine.
# Stops at the first failing suite. FM_SUITES="linux asan windows" picks suites.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${FM_BUILD_ROOT:-$root/build}
jobs=${FM_JOBS:-2}
suites=${FM_SUITES:-linux asan windows}

run_suite() {
  local name=$1; shift
  echo "=== suite: $name"
  cmake -S "$root" -B "$build/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$build/$name" -j "$jobs"
  ctest --test-dir "$build/$name" --output-on-failure -j "$jobs"
}

start_wine() {
  export FM_WINE_ROOT="$build/wine"
  export WINEPREFIX="$FM_WINE_ROOT/prefix" WINEARCH=win64 WINEDEBUG=-all TMPDIR="$FM_WINE_ROOT/tmp"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  unset DISPLAY
  mkdir -p "$TMPDIR" "$WINEPREFIX"
  /usr/lib/wine/wineserver -p
  /usr/lib/wine/wine64 wineboot >/dev/null 2>&1 || true
  trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
}

for suite in $suites; do
  case $suite in
    linux) run_suite linux ;;
    asan)
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_odr_violation=0 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_suite asan -DFM_SANITIZE=ON ;;
    windows)
      start_wine
      run_suite windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" ;;
    *) echo "unknown suite $suite" >&2; exit 2 ;;
  esac
done
