# Shared by the field scripts (sourced): a work folder removed at exit together
# with the processes in `pids` and the mounts in `mounts`, failure counting,
# the simulator's start (start_sim, tests/support/simulator.sh) and the check
# that a WAV file is whole.
HERE="$(cd "$(dirname "$0")" && pwd)"
. "$HERE/../support/simulator.sh"
WORK=$(mktemp -d)
export HALVANE_INSTANCE_DIR="$WORK/instances"
pids=()
mounts=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  wait 2>/dev/null
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
whole_wav() {  # whole_wav FILE...: true when each is RIFF with a size field that matches its length
  python3 - "$@" <<'PY'
import struct, sys
for path in sys.argv[1:]:
    b = open(path, "rb").read()
    assert b[:4] == b"RIFF" and struct.unpack("<I", b[4:8])[0] + 8 == len(b), path
PY
}
