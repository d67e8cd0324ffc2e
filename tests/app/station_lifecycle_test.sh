#!/usr/bin/env bash
# The station as a process: start, settings file, instance counting, signals,
# bad command lines. Usage: station_lifecycle_test.sh path/to/halvane
set -u
HALVANE="$1"
WORK=$(mktemp -d)
export HALVANE_INSTANCE_DIR="$WORK/instances"
pids=()
cleanup() { for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; rm -rf "$WORK"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Never reach for a receiver in these runs: an address nobody listens on, on loopback.
DEV=(--device IP127.0.0.254)

# A short run exits 0 in time; a second run keeps the value set in the first.
# (What the saved store holds, its mode and a corrupt store kept aside are
# proven on the settings code itself, tests/settings.)
start=$(date +%s.%N)
"$HALVANE" --headless --config "$WORK/c1" --run-for 2 "${DEV[@]}" --set SonoThreshold=33 >"$WORK/out1" 2>&1
rc=$?
elapsed=$(echo "$(date +%s.%N) - $start" | bc)
[ $rc -eq 0 ] || fail "run-for exit status $rc"
(( $(echo "$elapsed < 5" | bc) )) || fail "run-for 2 took $elapsed s"
grep -q "instance 0, device IP127.0.0.254" "$WORK/out1" || fail "no start line: $(cat "$WORK/out1")"
"$HALVANE" --headless --config "$WORK/c1" --run-for 0.2 "${DEV[@]}" >/dev/null 2>&1
python3 -c "import json,sys; assert json.load(open(sys.argv[1]))['SOFTWARE\\\\Mirrowen\\\\Halvane\\\\3.3\\\\Settings']['SonoThreshold'] == 33" \
  "$WORK/c1/registry.json" || fail "SonoThreshold not kept"

# Two copies side by side count as instances 0 and 1, the second on the USB
# receiver of its index. (That a copy killed with SIGKILL no longer counts is
# proven on the instance counter itself, tests/core.)
"$HALVANE" --headless --config "$WORK/c3" --run-for 30 "${DEV[@]/254/253}" >"$WORK/a" 2>&1 & pids+=($!); a=$!
sleep 0.5
"$HALVANE" --headless --config "$WORK/c4" --run-for 2 >"$WORK/b" 2>&1 & pids+=($!); b=$!
sleep 0.5
kill -9 $a; wait $a 2>/dev/null; wait $b 2>/dev/null
grep -q "instance 0, device IP127.0.0.253" "$WORK/a" || fail "first copy: $(cat "$WORK/a")"
grep -q "instance 1, device Ezusb-1" "$WORK/b" || fail "second copy: $(cat "$WORK/b")"

# SIGTERM: orderly exit with status 0, settings saved, no thread left behind.
rm -rf "$WORK/c5"
"$HALVANE" --headless --config "$WORK/c5" "${DEV[@]}" --set SonoDetail=6 >/dev/null 2>&1 & pids+=($!); t=$!
sleep 1
kill -TERM $t
for _ in $(seq 50); do kill -0 $t 2>/dev/null || break; sleep 0.1; done
kill -0 $t 2>/dev/null && fail "SIGTERM did not end the station within 5 s"
wait $t; rc=$?
[ $rc -eq 0 ] || fail "SIGTERM exit status $rc"
grep -q '"SonoDetail": 6' "$WORK/c5/registry.json" 2>/dev/null || fail "settings not saved on SIGTERM"

# Bad command lines: one line naming the option, the usage, status 2.
for bad in "--bogus" "--run-for abc" "--device Ezusb-9" "--mode fast" "--loop"; do
  "$HALVANE" $bad >"$WORK/bad" 2>&1; rc=$?
  [ $rc -eq 2 ] || fail "'$bad' gave status $rc"
  head -1 "$WORK/bad" | grep -q -- "${bad%% *}" || fail "'$bad' error line: $(head -1 "$WORK/bad")"
  grep -q "^usage:" "$WORK/bad" || fail "'$bad' without usage"
done

echo "station lifecycle: $failures failure(s)"
[ $failures -eq 0 ]
