#!/usr/bin/env bash
# Installs the Debian packages that building, running, testing and capturing need.
# Only what is missing is installed; through sudo when not root.
set -euo pipefail

packages=(
  # build
  cmake g++ pkg-config make libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev libxmp-dev
  libx11-dev libxrandr-dev
  libgtest-dev libstb-dev libpng-dev
  # run
  libgl1-mesa-dri libegl-mesa0
  # tests: display, input, screenshots, sound measurement, sanitizers and fuzzing
  python3 xvfb xauth xfonts-base xdotool x11-utils imagemagick sox clang libclang-rt-14-dev
  # real display-mode switches: Xorg with the dummy video driver, read back with xrandr
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  # capture
  ffmpeg
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
