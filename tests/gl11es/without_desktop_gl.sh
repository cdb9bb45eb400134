#!/usr/bin/env bash
# Runs a command on a system without desktop OpenGL: libGL, libGLX and Mesa's
# GLX library are each covered by an empty file in a mount namespace of the
# command's own, so loading them fails as if they were not installed. The
# command keeps this process' id. Needs root; exits 77 without it.
#
#   without_desktop_gl.sh COMMAND [ARG...]
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: hiding libraries in a mount namespace needs root" >&2
    exit 77
  fi
  exec unshare --mount --propagation private "$0" --inside "$@"
fi
shift
empty=$(mktemp)
for name in libGL.so.1 libGLX.so.0 libGLX_mesa.so.0; do
  path=$(ldconfig -p | awk -v name="$name" '$1 == name && /x86-64/ { print $NF; exit }')
  [ -n "$path" ] || continue  # not installed: nothing to hide
  mount --bind "$empty" "$(readlink -f "$path")"
  if [ -s "$path" ]; then
    echo "without_desktop_gl.sh: $path is still there" >&2
    exit 1
  fi
done
rm -f "$empty"
exec "$@"
