#!/usr/bin/env python3
"""A page and an image made by glimview, opened in a real browser: a file
with known coloured cells becomes an HTML page and an SVG image, headless
Chromium takes a screenshot of each, and the colour at chosen cells is read
back from the pictures. Each image is also parsed as XML, as is the image of
a screen that holds every UTF-16 code unit once. Last, the picture --diff
makes of that screen and a copy with one character and one colour changed
is parsed as XML, and its outlines are read back from its screenshot on
both sides.

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
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import glimfile  # noqa: E402

COLUMNS = 32
ROWS = 10
PAGE_BACKGROUND = 0x202020
SVG_NAMESPACE = "{http://www.w3.org/2000/svg}"


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


def run_glimview(glimview, arguments):
    """glimview's error text, or None when it succeeded."""
    done = subprocess.run([glimview] + arguments, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=False)
    if done.returncode != 0:
        return "glimview %s failed with status %d: %s" % (
            " ".join(arguments), done.returncode, done.stderr.decode("utf-8", "replace"))
    return None


def check_picture(chromium, document, png, width, height, checks, cell_pixel):
    """Screenshots a page or an image; returns the failures, one line each."""
    status, output = glimfile.screenshot(chromium, document, png, width, height)
    if status != 0 or not os.path.exists(png):
        return ["chromium failed with status %d:\n%s" % (status, output)]
    shot_width, shot_height, pixels = glimfile.read_png(png)
    if (shot_width, shot_height) != (width, height):
        return ["screenshot is %dx%d, not %dx%d" % (shot_width, shot_height, width, height)]
    failures = []
    for description, column, row, dx, dy, expected in checks:
        x, y = cell_pixel(column, row, dx, dy)
        found = pixels[y][x]
        if found != expected:
            failures.append("%s: %s: pixel (%d, %d) is #%06X, not #%06X"
                            % (os.path.basename(png), description, x, y, found, expected))
    return failures


def check_svg_size(image, columns, rows):
    """Parses an image as XML; returns the failures."""
    try:
        root = ElementTree.parse(image).getroot()
    except ElementTree.ParseError as error:
        return ["%s is not well-formed XML: %s" % (image, error)]
    size = (root.get("width"), root.get("height"))
    expected = (str(columns * glimfile.SVG_CELL_WIDTH), str(rows * glimfile.SVG_CELL_HEIGHT))
    if root.tag != SVG_NAMESPACE + "svg" or size != expected:
        return ["%s: root %s of %s, not svg of %s" % (image, root.tag, size, expected)]
    return []


def every_unit(work, glimview):
    """Every UTF-16 code unit once, 512 x 128 cells, in the image's text;
    returns the failures."""
    screen = glimfile.Screen(512, 128, 0x07)
    screen.characters = list(range(65536))
    screen.attributes = [(unit >> 4) & 0xFF for unit in range(65536)]
    shot = os.path.join(work, "every unit <&>\x1b.glim")
    image = os.path.join(work, "every-unit.svg")
    with open(shot, "wb") as f:
        f.write(glimfile.glimpset_bytes(screen))
    failure = run_glimview(glimview, ["--svg", image, shot])
    if failure:
        return [failure]
    return check_svg_size(image, 512, 128)


# The --diff picture: each screen under a caption, the new one to the right.
DIFF_CAPTION = 20
DIFF_GAP = 2 * glimfile.SVG_CELL_WIDTH
DIFF_CHARACTER = 0xFF8C00
DIFF_COLOUR = 0x00BFFF


def diff_cell_pixel(column, row, dx, dy):
    """The picture position of a point inside a cell; columns from COLUMNS
    on are those of the right side."""
    right = DIFF_GAP if column >= COLUMNS else 0
    return (column * glimfile.SVG_CELL_WIDTH + right + dx,
            DIFF_CAPTION + row * glimfile.SVG_CELL_HEIGHT + dy)


def diff_picture(work, glimview, chromium, screen):
    """The picture of the known screen against a copy with the character at
    (3, 0) and the colour alone at (10, 6) changed; returns the failures."""
    older = os.path.join(work, "older.glim")
    newer = os.path.join(work, "newer & <newer>.glim")
    image = os.path.join(work, "diff.svg")
    with open(older, "wb") as f:
        f.write(glimfile.glimpset_bytes(screen))
    screen.put(0, 3, "X", 0x0E)
    screen.fill(6, 10, 1, 0x1C)
    with open(newer, "wb") as f:
        f.write(glimfile.glimpset_bytes(screen))
    done = subprocess.run([glimview, "--diff", "--svg", image, older, newer],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if done.returncode != 1:
        return ["glimview --diff --svg ended with %d, not 1: %s"
                % (done.returncode, done.stderr.decode("utf-8", "replace"))]
    try:
        root = ElementTree.parse(image).getroot()
    except ElementTree.ParseError as error:
        return ["%s is not well-formed XML: %s" % (image, error)]
    marks = sorted((rect.get("class"), rect.get("x"), rect.get("y"))
                   for rect in root.iter(SVG_NAMESPACE + "rect")
                   if (rect.get("class") or "").startswith("diff-"))
    expected = sorted([("diff-character", "28", "1")] * 2 + [("diff-colour", "91", "109")] * 2)
    if marks != expected:
        return ["%s: the outlines are %s, not %s" % (image, marks, expected)]
    width, height = int(root.get("width")), int(root.get("height"))
    checks = []
    for side, name in ((0, "old"), (COLUMNS, "new")):
        checks += [
            ("%s: another character outlined" % name, side + 3, 0, 1, 9, DIFF_CHARACTER),
            ("%s: another colour outlined" % name, side + 10, 6, 1, 9, DIFF_COLOUR),
            ("%s: a cell the same not outlined" % name, side + 3, 4, 1, 9, glimfile.PALETTE[0]),
        ]
    return check_picture(chromium, image, os.path.join(work, "diff-svg.png"), width, height,
                         checks, diff_cell_pixel)


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
    image = os.path.join(work, "colours.svg")
    with open(shot, "wb") as f:
        f.write(glimfile.glimpset_bytes(screen))
    failures = []
    for arguments in (["--html", page, shot], ["--svg", image, shot]):
        failure = run_glimview(glimview, arguments)
        if failure:
            failures.append(failure)
    if failures:
        print("\n".join(failures))
        return 1

    width, height = glimfile.page_size(COLUMNS, ROWS)
    failures += check_picture(chromium, page, os.path.join(work, "colours-html.png"), width,
                              height, checks, glimfile.cell_pixel)
    # The image has no page around it: the checks outside the grid are the
    # image's size, which must end after the last row with content.
    inside = [check for check in checks if check[1] < COLUMNS and check[2] < 7]
    inside.append(("underscore: a line in the foreground colour", 5, 3, 4,
                   glimfile.SVG_UNDERLINE, glimfile.PALETTE[12]))
    failures += check_svg_size(image, COLUMNS, 7)
    failures += check_picture(chromium, image, os.path.join(work, "colours-svg.png"), width,
                              height, inside, glimfile.svg_cell_pixel)
    failures += every_unit(work, glimview)
    failures += diff_picture(work, glimview, chromium, screen)
    if failures:
        print("\n".join(failures))
        print("%d checks failed; pages and pictures in %s" % (len(failures), work))
        return 1
    print("glimview_browser: %d colours checked on the page, %d in the image; the images are "
          "well-formed XML; the --diff picture outlines its cells" % (len(checks), len(inside)))
    if not keep:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
