#!/usr/bin/env bash
# How soon the hosts take keys again, in the real file managers:
# - FAR 3 (3.0.6106 x64 under Wine): F5 of every message of a folder as one
#   mbox file, then F9 sent at the file's last byte: the seconds until the
#   menu bar shows (target 2); and a save stopped with Esc and Yes: the
#   seconds from Yes until the summary box shows, and from the box closed
#   until F9's menu shows (target 2 each; the host's boxes drop keys typed
#   ahead, so F9 goes once the box is gone);
# - Alt+F7 with "Search in archives" over a tree of three folders of 3,217
#   messages, in FAR 3 and in far2l, by name and with a text to find: the
#   medians and FAR 3's time over far2l's (target 2 or less).
#   scripts/bench-hosts-keys.sh [MESSAGES] [ROUNDS]     (100000 and 3)
# Needs build/windows-x86_64 (vessor3.dll), build/linux (mkfolder, vfolder),
# far2l and tmux. One Python process sends each key and watches the screen
# through a tmux control client, so that watching forks nothing.
set -uo pipefail
cd "$(dirname "$0")/.."
messages=${1:-100000}
rounds=${2:-3}
realhost=../shared/realhost
S3=vessor-keys-far3 S2=vessor-keys-far2l
export WINEPREFIX=${REALHOST_WINEPREFIX:-/tmp/realhost-vessor-test/prefix}
work=$(mktemp -d /dev/shm/hosts-keys.XXXXXX)
trap 'bash "$realhost/run.sh" --stop "$S3" >/dev/null 2>&1; tmux -L "$S2" kill-server >/dev/null 2>&1
      rm -rf "$work"' EXIT
command -v far2l >/dev/null && command -v tmux >/dev/null ||
  { echo "bench: needs far2l and tmux (scripts/setup.sh)" >&2; exit 1; }
[ -f build/windows-x86_64/vessor3.dll ] || { echo "bench: needs build/windows-x86_64" >&2; exit 1; }
mkdir -p "$work"/{mail,out,tree/Archive,f2/home,f2/tmp,f2/plugins} "$work/f2/profile/.config/settings"
echo "bench: making a folder of $messages messages and a tree of 3,217"
python3 tests/make_mail_folder.py "$messages" "$work/mail.txt"
build/linux/mkfolder "$work/mail.txt" "$work/mail/INBOX.IDX" >/dev/null
build/linux/vfolder mbox "$work/mail/INBOX.IDX" "$work/expected.mbox" >/dev/null
python3 tests/make_mail_folder.py 1000 "$work/k1.txt"
python3 tests/make_mail_folder.py 1217 "$work/k2.txt"
build/linux/mkfolder "$work/k1.txt" "$work/tree/Inbox.IDX" >/dev/null
build/linux/mkfolder "$work/k1.txt" "$work/tree/Sent.IDX" >/dev/null
build/linux/mkfolder "$work/k2.txt" "$work/tree/Archive/2000.IDX" >/dev/null
rm "$work"/*.txt

bash "$realhost/run.sh" far3-x64 build/windows-x86_64/vessor3.dll "$S3" -- "$work/mail" "$work/out" >/dev/null
cp build/windows-x86_64/VessorFolder{Eng,Rus}.{lng,hlf} "/tmp/realhost/$S3/host/Plugins/Plugin/"
printf '[System]\nPersonalPluginsPath=%s\n' "$work/f2/plugins" >"$work/f2/profile/.config/settings/config.ini"
FARSETTINGS=$work/f2/profile bash scripts/install-far2l-plugin.sh >/dev/null || exit 1
tmux -L "$S2" new-session -d -s "$S2" -x 100 -y 32 \
  "env HOME=$work/f2/home TMPDIR=$work/f2/tmp far2l --tty --nodetect --mortal -u $work/f2/profile \
   -set:Confirmations.Exit=0 -set:Confirmations.ExitOrBknd=0 -cd $work/tree -cd $work/out"

python3 - "$S3" "$S2" "$work" "$messages" "$rounds" <<'PY'
import os, re, statistics, sys, time

sys.path.insert(0, "scripts")
from tmux_control import Host

far3, far2l, work, count, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])


def seconds(times):
    return " ".join("%.2f" % t for t in times)


def check_archives(host):
    """Tabs to the find dialog's "Search in archives" and checks it."""
    for row, line in enumerate(host.screen()):
        if "Search in archives" in line:
            if "[x] Search in archives" in line:
                return
            column = line.index("Search in archives") - 3
            break
    else:
        sys.exit("bench: no \"Search in archives\" on %s" % host.session)
    for _ in range(30):
        host.keys("Tab")
        time.sleep(0.05)
        x, y = map(int, host.cursor().split(","))
        if y == row and abs(x - column) <= 2:
            host.keys("Space")
            host.wait(r"\[x\] Search in archives", 10)
            return
    sys.exit("bench: \"Search in archives\" not reached on %s" % host.session)


FOUND = {}


def find(host, text):
    """Alt+F7 from the file panel, by name or with TEXT: the seconds to "Search done"."""
    host.keys("M-F7")
    host.wait("Find file", 30)
    host.keys("Tab", "C-y")  # the text to find, emptied
    if text:
        host.keys(text, literal=True)
    check_archives(host)
    time.sleep(0.3)
    start = time.monotonic()
    host.keys("Enter")
    host.wait("Search done", 600)
    took = time.monotonic() - start
    found = [re.search(r"Found files: (\d+)", line) for line in host.screen()]
    FOUND.setdefault(host.session, set()).update(m.group(1) for m in found if m)
    host.keys("Escape")
    time.sleep(0.5)
    return took


f3 = Host(far3)
f2 = Host(far2l, far2l)

# FAR 3: the folder opened, every message saved as one mbox file.
f3.wait(r"INBOX\.IDX", 60)
f3.type("\x1b[F")  # End: Wine's console takes xterm's sequences
f3.keys("Enter")
f3.wait("Vessor folder", 300)
size = os.path.getsize(os.path.join(work, "expected.mbox"))


def save_every_message_as_mbox():
    # Home, Shift+End: a stopped save left some selected, and Shift+End from
    # a row not selected may clear them: again until all are.
    every = r"╟.*files: %d, folders" % count
    for _ in range(4):
        f3.type("\x1b[H\x1b[1;2F")
        if f3.seen(every, 10):
            break
    f3.keys("F5")
    f3.wait("Save as:", 60)
    f3.keys("M-m")
    time.sleep(0.3)
    f3.keys("Enter")



after_save, after_stop = [], []
for round in range(1, rounds + 1):
    target = os.path.join(work, "out", "INBOX.mbox" if round == 1 else "INBOX_(%d).mbox" % round)
    save_every_message_as_mbox()
    while True:
        try:
            if os.stat(target).st_size >= size:
                break
        except FileNotFoundError:
            pass
        time.sleep(0.002)
    last_byte = time.monotonic()
    f3.keys("F9")
    f3.wait(r"Left +Files +Commands", 600)
    after_save.append(time.monotonic() - last_byte)
    f3.keys("Escape")
    time.sleep(1)
missed = 0
while len(after_stop) < rounds and missed < rounds:
    save_every_message_as_mbox()
    if not f3.seen("Saving [0-9,]+ of", 60):
        missed += 1  # done before its progress showed
        time.sleep(3)
        continue
    time.sleep(0.3)
    f3.keys("Escape")
    if not f3.seen("Stop saving", 30):
        missed += 1  # done before Esc was read
        time.sleep(3)
        continue
    start = time.monotonic()
    f3.keys("Enter")
    f3.wait(r"messages: [0-9,]+ saved", 600)
    summary = time.monotonic() - start
    # The host's boxes drop keys typed ahead: F9 goes once the box is gone.
    f3.keys("Escape")
    while any(re.search(r"messages: [0-9,]+ saved", line) for line in f3.screen()):
        time.sleep(0.005)
    closed = time.monotonic()
    f3.keys("F9")
    f3.wait(r"Left +Files +Commands", 600)
    after_stop.append((summary, time.monotonic() - closed))
    f3.keys("Escape")
    time.sleep(1)
print("FAR 3, %d messages as one mbox, %d rounds:" % (count, rounds))
print("  from the last byte until F9's menu shows: %s s" % seconds(after_save))
print("  from Yes to stop until the summary shows: %s s" % seconds(a for a, _ in after_stop))
print("  from the summary closed until F9's menu shows: %s s" % seconds(b for _, b in after_stop))
if missed:
    print("  (%d saves ended before they could be stopped)" % missed)

# Both hosts: Alt+F7 over the tree.
f3.keys("C-PageUp")
time.sleep(1)
f3.type("cd Z:" + os.path.join(work, "tree").replace("/", "\\") + "\r")
f3.wait(r"Inbox\.IDX", 30)
f2.wait(r"Inbox\.IDX", 30)
rows = []
for label, text in (("by name", ""), ("containing \"budget\"", "budget")):
    t3 = [find(f3, text) for _ in range(rounds)]
    t2 = [find(f2, text) for _ in range(rounds)]
    m3, m2 = statistics.median(t3), statistics.median(t2)
    rows.append("  %-22s FAR 3 %s s, far2l %s s; medians %.2f and %.2f, ratio %.2f (found %s)" %
                (label, seconds(t3), seconds(t2), m3, m2, m3 / m2,
                 " ".join(sorted(FOUND.pop(f3.session, set()) | FOUND.pop(f2.session, set())))))
print("Alt+F7 with \"Search in archives\" over 3,217 messages in three folders (target 2.0 or less):")
print("\n".join(rows))
PY
