#!/usr/bin/env bash
# Soak of the show under its own Xvfb (640 x 480 screen, so the fullscreen
# mode is granted and F1 raises no question): plays with the null sound
# output for a while, then toggles fullscreen with F1 a number of times, and
# prints the resident memory along the way.
#
#   soak.sh PROGRAM DATA_DIR [SECONDS [TOGGLES]]     (defaults 600 and 50)
set -u
program=$1
data_dir=$2
seconds=${3:-600}
toggles=${4:-50}
work=$(mktemp -d)
xvfb_pid=
show_pid=
cleanup() {
  [ -n "$show_pid" ] && kill "$show_pid" 2>/dev/null && wait "$show_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "soak: $*" >&2
  [ -n "$show_pid" ] && ps -o pid,stat,etime,cmd -p "$show_pid" >&2
  exit 1
}
. "$(dirname "$0")/../../tests/demo/x11_helpers.sh"
# Keys reach only the window with the keyboard focus.
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(($1))" ]; }
# Holds key $1 down until the command after $2 succeeds (up to $2 tenths of a
# second), and
# presses it again if it does not: the show reads its keys between messages,
# so a press and release sent together can pass unseen, and a press that
# comes while a new window is still taking the focus can be lost.
press_until() {
  local key=$1 tenths=$2
  shift 2
  for ((attempt = 0; attempt < 5; attempt++)); do
    xdotool keydown "$key" 2>/dev/null
    wait_for "$tenths" "$@" && { xdotool keyup "$key" 2>/dev/null; return 0; }
    xdotool keyup "$key" 2>/dev/null
  done
  return 1
}
ended() { ! kill -0 "$show_pid" 2>/dev/null; }
rss() { awk '/VmRSS/ { print $2 " kB" }' "/proc/$show_pid/status"; }
alive() { kill -0 "$show_pid" 2>/dev/null || fail "the show ended (status $(wait "$show_pid"; echo $?))"; }

# Key auto-repeat is pushed out of reach: held keys must not repeat.
start_xvfb 640x480
cd "$data_dir" || fail "no data directory $data_dir"
QUENDALOOP_SOUND=null "$program" >/dev/null 2>"$work/show.err" &
show_pid=$!
wait_for 150 has_window "Fullscreen poff!" || fail "no start-up question"
xdotool key --window "$(window_id "Fullscreen poff!")" Escape
wait_for 200 has_window "Quendaloop Brakkelgrusk" || fail "no show window"

start=$(date +%s)
echo "resident memory at start: $(rss)"
while [ $(($(date +%s) - start)) -lt "$seconds" ]; do
  left=$((seconds - ($(date +%s) - start)))
  sleep $((left < 60 ? left : 60))
  alive
  echo "after $(($(date +%s) - start)) s: $(rss)"
done
echo "resident memory after ${seconds} s: $(rss)"

current=$(window_id "Quendaloop Brakkelgrusk")
for ((n = 1; n <= toggles; n++)); do
  wait_for 100 focused "$current" || fail "toggle $n: the window has no focus"
  new_window() {
    local id
    id=$(window_id "Quendaloop Brakkelgrusk!")
    [ -n "$id" ] && [ "$id" != "$current" ]
  }
  press_until F1 100 new_window || fail "toggle $n: no new window"
  current=$(window_id "Quendaloop Brakkelgrusk!")
  alive
  [ $((n % 10)) -eq 0 ] && echo "after $n toggles: $(rss)"
done
echo "resident memory after $toggles toggles: $(rss)"
wait_for 100 focused "$current" || fail "the last window has no focus"
press_until Escape 30 ended || fail "Escape did not end the show"
wait "$show_pid"
echo "exit status $?"
show_pid=
