#!/usr/bin/env bash
# fmhost end to end on triangulated tori (per-corner texture coordinates, two groups) from 20
# thousand to 20 million triangles. Prints per size: read, command and write seconds (fmhost's own
# --json figures), the rest of the run (loading the modules, building the document, tracing the
# result, letting it go), total seconds and peak resident memory of the whole process
# (/usr/bin/time), time and memory per triangle, and the yardstick: a Python loop over the file's
# lines, timed right before, with fmhost's total as a multiple of it. The last two columns are the
# time and memory per triangle relative to the smallest size (flat means linear).
#
#   bench/fmhost_bench.sh [BUILD_DIR]          default: build/linux
#   FMHOST_BEFORE=/path/to/other/fmhost ...    also runs another fmhost on the same files, each size
#                                              right after this one (its plug-in folder beside it)
#   FM_BENCH_SIZES="20000 200000" ...          a subset of 20000 200000 2000000 20000000
#   FM_BENCH_DIR=/tmp/fmhost-bench             where the generated files go (the largest is 1.4 GB)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux}
dir=${FM_BENCH_DIR:-/tmp/fmhost-bench}
sizes=${FM_BENCH_SIZES:-20000 200000 2000000 20000000}
mkdir -p "$dir"

dimensions() {  # triangles -> "segments sides"
  case $1 in
    20000) echo "100 100" ;;
    200000) echo "250 400" ;;
    2000000) echo "1000 1000" ;;
    20000000) echo "2500 4000" ;;
    *) echo "bench: no torus for $1 triangles" >&2; exit 2 ;;
  esac
}

field() {  # name json -> value
  sed -n "s/^  \"$1\": \\([0-9.e+-]*\\),*$/\\1/p" <<<"$2"
}

yardstick() {  # file -> seconds of a Python loop over its lines
  python3 - "$1" <<'PY'
import sys, time
start = time.perf_counter()
lines = 0
with open(sys.argv[1], "rb") as f:
    for line in f:
        lines += 1
print(f"{time.perf_counter() - start:.3f}")
PY
}

run() {  # label fmhost plugins file triangles yardstick-seconds
  local label=$1 exe=$2 plugins=$3 file=$4 triangles=$5 python=$6 json timing wall peak
  timing=$(mktemp)
  json=$(/usr/bin/time -f "%e %M" -o "$timing" "$exe" "$file" -o "$dir/out.obj" --json \
           --plugins "$plugins" 2>/dev/null)
  read -r wall peak <"$timing"
  rm -f "$timing" "$dir/out.obj"
  local read_s command_s write_s
  read_s=$(field readSeconds "$json"); command_s=$(field seconds "$json")
  write_s=$(field writeSeconds "$json")
  awk -v label="$label" -v n="$triangles" -v r="${read_s:-0}" -v c="${command_s:-0}" \
      -v w="${write_s:-0}" -v wall="$wall" -v peak="$peak" -v py="$python" 'BEGIN {
    printf "%-7s %10s %7.3f %7.3f %7.3f %7.3f %7.2f %8d %7.1f %6.1f %7.3f %6.2f\n", label, n, r, c,
      w, wall - r - c - w, wall, peak / 1024, wall * 1e9 / n, peak * 1024 / n, py,
      (py > 0 ? wall / py : 0) }'
}

printf '%-7s %10s %7s %7s %7s %7s %7s %8s %7s %6s %7s %6s %6s %6s\n' fmhost triangles read command \
  write rest total "peak MB" ns/tri B/tri python xpython t-flat m-flat
for triangles in $sizes; do
  file="$dir/torus-$triangles.obj"
  [ -s "$file" ] || "$build/bench/make_torus_obj" $(dimensions "$triangles") "$file"
  cat "$file" >/dev/null  # every run reads the file from the page cache
  python=$(yardstick "$file")
  run this "$build/host/fmhost/fmhost" "$build/plugins" "$file" "$triangles" "$python"
  if [ -n "${FMHOST_BEFORE:-}" ]; then
    run other "$FMHOST_BEFORE" "$(dirname "$FMHOST_BEFORE")/../../plugins" "$file" "$triangles" \
      "$python"
  fi
done | awk '
  !($1 in time) { time[$1] = $9; memory[$1] = $10 }
  { printf "%s %6.2f %6.2f\n", $0, $9 / time[$1], $10 / memory[$1] }'
