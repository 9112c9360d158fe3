#!/usr/bin/env python3
"""--resume after a crash: vfolder killed (SIGKILL) at several points of an
mbox --append, a Maildir and a copy --eml run, or stopped by two interrupts,
then started again with --resume: the output holds every message of the
folder once, unchanged, as Python's mailbox reads it back and `vfolder
verify` says; a third run finds
nothing left to deliver. A ledger whose last line a crash cut is read as if
the line were not there.

    resume_crash_test.py VFOLDER MKFOLDER

Prints each failure and exits non-zero when there is one.
"""
import collections
import mailbox
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
from mail_output_test import (Tools, check, check_maildir, check_mbox, failures, read,  # noqa: E402
                              unquoted)

MiB = 1024 * 1024


def arguments(output, index, out, ledger):
    return ["--resume", "--ledger", ledger] + {
        "mbox": ["--append", "mbox", index, out], "maildir": ["maildir", index, out],
        "eml": ["copy", "--eml", index, out]}[output]


def reached(output, out):
    """How far the output has got: an mbox's size, or the messages' files."""
    try:
        if output == "mbox":
            return os.path.getsize(out)
        return len(os.listdir(os.path.join(out, "new") if output == "maildir" else out))
    except OSError:
        return 0


def stopped_at(tools, args, output, out, point, delay, signals, between=0):
    """Runs vfolder until the output has reached `point`, waits `delay`
    seconds, and sends it `signals`, `between` seconds apart. True when it
    was still running then."""
    child = subprocess.Popen([tools.vfolder] + args, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    while child.poll() is None and reached(output, out) < point:
        pass
    if delay:
        time.sleep(delay)
    hit = child.poll() is None
    for n, sent in enumerate(signals):
        if n > 0:
            time.sleep(between)
        if child.poll() is None:
            child.send_signal(sent)
    child.wait()
    return hit


def check_output(what, output, out, msgs):
    if output == "mbox":
        check_mbox(what, out, msgs)
    elif output == "maildir":
        check_maildir(what, out, msgs)
    else:
        got = collections.Counter(read(os.path.join(out, name)) for name in os.listdir(out))
        wanted = collections.Counter(m.stored() for m in msgs)
        check(what + ": .eml files (missing, extra: the first of each)", ([], []),
              (list(wanted - got)[:1], list(got - wanted)[:1]))
        check(what + ": number of .eml files", len(msgs), sum(got.values()))


def rerun_and_check(tools, what, output, args, out, msgs):
    """The run again with --resume finishes and leaves every message once;
    one more finds each delivered."""
    status, _, err = tools.run(*args)
    check(what + ": the run again succeeds", (0, ""), (status, re.sub(
        r"vfolder: 3000 messages, .*\n$", "", err)))
    check_output(what, output, out, msgs)
    status, said, _ = tools.run("verify", args[-2], out)
    check(what + ": vfolder verify finds every message there once, unchanged",
          (0, b"3000 messages: 3000 present, 0 missing, 0 twice, 0 changed\n"), (status, said))
    status, _, err = tools.run(*args)
    check(what + ": a third run finds every message delivered", (0, True), (status, bool(
        re.fullmatch(r"vfolder: 3000 messages, 0 written, 0 failed, 3000 delivered before\n",
                     err))))


def killed_runs(tools, index, msgs, sizes):
    """SIGKILL once the output got to a point (and a moment after it, to fall
    between the output's sync and the ledger's), then the run again."""
    points = {"mbox": [(1, 0), (MiB, 0), (MiB, 0.001), (sizes["mbox"], 0),
                       (sizes["mbox"], 0.002)],
              "maildir": [(1, 0), (300, 0), (1500, 0.001), (2990, 0), (3000, 0)],
              "eml": [(1, 0), (300, 0), (1500, 0.001), (2990, 0), (3000, 0)]}
    hits = 0
    for output, rows in points.items():
        for n, (point, delay) in enumerate(rows):
            what = "%s killed at %d%s" % (output, point, " and %g s" % delay if delay else "")
            out = os.path.join(tools.work, "killed-%s-%d" % (output, n))
            ledger = out + ".ledger"
            args = arguments(output, index, out, ledger)
            hits += stopped_at(tools, args, output, out, point, delay, [signal.SIGKILL])
            rerun_and_check(tools, what, output, args, out, msgs)
    # A machine too fast or too slow to stop a run midway tests nothing.
    check("runs killed midway (of 15)", True, hits >= 8)


def interrupted_twice(tools, index, msgs):
    """Two interrupts end a run at once, the second while the first is
    stopping it: what is cut back is not in the ledger."""
    rows = [("mbox", MiB, 0.0005), ("mbox", MiB, 0.002), ("mbox", MiB, 0.01),
            ("maildir", 1000, 0.001), ("eml", 1000, 0.001)]
    for n, (output, point, between) in enumerate(rows):
        out = os.path.join(tools.work, "twice-%s-%d" % (output, n))
        args = arguments(output, index, out, out + ".ledger")
        stopped_at(tools, args, output, out, point, 0, [signal.SIGINT, signal.SIGINT], between)
        rerun_and_check(tools, "%s interrupted twice %g s apart" % (output, between), output,
                        args, out, msgs)


def cut_ledger(tools, index, msgs):
    """The ledger's last line cut short by a crash, inside its number: the
    line counts for nothing, and is gone before the next line is written."""
    out = os.path.join(tools.work, "cut-ledger-mbox")
    ledger = out + ".ledger"
    args = arguments("mbox", index, out, ledger)
    status, _, _ = tools.run(*args)
    with open(ledger, "rb") as held:
        lines = held.read().splitlines(True)
    # The last message taken out of the mbox, and its line cut inside the
    # place, as a crash before both reached the disk leaves them.
    last = lines[-1]
    before = int(lines[-2].split()[-1])
    with open(out, "r+b") as box:
        box.truncate(before)
    with open(ledger, "wb") as cut:
        cut.write(b"".join(lines[:-1]) + last[:len(last) - 4])
    rerun_and_check(tools, "a ledger with its last line cut", "mbox", args, out, msgs)
    # Each line whole, the mbox's places growing to its end.
    with open(ledger, "rb") as held:
        lines = held.read().decode("ascii").splitlines()
    places = [int(line.split()[-1]) for line in lines
              if re.fullmatch(r"\S+ 0 0 [0-9a-f]{32} \d+", line)]
    check("a ledger with its last line cut: every line whole, places growing to the end",
          (len(lines), True, os.path.getsize(out)),
          (len(places), places == sorted(set(places)), places[-1] if places else -1))


def large_folder(tools):
    """Three messages, the middle one of 24 MiB whose lines start with "From "
    and ">From " all along (quoted across every mebibyte the writer takes),
    written into the data folder file here."""
    line = b"From the body: a line a mail reader would take for a start\n>From too\n"
    large = b"Subject: large\n\n" + line * (24 * MiB // len(line))
    bodies = [b"Subject: a\n\nfirst\n", large, b"Subject: c\n\nlast\n"]
    lines, at = [], 0
    for n, body in enumerate(bodies):
        lines.append("message\nname m%d\nbody-fill 0\noffset %d\nsize %d" % (n, at, len(body)))
        at += len(body)
    description = os.path.join(tools.work, "LARGE.txt")
    with open(description, "w") as out:
        out.write("\n".join(lines) + "\n")
    index = os.path.join(tools.work, "LARGE.IDX")
    subprocess.run([tools.mkfolder, description, index], check=True)
    with open(index[:-1] + "M", "wb") as data:
        data.write(b"".join(bodies))
    return index, bodies


def large_message(tools):
    """A message of 24 MiB goes into the mbox a mebibyte at a time: vfolder
    holds it once, as read, not formatted whole beside it; killed inside it
    and run again, the mbox holds each message once."""
    index, bodies = large_folder(tools)
    out = os.path.join(tools.work, "large.mbox")
    # Its peak told by a small process of its own that starts it: a child of
    # this one would count the pages this one holds.
    peak = int(subprocess.run([sys.executable, "-c", (
        "import os, sys\n"
        "pid = os.fork()\n"
        "if pid == 0:\n"
        "    os.execv(sys.argv[1], sys.argv[1:])\n"
        "print(os.wait4(pid, 0)[2].ru_maxrss * 1024)\n"), tools.vfolder, "--exact", "mbox",
        index, out], capture_output=True, check=True).stdout)
    if os.environ.get("VESSOR_SANITIZED"):
        print("a message of 24 MiB: peak memory not checked under the sanitizers")
    else:
        check("a message of 24 MiB: vfolder's peak memory under 1.5 times its size", True,
              peak < 36 * MiB)
    box = mailbox.mbox(out, create=False)
    check("a message of 24 MiB: the mbox holds the messages as they are", [
        body for body in bodies], [unquoted(box.get_bytes(key)) for key in box.keys()])
    box.close()
    for point in (2 * MiB, 20 * MiB):
        out = os.path.join(tools.work, "large-killed-%d.mbox" % point)
        args = ["--exact", "--resume", "--ledger", out + ".ledger", "--append", "mbox", index, out]
        stopped_at(tools, args, "mbox", out, point, 0, [signal.SIGKILL])
        status, _, _ = tools.run(*args)
        box = mailbox.mbox(out, create=False)
        check("a message of 24 MiB, killed at %d: every message once" % point, (0, bodies),
              (status, [unquoted(box.get_bytes(key)) for key in box.keys()]))
        box.close()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as work:
        tools = Tools(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), work)
        msgs = make_mail_folder.messages(3000)
        index = tools.folder("CRASH", msgs)
        whole = os.path.join(work, "whole.mbox")
        tools.run("mbox", index, whole)
        sizes = {"mbox": os.path.getsize(whole)}
        killed_runs(tools, index, msgs, sizes)
        interrupted_twice(tools, index, msgs)
        cut_ledger(tools, index, msgs)
        large_message(tools)
    if not failures:
        print("vfolder resume after a crash: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
