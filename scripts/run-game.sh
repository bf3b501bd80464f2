#!/usr/bin/env bash
# Starts the game (the executable named first) in the working directory;
# without a display, on an Xvfb of its own. That X server runs in a session
# of its own: Ctrl+C in the terminal reaches the game, which ends its level
# and exits 0, but not the server, which would close at once and end the
# game with it, its end-of-level script not run.
set -u
game="$1"
if [ -n "${DISPLAY:-}" ]; then exec "$game"; fi
# Xvfb takes a free display and writes its number once it accepts clients.
exec 3< <(exec setsid Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp 2>/dev/null)
server=$!
trap 'kill "$server" 2>/dev/null' EXIT
read -r display <&3 || { echo "No display could be started for the game" >&2; exit 1; }
DISPLAY=":$display" "$game"
