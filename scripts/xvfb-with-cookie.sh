#!/usr/bin/env bash
# Becomes the game's X server (Xvfb, with the arguments given), which only
# clients with its cookie may use: run by run-game.sh in a session of its
# own, with standard output the start script's display pipe.
#
# The cookie's file is made new (noclobber: it cannot be a file or link
# that was there) and opened once, as descriptor 4; everything after goes
# through that descriptor, which is checked to be a regular file of this
# user's, mode 600, with one link, holding what was written: a TMPDIR that
# others can rename files in (a folder of theirs, one without the sticky
# bit) cannot give the server an empty file of theirs, which lets every
# client in, nor take the cookie. Then the name is unlinked: the server
# reads the file as /dev/fd/4, the game and what it starts as
# /proc/<server>/fd/4, so it is gone with the server, however that ends. Out
# of the job's process group no terminal signal reaches this script while
# the file exists; the start script's end sends TERM (its parent-death
# signal, or its stop), which is taken once the file is gone.
#
set -u
shopt -s lastpipe
readonly MAGIC=4d49542d4d414749432d434f4f4b49452d31
main() {
  local file= cookie= entry= escaped= written= owner= mode= links= kind= i
  # Only the server's last 4 KiB of messages: one that fails at length
  # (a read-only /tmp has it write 12 MB) is told within a moment.
  exec 2> >(exec tail -c 4096)
  # No command or process substitution once the trap is set (see
  # run-game.sh): names and bytes come through pipes.
  ended=
  trap 'ended=1' TERM
  umask 077
  mktemp -u -t tazzle-cookie.XXXXXXXXXX | read -r file
  od -An -v -N16 -tx1 /dev/urandom | tr -d ' \n' | read -r cookie
  if [ -z "$file" ] || [ ${#cookie} -ne 32 ]; then exit 1; fi
  # One entry, in hex: the wildcard family, no address and no display
  # number (the number is known only once the server is up, and Xlib takes
  # such an entry for any display), the name MIT-MAGIC-COOKIE-1 and the 16
  # bytes. printf is bash's own, so the cookie is on no command line.
  entry=ffff000000000012${MAGIC}0010$cookie
  for ((i = 0; i < ${#entry}; i += 2)); do escaped+="\\x${entry:i:2}"; done
  if ! open_new "$file"; then
    # mktemp names the cause (a read-only or missing folder) in its own
    # words; else the name was taken meanwhile.
    mktemp -t tazzle-cookie.XXXXXXXXXX | read -r file || exit 1
    rm -f "$file"
    echo "The X server's cookie could not be made: another file took its name" >&2
    exit 1
  fi
  if ! printf "$escaped" >&4; then
    forget "$file"
    echo "The X server's cookie could not be written to $file" >&2
    exit 1
  fi
  stat -L -c '%u %a %h %F' /dev/fd/4 | read -r owner mode links kind
  od -An -v -tx1 /dev/fd/4 | tr -d ' \n' | read -r written
  if [ "$owner $mode $links $kind" != "$EUID 600 1 regular file" ] || [ "$written" != "$entry" ]; then
    forget "$file"
    echo "The X server's cookie was not kept to this user in ${file%/*} (its file was replaced or" \
      "changed meanwhile): set TMPDIR to a folder only you can change" >&2
    exit 1
  fi
  forget "$file"
  # From here TERM ends the script: a server started after it would miss
  # its parent-death signal.
  trap - TERM
  if [ -n "$ended" ]; then exit 143; fi
  exec Xvfb -auth /dev/fd/4 "$@"
}

# Opens a file of that name as descriptor 4, made new (a name that was
# there, also a link, fails).
open_new() {
  set -C
  { exec 4>"$1"; } 2>/dev/null
  local opened=$?
  set +C
  return $opened
}

# Unlinks the cookie's name, if it is still this script's file: one put in
# its place is someone else's.
forget() {
  if [ /dev/fd/4 -ef "$1" ]; then rm -f "$1"; fi
}

main "$@"
