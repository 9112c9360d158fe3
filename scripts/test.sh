#!/usr/bin/env bash
# Every test: installs what is missing, builds, and runs each suite: the Linux
# build, the Windows DLLs under Wine (32- and 64-bit), the release package.
# Ends with one line that counts the tests of all suites.
set -uo pipefail
cd "$(dirname "$0")/.."
passed=0 failed=0 skipped=0

# Runs a command whose output ends in ctest's summary, and adds the counts to
# the totals; a failed command that counted no failure counts as one, and a
# test that ctest did not run for want of what it needs counts as skipped.
run_ctest() {
  local log summary total bad status skips
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  skips=$(grep -cE '^\s*[0-9]+ - .* \(Skipped\)$' "$log")
  rm -f "$log"
  total=0 bad=0
  if [ -n "$summary" ]; then
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  fi
  [ "$status" -ne 0 ] && [ "$bad" -eq 0 ] && bad=1 && total=$((total + 1))
  passed=$((passed + total - bad - skips))
  failed=$((failed + bad))
  skipped=$((skipped + skips))
}

# Runs a GoogleTest executable under Wine and adds its counts to the totals.
run_wine_gtest() {
  local log good bad
  log=$(mktemp)
  bash scripts/wine-run.sh 1200 "$@" 2>&1 | tee "$log" | grep -vE '^\[ +(RUN|OK) +\]'
  good=$(grep -oP '^\[  PASSED  \] \K[0-9]+' "$log" | tail -n 1)
  bad=$(grep -oP '^\[  FAILED  \] \K[0-9]+(?= tests?, listed below)' "$log" | tail -n 1)
  rm -f "$log"
  if [ -z "$good$bad" ]; then
    echo "the Windows test program ended without a result"
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + ${good:-0}))
  failed=$((failed + ${bad:-0}))
}

# One check that passes or fails as a whole.
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}

linux_suite() {
  echo "== Linux build and tests"
  if cmake --preset linux && cmake --build --preset linux; then
    run_ctest ctest --preset linux
  else
    echo "FAILED: Linux build"
    failed=$((failed + 1))
  fi
}

windows_suite() {
  echo "== Windows DLLs under Wine"
  if ! bash scripts/setup-windows.sh; then
    cat <<'MSG'
!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
!!! The Windows suite was SKIPPED: no working Wine or MinGW here.    !!!
!!! The DLL, its exports and its behaviour under Windows are UNTESTED. !!!
!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
MSG
    skipped=$((skipped + 1))
    return
  fi
  local arch preset started
  for arch in i686 x86_64; do
    preset=windows-$arch
    echo "== $preset"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; }; then
      echo "FAILED: $preset build"
      failed=$((failed + 1))
      continue
    fi
    check "$preset exports and imports" \
      bash scripts/check-dll.sh "$arch-w64-mingw32-objdump" "build/$preset/vessor.dll"
    started=$(date +%s)
    run_wine_gtest "build/$preset/tests/vessor_tests.exe"
    echo "$preset: Wine run took $(($(date +%s) - started)) s"
  done
  package_suite
}

# The release package holds both plug-ins, and its vfolder.exe lists a folder
# exactly as the Linux build does.
package_suite() {
  echo "== release package"
  local zip work expected bits
  if ! zip=$(bash scripts/package.sh); then
    echo "FAILED: release package"
    failed=$((failed + 1))
    return
  fi
  work=$(mktemp -d)
  (cd "$work" && cmake -E tar xf "$OLDPWD/$zip")
  build/linux/mkfolder samples/inbox.txt "$work/INBOX.IDX"
  expected=$(build/linux/vfolder list --tsv "$work/INBOX.IDX")
  for bits in 32 64; do
    check "$bits-bit vfolder.exe from the package lists the sample as Linux does" \
      test "$(bash scripts/wine-run.sh 600 "$work"/vessor-folder-*/$bits-bit/vfolder.exe \
        list --tsv "Z:${work//\//\\}\\INBOX.IDX")" = "$expected"
  done
  rm -rf "$work"
}

# Sanitizer build of every test, bounded fuzz runs and a valgrind run.
hostile_suite() {
  echo "== hostile folders: sanitizers, fuzzing, valgrind"
  run_ctest bash scripts/test-hostile.sh
}

bash scripts/setup.sh || exit 1
linux_suite
windows_suite
hostile_suite

echo
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
