#!/usr/bin/env python3
"""vfolder's outputs for mail programs, read back by Python's mailbox module.

    mail_output_test.py VFOLDER MKFOLDER        the checks below
    mail_output_test.py check-mbox FILE N       FILE holds the N messages of
    mail_output_test.py check-maildir DIR N     make_mail_folder.py N (exactly)
    mail_output_test.py check-mbox FILE N --seen    the same, marked as read
    mail_output_test.py same-maildir DIR DIR    the same messages and dates in new
    mail_output_test.py split-mbox ALL FIRST SECOND   FIRST holds some but not all
        of ALL's messages, and SECOND holds the others: each exactly once

Prints each failure and exits non-zero when there is one.
"""
import base64
import calendar
import collections
import copy
import datetime
import email
import email.utils
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402

import mailbox  # noqa: E402

failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append(what)
        print("FAIL %s\n--- expected\n%r\n--- actual\n%r" % (what, expected, actual))


def unquoted(data):
    return re.sub(rb"(?m)^>(>*From )", rb"\1", data)


def in_mbox(body):
    """The message as the mbox holds it once unquoted: with a final line feed."""
    return body if body.endswith(b"\n") else body + b"\n"


def expected_sender(message):
    return message.sender or "MAILER-DAEMON"


def utc(*fields):
    return calendar.timegm(tuple(fields) + (0,) * (6 - len(fields)))


# Servers that keep times in 32 bits hold nothing before the end of 1901.
Earliest = utc(1902, 1, 1)


def index_seconds(text):
    """An index date text read as UTC, as the Date: given for it states it;
    None where it states no date."""
    form = re.fullmatch(r"( ?\d|\d\d) ([A-Za-z]{3}) (\d\d) (\d\d):(\d\d)(\D.*)?", text)
    names = [m.lower() for m in make_mail_folder.MONTHS]
    if not form or form[2].lower() not in names:
        return None
    year = int(form[3]) + (2000 if int(form[3]) < 50 else 1900)
    try:
        datetime.datetime(year, names.index(form[2].lower()) + 1, int(form[1]), int(form[4]),
                          int(form[5]))
    except ValueError:
        return None
    return utc(year, names.index(form[2].lower()) + 1, int(form[1]), int(form[4]), int(form[5]))


def instant(message):
    """The moment every output gives a message (the mbox From line, the
    files' times, the IMAP internal date): the Date: it holds (given or its
    own, a row's `instant` where Python reads two-digit years otherwise), where
    that lies between 1902 and now, else its index date; None for neither."""
    if hasattr(message, "instant"):
        return message.instant
    try:
        own = email.utils.parsedate_to_datetime(message.date) if message.date else None
    except (TypeError, ValueError):
        own = None
    if own is not None and own.tzinfo is None:
        own = own.replace(tzinfo=datetime.timezone.utc)  # -0000
    if own is not None and Earliest <= own.timestamp() <= time.time():
        return int(own.timestamp())
    index = index_seconds(message.date_text)
    return index if index is not None and index <= time.time() else None


def check_time(what, message, seconds, undated=None):
    """A time given to the message: its instant(), or where it has none, the
    run's (the moment it was written), or `undated` where that is fixed."""
    expected = instant(message)
    if expected is None and undated is not None:
        check(what + " (none)", undated, seconds)
    elif expected is None:
        check(what + " (none: the run's time)", True, abs(seconds - time.time()) < 600)
    else:
        check(what, time.asctime(time.gmtime(expected)), time.asctime(time.gmtime(seconds)))


def from_line_seconds(from_line):
    return calendar.timegm(time.strptime(from_line.split(" ", 1)[1], "%a %b %d %H:%M:%S %Y"))


def check_mbox(what, path, msgs, dated=False, seen=False, headers=True):
    """The mbox holds exactly `msgs`, in order, with their headers as stored
    and those given (with --seen the status lines too), and Python reads their
    senders, Subject and Date as `msgs` say (unless not `headers`); `dated`:
    each From line's date is the message's instant()."""
    box = mailbox.mbox(path, create=False)
    keys = list(box.keys())
    check(what + ": message count", len(msgs), len(keys))
    for n, (key, message) in enumerate(zip(keys, msgs)):
        got = box.get_bytes(key)
        wanted = in_mbox(with_status(message) if seen else message.stored())
        if unquoted(got) != wanted:
            check("%s: bytes of message %d" % (what, n), wanted, unquoted(got))
            continue
        if not headers:
            continue
        parsed = box[key]
        sender = parsed.get_from().split(" ", 1)
        check("%s: From line sender of message %d" % (what, n), expected_sender(message),
              sender[0])
        if dated:
            check_time("%s: From line date of message %d" % (what, n), message,
                       from_line_seconds(parsed.get_from()), 0)
        check("%s: Subject of message %d" % (what, n), message.subject, parsed["Subject"])
        check("%s: Date of message %d" % (what, n), message.date, parsed["Date"])
        if message.sender and getattr(message, "plain_sender", True):
            check("%s: From of message %d" % (what, n), message.sender,
                  email.utils.parseaddr(parsed["From"])[1])
    box.close()


def with_status(message):
    """The message as mbox --seen writes it: the status lines after the given ones."""
    end = b"\r\n" if message.kept.split(b"\n", 1)[0].endswith(b"\r") else b"\n"
    given = message.given
    status = b"Status: RO" + end + b"X-Mozilla-Status: 0001" + end
    if given.endswith(end + end):
        return given[:-len(end)] + status + end + message.kept
    return given + status + message.kept


def check_maildir(what, path, msgs, dated=False):
    """The Maildir's new holds exactly `msgs` (in any order); `dated`: each
    with the message's instant() as its modification time."""
    box = mailbox.Maildir(path, factory=None, create=False)
    got = collections.Counter()
    times = {}
    for key in box.keys():
        data = box.get_bytes(key)
        got[data] += 1
        times[data] = os.stat(os.path.join(path, "new", key)).st_mtime
        if not re.fullmatch(r"\d+\.M\d{6}P\d+Q\d+\.[^/:]+", key):
            check(what + ": Maildir name", "SECONDS.MmicroPpidQn.HOST", key)
    wanted = collections.Counter(m.stored() for m in msgs)
    # Only the difference, so that one wrong message does not bury the rest.
    check(what + ": messages in new (missing, extra: the first of each)", ([], []),
          (list(wanted - got)[:1], list(got - wanted)[:1]))
    check(what + ": number of messages in new", sum(wanted.values()), sum(got.values()))
    check(what + ": nothing in cur or tmp", [[], []],
          [os.listdir(os.path.join(path, d)) for d in ("cur", "tmp")])
    if dated:
        for n, message in enumerate(msgs):
            # Messages of the same bytes are told apart by nothing.
            if wanted[message.stored()] == 1 and message.stored() in times:
                check_time("%s: date of message %d" % (what, n), message,
                           int(times[message.stored()]))
    box.close()


def same_maildir(first, second):
    def contents(path):
        new = os.path.join(path, "new")
        return sorted((open(os.path.join(new, name), "rb").read(),
                       int(os.stat(os.path.join(new, name)).st_mtime))
                      for name in os.listdir(new))
    a, b = contents(first), contents(second)
    check("same-maildir: number of messages", len(a), len(b))
    check("same-maildir: the first message that differs (bytes, date)", None,
          next((pair for pair in zip(a, b) if pair[0] != pair[1]), None))


def split_mbox(whole, first, second):
    def contents(path):
        box = mailbox.mbox(path, create=False)
        held = [box.get_bytes(key) for key in box.iterkeys()]
        box.close()
        return held
    every, a, b = contents(whole), contents(first), contents(second)
    print("split-mbox: %d messages in all, %d in the first, %d in the second"
          % (len(every), len(a), len(b)))
    check("split-mbox: the first holds some but not all", True, 0 < len(a) < len(every))
    both = collections.Counter(a) + collections.Counter(b)
    check("split-mbox: messages missing from both", 0,
          sum((collections.Counter(every) - both).values()))
    check("split-mbox: messages held once too often", 0,
          sum((both - collections.Counter(every)).values()))


class Tools:
    def __init__(self, vfolder, mkfolder, work):
        self.vfolder, self.mkfolder, self.work = vfolder, mkfolder, work

    def describe(self, name, msgs, extra=()):
        """Writes the mkfolder description NAME.txt of the messages; returns its path."""
        description = os.path.join(self.work, name + ".txt")
        with open(description, "w", encoding="ascii") as out:
            out.write(make_mail_folder.description(msgs, extra))
        return description

    def folder(self, name, msgs, extra=(), index=None):
        """Writes the messages as folder NAME.IDX, or at `index`; returns its path."""
        index = index or os.path.join(self.work, name + ".IDX")
        subprocess.run([self.mkfolder, self.describe(name, msgs, extra), index], check=True)
        return index

    def run(self, *args):
        done = subprocess.run([self.vfolder] + list(args), capture_output=True)
        return done.returncode, done.stdout, done.stderr.decode("latin-1")

    def ticks(self, index):
        """Each item's last-write time from the listing."""
        _, out, _ = self.run("list", "--tsv", index)
        return [int(line.split(b"\t")[5]) for line in out.splitlines()]


def left_over(directory):
    """Files an output leaves behind it when it cannot finish: none may stay."""
    return [name for name in os.listdir(directory) if ".vf" in name]


def read(path):
    with open(path, "rb") as stored:
        return stored.read()


def summary(total, written, failed, given=0):
    return "vfolder: %d message%s, %d written, %d failed%s\n" % (
        total, "" if total == 1 else "s", written, failed,
        ", %d given headers" % given if given else "")


def hand_made():
    """Messages whose From line needs a rule of its own."""
    M = make_mail_folder.Message
    made = [
        M("Quoted address", "Joe", "12 Mar 00 14:35",
          b'From: Joe <"joe bloggs"@example.com>\nSubject: q\nDate: d\n\nhi\n',
          '"joe_bloggs"@example.com', "q", "d"),
        M("Spaces in brackets", "Joe", "12 Mar 00 14:35",
          b"FROM:\tJoe (the <boss>) < joe @ example.com >\nSubject: s\nDate: d\n\nhi\n",
          "joe@example.com", "s", "d"),
        M("Two words", "Joe", "12 Mar 00 14:35",
          b"From: Joe Bloggs\nSubject: w\nDate: d\n\nhi\n", None, "w", "d"),
        M("From in the body only", "Joe", "12 Mar 00 14:35",
          b"Subject: b\nDate: d\n\nFrom: joe@example.com\n", None, "b", "d"),
        M("Null sender", "Joe", "12 Mar 00 14:35",
          b"From: <>\nSubject: n\nDate: d\n\nFrom \n", None, "n", "d"),
        M("Unknown date", "Joe", "12 Xyz 00 14:35",
          b"From: ann@example.org\nSubject: u\nDate: d\n\n>>>>From x", "ann@example.org",
          "u", "d"),
        M("Empty", "Joe", "12 Mar 00 14:35", b"", "Joe", "Empty", "Sun, 12 Mar 2000 14:35:00 -0000",
          b"From: Joe\nSubject: Empty\nDate: Sun, 12 Mar 2000 14:35:00 -0000\n\n"),
    ]
    for message in made:
        message.plain_sender = False  # not the address as email.utils reads it
    return made


def dated_messages():
    """Rows of dates, each with the instant every output is to give it (None:
    no date can be trusted, and the run's or the server's time stands)."""
    def row(name, date_text, headers, seconds, given=b""):
        message = make_mail_folder.Message(name, "Joe", date_text,
                                           headers.encode() + b"\n\n" + name.encode() + b"\n",
                                           None, name, None, given)
        message.instant = seconds
        return message
    undated = "garbage"
    return [
        # A two-digit year as mail readers read it: 00-49 20xx, 50-99 19xx
        # (49 lies ahead: none); three digits add 1900.
        row("Year 00", undated, "Subject: y\nDate: Sat, 11 Mar 00 10:00:00 +0100",
            utc(2000, 3, 11, 9)),
        row("Year 49", undated, "Subject: y\nDate: Thu, 11 Mar 49 10:00:00 +0100", None),
        row("Year 50", undated, "Subject: y\nDate: Sat, 11 Mar 50 10:00:00 +0100",
            utc(1950, 3, 11, 9)),
        row("Year 99", undated, "Subject: y\nDate: Thu, 11 Mar 99 10:00:00 -0500",
            utc(1999, 3, 11, 15)),
        row("Year 102", undated, "Subject: y\nDate: Mon, 11 Mar 102 10:00:00 GMT",
            utc(2002, 3, 11, 10)),
        row("Zone name and comment", undated,
            "Subject: z\nDate: 12 Mar 2000 14:35 (lunch)\n EST", utc(2000, 3, 12, 19, 35)),
        row("No date anywhere", undated, "Subject: n", None),
        row("In the future", undated, "Subject: f\nDate: Mon, 1 Jan 2090 00:00:00 +0000", None),
        row("Before 1902", undated, "Subject: b\nDate: Tue, 31 Dec 1901 23:00:00 +0000", None),
        row("Impossible", undated, "Subject: i\nDate: Fri, 31 Feb 2000 10:00:00 +0000", None),
        # An item dated in the index: where its own Date: cannot be trusted,
        # or it has none (and is given one), the index date, read as UTC.
        row("Future, dated", "12 Mar 00 14:35", "Subject: f\nDate: 1 Jan 2090 00:00 +0000",
            utc(2000, 3, 12, 14, 35)),
        row("Before 1902, dated", "12 Mar 00 14:35", "Subject: b\nDate: 1 Jan 1900 00:00 +0000",
            utc(2000, 3, 12, 14, 35)),
        row("Dated in the index", "12 Mar 00 14:35", "Subject: d", utc(2000, 3, 12, 14, 35),
            b"Date: Sun, 12 Mar 2000 14:35:00 -0000\n"),
        row("New Year at midnight", "1 Jan 99 00:00", "Subject: m", utc(1999, 1, 1),
            b"Date: Fri, 1 Jan 1999 00:00:00 -0000\n"),
        # Its own Date: counts before the index's.
        row("Own date, dated", "12 Mar 00 14:35", "Subject: o\nDate: Sat, 11 Mar 2000 10:00 +0100",
            utc(2000, 3, 11, 9)),
    ]


def dates(tools):
    """Every output gives each message one moment: the mbox From line, the
    Maildir and .eml files' times (the IMAP internal date: imap_test.py)."""
    msgs = dated_messages()
    index = tools.folder("DATED", msgs)
    out = os.path.join(tools.work, "dated")
    emls = os.path.join(out, "eml")
    os.makedirs(emls)
    for command, target in ((["mbox"], "mbox"), (["maildir"], "maildir"), (["copy", "--eml"], "eml")):
        status, _, err = tools.run(*(command + [index, os.path.join(out, target)]))
        check("dates %s: status" % target, 0, status)
    froms = {m.get_payload(): m.get_from() for m in mailbox.mbox(os.path.join(out, "mbox"))}
    new = os.path.join(out, "maildir", "new")
    files = {read(os.path.join(new, n)): os.stat(os.path.join(new, n)).st_mtime
             for n in os.listdir(new)}
    for m in msgs:
        body = m.name + "\n"
        # An mbox is the same in every run: its From line of an undated
        # message has the Unix epoch, the one date it has always stood for.
        check_time("dates mbox: From line of " + m.name, m, from_line_seconds(froms[body]), 0)
        check_time("dates maildir: time of " + m.name, m,
                   int(next(t for data, t in files.items() if data.endswith(body.encode()))))
        check_time("dates eml: time of " + m.name, m,
                   int(os.stat(os.path.join(emls, m.name.replace(" ", "_") + ".eml")).st_mtime))
    # The Date: given to the item dated in the index states the same moment.
    given = email.message_from_bytes(next(d for d in files if d.endswith(b"Dated in the index\n")))
    check("dates: the given Date: is the From line's moment", utc(2000, 3, 12, 14, 35),
          int(email.utils.parsedate_to_datetime(given["Date"]).replace(
              tzinfo=datetime.timezone.utc).timestamp()))


def suite(vfolder, mkfolder):
    with tempfile.TemporaryDirectory() as work:
        tools = Tools(vfolder, mkfolder, work)
        msgs = make_mail_folder.messages(60) + hand_made()
        index = tools.folder("INBOX", msgs)
        ticks = tools.ticks(index)
        check("zero item time", 0, ticks[-2])

        mbox = os.path.join(work, "all.mbox")
        status, _, err = tools.run("mbox", index, mbox)
        check("mbox: status", 0, status)
        check("mbox: summary", summary(len(msgs), len(msgs), 0, 1), err)
        check_mbox("mbox", mbox, msgs, True)
        check("mbox: nothing left beside it", [], left_over(work))
        with open(mbox, "rb") as stored:
            whole = stored.read()
        _, out, _ = tools.run("mbox", index, "-")
        check("mbox to standard output", whole, out)

        status, _, err = tools.run("mbox", index, mbox)
        check("mbox into a file that holds messages: refused", (2, whole), (status, read(mbox)))
        status, _, err = tools.run("--append", "mbox", index, mbox, "0")
        check("mbox --append: status", 0, status)
        check_mbox("mbox --append", mbox, msgs + msgs[:1], True)
        status, _, err = tools.run("--replace", "mbox", index, mbox, "5", "Re: meeting", "3", "5")
        selection = [5] + [n for n, m in enumerate(msgs) if m.name == "Re: meeting"]
        selection = sorted(set(selection + [3]))
        check("mbox of a selection: summary", summary(len(selection), len(selection), 0), err)
        check_mbox("mbox of a selection", mbox, [msgs[n] for n in selection], True)

        maildir = os.path.join(work, "Mail")
        status, _, err = tools.run("maildir", index, maildir)
        check("maildir: status", 0, status)
        check("maildir: summary", summary(len(msgs), len(msgs), 0, 1), err)
        check_maildir("maildir", maildir, msgs, True)
        before = {name: open(os.path.join(maildir, "new", name), "rb").read()
                  for name in os.listdir(os.path.join(maildir, "new"))}
        status, _, err = tools.run("maildir", index, maildir, "0", "1")
        check("maildir, a second run: summary", summary(2, 2, 0), err)
        after = os.listdir(os.path.join(maildir, "new"))
        check("maildir, a second run: adds two", len(before) + 2, len(after))
        check("maildir, a second run: leaves the first as it was", before,
              {name: open(os.path.join(maildir, "new", name), "rb").read()
               for name in before})
        check_maildir("maildir, both runs", maildir, msgs + msgs[:2])

        # The data folder file ends inside message 5 of 10.
        cut = make_mail_folder.messages(10)
        cut_at = sum(len(m.body) for m in cut[:5]) + 3
        cut_index = tools.folder("CUT", cut, ["data-truncate %d" % cut_at])
        os.remove(mbox)
        status, _, err = tools.run("mbox", cut_index, mbox)
        check("mbox cut short: status", 1, status)
        check("mbox cut short: summary", summary(10, 5, 5), err.splitlines(True)[-1])
        check("mbox cut short: names the message", True,
              "vfolder: message 5 (%s): Cannot read message\n" % cut[5].name in err)
        check_mbox("mbox cut short", mbox, cut[:5])
        check("mbox cut short: nothing left beside it", [], left_over(work))
        cut_dir = os.path.join(work, "CutMail")
        status, _, err = tools.run("maildir", cut_index, cut_dir)
        check("maildir cut short: status and summary", (1, summary(10, 5, 5)),
              (status, err.splitlines(True)[-1]))
        check_maildir("maildir cut short", cut_dir, cut[:5])
        # A message cut short has no system reason, though its name, taken
        # already, left one.
        cut_eml = os.path.join(work, "CutEml")
        os.mkdir(cut_eml)
        open(os.path.join(cut_eml, "Hello_.eml"), "wb").close()
        status, _, err = tools.run("copy", "--eml", cut_index, cut_eml, "5")
        check("copy --eml cut short, its names taken: no reason the system did not give",
              (1, True), (status, bool(re.fullmatch(
                  r"vfolder: message 5 \(%s\): Cannot read message: [^:]*\n%s" % (
                      re.escape(cut[5].name), re.escape(summary(1, 0, 1))), err))))

        os.rename(cut_index[:-1] + "M", cut_index[:-1] + "Z")
        status, _, err = tools.run("--replace", "mbox", cut_index, mbox)
        check("mbox without data file", (1, "Unable to open Data Folder File: %sM\n%s" % (
            cut_index[:-1], summary(10, 0, 10))), (status, err))
        check("mbox without data file: the file as it was", 5, len(mailbox.mbox(mbox)))
        check("mbox without data file: nothing left beside it", [], left_over(work))

        # copy --eml gives copy's names, each with .eml.
        hard = make_mail_folder.messages(len(make_mail_folder.HARD_NAMES))
        hard_index = tools.folder("HARD", hard)
        plain, eml = os.path.join(work, "plain"), os.path.join(work, "eml")
        os.mkdir(plain)
        os.mkdir(eml)
        tools.run("copy", hard_index, plain)
        status, _, err = tools.run("copy", "--eml", hard_index, eml)
        check("copy --eml: status and summary", (0, summary(len(hard), len(hard), 0)),
              (status, err))
        names = os.listdir(plain)
        check("copy --eml: copy's names with .eml", sorted(n + ".eml" for n in names),
              sorted(os.listdir(eml)))
        check("copy --eml: the names", sorted([
            "Re__a_b.eml", "Re__a_b_(2).eml", "Re__a_b_(3).eml", "MEETING.eml",
            "meeting_(2).eml", "Hello_.eml", "_.eml", "__(2).eml", "__.eml", "CON_.eml",
            "con_.txt.eml", "Re__meeting.eml", "Re__meeting_(2).eml", "x" * 36 + ".eml",
            "leading_spaces.eml", "tab_in_name.eml", "trailing_dot___.eml", "Re__a_b_(4).eml"]),
            sorted(os.listdir(eml)))
        check("copy --eml: the bytes", [open(os.path.join(plain, n), "rb").read() for n in names],
              [open(os.path.join(eml, n + ".eml"), "rb").read() for n in names])
        check("copy --eml: the dates", [int(os.stat(os.path.join(plain, n)).st_mtime)
                                        for n in names],
              [int(os.stat(os.path.join(eml, n + ".eml")).st_mtime) for n in names])
        first = {n: open(os.path.join(eml, n), "rb").read() for n in os.listdir(eml)}
        status, _, err = tools.run("copy", "--eml", hard_index, eml, "0", "3")
        check("copy --eml again: status", (0, summary(2, 2, 0)), (status, err))
        check("copy --eml again: the next free names, the files from before as they were",
              (sorted(list(first) + ["MEETING_(2).eml", "Re__a_b_(5).eml"]), first),
              (sorted(os.listdir(eml)),
               {n: open(os.path.join(eml, n), "rb").read() for n in first}))
        status, _, err = tools.run("copy", "--eml", cut_index, eml, "0")
        check("copy --eml without data file", 1, status)
        check("copy --eml: nothing left", [], left_over(eml))

        status, _, _ = tools.run("mbox", "--eml", index, mbox)
        check("--eml with mbox: status", 2, status)

        # Progress on a terminal, only there, and gone at the end. The run
        # must outlast the first tenth of a second, on a fast machine too.
        big_index = tools.folder("BIG", make_mail_folder.messages(BigRun))
        status, _, err = tools.run("maildir", big_index, os.path.join(work, "Big"))
        check("no progress off a terminal", summary(BigRun, BigRun, 0), err)
        master, slave = pty.openpty()
        done = subprocess.run([vfolder, "maildir", big_index, os.path.join(work, "Big2")],
                              stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        shown = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
        os.close(master)
        text = shown.decode("latin-1").replace("\r\n", "\n")
        if "/%d messages" % BigRun not in text:
            print("what the terminal showed: %r" % text[-300:])
        check("progress on a terminal", (0, True, True),
              (done.returncode, "/%d messages" % BigRun in text,
               text.endswith("\r" + summary(BigRun, BigRun, 0))))


def trees(tools):
    """A directory of folders in, a tree out, for every output and layout:
    subdirectories, a folder and a directory of one name, an empty folder, a
    data folder file whose name differs in case, names that Windows takes for
    one, a data folder file that cannot be read or is missing, an empty index
    without one, names that are a Maildir's own, INBOX's and Maildir++'s '.',
    and files and directories that are no folders."""
    work = tools.work
    mail = os.path.join(work, "Mail")
    made = {}

    def folder(rel, count, first=0):
        path = os.path.join(mail, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        msgs = make_mail_folder.messages(first + count)[first:]
        tools.folder(rel.replace("/", "-"), msgs, index=path)
        made[rel] = msgs
        return path

    folder("Inbox.IDX", 12)
    folder("Inbox/Old.IDX", 2, 90)
    folder("Archive.IDX", 3, 20)
    folder("Archive/2000.IDX", 8, 30)
    folder("Archive/new.IDX", 1, 95)
    lower = folder("Archive/old/x.idx", 5, 40)
    os.rename(lower[:-1] + "M", lower[:-1] + "m")
    folder("Work/Sent.IDX", 4, 50)
    folder("Work/sent.IDX", 2, 60)
    folder("Work/Sent.OLD", 3, 70)
    folder("v1.2.IDX", 1, 97)
    open(os.path.join(mail, "Empty.IDX"), "wb").close()
    open(os.path.join(mail, "Empty.IDM"), "wb").close()
    made["Empty.IDX"] = []
    open(os.path.join(mail, "Gone.IDX"), "wb").close()
    broken = folder("Broken.IDX", 2, 80)
    os.remove(broken[:-1] + "M")
    os.mkfifo(broken[:-1] + "M")
    missing = folder("Missing.IDX", 3, 85)
    os.remove(missing[:-1] + "M")
    failing = ("Broken.IDX", "Missing.IDX")
    os.makedirs(os.path.join(mail, "nothing", "here"))
    with open(os.path.join(mail, "notes.txt"), "w") as notes:
        notes.write("no folder\n")

    # Where each folder's messages go, by output; None for the directory levels'
    # empty mbox files.
    mbox_tree = {"Inbox": "Inbox.IDX", "Inbox.sbd/Old": "Inbox/Old.IDX", "Archive": "Archive.IDX",
                 "Archive.sbd/2000": "Archive/2000.IDX", "Archive.sbd/new": "Archive/new.IDX",
                 "Archive.sbd/old": None, "Archive.sbd/old.sbd/x": "Archive/old/x.idx",
                 "Empty": "Empty.IDX", "Broken": "Broken.IDX", "Missing": "Missing.IDX",
                 "Work": None, "Work.sbd/Sent": "Work/Sent.IDX",
                 "Work.sbd/Sent_(2)": "Work/Sent.OLD", "Work.sbd/sent_(3)": "Work/sent.IDX",
                 "v1.2": "v1.2.IDX"}
    # Maildir++ in Python's terms: "" is the top Maildir, the rest its folders.
    plus_tree = {"": "Inbox.IDX", "Inbox_(2).Old": "Inbox/Old.IDX", "Archive": "Archive.IDX",
                 "Archive.2000": "Archive/2000.IDX", "Archive.new": "Archive/new.IDX",
                 "Archive.old.x": "Archive/old/x.idx", "Empty": "Empty.IDX",
                 "Broken": "Broken.IDX", "Missing": "Missing.IDX", "Work.Sent": "Work/Sent.IDX",
                 "Work.Sent_(2)": "Work/Sent.OLD", "Work.sent_(3)": "Work/sent.IDX",
                 "v1_2": "v1.2.IDX"}
    dir_tree = {"Inbox": "Inbox.IDX", "Inbox/Old": "Inbox/Old.IDX", "Archive": "Archive.IDX",
                "Archive/2000": "Archive/2000.IDX", "Archive/new_(2)": "Archive/new.IDX",
                "Archive/old/x": "Archive/old/x.idx", "Empty": "Empty.IDX",
                "Broken": "Broken.IDX", "Missing": "Missing.IDX", "Work/Sent": "Work/Sent.IDX",
                "Work/Sent_(2)": "Work/Sent.OLD", "Work/sent_(3)": "Work/sent.IDX",
                "v1.2": "v1.2.IDX"}
    # .eml files never take the name of a directory: no name is kept back.
    eml_tree = dict(dir_tree)
    eml_tree["Archive/new"] = eml_tree.pop("Archive/new_(2)")
    total = sum(len(m) for m in made.values())
    failed = sum(len(made[rel]) for rel in failing)
    for output, options, tree in (("mbox", [], mbox_tree), ("maildir", [], plus_tree),
                                  ("maildir", ["--layout", "fs"], dir_tree),
                                  ("eml", [], eml_tree)):
        name = output + "".join(options)
        out = os.path.join(work, "tree-" + name)
        args = (["copy", "--eml"] if output == "eml" else options + [output]) + [mail, out]
        log = os.path.join(work, "tree.log")
        status, _, err = tools.run("--log", log, *args)
        lines = err.splitlines(True)
        check("%s tree: status and total" % name, (1, summary(total, total - failed, failed)),
              (status, lines[-1]))
        check("%s tree: the empty index without its data folder file, in one line" % name,
              ["vfolder: 1 empty index file without a data folder file passed over\n"],
              [line for line in lines if "passed over" in line])
        for rel in failing:
            check("%s tree: the folder %s that cannot be read" % (name, rel), True,
                  "Unable to open Data Folder File: %s/%sM\n" % (mail, rel[:-1]) in lines)
        check("%s tree: a summary for each folder" % name,
              sorted("vfolder: %s/%s: %s" % (mail, rel, summary(len(m), len(m), 0)[9:])
                     for rel, m in made.items() if rel not in failing),
              sorted(line for line in lines if line.startswith("vfolder: " + mail) and
                     line.split(": ")[1][len(mail) + 1:] not in failing))
        files = sorted(os.path.relpath(os.path.join(d, f), out)
                       for d, _, names in os.walk(out) for f in names)
        if output == "mbox":
            check("mbox tree: the layout of local folders", sorted(mbox_tree), files)
            for rel, source in mbox_tree.items():
                msgs = made[source] if source and source not in failing else []
                check_mbox("mbox tree %s" % rel, os.path.join(out, rel), msgs)
        elif tree is plus_tree:
            top = mailbox.Maildir(out, factory=None, create=False)
            check("maildir tree: Maildir++ folders", sorted(n for n in plus_tree if n),
                  sorted(top.list_folders()))
            check("maildir tree: each folder marked as one", [],
                  [n for n in plus_tree if n and not os.path.isfile(
                      os.path.join(out, "." + n, "maildirfolder"))])
            for rel, source in plus_tree.items():
                if source not in failing:
                    check_maildir("maildir tree %s" % rel, os.path.join(out, "." + rel if rel
                                                                        else ""), made[source])
        else:
            for rel, source in tree.items():
                place = os.path.join(out, rel)
                msgs = made[source] if source not in failing else []
                if output == "maildir" and source not in failing:
                    check_maildir("%s tree %s" % (name, rel), place, msgs)
                elif output == "eml":
                    check("eml tree %s" % rel, sorted(m.body for m in msgs),
                          sorted(read(os.path.join(place, n)) for n in os.listdir(place)
                                 if os.path.isfile(os.path.join(place, n))))
            maildir = output == "maildir"
            check("%s tree: no other directories" % name,
                  sorted(set(tree) | {"Archive/old", "Work"}),
                  sorted(os.path.relpath(d, out) for d, dirs, _ in os.walk(out)
                         if d != out and not (maildir and os.path.basename(d) in
                                              ("tmp", "new", "cur"))))
        logged = open(log, encoding="latin-1").read().splitlines()
        os.remove(log)
        check("%s tree: a log line for each message" % name, total, len(logged))
        check("%s tree: the log's failed lines" % name,
              ["%s/%s\t%d\t%s\t%d\tfailed\tUnable to open Data Folder File" % (
                  mail, rel, n, m.name, len(m.body)) for rel in failing
               for n, m in enumerate(made[rel])],
              [line for line in logged if "\tfailed\t" in line])
    # A second run leaves the first tree as it was and takes new names.
    before = read(os.path.join(work, "tree-mbox", "Inbox"))
    status, _, _ = tools.run("mbox", mail, os.path.join(work, "tree-mbox"))
    check("mbox tree again: new names, the first as it was", (1, before, True, True),
          (status, read(os.path.join(work, "tree-mbox", "Inbox")),
           os.path.isfile(os.path.join(work, "tree-mbox", "Inbox_(2)")),
           os.path.isdir(os.path.join(work, "tree-mbox", "Archive_(2).sbd"))))


def logs(tools):
    """--log: one line per message of every output and of copy, control bytes
    escaped; lines are added after those the file holds."""
    msgs = make_mail_folder.messages(len(make_mail_folder.HARD_NAMES))
    index = tools.folder("LOGGED", msgs)
    log = os.path.join(tools.work, "run.log")
    missing = os.path.join(tools.work, "no-such-dir")
    tools.run("--log", log, "copy", index, missing, "15")
    tools.run("--log", log, "mbox", index, os.path.join(tools.work, "logged.mbox"), "15", "0")
    lines = open(log, encoding="latin-1").read().splitlines()
    check("log lines", [
        "%s\t15\ttab\\tin name\t%d\tfailed\tCannot create file: no such directory" % (
            index, len(msgs[15].body)),
        "%s\t0\tRe: a/b\t%d\twritten\t" % (index, len(msgs[0].body)),
        "%s\t15\ttab\\tin name\t%d\twritten\t" % (index, len(msgs[15].body))], lines)


def given_note(message):
    """What the log says a message was given."""
    given = message.given
    if not given:
        return ""
    if given.startswith(b"Date:"):
        return "given header Date"
    fields = (["From"] if given.startswith(b"From:") else []) + ["Subject"]
    return "given headers " + ", ".join(fields + (["Date"] if b"\nDate: " in given else []))


def odd_messages(tools):
    """Messages that mail programs take apart or pass over as they are stored
    (make_mail_folder.odd_messages()): each output gives each the headers it
    needs, counts them and names them in the log; --exact keeps every message
    byte for byte; --seen marks them read: Status lines in the mbox and the
    Maildir, cur and the flag S in the Maildir. Without --charset nothing is
    written, for a text with bytes above 0x7F would go into a header."""
    odd = make_mail_folder.odd_messages()
    index = tools.folder("ODDS", odd)
    as_stored = [copy.copy(m) for m in odd]
    for m in as_stored:
        m.given, m.kept = b"", m.body
    given = sum(1 for m in odd if m.given)
    started = time.time()
    cp866 = ["--charset", "cp866"]
    for options, msgs, counted in ((cp866, odd, given), (["--exact"], as_stored, 0),
                                   (cp866 + ["--seen"], odd, given)):
        what = " ".join(["odd messages"] + options)
        out = os.path.join(tools.work, "odd" + "".join(options))
        log = out + ".log"
        outputs = ("mbox", "maildir") if "--seen" in options else ("mbox", "maildir", "eml")
        for output in outputs:
            command = ["copy", "--eml"] if output == "eml" else [output]
            status, _, err = tools.run(*(["--log", log] + options + command +
                                         [index, os.path.join(out, output)]))
            check("%s %s: status and summary" % (what, output),
                  (0, summary(len(odd), len(odd), 0, counted)), (status, err))
        mbox = os.path.join(out, "mbox")
        check_mbox(what + " mbox", mbox, msgs, msgs is odd, seen="--seen" in options,
                   headers=msgs is odd)
        if msgs is odd:
            # A message's own envelope line gives its sender; the date is the
            # message's, as each output gives it.
            froms = [box.get_from() for box in mailbox.mbox(mbox)]
            check(what + " mbox: the envelope's sender", ["joe@example.com"] * 2,
                  [line.split(" ")[0] for m, line in zip(odd, froms)
                   if m.name in ("Envelope", "Envelope without a date")])
        maildir = os.path.join(out, "maildir")
        if "--seen" in options:
            box = mailbox.Maildir(maildir, factory=None, create=False)
            check(what + " maildir: every message in cur, read, with the mbox's status lines",
                  (sorted(with_status(m) for m in msgs), {("cur", "S")}, []),
                  (sorted(box.get_bytes(key) for key in box.keys()),
                   {(box.get_message(key).get_subdir(), box.get_message(key).get_flags())
                    for key in box.keys()}, os.listdir(maildir + "/new")))
        else:
            check_maildir(what + " maildir", maildir, msgs, True)
        emls = os.path.join(out, "eml")
        if "eml" in outputs:
            check(what + " eml", sorted(m.stored() for m in msgs),
                  sorted(read(os.path.join(emls, name)) for name in os.listdir(emls)))
            check(what + " eml: the undated have the time of the export", [],
                  [name for name in os.listdir(emls) if name.startswith(("Four", "Day", "Garb"))
                   and os.stat(os.path.join(emls, name)).st_mtime < started - 5])
        notes = [line.split("\t")[5] for line in open(log, encoding="latin-1").read().splitlines()]
        check(what + ": the log names what was given",
              [given_note(m) for m in msgs] * len(outputs), notes)

    # Without --charset the Cyrillic texts would go into headers as bytes no
    # mail program can read: nothing written, one line naming --charset.
    tree = os.path.join(tools.work, "odd-tree")
    os.mkdir(tree)
    for end in "XM":
        shutil.copy(index[:-1] + end, tree)
    for command, source in ((["mbox"], index), (["maildir"], index), (["copy", "--eml"], index),
                            (["maildir"], tree)):
        out = os.path.join(tools.work, "uncharted-" + command[-1] + str(source == tree))
        status, _, err = tools.run(*(command + [source, out]))
        check("odd messages %s without --charset: refused, nothing written" % command[-1],
              (2, 1, True, False),
              (status, len(err.splitlines()), "--charset cp866" in err, os.path.exists(out)))
    # The Cyrillic item with headers of its own is given none of its texts.
    status, _, err = tools.run("mbox", index, os.path.join(tools.work, "uncharted-8.mbox"), "8")
    check("odd messages: a Cyrillic item with headers needs no --charset", (0, summary(1, 1, 0, 1)),
          (status, err))


def charsets(tools):
    """--charset CP: the table, the TSV, file names and ITEMs in UTF-8; without
    it, each byte that is no UTF-8 shown as \\xHH and file names as stored. The
    table's columns stay aligned either way."""
    odd = make_mail_folder.odd_messages()
    index = tools.folder("ODD", odd)
    cp1251, cp866 = odd[8], odd[9]
    escaped_1251 = "".join("\\x%02x" % b if b > 0x7F else chr(b) for b in cp1251.name)
    rows = [  # options, how the two Cyrillic names show in the table
        ([], escaped_1251, "\\x91\\xe7\\xf1\\xe2"),
        (["--charset", "cp1251"], cp1251.name.decode("cp1251"), cp866.name.decode("cp1251")),
        (["--charset", "CP866"], cp1251.name.decode("cp866"), cp866.name.decode("cp866")),
    ]
    for options, shown_1251, shown_866 in rows:
        what = "list %s" % " ".join(options)
        status, out, err = tools.run(*(options + ["list", index]))
        table = out.decode("utf-8", "replace")
        check(what + ": status, and the table is UTF-8", (0, out), (status, table.encode("utf-8")))
        lines = table.splitlines()[2:]
        check(what + ": the names shown", True,
              any(line.startswith(shown_1251 + " ") for line in lines) and
              any(line.startswith(shown_866 + " ") for line in lines))
        check(what + ": the columns aligned", 1, len({line.index("  --  ") for line in lines}))
        check(what + ": a hint where texts are no UTF-8", not options, "--charset CP" in err)
    _, tsv, _ = tools.run("--charset", "cp1251", "list", "--tsv", index)
    check("list --tsv --charset: UTF-8", "8\t%s\t%s" % (cp1251.name.decode("cp1251"),
                                                       cp1251.description.decode("cp1251")),
          "\t".join(tsv.decode("utf-8").splitlines()[8].split("\t")[:3]))

    # File names: UTF-8 with --charset, the stored bytes without; ITEMs by
    # their decoded names.
    for options, command, item, name in [
            (["--charset", "cp1251"], ["copy"], "\u041e\u0442\u0447\u0451\u0442 \u0437\u0430 \u043c\u0430\u0440\u0442",
             "\u041e\u0442\u0447\u0451\u0442_\u0437\u0430_\u043c\u0430\u0440\u0442".encode("utf-8")),
            (["--charset", "cp866"], ["copy", "--eml"], "9", "\u0421\u0447\u0451\u0442.eml".encode("utf-8")),
            (["--exact"], ["copy", "--eml"], "9", cp866.name + b".eml")]:
        out = os.path.join(tools.work, "names-%d" % len(os.listdir(tools.work)))
        os.mkdir(out)
        status, _, err = tools.run(*(options + command + [index, out, item]))
        check("%s %s: the file name" % (" ".join(options), " ".join(command)), (0, [name]),
              (status, os.listdir(out.encode())))
        if options[:1] == ["--charset"] and command[-1] == "--eml":
            # The headers given from the item: its texts in UTF-8.
            maria = base64.b64encode(cp866.description.decode("cp866").encode()).decode()
            check("--charset: the headers given in UTF-8", "From: =?UTF-8?B?%s?=" % maria,
                  read(os.path.join(out.encode(), name)).decode().splitlines()[0])


def with_attachments(files, crlf=False):
    """A MIME message with a text and the attachments `files`, (name, bytes)
    each, in base64."""
    out = (b"From: ann@example.org\nSubject: files\nMIME-Version: 1.0\n"
           b"Content-Type: multipart/mixed; boundary=\"B\"\n\n--B\n"
           b"Content-Type: text/plain\n\nThe files.\n")
    for name, data in files:
        out += (b"--B\nContent-Type: application/octet-stream\nContent-Disposition: attachment; "
                b"filename=\"" + name.encode() + b"\"\nContent-Transfer-Encoding: base64\n\n" +
                base64.encodebytes(data) + b"\n")
    out += b"--B--\n"
    return out.replace(b"\n", b"\r\n") if crlf else out


def files_below(top):
    """Each file below `top`, by its path from there, with its bytes."""
    return {os.path.relpath(os.path.join(d, f), top): read(os.path.join(d, f))
            for d, _, names in os.walk(top) for f in names}


def attachments(tools):
    """vfolder attachments: one directory per message that has attachments,
    named as copy --eml names the message, each attachment decoded in it;
    counts, exit statuses and the log as for copy --eml; names in use from
    before take the next suffix; a directory that takes no file, a missing
    data folder file, a message that is not there whole; a tree."""
    M = make_mail_folder.Message
    big = bytes(range(256)) * 800  # beyond a piece of the copy
    msgs = [M("Report", "Ann", "12 Mar 00 14:35", with_attachments([("a.bin", b"\x00\x01"),
                                                                    ("b.txt", b"hello\n")]),
              None, "", ""),
            M("Plain", "Ann", "12 Mar 00 14:35", b"Subject: none\n\nNo attachment.\n", None, "", ""),
            M("report", "Ann", "13 Mar 00 14:35", with_attachments([("c.bin", b"c")], True),
              None, "", ""),
            M("Big one", "Ann", "14 Mar 00 14:35", with_attachments([("big.bin", big)]), None, "",
              "")]
    index = tools.folder("ATTACHED", msgs)
    ticks = tools.ticks(index)
    expected = {"Report/a.bin": b"\x00\x01", "Report/b.txt": b"hello\n", "report_(2)/c.bin": b"c",
                "Big_one/big.bin": big}
    out = os.path.join(tools.work, "attached")
    log = os.path.join(tools.work, "attached.log")
    status, _, err = tools.run("--log", log, "attachments", index, out)
    check("attachments: status and summary", (0, summary(4, 4, 0)), (status, err))
    check("attachments: the files, decoded", expected, files_below(out))
    check("attachments: the owner's alone", {0o700}, {os.stat(os.path.join(out, d)).st_mode & 0o777
                                                    for d in os.listdir(out)})
    check("attachments: each file with its message's date",
          {"Report/a.bin": ticks[0], "report_(2)/c.bin": ticks[2]},
          {path: int(os.stat(os.path.join(out, path)).st_mtime + 11644473600) * 10000000
           for path in ("Report/a.bin", "report_(2)/c.bin")})
    check("attachments: a log line for each message",
          ["%s\t%d\t%s\t%d\twritten\t" % (index, n, m.name, len(m.body))
           for n, m in enumerate(msgs)], open(log).read().splitlines())
    # Again into the same directory: names in use take the next suffix.
    status, _, err = tools.run("attachments", index, out)
    check("attachments again: the first run's as they were, new names for the second",
          (0, sorted(list(expected) + ["Big_one_(2)/big.bin", "Report_(3)/a.bin",
                                       "Report_(3)/b.txt", "Report_(4)/c.bin"])),
          (status, sorted(files_below(out))))
    chosen = os.path.join(tools.work, "attached-chosen")
    status, _, err = tools.run("attachments", index, chosen, "2", "Plain")
    check("attachments of ITEMs", (0, summary(2, 2, 0), {"report/c.bin": b"c"}),
          (status, err, files_below(chosen)))
    if os.geteuid() != 0:
        shut = os.path.join(tools.work, "attached-shut")
        os.mkdir(shut, 0o500)
        status, _, err = tools.run("attachments", index, shut)
        check("attachments into a directory that takes no file: said once, each fails",
              (1, "vfolder: %s: cannot make files in it: Permission denied\n" % shut +
               summary(4, 0, 4)), (status, err))
    # The data folder file cut short within the last message: it fails, and
    # leaves nothing.
    cut = tools.folder("ATTACHCUT", msgs)
    with open(cut[:-1] + "M", "r+b") as data:
        data.truncate(os.path.getsize(cut[:-1] + "M") - 1000)
    cut_out = os.path.join(tools.work, "attached-cut")
    status, _, err = tools.run("attachments", cut, cut_out)
    check("attachments of a message not there whole: it fails, the rest written",
          (1, "vfolder: message 3 (Big one): Cannot read message\n" + summary(4, 3, 1),
           sorted(expected)[1:]), (status, err, sorted(files_below(cut_out))))
    os.remove(cut[:-1] + "M")
    status, _, err = tools.run("attachments", cut, cut_out + "-none")
    check("attachments without the data folder file", (1, "Unable to open Data Folder File: %sM\n"
                                                       % cut[:-1] + summary(4, 0, 4)),
          (status, err))
    # A tree: each folder's directory holds its messages' directories; a
    # subfolder takes the next name after a message's.
    mail = os.path.join(tools.work, "AttachedMail")
    os.makedirs(os.path.join(mail, "Sub"))
    os.makedirs(os.path.join(mail, "Inbox"))
    tools.folder("ATTACHTOP", msgs, index=os.path.join(mail, "Inbox.IDX"))
    tools.folder("ATTACHSUB", msgs[2:3], index=os.path.join(mail, "Sub", "Old.IDX"))
    tools.folder("ATTACHREP", msgs[2:3], index=os.path.join(mail, "Inbox", "Report.IDX"))
    tree = os.path.join(tools.work, "attached-tree")
    status, _, err = tools.run("attachments", mail, tree)
    check("attachments of a tree: status and summary", (0, summary(6, 6, 0)),
          (status, err.splitlines(True)[-1]))
    check("attachments of a tree: the layout",
          dict({"Inbox/" + path: data for path, data in expected.items()},
               **{"Sub/Old/report/c.bin": b"c", "Inbox/Report_(2)/report/c.bin": b"c"}),
          files_below(tree))


# Messages in the run whose progress line is looked at.
BigRun = 15000


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "check-mbox" and sys.argv[4] == "--seen":
        check_mbox(sys.argv[1], sys.argv[2], make_mail_folder.messages(int(sys.argv[3])),
                   seen=True)
    elif len(sys.argv) == 4 and sys.argv[1] in ("check-mbox", "check-maildir"):
        msgs = make_mail_folder.messages(int(sys.argv[3]))
        (check_mbox if sys.argv[1] == "check-mbox" else check_maildir)(
            sys.argv[1], sys.argv[2], msgs)
    elif len(sys.argv) == 4 and sys.argv[1] == "same-maildir":
        same_maildir(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 5 and sys.argv[1] == "split-mbox":
        split_mbox(sys.argv[2], sys.argv[3], sys.argv[4])
    elif len(sys.argv) == 3:
        suite(sys.argv[1], sys.argv[2])
        with tempfile.TemporaryDirectory() as work:
            tools = Tools(sys.argv[1], sys.argv[2], work)
            trees(tools)
            logs(tools)
            charsets(tools)
            odd_messages(tools)
            attachments(tools)
            dates(tools)
        if not failures:
            print("mail outputs: all checks passed")
    else:
        sys.exit(__doc__)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
