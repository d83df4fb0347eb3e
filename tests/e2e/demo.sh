#!/usr/bin/env bash
# Shows the main job as far as it goes: pack a launcher from an example configuration, list what
# it carries, and run it with command words under Wine. Runs inside tests/with-wine.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$WINEPREFIX/drive_c/demo
mkdir -p "$WORK"
cp "$ROOT/examples/demo.toml" "$WORK/"

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

step "broltpack pack --stub brolt-service.exe --config demo.toml -o BroltDemo.exe"
"$ROOT/out/host/broltpack" pack --stub "$ROOT/out/win32/brolt-service.exe" --config "$WORK/demo.toml" \
  -o "$WORK/BroltDemo.exe" && ls -l "$WORK/BroltDemo.exe"

step "broltpack inspect BroltDemo.exe"
"$ROOT/out/host/broltpack" inspect "$WORK/BroltDemo.exe"

cd "$WORK"
for words in "-status" "-install" "-status" "-start" "-status" "-stop" "-uninstall" "-status"; do
  step "wine BroltDemo.exe $words"
  wine BroltDemo.exe $words
  echo "exit code: $?"
  if [ "$words" = "-start" ]; then
    # No Java runtime exists on this machine yet: the service reports running, then stopped, exit code 1.
    sleep 2
    step "wine sc query BroltDemo"
    wine sc query BroltDemo | tr -d '\r'
  fi
done

step "wine BroltDemo.exe -status  (with BROLT_LOG=yes: the diagnostic log)"
BROLT_LOG=yes wine BroltDemo.exe -status
echo "exit code: $?"
for log in "$WINEPREFIX"/drive_c/users/*/Temp/qdl_nlog_*; do
  echo "--- $log"
  cat "$log"
done
