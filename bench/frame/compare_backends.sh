#!/usr/bin/env bash
# Frames per second of each scene for the system-GL build and the gl11es
# (es2) build side by side, unpaced, on llvmpipe, with the calls per frame.
# The two programs take turns scene by scene, ROUNDS times, and each keeps
# its best time, so that load from elsewhere on the machine weighs on both.
# The ratio is of CPU time per frame (all threads, llvmpipe's included),
# which other work on a busy machine moves less than the wall clock.
#
#   compare_backends.sh GL_FRAME_BENCH ES2_FRAME_BENCH [FRAMES [ROUNDS]]
#
# e.g. bench/frame/compare_backends.sh build/bench/frame/quendaloop-frame-bench \
#        build-es2-release/bench/frame/quendaloop-frame-bench
set -euo pipefail
gl_bench=$1
es2_bench=$2
frames=${3:-100}
rounds=${4:-3}
export LIBGL_ALWAYS_SOFTWARE=1
read -r -a scenes <<<"${SCENES:-0 1 6 2 3 4 5 7}"  # SCENES="2 3" measures only those
declare -A best cpu what calls driver
for ((round = 0; round < rounds; ++round)); do
  for scene in "${scenes[@]}"; do
    for backend in gl es2; do
      bench=$gl_bench
      [ $backend = es2 ] && bench=$es2_bench
      # The scene's line: scene, what (several words), frames/s, ms/frame, cpu ms/frame, calls, driver calls.
      line=$("$bench" "$frames" 640 480 "$scene" | awk -v s="$scene" '$1 == s')
      read -r -a f <<<"$line"
      n=${#f[@]}
      ms=${f[n - 4]}
      cpu_ms=${f[n - 3]}
      key=$backend/$scene
      if [ -z "${best[$key]:-}" ] || awk -v a="$ms" -v b="${best[$key]}" 'BEGIN { exit !(a < b) }'; then
        best[$key]=$ms
      fi
      if [ -z "${cpu[$key]:-}" ] || awk -v a="$cpu_ms" -v b="${cpu[$key]}" 'BEGIN { exit !(a < b) }'; then
        cpu[$key]=$cpu_ms
      fi
      what[$scene]=${f[*]:1:n-6}
      [ $backend = es2 ] && calls[$scene]=${f[n - 2]} && driver[$scene]=${f[n - 1]}
    done
  done
done
echo "640 x 480, $frames frames per scene, best of $rounds rounds, glFinish after each frame"
printf '%-5s %-26s %8s %8s %10s %10s %7s %11s %11s\n' scene "" "gl fps" "es2 fps" "gl cpu ms" "es2 cpu ms" \
  "es2/gl" "GL calls/f" "ES calls/f"
for scene in "${scenes[@]}"; do
  awk -v s="$scene" -v w="${what[$scene]}" -v g="${best[gl/$scene]}" -v e="${best[es2/$scene]}" \
    -v gc="${cpu[gl/$scene]}" -v ec="${cpu[es2/$scene]}" -v c="${calls[$scene]}" -v d="${driver[$scene]}" \
    'BEGIN { printf "%-5s %-26s %8.1f %8.1f %10.3f %10.3f %7.2f %11s %11s\n", s, w, 1000 / g, 1000 / e, gc, ec, ec / gc, c, d }'
done
echo "GL calls/f: the show's GL 1.1 calls per frame, each of which reaches the driver in the gl build;"
echo "ES calls/f: the calls per frame that reach the driver in the es2 build."
