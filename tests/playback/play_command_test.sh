#!/usr/bin/env bash
# The station replaying files from the command line: files in other recorders'
# layouts at their real rate to their end, a refused time base, a re-recording
# of a replay, and an orderly exit each time; or the real recordings, when present.
# Usage: play_command_test.sh path/to/halvane --layouts path/to/halvane-test-files
#        play_command_test.sh path/to/halvane --real default-recordings-folder
# The real recordings are taken from $HALVANE_TESTDATA, else the default folder;
# without them the test exits with 77 (skipped), or fails when HALVANE_TESTDATA
# named the folder.
set -u
HALVANE="$1"
MODE="$2"
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
    --play "$RECORDINGS/$name" "$@" </dev/null >"$WORK/out" 2>&1
  local rc=$?
  [ $rc -eq "${WANT_STATUS:-0}" ] || fail "$name: exit status $rc: $(cat "$WORK/out")"
}

# Each file at its real rate, played to its end within the run: the whole
# station chain at 192 to 500 kHz.
play_all() {
  while read -r name rate seconds; do
    play "$name" "$seconds"
    grep -q "Playback $name at $rate samples/s" "$WORK/out" || fail "$name: rate line: $(cat "$WORK/out")"
    grep -q "Playback of $name ended" "$WORK/out" || fail "$name: did not reach its end: $(cat "$WORK/out")"
  done
}

if [ "$MODE" = "--real" ]; then
  RECORDINGS="${HALVANE_TESTDATA:-$3}"
  for name in myomys-500k.wav audiomoth-250k-nocalls.wav selection-192k-list-id3.wav; do
    if [ ! -f "$RECORDINGS/$name" ]; then
      echo "real recording $RECORDINGS/$name not found (set HALVANE_TESTDATA to their folder," \
        "or fetch them with scripts/fetch-testdata)"
      [ -n "${HALVANE_TESTDATA:-}" ] && exit 1
      exit 77
    fi
  done
  play_all <<'LIST'
myomys-500k.wav 500000 2
audiomoth-250k-nocalls.wav 250000 1.5
selection-192k-list-id3.wav 192000 3.5
LIST
  echo "play command (real recordings): $failures failure(s)"
  [ $failures -eq 0 ]
  exit
fi

# Files of 0.5 s in the layouts of other recorders (LIST, id3 and GUANO chunks
# before and after the data, a GUANO TE factor), each line "name rate bytes".
RECORDINGS="$WORK/layouts"
"$3" "$RECORDINGS" >"$WORK/layouts.txt" || { echo "FAIL: writing the test files"; exit 1; }
[ "$(wc -l <"$WORK/layouts.txt")" -ge 6 ] || fail "too few test files: $(cat "$WORK/layouts.txt")"
while read -r name rate bytes; do echo "$name $rate 2"; done <"$WORK/layouts.txt" >"$WORK/list.txt"
play_all <"$WORK/list.txt"

# --timebase reaches the replay: 1:1000 gives 500 samples/s, below what the chain
# carries, so it is refused, and the station ends in time with status 1: the
# replay was the run's only job. (Each time base and each kind of refused file:
# tests/playback/playback_thread_test.cpp.)
WANT_STATUS=1 play plain-500k.wav 1 --timebase 1:1000
grep -q "Failed opening playback file .*plain-500k.wav" "$WORK/out" || fail "1:1000 not refused: $(cat "$WORK/out")"

# Re-recording: a replayed station recording, recorded again in Continuous
# mode, gives the same samples, stamped with the replayed time (not the clock).
python3 - "$WORK/orig.wav" <<'PY'
import random, struct, sys
random.seed(5)
data = b"".join(struct.pack("<h", random.randint(-20000, 20000)) for _ in range(125000))
attr = (b"MMMMMMMMM(#25000#)<&10&>[!250!]DEV=Unit 7,DC=Off,UTC=2024:01:31::23:59:59.250,"
        b"LTB=   0,CMT=<orig>MMMMMMMMM ")
attr = attr[:len(attr) & ~1]  # the attribute length is always even
fmt = struct.pack("<HHIIHHH", 1, 1, 25000, 50000, 2, 16, len(attr)) + attr
body = (b"WAVEfmt " + struct.pack("<I", len(fmt)) + fmt + b"fact" + struct.pack("<II", 4, 0) +
        b"data" + struct.pack("<I", len(data)) + data)
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
mkdir -p "$WORK/re"
# Audio off: the tuning path's back-pressure would only make the run longer.
RECORDINGS="$WORK" play orig.wav 1.5 --mode continuous --record "$WORK/re/site.wav" --set AudioVolume=0
python3 - "$WORK/orig.wav" "$WORK"/re/site_D*.wav <<'PY' || fail "re-recording: $(ls "$WORK/re") $(cat "$WORK/out")"
import os, re, struct, sys
def chunks(path):
    b = open(path, "rb").read()
    pos, out = 12, {}
    while pos + 8 <= len(b):
        size = struct.unpack("<I", b[pos + 4:pos + 8])[0]
        out[b[pos:pos + 4]] = b[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    return out
orig, again = chunks(sys.argv[1]), chunks(sys.argv[2])
assert len(sys.argv) == 3, sys.argv
# The replayed time stands in the name and the UTC field (a few ms after the start).
assert re.search(r"site_D20240131T235959m2[5-9]\d\.wav$", sys.argv[2]), sys.argv[2]
assert b"UTC=2024:01:31::23:59:59.2" in again[b"fmt "], again[b"fmt "]
# Every sample, in order; only the last part-block (under 1024 bytes) stays in the live stream.
a, b = orig[b"data"], again[b"data"]
assert b == a[:len(b)] and len(a) - len(b) < 1024, (len(a), len(b))
PY

echo "play command: $failures failure(s)"
[ $failures -eq 0 ]
