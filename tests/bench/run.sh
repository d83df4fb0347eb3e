#!/usr/bin/env bash
# Benchmarks, run inside tests/with-wine by ./run bench: the extraction of included files, then the
# service start-up with the real VM, whose ratio is the last line.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
wine "$ROOT/out/win32/bench/extract_bench.exe" | tr -d '\r'
echo
python3 "$ROOT/tests/bench/startup_bench.py"
