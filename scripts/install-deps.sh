#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the build, the game and the
# tests need -- only those that are missing, so a second run is quick.
# Packages named on the command line are added (`make bench` adds LOVE,
# which only the benchmarks compare against).
set -euo pipefail

PACKAGES=(
  # build tools
  cmake g++ make pkg-config
  # the layer check among the unit tests, and the benchmark scripts
  python3
  # engine dependencies (SOIL writes screenshots; libpng, libjpeg-turbo and
  # stb_image decode images)
  liblua5.1-0-dev libglfw3-dev libglew-dev libsoil-dev libpng-dev libturbojpeg0-dev libstb-dev
  libfreetype-dev
  libtinyxml2-dev zlib1g-dev libglm-dev libb64-dev libx11-dev
  # platform layers
  libsdl2-dev libsndfile1-dev libkissfft-dev libfontconfig-dev
  fonts-dejavu-core fonts-liberation
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool openbox wmctrl
  libgl1-mesa-dri
  # physics benchmark only: the comparison engine, never linked into the game
  libbox2d-dev
  # fuzzing: clang's libFuzzer and sanitizer runtimes
  clang-14 libclang-rt-14-dev
  "$@"
)

# As in run-game.sh: one function, parsed whole before its traps are set,
# and no command or process substitution once they are (bash parses their
# text as it expands them, and a trap that runs meanwhile is lost).
shopt -s lastpipe
main() {
  local s p name status missing=() SUDO=""
  local -A installed=()
  # Ctrl+C, `kill` or a hangup ends the check as it comes, after the
  # command it interrupted: that command's failure is no missing package.
  for s in INT TERM HUP; do trap "trap - $s; kill -$s \$\$" "$s"; done
  # One query for all, each installed package on a line of its own (it
  # fails for one that dpkg has never seen).
  dpkg-query -W -f='${Package} ${Status}\n' "${PACKAGES[@]}" 2>/dev/null |
    while read -r name status; do
      if [ "$status" = "install ok installed" ]; then installed[$name]=1; fi
    done || true
  for p in "${PACKAGES[@]}"; do
    [ -n "${installed[$p]:-}" ] || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    exit 0
  fi

  echo "Installing: ${missing[*]}"
  if [ "$EUID" -ne 0 ]; then
    SUDO="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
  $SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
}

main
