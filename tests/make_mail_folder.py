#!/usr/bin/env python3
"""Writes a mkfolder description of N realistic RFC 822 messages.

    make_mail_folder.py N OUT.txt
    make_mail_folder.py odd OUT.txt
    make_mail_folder.py uuencoded OUT.txt

The messages have From/To/Subject/Date headers; some use CRLF, some have no
From: header, some bodies hold "From " and ">From " lines, some do not end in
a line feed; many are replies to one subject, and some names are hard for file
systems. The same N always gives the same folder; messages(N) returns what
was stored, for the tests to compare against. "odd" writes the folder of odd
messages (odd_messages()) instead, "uuencoded" a folder of three
(uuencoded_messages()): a uuencoded file in a plain text, a newer message and
an undated one.
"""
import base64
import binascii
import random
import re
import sys

# Names that file systems and unique naming get wrong; the first messages
# carry them, in this order.
HARD_NAMES = [
    "Re: a/b", "Re: a?b", "Re_ a b", "MEETING", "meeting", "Hello.", "", ".", "..",
    "CON", "con.txt", "Re: meeting", "Re: meeting", "x" * 40, "  leading spaces",
    "tab\tin name", "trailing dot...", "Re: a/b",
]
PEOPLE = [
    ("Joe Bloggs", "joe@example.com"), ("Ann Smith", "ann.smith@example.org"),
    ("Postmaster", "postmaster@example.net"), ("Li Wei", "li.wei@example.cn"),
    ("Mary-Jane O'Neil", "mj@example.ie"), ("Support Team", "support@example.com"),
]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
WEEKDAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
WORDS = ("the meeting is moved to room four please bring the figures "
         "from last week and your notes on the budget").split()


class Message:
    def __init__(self, name, description, date_text, body, sender, subject, date, given=b"",
                 kept=None):
        self.name, self.description, self.date_text = name, description, date_text
        self.body, self.sender, self.subject, self.date = body, sender, subject, date
        # The headers vfolder's mail outputs put before the body, without --exact,
        # and what they keep of the body (an envelope line left out, line ends).
        self.given = given
        self.kept = body if kept is None else kept

    def stored(self):
        """The message as vfolder's Maildir and .eml files hold it."""
        return self.given + self.kept


def _date(i):
    """A date text for the index record and the Date header, 2000 onward."""
    days = 1 + i * 7 // 10
    year, month = 2000, 0
    while True:
        length = [31, 29 if year % 4 == 0 else 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][month]
        if days <= length:
            break
        days -= length
        month += 1
        if month == 12:
            year, month = year + 1, 0
    hour, minute = 1 + i % 23, (i * 17) % 60
    # 1 Jan 2000 was a Saturday.
    ordinal = sum(366 if y % 4 == 0 else 365 for y in range(2000, year))
    ordinal += sum([31, 29 if year % 4 == 0 else 28, 31, 30, 31, 30, 31, 31, 30, 31, 30][:month])
    weekday = WEEKDAYS[(5 + ordinal + days - 1) % 7]
    index_text = "%d %s %02d %02d:%02d" % (days, MONTHS[month], year % 100, hour, minute)
    header = "%s, %d %s %d %02d:%02d:00 +0100" % (weekday, days, MONTHS[month], year, hour, minute)
    return index_text, header


def _body_lines(i, rng):
    lines = []
    for _ in range(rng.randint(0, 12)):
        lines.append(" ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 10))))
    if i % 3 == 0:
        lines.insert(len(lines) // 2, "From the desk of %s:" % PEOPLE[i % len(PEOPLE)][0])
    if i % 4 == 1:
        lines += ["", ">From an earlier message", ">>From one before that", "> From not quoted"]
    if i % 9 == 4:
        lines = ["From the first line of the body"] + lines
    return lines


def _message(i):
    rng = random.Random(i)
    name = HARD_NAMES[i] if i < len(HARD_NAMES) else (
        "Re: meeting" if i % 8 == 3 else "%s %d" % (rng.choice(["Report", "Re: Report",
                                                                 "Fwd: Notes"]), i))
    subject = name.strip() or "(no subject)"
    person, address = PEOPLE[i % len(PEOPLE)]
    headers = []
    sender = address
    if i % 11 == 5:
        sender = None  # no From: header at all
    elif i % 11 == 7:
        headers.append("from: %s" % address)  # the name in lower case, a bare address
    elif i % 11 == 9:
        headers.append('From: "%s"\n <%s>' % (person, address))  # folded
    elif i % 11 == 10:
        headers.append("From: %s (%s)" % (address, person))
    else:
        headers.append("From: %s <%s>" % (person, address))
    index_date, header_date = _date(i)
    headers += ["To: team@example.com", "Subject: %s" % subject, "Date: %s" % header_date,
                "Message-ID: <%d.vessor@example.com>" % i]
    if name.startswith("Re:"):
        headers.append("In-Reply-To: <%d.vessor@example.com>" % max(i - 8, 0))
    text = "\n".join(headers) + "\n\n" + "\n".join(_body_lines(i, rng))
    if i % 13 != 0:
        text += "\n"  # every 13th message does not end in a line feed
    if i % 5 == 2:
        text = text.replace("\n", "\r\n")
    body = text.encode("latin-1")
    if i % 17 == 0:
        body += "Gr\xfc\xdfe, Fran\xe7ois\n".encode("latin-1")  # 8-bit body bytes
    description = person if name or i % 2 else ""
    return Message(name[:36], description[:30], index_date, body, sender, subject, header_date)


def messages(n):
    return [_message(i) for i in range(n)]


MIME = (b"From: Ann Smith <ann.smith@example.org>\nTo: team@example.com\nSubject: Figures\n"
        b"Date: Mon, 13 Mar 2000 10:00:00 +0100\nMIME-Version: 1.0\n"
        b"Content-Type: multipart/mixed; boundary=\"b1\"\n\nThis is a MIME message.\n\n"
        b"--b1\nContent-Type: text/plain; charset=us-ascii\n\nThe figures are attached.\n"
        b"From here on, the figures.\n\n--b1\nContent-Type: application/octet-stream\n"
        b"Content-Disposition: attachment; filename=\"figures.bin\"\n"
        b"Content-Transfer-Encoding: base64\n\nAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8=\n\n--b1--\n")


def odd_messages():
    """Messages that mail programs take apart or pass over when they are
    stored as they are, each with the headers vfolder gives it: none, a Date:
    line, or a header block from the item."""
    M = Message

    def block(description, name, date, crlf=False):
        lines = ([b"From: " + description] if description else []) + [b"Subject: " + name]
        lines += [b"Date: " + date] if date else []
        return b"".join(line + (b"\r\n" if crlf else b"\n") for line in lines + [b""])

    def utf8_word(text):
        return b"=?UTF-8?B?" + base64.b64encode(text.encode()) + b"?="

    sunday = b"Sun, 12 Mar 2000 14:35:00 -0000"  # the index text's own time, no zone known
    saturday = "Sat, 11 Mar 2000 10:00:00 +0100"
    headers = b"From: joe@example.com\nSubject: s\nDate: Sat, 11 Mar 2000 10:00:00 +0100\n\n"
    envelope = b"From joe@example.com Sat Mar 11 09:00:00 2000\n"  # not the item's time
    mac = b"From: joe@example.com\rSubject: Mac\rDate: Sat, 11 Mar 2000 10:00:00 +0100\r\rOne.\rTwo.\r"
    mac_undated = b"From: joe@example.com\rSubject: Mac\r\rOne.\r\rTwo."
    cp1251 = "\u041e\u0442\u0447\u0451\u0442 \u0437\u0430 \u043c\u0430\u0440\u0442"
    cp866 = "\u0421\u0447\u0451\u0442"
    ivan, maria = "\u0418\u0432\u0430\u043d", "\u041c\u0430\u0440\u0438\u044f"
    joe, sun = "joe@example.com", sunday.decode()
    odd = [  # the item, the body, the headers given; sender, Subject and Date as mbox has them
        M("No headers", "Joe Bloggs", "12 Mar 00 14:35", b"Just a note.\nSecond line.\n",
          None, "No headers", sun, block(b"Joe Bloggs", b"No headers", sunday)),
        M("Empty", "", "12 Mar 00 14:35", b"", None, "Empty", sun, block(b"", b"Empty", sunday)),
        M("Envelope", joe, "12 Mar 00 14:35", envelope + headers + b"Body.\n", joe, "s", saturday,
          kept=headers + b"Body.\n"),
        M("LF endings", "Joe", "12 Mar 00 14:35", headers + b"One.\nTwo.\n", joe, "s", saturday),
        M("CRLF endings", "Joe", "12 Mar 00 14:35",
          (headers + b"One.\nTwo.\n").replace(b"\n", b"\r\n"), joe, "s", saturday),
        M("CRLF without a date", "Joe", "12 Mar 00 14:35",
          b"From: joe@example.com\r\nSubject: s\r\n\r\nOne.\r\n", joe, "s", sun,
          b"Date: " + sunday + b"\r\n"),
        M("No final newline", "Joe", "12 Mar 00 14:35", headers + b"no line feed at the end", joe,
          "s", saturday),
        M("MIME attachment", "Ann Smith", "12 Mar 00 14:35", MIME, "ann.smith@example.org",
          "Figures", "Mon, 13 Mar 2000 10:00:00 +0100"),
        M(cp1251.encode("cp1251"), ivan.encode("cp1251"), "12 Mar 00 14:35",
          b"From: ivan@example.ru\nSubject: =?utf-8?b?0J7RgtGH0ZHRgg==?=\n\nBody.\n",
          "ivan@example.ru", "=?utf-8?b?0J7RgtGH0ZHRgg==?=", sun, b"Date: " + sunday + b"\n"),
        # The outputs take the odd folder's texts as cp866, which --charset names.
        M(cp866.encode("cp866"), maria.encode("cp866"), "12 Mar 00 14:35", b"Body only.\n",
          utf8_word(maria).decode(), utf8_word(cp866).decode(), sun,
          block(utf8_word(maria), utf8_word(cp866), sunday)),
        M("No date", "Joe", "32 Xyz 00 14:35", b"Body only.\n", "Joe", "No date", None,
          block(b"Joe", b"No date", None)),
        M("No date, with headers", "Joe", "32 Xyz 00 14:35",
          b"From: joe@example.com\nSubject: s\n\nBody.\n", joe, "s", None),
        M("Empty first line", "Joe", "12 Mar 00 14:35", b"\nBody after an empty line.\n", "Joe",
          "Empty first line", sun, block(b"Joe", b"Empty first line", sunday)),
        M("From lines in the body", "Joe", "12 Mar 00 14:35",
          headers + b"From the start.\n>From quoted.\n", joe, "s", saturday),
        # Index date texts that state no date: none is given.
        M("Empty date text", "Joe", "", b"Body only.\n", "Joe", "Empty date text", None,
          block(b"Joe", b"Empty date text", None)),
        M("Garbage date text", "Joe", "garbage", b"From: joe@example.com\nSubject: g\n\nBody.\n",
          joe, "g", None),
        M("Day and month only", "Joe", "12 Mar", b"Body only.\n", "Joe", "Day and month only",
          None, block(b"Joe", b"Day and month only", None)),
        M("Four-digit year", "Joe", "12 Mar 2000 14:35", b"Body only.\n", "Joe",
          "Four-digit year", None, block(b"Joe", b"Four-digit year", None)),
        M("New Year", "Joe", "1 Jan 99 00:00", b"Body only.\n", "Joe", "New Year",
          "Fri, 1 Jan 1999 00:00:00 -0000",
          block(b"Joe", b"New Year", b"Fri, 1 Jan 1999 00:00:00 -0000")),
        M("Envelope without a date", joe, "12 Mar 00 14:35",
          envelope + b"From: joe@example.com\nSubject: e\n\nBody.\n", joe, "e", sun,
          b"Date: " + sunday + b"\n", kept=b"From: joe@example.com\nSubject: e\n\nBody.\n"),
        # Old Mac mail: lone CRs, written with CR LF.
        M("Lone CR", "Joe", "12 Mar 00 14:35", mac, joe, "Mac", saturday,
          kept=mac.replace(b"\r", b"\r\n")),
        M("Lone CR without a date", "Joe", "12 Mar 00 14:35", mac_undated, joe, "Mac", sun,
          b"Date: " + sunday + b"\r\n", kept=mac_undated.replace(b"\r", b"\r\n")),
    ]
    for message in odd:
        message.plain_sender = False  # a description, not an address
    return odd


def uuencoded_messages():
    """A message whose text holds a uuencoded file (report.dat, "hello" and a
    line feed), which archive readers take for one of theirs, between a newer
    message and an undated one."""
    def block(subject, date):
        return ("From: joe@example.com\nSubject: %s\n%s\n" % (
            subject, "Date: %s\n" % date if date else "")).encode()
    sunday = "Sun, 12 Mar 2000 14:35:00 -0000"
    uu = b"See the file below.\n\nbegin 644 report.dat\n" + binascii.b2a_uu(b"hello\n") + b"`\nend\n"
    return [
        Message("Uuencoded file", "Joe", "12 Mar 00 14:35", block("Uuencoded file", sunday) + uu,
                "joe@example.com", "Uuencoded file", sunday),
        Message("Newer note", "Joe", "1 Apr 00 09:00",
                block("Newer note", "Sat, 1 Apr 2000 09:00:00 -0000") + b"Body.\n",
                "joe@example.com", "Newer note", "Sat, 1 Apr 2000 09:00:00 -0000"),
        Message("Undated note", "Joe", "32 Xyz 00 14:35", block("Undated note", None) + b"Body.\n",
                "joe@example.com", "Undated note", None),
    ]


_ESCAPES = {b"\\": b"\\\\", b"\n": b"\\n", b"\r": b"\\r"}


def _escaped(data):
    # Only the bytes to escape go through Python code: messages of megabytes
    # are described in a moment.
    return re.sub(rb"[^\x20-\x5b\x5d-\x7e]",
                  lambda m: _ESCAPES.get(m.group(), b"\\x%02x" % m.group()[0]),
                  bytes(data)).decode("ascii")


def _bytes(text):
    return text if isinstance(text, bytes) else text.encode("latin-1")


def description(msgs, extra_lines=()):
    lines = []
    for m in msgs:
        lines += ["message", "  name " + _escaped(_bytes(m.name)),
                  "  description " + _escaped(_bytes(m.description)),
                  "  date " + m.date_text, "  body " + _escaped(m.body)]
    return "\n".join(lines + list(extra_lines)) + "\n"


def main():
    kinds = {"odd": odd_messages, "uuencoded": uuencoded_messages}
    if len(sys.argv) != 3 or not (sys.argv[1].isdigit() or sys.argv[1] in kinds):
        sys.exit("usage: make_mail_folder.py N|odd|uuencoded OUT.txt")
    kind = sys.argv[1]
    msgs = kinds[kind]() if kind in kinds else messages(int(kind))
    with open(sys.argv[2], "w", encoding="ascii") as out:
        out.write(description(msgs))


if __name__ == "__main__":
    main()
