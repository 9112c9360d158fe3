#!/usr/bin/env python3
"""vfolder when things go wrong: a file-size limit, the folder's own files
given as the output under other spellings and links, a link in the
destination, an item past the end, an interrupt and a closed pipe mid-run.

    vfolder_fault_test.py VFOLDER MKFOLDER

Prints each failure and exits non-zero when there is one.
"""
import collections
import mailbox
import os
import re
import resource
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
from mail_output_test import (Tools, check, check_mbox, failures, files_below, read,  # noqa: E402
                              with_attachments)

KiB = 1024


def fill_folder(tools, name, sizes):
    """A folder of messages of pattern bytes, named m0, m1, ... The outputs
    give them no headers with --exact."""
    lines = ["message\nname m%d\nbody-fill %d" % (n, size) for n, size in enumerate(sizes)]
    path = os.path.join(tools.work, name + ".txt")
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")
    index = os.path.join(tools.work, name + ".IDX")
    subprocess.run([tools.mkfolder, path, index], check=True)
    return index


def pattern(size):
    return (b"abcdefghijklmnopqrstuvwxyz" * (size // 26 + 1))[:size]


def attached_folder(tools, name, sizes):
    """A folder of messages m0, m1, ... each with one attachment m<N>.bin of
    pattern bytes of the size given. The messages are written into the data
    folder file here, for mkfolder's description would spell out each byte."""
    bodies = [with_attachments([("m%d.bin" % n, pattern(size))]) for n, size in enumerate(sizes)]
    lines, at = [], 0
    for n, body in enumerate(bodies):
        lines.append("message\nname m%d\nbody-fill 0\noffset %d\nsize %d" % (n, at, len(body)))
        at += len(body)
    path = os.path.join(tools.work, name + ".txt")
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")
    index = os.path.join(tools.work, name + ".IDX")
    subprocess.run([tools.mkfolder, path, index], check=True)
    with open(index[:-1] + "M", "wb") as data:
        data.write(b"".join(bodies))
    return index


def run_limited(tools, limit, *args):
    """vfolder under a file-size limit. The limit's signal is back at its
    default in the child (subprocess restores it), so that only vfolder's own
    handling keeps it alive."""
    def limit_files():
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    done = subprocess.run([tools.vfolder] + list(args), capture_output=True,
                          preexec_fn=limit_files)
    return done.returncode, done.stderr.decode("latin-1")


def written_count(err):
    found = re.search(r"vfolder: (\d+) messages, (\d+) written, (\d+) failed\n$", err)
    return int(found.group(2)) if found else -1


def file_size_limits(tools):
    """Every output under a limit below some messages: each message counted as
    written is whole in its output, each other one left out, status 1. One row
    with messages below the 64 KiB copy buffer, one with messages above it."""
    rows = [("small", 20 * KiB, [3 * KiB, 7 * KiB, 12 * KiB, 5 * KiB, 30 * KiB, 9 * KiB]),
            ("large", 100 * KiB, [70 * KiB, 150 * KiB, 90 * KiB, 66 * KiB, 200 * KiB])]
    for row, limit, sizes in rows:
        index = fill_folder(tools, "LIMIT" + row, sizes)
        fits = [n for n, size in enumerate(sizes) if size <= limit]
        for output in ("copy", "eml", "maildir", "mbox"):
            what = "%s under a limit of %d KiB (%s messages)" % (output, limit // KiB, row)
            out = os.path.join(tools.work, "limit-%s-%s" % (row, output))
            if output in ("copy", "eml"):
                os.mkdir(out)
            args = {"copy": ["copy", index, out], "eml": ["--exact", "copy", "--eml", index, out],
                    "maildir": ["--exact", "maildir", index, out],
                    "mbox": ["--exact", "mbox", index, out]}[output]
            status, err = run_limited(tools, limit, *args)
            written = written_count(err)
            check(what + ": status", 1, status)
            if output == "mbox":
                box = mailbox.mbox(out)
                got = [box.get_bytes(key).rstrip(b"\n") for key in box.keys()]
                # The messages that fit one after another, each whole.
                check(what + ": the whole messages, as counted", (written, got),
                      (len(got), [pattern(size) for size in sizes[:len(got)]]))
                check(what + ": some fit", True, written > 0)
                continue
            directory = os.path.join(out, "new") if output == "maildir" else out
            files = [read(os.path.join(directory, name)) for name in os.listdir(directory)]
            whole = sorted(data for data in files if data in [pattern(s) for s in sizes])
            check(what + ": the messages that fit are whole and counted",
                  (sorted(pattern(sizes[n]) for n in fits), len(fits)), (whole, written))
            if output != "copy":  # the plug-in keeps what it wrote of a failed one
                check(what + ": no file but the whole ones", len(whole), len(files))
        index = attached_folder(tools, "ATTLIMIT" + row, sizes)
        out = os.path.join(tools.work, "limit-%s-attachments" % row)
        status, err = run_limited(tools, limit, "attachments", index, out)
        check("attachments under a limit of %d KiB (%s): status, the ones that fit whole and "
              "counted, no other file" % (limit // KiB, row),
              (1, {"m%d/m%d.bin" % (n, n): pattern(sizes[n]) for n in fits}, len(fits)),
              (status, files_below(out), written_count(err)))


def own_files(tools):
    """The folder's own files as the output, by any spelling: refused before
    anything is written, by every output, and the folder stays as it was."""
    home = os.path.join(tools.work, "own")
    os.mkdir(home)
    os.mkdir(os.path.join(home, "sub"))
    index = tools.folder("own", make_mail_folder.messages(5), index=os.path.join(home, "INBOX.IDX"))
    data = index[:-1] + "M"
    os.symlink("INBOX.IDM", os.path.join(home, "link"))
    os.link(data, os.path.join(home, "hard"))
    before = (read(index), read(data))
    spellings = ["./INBOX.IDM", "sub/../INBOX.IDM", data, "link", "hard", "./INBOX.IDX"]
    for spelling in spellings:
        for args in (["mbox", "INBOX.IDX", spelling], ["--append", "mbox", "INBOX.IDX", spelling],
                     ["--replace", "mbox", "INBOX.IDX", spelling],
                     ["maildir", "INBOX.IDX", spelling], ["copy", "--eml", "INBOX.IDX", spelling],
                     ["attachments", "INBOX.IDX", spelling],
                     ["--log", spelling, "attachments", "INBOX.IDX", "fresh"],
                     ["--log", spelling, "mbox", "INBOX.IDX", "fresh.mbox"],
                     ["--log", spelling, "copy", "INBOX.IDX", "sub"],
                     ["copy", "INBOX.IDX", spelling], ["mbox", ".", spelling]):
            done = subprocess.run([tools.vfolder] + args, cwd=home, capture_output=True)
            what = "vfolder %s" % " ".join(args)
            if args[0] != "copy":
                check(what + ": refused", 2, done.returncode)
            check(what + ": the folder as it was", before, (read(index), read(data)))
            for made in ("fresh.mbox", "fresh.mbox.vf"):
                if os.path.exists(os.path.join(home, made)):
                    os.remove(os.path.join(home, made))
    # Standard output into one of the folder's files.
    for own in (data, index):
        with open(own, "ab") as out:
            done = subprocess.run([tools.vfolder, "mbox", "INBOX.IDX", "-"], cwd=home,
                                  stdout=out, stderr=subprocess.PIPE)
        check("vfolder mbox INBOX.IDX - >> %s: refused" % os.path.basename(own),
              (2, before), (done.returncode, (read(index), read(data))))


def log_as_output(tools):
    """The log that is the output, or a message file of it, under another
    spelling or before it exists: refused, and nothing is written."""
    index = fill_folder(tools, "LOGGED", [100, 200])
    home = os.path.dirname(index)
    out = os.path.join(home, "logged-out")
    os.mkdir(out)
    for args in (["--log", "./logged.mbox", "mbox", index, "logged.mbox"],
                 ["--log", "logged-out/m1", "copy", index, "logged-out"],
                 ["--log", "logged-out/../logged-out/M0", "copy", index, "logged-out"]):
        done = subprocess.run([tools.vfolder] + args, cwd=home, capture_output=True)
        check("vfolder %s: refused, nothing written" % " ".join(args), (2, False, []),
              (done.returncode, os.path.exists(os.path.join(home, "logged.mbox")),
               os.listdir(out)))
    with open(os.path.join(home, "logged.mbox"), "wb") as stdout:
        done = subprocess.run([tools.vfolder, "--log", "logged.mbox", "mbox", index, "-"],
                              cwd=home, stdout=stdout, stderr=subprocess.PIPE)
    check("the log that is standard output: refused", (2, b""),
          (done.returncode, read(os.path.join(home, "logged.mbox"))))


def damaged_sizes(tools):
    """A record size of 2 GiB or more fails in the mail outputs; the plug-in's
    copy writes an empty file for it, as the host expects."""
    path = os.path.join(tools.work, "DAMAGED.txt")
    with open(path, "w") as out:
        out.write("message\nname m0\nbody-fill 10\nsize -5\nmessage\nname m1\nbody-fill 10\n"
                  "size 3000000000\nmessage\nname m2\nbody-fill 10\n")
    index = os.path.join(tools.work, "DAMAGED.IDX")
    subprocess.run([tools.mkfolder, path, index], check=True)
    reason = "Cannot read message: the record's size is damaged"
    for output in ("mbox", "maildir", "eml", "attachments"):
        out = os.path.join(tools.work, "damaged-" + output)
        args = {"mbox": ["--exact", "mbox", index, out], "maildir": ["--exact", "maildir", index, out],
                "eml": ["--exact", "copy", "--eml", index, out],
                "attachments": ["attachments", index, out]}[output]
        status, _, err = tools.run(*args)
        check(output + " of damaged sizes: two fail", (1, 2, True),
              (status, err.count(reason), err.endswith("3 messages, 1 written, 2 failed\n")))
    out = os.path.join(tools.work, "damaged-copy")
    os.mkdir(out)
    status, _, err = tools.run("copy", index, out)
    check("copy of damaged sizes: empty files", (0, b"", b""),
          (status, read(os.path.join(out, "m0")), read(os.path.join(out, "m1"))))


def links_in_the_destination(tools):
    """No output writes through a symbolic link it finds at its target."""
    outside = os.path.join(tools.work, "outside")
    with open(outside, "wb") as out:
        out.write(b"")
    index = fill_folder(tools, "LINKS", [100, 200])
    eml = os.path.join(tools.work, "links-eml")
    os.mkdir(eml)
    os.symlink(outside, os.path.join(eml, "m0.eml"))
    status, _, err = tools.run("--exact", "copy", "--eml", index, eml)
    check("copy --eml with a link at a name: the next name instead",
          (0, b"", sorted(["m0.eml", "m0_(2).eml", "m1.eml"]), pattern(100)),
          (status, read(outside), sorted(os.listdir(eml)), read(os.path.join(eml, "m0_(2).eml"))))
    attached = attached_folder(tools, "LINKSATT", [100, 200])
    out = os.path.join(tools.work, "links-attachments")
    os.mkdir(out)
    os.mkdir(outside + "-dir")
    os.symlink(outside + "-dir", os.path.join(out, "m0"))
    status, _, err = tools.run("attachments", attached, out)
    check("attachments with a link at a message's name: the next name instead",
          (0, [], {"m0_(2)/m0.bin": pattern(100), "m1/m1.bin": pattern(200)}),
          (status, os.listdir(outside + "-dir"), files_below(out)))
    mbox = os.path.join(tools.work, "links.mbox")
    os.symlink(outside, mbox)
    for option in ([], ["--append"]):
        status, _, err = tools.run(*(option + ["mbox", index, mbox]))
        check("mbox %s onto a link: refused" % option, (2, b"", True),
              (status, read(outside), os.path.islink(mbox)))
    status, _, err = tools.run("--replace", "mbox", index, mbox)
    check("mbox --replace onto a link: the link replaced, not written through",
          (0, b"", False, 2), (status, read(outside), os.path.islink(mbox),
                               len(mailbox.mbox(mbox))))


def item_past_the_end(tools):
    index = fill_folder(tools, "THREE", [1, 2, 3])
    out = os.path.join(tools.work, "three")
    os.mkdir(out)
    for args in (["copy", index, out, "3"], ["mbox", index, out + ".mbox", "3"],
                 ["copy", "--eml", index, out, "3"], ["attachments", index, out, "3"]):
        status, _, err = tools.run(*args)
        check("%s: the item past the end" % args[0], (2, "vfolder: %s: no item 3\n" % index),
              (status, err))


def interrupts(tools):
    """An interrupt mid-run on 20,000 messages: status 130, the summary says
    how far it came, and the output holds exactly those messages, whole. The
    process is stopped once it has written, then interrupted and let go, so
    that the interrupt lands mid-run however fast the machine is."""
    msgs = make_mail_folder.messages(Many)
    index = tools.folder("MANY", msgs)
    bodies = {m.body for m in msgs}
    old = b"From a Sat Jan  1 00:00:00 2000\n\nold\n"
    for output in ("mbox", "maildir", "eml", "replace"):
        out = os.path.join(tools.work, "many-" + output)
        args = {"mbox": ["mbox", index, out], "maildir": ["maildir", index, out],
                "eml": ["copy", "--eml", index, out],
                "replace": ["--replace", "mbox", index, out]}[output]
        shown = os.path.join(out, "new") if output == "maildir" else out
        if output == "replace":
            os.mkdir(out)
            out = os.path.join(out, "old.mbox")
            with open(out, "wb") as held:
                held.write(old)
            args[-1] = out
        child = subprocess.Popen([tools.vfolder] + args, stderr=subprocess.PIPE)
        while child.poll() is None:
            try:
                if (os.path.getsize(out) if output == "mbox" else len(os.listdir(shown)) -
                        (output == "replace")) > 0:
                    break
            except OSError:
                pass
            time.sleep(0.0005)
        child.send_signal(signal.SIGSTOP)
        child.send_signal(signal.SIGINT)
        child.send_signal(signal.SIGCONT)
        err = child.stderr.read().decode("latin-1")
        status = child.wait()
        if output == "replace":
            check("--replace interrupted: the old mbox as it was, nothing beside it",
                  (130, old, ["old.mbox"]), (status, read(out), os.listdir(shown)))
            continue
        found = re.fullmatch(r"vfolder: interrupted after (\d+) of %d messages, \1 written, "
                             r"0 failed\n" % Many, err)
        check(output + " interrupted: status and summary", (130, True), (status, bool(found)))
        done = int(found.group(1)) if found else -1
        if output == "mbox":
            check_mbox("mbox interrupted", out, msgs[:done])
            continue
        names = os.listdir(shown)
        whole = [n for n in names if read(os.path.join(shown, n)) in bodies]
        check(output + " interrupted: the messages written, each whole", (done, done),
              (len(names), len(whole)))
        if output == "maildir":
            check("maildir interrupted: nothing in tmp", [], os.listdir(os.path.join(out, "tmp")))
    # An interrupt inside a large message stops it there: no file is left.
    large = fill_folder(tools, "LARGE", [64 * KiB * KiB])
    out = os.path.join(tools.work, "large-eml")
    child = subprocess.Popen([tools.vfolder, "--exact", "copy", "--eml", large, out],
                             stderr=subprocess.PIPE)
    # Stopped as soon as its file is there (not the probe of the directory
    # before it): before the first write or inside the copy, the interrupt ends
    # it the same way, and a loaded machine slow to stop it still finds it in
    # the middle of its 64 MiB.
    while child.poll() is None and not (os.path.isdir(out) and [
            n for n in os.listdir(out) if not n.startswith(".vfolder-probe")]):
        time.sleep(0.0005)
    child.send_signal(signal.SIGSTOP)
    child.send_signal(signal.SIGINT)
    child.send_signal(signal.SIGCONT)
    err = child.stderr.read().decode("latin-1")
    check("an interrupt inside a large message", (130, "vfolder: interrupted after 0 of 1 "
          "message, 0 written, 0 failed\n", []), (child.wait(), err, os.listdir(out)))
    # attachments: each message handled has its file, whole; an interrupt
    # inside a large attachment leaves no file of it.
    attached = attached_folder(tools, "MANYATT", [100 + n % 50 for n in range(Many)])
    large = attached_folder(tools, "LARGEATT", [64 * KiB * KiB])
    for index, first in ((attached, None), (large, "m0")):
        out = os.path.join(tools.work, "interrupted-" + os.path.basename(index))
        child = subprocess.Popen([tools.vfolder, "attachments", index, out],
                                 stderr=subprocess.PIPE)
        shown = os.path.join(out, first) if first else out
        while child.poll() is None and not (os.path.isdir(shown) and [
                n for n in os.listdir(shown) if not n.startswith(".vfolder-probe")]):
            time.sleep(0.0005)
        child.send_signal(signal.SIGSTOP)
        child.send_signal(signal.SIGINT)
        child.send_signal(signal.SIGCONT)
        err = child.stderr.read().decode("latin-1")
        status = child.wait()
        total = 1 if first else Many
        found = re.fullmatch(r"vfolder: interrupted after (\d+) of %d messages?, \1 written, "
                             r"0 failed\n" % total, err)
        done = int(found.group(1)) if found else -1
        files = files_below(out)
        check("attachments of %s interrupted: status, summary, a whole file for each message "
              "done" % os.path.basename(index), (130, True, done, True),
              (status, bool(found), len(files), all(
                  data == pattern(100 + int(path.split("/")[0][1:]) % 50)
                  for path, data in files.items())))
    # A second interrupt ends a run at once, even one that waits on a write.
    child = subprocess.Popen([tools.vfolder, "mbox", index, "-"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    child.stdout.read(1000)
    time.sleep(0.2)
    child.send_signal(signal.SIGINT)
    time.sleep(0.2)
    child.send_signal(signal.SIGINT)
    try:
        status = child.wait(timeout=10)
    except subprocess.TimeoutExpired:
        child.kill()
        status = child.wait()
    check("a second interrupt ends the run at once", (130, b""), (status, child.stderr.read()))
    child.stdout.close()
    # A reader that goes away: the run ends at once, and says nothing.
    child = subprocess.Popen([tools.vfolder, "mbox", index, "-"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    child.stdout.read(1000)
    child.stdout.close()
    err = child.stderr.read()
    check("mbox - whose reader goes away: a quiet end", (141, b""), (child.wait(), err))


Many = 20000


def resumed(tools):
    """--resume: a run interrupted after N messages and started again with
    --resume delivers the rest, and the output holds every message once; a
    ledger that takes no line makes the run exit 1 with the reason."""
    msgs = make_mail_folder.messages(3000)
    index = tools.folder("RESUMED", msgs)
    for output in ("maildir", "eml", "mbox"):
        out = os.path.join(tools.work, "resumed-" + output)
        ledger = os.path.join(tools.work, "resumed-%s.ledger" % output)
        args = {"maildir": ["maildir", index, out], "eml": ["copy", "--eml", index, out],
                "mbox": ["--append", "mbox", index, out]}[output]
        args = ["--resume", "--ledger", ledger] + args
        shown = os.path.join(out, "new") if output == "maildir" else out
        child = subprocess.Popen([tools.vfolder] + args, stderr=subprocess.PIPE)
        # Until the output holds a message (the ledger is told a batch at a time).
        while child.poll() is None:
            try:
                if (os.path.getsize(out) > 0 if output == "mbox" else
                        [n for n in os.listdir(shown) if not n.startswith(".vfolder-probe")]):
                    break
            except OSError:
                pass
            time.sleep(0.0005)
        child.send_signal(signal.SIGSTOP)
        child.send_signal(signal.SIGINT)
        child.send_signal(signal.SIGCONT)
        err = child.stderr.read().decode("latin-1")
        found = re.match(r"vfolder: interrupted after (\d+) of 3000 messages", err)
        check(output + " --resume interrupted: status", (130, True), (child.wait(), bool(found)))
        done = int(found.group(1)) if found else 0
        status, _, err = tools.run(*args)
        check(output + " --resume again: status and summary", (0, True), (status, bool(re.match(
            r"vfolder: 3000 messages, %d written, 0 failed(, \d+ given headers)?%s\n$" % (
                3000 - done, ", %d delivered before" % done if done else ""), err))))
        if output == "mbox":
            check_mbox("mbox --resume", out, msgs)
            continue
        got = collections.Counter(read(os.path.join(shown, name)) for name in os.listdir(shown))
        check(output + " --resume: every message once", collections.Counter(
            m.stored() for m in msgs), got)

    # A ledger that takes no line (a full disk): every message is written,
    # and the run says why the ledger lacks them and exits 1.
    if os.path.exists("/dev/full"):
        out = os.path.join(tools.work, "resumed-full")
        status, _, err = tools.run("--resume", "--ledger", "/dev/full", "maildir", index, out)
        check("--resume with a full disk under the ledger: status and reason", (1, True, True), (
            status, "vfolder: /dev/full: cannot be written: No space left on device\n" in err,
            bool(re.search(r"vfolder: 3000 messages, 3000 written, 0 failed", err))))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as work:
        tools = Tools(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), work)
        file_size_limits(tools)
        own_files(tools)
        log_as_output(tools)
        damaged_sizes(tools)
        links_in_the_destination(tools)
        item_past_the_end(tools)
        interrupts(tools)
        resumed(tools)
    if not failures:
        print("vfolder faults: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
