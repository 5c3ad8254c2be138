#!/usr/bin/env bash
# `make demo`: installs what is missing, makes a throwaway signing and recovery key pair for download
# lists (build/demo/keys, once), builds the launcher for the loopback demo server pinning those keys
# (build/demo-win), serves the demo catalogue on https://127.0.0.1 at the test port of
# tools/configs.sh as a list signed with the vendor's tool, trusts the server's throwaway CA inside
# the demo's own Wine prefix (build/demo-testbed) and opens the launcher there, in a Wine desktop
# window.
#   With a display: interactive; the demo ends when the launcher and whatever it started are closed.
#   Without one (or with QUORVEL_DEMO_HEADLESS=1): under Xvfb it walks through fetch, list,
#   double-click, progress and launch by itself and saves a screenshot of each step.
# Nothing outside the build folder is touched: not your Wine prefix, not your desktop.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
build=${QUORVEL_BUILD:-$root/build}
demo=$build/demo
export QUORVEL_TESTBED=$build/demo-testbed
export PYTHONPATH=$root  # the shared test bed package, testbed/
with_wine=$root/testbed/with-wine.sh

"$root/tools/bootstrap.sh"
mkdir -p "$build" "$demo"
source "$root/tools/configs.sh"

# The list keys, made once with openssl as the README tells vendors, and never committed (build/ is
# not tracked): the private keys encrypted with a passphrase of their own.
keys=$demo/keys
if [ ! -f "$keys/recovery.pub.pem" ]; then
  rm -rf "$keys"
  mkdir -p -m 700 "$keys"
  openssl rand -hex 16 >"$keys/passphrase"
  for name in signing recovery; do
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 |
      openssl pkcs8 -topk8 -v2 aes-256-cbc -iter 600000 -passout file:"$keys/passphrase" -out "$keys/$name.key.pem"
    openssl pkey -in "$keys/$name.key.pem" -passin file:"$keys/passphrase" -pubout -out "$keys/$name.pub.pem"
  done
fi
demo_cache_args=(-DQUORVEL_LIST_KEYS="$keys/signing.pub.pem" -DQUORVEL_LIST_RECOVERY_KEYS="$keys/recovery.pub.pem")
{ configure_and_build vendor-tools quorvel-manifest-check &&
  configure_and_build demo-win QuorvelLauncher window_probe demo_tool trust_ca; } >"$demo/build.log" 2>&1 ||
  { tail -n 40 "$demo/build.log"; echo "demo: the build failed (log: $demo/build.log)" >&2; exit 1; }
launcher=$build/demo-win/QuorvelLauncher.exe
probe=$build/demo-win/tests/programs/window_probe/window_probe.exe
tool=$build/demo-win/tools/demo/QuorvelDemoTool.exe
trust_ca=$build/demo-win/tests/programs/trust_ca/trust_ca.exe
checker=$build/vendor-tools/checker/quorvel-manifest-check
list_args=(--list-checker "$checker" --list-key "$keys/signing.key.pem" --passphrase-file "$keys/passphrase")
ca_dir=$demo/ca
catalogue=$demo/catalogue
for f in "$launcher" "$probe" "$tool" "$trust_ca" "$checker"; do
  [ -f "$f" ] || { echo "demo: $f was not built" >&2; exit 1; }
done

headless=${QUORVEL_DEMO_HEADLESS:-0}
[ -n "${DISPLAY:-}" ] || headless=1

# The demo prefix: the CA in its own trust store and one Wine desktop window for every program in it.
echo "demo: preparing the demo's Wine prefix in $QUORVEL_TESTBED"
"$with_wine" --xvfb bash -c '
  set -e
  python3 -m testbed.wine "$1" "$2" >/dev/null
  "$QUORVEL_WINE" reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null 2>&1
  "$QUORVEL_WINE" reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 1024x768 /f >/dev/null 2>&1
' prepare "$trust_ca" "$ca_dir"

if [ "$headless" = 1 ]; then
  shots=$demo/screenshots-$(date -u +%Y%m%d_%H%M%S)
  echo "demo: no display: walking through the launcher under Xvfb"
  "$with_wine" --xvfb python3 "$root/tools/demo/walk.py" --launcher "$launcher" --probe "$probe" \
    --tool "$tool" --ca-dir "$ca_dir" --catalogue "$catalogue" --shots "$shots" "${list_args[@]}"
  echo "demo: screenshots of every step are in $shots"
  exit 0
fi

server_pid=""
stop_server() { [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true; }
trap stop_server EXIT
python3 "$root/tools/demo/demo_server.py" --ca-dir "$ca_dir" --catalogue "$catalogue" \
  --launcher "$launcher" --tool "$tool" --log "$demo/requests.jsonl" "${list_args[@]}" >"$demo/server.log" 2>&1 &
server_pid=$!
# The server waits its turn for the port when a test run on this machine holds it.
for _ in $(seq 1 1200); do
  grep -q '^serving' "$demo/server.log" 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$demo/server.log"; echo "demo: the server did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^serving' "$demo/server.log" || { echo "demo: port $QUORVEL_TEST_PORT stayed busy" >&2; exit 1; }
cat <<EOF
demo: $(head -n 1 "$demo/server.log")
demo: the launcher opens in a Wine desktop window. Double-click a row (or press Enter) to download
      and start it: the demo program shows a message, the package installs through msiexec, the
      text opens in Notepad, and QuorvelLauncher.exe restarts the launcher as a newer copy.
      The demo ends when every window in the Wine desktop is closed.
EOF
"$with_wine" bash -c '"$QUORVEL_WINE" "$1"; "$QUORVEL_WINESERVER" -w' launcher "$launcher"
echo "demo: finished"
