#!/usr/bin/env bash
# Runs every fuzzer of the sanitizer build (out/sanitize-build) for the given number of seconds each,
# starting from its seed corpus tests/fuzz/corpus/<target>/ plus what earlier runs found
# (out/fuzz/corpus/<target>/). Prints one line per fuzzer; a finding prints the fuzzer's report, leaves
# the input in out/fuzz/artifacts/ and fails the run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
BUILD=$ROOT/out/sanitize-build/tests/fuzz
WORK=$ROOT/out/fuzz
mkdir -p "$WORK/artifacts"
status=0
for source in "$ROOT"/tests/fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  target=${name#fuzz_}
  found=$WORK/corpus/$target
  log=$WORK/$target.log
  mkdir -p "$found"
  if "$BUILD/$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$WORK/artifacts/$target-" "$found" "$ROOT/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    echo "fuzz $target: $runs executions in $seconds s, nothing found"
  else
    tail -n 60 "$log"
    echo "fuzz $target: FAILED (input in $WORK/artifacts/, log $log)"
    status=1
  fi
done
exit $status
