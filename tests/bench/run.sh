#!/usr/bin/env bash
# Benchmarks, run inside tests/with-wine by ./run bench: the extraction of included files, then the
# service start-up with the real VM for each build, the 32-bit one in this prefix and the 64-bit one in
# a 64-bit prefix of its own; each ends with its "start-overhead" line, the 64-bit one last.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
wine "$ROOT/out/win32/bench/extract_bench.exe" | tr -d '\r'
echo
BROLT_WORD_SIZE=32 python3 "$ROOT/tests/bench/startup_bench.py"
echo
BROLT_WORD_SIZE=64 "$ROOT/tests/with-wine" --win64 python3 "$ROOT/tests/bench/startup_bench.py"
