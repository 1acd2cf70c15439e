#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal (Release)
# build, then the AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/dependencies.sh
veltrana_install_dependencies

JOBS=${JOBS:-2}

echo "== Release build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$JOBS"
ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== Sanitizer build (address, undefined)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANA_SANITIZE=ON \
  -DVELTRANA_BENCH=OFF >/dev/null
cmake --build build-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS"

if command -v clang++ >/dev/null; then scripts/fuzz-smoke.sh; fi
