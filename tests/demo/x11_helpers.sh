# Shell helpers for driving the show under a private Xvfb; sourced by the
# end-to-end test and the soak. Expects $work (a scratch folder) and a
# `fail` function from the script that sources it.

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for ((i = 0; i < tenths; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# The id of the top-level window titled exactly $1, from the whole tree.
window_id() {
  xwininfo -root -tree 2>/dev/null | awk -v t="\"$1\"" 'index($0, t) { print $1; exit }'
}
has_window() { [ -n "$(window_id "$1")" ]; }

# Starts Xvfb with a screen of $1 (WxH) on a free display, exports DISPLAY
# and sets xvfb_pid. Key auto-repeat is pushed out of reach: a held key must
# not repeat.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -ardelay 1000000 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
}
