#!/usr/bin/env bash
# Starts the game (the executable named first) in the working directory;
# without a display, on an Xvfb of its own, which only this user's clients
# with its cookie may use (xvfb-with-cookie.sh) and which ends when the game
# does, however it ends.
#
# Once the display is up the script becomes the game (exec): every signal
# then reaches the game itself, when it is sent, as without this script:
# Ctrl+C, `kill %1` and the terminal's hangup through the job's process
# group, make's SIGTERM to its child, `kill` with the PID. The X server runs
# in a session of its own, out of the group's reach (it would close at once
# and end the game before its end-of-level script), and ends by its
# parent's death signal when the game ends.
#
# A trap that runs while bash parses is lost, and breaks the parse ("trap:
# line 2: unexpected EOF while looking for matching `)'"). So the start is
# one function, parsed whole before its traps are set, and it runs no
# command or process substitution once they are: bash parses their text
# again as it expands them.
set -u
shopt -s extglob
main() {
  local game=$1 here=${BASH_SOURCE[0]%/*}
  if [ -n "${DISPLAY:-}" ]; then exec "$game"; fi
  [ "$here" != "${BASH_SOURCE[0]}" ] || here=.
  signalled=
  server=
  # A quit signal before the game runs ends the script and the server, with
  # 128 + the signal's number, as a shell reports a command that signal
  # ended. The traps only note the number: the script checks every 0.1 s.
  trap 'signalled=2' INT
  trap 'signalled=15' TERM
  trap 'signalled=1' HUP
  trap stop_server EXIT
  # Xvfb takes a free display and writes its number once it accepts
  # clients; the last 4 KiB of its messages come through the same pipe
  # once it has ended (no file to leave behind), and only a failure shows
  # them. While it starts, only bash's own builtins run in this job's
  # process group: the group's signal can kill no step but the coprocess's
  # shell, setpriv or setsid before the session is made, which only ends
  # the pipe early, and the signal noted then decides. The server ends when
  # its parent does, however that happens: the death signal is set while
  # it is still in this job's process group, so a SIGKILL to the job
  # reaches it either way, also before the game connects.
  # A coprocess (parsed with the rest of main) gives the pipe. It is no
  # job to report (bash would print "Hangup" for one the terminal ended),
  # and its read end is taken as descriptor 3 at once: bash closes its own
  # when it ends, while a failure's last messages may still be coming. Only
  # the group's signal ends it that soon, and then the signal decides.
  coproc SERVER {
    exec setpriv --pdeathsig TERM setsid bash "$here/xvfb-with-cookie.sh" \
      -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp </dev/null 2>&1
  }
  server=$!
  disown 2>/dev/null
  { exec 3<&"${SERVER[0]:-}"; } 2>/dev/null || exec 3</dev/null
  local display= messages=() line= part status
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
    say_why_the_server_failed "${messages[@]}"
    exit 1
  fi
  trap - EXIT
  export DISPLAY=":$display" XAUTHORITY="/proc/$server/fd/4"
  exec "$game" 3<&-
}

# The server's TERM can come before it has started: bash's child that is
# about to become it takes a signal for this script's trap and drops it. So
# it is sent again until the server is gone, for half a second; one that
# ignores it is then killed.
stop_server() {
  local tries stat
  [ -n "$server" ] || return 0
  for ((tries = 0; tries < 25; tries++)); do
    kill "$server" 2>/dev/null || return 0
    read -r stat 2>/dev/null <"/proc/$server/stat" || return 0
    stat=${stat##*) }
    [ "${stat:0:1}" != Z ] || return 0
    sleep 0.02
  done
  kill -KILL "$server" 2>/dev/null
}

quit_if_signalled() {
  if [ -n "$signalled" ]; then exit $((128 + signalled)); fi
}

# The line after "Fatal server error:", else the last message: the server's
# own reason, or that of the step that failed before it.
say_why_the_server_failed() {
  local why= i messages=("$@")
  for ((i = 0; i < ${#messages[@]}; i++)); do
    if [[ ${messages[i]} == *"Fatal server error:"* ]]; then why=${messages[i + 1]:-}; fi
  done
  if [ -z "$why" ] && ((${#messages[@]} > 0)); then why=${messages[-1]}; fi
  echo "Xvfb could not start a display for the game${why:+: $why}" >&2
}

main "$@"
