#!/usr/bin/env bash
# Both benchmarks in one run: the start-up timeline with its ratio to the platform's floor (empty
# dialog + bare fetch), then the download against its floor (a bare WinHTTP read loop), each with
# the machine's load. Run it inside a network namespace of its own, as the tests are:
#   unshare -n bash -c 'ip link set lo up && bench/run.sh'
# QUORVEL_BASELINE=path/to/QuorvelLauncher.exe times another build in the same start-up rounds.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$here/startup/run.sh" "${STARTUP_ROUNDS:-7}"
"$here/download/run.sh" "${DOWNLOAD_BYTES:-268435456}" "${DOWNLOAD_ROUNDS:-3}"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
