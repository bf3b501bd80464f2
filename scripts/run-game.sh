#!/usr/bin/env bash
# Starts the game (the executable named first) in the working directory;
# without a display, on an Xvfb of its own. That X server runs in a session
# of its own: Ctrl+C in the terminal reaches the game, which ends its level
# and exits 0, but not the server, which would close at once and end the
# game with it, its end-of-level script not run.
set -u
game="$1"
if [ -n "${DISPLAY:-}" ]; then exec "$game"; fi
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; wait' EXIT
# The first free display from :99 on; another server may take one first.
for n in $(seq 99 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  setsid Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$server" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    DISPLAY=":$n" "$game"
    exit
  fi
  server=
done
echo "No display could be started for the game" >&2
exit 1
