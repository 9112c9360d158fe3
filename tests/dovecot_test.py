#!/usr/bin/env python3
"""vfolder's Maildir and mbox outputs read back by a real mail server:
Dovecot's doveadm, with a throwaway configuration and no service.

    dovecot_test.py VFOLDER MKFOLDER
    dovecot_test.py count-maildir MAILDIR N    (Dovecot reads N messages there)

The realistic folder of 3,000 messages and the folder of odd messages
(make_mail_folder.py) go out as a Maildir and as an mbox, and Dovecot must
read each message as one of its own: the count, and each message's bytes as
the Maildir holds them (the headers vfolder gives included) or, in the mbox,
once the quoting of From lines is undone; each odd message with its own
Date, Subject and sender in Dovecot's envelope. --seen must come back as read.
Exits 77 (skipped) where doveadm is not installed.
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
from mail_output_test import check, failures, unquoted, with_status  # noqa: E402

Skipped = 77


class Dovecot:
    """doveadm over a copy of an output, as a user of its own: Dovecot refuses
    to touch mail as root, and writes its own headers into an mbox."""

    def __init__(self, work):
        self.home = os.path.join(work, "dovecot")
        os.mkdir(self.home)
        root = os.geteuid() == 0
        self.conf = os.path.join(self.home, "dovecot.conf")
        with open(self.conf, "w") as conf:
            conf.write("log_path = /dev/stderr\nssl = no\nmail_uid = %s\nmail_gid = %s\n" % (
                ("nobody", "nogroup") if root else (os.getuid(), os.getgid())))
        self.user = "nobody" if root else os.environ.get("USER", "vfolder")
        self.runs = 0

    def _place(self, output):
        self.runs += 1
        place = os.path.join(self.home, str(self.runs))
        os.mkdir(place)
        os.mkdir(os.path.join(place, "mboxroot"))
        copy = os.path.join(place, os.path.basename(output))
        (shutil.copytree if os.path.isdir(output) else shutil.copy)(output, copy)
        if os.geteuid() == 0:
            subprocess.run(["chown", "-R", "nobody:nogroup", self.home], check=True)
        return place, copy

    def fetch(self, output, kind, fields, mailbox="INBOX", place=None):
        """Every message of the output (or of `mailbox` in a copy `place`
        holds already) as Dovecot reads it: a list of dicts of `fields` (flags,
        size.physical and mailbox, then text last)."""
        place, copy = place or self._place(output)
        location = ("maildir:%s:INDEX=MEMORY" % copy if kind == "maildir" else
                    "mbox:%s/mboxroot:INBOX=%s:INDEX=MEMORY" % (place, copy))
        done = subprocess.run(
            ["doveadm", "-f", "pager", "-c", self.conf, "-o", "mail_location=" + location,
             "fetch", " ".join(fields), "mailbox", mailbox],
            env=dict(os.environ, HOME=place, USER=self.user), capture_output=True)
        check("doveadm fetch %s: status and complaints" % kind, (0, b""),
              (done.returncode, done.stderr))
        return parse_pager(done.stdout, fields)


def parse_pager(data, fields):
    """doveadm's pager form: "field: value" lines, the text after "text:" on a
    line of its own, and a form feed line between messages. The text runs for
    size.physical bytes where that was fetched (Maildir); else to the form
    feed (mbox), without the line feed doveadm puts before it."""
    messages, at = [], 0
    head = re.compile(b"".join(b"%s: ([^\n]*)\n" % f.encode() for f in fields[:-1]) + b"text:\n")
    while at < len(data):
        found = head.match(data, at)
        if not found:
            check("doveadm's output where a message starts", b"", data[at:at + 80])
            break
        message = dict(zip(fields, (value.decode() for value in found.groups())))
        if "size.physical" in message:
            end = found.end() + int(message["size.physical"])
            after = re.compile(b"\n?\f\n|\n?$").match(data, end)
        else:
            end = data.find(b"\n\f\n", found.end() - 1)
            end = len(data) if end < 0 else end
            after = re.compile(b"\n\f\n|$").match(data, end)
        if after is None:
            check("doveadm's output where a message ends", b"", data[end:end + 80])
            break
        message["text"] = data[found.end():end]
        messages.append(message)
        at = after.end()
    return messages


def read_back(tools, dovecot, name, msgs, options=()):
    """The Maildir and the mbox of `msgs`, each message whole in Dovecot."""
    index = os.path.join(tools.work, name + ".IDX")
    if not os.path.exists(index):
        subprocess.run([tools.mkfolder, describe(tools.work, name, msgs), index], check=True)
    seen = "--seen" in options
    what = " ".join([name] + list(options))
    maildir = os.path.join(tools.work, "Maildir-" + what.replace(" ", ""))
    mbox = maildir.replace("Maildir-", "mbox-")
    for output, target in (("maildir", maildir), ("mbox", mbox)):
        done = subprocess.run([tools.vfolder] + list(options) + [output, index, target],
                              capture_output=True)
        check("%s %s: status" % (what, output), 0, done.returncode)
    # The envelope (a literal where a text holds a tab) of the odd folder only.
    envelope = ["imap.envelope"] if name == "ODD" else []
    read = dovecot.fetch(maildir, "maildir", ["size.physical", "flags"] + envelope + ["text"])
    check(what + " Maildir: Dovecot's count", len(msgs), len(read))
    got = collections.Counter(message["text"] for message in read)
    wanted = collections.Counter((with_status(m) if seen else m.stored()) for m in msgs)
    if name == "ODD":
        by_text = {(with_status(m) if seen else m.stored()): m for m in msgs}
        check_envelopes(what + " Maildir", [(by_text.get(message["text"]), message["imap.envelope"])
                                            for message in read])
    check(what + " Maildir: the messages Dovecot misses and those it has besides (the first)",
          ([], []), (list(wanted - got)[:1], list(got - wanted)[:1]))
    read = dovecot.fetch(mbox, "mbox", ["flags"] + envelope + ["text"])
    check(what + " mbox: Dovecot's count", len(msgs), len(read))
    if name == "ODD":
        check_envelopes(what + " mbox", [(m, message["imap.envelope"])
                                         for m, message in zip(msgs, read)])
    for n, (message, m) in enumerate(zip(read, msgs)):
        # Dovecot ends header lines in a line feed, and keeps the Status: line
        # of --seen to itself, as a flag.
        wanted = lines(with_status(m) if seen else m.stored()).replace(b"Status: RO\n", b"")
        if lines(unquoted(message["text"])) != wanted:
            check("%s mbox: message %d as Dovecot reads it" % (what, n), wanted,
                  unquoted(message["text"]))
            break
    for kind, output in (("maildir", maildir), ("mbox", mbox)):
        flags = {message["flags"] for message in
                 dovecot.fetch(output, kind, ["flags", "text"])}
        check("%s %s: read or unread in Dovecot" % (what, kind), {seen},
              {"\\Seen" in flag.split() for flag in flags})


def read_tree(tools, dovecot, odd):
    """A directory of folders as a Maildir tree in Dovecot's default layout:
    every message of every folder in the mailbox of its name, a folder beside
    the directory of its name with its subfolders below it, Inbox as INBOX."""
    mail = os.path.join(tools.work, "Mail")
    folders = {"Inbox": make_mail_folder.messages(3), "Odd": odd,
               "Odd/Older": make_mail_folder.messages(2), "Work/Projects.2000":
               make_mail_folder.messages(4), "\u0410\u0440\u0445\u0438\u0432 & more":
               make_mail_folder.messages(2)}
    for name, msgs in folders.items():
        index = os.path.join(mail, name + ".IDX")
        os.makedirs(os.path.dirname(index), exist_ok=True)
        subprocess.run([tools.mkfolder, describe(tools.work, name.replace("/", "-"), msgs),
                        index], check=True)
    tree = os.path.join(tools.work, "Maildir-tree")
    done = subprocess.run([tools.vfolder, "--charset", "cp866", "maildir", mail, tree],
                          capture_output=True)
    check("Maildir tree: status", 0, done.returncode)
    place = dovecot._place(tree)
    archive = "\u0410\u0440\u0445\u0438\u0432 & more"  # a name in modified UTF-7 on disk
    for name, mailbox in (("Inbox", "INBOX"), ("Odd", "Odd"), ("Odd/Older", "Odd.Older"),
                          ("Work/Projects.2000", "Work.Projects_2000"), (archive, archive)):
        envelope = ["imap.envelope"] if name == "Odd" else []
        read = dovecot.fetch(tree, "maildir", ["size.physical", "mailbox"] + envelope + ["text"],
                             mailbox, place)
        got = collections.Counter((message["mailbox"], message["text"]) for message in read)
        wanted = collections.Counter((mailbox, m.stored()) for m in folders[name])
        if envelope:
            by_text = {m.stored(): m for m in folders[name]}
            check_envelopes("Maildir tree " + mailbox,
                            [(by_text.get(message["text"]), message["imap.envelope"])
                             for message in read])
        check("Maildir tree %s in Dovecot: missed and besides (the first)" % mailbox,
              ([], []), (list(wanted - got)[:1], list(got - wanted)[:1]))


def check_envelopes(what, pairs):
    """Each message's own Date, Subject and sender as Dovecot's IMAP envelope
    has them: "DATE SUBJECT ((NAME ROUTE MAILBOX HOST)) ..."."""
    for m, envelope in pairs:
        if m is None:
            continue  # the bytes differ: told already
        date = '"%s"' % m.date if m.date else "NIL"
        sender = m.sender or ""
        if "@" in sender:
            sender = '"%s" "%s"' % tuple(sender.split("@"))
        wanted = (True, True)
        got = (envelope.startswith('%s "%s" ' % (date, m.subject)), sender in envelope)
        if got != wanted:
            check("%s: Dovecot's envelope of %r (date and subject, sender %s)" % (
                what, m.name, sender), wanted, (got, envelope))


def lines(text):
    """The text with line feeds alone, and without those at its end, which
    Dovecot takes for the mbox's own."""
    return text.replace(b"\r\n", b"\n").rstrip(b"\r\n")


def describe(work, name, msgs):
    path = os.path.join(work, name + ".txt")
    with open(path, "w", encoding="ascii") as out:
        out.write(make_mail_folder.description(msgs))
    return path


class Tools:
    def __init__(self, vfolder, mkfolder, work):
        self.vfolder, self.mkfolder, self.work = vfolder, mkfolder, work


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "count-maildir" and shutil.which("doveadm"):
        with tempfile.TemporaryDirectory() as work:
            os.chmod(work, 0o755)
            got = Dovecot(work).fetch(sys.argv[2], "maildir", ["size.physical", "text"])
            check("Dovecot's messages in " + sys.argv[2], int(sys.argv[3]), len(got))
        sys.exit(1 if failures else 0)
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    if shutil.which("doveadm") is None:
        print("doveadm is not installed (Debian: dovecot-core): skipped")
        sys.exit(Skipped)
    with tempfile.TemporaryDirectory() as work:
        os.chmod(work, 0o755)  # Dovecot's user reaches its copies through it
        tools = Tools(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), work)
        dovecot = Dovecot(work)
        read_back(tools, dovecot, "REALISTIC", make_mail_folder.messages(3000))
        odd = make_mail_folder.odd_messages()
        # The odd folder's texts are cp866, which --charset names.
        read_back(tools, dovecot, "ODD", odd, ["--charset", "cp866"])
        read_back(tools, dovecot, "ODD", odd, ["--charset", "cp866", "--seen"])
        read_tree(tools, dovecot, odd)
    if not failures:
        print("Dovecot reads every message: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
