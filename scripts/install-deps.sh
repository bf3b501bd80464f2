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
  libtinyxml2-dev zlib1g-dev libglm-dev libb64-dev
  # platform layers
  libsdl2-dev libsndfile1-dev libkissfft-dev libfontconfig-dev
  fonts-dejavu-core fonts-liberation
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool openbox wmctrl
  libgl1-mesa-dri libx11-dev
  # physics benchmark only: the comparison engine, never linked into the game
  libbox2d-dev
  # fuzzing: clang's libFuzzer and sanitizer runtimes
  clang-14 libclang-rt-14-dev
  "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
