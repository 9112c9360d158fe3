#!/usr/bin/env bash
# Hostile folders: the fuzz targets for a bounded time each, a valgrind run of
# vfolder list and copy on the sample folder, and the whole test suite built
# with AddressSanitizer and UndefinedBehaviorSanitizer. The sanitizer tests run
# last, so the output ends with ctest's summary; the exit status is non-zero
# when any step fails.
#
#   bash scripts/test-hostile.sh        HOSTILE_FUZZ_SECONDS=N changes the 60 s
#
# Builds in build/sanitize, build/fuzz and build/valgrind. An input that breaks
# a fuzz target is copied into fuzz/regressions/TARGET/ to be kept and replayed.
set -uo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${HOSTILE_FUZZ_SECONDS:-60}
failures=()
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

missing=()
for package in cmake ninja-build g++ googletest clang libclang-rt-14-dev valgrind; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "test-hostile: installing ${missing[*]}"
  apt-get update && DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}" || exit 1
fi

sanitize=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=fuzz/sanitize.cmake)
echo "== builds: sanitizers (tests), sanitizers with libFuzzer, plain (valgrind)"
cmake -S . -B build/sanitize "${sanitize[@]}" >/dev/null && cmake --build build/sanitize ||
  failures+=("sanitizer build")
cmake -S . -B build/fuzz "${sanitize[@]}" -DVESSOR_FUZZERS=ON -DVESSOR_BUILD_TESTS=OFF >/dev/null &&
  cmake --build build/fuzz --target recognition_fuzz message_fuzz folder_fuzz imap_fuzz || failures+=("fuzz build")
cmake -S . -B build/valgrind -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESSOR_BUILD_TESTS=OFF \
  >/dev/null && cmake --build build/valgrind --target vessor vfolder mkfolder ||
  failures+=("valgrind build")

# Runs one fuzz target on a copy of its seeds; prints its executions and keeps
# any input that broke it.
fuzz() {
  local target=$1 corpus="$work/corpus-$1" log="$work/$1.log"
  cp -r "fuzz/corpus/$1" "$corpus"
  mkdir -p "$work/artifacts-$1"
  "build/fuzz/fuzz/${1}_fuzz" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 \
    -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$work/artifacts-$1/" \
    "$corpus" >"$log" 2>&1
  local status=$? runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz ${target}_fuzz: ${runs:-?} executions in ${fuzz_seconds} s, exit status $status"
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$log"
    mkdir -p "fuzz/regressions/$target"
    for found in "$work/artifacts-$1"/*; do
      [ -e "$found" ] || continue
      cp "$found" "fuzz/regressions/$target/" && echo "kept fuzz/regressions/$target/${found##*/}"
    done
    return 1
  fi
}

if [ -x build/fuzz/fuzz/recognition_fuzz ] && [ -x build/fuzz/fuzz/message_fuzz ] &&
  [ -x build/fuzz/fuzz/folder_fuzz ] && [ -x build/fuzz/fuzz/imap_fuzz ]; then
  echo "== fuzzing, ${fuzz_seconds} s per target, all at once"
  # folder_fuzz writes and removes a folder per input: in memory it runs
  # several times faster.
  fuzz_tmp=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d -p "$work")
  trap 'rm -rf "$work" "$fuzz_tmp"' EXIT
  export TMPDIR=$fuzz_tmp
  fuzz recognition >"$work/recognition.out" 2>&1 &
  recognition=$!
  fuzz message >"$work/message.out" 2>&1 &
  message=$!
  fuzz folder >"$work/folder.out" 2>&1 &
  folder=$!
  fuzz imap >"$work/imap.out" 2>&1 &
  imap=$!
  wait "$recognition" || failures+=("recognition_fuzz")
  wait "$message" || failures+=("message_fuzz")
  wait "$folder" || failures+=("folder_fuzz")
  wait "$imap" || failures+=("imap_fuzz")
  cat "$work/recognition.out" "$work/message.out" "$work/folder.out" "$work/imap.out"
  unset TMPDIR
fi

# Errors and definite leaks both fail the run, and so does the program's own
# failure; its standard output is dropped.
memcheck() {
  valgrind -q --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite "$@" >/dev/null
  local status=$?
  echo "valgrind vfolder $2: exit status $status"
  [ "$status" -eq 0 ]
}
if [ -x build/valgrind/vfolder ]; then
  echo "== valgrind: vfolder list and copy on the sample folder"
  build/valgrind/mkfolder samples/inbox.txt "$work/INBOX.IDX" || failures+=("mkfolder")
  mkdir -p "$work/exported"
  memcheck build/valgrind/vfolder list "$work/INBOX.IDX" || failures+=("valgrind list")
  memcheck build/valgrind/vfolder copy "$work/INBOX.IDX" "$work/exported" ||
    failures+=("valgrind copy")
fi

if [ ${#failures[@]} -gt 0 ]; then
  echo "test-hostile: FAILED: ${failures[*]}"
fi
echo "== sanitizer tests (${SECONDS} s so far)"
ctest --test-dir build/sanitize --output-on-failure || failures+=("sanitizer tests")
[ ${#failures[@]} -eq 0 ]
