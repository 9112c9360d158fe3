#!/usr/bin/env bash
# Every test: installs what is missing, builds, and runs each suite: the Linux
# build, the far2l plug-in in the real far2l, the Windows DLLs under Wine (32- and 64-bit), the release package.
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

# Runs a GoogleTest executable under Wine and adds its counts to the totals;
# its network calls talk to the TLS echo server tests/tls_echo_server.py
# starts beside it.
run_wine_gtest() {
  local log good bad skips
  log=$(mktemp)
  python3 tests/tls_echo_server.py bash scripts/wine-run.sh 1200 "$@" 2>&1 | tee "$log" |
    grep -vE '^\[ +(RUN|OK) +\]'
  good=$(grep -oP '^\[  PASSED  \] \K[0-9]+' "$log" | tail -n 1)
  bad=$(grep -oP '^\[  FAILED  \] \K[0-9]+(?= tests?, listed below)' "$log" | tail -n 1)
  skips=$(grep -oP '^\[  SKIPPED \] \K[0-9]+(?= tests?,)' "$log" | tail -n 1)
  rm -f "$log"
  skipped=$((skipped + ${skips:-0}))
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

# vfolder.exe imap into the same Dovecot as the Linux tests: 3,000 messages
# once, again with none twice, and verify's account of them.
imap_under_wine() {
  local status=0
  python3 tests/imap_test.py "build/$1/vfolder.exe" build/linux/mkfolder windows || status=$?
  if [ "$status" = 77 ]; then
    echo "!!! SKIPPED: $1 vfolder.exe imap: no Dovecot here"
    skipped=$((skipped + 1))
  elif [ "$status" = 0 ]; then
    passed=$((passed + 1))
  else
    echo "FAILED: $1 vfolder.exe imap into Dovecot"
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
  runs=$(cat "${VESSOR_WINEPREFIX:-/root/.cache/vessor-wine}/.vessor-bitnesses" 2>/dev/null)
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
    check "$preset native plug-in's exports and imports" \
      bash scripts/check-dll.sh "$arch-w64-mingw32-objdump" "build/$preset/vessor3.dll"
    if [[ " $runs " != *" $arch "* ]]; then
      echo "!!! SKIPPED: the $preset tests under Wine: this machine cannot run $arch Windows programs"
      skipped=$((skipped + 1))
      continue
    fi
    started=$(date +%s)
    run_wine_gtest "build/$preset/tests/vessor_tests.exe"
    echo "$preset: Wine run took $(($(date +%s) - started)) s"
    imap_under_wine "$preset"
  done
  realhost_suite
  package_suite
}

# The native plug-in in the real file manager under Wine, from ../shared
# (tests/realhost_far3_test.sh): its checks count into the totals.
realhost_suite() {
  echo "== the real file manager, version 3"
  run_counted realhost bash tests/realhost_far3_test.sh
}

# The far2l plug-in in the real far2l in tmux (tests/realhost_far2l_test.sh).
far2l_suite() {
  echo "== the real far2l"
  run_counted far2l bash tests/realhost_far2l_test.sh
}

# run_counted WORD COMMAND...: a suite that ends with "WORD: P passed, F
# failed, S skipped"; its counts go into the totals, and no such line is a
# failure.
run_counted() {
  local word=$1 log summary
  shift
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  summary=$(grep -E "^$word: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$" "$log" | tail -n 1)
  rm -f "$log"
  if [ -z "$summary" ]; then
    echo "FAILED: the $word suite ended without a result"
    failed=$((failed + 1))
    return
  fi
  read -r _ p _ f _ s _ <<<"${summary//,/}"
  passed=$((passed + p))
  failed=$((failed + f))
  skipped=$((skipped + s))
}

# The release package holds both plug-ins, and its vfolder.exe lists a folder
# exactly as the Linux build does and puts a large one out for mail programs
# as it does.
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
  for bits in 32 64; do
    check "the package holds both $bits-bit plug-ins" \
      test -f "$(echo "$work"/vessor-folder-*/$bits-bit/VessorFolder/vessor.dll)" -a \
      -f "$(echo "$work"/vessor-folder-*/$bits-bit/VessorFolder3/vessor3.dll)"
    check "the package's $bits-bit plug-ins carry their version and each folder how to install" \
      bash -c 'for dll in "$1"/VessorFolder/vessor.dll "$1"/VessorFolder3/vessor3.dll; do
          strings -el "$dll" | grep -A1 -x FileVersion | grep -qx "$2" || exit 1
        done
        test -f "$1/INSTALL.txt" -a -f "$1/VessorFolder/INSTALL.txt" -a \
          -f "$1/VessorFolder3/INSTALL.txt"' _ "$(echo "$work"/vessor-folder-*/$bits-bit)" \
      "$(sed -nE 's/^project\(.* VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
  done
  build/linux/mkfolder samples/inbox.txt "$work/INBOX.IDX"
  expected=$(build/linux/vfolder list --tsv "$work/INBOX.IDX")
  bitnesses=64
  if [[ " $runs " == *" i686 "* ]]; then
    bitnesses="32 64"
  else
    echo "!!! SKIPPED: the 32-bit vfolder.exe of the package (no 32-bit Wine here)"
    skipped=$((skipped + 1))
  fi
  for bits in $bitnesses; do
    check "$bits-bit vfolder.exe from the package lists the sample as Linux does" \
      test "$(bash scripts/wine-run.sh 600 "$work"/vessor-folder-*/$bits-bit/vfolder.exe \
        list --tsv "Z:${work//\//\\}\\INBOX.IDX")" = "$expected"
  done
  mail_outputs_of_package "$work"
  rm -rf "$work"
}

# 3,000 realistic messages (tests/make_mail_folder.py) copied, as an mbox and
# as a Maildir, and a directory of 5 folders in 2 levels (one empty, one data
# file in lower case) as an mbox tree, a Maildir tree and an .eml tree, and
# the odd messages as an mbox, with the headers given them, by the Linux build
# and by each vfolder.exe: all the commands of one bitness in one Windows
# command interpreter. Python's mailbox module reads them back.
mail_outputs_of_package() {
  local work=$1 win bits exe line command
  local read_back=(python3 tests/mail_output_test.py)
  local commands=("copy MAIL.IDX copy-@" "mbox MAIL.IDX @.mbox" "maildir MAIL.IDX maildir-@"
    "mbox tree mbox-tree-@" "maildir tree maildir-tree-@" "copy --eml tree eml-tree-@"
    "--charset cp866 mbox ODD.IDX odd-@.mbox")
  win="Z:${work//\//\\}"
  python3 tests/make_mail_folder.py 3000 "$work/mail.txt"
  build/linux/mkfolder "$work/mail.txt" "$work/MAIL.IDX"
  python3 tests/make_mail_folder.py odd "$work/odd.txt"
  build/linux/mkfolder "$work/odd.txt" "$work/ODD.IDX"
  mkdir -p "$work/copy-linux" "$work/copy-32" "$work/copy-64" "$work/tree/Archive"
  for line in tree/Inbox.IDX tree/Sent.IDX tree/Archive/2000.IDX tree/Archive/2001.idx; do
    build/linux/mkfolder "$work/mail.txt" "$work/$line"
  done
  mv "$work/tree/Archive/2001.idM" "$work/tree/Archive/2001.idm"
  : >"$work/tree/Archive/Empty.IDX"
  : >"$work/tree/Archive/Empty.IDM"
  for command in "${commands[@]}"; do
    (cd "$work" && "$OLDPWD/build/linux/vfolder" ${command//@/linux} 2>/dev/null)
  done
  check "Linux vfolder copy writes 3,000 files" \
    test "$(find "$work/copy-linux" -type f | wc -l)" -eq 3000
  check "Linux vfolder mbox: Python reads back the 3,000 messages" \
    "${read_back[@]}" check-mbox "$work/linux.mbox" 3000
  check "Linux vfolder maildir: Python reads back the 3,000 messages" \
    "${read_back[@]}" check-maildir "$work/maildir-linux" 3000
  check "Linux vfolder mbox tree: Python reads back each folder" \
    "${read_back[@]}" check-mbox "$work/mbox-tree-linux/Archive.sbd/2001" 3000
  for bits in $bitnesses; do
    exe=$(echo "$work"/vessor-folder-*/$bits-bit/vfolder.exe)
    {
      echo "cd /d $win"
      for command in "${commands[@]}"; do
        echo "\"Z:${exe//\//\\}\" ${command//@/$bits} 2>nul"
        echo "echo ${command%% *} %ERRORLEVEL%"
      done
    } | sed 's/$/\r/' >"$work/run-$bits.bat"
    line=$(bash scripts/wine-run.sh 900 \
      "${VESSOR_WINEPREFIX:-/root/.cache/vessor-wine}/drive_c/windows/system32/cmd.exe" \
      /c "$win\\run-$bits.bat" | tr -d '\r')
    echo "$line"
    check "$bits-bit vfolder.exe: every command exits 0" \
      test "$(grep -cE '^(copy|mbox|maildir|--charset) 0$' <<<"$line")" -eq ${#commands[@]}
    check "$bits-bit vfolder.exe mbox is the Linux one, byte for byte" \
      cmp "$work/$bits.mbox" "$work/linux.mbox"
    check "$bits-bit vfolder.exe gives the odd messages the Linux build's headers" \
      cmp "$work/odd-$bits.mbox" "$work/odd-linux.mbox"
    check "$bits-bit vfolder.exe maildir: Python reads back the 3,000 messages" \
      "${read_back[@]}" check-maildir "$work/maildir-$bits" 3000
    check "$bits-bit vfolder.exe maildir holds the Linux messages and dates" \
      "${read_back[@]}" same-maildir "$work/maildir-linux" "$work/maildir-$bits"
    check "$bits-bit vfolder.exe mbox tree is the Linux one, byte for byte" \
      diff -r "$work/mbox-tree-$bits" "$work/mbox-tree-linux"
    check "$bits-bit vfolder.exe .eml tree is the Linux one, byte for byte" \
      diff -r "$work/eml-tree-$bits" "$work/eml-tree-linux"
    # Maildir++: Inbox is the tree's own Maildir, the others its subfolders.
    for line in Inbox:. Sent:.Sent Archive/2000:.Archive.2000 Archive/2001:.Archive.2001 \
      Archive/Empty:.Archive.Empty; do
      check "$bits-bit vfolder.exe Maildir tree: ${line%%:*} holds the Linux messages and dates" \
        "${read_back[@]}" same-maildir "$work/maildir-tree-linux/${line#*:}" \
        "$work/maildir-tree-$bits/${line#*:}"
    done
  done
  if [ "$bitnesses" != 64 ]; then
    check "32-bit and 64-bit vfolder.exe copy the same names and bytes" \
      diff -r "$work/copy-32" "$work/copy-64"
  fi
  check "vfolder.exe copies under the Linux build's names and bytes" \
    diff -r "$work/copy-linux" "$work/copy-64"
  check "nothing left behind" test -z "$(find "$work" -name '*.vf*')"
}

# Sanitizer build of every test, bounded fuzz runs and a valgrind run.
hostile_suite() {
  echo "== hostile folders: sanitizers, fuzzing, valgrind"
  run_ctest bash scripts/test-hostile.sh
}

bash scripts/setup.sh || exit 1
linux_suite
far2l_suite
windows_suite
hostile_suite

echo
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
