#!/usr/bin/env bash
# Smoke run of the libFuzzer targets (called from test.sh when clang is
# present): builds them into build-fuzz/ and runs each over its committed
# seeds plus a fixed number of generated inputs. Fails on any crash,
# sanitizer report or broken check. Fuzzing for longer: bench/fuzz.sh.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VELTRANA_FUZZ_BUILD:-$ROOT/build-fuzz}
RUNS=${FUZZ_SMOKE_RUNS:-2000}
TARGETS=(fuzz_data_stream fuzz_coordinate_text fuzz_settings_file fuzz_grid_files
         fuzz_convert_command fuzz_skerrow_arguments)

echo "== Fuzz smoke run ($RUNS inputs per target)"
VELTRANA_FUZZ_BUILD=$BUILD "$ROOT/tests/fuzz/build-fuzzers.sh"
source "$ROOT/tests/fuzz/fuzz-options.sh"

FINDINGS=$BUILD/smoke-findings
LOGS=$BUILD/logs
mkdir -p "$FINDINGS" "$LOGS"
PASSED=0
FAILED=0
for T in "${TARGETS[@]}"; do
  read -r -a OPTIONS <<<"$(veltrana_fuzz_options "$T")"
  LOG=$LOGS/$T.smoke.log
  # libFuzzer adds new inputs to the first corpus folder: a scratch one, so
  # the committed seeds stay as they are. A fixed seed keeps runs repeatable.
  SCRATCH=$BUILD/smoke-corpus/$T
  rm -rf "$SCRATCH"
  mkdir -p "$SCRATCH"
  if "$BUILD/fuzz/$T" "${OPTIONS[@]}" -runs="$RUNS" -seed=1 -timeout=20 \
      -artifact_prefix="$FINDINGS/$T-" "$SCRATCH" "$ROOT/tests/fuzz/corpus/$T" >"$LOG" 2>&1; then
    PASSED=$((PASSED + 1))
    echo "$T: ok ($(grep -o 'cov: [0-9]*' "$LOG" | tail -1))"
  else
    FAILED=$((FAILED + 1))
    echo "$T: FAILED, log $LOG"
    grep -E 'fuzz check failed|ERROR: |SUMMARY: |runtime error' "$LOG" | head -5 | sed 's/^/    /'
  fi
done
echo "Fuzz smoke run: $PASSED targets clean, $FAILED failing"
[ "$FAILED" -eq 0 ]
