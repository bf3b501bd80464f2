#!/usr/bin/env bash
# Starts the game (the executable named first) in the working directory;
# without a display, on an Xvfb of its own, which is stopped once the game
# has ended, however it ends.
#
# Ctrl+C, the terminal's hangup and `kill %1` (a job, not `kill PID`) reach
# the whole process group, the game with it, which ends its level and exits
# as it would on its own. The X server runs in a session of its own, out of
# their reach (it would close at once and end the game before its
# end-of-level script), and this script stays until the game has ended: the
# signals only run the traps below, which hand every one on to the game,
# also those that reached this script alone (make hands SIGTERM to its
# child); the game takes a signal within a second of the first as that one
# handed on.
set -u
game="$1"
if [ -n "${DISPLAY:-}" ]; then exec "$game"; fi
pid=
signalled=
# The name the game runs under once started (the kernel keeps 15 bytes).
name=${game##*/}
name=${name:0:15}
# A signal is handed on once the game's own handler for it is in place.
# Before, it would be lost: bash's child that is about to become the game
# takes it for a trap of its own, and the game starts with SIGINT ignored,
# as bash starts every command in the background.
pass() {
  signalled=$1
  [ -n "$pid" ] || return 0
  local bit=$((1 << ($(kill -l "$1") - 1))) key value state caught running
  while :; do
    running= state=Z caught=0
    while read -r key value _; do
      case $key in
        Name:) running=$value ;;
        State:) state=$value ;;
        SigCgt:) caught=$value ;;
      esac
    done 2>/dev/null <"/proc/$pid/status"
    case $state in Z | X) return 0 ;; esac
    if [ "$running" = "$name" ] && ((0x$caught & bit)); then break; fi
    sleep 0.01
  done
  kill -s "$1" "$pid" 2>/dev/null
}
for s in INT TERM HUP; do trap "pass $s" "$s"; done
# Xvfb's messages go to a file that is gone from the folder at once (no
# file is left, however this script ends); only a failure shows them.
log=$(mktemp)
exec 4>"$log" 5<"$log"
rm -f "$log"
# Xvfb takes a free display and writes its number once it accepts clients.
# It ends when this script does, however that happens: its parent's death
# signal is set while it is still in this job's process group, so a SIGKILL
# to the job reaches it either way, also before the game connects.
exec 3< <(exec setpriv --pdeathsig TERM setsid Xvfb -displayfd 1 -screen 0 1920x1080x24 \
  -nolisten tcp 2>&4 5<&-)
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
if ! read -r display <&3; then
  why=$(sed 's/(EE) *//g' <&5 | awk 'NR == 1 { first = $0 }
    /Fatal server error:/ { getline; fatal = $0 }
    END { print fatal != "" ? fatal : first }')
  echo "Xvfb could not start a display for the game${why:+: $why}" >&2
  exit 1
fi
# One that came while the server started (a trap does not cut read short):
# the game is not started at all.
if [ -n "$signalled" ]; then exit $((128 + $(kill -l "$signalled"))); fi
DISPLAY=":$display" "$game" <&0 3<&- 4>&- 5<&- &
pid=$!
# One that came as the game was started.
if [ -n "$signalled" ]; then pass "$signalled"; fi
# Polled, not waited for: a trap that cuts bash's wait short just as the
# game ends can lose that end, and wait then waits for ever. A trap runs once
# the sleep is over. The last wait gives the game's exit status.
while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
wait "$pid"
