#!/usr/bin/env bash
# Builds the release launcher twice, from two copies of the source in different folders and with a
# different time zone and umask, and checks that both executables are byte for byte the same.
# Prints the digest. Takes the same QUORVEL_SERVER_HOST / _PORT / QUORVEL_VERSION as make-release.sh.
set -euo pipefail
shopt -s inherit_errexit
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${QUORVEL_BUILD:-$root/build}
source "$here/release-env.sh"
mkdir -p "$build"
work=$(mktemp -d "$build/reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The working tree as git sees it (tracked and new files, not ignored ones such as build/).
copy_source() {
  mkdir -p "$1"
  git -C "$root" ls-files -z --cached --others --exclude-standard \
    | (cd "$root" && tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$1"
}

build_once() {  # build_once SOURCE BUILD-ROOT: prints the executable's path
  copy_source "$1"
  (root=$1 build=$2; mkdir -p "$build"; configure_and_build release-win QuorvelLauncher) >&2
  echo "$2/release-win/QuorvelLauncher.exe"
}

first=$(build_once "$work/one/QuorvelLauncher" "$work/one/QuorvelLauncher/build")
second=$(umask 0077; TZ=Pacific/Kiritimati build_once "$work/two/src" "$work/elsewhere")
for exe in "$first" "$second"; do
  if strings -a "$exe" | grep -F -q "$work"; then
    echo "reproducible: NO: $exe names the folder it was built in:"
    strings -a "$exe" | grep -F "$work" | head -n 5
    exit 1
  fi
done
digest_one=$(sha256sum "$first" | cut -d' ' -f1)
digest_two=$(sha256sum "$second" | cut -d' ' -f1)
if [ "$digest_one" != "$digest_two" ]; then
  echo "reproducible: NO: the two builds differ ($digest_one, $digest_two) in $(cmp -l "$first" "$second" | wc -l) bytes;"
  kept="$build/reproducible-differ"
  rm -rf "$kept"; mkdir -p "$kept"; cp "$first" "$kept/one.exe"; cp "$second" "$kept/two.exe"
  echo "reproducible: both are kept in $kept"
  exit 1
fi
echo "reproducible: QuorvelLauncher.exe sha256 $digest_one ($(stat -c %s "$first") bytes, built twice)"
