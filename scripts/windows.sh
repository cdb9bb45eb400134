#!/usr/bin/env bash
# Cross-builds the show for 64-bit Windows (10 and 11) with Debian's mingw-w64
# and writes build-win/quendaloop-win64.zip: one folder Quendaloop/ with
# quendaloop.exe, the pictures, the module, a README.txt and the licence
# texts of everything linked into the exe.
#
# SDL2 and libxmp come from Debian's own source packages, the versions the
# desktop build links where those are installed, built static for
# x86_64-w64-mingw32 (Release, no debug information) and kept, one folder per
# package and version, under $QUENDALOOP_WIN_CACHE (default build-win/deps):
# a cache outside the clone lets fresh clones reuse them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh windows
. scripts/debian_source.sh

triplet=x86_64-w64-mingw32
out=$PWD/build-win
cache=${QUENDALOOP_WIN_CACHE:-$out/deps}
toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
mkdir -p "$out" "$cache"
cache=$(cd "$cache" && pwd)
# Part of the cached folders' names: raise it when the way SDL2 or libxmp
# are built changes, and the cache is built anew.
recipe=1

# Unpacks `source` at `version` into a scratch folder, runs the build function
# in it with the install prefix as argument, and moves the prefix into the
# cache, with the source's licence texts in licences/. Older versions of the
# same package in the cache are removed.
build_dependency() {  # source version build-function licence-files...
  local source=$1 version=$2 build=$3 prefix=$cache/$1-$2-r$recipe
  shift 3
  [ -f "$prefix/.complete" ] && return 0
  rm -rf "$cache/$source"-*  # older versions, or a build that was cut short
  echo "windows.sh: building $source $version for $triplet" >&2
  local work
  work=$(mktemp -d)
  debian_source_unpack "$source" "$version" "$work/src"
  rm -rf "$prefix.part"
  (cd "$work/src" && "$build" "$prefix.part")
  mkdir -p "$prefix.part/licences"
  cp "$work/src/debian/copyright" "$prefix.part/licences/$source-debian-copyright.txt"
  for f in "$@"; do cp "$work/src/$f" "$prefix.part/licences/$source-$(basename "$f" .txt).txt"; done
  rm -rf "$work"
  touch "$prefix.part/.complete"
  mv "$prefix.part" "$prefix"
}

# One static variant: building the shared one as well doubles the time. Only
# the parts the show uses: video with OpenGL, audio, events, timers, threads
# (no 2D renderer, joysticks, haptics, sensors or power state).
build_sdl2() {  # prefix
  cmake -S . -B build --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$1" \
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_RENDER=OFF -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF \
    -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF >/dev/null
  cmake --build build -j2 >/dev/null
  cmake --install build >/dev/null
}

# make is given the cross archiver, or it takes the host's.
build_libxmp() {  # prefix
  ./configure --host=$triplet --enable-static --disable-shared --prefix="$1" CFLAGS=-O2 >/dev/null
  make -j2 static AR=$triplet-ar RANLIB=$triplet-ranlib >/dev/null
  make install AR=$triplet-ar RANLIB=$triplet-ranlib >/dev/null
}

sdl2_version=$(debian_source_version libsdl2-2.0-0)
xmp_version=$(debian_source_version libxmp4)
build_dependency libsdl2 "$sdl2_version" build_sdl2 LICENSE.txt
build_dependency libxmp "$xmp_version" build_libxmp

# The icon, painted as the Debian package's icons are, by the picture
# generator built for this machine.
host=$out/host
mkdir -p "$host"
# shellcheck disable=SC2046
g++ -std=c++20 -O2 -Itools/common $(pkg-config --cflags stb) -o "$host/quendaloop_paint" \
  tools/paint/*.cpp tools/common/*.cpp $(pkg-config --libs stb)
"$host/quendaloop_paint" --ico "$host/quendaloop.ico"

build=$out/show
cmake -S . -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DQUENDALOOP_WIN_SDL2="$cache/libsdl2-$sdl2_version-r$recipe" -DQUENDALOOP_WIN_XMP="$cache/libxmp-$xmp_version-r$recipe" \
  -DQUENDALOOP_WIN_ICON="$host/quendaloop.ico" ${QUENDALOOP_WERROR:+-DQUENDALOOP_WERROR=$QUENDALOOP_WERROR} >/dev/null
cmake --build "$build" -j2 --target quendaloop ${QUENDALOOP_WIN_TARGETS:-}

# The archive: one folder, the program, its data, what it is and the licences.
stage=$out/zip
dir=$stage/Quendaloop
rm -rf "$stage"
mkdir -p "$dir/Data"
cp "$build/src/app/quendaloop.exe" "$dir/"
cp Data/*.bmp "$dir/Data/"
cp pelvorgrind.xm "$dir/"
version=$(sed -n 's/^project(quendaloop VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
sed "s/@VERSION@/$version/" tools/install/windows/README.txt >"$dir/README.txt"
cp tools/install/copyright "$dir/LICENCE-quendaloop.txt"
for f in "$cache/libsdl2-$sdl2_version-r$recipe/licences/"* "$cache/libxmp-$xmp_version-r$recipe/licences/"*; do
  cp "$f" "$dir/LICENCE-$(basename "$f")"
done
# The MinGW-w64 runtime linked into the program: GCC's libgcc and libstdc++
# (GPL with the runtime library exception) and the C runtime and winpthreads.
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$dir/LICENCE-mingw-w64-gcc-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$dir/LICENCE-mingw-w64-crt-winpthreads.txt"
# Windows' own line ends for the texts.
for f in "$dir"/*.txt; do sed -i 's/\r*$/\r/' "$f"; done
rm -f "$out/quendaloop-win64.zip"
(cd "$stage" && zip -qr -X "$out/quendaloop-win64.zip" Quendaloop)
echo "$out/quendaloop-win64.zip"
