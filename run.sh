#!/usr/bin/env bash
# Installs what is missing (as test.sh does), builds the product (Release) if
# needed and runs it. Until the desktop program exists it shows the console
# programs at work on the bundled examples.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/dependencies.sh
veltrana_install_dependencies

if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build build -j"${JOBS:-2}" >/dev/null
BIN=build/bin

echo "== veltrana-convert: ETRS89 geodetic -> British National Grid (examples/etrs89-points.txt)"
"$BIN/veltrana-convert" 4937 27700 examples/etrs89-points.txt || true
echo
echo "== veltrana-convert: the same points -> Irish Transverse Mercator (Malin Head heights)"
"$BIN/veltrana-convert" 4937 2157 examples/etrs89-points.txt || true

if [ -x "$BIN/skerrow" ] && [ -f examples/bng2002-points.set ]; then
  out=$(mktemp -d)/bng2015-points.csv
  echo
  echo "== skerrow: examples/bng2002-points.csv (2002 grids) -> 2015 grids"
  "$BIN/skerrow" examples/bng2002-points.set examples/bng2002-points.csv "$out"
  echo "-- $out"
  cat "$out"
fi
