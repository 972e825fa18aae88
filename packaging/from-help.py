#!/usr/bin/env python3
"""Writes the man page and the bash completion from what `fernhop --help` prints.

Both are made at build time from the freshly built program, so neither can drift from --help:
an option added there appears in the man page and completes in bash with the next build.

    from-help.py PROGRAM VERSION MAN_PAGE.gz COMPLETION_TEMPLATE COMPLETION

The help text is read by its layout: paragraphs set apart by blank lines; in the "usage:"
paragraph a command form starts at two spaces ("  fernhop ..."), its own continuation lines are
indented further, a description at six spaces, and an option at six spaces starting with "-"
has its text after two or more spaces. Every other paragraph becomes a section of its own.
"""

import gzip
import re
import subprocess
import sys

NAME_LINE = "fernhop \\- keep a web site on an FTP server in step with a local directory tree"
DESCRIPTION = (
    "Fernhop keeps a web site on an FTP server in step with a directory tree on this computer: "
    "it scans the local tree, walks the server (or reads back the listing it cached last time), "
    "compares the two and then deletes, creates and uploads over one FTP control connection, or "
    "for a download site mirrors the server onto the computer. Without a command it opens its "
    "window; with --batch it runs without one, for scripts and cron."
)
# Paragraphs that open with one of these words get the section named here.
SECTIONS_BY_OPENING = [
    ("Exit status", "EXIT STATUS"),
    ("Settings", "FILES"),
    ("Environment", "ENVIRONMENT"),
]
OPTION = re.compile(r"(?<![\w-])(-[A-Za-z0-9]|--[a-z0-9][a-z0-9-]*)")
# An option followed by an upper-case placeholder (--port N, --set KEY=VALUE) takes a value.
VALUE_OPTION = re.compile(r"(?<![\w-])(--[a-z0-9][a-z0-9-]*|-[A-Za-z0-9]) [A-Z][A-Z0-9_=]*\b")


def roff(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def indent(line):
    return len(line) - len(line.lstrip(" "))


def split_at_gap(text, width):
    """("--dry-run", "stop after ...") from "--dry-run   stop after ..." (a gap of width spaces)."""
    match = re.search(" {%d,}" % width, text)
    return (text[: match.start()], text[match.end():]) if match else (text, "")


def paragraphs(help_text):
    block = []
    for line in help_text.splitlines():
        if line.strip():
            block.append(line.rstrip())
        elif block:
            yield block
            block = []
    if block:
        yield block


def usage_commands(lines):
    """The command forms of the usage paragraph: [(synopsis lines, [items])]. An item is
    ("text", lines) or ("option", tag, lines)."""
    commands = []
    last = None
    for line in lines[1:]:
        depth, text = indent(line), line.strip()
        if depth <= 2 and text.startswith("fernhop"):
            # "  fernhop --scan DIR      load DIR ...": a description after a wide gap.
            synopsis, said = split_at_gap(text, 3)
            commands.append(([synopsis], []))
            last = "synopsis"
            if said:
                commands[-1][1].append(["text", [said]])
                last = "text"
        elif not commands:
            continue
        elif last == "synopsis" and depth > 6:
            commands[-1][0].append(text)
        elif depth > 6 and last in ("text", "option"):
            commands[-1][1][-1][-1].append(text)
        elif text.startswith("-"):
            tag, said = split_at_gap(text, 2)
            commands[-1][1].append(["option", tag, [said] if said else []])
            last = "option"
        else:
            items = commands[-1][1]
            if last == "text" and depth == 6:
                items[-1][-1].append(text)
            else:
                items.append(["text", [text]])
            last = "text"
    return commands


def block_items(lines):
    """Any other paragraph: its text, with indented option lines ("  -q, --quiet  say less") as
    options whose further-indented lines continue them."""
    items = []
    for line in lines:
        depth, text = indent(line), line.strip()
        if depth > 0 and text.startswith("-"):
            tag, said = split_at_gap(text, 2)
            items.append(["option", tag, [said] if said else [], depth])
        elif items and items[-1][0] == "option" and depth > items[-1][3]:
            items[-1][2].append(text)
        elif items and items[-1][0] == "text":
            items[-1][1].append(text)
        else:
            items.append(["text", [text]])
    return [item[:3] for item in items]


def items_roff(items):
    out = []
    for item in items:
        if item[0] == "option":
            out += [".TP", "\\fB" + roff(item[1]) + "\\fR"] + [roff(t) for t in item[2]]
        else:
            out += [".PP"] + [roff(t) for t in item[1]]
    return out


def synopsis_roff(synopsis):
    first, rest = synopsis[0], synopsis[1:]
    words = first.split(" ", 1)
    out = ["\\fB" + roff(words[0]) + "\\fR" + (" " + roff(words[1]) if len(words) > 1 else "")]
    out += ["        " + roff(line) for line in rest]
    return out


def man_page(help_text, version):
    blocks = list(paragraphs(help_text))
    usage = next((b for b in blocks if b[0].strip().lower().startswith("usage")), None)
    commands = usage_commands(usage) if usage else []
    out = [
        '.TH FERNHOP 1 "" "fernhop %s" "User Commands"' % version,
        ".SH NAME",
        NAME_LINE,
        ".SH SYNOPSIS",
        ".nf",
    ]
    for synopsis, _ in commands:
        out += synopsis_roff(synopsis)
    out += [".fi", ".SH DESCRIPTION", roff(DESCRIPTION), ".SH COMMANDS"]
    for synopsis, items in commands:
        out += [".PP", ".nf"] + synopsis_roff(synopsis) + [".fi"]
        if not items:
            continue
        out += [".RS 4"] + items_roff(items) + [".RE"]
    for block in blocks:
        if block is usage:
            continue
        first = block[0].strip()
        section = next((name for opening, name in SECTIONS_BY_OPENING if first.startswith(opening)), "NOTES")
        if first.lower().startswith(section.lower() + ":"):
            block = [first[len(section) + 1:].lstrip()] + block[1:]
        out += [".SH " + section] + items_roff(block_items(block))
    out += [".SH SEE ALSO", "\\fBcron\\fR(8), \\fBcrontab\\fR(5)"]
    return "\n".join(out) + "\n"


def completion(help_text, template):
    options = sorted(set(OPTION.findall(help_text)) | {"--help"})
    takes_value = sorted(set(VALUE_OPTION.findall(help_text)))
    return (template.replace("@OPTIONS@", " ".join(options))
            .replace("@VALUE_OPTIONS@", "|".join(takes_value) or "--"))


def main():
    program, version, man_out, template_path, completion_out = sys.argv[1:6]
    help_text = subprocess.run([program, "--help"], check=True, capture_output=True, text=True).stdout
    if "usage" not in help_text.lower():
        sys.exit("from-help.py: %s --help printed no usage" % program)
    # No name or time in the gzip header: the same help text gives the same bytes.
    with open(man_out, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as gz:
        gz.write(man_page(help_text, version).encode())
    with open(template_path) as f:
        template = f.read()
    with open(completion_out, "w") as f:
        f.write(completion(help_text, template))


if __name__ == "__main__":
    main()
