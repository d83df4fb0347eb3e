#!/usr/bin/env bash
# Runs every fuzzer of the sanitizer build (out/sanitize-build) for the given number of seconds each.
# Each first replays its whole corpus, the seed corpus tests/fuzz/corpus/<target>/ plus what earlier runs
# found (out/fuzz/corpus/<target>/), then fuzzes for what is left of its seconds. ./run test gives each a
# few seconds (the replay, and a short fuzz of every target); ./run fuzz is the long campaign. Prints one
# line per fuzzer; a finding prints the fuzzer's report, leaves the input in out/fuzz/artifacts/ and fails
# the run.
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
    # libFuzzer runs every input of the corpus before it starts fuzzing ("INITED" once they all ran).
    replayed=$(find "$found" "$ROOT/tests/fuzz/corpus/$target" -type f | wc -l)
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    echo "fuzz $target: $replayed corpus inputs replayed, $runs executions in $seconds s, nothing found"
  else
    tail -n 60 "$log"
    echo "fuzz $target: FAILED (input in $WORK/artifacts/, log $log)"
    status=1
  fi
done
exit $status
