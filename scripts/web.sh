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

export NODE_PATH=/usr/share/nodejs  # Debian's emscripten finds its node modules there
out=$PWD/build-web
xmp=$out/libxmp

build_libxmp() {
  local work
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  chmod 755 "$work"  # apt downloads as its own user
  # The system's Debian sources as deb-src lines in an apt configuration of
  # our own: the system's own configuration and package lists stay as they are.
  mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$work/apt/parts/$(basename "$f")"
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$work/apt/sources.list"
  else
    : >"$work/apt/sources.list"
  fi
  local apt=(-q -o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts="$work/apt/parts"
             -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
  apt-get "${apt[@]}" update >/dev/null
  local wanted=libxmp version
  version=$(dpkg-query -W -f='${source:Version}' libxmp4 2>/dev/null || true)
  [ -n "$version" ] && wanted="libxmp=$version"
  (cd "$work/src" && apt-get "${apt[@]}" source --download-only "$wanted" >/dev/null 2>&1 \
     || apt-get "${apt[@]}" source --download-only libxmp >/dev/null)
  # apt has checked the files against the archive's signed index; dpkg-source
  # may add that it cannot check the uploader's own signature.
  (cd "$work/src" && dpkg-source -x ./*.dsc libxmp >/dev/null)
  echo "web.sh: building $(cd "$work/src" && ls ./*.dsc) for wasm" >&2
  (cd "$work/src/libxmp" &&
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
