#!/usr/bin/env bash
# Builds everything a release of the show carries and writes it to dist/:
#   quendaloop-<version>-win64.zip   the show for 64-bit Windows (scripts/windows.sh)
#   quendaloop_<version>_<arch>.deb  the Debian package (scripts/package.sh)
#   quendaloop-<version>-web.zip     the site for browsers (scripts/web.sh), one folder
#   show.mp4                         the whole show captured at 60 fps, 640 x 480
#   SHA256SUMS                       the checksums of the four, for sha256sum -c
# Each step installs what it needs. dist/ is written anew: a failed step leaves
# the previous dist/ as it was.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(quendaloop VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release.sh: no version in CMakeLists.txt" >&2; exit 1; }

step() { printf 'release.sh: %s\n' "$*" >&2; }
work=$(mktemp -d dist.part.XXXXXX)
trap 'rm -rf "$work"' EXIT

step "the Debian package"
deb=$(bash scripts/package.sh | tail -n1)
cp "$deb" "$work/"

step "the Windows zip"
bash scripts/windows.sh >&2
cp build-win/quendaloop-win64.zip "$work/quendaloop-$version-win64.zip"

step "the site"
site=$(bash scripts/web.sh | tail -n1)
# One folder in the zip, named for the release, as the Windows zip has one.
ln -s "$site" "$work/quendaloop-$version-web"
(cd "$work" && python3 -m zipfile -c "quendaloop-$version-web.zip" "quendaloop-$version-web/" && rm "quendaloop-$version-web")

step "the video (a minute of rendering)"
bash scripts/deps.sh capture
build-deb/tools/capture/quendaloop-capture --data . --output "$work/show.mp4"

(cd "$work" && sha256sum -- *.deb *.zip show.mp4 >SHA256SUMS)
rm -rf dist.old
[ -e dist ] && mv dist dist.old
mv "$work" dist
rm -rf dist.old
trap - EXIT
step "done:"
ls -l dist >&2
echo "$PWD/dist"
