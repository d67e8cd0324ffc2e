#!/usr/bin/env bash
# Recordings against a clock that misbehaves and a folder that turns read-only,
# the whole program fed by the receiver simulator on loopback (127.0.3.1 ..
# 127.0.3.5), the clock set with libfaketime (the monotonic clock stays real):
#   - a clock that stands still: every Auto Snap snapshot and every Continuous
#     recording gets a name of its own (the next free millisecond); a file
#     already there under that name is left alone;
#   - a clock stepped back an hour: the names of an hour ago are not reused;
#   - the folder made read-only during a recording (the station runs as an
#     unprivileged user): the recording keeps its temporary name and is
#     reported failed, with the reason, on standard output and in the daily log.
# After each run every recording is either finished under its final name or
# reported failed under its temporary name (recording_check.py), and no file
# the test put there has changed.
# Usage: recording_integrity_test.sh HALVANE HALVANE_SIM
set -u
HALVANE="$1"
SIM="$2"
. "$(dirname "$0")/field_common.sh"
FAKETIME_LIB=$(ls /usr/lib/*/faketime/libfaketimeMT.so.1 2>/dev/null | head -1)
if [ -z "$FAKETIME_LIB" ]; then
  echo "SKIP: libfaketime is not installed (scripts/bootstrap installs it)"
  exit 77
fi
check() {  # check WHAT FOLDER STEM OUTPUT [OPTIONS]: recording_check.py, failures counted
  local what="$1"
  shift
  python3 "$HERE/recording_check.py" "$@" >"$WORK/check" || fail "$what: $(cat "$WORK/check")"
}
# station OUTPUT CLOCK ARGS...: the station in the background ($station), its
# clock a FAKETIME value, or "file:PATH" for a clock read from PATH at every
# look (so the test can step it).
station() {
  local out="$1" clock="$2"
  shift 2
  local how=(FAKETIME="$clock")
  [ "${clock#file:}" != "$clock" ] && how=(FAKETIME_TIMESTAMP_FILE="${clock#file:}" FAKETIME_NO_CACHE=1)
  env FAKETIME_DONT_FAKE_MONOTONIC=1 LD_PRELOAD="$FAKETIME_LIB" "${how[@]}" \
    "$HALVANE" --headless --audio null --set TimeStandard=0 "$@" >"$out" 2>&1 &
  station=$!
  pids+=($station)
}
finish() {  # finish WHAT: waits for the station (at most 60 s), which must exit 0
  for _ in $(seq 600); do kill -0 "$station" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$station" 2>/dev/null && { fail "$1: the station hangs"; kill -9 "$station"; }
  wait "$station" || fail "$1: exit status $?"
}
snap=(--mode autosnap --set SnapDurationMS=200)

# 1. A clock that stands still: Auto Snap snapshots one after the other, all
# starting at 12:00:00.000, around a file of someone else's under that name.
mkdir -p "$WORK/r1" "$WORK/c1"
echo "not the station's" >"$WORK/r1/bats_D20260301T120000m000.wav"
cp "$WORK/r1/bats_D20260301T120000m000.wav" "$WORK/planted1"
start_sim 127.0.3.1 calls
station "$WORK/out1" "2026-03-01 12:00:00" --config "$WORK/c1" --device IP127.0.3.1 "${snap[@]}" \
  --record "$WORK/r1/bats.wav" --run-for 5
finish "frozen clock"
kill "$sim"
cmp -s "$WORK/planted1" "$WORK/r1/bats_D20260301T120000m000.wav" || fail "frozen clock: a file there before changed"
check "frozen clock" "$WORK/r1" bats "$WORK/out1" --snapshots --planted bats_D20260301T120000m000.wav
n=$(ls "$WORK"/r1/bats_D20260301T120000m*.wav | wc -l)
[ "$n" -ge 4 ] || fail "frozen clock: only $((n - 1)) snapshot(s): $(cat "$WORK/out1")"
[ -e "$WORK/r1/bats_D20260301T120000m001.wav" ] || fail "frozen clock: the first snapshot is not at the next millisecond"
grep -q "renamimg" "$WORK/out1" && fail "frozen clock: a rename failed: $(cat "$WORK/out1")"

# 2. The same still clock for Continuous recordings, one WAV and one WavPack
# run after the other in the same folder.
mkdir -p "$WORK/r2" "$WORK/c2"
start_sim 127.0.3.2 counter
for format in 0 1; do
  station "$WORK/out2-$format" "2026-03-01 12:00:00" --config "$WORK/c2" --device IP127.0.3.2 --mode continuous \
    --set OutputFileFormat=$format --record "$WORK/r2/site.wav" --run-for 3
  finish "frozen clock, Continuous format $format"
  [ $format = 0 ] && cp "$WORK/r2/site_D20260301T120000m000.wav" "$WORK/first2" 2>/dev/null
done
kill "$sim"
cat "$WORK/out2-0" "$WORK/out2-1" >"$WORK/out2"
check "frozen clock, Continuous" "$WORK/r2" site "$WORK/out2"
[ -e "$WORK/r2/site_D20260301T120000m000.wav" ] && [ -e "$WORK/r2/site_D20260301T120000m001.wv" ] ||
  fail "frozen clock, Continuous: not one file each: $(ls "$WORK/r2")"
cmp -s "$WORK/first2" "$WORK/r2/site_D20260301T120000m000.wav" || fail "frozen clock, Continuous: first file changed"

# 3. The clock stands at 12:00, then at 13:00, then is stepped back an hour to
# 12:00: the snapshots after the step take names after those made at 12:00,
# which stay as they were.
mkdir -p "$WORK/r3" "$WORK/c3"
echo "2026-03-01 12:00:00" >"$WORK/clock"
start_sim 127.0.3.3 calls
station "$WORK/out3" "file:$WORK/clock" --config "$WORK/c3" --device IP127.0.3.3 "${snap[@]}" \
  --record "$WORK/r3/bats.wav" --run-for 12
sleep 4
echo "2026-03-01 13:00:00" >"$WORK/clock"
sleep 3
mkdir -p "$WORK/noon" && cp "$WORK"/r3/bats_D20260301T120000m*.wav "$WORK/noon/" 2>/dev/null
echo "2026-03-01 12:00:00" >"$WORK/clock"
finish "clock stepped back"
kill "$sim"
check "clock stepped back" "$WORK/r3" bats "$WORK/out3" --snapshots
early=$(ls "$WORK"/noon/*.wav 2>/dev/null | wc -l)
late=$(ls "$WORK"/r3/bats_D20260301T120000m*.wav 2>/dev/null | wc -l)
[ "$early" -ge 2 ] && [ "$late" -gt "$early" ] && ls "$WORK"/r3/bats_D20260301T130000m*.wav >/dev/null 2>&1 ||
  fail "clock stepped back: $early snapshot(s) before the step, $late after: $(ls "$WORK/r3")"
for f in "$WORK"/noon/*.wav; do
  [ -e "$f" ] && { cmp -s "$f" "$WORK/r3/$(basename "$f")" || fail "clock stepped back: $(basename "$f") changed"; }
done

# 4. The folder turns read-only while a recording is written (the station runs
# as nobody, so the permissions hold): an Auto Snap snapshot and a Continuous
# recording each keep their temporary name and are reported failed.
chmod 755 "$WORK"
for mode in autosnap continuous; do
  r="$WORK/r4-$mode"
  mkdir -p "$r" "$WORK/c4-$mode" "$WORK/i4-$mode"
  chown nobody "$r" "$WORK/c4-$mode" "$WORK/i4-$mode"
  start_sim "127.0.3.$([ $mode = autosnap ] && echo 4 || echo 5)" calls
  HALVANE_INSTANCE_DIR="$WORK/i4-$mode" \
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$HALVANE" --headless --audio null --set TimeStandard=0 \
    --config "$WORK/c4-$mode" --device "IP127.0.3.$([ $mode = autosnap ] && echo 4 || echo 5)" --mode $mode \
    --set SnapDurationMS=3000 --record "$r/bats.wav" --run-for 8 >"$WORK/out4-$mode" 2>&1 &
  station=$!
  pids+=($station)
  for _ in $(seq 100); do ls "$r"/*.tmp_wav >/dev/null 2>&1 && break; sleep 0.05; done
  sleep 0.5
  chmod 555 "$r"
  finish "read-only folder, $mode"
  kill "$sim"
  chmod 755 "$r"
  if [ $mode = autosnap ]; then
    check "read-only folder, $mode" "$r" bats "$WORK/out4-$mode" --snapshots
    grep -q "recording failed: could not create bats_D.*: Permission denied$" "$r"/bats_D*_log.txt ||
      fail "read-only folder, $mode: the next snapshot's failure is not logged: $(cat "$r"/bats_D*_log.txt)"
  else
    check "read-only folder, $mode" "$r" bats "$WORK/out4-$mode"
  fi
  grep -q "Status : Failed - could not rename it to bats_D[0-9T]*m[0-9]*\.wav: Permission denied; kept as" \
    "$WORK/out4-$mode" || fail "read-only folder, $mode: no failed rename reported: $(cat "$WORK/out4-$mode")"
  ls "$r"/*.tmp_wav >/dev/null 2>&1 || fail "read-only folder, $mode: nothing kept: $(ls -l "$r")"
done

[ -n "${HALVANE_TEST_VERBOSE:-}" ] && { ls -l "$WORK"/r*; cat "$WORK"/out*; }
echo "recording integrity: $failures failure(s)"
[ $failures -eq 0 ]
