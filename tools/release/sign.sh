#!/usr/bin/env bash
# Signs Windows executables in place with Authenticode (osslsigncode, SHA-256) and verifies them.
# Usage: sign.sh [--name NAME] [--url URL] FILE...   (the publisher's name and web address)
#   QUORVEL_SIGN_PFX            PKCS#12 file with the code-signing key and certificate chain
#   QUORVEL_SIGN_PASSWORD_FILE  file whose first line is the PKCS#12 password
#   QUORVEL_SIGN_CA_FILE        CA certificates to verify against (default: the system's bundle)
#   QUORVEL_SIGN_TIMESTAMP_URL  RFC 3161 time-stamp server (default: none, no time stamp)
# Without the first two it signs nothing and says so in one line. The password is only ever read
# from its file by osslsigncode itself: it is never put on a command line or printed.
set -euo pipefail

pfx=${QUORVEL_SIGN_PFX:-}
password_file=${QUORVEL_SIGN_PASSWORD_FILE:-}
if [ -z "$pfx" ] && [ -z "$password_file" ]; then
  echo "release: not signed (set QUORVEL_SIGN_PFX and QUORVEL_SIGN_PASSWORD_FILE to sign)"
  exit 0
fi
fail() { echo "release: $*" >&2; exit 1; }
[ -n "$pfx" ] || fail "QUORVEL_SIGN_PASSWORD_FILE is set but QUORVEL_SIGN_PFX is not: set both to sign"
[ -n "$password_file" ] || fail "QUORVEL_SIGN_PFX is set but QUORVEL_SIGN_PASSWORD_FILE is not: set both to sign"
[ -r "$pfx" ] || fail "cannot read the PKCS#12 file $pfx"
[ -r "$password_file" ] || fail "cannot read the password file $password_file"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (apt-get install osslsigncode)"
ca_file=${QUORVEL_SIGN_CA_FILE:-/etc/ssl/certs/ca-certificates.crt}
[ -r "$ca_file" ] || fail "cannot read the CA file $ca_file"

sign_args=(-pkcs12 "$pfx" -readpass "$password_file" -h sha256)
while [ $# -gt 0 ]; do
  case "$1" in
    --name) sign_args+=(-n "$2"); shift 2 ;;
    --url) sign_args+=(-i "$2"); shift 2 ;;
    *) break ;;
  esac
done
[ -z "${QUORVEL_SIGN_TIMESTAMP_URL:-}" ] || sign_args+=(-ts "$QUORVEL_SIGN_TIMESTAMP_URL")

for file in "$@"; do
  signed="$file.signed"
  rm -f "$signed"
  # osslsigncode's own output names files and certificates only; it is kept for a failure.
  if ! log=$(osslsigncode sign "${sign_args[@]}" -in "$file" -out "$signed" 2>&1); then
    rm -f "$signed"
    fail "signing $(basename "$file") failed: $log"
  fi
  if ! log=$(osslsigncode verify -CAfile "$ca_file" -in "$signed" 2>&1); then
    rm -f "$signed"
    fail "the signature of $(basename "$file") does not verify against $ca_file:
$log"
  fi
  mv "$signed" "$file"
  echo "release: signed and verified $(basename "$file")"
done
