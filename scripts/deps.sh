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

# Another apt or dpkg run (unattended upgrades right after boot, say) may
# hold their locks for minutes. apt-get waits for dpkg's locks by itself
# (DPkg::Lock::Timeout), but fails at once on the package lists' lock
# (`apt-get update`) and on the downloads' one; so each lock is waited for
# here first, saying so, and apt's own wait covers one taken just after.
lock_wait=600  # seconds: for all the waits here together, and for apt's own
lists_lock=/var/lib/apt/lists/lock
install_locks=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/cache/apt/archives/lock)

# Whether another process holds `file`'s lock. apt and dpkg lock with
# fcntl, which flock(1) does not see; /proc/locks lists such locks by
# device and inode, and reading it needs no privileges.
lock_held() {
  local id
  id=$(stat -c '%Hd %Ld %i' "$1" 2>/dev/null) || return 1
  # shellcheck disable=SC2086  # three numbers
  grep -q " $(printf '%02x:%02x:%s' $id) " /proc/locks
}

# Waits until none of the files' locks is held, up to what is left of
# lock_wait; false when one still is.
wait_for_locks() {
  local file said=
  for file in "$@"; do
    while lock_held "$file"; do
      if [ -z "$said" ]; then
        echo "deps.sh: waiting for another package manager to release $file (at most $((lock_wait / 60)) minutes)" >&2
        said=1
      fi
      [ "$SECONDS" -lt "$lock_wait" ] || { echo "deps.sh: $file is still locked; giving up" >&2; return 1; }
      sleep 1
    done
  done
  [ -z "$said" ] || echo "deps.sh: the lock is free; going on" >&2
}

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
SECONDS=0
wait_for_locks "$lists_lock"
until "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=$lock_wait update -q; do
  # Failed: go on waiting only when the lists' lock was taken again meanwhile.
  lock_held "$lists_lock" || exit 100
  wait_for_locks "$lists_lock" || exit 100
done
wait_for_locks "${install_locks[@]}" || true  # apt-get says why it cannot go on
"${sudo[@]}" apt-get -o DPkg::Lock::Timeout=$lock_wait install -y -q --no-install-recommends "${missing[@]}"
