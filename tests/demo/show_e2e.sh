#!/usr/bin/env bash
# The show end to end under its own Xvfb: the start-up question answered No
# (a framed window), the null sound output, a screenshot of the window in the
# first seconds showing the logo scene (colour means near those of the logo's
# golden frame), then Escape ending the show with status 0.
#
#   show_e2e.sh PROGRAM DATA_DIR
set -u
program=$1
data_dir=$2
work=$(mktemp -d)
xvfb_pid=
show_pid=

cleanup() {
  [ -n "$show_pid" ] && kill "$show_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$show_pid" ] && wait "$show_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  [ -n "${KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

. "$(dirname "$0")/x11_helpers.sh"
start_xvfb 1024x768

cd "$data_dir" || fail "no data directory $data_dir"
QUENDALOOP_SOUND=null "$program" >"$work/show.out" 2>"$work/show.err" &
show_pid=$!

wait_for 150 has_window "Fullscreen poff!" || fail "no start-up question"
xdotool key --window "$(window_id "Fullscreen poff!")" Escape  # Escape answers No

wait_for 200 has_window "Quendaloop Brakkelgrusk" || fail "no show window: $(cat "$work/show.err")"
win=$(window_id "Quendaloop Brakkelgrusk")
geometry=$(xwininfo -id "$win" | awk '/Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
  /Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h "+" x "+" y }')
case "$geometry" in 640x480+*) ;; *) fail "window geometry $geometry, not 640x480" ;; esac

# The first frames may not be on screen yet: take shots until one is not black.
# The window is cut from the whole screen (grabbing a GL window by itself
# gives black under Xvfb).
means() {
  import -silent -window root -crop "$geometry" "$work/shot.png" 2>/dev/null &&
    convert "$work/shot.png" -format '%[fx:int(255*mean.r)] %[fx:int(255*mean.g)] %[fx:int(255*mean.b)]\n' info:
}
lit_shot() {
  read -r red green blue < <(means) || return 1
  [ "${red:-0}" -gt 5 ]
}
wait_for 100 lit_shot || fail "the window stays black"
read -r red green blue < <(means)
echo "screenshot colour means: $red $green $blue (logo golden: 62 32 60)"
# The logo picture: warm purple, red and blue far above green. The credits
# (34 22 45) and the torus (30 16 35) scenes are much darker. The cubes in
# front of the logo move with the frame counter, so the shot is matched to the
# nearest of the three rather than to the golden's exact means.
distance() { echo $(( (red - $1) ** 2 + (green - $2) ** 2 + (blue - $3) ** 2 )); }
logo=$(distance 62 32 60)
[ "$logo" -lt "$(distance 34 22 45)" ] && [ "$logo" -lt "$(distance 30 16 35)" ] && [ "$logo" -lt 900 ] ||
  fail "the screenshot does not show the logo scene"
kill -0 "$show_pid" 2>/dev/null || fail "the show ended early"

# The show reads its keys between messages: a press and release sent together
# can pass unseen, so Escape is held down until the show has ended.
xdotool keydown Escape 2>/dev/null  # to the focused show window
wait_for 100 bash -c "! kill -0 $show_pid 2>/dev/null" || fail "Escape did not end the show"
wait "$show_pid"
status=$?
show_pid=
[ "$status" -eq 0 ] || fail "exit status $status after Escape: $(cat "$work/show.err")"
echo "PASS"
