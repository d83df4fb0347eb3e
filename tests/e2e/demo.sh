#!/usr/bin/env bash
# The main job, for real: the sample Java service (examples/sample-service) packed onto the launcher,
# shipped with a Java runtime beside it, installed, started, asked over HTTP, stopped and removed as a
# Windows service. Runs inside tests/with-wine (a fresh prefix, a 64-bit one for the 64-bit launcher);
# ./run demo builds everything first. Ends with a non-zero exit code as soon as a step fails.
#
#   demo.sh [64|32]    the launcher and runtime of that word size (default 64, what ships today)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BITS=${1:-64}
case $BITS in
  64) VM_KIND=server LAUNCHER_WINE=${BROLT_WINE64:-} ;;
  32) VM_KIND=client LAUNCHER_WINE=wine ;;
  *) echo "usage: demo.sh [64|32]" >&2; exit 2 ;;
esac
[ -n "$LAUNCHER_WINE" ] || { echo "demo.sh: the 64-bit launcher needs tests/with-wine --win64" >&2; exit 2; }
NAME=SampleService
APP=$WINEPREFIX/drive_c/$NAME
EXE=$APP/$NAME.exe
OUT_LOG=$APP/sample-service.out.log
PORT=8642  # as configured in sample-service.toml
# A JVM start takes about a second here; the limit only keeps a broken start from hanging the demo.
START_SECONDS=60

if [ -t 1 ]; then
  bold() { printf '\033[1m%s\033[0m\n' "$*"; }
else
  bold() { printf '%s\n' "$*"; }
fi
step() { printf '\n'; bold "== $*"; }
fail() {
  printf '\ndemo failed: %s\n' "$*" >&2
  exit 1
}
# Windows programs print CR LF.
win() { wine "$@" 2>/dev/null | tr -d '\r'; }
# Runs a launcher command, shows its output and exit code, and checks the code.
command_word() {
  local expected=$1 word=$2 note=${3:-} output code
  step "$NAME.exe $word$note"
  output=$(cd "$APP" && "$LAUNCHER_WINE" "$EXE" "$word" 2>/dev/null)
  code=$?
  printf '%s\n(exit code %s)\n' "${output//$'\r'/}" "$code"
  [ "$code" = "$expected" ] || fail "$NAME.exe $word ended with $code, expected $expected"
}
state() { win sc query "$NAME" | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }

installed=false
cleanup() {
  if $installed; then
    (cd "$APP" && "$LAUNCHER_WINE" "$EXE" -uninstall >/dev/null 2>&1)
  fi
}
trap cleanup EXIT

step "Pack the sample service onto the $BITS-bit launcher: broltpack pack --stub out/win$BITS/brolt-service.exe --config sample-service.toml"
mkdir -p "$APP"
"$ROOT/out/host/broltpack" pack --stub "$ROOT/out/win$BITS/brolt-service.exe" \
  --config "$ROOT/examples/sample-service/sample-service.toml" -o "$EXE" || fail "packing failed"
echo "What it carries (broltpack inspect, in part):"
"$ROOT/out/host/broltpack" inspect "$EXE" | grep -E '^machine|^ +(101|122|123|124|128|105) |^included|^  "'

step "Ship a $BITS-bit Java runtime beside it: jre\\ (search entry B.\\jre)"
cp -r "$ROOT/out/jre$BITS" "$APP/jre" || fail "no runtime in out/jre$BITS (./run build makes it)"
for file in "$NAME.exe" 'jre\bin\java.exe' "jre\\bin\\$VM_KIND\\jvm.dll"; do
  printf '  C:\\%s\\%-24s %8d bytes\n' "$NAME" "$file" "$(stat -c %s "$APP/${file//\\//}")"
done
echo "jre\\bin\\java.exe -version (what the launcher's runtime search runs once, then caches):"
(cd "$APP" && "$LAUNCHER_WINE" 'jre\bin\java.exe' -version 2>&1 | tr -d '\r' | sed 's/^/  /')

if (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; then
  fail "port $PORT is in use on this machine (another demo running?)"
fi

# Waits for a line in the service's log; fails when the service stops or the time is up.
wait_for_log_line() {
  local pattern=$1 seconds=$2 deadline=$((SECONDS + $2))
  until grep -q "$pattern" "$OUT_LOG" 2>/dev/null; do
    [ "$(state)" != STOPPED ] || fail "the service stopped: $(win sc query "$NAME")"
    [ $SECONDS -lt $deadline ] || fail "no line \"$pattern\" in $OUT_LOG after $seconds s"
    sleep 0.1
  done
}

installed=true
command_word 0 -install
started=$(date +%s%N)
command_word 0 -start

step "Wait until the Java application listens"
wait_for_log_line "listening on" $START_SECONDS
printf 'service state %s; listening %d ms after the start request:\n' "$(state)" \
  $((($(date +%s%N) - started) / 1000000))
grep "listening on" "$OUT_LOG"

command_word 0 -status

step "curl http://127.0.0.1:$PORT/"
curl -sS --max-time 30 "http://127.0.0.1:$PORT/" || fail "the endpoint did not answer"

step "Let it run until its first heartbeat (every 5 s)"
wait_for_log_line "heartbeat" 30
grep "heartbeat" "$OUT_LOG"

command_word 0 -stop
[ "$(state)" = STOPPED ] || fail "the service is not stopped: $(win sc query "$NAME")"

step "The service's log: C:\\$NAME\\sample-service.out.log"
cat "$OUT_LOG"
grep -q "sample-service: stopped cleanly after" "$OUT_LOG" || fail "no clean-stop line in the log"
printf '\n'
bold "clean stop: $(grep "stopped cleanly" "$OUT_LOG")"

command_word 0 -uninstall
installed=false
command_word 1 -status "  (the service is gone)"

step "Done: the sample ran as a Windows service in the $BITS-bit launcher on a real Java VM and stopped cleanly."
