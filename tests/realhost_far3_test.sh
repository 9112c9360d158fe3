#!/usr/bin/env bash
# The native plug-in in the real file manager (version 3.0 build 6106, 64-bit)
# under Wine, driven through tmux as a user drives it, on a folder of 3,000
# messages: the panel, Ctrl+L, F1, F5 of every message as message files, as
# one mbox, as a Maildir and as .eml files, Esc during F5 of 30,000 as one
# mbox and F5 of the rest, F11's conversion of a directory of
# five folders, and the Russian texts.
#   tests/realhost_far3_test.sh [WINDOWS_BUILD_DIR]   (default build/windows-x86_64)
# Needs build/linux's mkfolder and vfolder, and the host in ../shared/realhost.
# Prints each screen it checks, and ends with one line:
#   realhost: P passed, F failed, S skipped
# Without Wine or the host, or when the host shows no screen, it says so and
# counts as skipped. Exits 1 when a check failed.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows-x86_64}
realhost=${REALHOST_DIR:-../shared/realhost}  # beside the main checkout
# A session and a Wine prefix of its own: someone may be trying the host by hand
# (REALHOST_SESSION and REALHOST_WINEPREFIX name others, for two runs at once).
S=${REALHOST_SESSION:-vessor-far3-test}
export WINEPREFIX=${REALHOST_WINEPREFIX:-/tmp/realhost-vessor-test/prefix}
mkdir -p "$(dirname "$WINEPREFIX")"
suite=realhost title="real-host suite" untried="The native plug-in is UNTRIED in the real file manager."
logs=
# shellcheck source=tests/realhost_lib.sh
source tests/realhost_lib.sh
quit_host() { bash "$realhost/run.sh" --stop "$S"; }

[ -f "$realhost/run.sh" ] && [ -f "$realhost/far3-x64/Far.exe" ] || skip "no host in $realhost"
[ -x /usr/lib/wine/wine64 ] || skip "no 64-bit Wine (/usr/lib/wine/wine64)"
# key, text, home, end_, select_to_end, screen, wait_for.
# shellcheck source=/dev/null
source "$realhost/keys.sh"
screen_colours() { tmux capture-pane -e -p -t "$S"; }

# start [HOST ARGS...]: the host with the plug-in, its language and help files,
# the folder on the left and the output directory on the right.
start() {
  local log
  if ! log=$(bash "$realhost/run.sh" far3-x64 "$build/vessor3.dll" "$S" -- "$@" \
    "${left:-$work/mail}" "${right:-$work/out}" 2>&1); then
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
# The folder to stop a save of as one mbox, made meanwhile: its last 3,900
# messages are undated (years past 2049), all of one time.
mkdir -p "$work/big" "$work/big-out"
{
  python3 tests/make_mail_folder.py 30000 "$work/big.txt" &&
    build/linux/mkfolder "$work/big.txt" "$work/big/INBOX.IDX" &&
    build/linux/vfolder mbox "$work/big/INBOX.IDX" "$work/big-expected.mbox"
} >/dev/null 2>&1 &
big_made=$!
# The newest message: the first row of the panel and its status line.
IFS=$'\t' read -r newest_name newest_size newest_date < <(build/linux/vfolder list \
  "$work/mail/INBOX.IDX" | sed -n 3p |
  sed -E 's/^(.*[^ ]) +([0-9]+)  ([0-9-]+ [0-9:]+) .*/\1\t\2\t\3/')
newest_date=$(date -d "$newest_date" '+%m/%d/%y %H:%M')
help_title=$(sed -n '/^@Contents/{n;s/^\$ *#\(.*\)#.*/\1/p;q}' "$build/VessorFolderEng.hlf")

start
open_folder
expect "the panel opens the folder under the plug-in's title" '═ Vessor folder ═' 120
# From "..", the first row, onto the newest message.
key Down
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
  show "F5" "10,22p"
  if screen_has '\(•\) Message files' '\( \) \.eml files' '\( \) One mbox file' '\( \) A Maildir' \
    '\[ \] Mark as read' '\{ Copy \} \[ Cancel \]'; then
    ok "the dialog offers the four formats, message files marked, and Mark as read"
  else
    bad "the dialog offers the four formats, message files marked, and Mark as read"
  fi
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

# save_as KEY WHAT FILES: every message saved through the dialog's format
# KEY (Alt+KEY), until the right panel counts FILES files.
save_as() {
  home
  select_to_end
  key F5
  if ! wait_for 'Save as:' 60; then
    show "F5 as $2"
    bad "F5 shows the dialog for $2"
    return 1
  fi
  key "M-$1"
  local started=$SECONDS
  key Enter
  expect "F5 as $2 ends, the items unselected" \
    "Bytes: [0-9.]+ M, files: 3000, folders: 0 .*files: $3, folders: ${4:-0}" 300
  echo "F5 of 3,000 messages as $2 took $((SECONDS - started)) s"
}
build/linux/vfolder mbox "$work/mail/INBOX.IDX" "$work/expected.mbox" >/dev/null
if save_as m "one mbox" 3001; then
  if cmp "$work/expected.mbox" "$work/out/INBOX.mbox" &&
    python3 tests/mail_output_test.py check-mbox "$work/out/INBOX.mbox" 3000; then
    ok "F5 as one mbox: INBOX.mbox is vfolder mbox's, and Python reads its 3,000 messages"
  else
    bad "F5 as one mbox: INBOX.mbox is vfolder mbox's, and Python reads its 3,000 messages"
  fi
fi
if save_as d "a Maildir" 3001 1; then
  build/linux/vfolder maildir "$work/mail/INBOX.IDX" "$work/expected-maildir" >/dev/null
  if python3 tests/mail_output_test.py same-maildir "$work/expected-maildir" "$work/out/INBOX" &&
    { ! command -v doveadm >/dev/null ||
      python3 tests/dovecot_test.py count-maildir "$work/out/INBOX" 3000; }; then
    ok "F5 as a Maildir: vfolder maildir's messages and dates, which Dovecot reads"
  else
    bad "F5 as a Maildir: vfolder maildir's messages and dates, which Dovecot reads"
  fi
fi
if save_as e ".eml files" 6001 1; then
  if [ "$(find "$work/out" -maxdepth 1 -name '*.eml' | wc -l)" -eq 3000 ]; then
    ok "F5 as .eml files: 3,000 of them"
  else
    bad "F5 as .eml files: 3,000 of them"
  fi
fi

# A long save shows its progress; Esc asks whether to stop, and the files
# written until then are whole messages: each is one of the .eml files above.
ls "$work/out" >"$work/before"
home
select_to_end
key F5
wait_for 'Save as:' 60 && key M-e && key Enter
if wait_for 'Saving [0-9,]+ of 3,000 messages' 30; then
  ok "a save of over a second shows its progress"
  show "the progress" "10,20p"
  key Escape
  if wait_for 'Stop saving\? What is saved so far stays\.' 30; then
    ok "Esc asks whether to stop"
    show "Esc" "10,20p"
    key Enter
    # One box tells what the stopped save saved; Enter closes it.
    expect "after Yes one box tells what the stopped save saved" \
      '3,000 messages: [0-9,]+ saved, 0 failed' 60
    key Enter
    # Done when the box is gone and the directory stands still: the file
    # being written when Yes came is removed after the box closes.
    count=-1
    for _ in $(seq 1 300); do
      now=$(ls "$work/out" | wc -l)
      [ "$now" = "$count" ] && ! screen_has 'Saving|Stop saving' && break
      count=$now
      sleep 0.2
    done
    ls "$work/out" | comm -13 "$work/before" - | sed "s|^|$work/out/|" >"$work/stopped"
    if [ -s "$work/stopped" ] && [ "$(wc -l <"$work/stopped")" -lt 3000 ] &&
      python3 - "$work/stopped" "$work/out" <<'PY'
import hashlib, os, sys
before = {hashlib.sha1(open(os.path.join(sys.argv[2], n), "rb").read()).digest()
          for n in os.listdir(sys.argv[2]) if n.endswith(".eml") and "_(2)" not in n}
made = [line.rstrip("\n") for line in open(sys.argv[1])]
sys.exit(0 if all(hashlib.sha1(open(p, "rb").read()).digest() in before for p in made) else 1)
PY
    then
      ok "Yes stops: $(wc -l <"$work/stopped") of 3,000 written, each a whole message"
    else
      bad "Yes stops with fewer than 3,000 written, each a whole message"
    fi
  else
    show "Esc"
    bad "Esc asks whether to stop"
  fi
elif wait_for 'files: 3000, folders: 0 .*files: 9001, folders: 1' 5; then
  skip_check "the progress was not seen: the save took under a second"
else
  show "F5 as .eml files again"
  bad "a save of over a second shows its progress"
fi

# F11 on a file panel: a directory of five folders in two levels (one empty,
# one data folder file in lower case) converted as an mbox tree is the tree
# vfolder mbox makes of it.
stop
mkdir -p "$work/trees/tree/Archive" "$work/tree-out"
python3 tests/make_mail_folder.py 200 "$work/small.txt"
for line in Inbox.IDX Sent.IDX Archive/2000.IDX Archive/2001.idx; do
  build/linux/mkfolder "$work/small.txt" "$work/trees/tree/$line" >/dev/null
done
mv "$work/trees/tree/Archive/2001.idM" "$work/trees/tree/Archive/2001.idm"
: >"$work/trees/tree/Archive/Empty.IDX"
: >"$work/trees/tree/Archive/Empty.IDM"
build/linux/vfolder mbox "$work/trees" "$work/expected-tree" >/dev/null
left=$work/trees right=$work/tree-out start
wait_for '║tree ' 60
end_
key F11
if wait_for 'Convert mail folders…' 60; then
  key Enter
  if wait_for 'Convert 1 item to:' 60; then
    show "F11, Convert mail folders" "10,22p"
    key Enter
    expect "F11 ends, the other panel shows the tree" '║tree\.sbd ' 120
    if diff -r "$work/expected-tree" "$work/tree-out" >"$work/diff" 2>&1; then
      ok "F11 converts the directory into vfolder mbox's tree"
    else
      head -n 20 "$work/diff"
      bad "F11 converts the directory into vfolder mbox's tree"
    fi
  else
    show "F11"
    bad "F11's entry shows the dialog of whole folders"
  fi
else
  show "F11"
  bad "F11 offers \"Convert mail folders…\""
fi

# Esc and Yes during F5 of 30,000 messages as one mbox, in the panel's own
# order, by date (the host carries the selection over by name, many names
# repeat, and the undated messages tie): exactly the messages saved lose
# their selection, so that F5 again saves exactly the rest. The first Esc
# waits in the input behind Enter and its question comes before the first
# message: No; the second lands while the messages go: Yes.
stop
wait "$big_made"
left=$work/big right=$work/big-out start
open_folder
wait_for 'files: 30000' 120
home
select_to_end
key F5
if wait_for 'Copy 30000 messages to:' 60; then
  key M-m
  tmux send-keys -t "$S" Enter Escape
  wait_for 'Stop saving\?' 60 && tmux send-keys -t "$S" Right Enter
  for _ in $(seq 1 50); do screen_has 'Stop saving' || break; sleep 0.1; done
  tmux send-keys -t "$S" Escape
fi
if wait_for 'Stop saving\? What is saved so far stays\.' 60; then
  show "Esc during F5 of 30,000 as one mbox" "10,20p"
  key Enter
  expect "after Yes during F5 as one mbox one box tells what was saved" \
    '30,000 messages: [0-9,]+ saved, 0 failed' 60
  key Enter
  wait_for 'files: 30000, folders: 0 .*files: 1, folders: 0' 60
  key F5
  wait_for 'Copy [0-9]+ messages? to:' 60
  left_over=$(screen | sed -nE 's/.*Copy ([0-9]+) messages? to:.*/\1/p')
  show "F5 again: what is still selected" "10,20p"
  key M-m
  key Enter
  wait_for 'files: 30000, folders: 0 .*files: 2, folders: 0' 120
  # Done when the second mbox stands still.
  wait_still "$work/big-out/INBOX_(2).mbox"
  if python3 tests/mail_output_test.py split-mbox "$work/big-expected.mbox" \
    "$work/big-out/INBOX.mbox" "$work/big-out/INBOX_(2).mbox"; then
    ok "Esc and Yes during F5 as one mbox: F5 of the ${left_over:-?} still selected saves the rest, every message once in the two"
  else
    bad "Esc and Yes during F5 as one mbox: F5 of what is still selected saves the rest, every message once in the two"
  fi
else
  show "Esc during F5 of 30,000 as one mbox"
  bad "Esc during F5 of 30,000 as one mbox asks whether to stop"
fi

# Inside a message: a Cyrillic quoted-printable text, a PDF named by RFC 2231
# in Cyrillic and a uuencoded file become Message.txt (read in the viewer in
# the right letters), the PDF under its name and the file under its own;
# F5 gives their decoded bytes, Ctrl+PgUp goes back to the message.
stop
mkdir -p "$work/parts-mail" "$work/parts-out"
python3 - "$work" <<'PY'
import base64, sys
work = sys.argv[1]
pdf = b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n"
message = (
    "From: =?UTF-8?B?0JDQvdC90LA=?= <anna@example.org>\nTo: bob@example.org\n"
    "Subject: =?UTF-8?B?0J7RgtGH0ZHRgiDQt9CwINC60LLQsNGA0YLQsNC7?=\n"
    "Date: Sun, 12 Mar 2000 14:35:00 +0300\nMIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\n\n--b1\n"
    "Content-Type: text/plain; charset=windows-1251\nContent-Transfer-Encoding: quoted-printable\n\n"
    "=C4=EE=E1=F0=FB=E9 =E4=E5=ED=FC! =CE=F2=F7=B8=F2 =E2=EE =E2=EB=EE=E6=E5=ED=E8=E8.\n--b1\n"
    "Content-Type: application/pdf\nContent-Disposition: attachment;\n"
    " filename*0*=UTF-8''%D0%9E%D1%82%D1%87%D1%91%D1%82%20%D0%B7%D0%B0%20;\n"
    " filename*1*=%D0%BA%D0%B2%D0%B0%D1%80%D1%82%D0%B0%D0%BB.pdf\n"
    "Content-Transfer-Encoding: base64\n\n" + base64.encodebytes(pdf).decode() +
    "--b1\nContent-Type: text/plain\n\nSee the file below.\n\n"
    "begin 644 hello.txt\n&:&5L;&\\*\n`\nend\n--b1--\n")
open(work + "/parts.pdf", "wb").write(pdf)
open(work + "/parts.eml", "w").write(message)
escaped = message.replace("\\", "\\\\").replace("\n", "\\n")
open(work + "/parts.txt", "w").write("message\nname Report\ndate 12 Mar 00 14:35\nbody " + escaped + "\n")
PY
build/linux/mkfolder "$work/parts.txt" "$work/parts-mail/INBOX.IDX" >/dev/null
left=$work/parts-mail right=$work/parts-out start
open_folder
wait_for '═ Vessor folder ═' 120
key Down
key Enter
if wait_for 'Vessor folder: Report' 60 &&
  screen_has '║Message\.txt' '║hello\.txt' '║Отчёт за кв' '║Original\.em'; then
  ok "Enter on a message shows Message.txt, the PDF under its Cyrillic name, hello.txt, Original.eml"
  show "inside the message" "1,8p"
  home
  key Down
  key Down
  key F3
  if wait_for 'Добрый день! Отчёт во вложении\.' 60 && screen_has '^From: Анна <anna@example\.org>'; then
    ok "F3 on Message.txt shows the header lines and the text in Cyrillic"
    show "F3 on Message.txt" "1,8p"
  else
    show "F3 on Message.txt"
    bad "F3 on Message.txt shows the header lines and the text in Cyrillic"
  fi
  key Escape
  wait_for 'Vessor folder: Report' 60
  home
  select_to_end
  key F5
  if wait_for 'Copy 4 items to:' 60; then
    key Enter
    wait_for 'files: 4, folders: 0 .*files: 4, folders: 0' 60
    if cmp -s "$work/parts.pdf" "$work/parts-out/Отчёт за квартал.pdf" &&
      [ "$(cat "$work/parts-out/hello.txt")" = hello ] &&
      cmp -s "$work/parts.eml" "$work/parts-out/Original.eml" &&
      grep -q 'Добрый день' "$work/parts-out/Message.txt"; then
      ok "F5 of the parts gives the decoded PDF, hello.txt, the message's bytes and its text"
    else
      ls -la "$work/parts-out"
      bad "F5 of the parts gives the decoded PDF, hello.txt, the message's bytes and its text"
    fi
  else
    show "F5 inside the message"
    bad "F5 inside the message asks where the 4 parts go"
  fi
  key C-PageUp
  expect "Ctrl+PgUp goes back to the message, the cursor on it" \
    '║Report +[0-9]+ 03/12/00 [0-9:]+║'
else
  show "Enter on a message"
  bad "Enter on a message shows Message.txt, the PDF under its Cyrillic name, hello.txt, Original.eml"
fi

stop
rm -rf "$work/out"
mkdir "$work/out"
start -set:Language.Main=Russian -set:Language.Help=Russian
open_folder
expect "in Russian, the panel opens under the Russian title" '═ Папка Vessor ═' 120
key F5
if wait_for 'Копировать 1 сообщение в:' 60 &&
  screen_has 'Сохранить как:' 'Файлы сообщений' 'Файлы \.eml' 'Один файл mbox' 'Каталог Maildir' \
    'Пометить прочитанными' '\{ Копировать \} \[ Отмена \]'; then
  ok "in Russian, F5's dialog is in Russian"
else
  bad "in Russian, F5's dialog is in Russian"
fi
show "F5 in Russian" "10,22p"
key Escape
# A stop in Russian: every message as .eml files, Esc while they go, Yes:
# one box tells what was saved.
sleep 1
home
select_to_end
key F5
wait_for 'Копировать 3.{0,3}000 сообщений в:' 60 && key M-e && sleep 1 && key Enter
if wait_for 'Сохраняется .* из 3.{0,3}000 сообщений' 30; then
  key Escape
  wait_for 'Прервать сохранение\? Уже сохранённое останется\.' 30 && key Enter
  expect "in Russian, after Yes one box tells what the stopped save saved" \
    '3.{0,3}000 сообщений: сохранено [0-9].*, не сохранено 0' 60
  show "stopped, in Russian: the summary" "8,24p"
  key Enter
elif [ "$(find "$work/out" -name '*.eml' | wc -l)" -eq 3000 ]; then
  skip_check "in Russian, the progress was not seen: the save took under a second"
else
  show "F5 of 3,000 as .eml files in Russian"
  bad "in Russian, a save of over a second shows its progress"
fi
stop

# A Western name with no code page chosen: the folder's messages declare
# windows-1252, and Ctrl+L's facts in the other panel tell so, in English
# and in Russian (wide and tall enough for the code page's line).
mkdir -p "$work/western"
make_western_folder "$work/western/INBOX.IDX"
for language in English Russian; do
  from="from the folder"
  [ "$language" = Russian ] && from="по письмам папки"
  COLS=120 ROWS=40 left=$work/western start -set:Language.Main=$language
  open_folder
  key C-l
  if wait_for "windows-1252 \\($from\\)" 60 && screen_has '║ ?Jürgen Müller' 'Grüße'; then
    ok "$language, no code page chosen: the Western name shows right, Ctrl+L says windows-1252 ($from)"
  else
    bad "$language, no code page chosen: the Western name shows right, Ctrl+L says windows-1252 ($from)"
  fi
  show "code page from the folder, $language"
  stop
done

# In Russian, inside the message of the parts above: the panel's title, its
# own items and Ctrl+L's header labels in Russian; F5 asks in Russian and
# writes the items under the names shown.
stop
mkdir -p "$work/parts-ru"
left=$work/parts-mail right=$work/parts-ru start -set:Language.Main=Russian -set:Language.Help=Russian
open_folder
wait_for '═ Папка Vessor ═' 120
key Down
key Enter
if wait_for 'Папка Vessor: Report' 60 && screen_has '║Сообщение\.t' '║Исходное со'; then
  ok "in Russian, the parts panel's title and its own items are in Russian"
else
  bad "in Russian, the parts panel's title and its own items are in Russian"
fi
show "inside the message in Russian" "1,8p"
key C-l
if wait_for '║ От .*anna@example\.org' 60 && screen_has '║ Кому .*bob@example\.org' '║ Копия ' \
  '║ Дата .*2000' '║ Тема .*Отчёт'; then
  ok "in Russian, Ctrl+L labels the header lines От, Кому, Копия, Дата, Тема"
else
  bad "in Russian, Ctrl+L labels the header lines От, Кому, Копия, Дата, Тема"
fi
show "Ctrl+L inside the message in Russian"
key C-l
home
select_to_end
key F5
if wait_for 'Копировать 4 элемента в:' 60; then
  key Enter
  for _ in $(seq 1 100); do [ -f "$work/parts-ru/Исходное сообщение.eml" ] && break; sleep 0.3; done
fi
if cmp -s "$work/parts.eml" "$work/parts-ru/Исходное сообщение.eml" &&
  grep -q 'Добрый день' "$work/parts-ru/Сообщение.txt" 2>/dev/null; then
  ok "in Russian, F5 asks for 4 items and writes them under the names shown"
else
  show "F5 inside the message in Russian"
  ls -la "$work/parts-ru"
  bad "in Russian, F5 asks for 4 items and writes them under the names shown"
fi

# A folder of three (uuencoded_messages): F11 converts the active panel's
# selection; newest first, the undated last; F5 into a directory under a
# file gives the system's reason in its box; F4 opens no editor (on a
# message or a part); Enter on the message with a uuencoded file shows its
# parts. In English, then in Russian.
mkdir -p "$work/uu" "$work/uu-out"
python3 tests/make_mail_folder.py uuencoded "$work/uu.txt"
build/linux/mkfolder "$work/uu.txt" "$work/uu/INBOX.IDX" >/dev/null
printf 'in the way' >"$work/blocked"
for language in English Russian; do
  stop
  left=$work/uu right=$work/uu-out start -set:Language.Main=$language -set:Language.Help=$language
  # F11 on the file panel with its two files selected: their conversion.
  wait_for 'INBOX\.IDX' 60
  end_
  key IC
  key Up
  key IC
  entry='Convert mail folders…' question='Convert 2 items to:' mark='Mark as read' mark_key=M-r
  told='[0-9]+ messages?: 0 saved, [0-9]+ failed' cannot='(directory|file)'
  # Under Wine the host takes Alt and the Cyrillic letter itself.
  [ $language = Russian ] && entry='Преобразовать почтовые папки…' question='Преобразовать 2 элемента в:' \
    mark='Пометить прочитанными' mark_key=M-п told='[0-9]+ сообщени.*: сохранено 0, не сохранено [0-9]+' \
    cannot='(каталог|файл)'
  key F11
  wait_for "$entry" 60 && key Enter
  expect "$language: F11 starts from the active panel with its selection: \"$question\"" "$question" 60
  show "$language: F11 with two files selected" "8,24p"
  # Into a directory under a file; "Mark as read" follows the format of
  # whole folders chosen; the convert's box tells what failed and why.
  key C-y
  text "$(winpath "$work/blocked/out")"
  mark_follows_format "$language, F11" "$mark" "$mark_key"
  key Enter
  if wait_for "$told" 60 && screen_has "$cannot \\([^)]+\\): Z:.*blocked.out"; then
    ok "$language: F11's convert into a directory under a file: one box tells what failed and why"
  else
    bad "$language: F11's convert into a directory under a file: one box tells what failed and why"
  fi
  show "$language: F11's convert summary" "8,24p"
  key Enter
  sleep 1
  open_folder
  wait_for 'Undated not' 120
  # The rows from the top, once the host has sorted them.
  order=
  for _ in $(seq 1 50); do
    order=$(screen | sed -n '3,7p' | grep -oE '^║(\.\. |Newer note|Uuencoded f|Undated not)' |
      sed 's/^║//;s/ $//' | paste -sd, -)
    [ "$order" = '..,Newer note,Uuencoded f,Undated not' ] && break
    sleep 0.2
  done
  if [ "$order" = '..,Newer note,Uuencoded f,Undated not' ]; then
    ok "$language: \"..\" first, then the newest message, the undated last"
  else
    bad "$language: \"..\" first, then the newest message, the undated last (${order:-nothing})"
  fi
  show "$language: newest first" "1,8p"
  # F5 of the newest: "Mark as read" follows the format chosen (Esc leaves
  # the choice kept as it was); then into a directory under a file.
  home
  key Down
  key F5
  wait_for '(Save as|Сохранить как):' 60 && mark_follows_format "$language, F5" "$mark" "$mark_key"
  key Escape
  sleep 1
  key F5
  if wait_for '(Save as|Сохранить как):' 60; then
    key C-y
    text "$(winpath "$work/blocked/out")"
    key Enter
  fi
  saving=Saving
  [ $language = Russian ] && saving=Сохранение
  if wait_for "$saving" 60 && screen_has '(file|directory|файл|каталог) \([^)]+\): Z:.*blocked.out'; then
    ok "$language: F5 into a directory under a file: the box gives the system's reason"
  else
    bad "$language: F5 into a directory under a file: the box gives the system's reason"
  fi
  show "$language: the system's reason" "8,24p"
  key Enter
  # F4 is offered nowhere: its label is blank, and the key opens no editor.
  wait_for 'Undated not' 60
  key F4
  sleep 2
  if screen_has 'Vessor' 'Undated not' '4 {6,}5' && ! screen_has 'Col [0-9]'; then
    ok "$language: F4 on a message: a blank label, and no editor"
  else
    bad "$language: F4 on a message: a blank label, and no editor"
  fi
  # Enter on the message whose text holds a uuencoded file: its parts.
  key Down
  key Enter
  own=Message
  [ $language = Russian ] && own=Сообщение
  if wait_for '║report\.dat' 60 && screen_has '(Vessor|Папка).*: Uuencoded file' '║\.\. ' "║$own\\.t"; then
    ok "$language: Enter on a message with a uuencoded file shows its parts, \"..\" first"
  else
    bad "$language: Enter on a message with a uuencoded file shows its parts, \"..\" first"
  fi
  show "$language: the parts of a message with a uuencoded file" "1,8p"
  key Down
  key F4
  sleep 2
  if screen_has 'Vessor' '║report\.dat' '4 {6,}5' && ! screen_has 'Col [0-9]'; then
    ok "$language: F4 on a part: a blank label, and no editor"
  else
    bad "$language: F4 on a part: a blank label, and no editor"
  fi
done

# F5 of the 3,000 messages into a mail account: a throwaway Dovecot on
# 127.0.0.1 (tests/imap_test.py serve) whose authority the host is given in
# SSL_CERT_FILE; vfolder verify then finds each message there once. The
# dialog in English and in Russian, the password shown as stars only.
stop
if start_account_server; then
  for language in English Russian; do
    args=() hot=M-a title='Mail account' server='Server: imaps://' saving='Sending [0-9,]+ of 3,000'
    if [ $language = Russian ]; then
      args=(-set:Language.Main=Russian -set:Language.Help=Russian) hot=M-i
      title='Почтовая учётная запись' server='Сервер: imaps://' saving='Отправляется [0-9 ,]+ из 3'
    fi
    # The host takes the authority from its environment: a new tmux server
    # has run.sh's, one that runs already its global one.
    export SSL_CERT_FILE="Z:${account_ca//\//\\}"
    tmux set-environment -g SSL_CERT_FILE "$SSL_CERT_FILE" 2>/dev/null
    start "${args[@]}"
    tmux set-environment -gu SSL_CERT_FILE 2>/dev/null
    unset SSL_CERT_FILE
    open_folder
    wait_for 'in 3[ ,.]?000 files' 120
    home
    select_to_end
    key F5
    wait_for '(Save as|Сохранить как):' 60
    key "$hot"
    key Enter
    if ! wait_for "$server" 20 || ! screen_has "$title"; then
      show "$language: the account's dialog"
      bad "$language: F5's dialog offers a mail account, whose dialog asks for the server"
      continue
    fi
    # Wine's console takes typed keys slowly: each line is seen before Tab.
    text "$account_server/Far3-$language"
    wait_for "Far3-$language" 20
    key Tab
    text "$account_user"
    wait_for "║ $account_user " 20
    key Tab
    text "$account_password"
    wait_for '\*{8,}' 20
    show "$language: the account's dialog" "6,24p"
    if screen_has "$account_server/Far3-$language" "$account_user" '\*{8,}' &&
      ! screen_has "$account_password"; then
      ok "$language: the account's dialog shows the server and the user, the password as stars only"
    else
      bad "$language: the account's dialog shows the server and the user, the password as stars only"
    fi
    key Enter
    wait_for "$saving" 30 && show "$language: sending into the mail account" "6,24p"
    t0=$SECONDS
    until ! screen_has "$saving" || [ $((SECONDS - t0)) -ge 300 ]; do sleep 0.5; done
    sleep 1
    verified=$(VFOLDER_PASSWORD=$account_password build/linux/vfolder --ca "$account_ca" verify \
      "$work/mail/INBOX.IDX" "$account_url/Far3-$language" 2>&1)
    if [ "$verified" = "3000 messages: 3000 present, 0 missing, 0 twice, 0 changed" ]; then
      ok "$language: F5 into a mail account: vfolder verify finds the 3,000 there, each once"
    else
      show "$language: after the send"
      echo "$verified" | head -n 5
      bad "$language: F5 into a mail account: vfolder verify finds the 3,000 there, each once"
    fi
    stop
  done
  stop_account_server
else
  skip_check "F5 into a mail account: no Dovecot's IMAP server or openssl"
fi

echo "the real host took $((SECONDS - started)) s"
summary
[ "$failed" -eq 0 ]
