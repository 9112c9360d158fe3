#!/usr/bin/env python3
"""Writes vfolder's man page from what `vfolder --help` and `--version` say.

    python3 man/make_vfolder_page.py VFOLDER > man/vfolder.1

The page's commands, options and exit statuses are the help's own words, so
a change to the help is a run of this away from the page; tests/man_page_test.sh
fails while the two differ. Only the sections the help has no words for
(NAME, FILES, SEE ALSO) are written here.
"""
import re
import subprocess
import sys

TermColumn = 22


def Escaped(text):
    """Troff text: backslashes kept, dashes of options as minus signs, no
    line taken for a request."""
    text = text.replace("\\", "\\e")
    text = re.sub(r"(?<![A-Za-z0-9])-+", lambda m: "\\-" * len(m.group(0)), text)
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def Styled(term):
    """A command line's words in bold, its place-holders (INDEX, [ITEM...])
    in italics."""
    words = []
    for word in term.split(" "):
        if re.search(r"[A-Z]", word) and not re.search(r"[a-z]", word):
            words.append("\\fI" + Escaped(word) + "\\fR")
        else:
            words.append("\\fB" + Escaped(word) + "\\fR")
    return " ".join(words)


def Parsed(help_text):
    """The usage lines, the opening paragraph, the entries (term, lines) and
    the closing paragraphs' lines."""
    lines = help_text.rstrip("\n").split("\n")
    blank = lines.index("")
    usage = lines[:blank]
    rest = lines[blank + 1:]
    blank = rest.index("")
    opening = rest[:blank]
    entries, closing = [], []
    for line in rest[blank + 1:]:
        if closing or (line and not line.startswith(" ")):
            closing.append(line)
        elif line.startswith(" " * TermColumn):
            entries[-1][1].append(line.strip())
        elif not line.strip():
            closing.append(line)
        elif len(line) > TermColumn and line[TermColumn - 2:TermColumn] == "  " \
                and line[TermColumn] != " ":
            entries.append((line[:TermColumn].strip(), [line[TermColumn:]]))
        else:
            entries.append((line.strip(), []))
    return usage, opening, entries, closing


def Page(help_text, version):
    usage, opening, entries, closing = Parsed(help_text)
    out = []
    out.append('.TH VFOLDER 1 "" "vfolder %s" "User Commands"' % version)
    out.append(".SH NAME")
    out.append("vfolder \\- list, copy out and convert the messages of Vessor mail folders")
    out.append(".SH SYNOPSIS")
    out.append(".nf")
    for line in usage:
        line = re.sub(r"^(usage: |       )", "", line)
        out.append(Escaped(line.rstrip()))
    out.append(".fi")
    out.append(".SH DESCRIPTION")
    out.extend(Escaped(line) for line in opening)
    commands = [e for e in entries if not e[0].startswith("-")]
    options = [e for e in entries if e[0].startswith("-")]
    for title, group in (("COMMANDS", commands), ("OPTIONS", options)):
        out.append(".SH " + title)
        for term, text in group:
            out.append(".TP")
            out.append(Styled(term))
            out.extend(Escaped(line) for line in text)
    # The closing paragraphs: the exit statuses get their own section.
    notes = " ".join(line.strip() for line in closing if line.strip())
    status = re.search(r"Exit status: (.*?\.)(?: |$)", notes)
    out.append(".SH NOTES")
    for sentence in re.split(r"(?<=\.) ", notes.replace(status.group(0), "") if status else notes):
        if sentence:
            out.append(Escaped(sentence))
    if status:
        out.append(".SH EXIT STATUS")
        for item in re.split(r"; ", status.group(1)):
            number, _, meaning = item.partition(" ")
            out.append(".TP")
            out.append("\\fB%s\\fR" % number)
            out.append(Escaped(meaning.rstrip(".")))
    out.append(".SH FILES")
    out.append(".TP")
    out.append("\\fI/usr/lib/vessor\\-folder/vessor.so\\fR")
    out.append("the plug-in library vfolder loads for \\fBlist\\fR and \\fBcopy\\fR")
    out.append("(beside the program; \\fB\\-\\-plugin\\fR names another)")
    out.append(".TP")
    out.append("\\fI/usr/lib/far2l/Plugins/vessor/plug/vessor.far\\-plug\\-wide\\fR")
    out.append("the plug-in that opens the folders in far2l's panels, its language and")
    out.append("help files in \\fI/usr/share/far2l/Plugins/vessor/plug/\\fR")
    out.append(".SH SEE ALSO")
    out.append(".BR far2l (1)")
    return "\n".join(out) + "\n"


def main():
    program = sys.argv[1]
    help_text = subprocess.run([program, "--help"], check=True, capture_output=True,
                               text=True).stdout
    version = subprocess.run([program, "--version"], check=True, capture_output=True,
                             text=True).stdout.split()[-1]
    sys.stdout.write(Page(help_text, version))


if __name__ == "__main__":
    main()
