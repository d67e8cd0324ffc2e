#!/usr/bin/env bash
# The station replaying files from the command line: every real recording at
# its real rate to its end, the 1:2 time base, a refused file, and an orderly
# exit each time. Usage: play_command_test.sh path/to/halvane recordings-folder
set -u
HALVANE="$1"
RECORDINGS="$2"
WORK=$(mktemp -d)
export HALVANE_INSTANCE_DIR="$WORK/instances"
mkdir -p "$HALVANE_INSTANCE_DIR"
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# No receiver is reached: an address on loopback where nobody listens.
DEV=(--device IP127.0.0.90)

play() {  # play NAME SECONDS [options...]: runs the station, output in $WORK/out
  local name="$1" seconds="$2"
  shift 2
  mkdir -p "$WORK/config"
  timeout 60 "$HALVANE" --headless --config "$WORK/config" "${DEV[@]}" --audio null --run-for "$seconds" \
    --play "$RECORDINGS/$name" "$@" >"$WORK/out" 2>&1
  local rc=$?
  [ $rc -eq 0 ] || fail "$name: exit status $rc: $(cat "$WORK/out")"
}

# Each recording at its real rate, played to its end within the run.
while read -r name rate seconds; do
  play "$name" "$seconds"
  grep -q "Playback $name at $rate samples/s" "$WORK/out" || fail "$name: rate line: $(cat "$WORK/out")"
  grep -q "Playback of $name ended" "$WORK/out" || fail "$name: did not reach its end: $(cat "$WORK/out")"
done <<'LIST'
myomys-500k.wav 500000 2
audiomoth-250k-nocalls.wav 250000 1.5
selection-192k-list-id3.wav 192000 3.5
LIST

# 1:2 halves the replay rate.
play myomys-500k.wav 2 --timebase 1:2
grep -q "Playback myomys-500k.wav at 250000 samples/s" "$WORK/out" || fail "1:2: $(cat "$WORK/out")"
# 1:1000 gives 500 samples/s, below what the chain carries: refused, and the station still ends in time.
play myomys-500k.wav 1 --timebase 1:1000
grep -q "Failed opening playback file .*myomys-500k.wav" "$WORK/out" || fail "1:1000 not refused: $(cat "$WORK/out")"
# A file that is not a recording is refused the same way.
printf 'not a recording' >"$WORK/junk.wav"
RECORDINGS="$WORK" play junk.wav 1
grep -q "Failed opening playback file .*junk.wav" "$WORK/out" || fail "junk not refused: $(cat "$WORK/out")"

echo "play command: $failures failure(s)"
[ $failures -eq 0 ]
