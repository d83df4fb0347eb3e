#!/usr/bin/env bash
# Benchmarks, run inside tests/with-wine by ./run bench. The last line is the extraction ratio.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
wine "$ROOT/out/win32/bench/extract_bench.exe" | tr -d '\r'
