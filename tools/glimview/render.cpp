// render.cpp: a screen's cells as glimview shows them: which rows, and how
// each becomes text with SGR colour sequences, plain text, a row of an HTML
// page or a row of an SVG image, both in the classic 16-colour console
// palette.
#include "glimview/glimview.h"

#include <stdio.h>
#include <string.h>

// ---- The page's texts.

static const char HTML_HEAD[] = "<!DOCTYPE html>\n"
                                "<html lang=\"en\">\n"
                                "<head>\n"
                                "<meta charset=\"utf-8\">\n"
                                "<title>";
// The page's layout, filled in from HTML_GRID_LEFT (the padding, and the
// gap below the caption), the caption's height (what remains of
// HTML_GRID_TOP), HTML_CELL_HEIGHT, HTML_CELL_WIDTH (the advance of each
// character of a run made exactly the cell's width), HTML_CELL_HEIGHT again
// for rows and cells, the widths of the boxes of one and two cells,
// HTML_CURSOR_HEIGHT, then the grid's width. Kerning and ligatures are off:
// a font that has them would move the characters of a run.
static const char HTML_STYLE[] =
    "</title>\n"
    "<style>\n"
    "html{background:#202020}\n"
    "body{margin:0;padding:%upx;color:#C0C0C0;font:13px/16px sans-serif}\n"
    "h1{margin:0 0 %upx;height:%upx;overflow:hidden;white-space:nowrap;"
    "font:bold 13px/16px sans-serif}\n"
    ".screen{font:15px/%upx \"DejaVu Sans Mono\",Consolas,\"Courier New\",monospace;"
    "letter-spacing:calc(%upx - 1ch);font-kerning:none;font-variant-ligatures:none}\n"
    ".screen div{display:flex;height:%upx}\n"
    ".screen span{flex:none;height:%upx;overflow:hidden;white-space:pre;"
    "direction:ltr;unicode-bidi:bidi-override}\n"
    ".screen i,.screen b{display:inline-block;vertical-align:top;width:%upx;"
    "font-style:normal;font-weight:normal;text-decoration:inherit}\n"
    ".screen b{width:%upx}\n"
    ".screen .c{box-shadow:inset 0 -%upx currentColor}\n"
    ".screen{width:%upx}\n";
static const char HTML_BODY[] = "</style>\n"
                                "</head>\n"
                                "<body>\n"
                                "<h1>";
static const char HTML_GRID[] = "</h1>\n"
                                "<div class=\"screen\">\n";
static const char HTML_TAIL[] = "</div>\n"
                                "</body>\n"
                                "</html>\n";
static const char TITLE_TAKEN[] = ", taken ";
static const char TITLE_ON[] = " on ";
static const char TITLE_TAKEN_ON[] = ", taken on ";

// The image's texts. The head takes the image's width and height twice
// (its size, and the view box that maps its units onto that size).
static const char SVG_DECLARATION[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
static const char SVG_HEAD[] =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%u\" height=\"%u\" viewBox=\"0 0 %u %u\" "
    "font-family=\"'DejaVu Sans Mono',Consolas,'Courier New',monospace\" font-size=\"15\" "
    "shape-rendering=\"crispEdges\">\n"
    "<title>";
static const char SVG_TITLE_END[] = "</title>\n";
static const char SVG_RECT[] = "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%u\" fill=\"%s\"/>\n";
static const char SVG_TEXT_X[] = "<text x=\"";
static const char SVG_TEXT_REST[] = "\" y=\"%u\" fill=\"%s\" xml:space=\"preserve\">";
static const char SVG_TEXT_END[] = "</text>\n";
static const char SVG_TAIL[] = "</svg>\n";

static const char TAKEN_FORMAT[] = "%04u-%02u-%02u %02u:%02u:%02u UTC%s%u:%02u";

// The classic console palette, by console colour index.
static const char *const PALETTE[16] = {
    "#000000", "#000080", "#008000", "#008080", "#800000", "#800080", "#808000", "#C0C0C0",
    "#808080", "#0000FF", "#00FF00", "#00FFFF", "#FF0000", "#FF00FF", "#FFFF00", "#FFFFFF",
};

static const WORD SPACE = 0x0020;
static const WORD LEADING_BYTE = 0x0100;  // first cell of a double-width character
static const WORD TRAILING_BYTE = 0x0200; // its second cell
static const WORD REVERSE_VIDEO = 0x4000;
static const WORD UNDERSCORE = 0x8000;

// The part of an attribute that the views show: both colours, reverse
// video and underscore.
static WORD Shown(WORD attribute) {
    return ShownAttribute(attribute);
}

static BOOL IsHigh(WORD unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

static BOOL IsLow(WORD unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

BOOL CellCodePoint(const ViewScreen *screen, DWORD row, DWORD column, DWORD *codePoint) {
    DWORD columns = screen->saved.columns;
    DWORD i = row * columns + column;
    WORD ch = screen->characters[i];
    WORD at = Shown(screen->attributes[i]);
    if (IsHigh(ch) && column + 1 < columns && IsLow(screen->characters[i + 1]) &&
        Shown(screen->attributes[i + 1]) == at) {
        *codePoint = 0x10000 + (((DWORD)ch - 0xD800) << 10) + (screen->characters[i + 1] - 0xDC00);
        return TRUE;
    }
    if (column > 0) {
        WORD before = screen->characters[i - 1];
        if (IsLow(ch) && IsHigh(before) && Shown(screen->attributes[i - 1]) == at) {
            return FALSE;
        }
        if ((screen->attributes[i] & TRAILING_BYTE) != 0 &&
            (screen->attributes[i - 1] & LEADING_BYTE) != 0 && before == ch) {
            return FALSE;
        }
    }
    *codePoint = VisibleCharacter(ch);
    return TRUE;
}

// Appends what a cell shows as markup text (SinkMarkupCodePoint).
static void SinkMarkupCell(ViewSink *out, const ViewScreen *screen, DWORD row, DWORD column) {
    DWORD codePoint = 0;
    if (CellCodePoint(screen, row, column, &codePoint)) {
        SinkMarkupCodePoint(out, codePoint);
    }
}

// ---- Rows.

static BOOL IsBlankRow(const ViewScreen *screen, DWORD row, BOOL coloured) {
    DWORD columns = screen->saved.columns;
    const WORD *characters = screen->characters + row * columns;
    const WORD *attributes = screen->attributes + row * columns;
    WORD tail = Shown(screen->attributes[screen->count - 1]);
    for (DWORD column = 0; column < columns; column++) {
        if (characters[column] != SPACE || (coloured && Shown(attributes[column]) != tail)) {
            return FALSE;
        }
    }
    return TRUE;
}

void SelectRows(const ViewScreen *screen, ViewMode mode, BOOL window, DWORD *first, DWORD *end) {
    DWORD rows = screen->saved.rows;
    DWORD cursorRow = screen->saved.cursorRow;
    BOOL coloured = mode != VIEW_TEXT;
    if (window) {
        DWORD height = screen->saved.windowHeight;
        if (height == 0 || height > rows) {
            height = rows;
        }
        // As a restore places the window: the cursor's row last, or the top
        // of the buffer when the cursor lies within the first window.
        if (cursorRow + 1 >= height) {
            *first = cursorRow + 1 - height;
            *end = cursorRow + 1;
        } else {
            *first = 0;
            *end = height;
        }
        if (!coloured) {
            while (*end > *first && IsBlankRow(screen, *end - 1, FALSE)) {
                (*end)--;
            }
        }
        return;
    }
    *first = 0;
    *end = rows;
    while (*end > 0 && IsBlankRow(screen, *end - 1, coloured)) {
        (*end)--;
    }
    if ((mode == VIEW_HTML || mode == VIEW_SVG) && *end < cursorRow + 1) {
        *end = cursorRow + 1;
    }
}

// ---- Text with SGR sequences.

// Console colour order (blue 1, green 2, red 4) in ANSI order (red 1,
// green 2, blue 4).
static DWORD AnsiColour(DWORD console) {
    return ((console & 1) << 2) | (console & 2) | ((console & 4) >> 2);
}

static void SinkSgr(ViewSink *out, WORD attribute) {
    char text[32];
    DWORD foreground = attribute & 0x0F;
    DWORD background = (attribute >> 4) & 0x0F;
    snprintf(text, sizeof text, "\x1b[0;%u;%u%s%sm",
             (unsigned)((foreground & 8 ? 90 : 30) + AnsiColour(foreground & 7)),
             (unsigned)((background & 8 ? 100 : 40) + AnsiColour(background & 7)),
             (attribute & UNDERSCORE) != 0 ? ";4" : "",
             (attribute & REVERSE_VIDEO) != 0 ? ";7" : "");
    SinkText(out, text);
}

void RenderSgr(const ViewScreen *screen, DWORD first, DWORD end, ViewSink *out) {
    DWORD columns = screen->saved.columns;
    for (DWORD row = first; row < end; row++) {
        const WORD *attributes = screen->attributes + row * columns;
        BOOL started = FALSE;
        WORD current = 0;
        for (DWORD column = 0; column < columns; column++) {
            WORD at = Shown(attributes[column]);
            DWORD codePoint = 0;
            if (!CellCodePoint(screen, row, column, &codePoint)) {
                continue;
            }
            if (!started || at != current) {
                SinkSgr(out, at);
                started = TRUE;
                current = at;
            }
            SinkCodePoint(out, codePoint);
        }
        SinkText(out, "\x1b[0m\n");
    }
}

// ---- Plain text.

DWORD RowText(const ViewScreen *screen, DWORD row, DWORD *points) {
    DWORD columns = screen->saved.columns;
    const WORD *characters = screen->characters + row * columns;
    DWORD width = columns;
    DWORD count = 0;
    while (width > 0 && characters[width - 1] == SPACE) {
        width--;
    }
    for (DWORD column = 0; column < width; column++) {
        if (CellCodePoint(screen, row, column, &points[count])) {
            count++;
        }
    }
    return count;
}

void RenderText(const ViewScreen *screen, DWORD first, DWORD end, ViewSink *out) {
    DWORD points[MAX_COLUMNS];
    while (end > first && IsBlankRow(screen, end - 1, FALSE)) {
        end--;
    }
    for (DWORD row = first; row < end; row++) {
        DWORD count = RowText(screen, row, points);
        for (DWORD i = 0; i < count; i++) {
            SinkCodePoint(out, points[i]);
        }
        SinkText(out, "\n");
    }
}

// ---- The page.

void FormatTakenTime(const ViewScreen *screen, char *text, DWORD capacity) {
    const GlimpsetHeader *header = &screen->header;
    text[0] = 0;
    if (screen->saved.kind != HEADER_GLIMPSET || header->year == 0) {
        return;
    }
    // The offset shown is the bias negated: minutes east of UTC.
    long long east = -(long long)header->utcBias;
    unsigned long long magnitude = east < 0 ? (unsigned long long)-east : (unsigned long long)east;
    snprintf(text, capacity, TAKEN_FORMAT, (unsigned)header->year, (unsigned)header->month,
             (unsigned)header->day, (unsigned)header->hour, (unsigned)header->minute,
             (unsigned)header->second, east < 0 ? "-" : "+", (unsigned)(magnitude / 60),
             (unsigned)(magnitude % 60));
}

void FormatComputerName(const ViewScreen *screen, char *text, DWORD capacity) {
    const WCHAR *name = screen->header.computerName;
    DWORD at = 0;
    text[0] = 0;
    if (screen->saved.kind != HEADER_GLIMPSET) {
        return;
    }
    for (DWORD i = 0; i < 16 && name[i] != 0; i++) {
        DWORD codePoint = (WORD)name[i];
        if (IsHigh((WORD)name[i]) && i + 1 < 16 && IsLow((WORD)name[i + 1])) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + ((WORD)name[i + 1] - 0xDC00);
            i++;
        } else {
            codePoint = VisibleCharacter((WORD)codePoint);
        }
        // At most 4 bytes a character and a terminator.
        if (at + 5 > capacity) {
            break;
        }
        if (codePoint < 0x80) {
            text[at++] = (char)codePoint;
        } else if (codePoint < 0x800) {
            text[at++] = (char)(0xC0 | (codePoint >> 6));
            text[at++] = (char)(0x80 | (codePoint & 0x3F));
        } else if (codePoint < 0x10000) {
            text[at++] = (char)(0xE0 | (codePoint >> 12));
            text[at++] = (char)(0x80 | ((codePoint >> 6) & 0x3F));
            text[at++] = (char)(0x80 | (codePoint & 0x3F));
        } else {
            text[at++] = (char)(0xF0 | (codePoint >> 18));
            text[at++] = (char)(0x80 | ((codePoint >> 12) & 0x3F));
            text[at++] = (char)(0x80 | ((codePoint >> 6) & 0x3F));
            text[at++] = (char)(0x80 | (codePoint & 0x3F));
        }
        text[at] = 0;
    }
}

void SinkTitle(ViewSink *out, const ViewScreen *screen, const char *name) {
    char taken[64];
    char computer[96];
    FormatTakenTime(screen, taken, sizeof taken);
    FormatComputerName(screen, computer, sizeof computer);
    SinkSafeText(out, name, TRUE);
    if (taken[0] != 0) {
        SinkText(out, TITLE_TAKEN);
        SinkText(out, taken);
        if (computer[0] != 0) {
            SinkText(out, TITLE_ON);
        }
    } else if (computer[0] != 0) {
        SinkText(out, TITLE_TAKEN_ON);
    }
    SinkSafeText(out, computer, TRUE);
}

static void SinkClassName(ViewSink *out, WORD attribute) {
    char text[8];
    snprintf(text, sizeof text, "a%04x", (unsigned)attribute);
    SinkText(out, text);
}

// The palette indexes an attribute shows its text and its background in:
// reverse video swaps them. Both read only what Shown keeps.
static DWORD ForegroundOf(WORD attribute) {
    return (attribute & REVERSE_VIDEO) != 0 ? (attribute >> 4) & 0x0F : attribute & 0x0F;
}

static DWORD BackgroundOf(WORD attribute) {
    return (attribute & REVERSE_VIDEO) != 0 ? attribute & 0x0F : (attribute >> 4) & 0x0F;
}

static void SinkClassRule(ViewSink *out, WORD attribute) {
    DWORD foreground = ForegroundOf(attribute);
    DWORD background = BackgroundOf(attribute);
    SinkText(out, ".");
    SinkClassName(out, attribute);
    SinkText(out, "{color:");
    SinkText(out, PALETTE[foreground]);
    SinkText(out, ";background:");
    SinkText(out, PALETTE[background]);
    if ((attribute & UNDERSCORE) != 0) {
        SinkText(out, ";text-decoration:underline");
    }
    SinkText(out, "}\n");
}

// How many cells the character that starts at `column` of `row` fills: its
// own and each after it that only finishes it (two for a double-width
// character or a pair).
static DWORD CharacterCells(const ViewScreen *screen, DWORD row, DWORD column) {
    DWORD codePoint = 0;
    DWORD cells = 1;
    while (column + cells < screen->saved.columns &&
           !CellCodePoint(screen, row, column + cells, &codePoint)) {
        cells++;
    }
    return cells;
}

// One span of `cells` cells from `column` of `row`, all in one attribute
// (that of its first cell), which should start and end on whole characters
// as RenderHtml's do. Printable ASCII is text, which every monospace font
// advances by one `ch` (the letter spacing makes that a cell). Every other
// character stands in a box of its own as wide as its cells, `i` for one
// and `b` for two, so that a glyph of another width or from another font, a
// combining mark, a character of no width or a right-to-left letter moves
// nothing after it.
static void SinkSpan(ViewSink *out, const ViewScreen *screen, DWORD row, DWORD column, DWORD cells,
                     BOOL cursor) {
    char width[48];
    snprintf(width, sizeof width, "\" style=\"width:%upx\">", (unsigned)(cells * HTML_CELL_WIDTH));
    SinkText(out, "<span class=\"");
    SinkClassName(out, Shown(screen->attributes[row * screen->saved.columns + column]));
    if (cursor) {
        SinkText(out, " c");
    }
    SinkText(out, width);
    for (DWORD i = column, size = 0; i < column + cells; i += size) {
        DWORD codePoint = 0;
        size = CharacterCells(screen, row, i);
        if (!CellCodePoint(screen, row, i, &codePoint) || i + size > column + cells) {
            // A span that cuts a character shows its part blank: the cells
            // keep their width.
            size = 1;
            SinkText(out, " ");
            continue;
        }
        if (size == 1 && codePoint >= 0x20 && codePoint < 0x7F) {
            SinkMarkupCodePoint(out, codePoint);
            continue;
        }
        SinkText(out, size == 1 ? "<i>" : "<b>");
        SinkMarkupCodePoint(out, codePoint);
        SinkText(out, size == 1 ? "</i>" : "</b>");
        // Cells beyond two (lead and trail flags on more cells of one
        // character) stay blank.
        for (DWORD extra = 2; extra < size; extra++) {
            SinkText(out, " ");
        }
    }
    SinkText(out, "</span>");
}

void RenderHtml(const ViewScreen *screen, DWORD first, DWORD end, const char *name, ViewSink *out) {
    static const DWORD NO_CURSOR = 0xFFFFFFFF;
    DWORD columns = screen->saved.columns;
    BYTE used[65536 / 8];
    char style[sizeof HTML_STYLE + 80];

    // A class for each attribute that the rows show, in the order of their
    // values, so that the page does not depend on the order of the cells.
    memset(used, 0, sizeof used);
    for (DWORD i = first * columns; i < end * columns; i++) {
        WORD at = Shown(screen->attributes[i]);
        used[at >> 3] = (BYTE)(used[at >> 3] | (1 << (at & 7)));
    }
    SinkText(out, HTML_HEAD);
    SinkTitle(out, screen, name);
    snprintf(style, sizeof style, HTML_STYLE, (unsigned)HTML_GRID_LEFT, (unsigned)HTML_GRID_LEFT,
             (unsigned)(HTML_GRID_TOP - 2 * HTML_GRID_LEFT), (unsigned)HTML_CELL_HEIGHT,
             (unsigned)HTML_CELL_WIDTH, (unsigned)HTML_CELL_HEIGHT, (unsigned)HTML_CELL_HEIGHT,
             (unsigned)HTML_CELL_WIDTH, (unsigned)(2 * HTML_CELL_WIDTH),
             (unsigned)HTML_CURSOR_HEIGHT, (unsigned)(columns * HTML_CELL_WIDTH));
    SinkText(out, style);
    for (DWORD at = 0; at < 65536; at++) {
        if ((used[at >> 3] & (1 << (at & 7))) != 0) {
            SinkClassRule(out, (WORD)at);
        }
    }
    SinkText(out, HTML_BODY);
    SinkTitle(out, screen, name);
    SinkText(out, HTML_GRID);

    for (DWORD row = first; row < end; row++) {
        const WORD *attributes = screen->attributes + row * columns;
        DWORD cursor = row == screen->saved.cursorRow ? screen->saved.cursorColumn : NO_CURSOR;
        DWORD codePoint = 0;
        DWORD start = 0;
        // The cursor marks the whole character it stands on: on the second
        // half of one, its span begins with the first.
        while (cursor != NO_CURSOR && cursor > 0 && cursor < columns &&
               !CellCodePoint(screen, row, cursor, &codePoint)) {
            cursor--;
        }
        SinkText(out, "<div>");
        while (start < columns) {
            DWORD stop = start + CharacterCells(screen, row, start);
            if (start != cursor) {
                while (stop < columns && stop != cursor &&
                       Shown(attributes[stop]) == Shown(attributes[start])) {
                    stop += CharacterCells(screen, row, stop);
                }
            }
            SinkSpan(out, screen, row, start, stop - start, start == cursor);
            start = stop;
        }
        SinkText(out, "</div>\n");
    }
    SinkText(out, HTML_TAIL);
}

// ---- The image.

static void SinkSvgRect(ViewSink *out, DWORD x, DWORD y, DWORD width, DWORD height, DWORD colour) {
    char text[sizeof SVG_RECT + 64];
    snprintf(text, sizeof text, SVG_RECT, (unsigned)x, (unsigned)y, (unsigned)width,
             (unsigned)height, PALETTE[colour]);
    SinkText(out, text);
}

// One text element for the cells [from, to) of `row`: every character it
// holds placed by an x position of its own, at its cell's column, so that a
// glyph wider or narrower than a cell (or one the font lacks) moves nothing
// else. A character beyond the Basic Multilingual Plane must come alone:
// renderers count the positions by UTF-16 units or by characters.
static void SinkSvgText(ViewSink *out, const ViewScreen *screen, DWORD row, DWORD from, DWORD to,
                        DWORD y, DWORD colour) {
    char text[sizeof SVG_TEXT_REST + 32];
    BOOL started = FALSE;
    DWORD codePoint = 0;
    for (DWORD column = from; column < to; column++) {
        if (CellCodePoint(screen, row, column, &codePoint)) {
            SinkText(out, started ? " " : SVG_TEXT_X);
            snprintf(text, sizeof text, "%u", (unsigned)(column * SVG_CELL_WIDTH));
            SinkText(out, text);
            started = TRUE;
        }
    }
    // Cells that only finish the character before them (the second half of
    // a pair or of a double-width character) make no element of their own.
    if (!started) {
        return;
    }
    snprintf(text, sizeof text, SVG_TEXT_REST, (unsigned)y, PALETTE[colour]);
    SinkText(out, text);
    for (DWORD column = from; column < to; column++) {
        SinkMarkupCell(out, screen, row, column);
    }
    SinkText(out, SVG_TEXT_END);
}

// The text of the cells [from, to) of `row`, all of one colour, without the
// blanks at either end (the backgrounds are drawn apart).
static void SinkSvgRun(ViewSink *out, const ViewScreen *screen, DWORD row, DWORD from, DWORD to,
                       DWORD y, DWORD colour) {
    DWORD codePoint = 0;
    while (from < to && (!CellCodePoint(screen, row, from, &codePoint) || codePoint == SPACE)) {
        from++;
    }
    while (to > from && (!CellCodePoint(screen, row, to - 1, &codePoint) || codePoint == SPACE)) {
        to--;
    }
    DWORD start = from;
    for (DWORD column = from; column < to; column++) {
        if (CellCodePoint(screen, row, column, &codePoint) && codePoint >= 0x10000) {
            if (start < column) {
                SinkSvgText(out, screen, row, start, column, y, colour);
            }
            SinkSvgText(out, screen, row, column, column + 1, y, colour);
            start = column + 1;
        }
    }
    if (start < to) {
        SinkSvgText(out, screen, row, start, to, y, colour);
    }
}

// The end of the run of cells from `start` (before `columns`) whose
// attributes give one value of `key`.
static DWORD RunEnd(const WORD *attributes, DWORD start, DWORD columns, DWORD (*key)(WORD)) {
    DWORD stop = start + 1;
    while (stop < columns && key(attributes[stop]) == key(attributes[start])) {
        stop++;
    }
    return stop;
}

// The key of the runs of underscores: everything the views show.
static DWORD ShownKey(WORD attribute) {
    return Shown(attribute);
}

void SinkSvgHead(ViewSink *out, DWORD width, DWORD height, BOOL declaration) {
    char head[sizeof SVG_HEAD + 64];
    snprintf(head, sizeof head, SVG_HEAD, (unsigned)width, (unsigned)height, (unsigned)width,
             (unsigned)height);
    if (declaration) {
        SinkText(out, SVG_DECLARATION);
    }
    SinkText(out, head);
}

void SinkSvgScreen(const ViewScreen *screen, DWORD first, DWORD end, ViewSink *out) {
    DWORD columns = screen->saved.columns;
    DWORD width = columns * SVG_CELL_WIDTH;
    DWORD height = (end - first) * SVG_CELL_HEIGHT;
    DWORD uses[16];
    DWORD base = 0;

    // The background most cells show is one rectangle under everything, so
    // that a plain screen needs no other.
    memset(uses, 0, sizeof uses);
    for (DWORD i = first * columns; i < end * columns; i++) {
        uses[BackgroundOf(screen->attributes[i])]++;
    }
    for (DWORD colour = 1; colour < 16; colour++) {
        if (uses[colour] > uses[base]) {
            base = colour;
        }
    }
    SinkSvgRect(out, 0, 0, width, height, base);

    // Backgrounds, then underscores, then text, then the cursor: each drawn
    // over what comes before it, never under a later row's background.
    for (DWORD row = first; row < end; row++) {
        const WORD *attributes = screen->attributes + row * columns;
        DWORD y = (row - first) * SVG_CELL_HEIGHT;
        for (DWORD start = 0, stop = 0; start < columns; start = stop) {
            DWORD colour = BackgroundOf(attributes[start]);
            stop = RunEnd(attributes, start, columns, BackgroundOf);
            if (colour != base) {
                SinkSvgRect(out, start * SVG_CELL_WIDTH, y, (stop - start) * SVG_CELL_WIDTH,
                            SVG_CELL_HEIGHT, colour);
            }
        }
    }
    for (DWORD row = first; row < end; row++) {
        const WORD *attributes = screen->attributes + row * columns;
        DWORD y = (row - first) * SVG_CELL_HEIGHT + SVG_UNDERLINE;
        for (DWORD start = 0, stop = 0; start < columns; start = stop) {
            WORD at = attributes[start];
            stop = RunEnd(attributes, start, columns, ShownKey);
            if ((at & UNDERSCORE) != 0) {
                SinkSvgRect(out, start * SVG_CELL_WIDTH, y, (stop - start) * SVG_CELL_WIDTH, 1,
                            ForegroundOf(at));
            }
        }
    }
    for (DWORD row = first; row < end; row++) {
        const WORD *attributes = screen->attributes + row * columns;
        DWORD y = (row - first) * SVG_CELL_HEIGHT + SVG_BASELINE;
        for (DWORD start = 0, stop = 0; start < columns; start = stop) {
            stop = RunEnd(attributes, start, columns, ForegroundOf);
            SinkSvgRun(out, screen, row, start, stop, y, ForegroundOf(attributes[start]));
        }
    }
    if (screen->saved.cursorRow >= first && screen->saved.cursorRow < end &&
        screen->saved.cursorColumn < columns) {
        DWORD row = screen->saved.cursorRow;
        DWORD column = screen->saved.cursorColumn;
        SinkSvgRect(out, column * SVG_CELL_WIDTH,
                    (row - first + 1) * SVG_CELL_HEIGHT - SVG_CURSOR_HEIGHT, SVG_CELL_WIDTH,
                    SVG_CURSOR_HEIGHT, ForegroundOf(screen->attributes[row * columns + column]));
    }
}

void RenderSvg(const ViewScreen *screen, DWORD first, DWORD end, const char *name, ViewSink *out) {
    DWORD width = screen->saved.columns * SVG_CELL_WIDTH;
    DWORD height = (end - first) * SVG_CELL_HEIGHT;
    SinkSvgHead(out, width, height, TRUE);
    SinkTitle(out, screen, name);
    SinkText(out, SVG_TITLE_END);
    SinkSvgScreen(screen, first, end, out);
    SinkText(out, SVG_TAIL);
}
