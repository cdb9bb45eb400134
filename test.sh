#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test:
#   1. the main build: unit, GL (offscreen llvmpipe) and end-to-end (Xvfb) tests;
#   2. the show over OpenGL ES 2.0 (the gl11es layer, a debug build): the
#      layer's cases against the system's GL, the end-to-end tests, and the
#      whole show's frames compared with the main build's;
#   3. the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. the threaded sound tests under ThreadSanitizer;
#   5. a short, bounded run of each fuzz target (clang, libFuzzer, ASan/UBSan);
#   6. the Debian package: built, checked, unpacked and run; as root also
#      installed with apt, started under Xvfb and removed;
#   7. the site for browsers (scripts/web.sh) in headless Chromium, against
#      the main build's capture;
#   8. the Windows zip (scripts/windows.sh) under Wine, against the main
#      build's capture and beside its show.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh test

jobs=$(nproc)
werror=OFF
[ -n "${CI:-}" ] && werror=ON
export LIBGL_ALWAYS_SOFTWARE=1

stage() { printf '\n== %s\n' "$*"; }

# Builds, in a sanitizer build folder, only the programs behind the tests of a
# label. Their names come from the main build, where the tests are built and
# ctest knows each one's program.
build_for_label() {  # build-dir label
  local targets
  mapfile -t targets < <(ctest --test-dir build -N -L "$2" --show-only=json-v1 | python3 -c '
import json, os, sys
tests = json.load(sys.stdin)["tests"]
print("\n".join(sorted({os.path.basename(t["command"][0]) for t in tests if t.get("command")})))')
  [ ${#targets[@]} -gt 0 ] || { echo "no tests labelled $2" >&2; return 1; }
  cmake --build "$1" -j"$jobs" --target "${targets[@]}"
}

stage "main build"
# Release, as packagers build it: -O3 brings warnings of its own.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DQUENDALOOP_BENCH=ON -DQUENDALOOP_WERROR=$werror >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" -LE 'fuzz')

stage "the show over OpenGL ES 2.0 (gl11es)"
# A debug build: a GL call or value outside the layer's subset stops it.
cmake -S . -B build-es2 -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON -DQUENDALOOP_GL=es2 -DQUENDALOOP_WERROR=$werror >/dev/null
# The whole tree, so that a break in it shows at once; its build leaves out
# the tests that read the system OpenGL's state. The drawing and end-to-end
# tests run again over the layer; the frame rate checks stay with the main
# build (the pacing is the same code, and a debug build of the layer is not
# fast enough to time).
cmake --build build-es2 -j"$jobs"
(cd build-es2 && ctest --output-on-failure -j"$jobs" -L '^(gl|e2e)$' -E 'xorg-pacing')
bash tests/gl11es/compare_show.sh build/tools/capture/quendaloop-capture build-es2/tools/capture/quendaloop-capture \
  build/tests/gl11es/frame_compare "$PWD"

stage "unit tests under ASan/UBSan"
cmake -S . -B build-asan -DQUENDALOOP_WERROR=$werror -DQUENDALOOP_SANITIZE=address,undefined >/dev/null
build_for_label build-asan unit
(cd build-asan && ctest --output-on-failure -j"$jobs" -L unit)

stage "threaded tests under TSan"
cmake -S . -B build-tsan -DQUENDALOOP_WERROR=$werror -DQUENDALOOP_SANITIZE=thread >/dev/null
build_for_label build-tsan threads
(cd build-tsan && ctest --output-on-failure -L threads)

stage "fuzzing (bounded)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQUENDALOOP_WERROR=$werror -DQUENDALOOP_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
(cd build-fuzz && ctest --output-on-failure -L fuzz)

stage "Debian package"
deb=$(bash scripts/package.sh | tail -n1)
bash tests/install/package_test.sh "$deb"

stage "the site in a browser"
bash scripts/web.sh
# Debian's own Python, which has Selenium (python3-selenium).
/usr/bin/python3 tests/web/web_test.py --site build-web/site --capture build/tools/capture/quendaloop-capture \
  --paint build/tools/paint/quendaloop_paint --data .

stage "the Windows build under Wine"
# SDL2 and libxmp built for Windows, and the Wine prefix, kept outside the
# clone where the machine allows, so fresh clones (CI's) reuse them.
cache_root=/var/cache/quendaloop-build
if mkdir -p "$cache_root" 2>/dev/null && [ -w "$cache_root" ]; then
  export QUENDALOOP_WIN_CACHE=${QUENDALOOP_WIN_CACHE:-$cache_root/windows-deps}
  export QUENDALOOP_WINE_PREFIX=${QUENDALOOP_WINE_PREFIX:-$cache_root/wine-prefix}
fi
QUENDALOOP_WERROR=$werror QUENDALOOP_WIN_TARGETS=quendaloop_frames bash scripts/windows.sh
/usr/bin/python3 tests/windows/windows_test.py build-win/quendaloop-win64.zip \
  build-win/show/tests/windows/quendaloop_frames.exe build/tools/capture/quendaloop-capture \
  build/tests/gl11es/frame_compare build/src/app/quendaloop
