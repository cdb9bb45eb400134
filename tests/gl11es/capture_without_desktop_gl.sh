#!/usr/bin/env bash
# The es2 capture with the desktop GL libraries made unloadable
# (without_desktop_gl.sh) writes the same frames as it does with them there:
# its context comes from EGL alone.
#
#   capture_without_desktop_gl.sh ES2_CAPTURE FRAME_COMPARE DATA_DIR
set -euo pipefail
capture=$1
frame_compare=$2
data_dir=$3
here=$(dirname "$0")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1
options=(--data "$data_dir" --fps 2 --from 11 --to 12 --progress none)
"$capture" "${options[@]}" --png-dir "$work/plain"
status=0
bash "$here/without_desktop_gl.sh" "$capture" "${options[@]}" --png-dir "$work/hidden" || status=$?
[ $status -eq 77 ] && exit 77
[ $status -eq 0 ] || { echo "FAIL: the capture ended with status $status without desktop GL" >&2; exit 1; }
"$frame_compare" "$work/plain" "$work/hidden" - 60
