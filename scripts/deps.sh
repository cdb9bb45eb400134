#!/usr/bin/env bash
# Installs the Debian packages that a task needs, and only what is missing;
# through sudo when not root.
#   deps.sh [watch|capture|package|web|windows|test]...     (default: watch)
#     watch    build the show and the capture program, and play the show
#     capture  render the show to an MP4 (the ffmpeg program)
#     package  build the Debian package: watch plus the packaging tools
#     web      build the show for browsers (scripts/web.sh): emscripten, and
#              dpkg-dev to unpack libxmp's Debian source
#     windows  cross-build the show for 64-bit Windows (scripts/windows.sh): the
#              mingw-w64 C and C++ compilers with posix threads, dpkg-dev to
#              unpack SDL2's and libxmp's Debian sources, zip for the archive,
#              and what paints the program's icon
#     test     everything above, and the tools the tests use (Wine for the
#              Windows build)
set -euo pipefail

# libgles-dev: the OpenGL ES 2.0 headers of the offscreen context the gl11es layer draws in.
build=(cmake g++ pkg-config make libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev libgles-dev libxmp-dev libstb-dev
       libpng-dev libx11-dev libxrandr-dev)
run=(libgl1-mesa-dri libegl-mesa0 x11-utils)  # x11-utils: xdpyinfo, to tell whether a display answers
capture=(ffmpeg)
package=(dpkg-dev file scdoc)  # dpkg-shlibdeps and file for CPack's dependency list; scdoc for the manuals
web=(emscripten binaryen nodejs dpkg-dev)
# g++, pkg-config and libstb-dev paint the program's icon on this machine.
windows=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
         cmake make dpkg-dev zip g++ pkg-config libstb-dev)
# Unit tests, display, input, screenshots, sound measurement, sanitizers and
# fuzzing, real display-mode switches (Xorg with the dummy video driver, read
# back with xrandr), and the package's checks (debootstrap: a minimal Debian to
# install it in).
test=(libgtest-dev python3 xvfb xauth xfonts-base xdotool imagemagick sox clang libclang-rt-14-dev
      xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
      lintian desktop-file-utils appstream strace libpulse-dev debootstrap
      chromium chromium-driver python3-selenium python3-numpy python3-pil  # the site in a headless browser
      wine wine64 libwine)  # the Windows build

packages=()
[ $# -gt 0 ] || set -- watch
for task in "$@"; do
  case $task in
    watch) packages+=("${build[@]}" "${run[@]}") ;;
    capture) packages+=("${capture[@]}") ;;
    package) packages+=("${build[@]}" "${run[@]}" "${package[@]}") ;;
    web) packages+=("${web[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    test) packages+=("${build[@]}" "${run[@]}" "${capture[@]}" "${package[@]}" "${web[@]}" "${windows[@]}" "${test[@]}") ;;
    *) echo "deps.sh: unknown task $task (watch, capture, package, web, windows or test)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
