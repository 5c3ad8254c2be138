#!/usr/bin/env bash
# Builds the Windows benchmark configuration and prints the startup figures (see startup_bench.py).
# Usage: bench/startup/run.sh [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${QUORVEL_BUILD:-$root/build}
dir=$build/win-bench
source "$root/tools/configs.sh"
export PYTHONPATH=$root  # the shared test bed package, testbed/
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQUORVEL_SERVER_HOST="$QUORVEL_TEST_HOST" -DQUORVEL_SERVER_PORT="$QUORVEL_TEST_PORT" \
  -DQUORVEL_BENCH=ON >"$build/cmake-win-bench.log"
cmake --build "$dir" -j 2 --target QuorvelLauncher empty_dialog startup_timer bare_fetch bench_fetch_stages trust_ca \
  >/dev/null
# QUORVEL_BASELINE=path/to/QuorvelLauncher.exe (another build, say main's) is timed in the same
# rounds, so the machine's load touches both alike.
baseline=()
if [ -n "${QUORVEL_BASELINE:-}" ]; then baseline=(--baseline "$QUORVEL_BASELINE"); fi
fill=()
if cmake --build "$dir" -j 2 --target bench_fill_file_list >/dev/null 2>&1; then
  fill=(--fill-bench "$dir/bench/startup/bench_fill_file_list.exe")
fi
QUORVEL_TESTBED=$build/testbed-bench "$root/testbed/with-wine.sh" --xvfb \
  python3 "$root/bench/startup/startup_bench.py" --runs "${1:-7}" --launcher "$dir/QuorvelLauncher.exe" \
  --empty-dialog "$dir/bench/empty_dialog/empty_dialog.exe" \
  --timer "$dir/bench/startup/startup_timer.exe" --trust-ca "$dir/tests/programs/trust_ca/trust_ca.exe" \
  --ca-dir "$build/test-ca" --bare-fetch "$dir/bench/startup/bare_fetch.exe" \
  --fetch-stages "$dir/bench/startup/bench_fetch_stages.exe" "${fill[@]}" "${baseline[@]}"
