#!/usr/bin/env bash
# The benchmarks of one build, run inside tests/with-wine by ./run bench (a 64-bit prefix for the 64-bit
# build): the extraction of included files ("extract-ratio") and a later start's reuse of them in the
# launcher's stable folder ("stable-reuse-ratio"), then the service start-up with the real VM
# ("start-overhead"; for the 64-bit build also "cds-first-start" and "cds-ratio"). Each build brings its
# own programs, runtime and Java applications.
#
#   tests/bench/run.sh 32|64
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BITS=${1:-}
case $BITS in
  32) LOADER=wine ;;
  64) LOADER=${BROLT_WINE64:?the 64-bit benchmarks need tests/with-wine --win64} ;;
  *) echo "usage: tests/bench/run.sh 32|64" >&2; exit 2 ;;
esac
echo "$BITS-bit build, extraction of included files:"
"$LOADER" "$ROOT/out/win$BITS/bench/extract_bench.exe" | tr -d '\r'
echo
BROLT_WORD_SIZE=$BITS python3 "$ROOT/tests/bench/startup_bench.py"
