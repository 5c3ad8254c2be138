#!/usr/bin/env bash
# Builds the Windows benchmark (build/win-bench: the build/win settings plus QUORVEL_BENCH) and
# downloads 256 MiB from the loopback HTTPS test server with DownloadFile under Wine and with curl.
# Usage: bench/download/run.sh [BYTES] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${QUORVEL_BUILD:-$root/build}
dir="$build/win-bench"
source "$root/tools/configs.sh"
export PYTHONPATH=$root  # the shared test bed package, testbed/
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BENCH=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQUORVEL_SERVER_HOST="$QUORVEL_TEST_HOST" -DQUORVEL_SERVER_PORT="$QUORVEL_TEST_PORT" >/dev/null
cmake --build "$dir" -j 2 --target download_bench download_floor trust_ca >/dev/null
QUORVEL_TESTBED=${QUORVEL_TESTBED:-$build/testbed-bench} "$root/testbed/with-wine.sh" \
  python3 "$root/bench/download/bench.py" --exe "$dir/bench/download/download_bench.exe" \
  --trust-exe "$dir/tests/programs/trust_ca/trust_ca.exe" --ca-dir "$dir/test-ca" \
  --floor-exe "$dir/bench/download/download_floor.exe" \
  --bytes "${1:-268435456}" --rounds "${2:-3}"
