# Shared by the release scripts (sourced, after root and build are set): the time of the commit
# for anything that needs a time, and the release configurations' cache settings.
source "$root/tools/configs.sh"

release_commit() {
  git -C "$root" rev-parse --short HEAD 2>/dev/null || echo "(not a git checkout)"
}

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || {
    echo "release: not a git checkout: set SOURCE_DATE_EPOCH to the source's time (seconds since 1970)" >&2
    exit 1
  }
fi
export SOURCE_DATE_EPOCH

# The vendor's choices pass on to CMake only when given, so CMake's defaults stay the only ones.
release_cache_args=()
for name in QUORVEL_SERVER_HOST QUORVEL_SERVER_PORT QUORVEL_VERSION QUORVEL_LIST_MIN_SERIAL; do
  [ -z "${!name:-}" ] || release_cache_args+=("-D$name=${!name}")
done
# The download-list keys the launcher pins: semicolon-separated PEM files of public keys, passed on
# with absolute paths, so every build of the release (check-reproducible.sh builds elsewhere) reads
# the same files.
for name in QUORVEL_LIST_KEYS QUORVEL_LIST_RECOVERY_KEYS; do
  [ -n "${!name:-}" ] || continue
  paths=()
  IFS=';' read -r -a listed <<<"${!name}"
  for path in "${listed[@]}"; do
    [ -n "$path" ] || continue
    [ -f "$path" ] || { echo "release: $name names $path, which is not a file" >&2; exit 1; }
    paths+=("$(realpath "$path")")
  done
  release_cache_args+=("-D$name=$(IFS=';'; echo "${paths[*]}")")
done
if [ -n "${QUORVEL_LIST_MIN_SERIAL:-}" ] && ! [[ "$QUORVEL_LIST_MIN_SERIAL" =~ ^[0-9]+$ ]]; then
  echo "release: QUORVEL_LIST_MIN_SERIAL must be a whole number, not '$QUORVEL_LIST_MIN_SERIAL'" >&2
  exit 1
fi

# The launcher's web site, as the release-win configuration built it in.
release_site_url() {
  local authority
  authority=$(sed -n 's/^#define QUORVEL_SERVER_AUTHORITY_TEXT L"\(.*\)"$/\1/p' "$build/release-win/generated/server_config.h")
  echo "https://$authority"
}
