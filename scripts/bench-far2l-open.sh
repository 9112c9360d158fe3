#!/usr/bin/env bash
# Opening a mail folder in far2l (Ctrl+PgDn on its index file) against
# entering a directory of as many empty files (Enter on it), side by side in
# one far2l, round after round; prints both medians and their ratio.
#   scripts/bench-far2l-open.sh [MESSAGES] [ROUNDS]     (100000 and 5)
# Needs far2l, tmux and the build's far2l module (installed for the run by
# scripts/install-far2l-plugin.sh into a profile of its own). Each time runs
# from the key until the panel's bottom line counts every item; one Python
# process sends the key and reads the pane through a tmux control client, so
# that watching forks nothing.
set -uo pipefail
cd "$(dirname "$0")/.."
messages=${1:-100000}
rounds=${2:-5}
T=(tmux -L vessor-far2l-bench)
S=vessor-far2l-bench
work=$(mktemp -d /dev/shm/far2l-bench.XXXXXX)
trap '"${T[@]}" kill-server >/dev/null 2>&1; rm -rf "$work"' EXIT
command -v far2l >/dev/null && command -v tmux >/dev/null ||
  { echo "bench: needs far2l and tmux (scripts/setup.sh)" >&2; exit 1; }
mkdir -p "$work"/{home,tmp,plugins,mail,dirs/files} "$work/profile/.config/settings"
printf '[System]\nPersonalPluginsPath=%s\n' "$work/plugins" >"$work/profile/.config/settings/config.ini"
FARSETTINGS=$work/profile bash scripts/install-far2l-plugin.sh >/dev/null || exit 1
echo "bench: making a folder of $messages messages and a directory of $messages empty files"
python3 tests/make_mail_folder.py "$messages" "$work/mail.txt"
build/linux/mkfolder "$work/mail.txt" "$work/mail/INBOX.IDX" >/dev/null
rm "$work/mail.txt"
python3 -c 'import os, sys
for i in range(int(sys.argv[2])): open(os.path.join(sys.argv[1], "%06d" % i), "w").close()' \
  "$work/dirs/files" "$messages"

# The folder on the left with the cursor on its index file, the directory's
# parent on the right with the cursor on it.
"${T[@]}" new-session -d -s "$S" -x 120 -y 30 \
  "env HOME=$work/home TMPDIR=$work/tmp far2l --tty --nodetect --mortal -u $work/profile \
   -set:Confirmations.Exit=0 -set:Confirmations.ExitOrBknd=0 \
   -cd $work/mail/INBOX.IDX -cd $work/dirs/files"
python3 - "${T[@]:2}" "$S" "$messages" "$rounds" <<'PY'
import re, statistics, sys, time

socket, session, count, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
sys.path.insert(0, "scripts")
from tmux_control import Host

# Panels may hold bytes that are not UTF-8 (names in a code page far2l does
# not know): they are read as replacement characters.
command = Host(session, socket).command


def half(lines, side):
    return [line[:60] if side == 0 else line[60:] for line in lines]


def wait(side, pattern, limit=300):
    """Until the panel on SIDE (0 left, 1 right) shows PATTERN; the seconds."""
    start = time.monotonic()
    while time.monotonic() - start < limit:
        shown = half(command("capture-pane -p -t " + session), side)
        if any(re.search(pattern, line) for line in shown):
            return time.monotonic() - start
        time.sleep(0.002)
    sys.exit("bench: %r not seen on the %s panel" % (pattern, "left right".split()[side]))


def timed(keys, side, pattern):
    start = time.monotonic()
    command("send-keys -t %s %s" % (session, keys))
    wait(side, pattern)
    return time.monotonic() - start


every = r"in %d files" % count
wait(0, r"in 2 files", 30)
wait(1, r"in %d files" % count, 120)
# The right panel opened in the directory; step up so that Enter enters it.
command("send-keys -t %s Tab C-PageUp" % session)
wait(1, r"in 0 files", 30)
command("send-keys -t %s Tab" % session)
folder, directory = [], []
for _ in range(rounds):
    folder.append(timed("C-PageDown", 0, every))
    command("send-keys -t %s C-PageUp" % session)
    wait(0, r"in 2 files")
    command("send-keys -t %s Tab" % session)
    directory.append(timed("Enter", 1, every))
    command("send-keys -t %s C-PageUp Tab" % session)
    wait(1, r"in 0 files")
    time.sleep(0.3)
command("send-keys -t %s F10" % session)
f, d = statistics.median(folder), statistics.median(directory)
print("open in far2l, %d items, %d rounds:" % (count, rounds))
print("  the mail folder (Ctrl+PgDn): %s s" % " ".join("%.3f" % t for t in folder))
print("  a directory of empty files:  %s s" % " ".join("%.3f" % t for t in directory))
print("medians: folder %.3f s, directory %.3f s, ratio %.2f (target 1.5 or less)" % (f, d, f / d))
PY
