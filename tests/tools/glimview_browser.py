#!/usr/bin/env python3
"""A page made by glimview, opened in a real browser: a file with known
coloured cells becomes a page, headless Chromium takes a screenshot of it,
and the colour at chosen cells is read back from the picture.

Usage: glimview_browser.py GLIMVIEW [KEEP_DIR]
Exit status 0 when every check holds. The file, the page and the picture
are kept in KEEP_DIR, or in a temporary directory that is named on failure
and removed on success.
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import glimfile  # noqa: E402

COLUMNS = 32
ROWS = 10
PAGE_BACKGROUND = 0x202020


def known_screen():
    """The cells whose colours are checked, and what each should show:
    a list of (description, column, row, dx, dy, colour)."""
    screen = glimfile.Screen(COLUMNS, ROWS, 0x07)
    checks = []
    screen.put(0, 0, "glimview colour check", 0x0E)
    # Row 1: the sixteen background colours, two blank cells each.
    for colour in range(16):
        screen.fill(1, 2 * colour, 2, (colour << 4) | (15 - colour))
        checks.append(("background %d" % colour, 2 * colour, 1, 4, 9, glimfile.PALETTE[colour]))
        checks.append(("background %d, second cell" % colour, 2 * colour + 1, 1, 4, 9,
                       glimfile.PALETTE[colour]))
    # Row 2: the sixteen foreground colours as full blocks on black.
    for colour in range(16):
        screen.put(2, colour, "\u2588", colour)
        checks.append(("foreground %d" % colour, colour, 2, 4, 9, glimfile.PALETTE[colour]))
    # Row 3: reverse video swaps the colours; underscore keeps them.
    screen.fill(3, 0, 4, 0x401E)
    checks.append(("reverse video: yellow behind", 1, 3, 4, 9, glimfile.PALETTE[14]))
    screen.fill(3, 4, 4, 0x804C)
    checks.append(("underscore: red behind", 5, 3, 4, 2, glimfile.PALETTE[4]))
    # Row 5: white on green with the cursor in its middle.
    screen.fill(5, 0, 12, 0x2F)
    screen.cursor = (6, 5)
    checks.append(("cursor cell: green behind", 6, 5, 4, 6, glimfile.PALETTE[2]))
    checks.append(("cursor cell: white bar", 6, 5, 4, glimfile.CELL_HEIGHT - 2,
                   glimfile.PALETTE[15]))
    checks.append(("beside the cursor: no bar", 7, 5, 4, glimfile.CELL_HEIGHT - 2,
                   glimfile.PALETTE[2]))
    # Row 6 is the last row with content: bright red on white, last column.
    screen.fill(6, COLUMNS - 1, 1, 0xFC)
    checks.append(("last cell of the grid", COLUMNS - 1, 6, 4, 9, glimfile.PALETTE[15]))
    checks.append(("a blank cell in grey on black", 20, 6, 4, 9, glimfile.PALETTE[0]))
    checks.append(("right of the grid", COLUMNS, 3, 6, 9, PAGE_BACKGROUND))
    checks.append(("below the last row with content", 3, 7, 4, 9, PAGE_BACKGROUND))
    return screen, checks


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip())
        return 2
    glimview = sys.argv[1]
    keep = len(sys.argv) > 2
    work = sys.argv[2] if keep else tempfile.mkdtemp(prefix="glimview-browser-")
    os.makedirs(work, exist_ok=True)
    chromium = glimfile.find_chromium()
    if chromium is None:
        print("glimview_browser: no chromium found (apt-get install chromium)")
        return 1

    screen, checks = known_screen()
    shot = os.path.join(work, "colours.glim")
    page = os.path.join(work, "colours.html")
    png = os.path.join(work, "colours.png")
    with open(shot, "wb") as f:
        f.write(glimfile.glimpset_bytes(screen))
    done = subprocess.run([glimview, "--html", page, shot], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=False)
    if done.returncode != 0:
        print("glimview failed with status %d: %s" % (done.returncode,
                                                      done.stderr.decode("utf-8", "replace")))
        return 1

    width, height = glimfile.page_size(COLUMNS, ROWS)
    status, output = glimfile.screenshot(chromium, page, png, width, height)
    if status != 0 or not os.path.exists(png):
        print("chromium failed with status %d:\n%s" % (status, output))
        return 1
    shot_width, shot_height, pixels = glimfile.read_png(png)
    if (shot_width, shot_height) != (width, height):
        print("screenshot is %dx%d, not %dx%d" % (shot_width, shot_height, width, height))
        return 1

    failures = 0
    for description, column, row, dx, dy, expected in checks:
        x, y = glimfile.cell_pixel(column, row, dx, dy)
        found = pixels[y][x]
        if found != expected:
            failures += 1
            print("%s: pixel (%d, %d) is #%06X, not #%06X" % (description, x, y, found, expected))
    if failures:
        print("%d of %d checks failed; page and picture in %s" % (failures, len(checks), work))
        return 1
    print("glimview_browser: %d colours checked" % len(checks))
    if not keep:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
