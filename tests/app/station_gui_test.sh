#!/usr/bin/env bash
# The station on a (virtual) screen, driven like a user with xdotool: the live
# spectrogram shows calls from the simulated receiver, Setup/Record/Auto Snap...
# opens Record Setup, File... chooses an output file through the save dialog
# (typed without extension), the question is answered Yes, snapshots appear on
# disk with their status lines in the daily log, Stop ends the recording, and
# File/Exit saves the settings. Screenshots go to the artifacts folder.
# Usage (under scripts/with-xvfb): station_gui_test.sh HALVANE HALVANE_SIM ARTIFACTS
set -u
HALVANE=$1 SIM=$2 ART=$3
WORK=$(mktemp -d)
mkdir -p "$ART" "$WORK/rec" "$WORK/cfg"
export HALVANE_INSTANCE_DIR="$WORK/inst"
ADDR=127.0.0.71
pids=()
cleanup() { for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; rm -rf "$WORK"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
shot() { import -window root "$ART/$1.png" 2>/dev/null; }
wait_window() {  # name pattern, seconds
  for _ in $(seq $(( $2 * 10 ))); do
    xdotool search --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
click() { xdotool mousemove --sync $(( X + $1 )) $(( Y + $2 )) sleep 0.3 click 1; sleep 0.5; }

# The output folder is remembered from an earlier run, so the dialog starts there.
cat >"$WORK/cfg/registry.json" <<JSON
{"SOFTWARE\\\\Mirrowen\\\\Halvane\\\\3.3\\\\History": {"OutputDirectory": "$WORK/rec/"}}
JSON

. "$(dirname "$0")/../support/simulator.sh"
start_sim $ADDR calls "$WORK/sim.log"
"$HALVANE" --config "$WORK/cfg" --device IP$ADDR --audio null >"$WORK/station.log" 2>&1 & pids+=($!)
station=$!

wait_window "^Halvane \[$ADDR\]" 15 || fail "no main window titled with the receiver"
W=$(xdotool search --name "^Halvane" | head -1)
eval "$(xdotool getwindowgeometry --shell "$W")"
sleep 3
shot 1-live-spectrogram
# Coloured call pixels inside the plot (green or red, not the blue of noise).
convert "$ART/1-live-spectrogram.png" -crop 500x240+$(( X + 260 ))+$(( Y + 60 )) +repage -format %c histogram:info:- \
  | python3 -c '
import re, sys
calls = 0
for line in sys.stdin:
    m = re.search(r"\(\s*(\d+),\s*(\d+),\s*(\d+)", line)
    count = int(line.split(":")[0])
    if m:
        r, g, b = map(int, m.groups())
        if (g > 150 or r > 150) and b < 100: calls += count
sys.exit(0 if calls > 20 else 1)' || fail "no call shapes in the spectrogram"

# Setup / Record / Auto Snap...
click 62 12
xdotool mousemove --sync $(( X + 74 )) $(( Y + 92 )) sleep 0.6 mousemove $(( X + 194 )) $(( Y + 92 )) sleep 0.2 \
  mousemove $(( X + 194 )) $(( Y + 111 )) sleep 0.3 click 1
sleep 0.5
wait_window "^Record Setup" 5 || fail "Record Setup did not open"
xdotool windowraise "$W"; sleep 0.3

# File... then the save dialog: type a name without extension, Enter.
click 47 131
wait_window "Save As" 5 || fail "no save dialog"
xdotool type --delay 30 "site"; sleep 0.3; xdotool key Return
sleep 1
shot 2-question
xdotool key Return   # "Would you like to start recording now ?" -> Yes (the default)
sleep 8
shot 3-recording
ls "$WORK/rec" >"$WORK/files"
grep -qE '^site_D[0-9]{8}T[0-9]{6}m[0-9]{3}\.wav$' "$WORK/files" || fail "no finished snapshot: $(cat "$WORK/files")"
grep -q "record status: " "$WORK"/rec/site_D*_log.txt 2>/dev/null || fail "no status lines in the daily log"

# Stop, then File / Exit.
xdotool windowraise "$W"; sleep 0.3
click 175 169
sleep 1
click 18 12; click 30 92
for _ in $(seq 100); do kill -0 $station 2>/dev/null || break; sleep 0.1; done
kill -0 $station 2>/dev/null && fail "File/Exit did not end the station"
wait $station; rc=$?
[ $rc -eq 0 ] || fail "exit status $rc"
python3 - "$WORK/cfg/registry.json" "$WORK/rec/" <<'PY' || fail "settings not saved by File/Exit"
import json, sys
root = json.load(open(sys.argv[1]))
assert root["SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings"]["MenuRecordMode"] == 3
assert root["SOFTWARE\\Mirrowen\\Halvane\\3.3\\History"]["OutputDirectory"] == sys.argv[2]
PY
ls "$WORK/rec" | grep -q "\.tmp_" && fail "a temporary file was left"
echo "station gui: $failures failure(s)"
[ $failures -eq 0 ]
