#!/usr/bin/env bash
# vfolder as a user runs it: list, list --tsv, copy, and its errors.
set -u
vfolder=$1 mkfolder=$2
export TZ=UTC
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

cat > "$work/folder.txt" <<'DESC'
message
  name Re: lunch?
  description Joe\tBloggs\\
  date 12 Mar 00 14:35
  body Hi Joe,\nlunch at one?\n
message
  flags 0x40080
  name Older
  description line\nbreak\x7f
  date 1 Mar 00 00:10
  body-fill 2500
message
  name Common year
  date 1 Mar 01 00:30
  body x
DESC
"$mkfolder" "$work/folder.txt" "$work/INBOX.IDX" || exit 1

tsv=$("$vfolder" list --tsv "$work/INBOX.IDX")
check "list --tsv" "$(printf '0\tRe: lunch?\tJoe\\tBloggs\\\\\t22\t125973417000000000\t125973417000000000\t0\t0
1\tOlder\tline\\nbreak\\x7f\t2500\t125963394000000000\t125963394000000000\t2\t22
2\tCommon year\t\t1\t126278766000000000\t126278766000000000\t0\t2522')" "$tsv"

table=$("$vfolder" list "$work/INBOX.IDX")
check "list table sorted newest first" "Vessor folder: 3 items
Name               Size  Date              Attr  Description
Common year           1  2001-02-28 23:30  --    
Re: lunch?           22  2000-03-12 13:35  --    Joe\\tBloggs\\\\
Older              2500  2000-02-29 23:10  -H    line\\nbreak\\x7f" "$table"
check "list table in local time" "Re: lunch?           22  2000-03-12 08:35  --    Joe\\tBloggs\\\\" \
  "$(TZ=EST5 "$vfolder" list "$work/INBOX.IDX" | grep '^Re: lunch')"

mkdir "$work/out"
err=$("$vfolder" copy "$work/INBOX.IDX" "$work/out" 1 2>&1)
check "copy by position: status" 0 $?
check "copy by position: files" "Older" "$(ls "$work/out")"
check "copy by position: summary" "vfolder: 1 message, 1 written, 0 failed" "$err"
check "copy sets the message date" "2000-02-29 23:10:00" "$(date -u -r "$work/out/Older" '+%F %T')"
"$vfolder" copy "$work/INBOX.IDX" "$work/out" "Re: lunch?"
check "copy by name" "Hi Joe,
lunch at one?" "$(cat "$work/out/Re__lunch_")"

rm "$work/INBOX.IDM"
err=$("$vfolder" copy "$work/INBOX.IDX" "$work/out" 2>&1)
check "copy without data file: status" 1 $?
check "copy without data file: message" "Unable to open Data Folder File: $work/INBOX.IDM
vfolder: 3 messages, 0 written, 3 failed" "$err"

"$mkfolder" "$work/folder.txt" "$work/INBOX.IDX" || exit 1
err=$("$vfolder" copy "$work/INBOX.IDX" "$work/nowhere" 0 2 2>&1)
check "copy into a missing directory: status" 1 $?
check "copy into a missing directory: said once" "vfolder: $work/nowhere: no such directory
vfolder: 2 messages, 0 written, 2 failed" "$err"
mkdir -p "$work/taken/Re__lunch_"
err=$("$vfolder" copy "$work/INBOX.IDX" "$work/taken" 0 2>&1)
check "copy onto a directory: the system's reason" \
  "$work/taken/Re__lunch_: Cannot create file: Is a directory
vfolder: 1 message, 0 written, 1 failed" "$err"

printf 'not a folder' > "$work/notes.txt"
err=$("$vfolder" list "$work/notes.txt" 2>&1)
check "not a folder: status" 2 $?
check "not a folder: message" "vfolder: $work/notes.txt: not a Vessor mail folder" "$err"

err=$("$vfolder" copy "$work/INBOX.IDX" "$work/out" nosuch 2>&1)
check "unknown item: status" 2 $?
check "unknown item: message" "vfolder: $work/INBOX.IDX: no item nosuch" "$err"

err=$("$vfolder" list "$work/nosuch.IDX" 2>&1)
check "missing index: status" 2 $?
check "missing index: the system's reason" \
  "vfolder: $work/nosuch.IDX: cannot read the file: No such file or directory" "$err"
check "missing index for mbox: the system's reason" \
  "vfolder: $work/nosuch.IDX: cannot read the file: No such file or directory" \
  "$("$vfolder" mbox "$work/nosuch.IDX" "$work/o.mbox" 2>&1)"
check "list of a directory" "vfolder: $work/out: is a directory, not a folder's index file" \
  "$("$vfolder" list "$work/out" 2>&1)"
# C1 controls and bytes that are no UTF-8 reach no terminal raw.
check "a path's controls escaped" \
  "vfolder: $work/a\\u009b2Jb\\x9b.IDX: cannot read the file: No such file or directory" \
  "$("$vfolder" list "$work/a$(printf '\302\2332Jb\233').IDX" 2>&1)"

mkdir "$work/empty"
: > "$work/empty/E.IDX"
: > "$work/empty/E.IDM"
table=$("$vfolder" list "$work/empty/E.IDX" 2>&1)
check "empty folder: listed" 0 $?
check "empty folder: no item" "Vessor folder: 0 items
Name        Size  Date              Attr  Description" "$table"

# A name that starts with a digit is a name, not a position.
printf 'message\n  name 1abc\n  body one\nmessage\n  name x\n  body two\n' > "$work/digits.txt"
"$mkfolder" "$work/digits.txt" "$work/empty/D.IDX" || exit 1
printf 'message\n  name Alone\n  body one\n' > "$work/one.txt"
"$mkfolder" "$work/one.txt" "$work/empty/ONE.IDX" || exit 1
check "one message: one item" "Vessor folder: 1 item" "$("$vfolder" list "$work/empty/ONE.IDX" | head -n 1)"
mkdir "$work/digits"
"$vfolder" copy "$work/empty/D.IDX" "$work/digits" 1abc 2>/dev/null
check "ITEM 1abc is a name" "1abc" "$(ls "$work/digits")"

# The reason a directory cannot be made is the system's first one (a
# read-only file system), where the system refuses directories under /sys.
if ! mkdir /sys/vfolder-probe 2>/dev/null; then
  err=$("$vfolder" maildir "$work/INBOX.IDX" /sys/vfolder-probe/box 2>&1)
  check "maildir where no directory can be made" "vfolder: /sys/vfolder-probe/box: cannot make the directory: $(mkdir /sys/vfolder-probe 2>&1 | sed 's/.*: //')
vfolder: 3 messages, 0 written, 3 failed" "$err"
fi

# attachments: a message without any makes nothing, and takes no --exact.
err=$("$vfolder" attachments "$work/INBOX.IDX" "$work/att" 2>&1)
check "attachments of messages without any: status" 0 $?
check "attachments of messages without any: nothing made" \
  "vfolder: 3 messages, 3 written, 0 failed." "$err.$(ls "$work/att")"
for args in "attachments $work/INBOX.IDX" "--exact attachments $work/INBOX.IDX $work/att" \
            "--seen attachments $work/INBOX.IDX $work/att"; do
  "$vfolder" $args >/dev/null 2>&1
  check "usage: $args" 2 $?
done
"$vfolder" --help | grep -q "attachments INDEX OUTDIR"
check "help: attachments" 0 $?

# Each option goes only with the outputs that take it, which the refusal names.
while IFS='|' read -r args said; do
  err=$("$vfolder" $args 2>&1 | head -n 1)
  check "usage: $args" "vfolder: $said" "$err"
done <<'ROWS'
--layout fs mbox I O|--layout goes with maildir
--append maildir I O|--append and --replace go with mbox
--eml mbox I O|--eml goes with copy
--seen copy --eml I O|--seen goes with mbox, maildir, imap and verify
--resume --replace mbox I O|--resume goes with copy --eml, mbox --append and maildir
--exact copy I O|--exact goes with copy --eml, mbox, maildir, imap and verify
--log L imap I O|--log goes with copy, mbox, maildir and attachments
--plugin P imap I O|--plugin goes with list and copy
--dry-run mbox I O|--dry-run, --limit-rate and --max-bytes-per-day go with imap
--max-bytes-per-day 9 maildir I O|--dry-run, --limit-rate and --max-bytes-per-day go with imap
--max-bytes-per-day 0 imap I me@x|--max-bytes-per-day needs a count of bytes
--for gmail maildir I O|--for goes with imap
--ca C mbox I O|--password-file and --ca go with imap and verify
--oauth2-token-command C list I|--oauth2-token-command goes with imap and verify
--oauth2-token-command C --password-file P imap I U|--password-file and --oauth2-token-command: one or the other
--ledger L maildir I O|--ledger goes with imap and --resume
imap I|imap takes INDEX or DIR, and URL
maildir I|maildir takes INDEX and MAILDIR
copy / O|copy takes a directory of folders with --eml only
ROWS

"$vfolder" list >/dev/null 2>&1
check "usage: status" 2 $?
"$vfolder" --help | grep -q "usage: vfolder"
check "help" 0 $?
check "version" "vfolder 1.0.0" "$("$vfolder" --version)"
"$vfolder" --plugin "$work/nothing.so" list "$work/INBOX.IDX" 2>/dev/null
check "missing plug-in: status" 2 $?

[ "$failures" -eq 0 ] && echo "vfolder command line: all checks passed"
exit "$failures"
