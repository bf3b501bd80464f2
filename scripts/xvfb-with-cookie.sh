#!/usr/bin/env bash
# Becomes the game's X server (Xvfb, with the arguments given), which only
# clients with its cookie may use: run by run-game.sh in a session of its
# own, with standard output the start script's display pipe.
#
# The cookie is written to a new file only this user can read, which is
# opened as descriptor 4 and unlinked at once: the server reads it as
# /dev/fd/4, the game and what it starts as /proc/<server>/fd/4, so it is
# gone with the server, however that ends. Out of the job's process group
# no terminal signal reaches this script while the file exists; the start
# script's end sends TERM (its parent-death signal, or its stop), which is
# taken once the file is gone.
#
# One entry of the wildcard family with no display number: the number is
# known only once the server is up (-displayfd), the server takes every
# entry of its file whatever it names, and Xlib takes such an entry for
# any display.
set -u
shopt -s lastpipe
main() {
  local file=
  # Only the server's last 4 KiB of messages: one that fails at length
  # (a read-only /tmp has it write 12 MB) is told within a moment.
  exec 2> >(exec tail -c 4096)
  # No command or process substitution once the trap is set (see
  # run-game.sh): the file's name comes through a pipe.
  ended=
  trap 'ended=1' TERM
  umask 077
  mktemp -t tazzle-cookie.XXXXXXXXXX | read -r file
  [ -n "$file" ] || exit 1
  if ! { printf '\377\377\000\000\000\000\000\022MIT-MAGIC-COOKIE-1\000\020' &&
    head -c 16 /dev/urandom; } >"$file" || ! exec 4<"$file"; then
    rm -f "$file"
    echo "The X server's cookie could not be written to $file" >&2
    exit 1
  fi
  rm -f "$file"
  # From here TERM ends the script: a server started after it would miss
  # its parent-death signal.
  trap - TERM
  if [ -n "$ended" ]; then exit 143; fi
  exec Xvfb -auth /dev/fd/4 "$@"
}
main "$@"
