#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS] [TARGET...]
# Builds the fuzz targets with clang (in build/fuzz) and runs each in turn for SECONDS (default
# 600), at the lowest priority, on its committed seeds plus every input earlier runs found. Prints
# each target's executions; stops at the first finding, which stays in
# build/fuzz/fuzz/work/TARGET/findings/ (reproduce: build/fuzz/fuzz/TARGET FILE).
# With FM_FUZZ_RUNS=N each target stops after N executions instead, if that comes first.
# Targets: fuzz_string_table, fuzz_obj_reader, fuzz_command, fuzz_macho_loader, fuzz_fmhost (default: all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_string_table fuzz_obj_reader fuzz_command fuzz_macho_loader fuzz_fmhost)
build=${FM_BUILD_ROOT:-$root/build}
FM_BUILD_ROOT=$build "$root/scripts/install-deps.sh"
build=$build/fuzz

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFM_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "${FM_JOBS:-2}" --target "${targets[@]}"

runs=()
[ -n "${FM_FUZZ_RUNS:-}" ] && runs=(-runs="$FM_FUZZ_RUNS")
total=0
for target in "${targets[@]}"; do
  work=$build/fuzz/work/$target
  mkdir -p "$work"
  log=$work/last-run.log
  if ! nice -n 19 "$root/fuzz/run_target.sh" "$build/fuzz/$target" "$root/fuzz/corpus/$target" \
      "$work" "$seconds" "${runs[@]}" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$target: finding after the runs above; input in $work/findings/, log in $log" >&2
    exit 1
  fi
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
  echo "$target: $done_runs executions without a finding ($coverage)"
  total=$((total + done_runs))
done
echo "all targets: $total executions without a finding"
