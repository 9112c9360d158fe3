#!/usr/bin/env python3
"""Writes a mkfolder description of messages whose MIME structure is hard to
take apart: nesting, messages inside messages, names in RFC 2231 and RFC 2047
in several character sets, uuencode, base64 and quoted-printable as mail
programs really write them, and damage.

    make_message_corpus.py OUT.txt
    make_message_corpus.py --seeds DIR     each message as a file of its own
                                           (the message fuzzer's seeds)

Each message's item name is its case's name; corpus() gives (name, bytes)
in folder order, for the tests to read the same messages with Python's email.
"""
import base64
import binascii
import email.charset
import email.policy
import quopri
import sys
from email.message import EmailMessage

import make_mail_folder

PDF = (b"%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n" + bytes(range(256)) * 8 +
       b"\ntrailer << /Root 1 0 R >>\n%%EOF\n")
PNG = b"\x89PNG\r\n\x1a\n" + bytes((i * 37) % 256 for i in range(3000))


def _head(subject, extra=b"", mime=True):
    return (b"From: Ann Smith <ann@example.org>\r\nTo: joe@example.com\r\n"
            b"Subject: " + subject + b"\r\nDate: Sat, 11 Mar 2000 10:00:00 +0100\r\n" +
            (b"MIME-Version: 1.0\r\n" if mime else b"") + extra)


def _lf(data):
    return data.replace(b"\r\n", b"\n")


def _b64_lines(data, width=76, sep=b"\r\n"):
    encoded = base64.b64encode(data)
    return sep.join(encoded[i:i + width] for i in range(0, len(encoded), width)) + sep


def _word(charset, text, codec=None):
    return ("=?%s?B?%s?=" % (charset, base64.b64encode(
        text.encode(codec or charset)).decode())).encode()


def _uuencode(name, data, sep=b"\n"):
    lines = [b"begin 644 " + name]
    for i in range(0, len(data), 45):
        lines.append(binascii.b2a_uu(data[i:i + 45]).rstrip(b"\n"))
    lines += [b"`", b"end"]
    return sep.join(lines) + sep


def _nested():
    m = EmailMessage(policy=email.policy.SMTP)
    m["From"], m["To"], m["Subject"] = "Ann Smith <ann@example.org>", "joe@example.com", "Nested"
    m["Date"] = "Sat, 11 Mar 2000 10:00:00 +0100"
    m.set_content("The figures are attached.\n")
    m.add_alternative("<p>The figures are <b>attached</b>.</p>\n", subtype="html")
    m.add_attachment(PNG, maintype="image", subtype="png", filename="chart.png")
    inner = EmailMessage(policy=email.policy.SMTP)
    inner.set_content("one\n")
    inner.add_attachment(b"a,b\r\n1,2\r\n", maintype="text", subtype="csv", filename="t.csv")
    m.attach(inner)
    return m.as_bytes()


def _rfc822():
    inner = EmailMessage(policy=email.policy.SMTP)
    inner["From"], inner["Subject"] = "Li Wei <li.wei@example.cn>", "The original"
    inner.set_content("First words.\n")
    inner.add_alternative("<p>First words.</p>\n", subtype="html")
    inner.add_attachment(b"%PDF-1.4 tiny\n", maintype="application", subtype="pdf",
                         filename="inner.pdf")
    outer = EmailMessage(policy=email.policy.SMTP)
    outer["From"], outer["Subject"] = "Ann Smith <ann@example.org>", "Fwd: The original"
    outer.set_content("See below.\n")
    outer.add_attachment(inner)
    return outer.as_bytes()


def _cyrillic_pdf():
    # RFC 2231 with continuations and a charset, as Thunderbird writes it.
    name = "Отчёт за квартал №3 (итоговый).pdf".encode()
    quoted = "".join("%%%02X" % b if b > 0x7E or b in b" %'*()" else chr(b) for b in name)
    pieces, piece = [], ""
    for i in range(0, len(quoted)):
        if len(piece) >= 40 and quoted[i] == "%":
            pieces.append(piece)
            piece = ""
        piece += quoted[i]
    pieces.append(piece)
    params = b"".join(b";\r\n filename*%d*=%s%s" % (i, b"UTF-8''" if i == 0 else b"",
                                                   p.encode()) for i, p in enumerate(pieces))
    return (_head(b"=?UTF-8?B?" + base64.b64encode("Отчёт".encode()) + b"?=",
                  b"Content-Type: multipart/mixed; boundary=\"b1\"\r\n") +
            b"\r\n--b1\r\nContent-Type: text/plain; charset=utf-8\r\n"
            b"Content-Transfer-Encoding: 8bit\r\n\r\n" + "Отчёт во вложении.\r\n".encode() +
            b"--b1\r\nContent-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
            b"Content-Disposition: attachment" + params + b"\r\n\r\n" + _b64_lines(PDF) +
            b"--b1--\r\n")


def _rfc2231_latin():
    return (_head(b"RFC 2231", b"Content-Type: multipart/mixed; boundary=XYZ\r\n") +
            b"\r\n--XYZ\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
            b"--XYZ\r\nContent-Type: application/octet-stream;\r\n"
            b" name*0=\"long name, \";\r\n name*1=\"in two pieces.dat\"\r\n"
            b"Content-Transfer-Encoding: base64\r\n\r\n" + _b64_lines(b"\x00\x01\x02" * 50) +
            b"--XYZ\r\nContent-Type: application/octet-stream\r\n"
            b"Content-Disposition: attachment; filename*=iso-8859-1'fr'caf%E9%20cr%E8me.txt\r\n"
            b"\r\ncafe\r\n--XYZ--\r\n")


def _rfc2047(charset, codec, subject, file_name):
    return (_head(_word(charset, subject, codec),
                  b"Content-Type: multipart/mixed; boundary=\"=_sep\"\r\n") +
            b"\r\n--=_sep\r\nContent-Type: text/plain; charset=" + charset.encode() +
            b"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + subject.encode(codec) + b"\r\n"
            b"--=_sep\r\nContent-Type: application/msword; name=\"" +
            _word(charset, file_name, codec) + b"\"\r\nContent-Transfer-Encoding: base64\r\n"
            b"Content-Disposition: attachment; filename=\"" + _word(charset, file_name, codec) +
            b"\"\r\n\r\n" + _b64_lines(b"\xd0\xcf\x11\xe0" + bytes(200)) + b"--=_sep--\r\n")


def _uuencoded():
    text = (b"Here are the two files.\n\n" + _uuencode(b"notes.txt", b"line one\nline two\n" * 20) +
            b"\nand a second one:\n" + _uuencode(b"data.bin", bytes(range(256))) + b"\nBye.\n")
    return _lf(_head(b"uuencoded", mime=False)) + b"\n" + text


def _uuencoded_mime():
    return (_head(b"uuencoded in MIME", b"Content-Type: multipart/mixed; boundary=u\r\n") +
            b"\r\n--u\r\nContent-Type: text/plain\r\n\r\nsee\r\n" +
            _uuencode(b"in text.txt", b"x" * 100, b"\r\n") +
            b"--u\r\nContent-Type: application/octet-stream; name=\"a.uu\"\r\n"
            b"Content-Transfer-Encoding: x-uuencode\r\n\r\n" +
            _uuencode(b"a.bin", bytes(range(100)), b"\r\n") + b"--u--\r\n")


def _base64_kinds():
    data = bytes((i * 7 + 3) % 256 for i in range(1000))
    junk = bytearray(_b64_lines(data, 60, b"\n"))
    for at in (5, 100, 333, 700):
        junk[at:at] = b"*!~ "
    return (_head(b"base64", b"Content-Type: multipart/mixed; boundary=\"b\"\r\n") +
            b"\r\n--b\r\nContent-Type: application/octet-stream; name=crlf.bin\r\n"
            b"Content-Transfer-Encoding: base64\r\n\r\n" + _b64_lines(data) +
            b"--b\r\nContent-Type: application/octet-stream; name=lf.bin\r\n"
            b"Content-Transfer-Encoding: BASE64\r\n\r\n" + _b64_lines(data, 72, b"\n") +
            b"--b\r\nContent-Type: application/octet-stream; name=junk.bin\r\n"
            b"Content-Transfer-Encoding: base64\r\n\r\n" + bytes(junk) +
            b"--b\r\nContent-Type: text/plain; charset=utf-8\r\n"
            b"Content-Transfer-Encoding: base64\r\n\r\n" +
            _b64_lines("Привет, мир\n".encode(), 8) + b"--b--\r\n")


def _quoted_printable():
    body = (b"A long line that goes on and on and on and is broken by soft line breaks =\r\n"
            b"in the middle, with =e9 lower-case hex, =C3=A9 upper-case hex, a bad =ZZ escape =\r\n"
            b"and an equals sign at the very end=\r\n")
    return (_head(b"quoted-printable", b"Content-Type: text/plain; charset=iso-8859-1\r\n"
                  b"Content-Transfer-Encoding: quoted-printable\r\n") + b"\r\n" + body)


def _cyrillic_qp():
    text = "Добрый день!\nВстреча переносится в четвёртую комнату, " \
           "возьмите цифры за прошлую неделю.\n"
    encoded = quopri.encodestring(text.encode("koi8-r"))
    return (_head(_word("koi8-r", "Встреча"), b"Content-Type: text/plain; charset=\"KOI8-R\"\r\n"
                  b"Content-Transfer-Encoding: quoted-printable\r\n") + b"\r\n" + encoded)


def _missing_close():
    return (_head(b"no closing boundary", b"Content-Type: multipart/mixed; boundary=\"end\"\r\n") +
            b"\r\npreamble\r\n--end\r\nContent-Type: text/plain\r\n\r\nfirst\r\n"
            b"--end\r\nContent-Type: text/html\r\n\r\n<p>second, and the message stops\r\n")


def _boundary_never():
    return (_head(b"boundary that never comes",
                  b"Content-Type: multipart/alternative; boundary=\"nowhere\"\r\n") +
            b"\r\n--elsewhere\r\nContent-Type: text/plain\r\n\r\ntext\r\n--elsewhere--\r\n")


def _boundary_in_line():
    return (_head(b"boundary inside a line",
                  b"Content-Type: multipart/mixed; boundary=\"sep\"\r\n") +
            b"\r\n--sep\r\nContent-Type: text/plain\r\n\r\nthe boundary is --sep, not here\r\n"
            b"--sepx is not one either\r\n  --sep nor this\r\n--sep   \r\n"
            b"Content-Type: text/plain\r\n\r\nsecond\r\n--sep--  \r\nepilogue\r\n")


def _no_mime_version():
    return (_head(b"no MIME-Version", b"Content-Type: multipart/mixed; boundary=nv\r\n",
                  mime=False) +
            b"\r\n--nv\r\n\r\nno header, text/plain by default\r\n"
            b"--nv\r\nContent-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\n\r\n"
            b"R0lGODlhAQABAAAAACw=\r\n--nv--\r\n")


def _raw_8bit():
    return (b"From: \xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0 <anna@example.ru>\r\n"
            b"Subject: \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82\r\n"
            b"MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=r\r\n\r\n"
            b"--r\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n\xd0\xb4\xd0\xb0\r\n"
            b"--r\r\nContent-Type: application/octet-stream;"
            b" name=\"\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.bin\"\r\n\r\nraw\r\n--r--\r\n")


def _empty_part():
    return (_head(b"empty part", b"Content-Type: multipart/mixed; boundary=e\r\n") +
            b"\r\n--e\r\nContent-Type: text/plain\r\n\r\n\r\n"
            b"--e\r\nContent-Type: application/octet-stream; name=empty.bin\r\n"
            b"Content-Transfer-Encoding: base64\r\n\r\n\r\n--e\r\n--e--\r\n")


def _no_colon():
    return (b"From: ann@example.org\r\nSubject: a header line without a colon\r\n"
            b"This line is no header field\r\nContent-Type: text/html\r\n\r\nbody\r\n")


def _plain():
    return _lf(_head(b"plain", mime=False)) + b"\nJust words.\nAnd more words.\n"


def _digest():
    return (_head(b"digest", b"Content-Type: multipart/digest; boundary=d\r\n") +
            b"\r\n--d\r\n\r\nFrom: a@example.org\r\nSubject: one\r\n\r\nfirst\r\n"
            b"--d\r\n\r\nFrom: b@example.org\r\nSubject: two\r\n\r\nsecond\r\n--d--\r\n")


def _twins():
    return (_head(b"twin names", b"Content-Type: multipart/mixed; boundary=t\r\n") +
            b"\r\n--t\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
            b"--t\r\nContent-Type: image/png; name=\"a:b.png\"\r\n\r\npng\r\n"
            b"--t\r\nContent-Type: image/png; name=\"a_b.png\"\r\n\r\npng\r\n"
            b"--t\r\nContent-Type: image/png; name=\"A_B.png\"\r\n\r\npng\r\n--t--\r\n")


CASES = [
    ("plain", _plain), ("nested", _nested), ("rfc822", _rfc822), ("cyrillic-pdf", _cyrillic_pdf),
    ("rfc2231", _rfc2231_latin),
    ("rfc2047-utf8", lambda: _rfc2047("utf-8", "utf-8", "Счёт", "Договор №5.doc")),
    ("rfc2047-cp1251", lambda: _rfc2047("windows-1251", "cp1251", "Счёт", "Договор №5.doc")),
    ("rfc2047-koi8r", lambda: _rfc2047("koi8-r", "koi8-r", "Счёт", "Договор.doc")),
    ("uuencode", _uuencoded), ("uuencode-mime", _uuencoded_mime), ("base64", _base64_kinds),
    ("quoted-printable", _quoted_printable), ("cyrillic-qp", _cyrillic_qp),
    ("missing-close", _missing_close), ("boundary-never", _boundary_never),
    ("boundary-in-line", _boundary_in_line), ("no-mime-version", _no_mime_version),
    ("raw-8bit", _raw_8bit), ("empty-part", _empty_part), ("no-colon", _no_colon),
    ("digest", _digest), ("twins", _twins),
]


def corpus():
    return [(name, make()) for name, make in CASES]


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--seeds":
        for name, raw in corpus():
            with open("%s/%s.eml" % (sys.argv[2], name), "wb") as out:
                out.write(raw)
        return
    if len(sys.argv) != 2:
        sys.exit("usage: make_message_corpus.py OUT.txt | --seeds DIR")
    msgs = [make_mail_folder.Message(name, "corpus", "11 Mar 00 10:00", raw, "", name, "")
            for name, raw in corpus()]
    with open(sys.argv[1], "w", encoding="ascii") as out:
        out.write(make_mail_folder.description(msgs))


if __name__ == "__main__":
    main()
