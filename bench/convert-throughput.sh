#!/usr/bin/env bash
# End-to-end throughput of veltrana-convert: 1,000,000 ETRS89 geodetic points
# spread over Great Britain, text in and text out, to British National Grid
# 2015. Prints points per second (best of three runs).
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BIN=${BIN:-$REPO/build/bin}
COUNT=${COUNT:-1000000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BIN/bench_make_points" "$COUNT" > "$WORK/points.txt"
best=""
for run in 1 2 3; do
  start=$(date +%s.%N)
  "$BIN/veltrana-convert" 4937 27700 "$WORK/points.txt" > "$WORK/out.txt" || true
  end=$(date +%s.%N)
  t=$(echo "$end - $start" | bc -l)
  if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
done
failed=$(grep -c '^\* \* \*' "$WORK/out.txt" || true)
printf 'veltrana-convert 4937 -> 27700: %d points in %.3f s = %.2f million points/s (%d not converted)\n' \
  "$COUNT" "$best" "$(echo "$COUNT / $best / 1000000" | bc -l)" "$failed"

if command -v cct >/dev/null 2>&1; then
  # Reference: PROJ's cct on the same job with a plain projection (no grids).
  awk '{print $2, $1, $3}' "$WORK/points.txt" > "$WORK/lonlat.txt"
  start=$(date +%s.%N)
  cct -d 4 +proj=tmerc +lat_0=49 +lon_0=-2 +k=0.9996012717 +x_0=400000 +y_0=-100000 +ellps=GRS80 \
    "$WORK/lonlat.txt" > /dev/null
  end=$(date +%s.%N)
  t=$(echo "$end - $start" | bc -l)
  printf 'reference cct (projection only, no grids): %.2f million points/s\n' "$(echo "$COUNT / $t / 1000000" | bc -l)"
fi
