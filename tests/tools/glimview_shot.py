#!/usr/bin/env python3
"""Makes the pictures shown in the README: a colourful console session saved
as a Glimpset file, made into a page by glimview and photographed by
headless Chromium (OUT.png), or drawn by glimview as an SVG image (OUT.svg).

Usage: glimview_shot.py GLIMVIEW OUT.png|OUT.svg
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import glimfile  # noqa: E402

COLUMNS = 80
ROWS = 27

GREY = 0x07
WHITE = 0x0F
YELLOW = 0x0E
GREEN = 0x0A
RED = 0x0C
CYAN = 0x0B
BLUE = 0x09
DARK = 0x08


def prompt(screen, row, command):
    screen.put(row, 0, "C:\\Projects\\glimpset", YELLOW)
    screen.put(row, 20, ">", WHITE)
    screen.put(row, 22, command, WHITE)


def session():
    screen = glimfile.Screen(COLUMNS, ROWS, GREY)
    prompt(screen, 0, "glim /I shot.glim")
    report = [
        ('"C:\\Projects\\glimpset\\shot.glim" - Glimpset v1 save file', WHITE),
        ("   Taken              : 2024-03-05 09:07:02 UTC+1:00", GREY),
        ("   On computer        : BUILDBOX", GREY),
        ("   Checksum           : 5A0C31D7", GREY),
        ("   Screen buffer size : 300 rows x 80 columns", GREY),
        ("   Cursor position    : row 41, column 0", GREY),
        ("   Code page          : 437", GREY),
    ]
    for i, (line, attribute) in enumerate(report):
        screen.put(2 + i, 0, line, attribute)

    prompt(screen, 10, "dir /w")
    screen.put(11, 0, " Directory of  C:\\Projects\\glimpset\\*", GREY)
    entries = [
        ("[bench]", BLUE), ("[build]", BLUE), ("[docs]", BLUE), ("[fuzz]", BLUE),
        ("[host]", BLUE), ("[scripts]", BLUE), ("[src]", BLUE), ("[tests]", BLUE),
        ("[tools]", BLUE), ("[winsim]", BLUE), ("CMakeLists.txt", GREY), ("README.md", CYAN),
        ("glimpset.dll", GREEN), ("glimhost.exe", GREEN), ("shot.glim", YELLOW),
    ]
    for i, (name, attribute) in enumerate(entries):
        screen.put(13 + i // 5, (i % 5) * 16, name, attribute)
    screen.put(16, 0, "        91,344 bytes in 5 files and 10 dirs", GREY)

    prompt(screen, 18, "scripts\\test")
    screen.put(19, 0, "==== linux tests", DARK)
    screen.put(20, 0, "[  PASSED  ]", GREEN)
    screen.put(20, 13, "412 tests.", GREY)
    screen.put(21, 0, "[  FAILED  ]", RED)
    screen.put(21, 13, "RestoreTest.", GREY)
    screen.put(21, 25, "AWindowOfTwentyOneColumnsIsRefused", WHITE)
    screen.put(22, 0, "suites: 4 passed, 1 failed", 0x4F)
    prompt(screen, 24, "")
    screen.cursor = (22, 24)

    # A key bar, as full-screen programs draw it.
    keys = ["Help", "Save", "View", "Edit", "Copy", "Move", "Find", "Info", "Menu", "Quit"]
    column = 0
    for number, key in enumerate(keys, 1):
        label = "%d" % number
        screen.put(26, column, label, 0x07)
        column += len(label)
        screen.put(26, column, key.ljust(6), 0x30)
        column += 6
    screen.fill(26, column, COLUMNS - column, 0x30)
    screen.window_height = ROWS
    return screen


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip())
        return 2
    glimview, out = sys.argv[1], sys.argv[2]
    image = out.endswith(".svg")
    chromium = None if image else glimfile.find_chromium()
    if chromium is None and not image:
        print("glimview_shot: no chromium found (apt-get install chromium)")
        return 1
    work = tempfile.mkdtemp(prefix="glimview-shot-")
    shot = os.path.join(work, "shot.glim")
    page = os.path.join(work, "shot.html")
    with open(shot, "wb") as f:
        f.write(glimfile.glimpset_bytes(session(), computer="BUILDBOX"))
    # The page or image is made from inside the directory, so that its title
    # names the file alone.
    if image:
        subprocess.run([os.path.abspath(glimview), "--svg", os.path.abspath(out), "shot.glim"],
                       cwd=work, check=True)
        shutil.rmtree(work, ignore_errors=True)
        print("glimview_shot: %s (%d bytes)" % (out, os.path.getsize(out)))
        return 0
    subprocess.run([os.path.abspath(glimview), "--html", "shot.html", "shot.glim"], cwd=work,
                   check=True)
    width, height = glimfile.page_size(COLUMNS, ROWS)
    status, output = glimfile.screenshot(chromium, page, os.path.abspath(out), width, height)
    shutil.rmtree(work, ignore_errors=True)
    if status != 0:
        print(output)
        return 1
    print("glimview_shot: %s (%d bytes)" % (out, os.path.getsize(out)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
