#!/usr/bin/env bash
# Starts the game (the executable named first) in the working directory;
# without a display, on an Xvfb of its own, which ends when the game does,
# however it ends.
#
# Once the display is up the script becomes the game (exec): every signal
# then reaches the game itself, once and when it is sent, as without this
# script: Ctrl+C, `kill %1` and the terminal's hangup through the job's
# process group, make's SIGTERM to its child, `kill` with the PID. The X
# server runs in a session of its own, out of the group's reach (it would
# close at once and end the game before its end-of-level script), and ends
# by its parent's death signal when the game ends.
set -u
game="$1"
if [ -n "${DISPLAY:-}" ]; then exec "$game"; fi
shopt -s extglob
signalled=
server=
# A quit signal before the game runs ends the script, the server with it,
# with 128 + the signal's number, as the game would have ended. The traps
# only note its number: the script checks at least every 0.1 s.
for s in INT TERM HUP; do trap "signalled=$(kill -l "$s")" "$s"; done
# The server's TERM can come before it has started: bash's child that is
# about to become it takes a signal for this script's trap and drops it.
# So it is sent again until the server is gone.
stop_server() {
  local tries stat
  [ -n "$server" ] || return 0
  for ((tries = 0; tries < 50; tries++)); do
    kill "$server" 2>/dev/null || return 0
    read -r stat 2>/dev/null <"/proc/$server/stat" || return 0
    stat=${stat##*) }
    [ "${stat:0:1}" != Z ] || return 0
    sleep 0.02
  done
  kill -KILL "$server" 2>/dev/null
}
trap stop_server EXIT
quit_if_signalled() {
  if [ -n "$signalled" ]; then exit $((128 + signalled)); fi
}
# Xvfb takes a free display and writes its number once it accepts clients;
# its messages come through the same pipe (no file to leave behind), and
# only a failure shows them. While it starts, only bash's own builtins run
# in this job's process group: the group's signal can kill no step but
# setpriv or setsid before the session is made, which only ends the pipe
# early, and the signal noted then decides. The server ends when its
# parent does, however that happens: the death signal is set while it is
# still in this job's process group, so a SIGKILL to the job reaches it
# either way, also before the game connects. After the game's start nobody
# reads the pipe: Xvfb ignores SIGPIPE, so what it writes then is dropped.
exec 3< <(exec setpriv --pdeathsig TERM setsid Xvfb -displayfd 1 -screen 0 1920x1080x24 \
  -nolisten tcp 2>&1)
server=$!
display= messages=() line=
while :; do
  quit_if_signalled
  # A read cut short by its time limit keeps what it got in `part`.
  read -t 0.1 -r part <&3
  status=$?
  line+=$part
  if ((status > 128)); then continue; fi
  if ((status == 0)) && [[ $line == +([0-9]) ]]; then
    display=$line
    break
  fi
  line=${line//'(EE)'*( )/}
  [ -z "$line" ] || messages+=("$line")
  line=
  if ((status != 0)); then break; fi
done
# From here a signal ends the script by its default action (the server
# with it, by the death signal) or, once exec has begun, is left to the
# game: a trap would only note it, too late. One noted already ends it
# here, also when it ended a step of the start.
trap - INT TERM HUP
quit_if_signalled
if [ -z "$display" ]; then
  why=
  for ((i = 0; i < ${#messages[@]}; i++)); do
    if [[ ${messages[i]} == *"Fatal server error:"* ]]; then why=${messages[i + 1]:-}; fi
  done
  [ -n "$why" ] || why=${messages[0]:-}
  echo "Xvfb could not start a display for the game${why:+: $why}" >&2
  exit 1
fi
trap - EXIT
export DISPLAY=":$display"
exec "$game" 3<&-
