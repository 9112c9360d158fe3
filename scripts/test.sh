#!/usr/bin/env bash
# Every test: installs what is missing, builds, and runs the suites. Ends with
# one line that counts the tests of all suites.
set -uo pipefail
cd "$(dirname "$0")/.."
passed=0 failed=0

# Runs ctest in a build directory and adds its counts to the totals.
run_ctest() {
  local log
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log"
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  if [ -z "$summary" ]; then
    failed=$((failed + 1))
    return
  fi
  local total bad
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$summary")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

bash scripts/setup.sh || exit 1
echo "== Linux build"
if cmake --preset linux && cmake --build --preset linux; then
  run_ctest --preset linux
else
  echo "Linux build FAILED"
  failed=$((failed + 1))
fi

echo
echo "all suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
