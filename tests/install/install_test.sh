#!/bin/sh
# Installs the build into a fresh prefix and checks the installed show:
# its layout, the launcher (with a stand-in show program that reports where
# it was started) and the capture program finding the installed data from
# any working directory, and failing plainly without it: an installed program
# never falls back on the tree it was built from.
#   install_test.sh CMAKE BUILD_DIR
set -eu
cmake=$1
build=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/capture-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix/usr" >/dev/null
cd "$prefix"
for f in usr/games/quendaloop usr/games/quendaloop-capture usr/games/quendaloop-show; do
  [ -x "$f" ] || fail "$f is missing or not executable"
done
[ -f usr/share/games/quendaloop/pelvorgrind.xm ] || fail "the module is not installed"
for p in bkgrnd2 creds crate logotyp grusk4; do
  [ -f "usr/share/games/quendaloop/Data/$p.bmp" ] || fail "Data/$p.bmp is not installed"
done

# The launcher starts the show from the data folder and passes its arguments,
# also through a symbolic link and from elsewhere.
cat > usr/games/quendaloop-show <<'SHOW'
#!/bin/sh
echo "$(pwd) $*"
SHOW
ln -s usr/games/quendaloop linked
mkdir elsewhere
got=$(cd elsewhere && ../linked one "two words")
[ "$got" = "$prefix/usr/share/games/quendaloop one two words" ] || fail "the launcher ran the show as: $got"

# The installed capture finds the installed data from any working directory.
(cd elsewhere && ../usr/games/quendaloop-capture --to 0.5 --wav show.wav -q) || fail "the installed capture failed"
size=$(wc -c < elsewhere/show.wav)
[ "$size" -eq $((44 + 22050 * 4)) ] || fail "the installed capture wrote $size bytes of WAV"

# Without its installed data the capture fails with status 1 and says what is
# missing, however near the source tree is.
mv usr/share/games/quendaloop usr/share/games/moved-away
status=0
(cd elsewhere && ../usr/games/quendaloop-capture --to 0.5 --wav gone.wav -q) 2>err.txt || status=$?
[ "$status" -eq 1 ] || fail "the capture without its data ended with status $status, not 1"
grep -q "the show's data is missing" err.txt || fail "the capture without its data said: $(cat err.txt)"
[ ! -e elsewhere/gone.wav ] || fail "the capture without its data left a WAV behind"
echo "install test: passed"
