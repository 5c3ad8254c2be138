#!/usr/bin/env bash
# Builds every configuration and runs every test tier: native (with sanitizers), fuzzing (clang),
# and the Windows build under Wine and Xvfb. Ends with one "N passed, M failed" line.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${QUORVEL_BUILD:-$root/build}
jobs=$(nproc)
"$root/tools/bootstrap.sh" || exit 1
mkdir -p "$build"
source "$root/tools/configs.sh"

total_passed=0
total_failed=0
broken=0
run_ctest() {  # run_ctest LABEL [with-wine] -- ctest arguments
  local label=$1; shift
  local log="$build/ctest-$label.log"
  echo "=== $label tests"
  "$@" 2>&1 | tee "$log"
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    echo "$label: ctest gave no summary" >&2
    broken=1
    return
  fi
  local failed all
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
  all=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
  total_passed=$((total_passed + all - failed))
  total_failed=$((total_failed + failed))
}

configure_and_build native || broken=1
configure_and_build win || broken=1
configure_and_build win-default || broken=1
if configure_and_build fuzz fuzz_manifest_parse fuzz_check_report; then
  run_ctest fuzz ctest --test-dir "$build/fuzz" --output-on-failure -L fuzz -j "$jobs"
else
  broken=1
fi
run_ctest native ctest --test-dir "$build/native" --output-on-failure -j "$jobs"
run_ctest wine "$root/tools/testbed/with-wine.sh" --xvfb \
  ctest --test-dir "$build/win" --output-on-failure -j "$jobs"

echo
[ "$broken" = 0 ] || echo "some configuration failed to build or to report (see above)"
echo "all tiers: $total_passed passed, $total_failed failed"
[ "$broken" = 0 ] && [ "$total_failed" = 0 ] && [ "$total_passed" -gt 0 ]
