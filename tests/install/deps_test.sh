#!/usr/bin/env bash
# scripts/deps.sh while another package manager holds a lock of apt or dpkg:
# it says that it waits, runs apt-get only once the lock is free, and gives
# apt-get its own lock timeout. apt-get and dpkg-query are stand-ins (every
# package missing); the locks are those of empty folders mounted over apt's
# and dpkg's in a mount namespace of the test's own.
#   deps_test.sh SOURCE_DIR
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "skipped: not root (stand-in lock folders are mounted)"; exit 77; }
if [ -z "${DEPS_TEST_NAMESPACE:-}" ]; then
  unshare --mount --propagation private true 2>/dev/null || { echo "skipped: no mount namespace"; exit 77; }
  DEPS_TEST_NAMESPACE=1 exec unshare --mount --propagation private bash "$0" "$@"
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/deps-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "deps test: $*" >&2; exit 1; }
mkdir "$work/lists" "$work/dpkg" "$work/archives" "$work/bin"
touch "$work/lists/lock" "$work/dpkg/lock-frontend" "$work/dpkg/lock" "$work/archives/lock"
mount --bind "$work/lists" /var/lib/apt/lists
mount --bind "$work/dpkg" /var/lib/dpkg
mount --bind "$work/archives" /var/cache/apt/archives
printf '#!/bin/sh\nexit 1\n' > "$work/bin/dpkg-query"
printf '#!/bin/sh\necho "$*" >> "%s/apt-get.log"\n' "$work" > "$work/bin/apt-get"
chmod +x "$work/bin/dpkg-query" "$work/bin/apt-get"
export PATH="$work/bin:$PATH"

# Each lock, and what apt-get was asked for before deps.sh waits for it.
for case in /var/lib/apt/lists/lock: /var/lib/dpkg/lock-frontend:update /var/lib/dpkg/lock:update \
  /var/cache/apt/archives/lock:update; do
  lock=${case%:*} before=${case#*:}
  : > "$work/apt-get.log"
  # Holds the lock as apt and dpkg take it (fcntl) until its input closes.
  coproc HOLDER { python3 -c 'import fcntl, sys
lock = open(sys.argv[1], "w"); fcntl.lockf(lock, fcntl.LOCK_EX); print("held", flush=True); sys.stdin.read()' "$lock"; }
  holder=$HOLDER_PID input=${HOLDER[1]}
  read -r _ <&"${HOLDER[0]}"
  bash "$1/scripts/deps.sh" capture 2> "$work/stderr" &
  deps=$!
  said="waiting for another package manager to release $lock"
  for _ in $(seq 300); do
    grep -q "$said" "$work/stderr" || ! kill -0 "$deps" 2>/dev/null && break
    sleep 0.1
  done
  grep -q "$said" "$work/stderr" || fail "no word of waiting for $lock: $(cat "$work/stderr")"
  asked=$(sed 's/.* \(update\|install\) .*/\1/' "$work/apt-get.log")
  [ "$asked" = "$before" ] || fail "while $lock was held, apt-get was asked for: $asked"
  exec {input}>&-
  wait "$holder"
  wait "$deps" || fail "deps.sh failed once $lock was free: $(cat "$work/stderr")"
  [ "$(cat "$work/apt-get.log")" = "-o DPkg::Lock::Timeout=600 update -q
-o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends ffmpeg" ] ||
    fail "apt-get ran as: $(cat "$work/apt-get.log")"
done
