#!/usr/bin/env bash
# Checks the Debian package built by scripts/package.sh:
#   - lintian (errors and warnings fail), the menu entry and the metainfo
#     validators, the control fields, icons and manual pages;
#   - unpacked into a scratch root, its capture program renders a short range
#     with no display, reading only the data in that root;
#   - as root: a real install with apt, without the recommended packages, into
#     a minimal Debian 12 (debootstrap's minbase) of its own; there the
#     capture renders a short range, the show runs under Xvfb (the question
#     answered and Escape pressed: status 0), and a removal leaves nothing of
#     the package behind.
#   package_test.sh DEB
# The minimal system is built once and kept in QUENDALOOP_TEST_CACHE
# (/var/cache/quendaloop-test), with the packages apt fetches into it; it is
# built anew once it is a week old. The Debian mirror is QUENDALOOP_DEBIAN_MIRROR
# (http://deb.debian.org/debian).
set -euo pipefail
# As root, the whole test runs in a mount namespace of its own, so the mounts
# of the minimal system end with it, however it ends.
if [ "$(id -u)" -eq 0 ] && [ -z "${QUENDALOOP_PACKAGE_TEST_MOUNTS:-}" ]; then
  QUENDALOOP_PACKAGE_TEST_MOUNTS=private exec unshare --mount --propagation private -- "$BASH" "$0" "$@"
fi
deb=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
source_tree=$(cd "$here/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quendaloop-package-XXXXXX")
minimal=$work/minimal
cleanup() {
  # The minimal system is a tmpfs with the host's /dev and /tmp bound in: it
  # is unmounted, never deleted file by file.
  if mountpoint -q "$minimal"; then umount -R "$minimal" 2>/dev/null || umount -R -l "$minimal"; fi
  if mountpoint -q "$minimal"; then
    echo "package test: $minimal is still mounted; $work is left in place" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; exit 1; }
export LIBGL_ALWAYS_SOFTWARE=1

# The package as a whole.
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 ||
  { cat "$work/lintian.txt" >&2; fail "lintian reports errors or warnings (above)"; }
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Section)" = games ] || fail "section $(field Section), not games"
[[ "$(field Depends)" == *libsdl2-2.0-0* && "$(field Depends)" == *libxmp4* ]] ||
  fail "the dependencies miss the libraries the programs link: $(field Depends)"
[[ "$(field Recommends)" == *ffmpeg* ]] || fail "ffmpeg is not recommended: $(field Recommends)"

root=$work/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
desktop-file-validate "$share/applications/quendaloop.desktop" || fail "the menu entry does not validate"
appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml >"$work/appstream.txt" ||
  { cat "$work/appstream.txt"; fail "the metainfo does not validate"; }
for size in 16 32 48 64 128 256; do
  icon=$share/icons/hicolor/${size}x${size}/apps/quendaloop.png
  file -b "$icon" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" ||
    fail "icon ${size}x$size: $(file -b "$icon" 2>&1)"
done

# Manual pages: they render without complaint, and the capture's names every
# option its --help lists.
for page in man6/quendaloop.6.gz man6/quendaloop-show.6.gz man1/quendaloop-capture.1.gz; do
  MANWIDTH=200 man --warnings -l "$share/man/$page" >"$work/page.txt" 2>"$work/man.err" ||
    fail "man cannot render $page"
  [ ! -s "$work/man.err" ] || fail "$page: $(cat "$work/man.err")"
  [ -s "$work/page.txt" ] || fail "$page is empty"
done
capture=$root/usr/games/quendaloop-capture
MANWIDTH=200 man -l "$share/man/man1/quendaloop-capture.1.gz" >"$work/page.txt" 2>/dev/null
for option in $("$capture" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$option" "$work/page.txt" || fail "quendaloop-capture(1) does not describe $option"
done

# The unpacked capture renders half a second with no display, from a folder
# with no data, reading only the root's data: every file path it names is
# logged, and none lies in the source tree.
mkdir "$work/elsewhere"
cd "$work/elsewhere"
env -u DISPLAY -u WAYLAND_DISPLAY strace -f -qq -e trace=%file -o "$work/files.log" \
  "$capture" --to 0.5 --png-dir frames --wav show.wav -q || fail "the unpacked capture failed"
[ "$(wc -c <show.wav)" -eq $((44 + 22050 * 4)) ] || fail "the unpacked capture wrote $(wc -c <show.wav) bytes of WAV"
[ "$(ls frames | wc -l)" -eq 30 ] || fail "the unpacked capture wrote $(ls frames | wc -l) frames, not 30"
grep -qF "\"$root/usr/games/../share/games/quendaloop" "$work/files.log" ||
  fail "the capture did not look in the root's data folder"
if grep -F -e "\"$source_tree/" -e "\"$source_tree\"" "$work/files.log" >"$work/leaks.txt"; then
  head -5 "$work/leaks.txt" >&2
  fail "the unpacked capture looked into the source tree"
fi
# Without the root's data it fails plainly, with nothing to fall back on.
mv "$share/games/quendaloop" "$share/games/moved-away"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY "$capture" --to 0.5 --wav gone.wav -q 2>"$work/err.txt" || status=$?
[ "$status" -eq 1 ] || fail "the capture without its data ended with status $status, not 1"
grep -q "the show's data is missing" "$work/err.txt" || fail "the capture without its data said: $(cat "$work/err.txt")"
cd "$work"

if [ "$(id -u)" -ne 0 ]; then
  echo "package test: passed (not root: the install into a minimal Debian was left out)"
  exit 0
fi

# The minimal Debian 12, from the cache or built there.
command -v debootstrap >/dev/null || fail "debootstrap is missing (bash scripts/deps.sh test installs it)"
cache=${QUENDALOOP_TEST_CACHE:-/var/cache/quendaloop-test}
mirror=${QUENDALOOP_DEBIAN_MIRROR:-http://deb.debian.org/debian}
base=$cache/bookworm-minbase.tar.gz
mkdir -p "$cache/archives/partial"
exec 9>"$cache/lock"
flock 9  # one test at a time uses the cache
if [ -z "$(find "$base" -mtime -7 2>/dev/null)" ]; then
  rm -rf "$cache/building"
  debootstrap --variant=minbase bookworm "$cache/building" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -20 "$work/debootstrap.log" >&2; fail "debootstrap could not build a minimal Debian 12"; }
  rm -f "$cache/building"/var/cache/apt/archives/*.deb
  tar -C "$cache/building" -czf "$base.part" .
  mv "$base.part" "$base"
  rm -rf "$cache/building"
fi
mkdir "$minimal"
mount -t tmpfs -o mode=755 quendaloop-minimal "$minimal"
tar -C "$minimal" -xzf "$base"
for dir in proc dev tmp; do mount --bind "/$dir" "$minimal/$dir"; done
mount --bind "$cache/archives" "$minimal/var/cache/apt/archives"
in_minimal() {
  chroot "$minimal" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LIBGL_ALWAYS_SOFTWARE=1 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# The install, with only what the package depends on.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/paths.txt"
present() {  # the package's paths that exist in the minimal system
  while read -r path; do
    if [ -e "$minimal$path" ] || [ -L "$minimal$path" ]; then echo "$path"; fi
  done <"$work/paths.txt"
}
present >"$work/before.txt"
cp "$deb" "$minimal/root/"
{
  in_minimal apt-get update -q &&
    in_minimal apt-get install -y -q --no-install-recommends "/root/${deb##*/}" &&
    in_minimal apt-get autoclean -q  # the cache keeps only what can still be fetched
} >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install failed"; }

# The capture and the show, each as the package installed them.
mkdir "$minimal/root/out"
in_minimal sh -c 'cd /root/out && /usr/games/quendaloop-capture --to 0.5 --png-dir frames -q' ||
  fail "the installed capture failed in the minimal system"
frames=$(ls "$minimal/root/out/frames" | wc -l)
[ "$frames" -eq 30 ] || fail "the installed capture wrote $frames frames, not 30"
printf '#!/bin/sh\nexec chroot "%s" /usr/games/quendaloop "$@"\n' "$minimal" >"$work/installed-show"
chmod +x "$work/installed-show"
python3 "$source_tree/tests/e2e/shell_e2e.py" "$work/installed-show" / fullscreen ||
  fail "the installed show did not run and end with status 0 in the minimal system"

# The removal.
in_minimal apt-get remove -y -q quendaloop >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get remove failed"; }
in_minimal dpkg-query -W -f='${Status}' quendaloop 2>/dev/null | grep -qv 'not-installed' &&
  fail "dpkg still knows the package: $(in_minimal dpkg-query -W -f='${Status}' quendaloop)"
present >"$work/after.txt"
if ! diff "$work/before.txt" "$work/after.txt" >"$work/left.txt"; then
  cat "$work/left.txt" >&2
  fail "the removal left files of the package behind"
fi
echo "package test: passed"
