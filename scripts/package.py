#!/usr/bin/env python3
"""The two steps of scripts/package that are easier in Python.

    package.py readme README.md VERSION NOTE     the user's part of README.md
                                                 as plain text with CRLF line
                                                 ends, and the lines of NOTE
                                                 after it, to standard output
    package.py zip OUT EPOCH FOLDER NAME...      the zip OUT of FOLDER's files
                                                 NAME... in that order

The zip is the same bytes for the same files: its entries come in the order
given, each with the same permissions and the one time EPOCH (seconds since
1970, UTC; the commit's), and nothing of the machine or the user that made it.
"""
import os
import re
import sys
import time
import zipfile

# The line of README.md that ends the user's part.
USER_PART_END = "<!-- The user's part ends here"
# The oldest time a zip entry can hold.
ZIP_EPOCH = 315532800  # 1980-01-01 00:00:00 UTC


def fail(message):
    sys.stderr.write("package.py: %s\n" % message)
    sys.exit(1)


def plain(line, version):
    """A line of Markdown as plain text: no code marks, no bold, links as
    their text with the address after it, <version> as the version."""
    line = re.sub(r"\*\*(.+?)\*\*", r"\1", line)
    line = line.replace("`", "")
    line = re.sub(r"\[([^\]]+)\]\(([^)]+)\)", r"\1 (\2)", line)
    return line.replace("<version>", version)


def readme(source, version, note):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    end = text.find(USER_PART_END)
    if end < 0:
        fail("%s has no line that ends the user's part (%s ...)" % (source, USER_PART_END))
    lines = []
    for line in text[:end].splitlines():
        if line.startswith("!["):
            continue  # a picture
        heading = re.match(r"(#+) +(.*)", line)
        if heading:
            title = plain(heading.group(2), version)
            lines += [title, ("=" if len(heading.group(1)) == 1 else "-") * len(title)]
        elif line.startswith("    "):
            lines.append(line.replace("<version>", version).rstrip())
        else:
            lines.append(plain(line, version).rstrip())
    lines += [""] + note.split("\n")
    # One blank line between paragraphs, none at either end.
    out = []
    for line in lines:
        if line or (out and out[-1]):
            out.append(line)
    while out and not out[-1]:
        out.pop()
    sys.stdout.buffer.write(("\r\n".join(out) + "\r\n").encode("utf-8"))


def make_zip(out, epoch, folder, names):
    stamp = time.gmtime(max(int(epoch), ZIP_EPOCH))[:6]
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in names:
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # permissions in the Unix form, whoever unzips
            if name.endswith("/"):
                info.external_attr = (0o40755 << 16) | 0x10  # a folder
                archive.writestr(info, b"")
                continue
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    os.replace(partial, out)


def main(argv):
    if len(argv) == 5 and argv[1] == "readme":
        readme(argv[2], argv[3], argv[4])
    elif len(argv) >= 6 and argv[1] == "zip":
        make_zip(argv[2], argv[3], argv[4], argv[5:])
    else:
        fail("usage: package.py readme README.md VERSION NOTE | zip OUT EPOCH FOLDER NAME...")


if __name__ == "__main__":
    main(sys.argv)
