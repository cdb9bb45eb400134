#!/usr/bin/env bash
# Sets up what watching needs, builds the show and the capture program, and
# plays the show from the repository root. With no display reachable it
# captures the show to show.mp4 instead (and only then installs ffmpeg).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh watch

cmake -S . -B build -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quendaloop quendaloop_capture

display_reachable() {
  if [ -n "${WAYLAND_DISPLAY:-}" ] && [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$WAYLAND_DISPLAY" ]; then
    return 0
  fi
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

if display_reachable; then
  exec build/src/app/quendaloop "$@"
fi

echo "No display found: capturing the show to show.mp4 instead." >&2
bash scripts/deps.sh capture
build/tools/capture/quendaloop-capture --output show.mp4 "$@"
echo "The show is in $(pwd)/show.mp4" >&2
