#!/usr/bin/env python3
"""Writes a mkfolder description of N realistic RFC 822 messages.

    make_mail_folder.py N OUT.txt

The messages have From/To/Subject/Date headers; some use CRLF, some have no
From: header, some bodies hold "From " and ">From " lines, some do not end in
a line feed; many are replies to one subject, and some names are hard for file
systems. The same N always gives the same folder; messages(N) returns what
was stored, for the tests to compare against.
"""
import random
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
    def __init__(self, name, description, date_text, body, sender, subject, date):
        self.name, self.description, self.date_text = name, description, date_text
        self.body, self.sender, self.subject, self.date = body, sender, subject, date


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


def _escaped(data):
    out = []
    for byte in data:
        c = chr(byte)
        if c == "\\":
            out.append("\\\\")
        elif c == "\n":
            out.append("\\n")
        elif c == "\r":
            out.append("\\r")
        elif 0x20 <= byte < 0x7F:
            out.append(c)
        else:
            out.append("\\x%02x" % byte)
    return "".join(out)


def description(msgs, extra_lines=()):
    lines = []
    for m in msgs:
        lines += ["message", "  name " + _escaped(m.name.encode("latin-1")),
                  "  description " + _escaped(m.description.encode("latin-1")),
                  "  date " + m.date_text, "  body " + _escaped(m.body)]
    return "\n".join(lines + list(extra_lines)) + "\n"


def main():
    if len(sys.argv) != 3 or not sys.argv[1].isdigit():
        sys.exit("usage: make_mail_folder.py N OUT.txt")
    with open(sys.argv[2], "w", encoding="ascii") as out:
        out.write(description(messages(int(sys.argv[1]))))


if __name__ == "__main__":
    main()
