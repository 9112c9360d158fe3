#!/usr/bin/env bash
# vfolder's man page says what `vfolder --help` says: every command and
# option of the help is on the page and none the help has dropped, the
# version is the program's, the page is what man/make_vfolder_page.py makes
# of this help (where the build has every command), and man renders it
# without a warning.
#   tests/man_page_test.sh VFOLDER MAN_DIR
set -uo pipefail
vfolder=$1 man_dir=$2
page=$man_dir/vfolder.1
update="python3 $man_dir/make_vfolder_page.py $vfolder > $page"
if ! command -v man >/dev/null; then
  echo "man_page_test: !!! man is not installed: the man page check is SKIPPED"
  exit 77
fi
failed=0
help=$("$vfolder" --help) || { echo "vfolder --help failed"; exit 1; }
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null | col -b) || { echo "man -l $page failed"; exit 1; }
words() { grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
# The commands: the first word after the options of each usage line, the
# lines that go on joined to theirs.
commands() {
  python3 -c '
import re, sys
usage = sys.stdin.read().split("\n\n")[0]
for line in re.sub(r"\n {8,}", " ", usage).split("\n"):
    line = re.sub(r"^(usage:)? +vfolder ", "", line)
    while re.search(r"\[[^][]*\]", line):
        line = re.sub(r"\[[^][]*\]", "", line)
    match = re.search(r"(?:^| )([a-z]+) ", line)
    if match:
        print(match.group(1))' | sort -u
}
for word in $(words <<<"$help") $(commands <<<"$help"); do
  if ! grep -qF -- "$word" <<<"$text"; then
    echo "the man page lacks $word, which vfolder --help has"
    failed=1
  fi
done
for word in $(words <<<"$text"); do
  if ! grep -qF -- "$word" <<<"$help"; then
    echo "the man page has $word, which vfolder --help has not"
    failed=1
  fi
done
version=$("$vfolder" --version | awk '{print $NF}')
if ! head -n 1 "$page" | grep -qF "\"vfolder $version\""; then
  echo "the man page is not of vfolder $version: $(head -n 1 "$page")"
  failed=1
fi
# The imap command is built only with its TLS library; the page has it.
if grep -q ' imap ' <<<"$help"; then
  if ! diff -u "$page" <(python3 "$man_dir/make_vfolder_page.py" "$vfolder"); then
    echo "the man page is not what the help makes of it"
    failed=1
  fi
else
  echo "man_page_test: this vfolder has no imap; the page is checked for the help's words only"
fi
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
  echo "man warns of the page:"
  echo "$warnings"
  failed=1
fi
if [ $failed -ne 0 ]; then
  echo "to make the page anew: $update"
  exit 1
fi
echo "man_page_test: the page holds the help's $(words <<<"$help" | wc -l) options and $(commands <<<"$help" | wc -l) commands"
