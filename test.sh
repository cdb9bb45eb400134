#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test:
#   1. the main build: unit, GL (offscreen llvmpipe) and end-to-end (Xvfb) tests;
#   2. the unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the threaded sound tests under ThreadSanitizer;
#   4. a short, bounded run of each fuzz target (clang, libFuzzer, ASan/UBSan).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh

jobs=$(nproc)
werror=OFF
[ -n "${CI:-}" ] && werror=ON
export LIBGL_ALWAYS_SOFTWARE=1

stage() { printf '\n== %s\n' "$*"; }

stage "main build"
cmake -S . -B build -DQUENDALOOP_WERROR=$werror >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" -LE 'fuzz')

stage "unit tests under ASan/UBSan"
cmake -S . -B build-asan -DQUENDALOOP_WERROR=$werror -DQUENDALOOP_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ctest --output-on-failure -j"$jobs" -L unit)

stage "threaded tests under TSan"
cmake -S . -B build-tsan -DQUENDALOOP_WERROR=$werror -DQUENDALOOP_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$jobs"
(cd build-tsan && ctest --output-on-failure -L threads)

stage "fuzzing (bounded)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQUENDALOOP_WERROR=$werror -DQUENDALOOP_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs"
(cd build-fuzz && ctest --output-on-failure -L fuzz)
