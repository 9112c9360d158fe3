#!/usr/bin/env python3
"""vfolder verify against the outputs of mbox, maildir (both layouts) and
copy --eml, of the 3,000 messages of make_mail_folder.py and of a directory
of five folders, with and without --exact and --seen: every output passes;
each output with a message deleted, one doubled and one byte of a third
changed fails with those counts and lines; an mbox's From line cut by the
pieces it is read in.

    verify_test.py VFOLDER MKFOLDER
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
from mail_output_test import Tools, check, failures  # noqa: E402

Tree = {"Inbox": make_mail_folder.messages(3), "Odd": make_mail_folder.odd_messages(),
        "Odd/Older": make_mail_folder.messages(2),
        "Work/Projects.2000": make_mail_folder.messages(4),
        "\u0410\u0440\u0445\u0438\u0432 & more": make_mail_folder.messages(2)}


def counts(n, present, missing=0, twice=0, changed=0):
    return "%d messages: %d present, %d missing, %d twice, %d changed" % (
        n, present, missing, twice, changed)


def mbox_messages(data):
    """The mbox cut at its From lines."""
    starts = [m.start() for m in re.finditer(rb"(?m)^From ", data)] + [len(data)]
    return [data[a:b] for a, b in zip(starts, starts[1:])]


def changed_byte(data):
    """One letter in the second half made upper case."""
    at = next(i for i in range(len(data) // 2, len(data)) if 0x61 <= data[i] <= 0x7A)
    return data[:at] + bytes([data[at] - 32]) + data[at + 1:]


def spoil(kind, out, msgs, gone, doubled, changed):
    """Message `gone` deleted, `doubled` there twice, one byte of `changed`
    changed, as a user's or a disk's mistake would leave them."""
    if kind == "mbox":
        parts = mbox_messages(open(out, "rb").read())
        parts[changed] = changed_byte(parts[changed])
        parts.insert(doubled + 1, parts[doubled])
        del parts[gone]
        with open(out, "wb") as spoilt:
            spoilt.write(b"".join(parts))
        return
    files = {}
    for top, _, names in os.walk(out):
        for name in names:
            path = os.path.join(top, name)
            files.setdefault(open(path, "rb").read(), path)
    paths = [files[m.stored()] for m in msgs]
    os.remove(paths[gone])
    shutil.copy(paths[doubled], paths[doubled] + ".copy.eml")  # any name the reader takes
    with open(paths[changed], "rb") as kept:
        data = kept.read()
    with open(paths[changed], "wb") as spoilt:
        spoilt.write(changed_byte(data))


def realistic(tools):
    msgs = make_mail_folder.messages(3000)
    index = tools.folder("REALISTIC", msgs)
    gone, doubled, changed = 100, 200, 300
    for kind, options, out in (("mbox", (), "r.mbox"), ("maildir", (), "r.maildir"),
                               ("copy --eml", (), "r.eml"),
                               ("mbox", ("--exact", "--seen"), "rs.mbox"),
                               ("maildir", ("--seen",), "rs.maildir")):
        what = " ".join((kind,) + options)
        out = os.path.join(tools.work, out)
        status, _, err = tools.run(*options, *kind.split(), index, out)
        check(what + ": written", 0, status)
        status, report, err = tools.run(*options, "verify", index, out)
        check(what + ": verify passes", (0, counts(3000, 3000) + "\n", ""),
              (status, report.decode(), err))
        if options:
            # Read without the options it was written with: every message differs.
            status, report, _ = tools.run("verify", index, out)
            check(what + ": verify without its options", (1, counts(3000, 0, 0, 0, 3000)),
                  (status, report.decode().splitlines()[0]))
            continue
        spoil(kind.split()[0], out, msgs, gone, doubled, changed)
        status, report, _ = tools.run("verify", index, out)
        lines = report.decode().splitlines()
        check(what + " spoilt: status and counts", (1, counts(3000, 2998, 1, 1, 1)),
              (status, lines[0]))
        check(what + " spoilt: the messages", [
            "  %d %s: missing" % (gone, msgs[gone].name),
            "  %d %s: twice" % (doubled, msgs[doubled].name),
            "  %d %s: changed" % (changed, msgs[changed].name)],
              [re.sub(r"(: (missing|twice|changed)).*", r"\1", line) for line in lines[1:]])
        status, report, _ = tools.run("verify", "--tsv", index, out)
        rows = [line.split("\t") for line in report.decode().splitlines()]
        check(what + " spoilt: --tsv", [
            ["folder", "", out, "3000", "2998", "1", "1", "1", "0", "0", "0"],
            ["message", "", str(gone), msgs[gone].name, "missing"],
            ["message", "", str(doubled), msgs[doubled].name, "twice"],
            ["message", "", str(changed), msgs[changed].name, "changed"]],
              [row[:5] if row[0] == "message" else row for row in rows])
        check(what + " spoilt: twice names two, changed one", [7, 6],
              [len(rows[2]), len(rows[3])])


def tree(tools):
    mail = os.path.join(tools.work, "Mail")
    for name, msgs in Tree.items():
        index = os.path.join(mail, name + ".IDX")
        os.makedirs(os.path.dirname(index), exist_ok=True)
        tools.folder(name.replace("/", "-"), msgs, index=index)
    total = sum(len(m) for m in Tree.values())
    charset = ("--charset", "cp866")
    for kind in ("mbox", "maildir", "--layout fs maildir", "copy --eml"):
        for options in ((), ("--exact",), ("--seen",), ("--exact", "--seen")):
            if kind == "copy --eml" and "--seen" in options:
                continue
            what = "tree: " + " ".join((kind,) + options)
            out = os.path.join(tools.work, "tree-out")
            shutil.rmtree(out, ignore_errors=True)
            status, _, _ = tools.run(*charset, *options, *kind.split(), mail, out)
            check(what + ": written", 0, status)
            status, report, err = tools.run(*charset, *options, "verify", mail, out)
            lines = report.decode().splitlines()
            check(what + ": verify passes", (0, "all folders: " + counts(total, total), ""),
                  (status, lines[-1], err))
            check(what + ": a line for each folder", 5, len(lines) - 1)
    status, _, err = tools.run("verify", mail, out)
    check("tree: names that need --charset", (2, True), (status, "--charset" in err))
    # The last (.eml files): one folder's messages taken away.
    odd = os.path.join(out, "Odd")
    for name in os.listdir(odd):
        if name.endswith(".eml"):
            os.remove(os.path.join(odd, name))
    status, report, _ = tools.run(*charset, "--exact", "--seen", "verify", mail, out)
    n = len(Tree["Odd"])
    check("tree, a folder emptied: status and its line", (1, "Odd.IDX: " + counts(n, 0, n)),
          (status, next((line for line in report.decode().splitlines()
                         if line.startswith("Odd.IDX")), None)))


def pieces(tools):
    """An mbox is read in pieces of 1 MiB: a From line that a piece cuts, at
    each of its first bytes, still starts a message."""
    for cut in range(-1, 6):
        # The second From line starts 58 bytes after the first body's end.
        fill = 1024 * 1024 - cut - 58
        path = os.path.join(tools.work, "PIECE.txt")
        with open(path, "w") as out:
            out.write("message\nname a\nbody-fill %d\nmessage\nname b\nbody-fill 100\n" % fill)
        index = os.path.join(tools.work, "PIECE%d.IDX" % cut)
        subprocess.run([tools.mkfolder, path, index], check=True)
        mbox = index + ".mbox"
        tools.run("mbox", index, mbox)
        check("a From line %d bytes before a piece's end: where it is" % cut, 1024 * 1024 - cut,
              read_bytes(mbox).find(b"\nFrom ", 1) + 1)
        status, report, _ = tools.run("verify", index, mbox)
        check("a From line %d bytes before a piece's end: verify passes" % cut,
              (0, counts(2, 2) + "\n"), (status, report.decode()))


def extra(tools):
    """Messages of no folder message (an mbox appended to) are said, and
    fail nothing."""
    index = tools.folder("TWO", make_mail_folder.messages(2))
    other = tools.folder("OTHER", make_mail_folder.messages(3)[2:])
    mbox = os.path.join(tools.work, "two.mbox")
    tools.run("mbox", index, mbox)
    tools.run("--append", "mbox", other, mbox)
    status, report, _ = tools.run("verify", index, mbox)
    lines = report.decode().splitlines() + ["", ""]
    check("an mbox appended to: status and lines", (0, counts(2, 2) + ", 1 extra"),
          (status, lines[0]))
    check("an mbox appended to: the extra message", True,
          re.fullmatch(r"  extra: #3 at byte \d+", lines[1]) is not None)


def read_bytes(path):
    with open(path, "rb") as stored:
        return stored.read()


def usage(tools):
    index = tools.folder("SMALL", make_mail_folder.messages(2))
    for args in (("verify", index), ("verify", "--log", "x", index, index),
                 ("verify", index, os.path.join(tools.work, "nothing-there"))):
        status, _, _ = tools.run(*args)
        check("usage: %s" % " ".join(args[:2]), 2, status)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as work:
        tools = Tools(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), work)
        realistic(tools)
        tree(tools)
        pieces(tools)
        extra(tools)
        usage(tools)
    if not failures:
        print("vfolder verify: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
