#!/usr/bin/env bash
# Runs a command inside the private test bed: its own HOME and Wine prefix under the build folder
# (so nothing touches the user's desktop or prefix) and, when asked or when there is no display,
# its own Xvfb. Usage: with-wine.sh [--xvfb] COMMAND...
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
testbed=${QUORVEL_TESTBED:-$root/build/testbed}
want_xvfb=0
if [ "${1:-}" = "--xvfb" ]; then want_xvfb=1; shift; fi
[ -n "${DISPLAY:-}" ] || want_xvfb=1

mkdir -p "$testbed/home"
export HOME="$testbed/home"
export WINEPREFIX="$testbed/prefix"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
export QUORVEL_WINE=/usr/lib/wine/wine64
export QUORVEL_WINESERVER=/usr/lib/wine/wineserver
export PATH="/usr/lib/wine:$PATH"
# A time zone far from UTC (+05:45, no daylight saving), so a local time passed off as UTC shows
# on every host, a UTC one included.
export TZ=${QUORVEL_TESTBED_TZ:-Asia/Kathmandu}

xvfb_pid=""
cleanup() {
  "$QUORVEL_WINESERVER" -k >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [ "$want_xvfb" = 1 ]; then
  for display in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
    # Large enough for the launcher's smallest window at 192 dpi (1440 x 1080) with room to grow.
    Xvfb ":$display" -screen 0 2560x1600x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
      xdpyinfo -display ":$display" >/dev/null 2>&1 && break
      sleep 0.1
    done
    if xdpyinfo -display ":$display" >/dev/null 2>&1; then
      export DISPLAY=":$display"
      break
    fi
    kill "$xvfb_pid" >/dev/null 2>&1 || true
    xvfb_pid=""
  done
  [ -n "$xvfb_pid" ] || { echo "with-wine: could not start Xvfb" >&2; exit 1; }
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "with-wine: creating Wine prefix $WINEPREFIX" >&2
  "$QUORVEL_WINE" wineboot -i >/dev/null 2>&1 || true
  "$QUORVEL_WINESERVER" -w
  # The user's shell folders come as links into $HOME; plain folders keep every test write inside.
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
  done
fi

# Wine's own UI fonts, which this Wine does not find by itself: without Tahoma the link control
# shows its markup as plain text, without Marlett the caption buttons show letters.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
  if [ -d "$fonts" ] && [ -f "/usr/share/wine/fonts/$font" ] && [ ! -e "$fonts/$font" ]; then
    cp "/usr/share/wine/fonts/$font" "$fonts/$font"
  fi
done

"$@"
