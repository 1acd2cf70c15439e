#!/usr/bin/env bash
# Configures and builds the libFuzzer targets with clang into build-fuzz/
# (or the folder in VELTRANA_FUZZ_BUILD). Sourced or run by
# scripts/fuzz-smoke.sh and bench/fuzz.sh; prints nothing but errors.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${VELTRANA_FUZZ_BUILD:-$ROOT/build-fuzz}
JOBS=${JOBS:-2}
if ! command -v clang++ >/dev/null; then
  echo "build-fuzzers: clang++ not found" >&2
  exit 1
fi
mkdir -p "$BUILD"
LOG=$BUILD/build-fuzzers.log
# Two fuzzing scripts started together must not run two builds in one folder.
exec 9>"$BUILD/.build-lock"
flock 9
{
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    CXX=clang++ CC=clang cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELTRANA_FUZZ=ON -DVELTRANA_SANITIZE=ON -DVELTRANA_TESTS=OFF -DVELTRANA_BENCH=OFF
  fi
  cmake --build "$BUILD" -j"$JOBS" --target veltrana_fuzzers
} >"$LOG" 2>&1 || { cat "$LOG" >&2; echo "build-fuzzers: the build failed" >&2; exit 1; }
