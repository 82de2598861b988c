#!/usr/bin/env python3
"""A page and an image made by glimview, opened in a real browser: a file
with known coloured cells becomes an HTML page and an SVG image, headless
Chromium takes a screenshot of each, and the colour at chosen cells is read
back from the pictures. Each image is also parsed as XML, as is the image of
a screen that holds every UTF-16 code unit once. The page of a screen of
characters of every kind (double-width ones, pairs, combining marks,
characters of no width, right-to-left letters, a cursor on half of a wide
character) is measured in the browser: every character's left edge must
stand at its cell's column, and its cells inside the span that clips it.
Last, the picture --diff makes of the coloured screen and a copy with one
character and one colour changed is parsed as XML, and its outlines are
read back from its screenshot on both sides.

Usage: glimview_browser.py GLIMVIEW [KEEP_DIR]
Exit status 0 when every check holds. The file, the page and the picture
are kept in KEEP_DIR, or in a temporary directory that is named on failure
and removed on success.
"""

import html
import json
import os
import re
import shutil
import struct
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


# ---- The grid of the page.

GRID_COLUMNS = 40
LEADING = 0x0100
TRAILING = 0x0200

# Run in a copy of the page once it is laid out: the left edge of every
# character of every row (each code point, a pair as one) and of the span
# that clips it, from the grid's left edge, written into the page as JSON.
MEASURE = """<script>
window.addEventListener("load", function () {
  var grid = document.querySelector(".screen");
  var origin = grid.getBoundingClientRect().left;
  var rows = [];
  grid.querySelectorAll(":scope > div").forEach(function (div) {
    var found = [];
    var walker = document.createTreeWalker(div, NodeFilter.SHOW_TEXT);
    for (var node = walker.nextNode(); node; node = walker.nextNode()) {
      for (var i = 0; i < node.data.length;) {
        var n = node.data.codePointAt(i) > 0xFFFF ? 2 : 1;
        var range = document.createRange();
        range.setStart(node, i);
        range.setEnd(node, i + n);
        var clip = node.parentElement.closest("span").getBoundingClientRect();
        found.push([node.data.substr(i, n), range.getBoundingClientRect().left - origin,
                    clip.left - origin, clip.right - origin]);
        i += n;
      }
    }
    rows.push(found);
  });
  var result = document.createElement("pre");
  result.id = "measured";
  result.textContent = JSON.stringify(rows);
  document.body.appendChild(result);
});
</script>
"""


def narrow(text, attribute=0x07):
    """Characters of one cell each, as (character, its cells) with a cell
    as (unit, attribute)."""
    return [(ch, [(ord(ch), attribute)]) for ch in text]


def wide(text, attribute=0x07, trailing=None):
    """Double-width characters as the console stores them: each in its
    leading and its trailing cell (the latter in `trailing`'s colours)."""
    second = (attribute if trailing is None else trailing) | TRAILING
    return [(ch, [(ord(ch), attribute | LEADING), (ord(ch), second)]) for ch in text]


def pair(ch, attribute=0x07, flags=(0, 0)):
    """A character beyond the Basic Multilingual Plane: its two UTF-16 units
    in two cells."""
    high, low = struct.unpack("<2H", ch.encode("utf-16-le"))
    return [(ch, [(high, attribute | flags[0]), (low, attribute | flags[1])])]


def grid_screen():
    """A screen that holds a character of every kind that a font may draw
    wider or narrower than a cell, each row ending in ASCII; the cursor on
    the second half of a double-width character. Returns the screen, each
    row's characters as (column, cells, character), and the cursor's pixel
    checks."""
    flagged = (LEADING, TRAILING)
    lines = [
        # Eight double-width characters, then ASCII.
        wide("\u4e2d\u6587\u5b57\u7b26\u65e5\u672c\u8a9e\uac00") + narrow("|after 8 wide"),
        # Three emoji as the console flags them, one without flags, a
        # narrow letter beyond the plane, then ASCII.
        pair("\U0001F600", 0x0E, flagged) + pair("\U0001F680", 0x0E, flagged)
        + pair("\U0001F44D", 0x0E, flagged) + pair("\U0001F389") + pair("\U0001D400")
        + narrow("|after pairs"),
        # Combining marks in cells of their own.
        narrow("e\u0301a\u0300\u0308o\u0327|after marks"),
        # Characters of no width.
        narrow("\u200b\u00ad\u200d\ufeff\u2060x|after zero width"),
        # Hebrew and Arabic in buffer order, digits among them.
        narrow("\u05e9\u05dc\u05d5\u05dd 12 \u0633\u0644\u0627\u0645|after RTL", 0x0B),
        # Double-width characters saved without flags: one in a cell of its
        # own, and one repeated in both of its cells.
        narrow("\u4e2dx\u6587\u6587y|after unflagged"),
        # Narrow letters of other scripts, box drawing, and a double-width
        # character whose cells differ in colour.
        narrow("\u00e9\u2500\u2502\u0416\u03bb\u2588") + wide("\u5b57", 0x07, 0x1E)
        + narrow("|after colours"),
        # The cursor on the second half of a double-width character.
        narrow("ab") + wide("\u4e2d\u6587", 0x2F) + narrow("cd|after cursor"),
    ]
    screen = glimfile.Screen(GRID_COLUMNS, len(lines), 0x07)
    rows = []
    for row, characters in enumerate(lines):
        column = 0
        rows.append([])
        for ch, cells in characters + narrow(" " * GRID_COLUMNS):
            if column + len(cells) > GRID_COLUMNS:
                break
            rows[-1].append((column, len(cells), ch))
            for unit, attribute in cells:
                screen.characters[row * GRID_COLUMNS + column] = unit
                screen.attributes[row * GRID_COLUMNS + column] = attribute
                column += 1
    screen.cursor = (5, 7)
    bar = glimfile.CELL_HEIGHT - 2
    checks = [
        ("cursor on a trailing half: bar under the leading cell", 4, 7, 4, bar,
         glimfile.PALETTE[15]),
        ("cursor on a trailing half: bar under the trailing cell", 5, 7, 4, bar,
         glimfile.PALETTE[15]),
        ("the wide character before it: no bar", 3, 7, 4, bar, glimfile.PALETTE[2]),
    ]
    return screen, rows, checks


def measure_grid(chromium, glimview, work):
    """Makes the page of grid_screen, measures every character in Chromium
    and screenshots the cursor; returns (failures, characters measured,
    largest distance of a left edge from its column)."""
    screen, expected_rows, checks = grid_screen()
    shot = os.path.join(work, "grid.glim")
    page = os.path.join(work, "grid.html")
    measured = os.path.join(work, "grid-measured.html")
    with open(shot, "wb") as f:
        f.write(glimfile.glimpset_bytes(screen))
    failure = run_glimview(glimview, ["--html", page, shot])
    if failure:
        return [failure], 0, 0.0
    with open(page, encoding="utf-8") as f:
        text = f.read()
    with open(measured, "w", encoding="utf-8") as f:
        f.write(text.replace("</body>", MEASURE + "</body>"))
    status, output = glimfile.dump_dom(chromium, measured)
    match = re.search(r'<pre id="measured">(.*?)</pre>', output, re.S)
    if status != 0 or match is None:
        return ["chromium could not measure the page (status %d):\n%s" % (status, output[-2000:])
                ], 0, 0.0
    rows = json.loads(html.unescape(match.group(1)))
    failures = []
    count = 0
    worst = 0.0
    for row, expected in enumerate(expected_rows):
        found = rows[row] if row < len(rows) else []
        if [c[2] for c in expected] != [f[0] for f in found]:
            failures.append("grid row %d shows %r, not %r" % (
                row, "".join(f[0] for f in found), "".join(c[2] for c in expected)))
            continue
        for (column, cells, ch), (_, left, clip_left, clip_right) in zip(expected, found):
            x = column * glimfile.CELL_WIDTH
            count += 1
            worst = max(worst, abs(left - x))
            if abs(left - x) > 0.5:
                failures.append("grid row %d: U+%04X stands at %.2fpx, not at column %d (%dpx)"
                                % (row, ord(ch), left, column, x))
            if clip_left > x + 0.5 or clip_right < x + cells * glimfile.CELL_WIDTH - 0.5:
                failures.append("grid row %d: U+%04X's cells %d to %d are not all inside its "
                                "span (%.2fpx to %.2fpx)" % (row, ord(ch), column,
                                                            column + cells - 1, clip_left,
                                                            clip_right))
    width, height = glimfile.page_size(GRID_COLUMNS, screen.rows)
    failures += check_picture(chromium, page, os.path.join(work, "grid-html.png"), width, height,
                              checks, glimfile.cell_pixel)
    return failures, count, worst


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
    grid_failures, measured, worst = measure_grid(chromium, glimview, work)
    failures += grid_failures
    failures += diff_picture(work, glimview, chromium, screen)
    if failures:
        print("\n".join(failures))
        print("%d checks failed; pages and pictures in %s" % (len(failures), work))
        return 1
    print("glimview_browser: %d colours checked on the page, %d in the image; the images are "
          "well-formed XML; %d characters of every kind at their columns (within %.3fpx); "
          "the --diff picture outlines its cells" % (len(checks), len(inside), measured, worst))
    if not keep:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
