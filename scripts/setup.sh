#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Safe to run again: apt-get skips what is already there. Needs root (or sudo).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libglew-dev libgl-dev libx11-dev libgl1-mesa-dri libglx-mesa0
  xvfb xauth
  libgtest-dev libbenchmark-dev libstb-dev
  ffmpeg glslang-tools
  clang libclang-rt-14-dev valgrind
)

if [ "${VEX_WITH_WINDOWS:-1}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64 wine64 dpkg-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
