#!/usr/bin/env bash
# The whole station uploads a finished recording found beside its base path to
# an FTP server on loopback, shows and logs it, and ends the session with QUIT.
# Files beside it that the station did not make (notes, a user's own recording,
# also beside a base path that is a folder) are neither sent nor touched.
# Usage: station_upload_test.sh path/to/halvane path/to/ftp_test_server.py
set -u
HALVANE="$1"
SERVER="$2"
WORK=$(mktemp -d)
export HALVANE_INSTANCE_DIR="$WORK/instances"
server=""
cleanup() { [ -n "$server" ] && kill -9 "$server" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$WORK/rec" "$WORK/remote"
/usr/bin/python3 "$SERVER" --address 127.0.0.59 --dir "$WORK/remote" --commands "$WORK/commands" >"$WORK/port" 2>/dev/null &
server=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
port=$(head -1 "$WORK/port")
[ -n "$port" ] || { echo "FAIL: FTP server did not start"; exit 1; }

head -c 200000 /dev/urandom >"$WORK/rec/site_D20240131T220000m000.wav"
cp "$WORK/rec/site_D20240131T220000m000.wav" "$WORK/sent.wav"
# Not the station's: each must stay as it is and never reach the server.
mkdir -p "$WORK/rec2" "$WORK/theirs"
foreign=(rec/site-notes.wbk.txt rec/site.wav rec/site_D20240131T220000m000.wav.bak rec/site_D20240131T2200m000.wav
         rec2/precious-survey.wav rec2/notes_D20240131T220000m000.wav)
for f in "${foreign[@]}"; do
  head -c 3000 /dev/urandom >"$WORK/$f"
  cp "$WORK/$f" "$WORK/theirs/$(basename "$f")"
done
head -c 5000 /dev/urandom >"$WORK/rec2/_D20240131T220000m001.wv"
cp "$WORK/rec2/_D20240131T220000m001.wv" "$WORK/sent.wv"

# No receiver is reached: an address nobody listens on, on loopback.
"$HALVANE" --headless --config "$WORK/cfg" --device IP127.0.0.254 --audio null --run-for 4 \
  --record "$WORK/rec/site.wav" --set FileTransferEnable=1 --set "FTPHostName=127.0.0.59:$port" \
  >"$WORK/out" 2>&1 || fail "station exit status $?"

cmp -s "$WORK/sent.wav" "$WORK/remote/site_D20240131T220000m000.wav" || fail "upload not byte-identical"
[ ! -e "$WORK/rec/site_D20240131T220000m000.wav" ] || fail "sent file still there"
grep -q "Transfer status: Transfering file site_D20240131T220000m000.wav" "$WORK/out" || fail "no status line: $(cat "$WORK/out")"
log="$WORK/rec/site_D$(date -u +%Y%m%d)_log.txt"
grep -q "File transfered:  site_D20240131T220000m000.wav" "$log" 2>/dev/null || fail "no log line in $log"
grep -q "^QUIT" "$WORK/commands" || fail "session not ended with QUIT"

# A base path that is a folder: its recordings are named by their time alone.
"$HALVANE" --headless --config "$WORK/cfg" --device IP127.0.0.254 --audio null --run-for 4 \
  --record "$WORK/rec2/" --set FileTransferEnable=1 --set "FTPHostName=127.0.0.59:$port" \
  >"$WORK/out2" 2>&1 || fail "station exit status $? with a folder as base path"
cmp -s "$WORK/sent.wv" "$WORK/remote/_D20240131T220000m001.wv" || fail "folder base path: upload not byte-identical"
[ ! -e "$WORK/rec2/_D20240131T220000m001.wv" ] || fail "folder base path: sent file still there"
for f in "${foreign[@]}"; do
  cmp -s "$WORK/$f" "$WORK/theirs/$(basename "$f")" || fail "$f was changed or removed"
  [ ! -e "$WORK/remote/$(basename "$f")" ] || fail "$f was uploaded"
done

[ $failures -eq 0 ] && echo "station upload: ok"
exit $failures
