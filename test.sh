#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal (Release)
# build, then the AddressSanitizer + UndefinedBehaviorSanitizer build, then
# the ThreadSanitizer build of the threaded pipeline's tests, then a short
# fuzzing run when clang is present.
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

echo "== Thread sanitizer build (the threaded pipeline, its units and the updater)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRANA_SANITIZE_THREAD=ON \
  -DVELTRANA_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$JOBS" --target data_tests updater_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/data_tests --gtest_brief=1
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/updater_tests --gtest_brief=1

if command -v clang++ >/dev/null; then scripts/fuzz-smoke.sh; fi
