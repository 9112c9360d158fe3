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


def part_name(name):
    """A part's file name as the reader makes it here (folder/export_name.h's
    MakePartFileName on Linux): only '/' and control characters made '_',
    "." and ".." made "_" and "__", a name over 255 bytes cut on a
    character's boundary before its extension."""
    name = "".join("_" if c == "/" or c < " " or c == "\x7f" else c for c in name)
    if name in (".", ".."):
        name = "_" * len(name)
    return fitted(name or "_", "")


def fitted(name, suffix):
    """`suffix` before `name`'s extension, the stem cut to keep 255 bytes."""
    dot = name.rfind(".")
    stem, extension = (name, "") if dot <= 0 or len(name[dot:].encode()) > 32 else (
        name[:dot], name[dot:])
    tail = (suffix + extension).encode()
    return (stem.encode()[:255 - len(tail)].decode("utf-8", "ignore").encode() + tail).decode()


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
        candidate, number = name, 1
        while candidate.upper() in given:
            number += 1
            candidate = fitted(name, "_(%d)" % number)
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
            name = part_name(given)
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
            leaves += [(part_name(block), True, block_data)
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
        # The sender's spaces stay; a name over 255 bytes is cut before its
        # extension; twins take the suffix before it; a named text shown
        # inline is part of the text, not a file.
        ("Spaces, long names, twins", mime([text, (
            b"Content-Type: application/vnd.ms-excel\nContent-Disposition: attachment;\n"
            b" filename*=UTF-8''%D0%A1%D0%BC%D0%B5%D1%82%D0%B0%20%D0%BD%D0%B0%202000.xls\n",
            b"xls"), (
            b"Content-Type: application/pdf\nContent-Disposition: attachment;\n"
            b" filename*=UTF-8''" + b"%D0%96" * 150 + b".pdf\n", b"long"),
            attached(b"report 1.pdf", b"one"), attached(b"Report 1.pdf", b"two"),
            (b"Content-Type: text/plain\nContent-Disposition: inline; filename=\"notes.txt\"\n",
             b"Inline notes.\n")], head=head)),
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


def check_limits(vfolder, mkfolder, work):
    """A message nested past 64 levels, or of more parts than the reader
    takes (10,000), fails with the reason and leaves no file; a message of
    as many parts as it takes is written whole."""
    head = b"From: Ann <ann@example.org>\nSubject: limits\n"
    deep = head + b"MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b0\n\n"
    for level in range(1, 70):
        deep += b"--b%d\nContent-Type: multipart/mixed; boundary=b%d\n\n" % (level - 1, level)
    deep += b"--b69\n" + b"\n".join(attached(b"deep.pdf", b"deep")) + b"\n"
    one = attached(b"a.bin", b"x")
    msgs = [make_mail_folder.Message(name, "Ann", "13 Mar 00 10:00", raw, None, "", "")
            for name, raw in [("Too deep", deep),
                              ("Too many", mime([one] * 10000, head=head)),
                              ("As many as taken", mime([one] * 9999, head=head))]]
    description = os.path.join(work, "limits.txt")
    with open(description, "w", encoding="ascii") as out:
        out.write(make_mail_folder.description(msgs))
    index = os.path.join(work, "LIMITS.IDX")
    subprocess.run([mkfolder, description, index], check=True)
    out = os.path.join(work, "limits")
    done = subprocess.run([vfolder, "attachments", index, out], capture_output=True)
    check("too deep, too many: status, reasons and summary", (1, [
        "vfolder: message 0 (Too deep): its parts nest deeper than 64 levels; nothing of it written",
        "vfolder: message 1 (Too many): it has more than 10000 parts; nothing of it written",
        "vfolder: 3 messages, 1 written, 2 failed"]),
        (done.returncode, done.stderr.decode("latin-1").splitlines()))
    check("too deep, too many: no file; as many as taken: every file",
          ["As_many_as_taken"], sorted(os.listdir(out)) if os.path.isdir(out) else [])
    check("as many as taken: every file", 9999,
          len(os.listdir(os.path.join(out, "As_many_as_taken")))
          if os.path.isdir(os.path.join(out, "As_many_as_taken")) else 0)


def peak_kib(command, work):
    """The exit status and the peak memory (KiB) of `command`, as GNU time
    tells it (a child of Python's would count Python's own pages too)."""
    report = os.path.join(work, "peak.txt")
    done = subprocess.run(["/usr/bin/time", "-q", "-f", "%M", "-o", report] + command,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(report) as told:
        return done.returncode, int(told.read().split()[-1])


def check_memory(vfolder, mkfolder, work):
    """Showing and saving the parts of any message takes no more memory than
    a small message's plus 8 MiB: 4 MB of delimiter lines, 4 MB of
    uuencoded blocks, a 3 MB attachment (GNU time measures it)."""
    if not os.access("/usr/bin/time", os.X_OK):
        check("memory: /usr/bin/time (Debian's time) is there to measure it", True, False)
        return
    head = b"From: Ann <ann@example.org>\nSubject: memory\nMIME-Version: 1.0\n"
    cases = [("small", head + b"\nhi\n", 0),
             ("delimiters", head + b"Content-Type: multipart/mixed; boundary=b\n\n" +
              b"--b\n" * (1 << 20), 1),
             ("blocks", head + b"\n" + b"begin 644 a\nend\n" * (1 << 18), 1),
             ("large", mime([attached(b"large.bin", bytes(range(256)) * (12 << 10))], head=head),
              0)]
    msgs = [make_mail_folder.Message(name, "Ann", "13 Mar 00 10:00", raw, None, "", "")
            for name, raw, _ in cases]
    description = os.path.join(work, "memory.txt")
    with open(description, "w", encoding="ascii") as out:
        out.write(make_mail_folder.description(msgs))
    index = os.path.join(work, "MEMORY.IDX")
    subprocess.run([mkfolder, description, index], check=True)
    peaks = {}
    for name, _, status in cases:
        out = os.path.join(work, "memory-" + name)
        for command in ("parts", "attachments"):
            arguments = [vfolder, command, index, name] if command == "parts" else [
                vfolder, command, index, out, name]
            got, peaks[name, command] = peak_kib(arguments, work)
            check("memory: %s of %s: status" % (command, name), status, got)
    if os.environ.get("VESSOR_SANITIZED"):
        print("memory: peak memory not checked under the sanitizers")
        return
    for (name, command), peak in sorted(peaks.items()):
        check("memory: %s of %s within a small message's and 8 MiB" % (command, name), True,
              peak <= peaks["small", command] + 8 * 1024)


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
        check_limits(vfolder, mkfolder, work)
        check_memory(vfolder, mkfolder, work)
    if not failures:
        print("attachments: all checks passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
