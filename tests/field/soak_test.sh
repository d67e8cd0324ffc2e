#!/usr/bin/env bash
# The station under its full load for a few minutes, as it runs in the field:
# headless, audio on (wav: back end), spectral trace shown, uploads to an FTP
# server on loopback (127.0.0.65), fed by the receiver simulator at full rate.
#   phase A: Auto Snap of the `calls` signal (127.0.0.66);
#   phase B: Continuous recording of the `counter` signal (127.0.0.67).
# Afterwards: no conduit1 overrun, every Continuous file one unbroken stretch of
# the sent sequence, every snapshot finished and uploaded whole, the audio file
# written, and memory flat (RSS at the end within 5% of RSS after the first minute).
# Usage: soak_test.sh HALVANE HALVANE_SIM FTP_SERVER_SCRIPT [SECONDS_PER_PHASE]
set -u
HALVANE="$1"
SIM="$2"
SERVER="$3"
SECONDS_PER_PHASE="${4:-120}"
. "$(dirname "$0")/field_common.sh"

mkdir -p "$WORK/remote"
/usr/bin/python3 "$SERVER" --address 127.0.0.65 --dir "$WORK/remote" --commands "$WORK/commands" >"$WORK/port" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
port=$(head -1 "$WORK/port")
[ -n "$port" ] || { echo "FAIL: FTP server did not start"; exit 1; }

# phase NAME ADDRESS SIGNAL MODE: runs one phase; RSS samples (kB, one a second) in $WORK/NAME.rss
phase() {
  local name="$1" address="$2" signal="$3" mode="$4"
  mkdir -p "$WORK/$name"
  start_sim "$address" "$signal" "$WORK/$name.sim"
  "$HALVANE" --headless --config "$WORK/cfg-$name" --device "IP$address" --audio "wav:$WORK/$name.audio.wav" \
    --show trace --mode "$mode" --record "$WORK/$name/site.wav" --run-for "$SECONDS_PER_PHASE" \
    --set FileTransferEnable=1 --set "FTPHostName=127.0.0.65:$port" >"$WORK/$name.out" 2>&1 &
  local station=$!
  pids+=($station)
  : >"$WORK/$name.rss"
  while kill -0 $station 2>/dev/null; do
    awk '/^VmRSS:/ { print $2 }' "/proc/$station/status" >>"$WORK/$name.rss" 2>/dev/null
    sleep 1
  done
  wait $station || fail "$name: exit status $?: $(tail -5 "$WORK/$name.out")"
  kill $sim 2>/dev/null
  grep -q "Conduit1 overrun" "$WORK/$name.out" && fail "$name: conduit1 overrun: $(grep -c overrun "$WORK/$name.out")"
  grep -q "receiver found" "$WORK/$name.out" || fail "$name: no receiver"
  ls "$WORK/$name"/*.tmp_* >/dev/null 2>&1 && fail "$name: unfinished files: $(ls "$WORK/$name")"
  # Memory: the last sample against the one after the first minute.
  python3 - "$WORK/$name.rss" <<'PY' || fail "$name: memory grew: $(sed -n '60p;$p' "$WORK/$name.rss" | tr '\n' ' ')"
import sys
rss = [int(x) for x in open(sys.argv[1]).read().split()]
assert len(rss) > 62, len(rss)
first_minute, end = rss[59], max(rss[-3:])
print("RSS after one minute %d kB, at the end %d kB" % (first_minute, end))
assert end <= first_minute * 1.05, (first_minute, end)
PY
  # The audio heard: 16-bit mono at 44100/s for most of the run.
  local audio
  audio=$(stat -c %s "$WORK/$name.audio.wav" 2>/dev/null || echo 0)
  [ "$audio" -ge $((44100 * 2 * (SECONDS_PER_PHASE - 10))) ] || fail "$name: audio file holds only $audio bytes"
}

phase snap 127.0.0.66 calls autosnap
# Every snapshot finished and uploaded whole; one finished as the station closed
# may still wait beside its base path.
local_left=$(ls "$WORK"/snap/site_D*.wav 2>/dev/null | wc -l)
sent=$(ls "$WORK"/remote/site_D*.wav 2>/dev/null | wc -l)
[ "$sent" -ge 3 ] || fail "snap: only $sent snapshots uploaded"
[ "$local_left" -le 1 ] || fail "snap: $local_left snapshots not uploaded"
whole_wav "$WORK"/remote/site_D*.wav || fail "snap: an uploaded snapshot is not whole"
echo "snap: $sent snapshots uploaded, $local_left left at the close"

mkdir -p "$WORK/remote-snap" && mv "$WORK"/remote/* "$WORK/remote-snap/" 2>/dev/null
phase cont 127.0.0.67 counter continuous
# Every Continuous file, wherever it is now, one unbroken stretch of the sequence.
files=("$WORK"/cont/site_D*.wav "$WORK"/remote/site_D*.wav)
checked=0
for f in "${files[@]}"; do
  [ -e "$f" ] || continue
  python3 "$HERE/counter_check.py" "$f" >"$WORK/stretch"
  [ "$(wc -l <"$WORK/stretch")" -eq 1 ] && ! grep -q " -1 " "$WORK/stretch" ||
    fail "cont: $(basename "$f") is not one stretch: $(head -3 "$WORK/stretch")"
  checked=$((checked + 1))
done
[ "$checked" -ge 1 ] || fail "cont: no Continuous file"
read -r _ first count <"$WORK/stretch" 2>/dev/null
echo "cont: $checked file(s), the last from sample $first, $count samples"

echo "soak: $failures failure(s)"
[ $failures -eq 0 ]
