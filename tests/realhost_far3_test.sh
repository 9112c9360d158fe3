#!/usr/bin/env bash
# The native plug-in in the real file manager (version 3.0 build 6106, 64-bit)
# under Wine, driven through tmux as a user drives it, on a folder of 3,000
# messages: the panel, Ctrl+L, F1, F5 of every message, and the Russian texts.
#   tests/realhost_far3_test.sh [WINDOWS_BUILD_DIR]   (default build/windows-x86_64)
# Needs build/linux's mkfolder and vfolder, and the host in ../shared/realhost.
# Prints each screen it checks, and ends with one line:
#   realhost: P passed, F failed, S skipped
# Without Wine or the host, or when the host shows no screen, it says so and
# counts as skipped. Exits 1 when a check failed.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows-x86_64}
realhost=../shared/realhost
# A session and a Wine prefix of its own: someone may be trying the host by hand.
S=vessor-far3-test
export WINEPREFIX=${REALHOST_WINEPREFIX:-/tmp/realhost-vessor-test/prefix}
mkdir -p "$(dirname "$WINEPREFIX")"
passed=0 failed=0 skipped=0
work=$(mktemp -d)
started=$SECONDS

summary() { echo "realhost: $passed passed, $failed failed, $skipped skipped"; }
finish() {
  bash "$realhost/run.sh" --stop "$S" >/dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT

skip() {
  cat <<MSG
!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
!!! The real-host suite was SKIPPED: $1
!!! The native plug-in is UNTRIED in the real file manager.
!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
MSG
  skipped=$((skipped + 1))
  summary
  exit 0
}

[ -f "$realhost/run.sh" ] && [ -f "$realhost/far3-x64/Far.exe" ] || skip "no host in $realhost"
[ -x /usr/lib/wine/wine64 ] || skip "no 64-bit Wine (/usr/lib/wine/wine64)"
# shellcheck source=/dev/null
source "$realhost/keys.sh"

# show TITLE [SED_LINES]: the lines of the screen that a check read (all of
# them after a failure), indented, for the log.
show() {
  local lines=${2:-p}
  [ "$failed" -gt 0 ] && lines=p
  echo "-- screen: $1"
  screen | sed -n "$lines" | sed 's/^/   |/'
}
ok() {
  echo "ok: $1"
  passed=$((passed + 1))
}
bad() {
  echo "FAILED: $1"
  failed=$((failed + 1))
}
# expect WHAT REGEX [SECONDS]: the screen comes to match REGEX.
expect() {
  if wait_for "$2" "${3:-60}"; then ok "$1"; else bad "$1"; fi
}

# start [HOST ARGS...]: the host with the plug-in, its language and help files,
# the folder on the left and the output directory on the right.
start() {
  local log
  if ! log=$(bash "$realhost/run.sh" far3-x64 "$build/vessor3.dll" "$S" -- "$@" \
    "$work/mail" "$work/out" 2>&1); then
    echo "$log"
    skip "the host did not start or showed no screen (run.sh above)"
  fi
  echo "$log"
  # run.sh brings only the DLL; the host reads a plug-in's texts when it
  # first needs them, which is after this.
  cp "$build"/VessorFolder{Eng,Rus}.{lng,hlf} "/tmp/realhost/$S/host/Plugins/Plugin/"
}

# open: the cursor onto INBOX.IDX (it sorts after INBOX.IDM), Enter.
open_folder() {
  wait_for 'INBOX\.IDX' 60 || return 1
  end_
  key Enter
}

for file in vessor3.dll VessorFolderEng.lng VessorFolderRus.lng VessorFolderEng.hlf \
  VessorFolderRus.hlf; do
  if [ ! -f "$build/$file" ]; then
    bad "the build holds $file"
    summary
    exit 1
  fi
done
mkdir -p "$work/mail" "$work/out" "$work/expected"
python3 tests/make_mail_folder.py 3000 "$work/mail.txt"
build/linux/mkfolder "$work/mail.txt" "$work/mail/INBOX.IDX" >/dev/null
# The newest message: the first row of the panel and its status line.
IFS=$'\t' read -r newest_name newest_size newest_date < <(build/linux/vfolder list \
  "$work/mail/INBOX.IDX" | sed -n 3p |
  sed -E 's/^(.*[^ ]) +([0-9]+)  ([0-9-]+ [0-9:]+) .*/\1\t\2\t\3/')
newest_date=$(date -d "$newest_date" '+%m/%d/%y %H:%M')
help_title=$(sed -n '/^@Contents/{n;s/^\$ *#\(.*\)#.*/\1/p;q}' "$build/VessorFolderEng.hlf")

start
open_folder
expect "the panel opens the folder under the plug-in's title" '═ Vessor folder ═' 120
expect "view 7's columns: Name, Description, Date, Time, Size" \
  '^║.*Name.*│.*Description.*│.*Date.*│.*Time.*│.*Size'
expect "the newest message's name, size and date in the status line" \
  "║$newest_name +$newest_size $newest_date║"
expect "the first row shows its date and time" "^║[^║]*│${newest_date/ /│}│"
show "the folder, view 7" "1,4p;28,32p"

key C-l
if wait_for 'Index file' 60; then
  expect "Ctrl+L: the index file" '║ Index file .*INBOX\.IDX ║'
  expect "Ctrl+L: the data folder file" '║ Data folder file .*INBOX\.IDM ║'
  expect "Ctrl+L: 3,000 messages" '║ Messages +3,000 ║'
  show "Ctrl+L" "1p;19,32p"
else
  show "Ctrl+L"
  bad "Ctrl+L shows the folder's facts"
fi
key C-l
expect "Ctrl+L again gives the right panel back" 'files: 3000.*╝╚.*files: 0,' 60

key F1
if wait_for "Help - $help_title" 60; then
  ok "F1 shows the plug-in's help topic \"$help_title\""
  show "F1" "3,12p"
else
  show "F1"
  bad "F1 shows the plug-in's help topic \"$help_title\""
fi
key Escape
wait_for 'files: 3000.*╝╚.*files: 0,' 60 || bad "Escape closes the help"

home
select_to_end
key F5
if wait_for 'Copy 3000 messages to:' 60; then
  ok "F5 of every message asks where the 3,000 go"
  show "F5" "12,18p;28,29p"
  copy_started=$SECONDS
  key Enter
  expect "the output panel shows 3,000 files" 'files: 3000.*╝╚.*files: 3000,' 120
  echo "F5 of 3,000 messages took $((SECONDS - copy_started)) s"
  show "after F5" "1,5p;30p"
  # The host copies in the panel's order, newest first, and that order picks
  # which of two equal names gets the "(2)".
  build/linux/vfolder list --tsv "$work/mail/INBOX.IDX" | sort -t $'\t' -k5,5nr | cut -f1 |
    xargs build/linux/vfolder copy "$work/mail/INBOX.IDX" "$work/expected" >/dev/null 2>&1
  if [ "$(find "$work/out" -type f | wc -l)" -eq 3000 ] &&
    diff -r "$work/expected" "$work/out" >"$work/diff" 2>&1; then
    ok "F5 wrote 3,000 files with vfolder copy's names and bytes"
  else
    head -n 20 "$work/diff"
    bad "F5 wrote 3,000 files with vfolder copy's names and bytes"
  fi
else
  show "F5"
  bad "F5 of every message asks where the 3,000 go"
fi

bash "$realhost/run.sh" --stop "$S" >/dev/null 2>&1
rm -rf "$work/out"
mkdir "$work/out"
start -set:Language.Main=Russian -set:Language.Help=Russian
open_folder
expect "in Russian, the panel opens under the Russian title" '═ Папка Vessor ═' 120
key F5
if wait_for 'Копировать 1 сообщение в:' 60; then
  ok "in Russian, F5 asks in Russian"
else
  bad "in Russian, F5 asks in Russian"
fi
show "F5 in Russian" "1,2p;12,19p;31,32p"
key Escape

echo "the real host took $((SECONDS - started)) s"
summary
[ "$failed" -eq 0 ]
