# Test helper (sourced by every script that starts the receiver simulator):
# starts it on a loopback address and makes sure the station will hear this
# simulator and no other. Nothing may listen on the address's port before the
# start (a simulator left over from another run would otherwise feed the
# station), and the new simulator must report that it listens before the
# script goes on. Either failure ends the script with status 1 and the reason.
#
# Needs SIM (the simulator's path) and the array `pids` (processes the
# script's cleanup kills); the pid of the new simulator is left in $sim.
SIM_PORT=5041

# sim_port_taken ADDRESS: true when a socket listens on ADDRESS:5041, or on
# every address at that port (/proc/net/tcp: little-endian hex address, hex
# port, state 0A = listening).
sim_port_taken() {
  local a b c d
  IFS=. read -r a b c d <<<"$1"
  local here any
  here=$(printf '%02X%02X%02X%02X:%04X' "$d" "$c" "$b" "$a" "$SIM_PORT")
  any=$(printf '00000000:%04X' "$SIM_PORT")
  awk -v here="$here" -v any="$any" 'NR > 1 && $4 == "0A" && ($2 == here || $2 == any) { found = 1 }
    END { exit !found }' /proc/net/tcp
}

# start_sim ADDRESS SIGNAL [LOG [MORE OPTIONS...]]: the simulator's output is
# appended to LOG ($WORK/sim.txt by default).
start_sim() {
  local address="$1" signal="$2" log="${3:-$WORK/sim.txt}"
  shift 2
  [ $# -gt 0 ] && shift
  # A simulator this script has just stopped may take a moment to close its
  # socket; anything still listening after 2 s is not ours.
  local grace
  for grace in $(seq 40); do sim_port_taken "$address" || break; sleep 0.05; done
  if sim_port_taken "$address"; then
    echo "FAIL: something already listens on $address port $SIM_PORT (a simulator left running?);" \
      "the station would not hear the simulator this test starts"
    exit 1
  fi
  : >>"$log"
  local before
  before=$(wc -l <"$log")
  "$SIM" --bind "$address" --signal "$signal" "$@" >>"$log" 2>&1 &
  sim=$!
  pids+=("$sim")
  local tries
  for tries in $(seq 200); do
    tail -n +$((before + 1)) "$log" | grep -q "listening on $address port $SIM_PORT" && return 0
    if ! kill -0 "$sim" 2>/dev/null; then
      echo "FAIL: the simulator on $address ended before listening: $(tail -n +$((before + 1)) "$log" | head -3)"
      exit 1
    fi
    sleep 0.05
  done
  echo "FAIL: the simulator on $address did not report listening within 10 s"
  exit 1
}
