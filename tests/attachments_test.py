#!/usr/bin/env python3
"""vfolder attachments against Python's email package: for a corpus of MIME
messages, exactly the files, names and bytes that email (policy.default)
finds as attachments and decodes; uuencoded blocks, which email leaves
inside the text, by their own rule.

    attachments_test.py VFOLDER MKFOLDER

Prints each failure and exits non-zero when there is one.
"""
import binascii
import email
import email.policy
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_mail_folder  # noqa: E402
from mail_output_test import check, failures, read  # noqa: E402

import make_message_corpus  # noqa: E402

DEVICES = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"} | {
    p + str(n) for p in ("COM", "LPT") for n in range(1, 10)}


def safe_name(name):
    """A name as copy's export names make it harmless (folder/export_name.h)."""
    name = "".join("_" if c in ' "*/:<>?\\|' or "\x01" <= c <= "\x1f" else c for c in name)
    stem = name.split(".", 1)[0]
    if stem.upper() in DEVICES:
        name = stem + "_" + name[len(stem):]
    stripped = name.rstrip(".")
    name = stripped + "_" * (len(name) - len(stripped))
    return name or "_"


def told_apart(names):
    """Twins ignoring the case of A-Z get _(2), _(3), ... after them: a
    message's directory, as copy --eml names it."""
    given, out = set(), []
    for name in names:
        candidate, number = name, 1
        while candidate.upper() in given:
            number += 1
            candidate = "%s_(%d)" % (name, number)
        given.add(candidate.upper())
        out.append(candidate)
    return out


def parts_told_apart(names):
    """Twins among a message's files take the suffix before the extension."""
    given, out = set(), []
    for name in names:
        dot = name.rfind(".")
        stem = len(name) if dot <= 0 else dot
        candidate, number = name, 1
        while candidate.upper() in given:
            number += 1
            candidate = "%s_(%d)%s" % (name[:stem], number, name[stem:])
        given.add(candidate.upper())
        out.append(candidate)
    return out


def uuencoded_blocks(text):
    """The (name, bytes) of each "begin MODE NAME" ... "end" block."""
    blocks, lines, at = [], text.split(b"\n"), 0
    while at < len(lines):
        line = lines[at].rstrip(b"\r")
        at += 1
        words = line.split(b" ", 2)
        if len(words) != 3 or words[0] != b"begin" or not words[1].isdigit():
            continue
        data = b""
        while at < len(lines) and lines[at].rstrip(b"\r") != b"end":
            piece = lines[at].rstrip(b"\r")
            at += 1
            if piece and piece != b"`":
                data += binascii.a2b_uu(piece)
        at += 1
        blocks.append((words[2].decode(), data))
    return blocks


# The extensions of the names made for parts the message does not name.
EXTENSIONS = {"text/plain": ".txt", "text/html": ".html", "text/csv": ".csv",
              "text/calendar": ".ics", "text/xml": ".xml", "text/rtf": ".rtf",
              "message/rfc822": ".eml", "message/global": ".eml", "image/jpeg": ".jpg",
              "image/png": ".png", "image/gif": ".gif", "application/pdf": ".pdf",
              "application/zip": ".zip", "application/msword": ".doc"}


def walked(part, position="1"):
    yield position, part
    if part.is_multipart():
        for n, child in enumerate(part.get_payload(), 1):
            yield from walked(child, "%s.%d" % (position, n))


def expected_files(raw):
    """The attachments of one message as email finds them, in walk() order:
    a leaf of disposition attachment (or any but inline), a leaf that is no
    text and is named or not inline, a text that is named with no
    disposition; each decoded. The name: email's get_filename() made safe,
    or one made from the position and type; twins told apart among all the
    message's leaves. By design, each uuencoded block inside a text/plain
    leaf, which email leaves in the text, is an attachment of its own."""
    message = email.message_from_bytes(raw, policy=email.policy.default)
    leaves = []  # (name, attachment, bytes)
    for position, part in walked(message):
        if part.is_multipart():
            continue
        given = part.get_filename()
        kind = part.get_content_type()
        # A multipart whose parts cannot be found is text, as the body's.
        text = kind.startswith(("text/", "multipart/"))
        disposition = part.get_content_disposition()
        data = part.get_payload(decode=True)
        if given is not None:
            name = safe_name(given)
        else:
            name = "part %s%s" % (position.rsplit(".", 1)[-1], EXTENSIONS.get(
                kind, ".txt" if text else ".bin"))
        if disposition not in (None, "inline"):
            attachment = True
        elif not text:
            attachment = given is not None or disposition != "inline"
        else:
            attachment = given is not None and disposition is None
        leaves.append((name, attachment, data))
        if kind == "text/plain":
            leaves += [(safe_name(block), True, block_data)
                       for block, block_data in uuencoded_blocks(data)]
    names = parts_told_apart([name for name, _, _ in leaves])
    return {name: data for name, (_, attachment, data) in zip(names, leaves) if attachment}


def uuencode(name, data):
    lines = [b"begin 644 " + name.encode()]
    lines += [binascii.b2a_uu(data[i:i + 45]).rstrip(b"\n") for i in range(0, len(data), 45)]
    return b"\n".join(lines + [b"`", b"end"]) + b"\n"


def b64(data, width=76):
    text = binascii.b2a_base64(data, newline=False)
    return b"\n".join(text[i:i + width] for i in range(0, len(text), width))


def mime(parts, boundary=b"b0", head=b"", kind=b"mixed"):
    """A multipart message (or body) of `parts`, each (headers, body)."""
    out = head + b"MIME-Version: 1.0\nContent-Type: multipart/" + kind + b'; boundary="' + \
        boundary + b'"\n\nThe preamble.\n'
    for headers, body in parts:
        out += b"--" + boundary + b"\n" + headers + b"\n" + body + b"\n"
    return out + b"--" + boundary + b"--\nThe epilogue.\n"


def attached(name, data, kind=b"application/octet-stream", extra=b""):
    return (b"Content-Type: " + kind + b"\nContent-Disposition: attachment; filename=\"" +
            name + b"\"\nContent-Transfer-Encoding: base64\n" + extra, b64(data))


def own_corpus():
    """(item name, message bytes): the cases the reader must agree with email on."""
    head = b"From: Ann <ann@example.org>\nTo: joe@example.com\nSubject: files\n" \
           b"Date: Mon, 13 Mar 2000 10:00:00 +0100\n"
    text = (b"Content-Type: text/plain; charset=us-ascii\n", b"The files.\n")
    binary = bytes(range(256)) * 3
    alternative = mime([text, (b"Content-Type: text/html\n", b"<p>The files.</p>\n")],
                       b"alt", kind=b"alternative")
    alt_headers, alt_body = alternative.split(b"\n\n", 1)
    alt_headers = alt_headers.replace(b"MIME-Version: 1.0\n", b"") + b"\n"
    corpus = [
        ("One attachment", mime([text, attached(b"report.pdf", binary)], head=head)),
        ("Alternative and two", mime([(alt_headers, alt_body), attached(b"a.bin", b"\x00" * 5000),
                                      (b"Content-Type: text/plain; charset=iso-8859-1\n"
                                       b"Content-Disposition: attachment; filename=\"notes.txt\"\n"
                                       b"Content-Transfer-Encoding: quoted-printable\n",
                                       b"Gr=FC=DFe, =\nFran=E7ois=3D\n=0D=0Aend")],
                                     head=head)),
        ("RFC 2231 names", mime([text, (
            b"Content-Type: application/octet-stream\nContent-Disposition: attachment;\n"
            b" filename*=UTF-8''%D0%BE%D1%82%D1%87%D1%91%D1%82.txt\n"
            b"Content-Transfer-Encoding: base64\n", b64(b"report\n")), (
            b"Content-Type: application/octet-stream\nContent-Disposition: attachment;\n"
            b" filename*0=\"long name \";\n filename*1=\"part two.txt\"\n", b"xyz")], head=head)),
        ("RFC 2047 name", mime([text, attached(b"=?UTF-8?B?0L7RgtGH0ZHRgi50eHQ=?=", b"\x01\x02")],
                               head=head)),
        ("Name in the type only", mime([text, (
            b"Content-Type: image/png; name=\"dot.png\"\nContent-Transfer-Encoding: base64\n",
            b64(b"\x89PNG\r\n\x1a\n" + bytes(40), 20))], head=head)),
        ("Twins and unsafe names", mime([text, attached(b"data.csv", b"1,2\n"),
                                         attached(b"Data.csv", b"3,4\n"),
                                         attached(b"a:b?.txt", b"q"),
                                         attached(b"con.txt", b"c")], head=head)),
        ("CRLF lines", mime([text, attached(b"crlf.bin", binary[:100])],
                            head=head).replace(b"\n", b"\r\n")),
        ("Nested mixed", mime([text, (b"Content-Type: multipart/mixed; boundary=\"in\"\n",
                                      b"\n--in\n" + b"\n".join(attached(b"inner.dat", b"inner")) +
                                      b"\n--in--\n")], head=head)),
        ("No attachment", head + b"\nJust text.\n"),
        ("Text alone, MIME", mime([text], head=head)),
        # By design: a uuencoded block inside a text is an attachment of its own.
        ("Uuencoded", head + b"\nSee below.\n\n" + uuencode("old.zip", binary[:200]) +
         b"\nBye.\n"),
    ]
    return corpus


def corpus():
    return own_corpus() + make_message_corpus.corpus()


def files_under(top):
    found = {}
    for directory, _, names in os.walk(top):
        for name in names:
            path = os.path.join(directory, name)
            found[os.path.relpath(path, top)] = read(path)
    return found


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    vfolder, mkfolder = sys.argv[1:]
    with tempfile.TemporaryDirectory() as work:
        msgs = [make_mail_folder.Message(name, "Ann", "13 Mar 00 10:00", raw, None, "", "")
                for name, raw in corpus()]
        description = os.path.join(work, "corpus.txt")
        with open(description, "w", encoding="ascii") as out:
            out.write(make_mail_folder.description(msgs))
        index = os.path.join(work, "CORPUS.IDX")
        subprocess.run([mkfolder, description, index], check=True)
        out = os.path.join(work, "out")
        done = subprocess.run([vfolder, "attachments", index, out], capture_output=True)
        check("attachments of the corpus: status and summary",
              (0, "vfolder: %d messages, %d written, 0 failed\n" % (len(msgs), len(msgs))),
              (done.returncode, done.stderr.decode("latin-1")))
        wanted = {}
        for dir_name, m in zip(told_apart([safe_name(m.name) for m in msgs]), msgs):
            for name, data in expected_files(m.body).items():
                wanted[os.path.join(dir_name, name)] = data
        got = files_under(out)
        check("attachments of the corpus: the files", sorted(wanted), sorted(got))
        for path in sorted(set(wanted) & set(got)):
            check("attachments of the corpus: the bytes of " + path, wanted[path], got[path])
        listed = subprocess.run([vfolder, "list", "--tsv", index], capture_output=True).stdout
        seconds = int(listed.split(b"\t")[5]) // 10000000 - 11644473600
        check("attachments of the corpus: each file has its message's date", [],
              [path for path in got if int(os.stat(os.path.join(out, path)).st_mtime) != seconds])
        check("attachments of the corpus: no directory for a message without one", [],
              [n for n in ("No_attachment", "Text_alone,_MIME") if os.path.exists(
                  os.path.join(out, n))])
    if not failures:
        print("attachments: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
