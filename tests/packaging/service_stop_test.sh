#!/usr/bin/env bash
# The station as the service unit runs it, stopped as systemd stops it: the
# unit's ExecStart (with its directories made as systemd makes them, and the
# options file pointing it at a simulated receiver) records Continuous; then
# KillSignal, and SIGKILL only if the station is still there after
# TimeoutStopSec. The recording in progress must be finished under its final
# name, whole, within that time, the exit status must be 0 (not a failure for
# Restart=on-failure), and the status lines must have reached standard output
# as they happened (the journal reads a pipe, not a terminal).
# Usage: service_stop_test.sh UNIT_TEMPLATE HALVANE HALVANE_SIM
set -u
UNIT=$1 HALVANE=$2 SIM=$3
HERE="$(cd "$(dirname "$0")" && pwd)"
WORK=$(mktemp -d)
ADDR=127.0.8.1
pids=()
cleanup() { for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

value() { sed -n "s/^$1=//p" "$UNIT" | tail -1; }
seconds() { case $1 in *min) echo $(( ${1%min} * 60 ));; *s) echo "${1%s}";; *) echo "$1";; esac; }
exec_start=$(value ExecStart)
kill_signal=$(value KillSignal); kill_signal=${kill_signal:-SIGTERM}
timeout=$(seconds "$(value TimeoutStopSec)")
[ -n "$exec_start" ] && [ -n "$timeout" ] || { echo "FAIL: unit has no ExecStart or TimeoutStopSec"; exit 1; }
[ "$(value Restart)" = "on-failure" ] || fail "unit does not restart on failure"

# What systemd provides: %S and %t, the StateDirectory and RuntimeDirectory
# folders, the Environment= lines and the options file.
STATE="$WORK/var/lib" RUNTIME="$WORK/run"
for d in $(value StateDirectory); do mkdir -p "$STATE/$d"; done
for d in $(value RuntimeDirectory); do mkdir -p "$RUNTIME/$d"; done
HALVANE_OPTIONS="--device IP$ADDR --mode continuous"
cmd=${exec_start//@HALVANE_BIN_DIR@\/halvane/$HALVANE}
cmd=${cmd//%S/$STATE}
cmd=${cmd//%t/$RUNTIME}
cmd=${cmd//\$HALVANE_OPTIONS/$HALVANE_OPTIONS}
envs=$(sed -n 's/^Environment=//p' "$UNIT"); envs=${envs//%t/$RUNTIME}

. "$HERE/../support/simulator.sh"
start_sim $ADDR counter "$WORK/sim.log"
# stdout into a pipe, as the journal takes it; each line stamped on arrival.
( env $envs $cmd 2>"$WORK/stderr" & echo $! >"$WORK/pid"; wait $!; echo $? >"$WORK/rc" ) \
  | while IFS= read -r line; do echo "$(date +%s.%N) $line"; done >"$WORK/journal" &
pids+=($!)
sleep 0.2
station=$(cat "$WORK/pid"); pids+=($station)

rec="$STATE/halvane/recordings"
for _ in $(seq 100); do ls "$rec" 2>/dev/null | grep -q '\.tmp_' && break; sleep 0.1; done
ls "$rec" | grep -q '\.tmp_' || fail "no recording started: $(cat "$WORK/stderr")"
sleep 3
grep -q "RECORDING\|Record Status\|record status" "$WORK/journal" || fail "no status line reached the pipe while recording: $(cat "$WORK/journal")"

# systemctl stop: KillSignal, then SIGKILL once TimeoutStopSec has passed.
start=$(date +%s.%N)
kill -s "${kill_signal#SIG}" "$station"
killed=0
for _ in $(seq $(( timeout * 10 ))); do kill -0 "$station" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$station" 2>/dev/null; then
  kill -KILL "$station"; killed=1
  fail "the station was still running after TimeoutStopSec=${timeout}s and was killed"
fi
for _ in $(seq 50); do [ -s "$WORK/rc" ] && break; sleep 0.1; done
stopped=$(date +%s.%N)
echo "stop took $(echo "$stopped - $start" | bc) s (TimeoutStopSec ${timeout} s)"
[ $killed -eq 1 ] || [ "$(cat "$WORK/rc")" = 0 ] || fail "exit status $(cat "$WORK/rc") after $kill_signal"

ls "$rec" | grep -q '\.tmp_' && fail "a recording kept its temporary name: $(ls "$rec")"
files=$(ls "$rec" | grep -E '^station_D[0-9]{8}T[0-9]{6}m[0-9]{3}\.wav$')
[ -n "$files" ] || fail "no finished recording under its final name: $(ls "$rec")"
for f in $files; do
  python3 "$HERE/../field/counter_check.py" "$rec/$f" >"$WORK/check" || fail "$f is not the sent sequence"
  samples=$(awk '{ s += $3 } END { print s + 0 }' "$WORK/check")
  [ "$samples" -ge 250000 ] || fail "$f holds only $samples samples (less than 1 s of the 3 s recorded)"
  [ "$(wc -l <"$WORK/check")" -eq 1 ] || fail "$f is not one unbroken stretch: $(cat "$WORK/check")"
done
[ -s "$STATE/halvane/config/registry.json" ] || fail "settings not saved in the unit's config folder"
# The journal says the recording ended (a Continuous recording ends "Stopped...").
grep -q "Record Status : Stopped" "$WORK/journal" || fail "no status line says the recording ended: $(cat "$WORK/journal")"

echo "service stop: $failures failure(s)"
[ $failures -eq 0 ]
