#!/usr/bin/env bash
# skerrow on a British National Grid 2002 point file of 1,000,000 records
# (name, easting, northing, height; spread over Great Britain): wall time,
# records per second and peak memory; and, in the same run, PROJ's cs2cs
# converting the same points from ETRS89 geodetic to UTM 30N as a reference.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BIN=${BIN:-$REPO/build/bin}
COUNT=${COUNT:-1000000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BIN/bench_make_points" "$COUNT" --bng2002 > "$WORK/points.csv"
records=$(( $(wc -l < "$WORK/points.csv") - 1 ))
cat > "$WORK/points.set" <<'SET'
<?xml version="1.0" encoding="UTF-8"?>
<Settings>
  <InputSettings>
    <Format Value="Delimited"/>
    <FieldTerminator Value=","/>
    <ConsecutiveDelimiters Value="False"/>
    <NameRow Value="1"/>
    <FirstRow Value="2"/>
    <SRIDNumber Value="27700"/>
    <XColumn Value="2"/>
    <YColumn Value="3"/>
    <ZColumn Value="4"/>
  </InputSettings>
  <OutputSettings>
    <SRIDNumber Value="27700"/>
    <IncludeDatum Value="True"/>
  </OutputSettings>
</Settings>
SET

size=$(stat -c %s "$WORK/points.csv")
RUNS=${RUNS:-3}
have_cs2cs=0
if command -v cs2cs >/dev/null 2>&1; then
  have_cs2cs=1
  "$BIN/bench_make_points" "$COUNT" --lonlat > "$WORK/lonlat.txt"
fi

# Seconds since the epoch, to the nanosecond.
now() { date +%s.%N; }
# The smaller of two decimal numbers; the second when the first is empty.
smaller() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" -eq 1 ]; then echo "$2"; else echo "$1"; fi; }

# The best of RUNS rounds, each running skerrow and then cs2cs, so that both
# programs see the machine in the same state (it is shared, and its speed
# drifts over minutes); the fastest run is the one least disturbed by others.
best_wall=""
best_peak=0
ref=""
for _ in $(seq "$RUNS"); do
  /usr/bin/time -v "$BIN/skerrow" --silent "$WORK/points.set" "$WORK/points.csv" "$WORK/out.csv" \
    2> "$WORK/time.txt"
  wall=$(grep "Elapsed (wall clock)" "$WORK/time.txt" | awk '{print $NF}' | awk -F: '{ if (NF==3) print $1*3600+$2*60+$3; else print $1*60+$2 }')
  peak=$(grep "Maximum resident set size" "$WORK/time.txt" | awk '{print $NF}')
  best_wall=$(smaller "$best_wall" "$wall")
  if [ "$peak" -gt "$best_peak" ]; then best_peak=$peak; fi
  if [ "$have_cs2cs" -eq 1 ]; then
    start=$(now)
    cs2cs -f %.3f +proj=longlat +ellps=GRS80 +to +proj=utm +zone=30 +ellps=GRS80 \
      "$WORK/lonlat.txt" > /dev/null
    ref=$(smaller "$ref" "$(echo "$(now) - $start" | bc -l)")
  fi
done
wall=$best_wall
peak=$best_peak
printf 'skerrow: %d records in %.2f s (best of %d) = %.0f records/s; peak memory %.1f MiB (highest of the runs) = %.2f x the input (%.1f MiB)\n' \
  "$records" "$wall" "$RUNS" "$(echo "$records / $wall" | bc -l)" "$(echo "$peak / 1024" | bc -l)" \
  "$(echo "$peak * 1024 / $size" | bc -l)" "$(echo "$size / 1048576" | bc -l)"

if [ "$have_cs2cs" -eq 1 ]; then
  printf 'reference cs2cs ETRS89 -> UTM 30N: %d points in %.2f s (best of %d); skerrow is %.1f x faster\n' \
    "$COUNT" "$ref" "$RUNS" "$(echo "$ref / $wall" | bc -l)"
fi
