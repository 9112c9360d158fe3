#!/usr/bin/env python3
"""vfolder parts beside Python's email: the corpus of make_message_corpus.py
as a folder, each message's parts as `vfolder parts --tsv` tells them, and
what email.message_from_bytes(raw, policy=policy.default) finds: walk() in
the same order, get_content_type(), get_filename(), the length of
get_payload(decode=True).

    message_parts_test.py VFOLDER MKFOLDER

Where the two differ by design, the difference is named below with its case.
Prints each failure and exits non-zero when there is one.
"""
import email
import os
import re
import subprocess
import sys
import tempfile
from email import policy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
import make_message_corpus  # noqa: E402

failures = []

# Differences by design, by case: what vfolder does that Python's email does not.
BY_DESIGN = {
    # Python leaves the blocks inside their text; vfolder gives each a part of
    # its own below the text (a row below a text/* row), named as "begin" says.
    "uuencode": "uuencoded blocks are parts of their own",
    "uuencode-mime": "uuencoded blocks are parts of their own",
}
# What a message gives that has no name: "part N.ext" from the position.
MADE_NAME = re.compile(r"^part \d+(_\(\d+\))?(\.[a-z]+)?$")
COLUMNS = ["position", "type", "charset", "disposition", "decoded_size", "name", "named",
           "attachment"]


def check(what, expected, actual):
    if expected != actual:
        failures.append(what)
        print("FAIL %s\n--- expected (Python's email)\n%r\n--- actual (vfolder)\n%r" %
              (what, expected, actual))


def unescaped(text):
    return re.sub(r"\\(x[0-9a-f]{2}|.)", lambda m: {"t": "\t", "n": "\n", "r": "\r"}.get(
        m.group(1), chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x" and
        len(m.group(1)) == 3 else m.group(1)), text)


def safe(name):
    """A part's name as the reader makes it safe here (folder/export_name.h's
    MakePartFileName on Linux): '/' and control characters made '_', the
    rest as the sender wrote it."""
    name = "".join("_" if c == "/" or ord(c) < 0x20 or c == "\x7f" else c for c in name)
    return "_" * len(name) if name in (".", "..") else name or "_"


def parts_of(vfolder, index, item):
    run = subprocess.run([vfolder, "parts", "--tsv", index, item], capture_output=True)
    check("%s: exit status" % item, 0, run.returncode)
    lines = run.stdout.decode("utf-8", "surrogateescape").split("\n")
    check("%s: header line" % item, "\t".join(COLUMNS), lines[0])
    rows = []
    for line in lines[1:]:
        if line:
            row = dict(zip(COLUMNS, line.split("\t")))
            row["name"] = unescaped(row["name"])
            rows.append(row)
    return rows


def python_parts(raw):
    message = email.message_from_bytes(raw, policy=policy.default)
    found = []
    for part in message.walk():
        payload = None if part.is_multipart() else part.get_payload(decode=True)
        found.append({"type": part.get_content_type(), "filename": part.get_filename(),
                      "size": None if payload is None else len(payload)})
    return found


def compare(name, rows, expected):
    by_position = {row["position"]: row for row in rows}
    kept = []
    for row in rows:
        parent = by_position.get(row["position"].rpartition(".")[0])
        if parent is not None and parent["type"].startswith("text/"):
            check("%s %s: a block below a text is a case of BY_DESIGN" % (name, row["position"]),
                  True, name in BY_DESIGN)
            check("%s %s: a uuencoded block is named and an attachment" % (name, row["position"]),
                  ("1", "1"), (row["named"], row["attachment"]))
            continue
        kept.append(row)
    check("%s: the parts' types in walk() order" % name, [p["type"] for p in expected],
          [row["type"] for row in kept])
    for row, part in zip(kept, expected):
        what = "%s %s" % (name, row["position"])
        if part["size"] is not None:
            check(what + ": decoded size", part["size"], int(row["decoded_size"]))
        if part["filename"]:
            check(what + ": named", "1", row["named"])
            # Twins take a suffix before the extension.
            check(what + ": name", safe(part["filename"]),
                  re.sub(r"_\(\d+\)(?=\.[^.]*$|$)", "", row["name"]))
        else:
            check(what + ": no name given", "0", row["named"])
            check(what + ": a name made from the position", True,
                  MADE_NAME.match(row["name"]) is not None)


def check_command_line(vfolder, index, work):
    def run(*args):
        done = subprocess.run([vfolder] + list(args), capture_output=True)
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode()

    status, table, _ = run("parts", index, "rfc822")
    check("parts rfc822: the table", (0, [
        "1        multipart/mixed              1206  part 1",
        "  1.1      text/plain                   12  part 1.txt",
        "  1.2      message/rfc822               873  part 2.eml",
        "    1.2.1    multipart/mixed              715  part 1",
        "      1.2.1.1  multipart/alternative        335  part 1",
        "        1.2.1.1.1 text/plain                   14  part 1_(2).txt",
        "        1.2.1.1.2 text/html                    21  part 2.html",
        "      1.2.1.2  application/pdf              14  inner.pdf  (attachment)"]),
        (status, table.splitlines()))
    status, _, error = run("parts", index, "no such item")
    check("parts of no item: status 2", (2, "no item no such item"),
          (status, error.splitlines()[0].rpartition(": ")[2]))
    check("parts without ITEM: usage", 2, run("parts", index)[0])
    check("parts of no folder: status 2", 2, run("parts", vfolder, "1")[0])
    check("--tsv with copy: usage", 2, run("copy", "--tsv", index, work)[0])
    # Nested past 64 levels: the table shows what was found, the status says
    # the message is not whole.
    deep = b"Subject: deep\nContent-Type: multipart/mixed; boundary=b0\n\n" + b"".join(
        b"--b%d\nContent-Type: multipart/mixed; boundary=b%d\n\n" % (n, n + 1)
        for n in range(69)) + b"--b69\n\ndeep\n"
    deep_index = os.path.join(work, "DEEP.IDX")
    with open(os.path.join(work, "deep.txt"), "w", encoding="ascii") as out:
        out.write(make_mail_folder.description([make_mail_folder.Message(
            "deep", "Ann", "13 Mar 00 10:00", deep, None, "", "")]))
    subprocess.run([sys.argv[2], os.path.join(work, "deep.txt"), deep_index], check=True)
    status, table, error = run("parts", deep_index, "deep")
    check("parts of a message nested past 64 levels: status 1, the reason, 65 rows",
          (1, "its parts nest deeper than 64 levels; the deepest are shown as one part", 65),
          (status, error.strip().rpartition(": ")[2], len(table.splitlines())))
    os.rename(index[:-1] + "M", index[:-1] + "M.gone")
    status, _, error = run("parts", index, "plain")
    os.rename(index[:-1] + "M.gone", index[:-1] + "M")
    check("parts without the data folder file: status 1", (1, "cannot open the data folder file"),
          (status, error.strip().rpartition(": ")[2]))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: message_parts_test.py VFOLDER MKFOLDER")
    vfolder, mkfolder = sys.argv[1:]
    cases = make_message_corpus.corpus()
    with tempfile.TemporaryDirectory() as work:
        description = os.path.join(work, "corpus.txt")
        index = os.path.join(work, "CORPUS.IDX")
        subprocess.run([sys.executable, make_message_corpus.__file__, description], check=True)
        subprocess.run([mkfolder, description, index], check=True)
        for name, raw in cases:
            compare(name, parts_of(vfolder, index, name), python_parts(raw))
        # The same message by its position in the listing.
        check("position 1 is the second message", parts_of(vfolder, index, "nested"),
              parts_of(vfolder, index, "1"))
        check_command_line(vfolder, index, work)
    # Only what the test knows about is excused.
    check("every case of BY_DESIGN is in the corpus", set(),
          set(BY_DESIGN) - {name for name, _ in cases})
    print("%d messages, %d failures" % (len(cases), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
