#!/usr/bin/env bash
# Faults a field station meets, each with the whole program fed by the receiver
# simulator on loopback (127.0.0.61 .. 127.0.0.64):
#   - the receiver vanishes in the middle of a Continuous recording and comes back;
#   - the station is killed (SIGKILL) while recording, then the file is repaired;
#   - the output file system fills up during Auto Snap (a small tmpfs; needs root);
#   - the config folder is read-only (needs root).
# Usage: station_faults_test.sh HALVANE HALVANE_SIM
set -u
HALVANE="$1"
SIM="$2"
. "$(dirname "$0")/field_common.sh"
stretches() { python3 "$HERE/counter_check.py" "$@"; }
can_mount() {
  mkdir -p "$WORK/probe" && mount -t tmpfs -o size=64k tmpfs "$WORK/probe" 2>/dev/null && umount "$WORK/probe"
}

# 1. The receiver vanishes mid-recording and comes back: the recording goes on,
# is finished and renamed when Record goes off (here: at exit), nothing hangs.
mkdir -p "$WORK/r1" "$WORK/c1"
start_sim 127.0.0.61 counter
"$HALVANE" --headless --config "$WORK/c1" --device IP127.0.0.61 --audio null --mode continuous \
  --record "$WORK/r1/site.wav" --run-for 9 >"$WORK/out1" 2>&1 &
station=$!
pids+=($station)
sleep 3
kill -9 "$sim"
wait "$sim" 2>/dev/null
sleep 2
start_sim 127.0.0.61 counter
for _ in $(seq 300); do kill -0 $station 2>/dev/null || break; sleep 0.1; done
if kill -0 $station 2>/dev/null; then
  fail "receiver loss: the station hangs"
else
  wait $station || fail "receiver loss: exit status $?"
fi
kill "$sim" 2>/dev/null
[ "$(grep -c "receiver found" "$WORK/out1")" -ge 2 ] || fail "receiver loss: not found again: $(cat "$WORK/out1")"
ls "$WORK"/r1/*.tmp_* >/dev/null 2>&1 && fail "receiver loss: a recording kept its temporary name"
files=("$WORK"/r1/site_D*.wav)
[ -e "${files[0]}" ] || fail "receiver loss: no recording"
if [ -e "${files[0]}" ]; then
  # Before the loss and after it: two unbroken stretches, the second from the
  # simulator's fresh start; no sample invented in between.
  stretches "${files[@]}" >"$WORK/s1"
  awk '$2 < 0 { bad = 1 } END { exit bad }' "$WORK/s1" || fail "receiver loss: foreign samples: $(head "$WORK/s1")"
  [ "$(wc -l <"$WORK/s1")" -le 3 ] || fail "receiver loss: broken stream: $(cat "$WORK/s1")"
  total=$(awk '{ n += $3 } END { print n }' "$WORK/s1")
  [ "$total" -ge 1000000 ] || fail "receiver loss: only $total samples: $(cat "$WORK/s1")"
fi

# 2. SIGKILL while recording: the file keeps its temporary name, the next start
# leaves it untouched, and --repair finishes it, reporting the samples saved.
mkdir -p "$WORK/r2" "$WORK/c2"
start_sim 127.0.0.63 counter
"$HALVANE" --headless --config "$WORK/c2" --device IP127.0.0.63 --audio null --mode continuous \
  --record "$WORK/r2/site.wav" --run-for 30 >"$WORK/out2" 2>&1 &
station=$!
pids+=($station)
sleep 4
kill -9 $station
wait $station 2>/dev/null
kill "$sim" 2>/dev/null
tmp=("$WORK"/r2/*.tmp_wav)
if [ ! -e "${tmp[0]}" ]; then
  fail "SIGKILL: no temporary file: $(ls "$WORK/r2")"
else
  cp "${tmp[0]}" "$WORK/killed.copy"
  "$HALVANE" --headless --config "$WORK/c2" --device IP127.0.0.254 --audio null --run-for 1 \
    --record "$WORK/r2/site.wav" --mode autosnap >"$WORK/out2b" 2>&1 || fail "SIGKILL: next start failed"
  cmp -s "${tmp[0]}" "$WORK/killed.copy" || fail "SIGKILL: the next start touched the temporary file"
  "$HALVANE" --repair "${tmp[0]}" >"$WORK/repair" 2>&1 || fail "repair: exit status $?: $(cat "$WORK/repair")"
  saved=$(sed -n 's/.*: \([0-9]*\) samples saved$/\1/p' "$WORK/repair")
  final=("$WORK"/r2/site_D*.wav)
  [ -e "${final[0]}" ] || fail "repair: no final file: $(ls "$WORK/r2") $(cat "$WORK/repair")"
  [ ! -e "${tmp[0]}" ] || fail "repair: the temporary name is still there"
  if [ -e "${final[0]}" ] && [ -n "$saved" ]; then
    stretches "${final[0]}" >"$WORK/s2"
    [ "$(wc -l <"$WORK/s2")" -eq 1 ] || fail "repair: not one stretch: $(head "$WORK/s2")"
    read -r _ first count <"$WORK/s2"
    # The recording starts where Record's start mark met the stream, then holds every sample.
    [ "$first" -ge 0 ] && [ "$count" = "$saved" ] || fail "repair: stretch $first+$count, reported $saved"
    [ "$saved" -ge 250000 ] || fail "repair: only $saved samples saved"
  fi
fi

if ! can_mount; then
  echo "SKIP: no tmpfs mounts here (not root): disk-full and read-only folder cases"
else
  # 3. The output file system fills up during Auto Snap: the snapshot being
  # written fails and keeps its temporary name, earlier snapshots stay whole, and
  # recording resumes when Record goes off and on (two timer programs) once
  # there is room again.
  mkdir -p "$WORK/r3" "$WORK/c3"
  mount -t tmpfs -o size=1400k tmpfs "$WORK/r3" && mounts+=("$WORK/r3")
  start_sim 127.0.0.62 calls
  t() { date -u -d "@$(($(date +%s) + $1))" +%H:%M:%S; }
  "$HALVANE" --headless --config "$WORK/c3" --device IP127.0.0.62 --audio null --mode autosnap --run-for 26 \
    --set TimeStandard=0 --set Program1Enable=1 --set Program2Enable=1 \
    --set "Pgm1StartTime=$(t 2)" --set "Pgm1StopTime=$(t 12)" --set "Pgm1FileName=$WORK/r3/site.wav" \
    --set "Pgm2StartTime=$(t 17)" --set "Pgm2StopTime=$(t 40)" --set "Pgm2FileName=$WORK/r3/late.wav" \
    >"$WORK/out3" 2>&1 &
  station=$!
  pids+=($station)
  sleep 14
  before=$(ls "$WORK"/r3/site_D*.wav 2>/dev/null | wc -l)
  ls "$WORK"/r3/*.tmp_wav >/dev/null 2>&1 || fail "disk full: no snapshot kept its temporary name: $(ls -l "$WORK/r3")"
  grep -q "Failed" "$WORK/out3" || fail "disk full: no failure reported: $(cat "$WORK/out3")"
  mkdir -p "$WORK/early" && cp "$WORK"/r3/site_D*.wav "$WORK/early/" 2>/dev/null
  mount -o remount,size=64m "$WORK/r3" || fail "disk full: remount"
  wait $station || fail "disk full: exit status $?"
  kill "$sim" 2>/dev/null
  [ "$before" -ge 1 ] || fail "disk full: no snapshot before the disk filled: $(ls -l "$WORK/r3")"
  for f in "$WORK"/early/*.wav; do
    [ -e "$f" ] || continue
    cmp -s "$f" "$WORK/r3/$(basename "$f")" || fail "disk full: $(basename "$f") changed"
    whole_wav "$f" || fail "disk full: $(basename "$f") is not a whole WAV file"
  done
  ls "$WORK"/r3/late_D*.wav >/dev/null 2>&1 || fail "disk full: no snapshot after Record went off and on: $(ls -l "$WORK/r3") $(cat "$WORK/out3")"
  [ -n "${HALVANE_TEST_VERBOSE:-}" ] && { ls -l "$WORK/r1" "$WORK/r2" "$WORK/r3"; cat "$WORK/s1" "$WORK/s2" "$WORK/repair" "$WORK/out3"; }
  umount "$WORK/r3" && mounts=()

  # 4. A read-only config folder: the values in it are used, the run says that
  # they cannot be saved, and the file is left as it was.
  mkdir -p "$WORK/c4"
  mount -t tmpfs -o size=64k tmpfs "$WORK/c4" && mounts+=("$WORK/c4")
  printf '{"SOFTWARE\\\\Mirrowen\\\\Halvane\\\\3.3\\\\Settings": {"SonoThreshold": 33}}' >"$WORK/c4/registry.json"
  cp "$WORK/c4/registry.json" "$WORK/c4.copy"
  mount -o remount,ro "$WORK/c4"
  "$HALVANE" --headless --config "$WORK/c4" --device IP127.0.0.254 --audio null --run-for 1 \
    --set SonoDetail=6 >"$WORK/out4" 2>&1 || fail "read-only config: exit status $?: $(cat "$WORK/out4")"
  grep -q "Cannot write" "$WORK/out4" || fail "read-only config: no message: $(cat "$WORK/out4")"
  cmp -s "$WORK/c4/registry.json" "$WORK/c4.copy" || fail "read-only config: file changed"
  # A corrupt file there cannot be kept aside: said so, defaults used, file kept.
  mount -o remount,rw "$WORK/c4"
  echo '{"broken": ' >"$WORK/c4/registry.json"
  mount -o remount,ro "$WORK/c4"
  "$HALVANE" --headless --config "$WORK/c4" --device IP127.0.0.254 --audio null --run-for 1 \
    >"$WORK/out5" 2>&1 || fail "corrupt read-only config: exit status $?: $(cat "$WORK/out5")"
  grep -q "could not be kept aside" "$WORK/out5" || fail "corrupt read-only config: no message: $(cat "$WORK/out5")"
  [ "$(cat "$WORK/c4/registry.json")" = '{"broken": ' ] || fail "corrupt read-only config: file changed"
fi

echo "station faults: $failures failure(s)"
[ $failures -eq 0 ]
