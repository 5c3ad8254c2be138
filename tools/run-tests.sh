#!/usr/bin/env bash
# Builds every configuration and runs every test tier: native (with sanitizers), fuzzing (clang),
# and the Windows build under Wine and Xvfb. Ends with one "N passed, M failed, K skipped" line.
# A skipped test is not a passed one; with CI=true it counts as a failure. Each tier must run
# exactly the number of tests below, so a test that silently drops out fails the run.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${QUORVEL_BUILD:-$root/build}
jobs=$(nproc)
"$root/tools/bootstrap.sh" || exit 1
mkdir -p "$build"
source "$root/tools/configs.sh"

# The number of tests each tier registers. Adding or removing a test means changing its line here.
declare -A expected=(
  [fuzz]=2
  [native]=15
  [wine]=53
  [shipping]=1
)

total_passed=0
total_failed=0
total_skipped=0
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
  local failed all skipped passed
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
  all=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
  # ctest counts a skipped test as not failed and lists it under "did not run" as "(Skipped)".
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .* \((Skipped|Disabled)\)[[:space:]]*$' "$log")
  passed=$((all - failed - skipped))
  if [ "$all" != "${expected[$label]}" ]; then
    echo "$label: expected ${expected[$label]} tests, ran $all (update the count in tools/run-tests.sh" \
         "only when a test was added or removed on purpose)" >&2
    broken=1
  fi
  if [ "$skipped" != 0 ] && [ "${CI:-}" = true ]; then
    echo "$label: $skipped test(s) skipped; in CI a skip is a failure" >&2
    failed=$((failed + skipped))
    skipped=0
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
}

configure_and_build native || broken=1
configure_and_build win || broken=1
configure_and_build win-default || broken=1
if configure_and_build fuzz fuzz_manifest_parse fuzz_check_report; then
  run_ctest fuzz ctest --test-dir "$build/fuzz" --output-on-failure -L fuzz -j "$jobs"
else
  broken=1
fi
run_ctest shipping ctest --test-dir "$build/win-default" --output-on-failure -L shipping
run_ctest native ctest --test-dir "$build/native" --output-on-failure -j "$jobs"
run_ctest wine "$root/testbed/with-wine.sh" --xvfb \
  ctest --test-dir "$build/win" --output-on-failure -j "$jobs"

echo
[ "$broken" = 0 ] || echo "some configuration failed to build, to report or to run its expected tests (see above)"
echo "all tiers: $total_passed passed, $total_failed failed, $total_skipped skipped"
[ "$broken" = 0 ] && [ "$total_failed" = 0 ] && [ "$total_passed" -gt 0 ]
