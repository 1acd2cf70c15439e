#!/usr/bin/env bash
# Fuzzes for a chosen time: each libFuzzer target (or the ones named) runs
# for SECONDS (default 600) on a working corpus in build-fuzz/corpus/<target>
# grown from the committed seeds, then a summary line per target gives the
# executions, edges covered (cov:) and features (ft:) of libFuzzer's final
# stats, and the findings (crash, leak, timeout or out-of-memory inputs,
# saved in build-fuzz/findings/<target>/). Exits 1 when anything was found.
#
#   bench/fuzz.sh [-t SECONDS] [TARGET...]     e.g. bench/fuzz.sh -t 60 fuzz_grid_files
#
# Targets run one after another under nice; run two instances for two cores.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VELTRANA_FUZZ_BUILD:-$ROOT/build-fuzz}
SECONDS_PER_TARGET=600
if [ "${1:-}" = "-t" ]; then
  SECONDS_PER_TARGET=$2
  shift 2
fi
ALL_TARGETS=(fuzz_data_stream fuzz_coordinate_text fuzz_settings_file fuzz_grid_files
             fuzz_convert_command fuzz_skerrow_arguments)
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=("${ALL_TARGETS[@]}")

VELTRANA_FUZZ_BUILD=$BUILD "$ROOT/tests/fuzz/build-fuzzers.sh"
source "$ROOT/tests/fuzz/fuzz-options.sh"

STATUS=0
for T in "${TARGETS[@]}"; do
  [ -x "$BUILD/fuzz/$T" ] || { echo "unknown target $T" >&2; exit 2; }
  CORPUS=$BUILD/corpus/$T
  FINDINGS=$BUILD/findings/$T
  LOG=$BUILD/logs/$T.log
  mkdir -p "$CORPUS" "$FINDINGS" "$(dirname "$LOG")"
  BEFORE=$(find "$FINDINGS" -type f | wc -l)
  read -r -a OPTIONS <<<"$(veltrana_fuzz_options "$T")"
  STARTED=$(date +%s)
  set +e
  nice "$BUILD/fuzz/$T" "${OPTIONS[@]}" -max_total_time="$SECONDS_PER_TARGET" -print_final_stats=1 -timeout=20 \
    -artifact_prefix="$FINDINGS/" "$CORPUS" "$ROOT/tests/fuzz/corpus/$T" >"$LOG" 2>&1
  RC=$?
  set -e
  ELAPSED=$(( $(date +%s) - STARTED ))
  EXECS=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$LOG" | grep -o '[0-9]*$' | tail -1)
  FINAL=$(grep -E '^#[0-9]+' "$LOG" | tail -1)
  COV=$(grep -o 'cov: [0-9]*' <<<"$FINAL" | grep -o '[0-9]*' || true)
  FT=$(grep -o 'ft: [0-9]*' <<<"$FINAL" | grep -o '[0-9]*' || true)
  FOUND=$(( $(find "$FINDINGS" -type f | wc -l) - BEFORE ))
  [ "$RC" -ne 0 ] && [ "$FOUND" -eq 0 ] && FOUND="exit $RC"
  printf '%-24s execs %-10s cov %-6s ft %-7s seconds %-5s findings %s\n' \
    "$T" "${EXECS:-?}" "${COV:-?}" "${FT:-?}" "$ELAPSED" "$FOUND"
  if [ "$RC" -ne 0 ]; then
    STATUS=1
    grep -E 'fuzz check failed|ERROR: |SUMMARY: |runtime error' "$LOG" | head -3 | sed 's/^/    /'
    echo "    log: $LOG"
  fi
done
exit $STATUS
