# Sourced by the build scripts: Debian's own source packages, fetched through
# an apt configuration of our own with deb-src lines made from the system's
# Debian sources. The system's apt configuration and package lists stay as
# they are.

# The source version a binary package comes from: the installed one, else
# the one apt would install.
debian_source_version() {  # binary-package
  local version
  version=$(dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || true)
  [ -n "$version" ] || version=$(apt-cache show --no-all-versions "$1" 2>/dev/null |
    sed -n 's/^Source: .* (\(.*\))$/\1/p; s/^Version: //p' | head -n1)
  echo "$version"
}

# Unpacks the source package `source` into `dest` (which must not exist): the
# version `version` when the archive has it, else the archive's newest.
# Prints the unpacked .dsc's name on standard error.
debian_source_unpack() {  # source version dest
  local source=$1 version=$2 dest=$3 work
  work=$(mktemp -d)
  chmod 755 "$work"  # apt downloads as its own user
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
  local status=0
  apt-get "${apt[@]}" update >/dev/null || status=$?
  if [ $status -eq 0 ]; then
    local wanted=$source
    [ -n "$version" ] && wanted="$source=$version"
    (cd "$work/src" && { apt-get "${apt[@]}" source --download-only "$wanted" >/dev/null 2>&1 ||
                         apt-get "${apt[@]}" source --download-only "$source" >/dev/null; }) || status=$?
  fi
  # apt has checked the files against the archive's signed index; dpkg-source
  # may add that it cannot check the uploader's own signature.
  if [ $status -eq 0 ]; then
    (cd "$work/src" && dpkg-source -x ./*.dsc "$dest" >/dev/null) || status=$?
    [ $status -eq 0 ] && echo "unpacked $(cd "$work/src" && ls ./*.dsc)" >&2
  fi
  rm -rf "$work"
  return $status
}
