#!/usr/bin/env python3
"""Makes a program's --help text and its manual page from one source.

usage: manpage.py SOURCE HELP_INC MANPAGE VERSION

The source has a header (.name, .section, .summary), then ".help" and the help text exactly as
the program prints it, then ".man" and the sections only the manual page has ("== TITLE", then
paragraphs or "term" lines each followed by indented text). The help text becomes the manual's
SYNOPSIS (its "Usage:" lines), DESCRIPTION (its paragraphs) and OPTIONS (lines that start with
two blanks and a dash).
"""

import sys


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def parse(lines):
    header, help_lines, man_lines, part = {}, [], [], "header"
    for line in lines:
        if part == "header" and line.startswith(".") and line.strip() not in (".help", ".man"):
            key, _, value = line[1:].partition(" ")
            header[key] = value.strip()
        elif line.strip() == ".help":
            part = "help"
        elif line.strip() == ".man":
            part = "man"
        elif part == "help":
            help_lines.append(line)
        elif part == "man":
            man_lines.append(line)
    while help_lines and not help_lines[-1].strip():
        help_lines.pop()
    return header, help_lines, man_lines


def blocks(lines):
    block = []
    for line in lines:
        if line.strip():
            block.append(line)
        elif block:
            yield block
            block = []
    if block:
        yield block


def options(block):
    """[(term, text)] of an option block: "  --name ARG   text", continued deeper."""
    items = []
    for line in block:
        stripped = line.strip()
        if line.startswith("  -"):
            # The term ends at the first run of two blanks.
            term, _, text = stripped.partition("  ")
            items.append([term, text.strip()])
        elif items:
            items[-1][1] += " " + stripped
    return items


def manual(header, help_lines, man_lines, version):
    name, section = header["name"], header["section"]
    out = [
        '.TH %s %s "" "Orvex %s" "Orvex"' % (name.upper(), section, version),
        ".SH NAME",
        "%s \\- %s" % (name, escape(header["summary"])),
    ]
    parts = list(blocks(help_lines))
    usage = parts.pop(0)
    out += [".SH SYNOPSIS", ".nf"]
    for line in usage:
        out.append(escape(line.replace("Usage: ", "", 1).strip()))
    out += [".fi", ".SH DESCRIPTION"]
    option_items = []
    for block in parts:
        if block[0].startswith("  -"):
            option_items += options(block)
        else:
            out += [".PP", escape(" ".join(line.strip() for line in block))]
    if option_items:
        out.append(".SH OPTIONS")
        for term, text in option_items:
            out += [".TP", "\\fB%s\\fR" % escape(term), escape(text)]
    for line in man_lines:
        if line.startswith("== "):
            out.append(".SH " + escape(line[3:].strip()))
        elif line.startswith("  "):
            out.append(escape(line.strip()))
        elif line.strip():
            out += [".TP", "\\fB%s\\fR" % escape(line.strip())] if _next_is_indented(
                man_lines, line) else [".PP", escape(line.strip())]
    return "\n".join(out) + "\n"


def _next_is_indented(lines, line):
    at = lines.index(line)
    return at + 1 < len(lines) and lines[at + 1].startswith("  ")


def help_include(help_lines):
    text = "\n".join(help_lines) + "\n"
    # A raw string literal; the delimiter cannot occur in the text.
    assert ")orvexhelp\"" not in text
    return 'R"orvexhelp(' + text + ')orvexhelp"\n'


def main():
    source, help_inc, manpage, version = sys.argv[1:5]
    with open(source, encoding="utf-8") as f:
        header, help_lines, man_lines = parse(f.read().splitlines())
    with open(help_inc, "w", encoding="utf-8") as f:
        f.write(help_include(help_lines))
    with open(manpage, "w", encoding="utf-8") as f:
        f.write(manual(header, help_lines, man_lines, version))


if __name__ == "__main__":
    main()
