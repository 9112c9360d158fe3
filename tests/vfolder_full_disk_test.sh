#!/usr/bin/env bash
# vfolder copy onto a file system that fills up: the messages that did not fit
# say "Cannot write file", the summary counts them and the status is 1. Needs
# a small tmpfs, which only root may mount; elsewhere the test is skipped
# (exit 77), loudly.
set -u
vfolder=$1 mkfolder=$2
work=$(mktemp -d)
disk=$work/disk
cleanup() {
  umount "$disk" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$disk"
if ! mount -t tmpfs -o size=128k tmpfs "$disk" 2>/dev/null; then
  echo "!!! SKIPPED: cannot mount a small tmpfs here (needs root); a full destination is UNTESTED"
  exit 77
fi
printf 'message\nname one\nbody-fill 102400\nmessage\nname two\nbody-fill 102400\nmessage\nname three\nbody-fill 102400\n' \
  >"$work/folder.txt"
"$mkfolder" "$work/folder.txt" "$work/INBOX.IDX" || exit 1
err=$("$vfolder" copy "$work/INBOX.IDX" "$disk" 2>&1)
status=$?
expected="$disk/two: Cannot write file
$disk/three: Cannot write file
vfolder: 3 messages, 1 written, 2 failed"
if [ "$status" -ne 1 ] || [ "$err" != "$expected" ]; then
  printf 'FAIL full destination: status %s\n--- expected\n%s\n--- actual\n%s\n' "$status" "$expected" "$err"
  exit 1
fi
if ! cmp -s "$disk/one" <(head -c 102400 "$work/INBOX.IDM"); then
  echo "FAIL full destination: the message that fitted is not whole"
  exit 1
fi
echo "vfolder on a full file system: all checks passed"
