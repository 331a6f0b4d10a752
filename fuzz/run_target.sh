#!/usr/bin/env bash
# run_target.sh FUZZER SEEDS WORK SECONDS [libFuzzer options...]
# Runs one fuzz target for SECONDS on the committed seeds in SEEDS and the inputs earlier runs
# found (WORK/corpus, which grows); a finding is written to WORK/findings/ and fails the run.
# A dictionary of the target's format, SEEDS.dict beside the seeds, is used when there is one.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
shift 4
mkdir -p "$work/corpus" "$work/findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_odr_violation=0:quarantine_size_mb=64}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
dict=()
[ -f "$seeds.dict" ] && dict=(-dict="$seeds.dict")
exec "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/findings/" "${dict[@]}" "$@" "$work/corpus" "$seeds"
