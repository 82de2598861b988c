"""Helpers of the glimview browser checks, on the Python standard library
alone: a writer of Glimpset files from cells, a headless Chromium that takes
a screenshot of a page, and a reader of the PNG it writes.
"""

import os
import shutil
import struct
import subprocess
import tempfile
import zlib

TOKEN_LITERAL = 0xFFFB
TOKEN_ATTRIBUTE = 0xFFFC

# The page's layout in CSS pixels, as glimview lays it out.
GRID_LEFT = 8
GRID_TOP = 32
CELL_WIDTH = 9
CELL_HEIGHT = 18
CURSOR_HEIGHT = 3
# The SVG image's layout: the grid from its top-left corner.
SVG_CELL_WIDTH = 9
SVG_CELL_HEIGHT = 18
SVG_UNDERLINE = 16

PALETTE = [
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
    0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
]


class Screen:
    """A screen buffer: rows x columns cells of a UTF-16 unit and an attribute."""

    def __init__(self, columns, rows, attribute=0x07):
        self.columns = columns
        self.rows = rows
        self.attribute = attribute
        self.cursor = (0, 0)  # column, row
        self.window_height = rows
        self.characters = [0x20] * (columns * rows)
        self.attributes = [attribute] * (columns * rows)

    def put(self, row, column, text, attribute):
        """Writes text (BMP characters, one cell each) from (row, column) on."""
        for i, ch in enumerate(text):
            at = row * self.columns + column + i
            self.characters[at] = ord(ch)
            self.attributes[at] = attribute

    def fill(self, row, column, count, attribute, ch=" "):
        self.put(row, column, ch * count, attribute)


def glimpset_bytes(screen, taken=(2024, 3, 5, 9, 7, 2), bias=-60, computer="SIMHOST"):
    """The Glimpset file of a screen: header, CRC-32 and a token stream in
    which every cell is a word of its own, with an attribute token before
    each change."""
    cells = b"".join(
        struct.pack("<HH", ch, at) for ch, at in zip(screen.characters, screen.attributes))
    crc = zlib.crc32(cells) & 0xFFFFFFFF
    year, month, day, hour, minute, second = taken
    name = computer.encode("utf-16-le")[:30].ljust(32, b"\0")
    header = struct.pack(
        "<8sHHBBBBBBiHHHHHIIHHI32s", b"Glimpset", 1, year, day, month, minute, hour, second,
        2, bias, screen.columns, screen.rows, screen.cursor[0], screen.cursor[1],
        screen.attribute & 0xFF, 437, 437, screen.window_height, 0, crc, name)
    assert len(header) == 80
    words = []
    current = screen.attribute & 0xFF
    for ch, at in zip(screen.characters, screen.attributes):
        if at != current:
            words += [TOKEN_ATTRIBUTE, at]
            current = at
        if ch >= 0xFFF0:
            words += [TOKEN_LITERAL, ch]
        else:
            words.append(ch)
    return header + struct.pack("<%dH" % len(words), *words)


def page_size(columns, rows):
    """A browser window that shows the whole grid with a margin."""
    return GRID_LEFT + columns * CELL_WIDTH + 16, GRID_TOP + rows * CELL_HEIGHT + 16


def find_chromium():
    for name in (os.environ.get("GLIM_CHROMIUM", ""), "chromium", "chromium-browser",
                 "google-chrome"):
        if name and shutil.which(name):
            return shutil.which(name)
    return None


def screenshot(chromium, page, png, width, height):
    """Opens the page in a headless Chromium and saves a width x height
    screenshot; returns (status, output)."""
    profile = tempfile.mkdtemp(prefix="glimview-chromium-")
    try:
        command = [
            chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
            "--no-first-run", "--disable-background-networking", "--disable-component-update",
            "--disable-sync", "--hide-scrollbars", "--force-device-scale-factor=1",
            "--user-data-dir=" + profile, "--screenshot=" + png,
            "--window-size=%d,%d" % (width, height), "file://" + os.path.abspath(page),
        ]
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=180, check=False)
        return done.returncode, done.stdout.decode("utf-8", "replace")
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def dump_dom(chromium, page):
    """Opens the page in a headless Chromium, runs its scripts and returns
    (status, the document as it then stands)."""
    profile = tempfile.mkdtemp(prefix="glimview-chromium-")
    try:
        command = [
            chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
            "--no-first-run", "--disable-background-networking", "--disable-component-update",
            "--disable-sync", "--force-device-scale-factor=1", "--user-data-dir=" + profile,
            "--virtual-time-budget=5000", "--dump-dom", "file://" + os.path.abspath(page),
        ]
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=180, check=False)
        return done.returncode, done.stdout.decode("utf-8", "replace")
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def read_png(path):
    """Decodes an 8-bit, non-interlaced RGB or RGBA PNG into
    (width, height, rows), each row a list of 0xRRGGBB values."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    at = 8
    idat = b""
    width = height = depth = colour = interlace = None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise ValueError("unsupported PNG: depth %s, colour type %s, interlace %s"
                         % (depth, colour, interlace))
    channels = 3 if colour == 2 else 4
    stride = width * channels
    raw = zlib.decompress(idat)
    rows = []
    previous = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up = previous[x]
            upper_left = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + ((left + up) >> 1)) & 0xFF
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                if pa <= pb and pa <= pc:
                    predictor = left
                elif pb <= pc:
                    predictor = up
                else:
                    predictor = upper_left
                line[x] = (line[x] + predictor) & 0xFF
            elif kind != 0:
                raise ValueError("bad PNG filter %d" % kind)
        rows.append([(line[i] << 16) | (line[i + 1] << 8) | line[i + 2]
                     for i in range(0, stride, channels)])
        previous = line
    return width, height, rows


def cell_pixel(column, row, dx=CELL_WIDTH // 2, dy=CELL_HEIGHT // 2):
    """The page position of a point inside a cell (its centre by default)."""
    return GRID_LEFT + column * CELL_WIDTH + dx, GRID_TOP + row * CELL_HEIGHT + dy


def svg_cell_pixel(column, row, dx=SVG_CELL_WIDTH // 2, dy=SVG_CELL_HEIGHT // 2):
    """The image position of a point inside a cell (its centre by default)."""
    return column * SVG_CELL_WIDTH + dx, row * SVG_CELL_HEIGHT + dy
