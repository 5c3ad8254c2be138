#!/usr/bin/env bash
# Builds the vendor's bundle from scratch into build/release/ (or $QUORVEL_BUILD/release/):
#   QuorvelLauncher.exe      the launcher for QUORVEL_SERVER_HOST / QUORVEL_SERVER_PORT, version
#                            QUORVEL_VERSION; Release, static, stripped, reproducible
#   QuorvelManifestCheck.exe the manifest checker for Windows, quorvel-manifest-check for Linux
#   server/                  filelist.json.php and the nginx block
#   SHA256SUMS               the digest of every other file of the bundle
# The Windows executables are signed when QUORVEL_SIGN_PFX and QUORVEL_SIGN_PASSWORD_FILE are set
# (see sign.sh). A failed step leaves no bundle behind.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${QUORVEL_BUILD:-$root/build}
out="$build/release"
fail() { echo "release: $*" >&2; exit 1; }

"$root/tools/bootstrap.sh"
source "$here/release-env.sh"  # SOURCE_DATE_EPOCH and the release configurations
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: the working tree has uncommitted changes, so this is not exactly commit $(release_commit)"
fi

rm -rf "$out" "$out.partial" "$build/release-win" "$build/release-native"
mkdir -p "$out.partial/server"
trap 'rm -rf "$out.partial"' EXIT
configure_and_build release-win QuorvelLauncher QuorvelManifestCheck
configure_and_build release-native quorvel-manifest-check
cp "$build/release-win/QuorvelLauncher.exe" "$build/release-win/checker/QuorvelManifestCheck.exe" \
   "$build/release-native/checker/quorvel-manifest-check" "$out.partial/"
cp "$root/server/filelist.json.php" "$root/server/nginx-download.conf" "$out.partial/server/"
echo "release: unsigned QuorvelLauncher.exe sha256 $(sha256sum "$out.partial/QuorvelLauncher.exe" | cut -d' ' -f1)"

# The publisher shown with the signature is the launcher's product name and the vendor's web site.
product_name=$(sed -n 's/^ *VALUE "ProductName", "\(.*\)"$/\1/p' "$root/res/launcher.rc")
[ -n "$product_name" ] || fail "no ProductName in res/launcher.rc"
"$here/sign.sh" --name "$product_name" --url "$(release_site_url)" \
  "$out.partial/QuorvelLauncher.exe" "$out.partial/QuorvelManifestCheck.exe"

(cd "$out.partial" && find . -type f ! -path ./SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
mv "$out.partial" "$out"
trap - EXIT
version=$(sed -n 's/^QUORVEL_VERSION:STRING=//p' "$build/release-win/CMakeCache.txt")
echo "release: bundle in $out (QuorvelLauncher.exe $version, $(stat -c %s "$out/QuorvelLauncher.exe") bytes)"
