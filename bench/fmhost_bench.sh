#!/usr/bin/env bash
# fmhost end to end on triangulated tori (per-corner texture coordinates, two groups) from 20
# thousand to 20 million triangles. Prints per size: read, command and write seconds (fmhost's own
# --json figures), total seconds and peak resident memory of the whole process (/usr/bin/time), and
# the total time per triangle relative to the smallest size (flat means linear).
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

run() {  # label fmhost plugins file triangles
  local label=$1 exe=$2 plugins=$3 file=$4 triangles=$5 json timing wall peak
  timing=$(mktemp)
  json=$(/usr/bin/time -f "%e %M" -o "$timing" "$exe" "$file" -o "$dir/out.obj" --json \
           --plugins "$plugins" 2>/dev/null)
  read -r wall peak <"$timing"
  rm -f "$timing" "$dir/out.obj"
  local read_s command_s write_s per
  read_s=$(field readSeconds "$json"); command_s=$(field seconds "$json")
  write_s=$(field writeSeconds "$json")
  per=$(awk -v w="$wall" -v n="$triangles" 'BEGIN { printf "%.1f", w * 1e9 / n }')
  printf '%-7s %10s %8s %8s %8s %8s %9s %8s\n' "$label" "$triangles" "${read_s:--}" \
    "${command_s:--}" "${write_s:--}" "$wall" "$((peak / 1024))" "$per"
}

printf '%-7s %10s %8s %8s %8s %8s %9s %8s %6s\n' fmhost triangles read command write total \
  "peak MB" "ns/tri" ratio
for triangles in $sizes; do
  file="$dir/torus-$triangles.obj"
  [ -s "$file" ] || "$build/bench/make_torus_obj" $(dimensions "$triangles") "$file"
  run this "$build/host/fmhost/fmhost" "$build/plugins" "$file" "$triangles"
  if [ -n "${FMHOST_BEFORE:-}" ]; then
    run other "$FMHOST_BEFORE" "$(dirname "$FMHOST_BEFORE")/../../plugins" "$file" "$triangles"
  fi
done | awk '
  !($1 in base) { base[$1] = $8 }
  { printf "%s %6.2f\n", $0, $8 / base[$1] }'
