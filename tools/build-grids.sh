#!/usr/bin/env bash
# Builds the product's grid files from the published models.
#
#   tools/build-grids.sh [SOURCE_DIR [OUTPUT_DIR]]
#
# SOURCE_DIR (default: ../shared/grids beside the repository) holds the
# published files, each either as text or compressed as NAME.xz (read through
# "xz -dc"). OUTPUT_DIR (default: grids/ of the repository) receives the .dat
# files, NOTICE.md (the models' licence, which must ship with them) and
# SHA256SUMS. GM02RoI.dat is built only when SOURCE_DIR holds OSGM02_RoI.txt
# (the OSGM02 Malin Head model in the layout of OSGM02_NI.txt, flag 13).
#
# The tool is taken from $GRIDTOOL when set; otherwise it is built in
# $BUILD_DIR (default: build-gridtool/ of the repository).
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
SOURCES=$(cd "${1:-$REPO/../shared/grids}" && pwd)
OUTPUT=${2:-$REPO/grids}
BUILD_DIR=${BUILD_DIR:-$REPO/build-gridtool}

if [ -z "${GRIDTOOL:-}" ]; then
  if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S "$REPO" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELTRANA_TESTS=OFF -DVELTRANA_BENCH=OFF >/dev/null
  fi
  cmake --build "$BUILD_DIR" --target veltrana-gridtool -j2 >/dev/null
  GRIDTOOL=$BUILD_DIR/bin/veltrana-gridtool
fi

# The published file NAME, compressed or not; empty when neither exists.
source_file() {
  if [ -f "$SOURCES/$1" ]; then echo "$SOURCES/$1"
  elif [ -f "$SOURCES/$1.xz" ]; then echo "$SOURCES/$1.xz"
  fi
}

required() {
  local file
  file=$(source_file "$1")
  if [ -z "$file" ]; then echo "build-grids: $SOURCES/$1[.xz] is missing" >&2; exit 1; fi
  echo "$file"
}

mkdir -p "$OUTPUT"
"$GRIDTOOL" gb "$(required OSTN15_OSGM15_DataFile.txt)" "$OUTPUT/TN15GB.dat" "$OUTPUT/GM15GB.dat"
"$GRIDTOOL" gb "$(required OSTN02_OSGM02_GB.txt)" "$OUTPUT/TN02GB.dat" "$OUTPUT/GM02GB.dat"
"$GRIDTOOL" gri "$(required OSGM15_Belfast.gri)" "$OUTPUT/GM15NI.dat" --datum 14
"$GRIDTOOL" gri "$(required OSGM15_Malin.gri)" "$OUTPUT/GM15RoI.dat" --datum 13
"$GRIDTOOL" itm "$(required OSGM02_NI.txt)" "$OUTPUT/GM02NI.dat" --datum 14
ROI=$(source_file OSGM02_RoI.txt)
if [ -n "$ROI" ]; then
  "$GRIDTOOL" itm "$ROI" "$OUTPUT/GM02RoI.dat" --datum 13
else
  echo "GM02RoI.dat not built: no OSGM02_RoI.txt in $SOURCES"
fi

# What resampling the graticules onto the 1 km grid costs.
"$GRIDTOOL" gri-error "$(required OSGM15_Belfast.gri)" "$OUTPUT/GM15NI.dat"
"$GRIDTOOL" gri-error "$(required OSGM15_Malin.gri)" "$OUTPUT/GM15RoI.dat"

cat "$(required NOTICE.md)" > "$OUTPUT/NOTICE.md"
(cd "$OUTPUT" && sha256sum -- *.dat > SHA256SUMS)
echo "wrote $OUTPUT/SHA256SUMS"
