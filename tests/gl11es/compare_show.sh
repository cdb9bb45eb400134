#!/usr/bin/env bash
# The whole show captured by the system-GL build and by the gl11es build,
# compared frame by frame: every frame within 35 dB PSNR after a 3x3 box blur.
#
#   compare_show.sh GL_CAPTURE ES2_CAPTURE FRAME_COMPARE DATA_DIR
#
# At 10 frames a second the capture holds the first frames, every scene
# change, frames deep inside every scene and the grid in each of its three
# moods; the first half second again at 60 frames a second, as the show runs.
set -euo pipefail
gl_capture=$1
es2_capture=$2
frame_compare=$3
data_dir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1

status=0
for run in "10 60" "60 0.5"; do
  read -r fps to <<<"$run"
  for backend in gl es2; do
    capture=$gl_capture
    [ "$backend" = es2 ] && capture=$es2_capture
    "$capture" --data "$data_dir" --fps "$fps" --to "$to" --progress none \
      --png-dir "$work/$backend-$fps" --frame-log "$work/$backend-$fps.log"
  done
  echo "== $fps frames a second, to ${to} s"
  "$frame_compare" "$work/gl-$fps" "$work/es2-$fps" "$work/gl-$fps.log" 35 >"$work/compare-$fps.txt" || status=1
  # The frames under 40 dB and the summary; the whole table on failure.
  if [ $status -ne 0 ]; then cat "$work/compare-$fps.txt"; else awk '$3 < 40 || !/^frame-/' "$work/compare-$fps.txt"; fi
done
exit $status
