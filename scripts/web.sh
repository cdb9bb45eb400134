#!/usr/bin/env bash
# Builds the show for web browsers as a static site in build-web/site/:
# index.html, quendaloop.js and .wasm, and quendaloop.data with the pictures
# and the module. Serve the folder with any static server, e.g.
#   python3 -m http.server -d build-web/site
#
# libxmp comes from Debian's own source package, the same version as the
# desktop's where that is installed, built for wasm once and kept in
# build-web/libxmp/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh web
. scripts/debian_source.sh

export NODE_PATH=/usr/share/nodejs  # Debian's emscripten finds its node modules there
out=$PWD/build-web
xmp=$out/libxmp

build_libxmp() {
  local work
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  debian_source_unpack libxmp "$(debian_source_version libxmp4)" "$work/libxmp"
  echo "web.sh: building libxmp for wasm" >&2
  (cd "$work/libxmp" &&
     emconfigure ./configure --host=wasm32-unknown-emscripten --disable-shared --enable-static \
       --prefix="$xmp.part" CFLAGS=-O2 >/dev/null &&
     emmake make -j2 static >/dev/null &&
     emmake make install >/dev/null)
  rm -rf "$xmp" && mv "$xmp.part" "$xmp"
}

[ -f "$xmp/lib/libxmp.a" ] || build_libxmp

emcmake cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DQUENDALOOP_WEB_XMP="$xmp" >/dev/null
cmake --build "$out" -j2
echo "$out/site"
