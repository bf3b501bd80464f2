#!/usr/bin/env bash
# Starts the game (the executable named first) in the working directory;
# without a display, on an Xvfb of its own, which is stopped once the game
# has ended, however it ends.
#
# Ctrl+C, `kill` and the terminal's hangup reach the whole process group, the
# game with it, which ends its level and exits as it would on its own. The X
# server runs in a session of its own, out of their reach (it would close at
# once and end the game before its end-of-level script), and this script
# stays until the game has ended: the signals only run the traps below. A
# signal that reached this script alone (make hands SIGTERM to its child) is
# handed on; the game takes a signal within a second of the first as that
# one handed on.
set -u
game="$1"
if [ -n "${DISPLAY:-}" ]; then exec "$game"; fi
pid=
signalled=
pass() {
  signalled=$1
  if [ -n "$pid" ]; then kill -s "$1" "$pid" 2>/dev/null; fi
}
for s in INT TERM HUP; do trap "pass $s" "$s"; done
# Xvfb takes a free display and writes its number once it accepts clients;
# -terminate ends it when its last client has gone, should this script be
# killed outright (SIGKILL) after the game connected.
exec 3< <(exec setsid Xvfb -displayfd 1 -terminate -screen 0 1920x1080x24 -nolisten tcp \
  2>/dev/null)
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
read -r display <&3 || { echo "No display could be started for the game" >&2; exit 1; }
DISPLAY=":$display" "$game" <&0 &
pid=$!
# One that came while the server started (a trap does not cut read short).
if [ -n "$signalled" ]; then pass "$signalled"; fi
# wait returns early for each trapped signal; the last one gives the game's
# exit status.
while kill -0 "$pid" 2>/dev/null; do wait "$pid"; done
wait "$pid"
