#!/usr/bin/env bash
# The station against the files and folders it is given: a new account without
# ~/.config, a recording folder that is missing or cannot be made, named pipes
# where files belong, a file that cannot be played (with a line break in its
# name), refused settings, and a fifth copy. Each case checks what is on disk
# afterwards. Usage: station_files_test.sh path/to/halvane path/to/halvane-sim path/to/halvane-sono
set -u
HALVANE="$1" SIM="$2" SONO="$3"
WORK=$(mktemp -d)
chmod 755 "$WORK"
export HALVANE_INSTANCE_DIR="$WORK/instances"
pids=()
cleanup() { for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done; rm -rf "$WORK"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# No receiver is reached: addresses on loopback where nobody listens.
dev() { echo "--device IP127.0.2.$1"; }
stored() {  # stored FILE NAME: the Settings value NAME in a registry file, or "absent"
  python3 - "$1" "$2" <<'PY'
import json, sys
values = json.load(open(sys.argv[1]))["SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings"]
print(values.get(sys.argv[2], "absent"))
PY
}
# A short station recording to replay: 1.5 s of noise at 25 kHz.
python3 - "$WORK/orig.wav" <<'PY'
import random, struct, sys
random.seed(7)
data = b"".join(struct.pack("<h", random.randint(-20000, 20000)) for _ in range(37500))
fmt = struct.pack("<HHIIHHH", 1, 1, 25000, 50000, 2, 16, 0)
body = b"WAVEfmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
open(sys.argv[1], "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY

# A new account: no ~/.config. The first run creates the whole path (the
# settings folder 0700) and keeps --set values, the volume slider's top
# position among them, into the next run, which loads them without a word.
mkdir "$WORK/home"
run_home() { env -u XDG_CONFIG_HOME HOME="$WORK/home" timeout -k 5 30 "$HALVANE" --headless --audio null $(dev 1) "$@"; }
run_home --run-for 0.5 --set SonoThreshold=33 --set AudioVolume=518 >"$WORK/out" 2>&1 || fail "new account run: $(cat "$WORK/out")"
REG="$WORK/home/.config/halvane/registry.json"
[ -f "$REG" ] || fail "no settings file under a new ~/.config: $(cat "$WORK/out")"
[ "$(stat -c %a "$WORK/home/.config/halvane" 2>/dev/null)" = 700 ] || fail "settings folder mode $(stat -c %a "$WORK/home/.config/halvane")"
run_home --run-for 0.3 >"$WORK/out" 2>&1 || fail "second run: $(cat "$WORK/out")"
grep -q "out of range\|Cannot" "$WORK/out" && fail "second run refused a value: $(cat "$WORK/out")"
[ "$(stored "$REG" SonoThreshold)" = 33 ] || fail "SonoThreshold not kept: $(cat "$REG")"
[ "$(stored "$REG" AudioVolume)" = 518 ] || fail "AudioVolume 518 not kept: $(cat "$REG")"

# --record into a folder that is missing: made at start, and the replay is
# recorded there.
timeout -k 5 30 "$HALVANE" --headless --config "$WORK/c2" --audio null $(dev 2) --run-for 3 --play "$WORK/orig.wav" \
  --mode continuous --record "$WORK/rec/night 1/site.wav" >"$WORK/out" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "record into a missing folder: status $rc: $(cat "$WORK/out")"
ls "$WORK/rec/night 1"/site_D*.wav >/dev/null 2>&1 || fail "nothing recorded in the new folder: $(ls -R "$WORK/rec") $(cat "$WORK/out")"
grep -q "Failed opening\|Record Status : Failed" "$WORK/out" && fail "record into a missing folder: $(cat "$WORK/out")"

# A recording folder that cannot be made (a file stands in its path), or one
# that cannot be written: one line saying why, status 2, nothing run.
echo keep >"$WORK/blocker"
refused() {  # refused WHAT PATTERN command...: status 2, one line matching, nothing else done
  local what="$1" pattern="$2"
  shift 2
  timeout -k 5 20 "$@" >"$WORK/out" 2>"$WORK/err"
  local rc=$?
  [ $rc -eq 2 ] || fail "$what: status $rc: $(cat "$WORK/out" "$WORK/err")"
  [ "$(wc -l <"$WORK/err")" -eq 1 ] && grep -q -- "$pattern" "$WORK/err" || fail "$what: said $(cat "$WORK/err")"
  [ -s "$WORK/out" ] && fail "$what: the station ran: $(cat "$WORK/out")"
}
refused "record under a file" "blocker is not a folder" \
  "$HALVANE" --headless --config "$WORK/c3" $(dev 3) --record "$WORK/blocker/x/site.wav"
[ "$(cat "$WORK/blocker")" = keep ] || fail "the file in the way was changed"
[ -e "$WORK/c3" ] && fail "settings were written by a refused run"
if command -v setpriv >/dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups "$HALVANE" --help >/dev/null 2>&1; then
  mkdir -p "$WORK/readonly" "$WORK/c4" "$WORK/instances"
  chmod 555 "$WORK/readonly"
  chmod 777 "$WORK/c4" "$WORK/instances"
  refused "record in a read-only folder" "cannot write in" \
    setpriv --reuid=65534 --regid=65534 --clear-groups "$HALVANE" --headless --config "$WORK/c4" $(dev 4) \
    --record "$WORK/readonly/site.wav"
fi

# Named pipes: as the file to play it is refused at once; as the settings file
# it is left alone (defaults used) and neither --run-for nor SIGTERM is held up.
mkfifo "$WORK/pipe.wav"
refused "play a named pipe" "is a named pipe" "$HALVANE" --headless --config "$WORK/c5" $(dev 5) --play "$WORK/pipe.wav"
mkdir "$WORK/c6" && mkfifo "$WORK/c6/registry.json"
timeout -k 5 20 "$HALVANE" --headless --config "$WORK/c6" $(dev 6) --audio null --run-for 1 >"$WORK/out" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "settings pipe with --run-for: status $rc: $(cat "$WORK/out")"
grep -q "registry.json: is a named pipe" "$WORK/out" || fail "settings pipe not reported: $(cat "$WORK/out")"
"$HALVANE" --headless --config "$WORK/c6" $(dev 6) --audio null >"$WORK/out" 2>&1 & pids+=($!); t=$!
sleep 1
kill -TERM $t
for _ in $(seq 50); do kill -0 $t 2>/dev/null || break; sleep 0.1; done
kill -0 $t 2>/dev/null && fail "SIGTERM did not end a station with a settings pipe within 5 s"
[ -p "$WORK/c6/registry.json" ] || fail "the settings pipe was replaced"
# The other programs' inputs: a pipe is refused at once, never waited on.
mkfifo "$WORK/pipe.tmp_wav"
for cmd in "$HALVANE --repair $WORK/pipe.tmp_wav" "$SONO $WORK/pipe.wav -o $WORK/pipe.png" \
           "$SIM --bind 127.0.2.20 --file $WORK/pipe.wav --seconds 1"; do
  timeout -k 5 20 $cmd >"$WORK/out" 2>&1
  rc=$?
  { [ $rc -eq 1 ] || [ $rc -eq 2 ]; } && grep -q "pipe\|not a regular file" "$WORK/out" || fail "$cmd: status $rc: $(cat "$WORK/out")"
done
[ -e "$WORK/pipe.png" ] && fail "a picture was written for a pipe"

# A file that cannot be played, with a line break in its name, as the only job:
# the run ends by itself with status 1 and one escaped status line.
BAD="$WORK/bad
name.wav"
echo "not a recording" >"$BAD"
SECONDS=0
timeout -k 5 60 "$HALVANE" --headless --config "$WORK/c7" $(dev 7) --audio null --run-for 40 --play "$BAD" >"$WORK/out" 2>"$WORK/err"
rc=$?
[ $SECONDS -lt 30 ] || fail "the run went on after its only job failed"
[ $rc -eq 1 ] || fail "unplayable file: status $rc: $(cat "$WORK/out" "$WORK/err")"
grep -q '^..:..:.. Playback of bad\\nname.wav failed: not a WAV or WavPack recording' "$WORK/out" ||
  fail "unplayable file status line: $(cat "$WORK/out")"
grep -q "^name.wav" "$WORK/out" "$WORK/err" && fail "a name broke a line: $(cat "$WORK/out" "$WORK/err")"
[ "$(cat "$BAD")" = "not a recording" ] || fail "the unplayable file was changed"

# Refused values, at --set and in the settings file: a record mode that does
# not exist, a start time that is not a time of day, a text where a number
# goes. Each is reported; none reaches the saved store.
mkdir "$WORK/c8"
cat >"$WORK/c8/registry.json" <<'JSON'
{"SOFTWARE\\Mirrowen\\Halvane\\3.3\\Settings": {"SonoDetail": "6", "MenuRecordMode": 0}}
JSON
timeout -k 5 30 "$HALVANE" --headless --config "$WORK/c8" $(dev 8) --audio null --run-for 0.5 --set MenuRecordMode=0 \
  --set Pgm1StartTime=25:99:99 --set SonoDetail=99 >"$WORK/out" 2>&1 || fail "refused values: status $?"
for said in "MenuRecordMode = 0 is out of range (1 to 4)" 'SonoDetail = "6" is not a whole number from 0 to 64' \
            "MenuRecordMode=0: MenuRecordMode must be a whole number from 1 to 4" \
            "Pgm1StartTime=25:99:99: Pgm1StartTime is not a time of day" "SonoDetail must be a whole number from 0 to 64"; do
  grep -qF "$said" "$WORK/out" || fail "not said: $said: $(cat "$WORK/out")"
done
[ "$(stored "$WORK/c8/registry.json" MenuRecordMode)" = 2 ] || fail "mode saved: $(cat "$WORK/c8/registry.json")"
[ "$(stored "$WORK/c8/registry.json" Pgm1StartTime)" = absent ] || fail "time saved: $(cat "$WORK/c8/registry.json")"

# Four copies take the four USB receivers' places; a fifth on a USB receiver
# is refused (it would share the fourth), while one on a network receiver runs.
copies=()
for n in 10 11 12 13; do
  "$HALVANE" --headless --config "$WORK/c$n" $(dev $n) --audio null --run-for 60 >"$WORK/copy$n" 2>&1 & copies+=($!)
  pids+=($!)
  for _ in $(seq 100); do grep -q "^Halvane instance" "$WORK/copy$n" && break; sleep 0.1; done
done
refused "fifth copy" "would share Ezusb-3" "$HALVANE" --headless --config "$WORK/c14" --audio null
timeout -k 5 20 "$HALVANE" --headless --config "$WORK/c15" $(dev 15) --audio null --run-for 0.3 >"$WORK/out" 2>&1 ||
  fail "fifth copy on the network: status $?: $(cat "$WORK/out")"
grep -q "instance 4, device IP127.0.2.15" "$WORK/out" || fail "fifth copy on the network: $(cat "$WORK/out")"
kill -TERM "${copies[@]}"
wait "${copies[@]}"

echo "station files: $failures failure(s)"
[ $failures -eq 0 ]
