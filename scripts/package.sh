#!/usr/bin/env bash
# Builds the Debian package build-deb/quendaloop_<version>_<arch>.deb, with
# Debian's compiler flags for packages (hardening included), and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh package

# The manual pages carry the date of the newest changelog entry.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l tools/install/changelog -S Timestamp)
export SOURCE_DATE_EPOCH
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS: the preprocessor flags go with the compiler's.
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=None -DBUILD_TESTING=OFF \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build build-deb -j"$(nproc)" >&2
rm -f build-deb/quendaloop_*.deb
(cd build-deb && cpack >/dev/null)
ls "$(pwd)"/build-deb/quendaloop_*.deb
