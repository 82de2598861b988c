// diff.cpp: two saved screens compared cell by cell, by what each cell
// shows: the listing in the form of diff -u, and the picture of both
// screens side by side (made of the image's own pieces).
#include "glimview/glimview.h"

#include <stdio.h>
#include <string.h>

// ---- The listing's texts.

static const char OLDER_HEAD[] = "--- ";
static const char NEWER_HEAD[] = "+++ ";
static const char SIZE_LINE[] = "size: %u x %u -> %u x %u\n";
static const char CURSOR_LINE[] = "cursor: row %u, column %u -> row %u, column %u\n";
static const char HUNK_LINE[] = "@@ -%u,%u +%u,%u @@\n";
static const char ROW_PREFIX[] = "%c%*u: ";
static const char MARKS[] = " ~^"; // by DiffMark
static const char COLUMN_ONE[] = "  column ";
static const char COLUMN_MANY[] = "  columns ";

// The listing's colours: the header bold, the "@@" lines cyan, older rows
// red, newer rows green, differing cells in reverse video.
static const char SGR_HEAD[] = "\x1b[1m";
static const char SGR_HUNK[] = "\x1b[36m";
static const char SGR_OLDER[] = "\x1b[31m";
static const char SGR_NEWER[] = "\x1b[32m";
static const char SGR_CELL[] = "\x1b[7m";
static const char SGR_CELL_END[] = "\x1b[27m";
static const char SGR_RESET[] = "\x1b[0m";

// ---- The picture's texts.

static const char PAGE_HEAD[] = "<!DOCTYPE html>\n"
                                "<html lang=\"en\">\n"
                                "<head>\n"
                                "<meta charset=\"utf-8\"/>\n"
                                "<title>";
static const char PAGE_BODY[] = "</title>\n"
                                "<style>\n"
                                "html{background:#202020}\n"
                                "body{margin:0;padding:8px}\n"
                                "svg{display:block}\n"
                                "</style>\n"
                                "</head>\n"
                                "<body>\n";
static const char PAGE_TAIL[] = "</body>\n"
                                "</html>\n";
static const char TITLE_BETWEEN[] = " compared with ";
static const char PICTURE_BACKGROUND[] =
    "<rect x=\"0\" y=\"0\" width=\"%u\" height=\"%u\" fill=\"#202020\"/>\n";
static const char PICTURE_CAPTION[] = "<text x=\"%u\" y=\"%u\" fill=\"#C0C0C0\" "
                                      "font-family=\"sans-serif\" font-size=\"13\" "
                                      "xml:space=\"preserve\">";
static const char PICTURE_CAPTION_END[] = "</text>\n";
static const char PICTURE_SCREEN[] = "<g transform=\"translate(%u,%u)\">\n";
static const char PICTURE_SCREEN_END[] = "</g>\n";
static const char PICTURE_MARK[] = "<rect class=\"%s\" x=\"%u\" y=\"%u\" width=\"%u\" "
                                   "height=\"%u\" fill=\"none\" stroke=\"%s\" "
                                   "stroke-width=\"2\"/>\n";
static const char SVG_END[] = "</svg>\n";

enum {
    PICTURE_CAPTION_HEIGHT = 20, // the file's name above each screen
    PICTURE_CAPTION_BASELINE = 14,
    PICTURE_GAP = 2 * SVG_CELL_WIDTH, // between the two screens
};

static const WORD SPACE = 0x0020;
static const DWORD MARKED_RANGES = 8;

// ---- Comparing.

void PrepareDiff(const ViewScreen *older, const ViewScreen *newer, const DiffOptions *options,
                 ViewDiff *diff) {
    memset(diff, 0, sizeof *diff);
    diff->older = older;
    diff->newer = newer;
    diff->options = *options;
    if (options->window) {
        // The rows of the coloured views: the window whole, blank rows too.
        SelectRows(older, VIEW_SGR, TRUE, &diff->olderFirst, &diff->olderEnd);
        SelectRows(newer, VIEW_SGR, TRUE, &diff->newerFirst, &diff->newerEnd);
    } else {
        diff->olderEnd = older->saved.rows;
        diff->newerEnd = newer->saved.rows;
    }
    DWORD olderRows = diff->olderEnd - diff->olderFirst;
    DWORD newerRows = diff->newerEnd - diff->newerFirst;
    diff->rows = olderRows > newerRows ? olderRows : newerRows;
    diff->columns =
        older->saved.columns > newer->saved.columns ? older->saved.columns : newer->saved.columns;
    diff->sizeDiffers = older->saved.columns != newer->saved.columns || olderRows != newerRows;
    if (!options->ignoreCursor) {
        // The cursor lies in the window (SelectRows places the window so).
        diff->cursorDiffers =
            older->saved.cursorColumn != newer->saved.cursorColumn ||
            older->saved.cursorRow - diff->olderFirst != newer->saved.cursorRow - diff->newerFirst;
    }
}

// The character cell `column` of `row` shows: its own, or for the second
// cell of a double-width character or of a pair, the whole character that
// the cell before it starts.
static DWORD ShownCharacter(const ViewScreen *screen, DWORD row, DWORD column) {
    DWORD codePoint = 0;
    if (!CellCodePoint(screen, row, column, &codePoint) && column > 0) {
        CellCodePoint(screen, row, column - 1, &codePoint);
    }
    return codePoint;
}

// Whether the rows at position `at` are left out: either holds a text of
// options.ignored.
static BOOL LeftOut(const ViewDiff *diff, DWORD at) {
    BOOL inOlder = at < diff->olderEnd - diff->olderFirst;
    BOOL inNewer = at < diff->newerEnd - diff->newerFirst;
    for (DWORD i = 0; i < diff->options.ignoredCount; i++) {
        const ViewPattern *pattern = &diff->options.ignored[i];
        if ((inOlder && RowHoldsPattern(diff->older, diff->olderFirst + at, pattern)) ||
            (inNewer && RowHoldsPattern(diff->newer, diff->newerFirst + at, pattern))) {
            return TRUE;
        }
    }
    return FALSE;
}

DWORD DiffRow(const ViewDiff *diff, DWORD at, BYTE *marks) {
    const ViewScreen *older = diff->older;
    const ViewScreen *newer = diff->newer;
    DWORD olderColumns = older->saved.columns;
    DWORD newerColumns = newer->saved.columns;
    DWORD olderRow = diff->olderFirst + at;
    DWORD newerRow = diff->newerFirst + at;
    DWORD count = 0;
    memset(marks, DIFF_SAME, diff->columns);
    if (at >= diff->olderEnd - diff->olderFirst || at >= diff->newerEnd - diff->newerFirst) {
        memset(marks, DIFF_CHARACTER, diff->columns);
        count = diff->columns;
    } else if (olderColumns == newerColumns &&
               memcmp(older->characters + olderRow * olderColumns,
                      newer->characters + newerRow * newerColumns,
                      olderColumns * sizeof(WORD)) == 0 &&
               memcmp(older->attributes + olderRow * olderColumns,
                      newer->attributes + newerRow * newerColumns,
                      olderColumns * sizeof(WORD)) == 0) {
        // The same cells show the same: most rows of two runs of a program.
        return 0;
    } else {
        const WORD *olderCharacters = older->characters + olderRow * olderColumns;
        const WORD *newerCharacters = newer->characters + newerRow * newerColumns;
        const WORD *olderAttributes = older->attributes + olderRow * olderColumns;
        const WORD *newerAttributes = newer->attributes + newerRow * newerColumns;
        DWORD common = olderColumns < newerColumns ? olderColumns : newerColumns;
        DWORD sameRun = 0; // how many cells up to this one hold the same units in both
        for (DWORD column = 0; column < diff->columns; column++) {
            // What a cell shows depends on its units and on those of the
            // cells beside it (a pair, a double-width character), two back
            // at most: where all of those are the same, so is what it shows.
            if (column < common && olderCharacters[column] == newerCharacters[column] &&
                olderAttributes[column] == newerAttributes[column]) {
                sameRun++;
                BOOL nextSame = column + 1 < common
                                    ? olderCharacters[column + 1] == newerCharacters[column + 1] &&
                                          olderAttributes[column + 1] == newerAttributes[column + 1]
                                    : olderColumns == newerColumns;
                if (nextSame && sameRun >= (column < 2 ? column + 1 : 3)) {
                    continue;
                }
            } else {
                sameRun = 0;
            }
            // A cell beyond the narrower screen differs when it shows more
            // than a blank: the size line says the rest, and a wider
            // buffer's empty columns do not make every row a difference.
            if (column >= olderColumns || column >= newerColumns) {
                const ViewScreen *wider = column >= olderColumns ? newer : older;
                DWORD row = column >= olderColumns ? newerRow : olderRow;
                if (wider->characters[row * wider->saved.columns + column] == SPACE) {
                    continue;
                }
                marks[column] = DIFF_CHARACTER;
            } else if (ShownCharacter(older, olderRow, column) !=
                       ShownCharacter(newer, newerRow, column)) {
                marks[column] = DIFF_CHARACTER;
            } else if (!diff->options.ignoreColours &&
                       ShownAttribute(older->attributes[olderRow * olderColumns + column]) !=
                           ShownAttribute(newer->attributes[newerRow * newerColumns + column])) {
                marks[column] = DIFF_COLOUR;
            } else {
                continue;
            }
            count++;
        }
    }
    // Looked for only in rows that differ: a text costs a pass over the row.
    if (count > 0 && diff->options.ignoredCount > 0 && LeftOut(diff, at)) {
        memset(marks, DIFF_SAME, diff->columns);
        count = 0;
    }
    return count;
}

// ---- The listing.

static DWORD Digits(DWORD value) {
    DWORD digits = 1;
    while (value >= 10) {
        value /= 10;
        digits++;
    }
    return digits;
}

static void SinkHeadLine(ViewSink *out, const char *lead, const ViewScreen *screen,
                         const char *name, BOOL colour) {
    char taken[64];
    FormatTakenTime(screen, taken, sizeof taken);
    if (colour) {
        SinkText(out, SGR_HEAD);
    }
    SinkText(out, lead);
    SinkSafeText(out, name, FALSE);
    if (taken[0] != 0) {
        SinkText(out, "\t");
        SinkText(out, taken);
    }
    if (colour) {
        SinkText(out, SGR_RESET);
    }
    SinkText(out, "\n");
}

// A row of the listing: "-ROW: " or "+ROW: " and the row as RenderText
// shows it; in colour, also the differing blanks at its end, and every
// differing cell in reverse video.
static void SinkListedRow(ViewSink *out, const ViewScreen *screen, DWORD row, char sign,
                          DWORD digits, const BYTE *marks, BOOL colour) {
    DWORD columns = screen->saved.columns;
    const WORD *characters = screen->characters + row * columns;
    DWORD width = columns;
    char prefix[32];
    BOOL marked = FALSE;
    while (width > 0 && characters[width - 1] == SPACE &&
           (!colour || marks[width - 1] == DIFF_SAME)) {
        width--;
    }
    snprintf(prefix, sizeof prefix, ROW_PREFIX, sign, (int)digits, (unsigned)(row + 1));
    if (colour) {
        SinkText(out, sign == '-' ? SGR_OLDER : SGR_NEWER);
    }
    SinkText(out, prefix);
    for (DWORD column = 0; column < width; column++) {
        DWORD codePoint = 0;
        if (!CellCodePoint(screen, row, column, &codePoint)) {
            continue;
        }
        if (colour && (marks[column] != DIFF_SAME) != marked) {
            marked = !marked;
            SinkText(out, marked ? SGR_CELL : SGR_CELL_END);
        }
        SinkCodePoint(out, codePoint);
    }
    if (colour) {
        SinkText(out, SGR_RESET);
    }
    SinkText(out, "\n");
}

// The line under a pair of rows: a mark under each column that differs,
// then the columns named, counted from 1 ("column 7", "columns 1-2, 7"), so
// that a log names them without counting; after MARKED_RANGES ranges, "...".
static void SinkMarkLine(ViewSink *out, DWORD digits, const BYTE *marks, DWORD columns) {
    char line[MAX_COLUMNS + 32];
    char range[32];
    DWORD end = columns;
    DWORD at = 0;
    DWORD ranges = 0;
    DWORD marked = 0;
    while (end > 0 && marks[end - 1] == DIFF_SAME) {
        end--;
    }
    // Under the sign, the number, the colon and the blank.
    for (DWORD i = 0; i < digits + 3; i++) {
        line[at++] = ' ';
    }
    for (DWORD column = 0; column < end; column++) {
        line[at++] = MARKS[marks[column]];
        marked += marks[column] != DIFF_SAME;
    }
    line[at] = 0;
    SinkText(out, line);
    SinkText(out, marked == 1 ? COLUMN_ONE : COLUMN_MANY);
    for (DWORD start = 0, stop = 0; start < end; start = stop) {
        stop = start + 1;
        if (marks[start] == DIFF_SAME) {
            continue;
        }
        while (stop < end && marks[stop] != DIFF_SAME) {
            stop++;
        }
        if (ranges == MARKED_RANGES) {
            SinkText(out, ", ...");
            break;
        }
        if (stop - start == 1) {
            snprintf(range, sizeof range, "%s%u", ranges > 0 ? ", " : "", (unsigned)(start + 1));
        } else {
            snprintf(range, sizeof range, "%s%u-%u", ranges > 0 ? ", " : "", (unsigned)(start + 1),
                     (unsigned)stop);
        }
        SinkText(out, range);
        ranges++;
    }
    SinkText(out, "\n");
}

// The listing's header: both files, then the size and the cursor where
// they differ.
static void SinkListingHead(const ViewDiff *diff, BOOL colour, const char *olderName,
                            const char *newerName, ViewSink *out) {
    const ViewScreen *older = diff->older;
    const ViewScreen *newer = diff->newer;
    char line[128];
    SinkHeadLine(out, OLDER_HEAD, older, olderName, colour);
    SinkHeadLine(out, NEWER_HEAD, newer, newerName, colour);
    if (diff->sizeDiffers) {
        snprintf(line, sizeof line, SIZE_LINE, (unsigned)older->saved.columns,
                 (unsigned)(diff->olderEnd - diff->olderFirst), (unsigned)newer->saved.columns,
                 (unsigned)(diff->newerEnd - diff->newerFirst));
        SinkText(out, line);
    }
    if (diff->cursorDiffers) {
        snprintf(line, sizeof line, CURSOR_LINE, (unsigned)(older->saved.cursorRow + 1),
                 (unsigned)(older->saved.cursorColumn + 1), (unsigned)(newer->saved.cursorRow + 1),
                 (unsigned)(newer->saved.cursorColumn + 1));
        SinkText(out, line);
    }
}

BOOL RenderDiffListing(const ViewDiff *diff, BOOL colour, const char *olderName,
                       const char *newerName, ViewSink *out) {
    DWORD olderRows = diff->olderEnd - diff->olderFirst;
    DWORD newerRows = diff->newerEnd - diff->newerFirst;
    DWORD digits = Digits(diff->olderEnd > diff->newerEnd ? diff->olderEnd : diff->newerEnd);
    BYTE marks[MAX_COLUMNS];
    char line[128];
    BOOL differs = diff->sizeDiffers || diff->cursorDiffers;

    if (differs) {
        SinkListingHead(diff, colour, olderName, newerName, out);
    }
    for (DWORD at = 0; at < diff->rows; at++) {
        if (DiffRow(diff, at, marks) == 0) {
            continue;
        }
        if (!differs) {
            SinkListingHead(diff, colour, olderName, newerName, out);
            differs = TRUE;
        }
        // A run of differing rows: its extent first, for its "@@" line.
        DWORD stop = at + 1;
        while (stop < diff->rows && DiffRow(diff, stop, marks) > 0) {
            stop++;
        }
        DWORD olderCount = olderRows > at ? (olderRows < stop ? olderRows : stop) - at : 0;
        DWORD newerCount = newerRows > at ? (newerRows < stop ? newerRows : stop) - at : 0;
        // As diff -u numbers a range of no lines: by the line before it.
        DWORD olderStart = diff->olderFirst + (olderCount > 0 ? at + 1 : olderRows);
        DWORD newerStart = diff->newerFirst + (newerCount > 0 ? at + 1 : newerRows);
        snprintf(line, sizeof line, HUNK_LINE, (unsigned)olderStart, (unsigned)olderCount,
                 (unsigned)newerStart, (unsigned)newerCount);
        if (colour) {
            SinkText(out, SGR_HUNK);
        }
        SinkText(out, line);
        if (colour) {
            SinkText(out, SGR_RESET);
        }
        for (DWORD position = at; position < stop; position++) {
            DiffRow(diff, position, marks);
            BOOL inOlder = position < olderRows;
            BOOL inNewer = position < newerRows;
            if (inOlder) {
                SinkListedRow(out, diff->older, diff->olderFirst + position, '-', digits, marks,
                              colour);
            }
            if (inNewer) {
                SinkListedRow(out, diff->newer, diff->newerFirst + position, '+', digits, marks,
                              colour);
            }
            if (inOlder && inNewer) {
                SinkMarkLine(out, digits, marks, diff->columns);
            }
        }
        at = stop;
    }
    return differs;
}

// ---- The picture.

// Outlines the differing cells of rows [first, end) of one side, a run of
// cells of one mark at a time; `inThis` is how many rows the side has.
static void SinkMarks(ViewSink *out, const ViewDiff *diff, DWORD first, DWORD end,
                      DWORD screenFirst, DWORD columns) {
    BYTE marks[MAX_COLUMNS];
    char text[sizeof PICTURE_MARK + 96];
    for (DWORD row = first; row < end; row++) {
        if (DiffRow(diff, row - screenFirst, marks) == 0) {
            continue;
        }
        for (DWORD start = 0, stop = 0; start < columns; start = stop) {
            stop = start + 1;
            while (stop < columns && marks[stop] == marks[start]) {
                stop++;
            }
            if (marks[start] == DIFF_SAME) {
                continue;
            }
            BOOL character = marks[start] == DIFF_CHARACTER;
            snprintf(text, sizeof text, PICTURE_MARK, character ? "diff-character" : "diff-colour",
                     (unsigned)(start * SVG_CELL_WIDTH + 1),
                     (unsigned)((row - first) * SVG_CELL_HEIGHT + 1),
                     (unsigned)((stop - start) * SVG_CELL_WIDTH - 2),
                     (unsigned)(SVG_CELL_HEIGHT - 2),
                     character ? DIFF_CHARACTER_COLOUR : DIFF_COLOUR_COLOUR);
            SinkText(out, text);
        }
    }
}

// One side of the picture: the file's name, then its rows [first, end)
// and their marks, from x.
static void SinkPictureSide(ViewSink *out, const ViewDiff *diff, const ViewScreen *screen,
                            const char *name, DWORD x, DWORD first, DWORD end, DWORD screenFirst) {
    char text[sizeof PICTURE_CAPTION + 32];
    snprintf(text, sizeof text, PICTURE_CAPTION, (unsigned)x, (unsigned)PICTURE_CAPTION_BASELINE);
    SinkText(out, text);
    SinkSafeText(out, name, TRUE);
    SinkText(out, PICTURE_CAPTION_END);
    snprintf(text, sizeof text, PICTURE_SCREEN, (unsigned)x, (unsigned)PICTURE_CAPTION_HEIGHT);
    SinkText(out, text);
    SinkSvgScreen(screen, first, end, out);
    SinkMarks(out, diff, first, end, screenFirst, screen->saved.columns);
    SinkText(out, PICTURE_SCREEN_END);
}

BOOL RenderDiffPicture(const ViewDiff *diff, BOOL html, const char *olderName,
                       const char *newerName, ViewSink *out) {
    const ViewScreen *older = diff->older;
    const ViewScreen *newer = diff->newer;
    BYTE marks[MAX_COLUMNS];
    DWORD olderFirst = diff->olderFirst;
    DWORD olderEnd = diff->olderEnd;
    DWORD newerFirst = diff->newerFirst;
    DWORD newerEnd = diff->newerEnd;
    BOOL differs = diff->sizeDiffers || diff->cursorDiffers;
    char text[sizeof PICTURE_BACKGROUND + 32];

    // Each side as its image shows it, down to the last row that differs.
    if (!diff->options.window) {
        DWORD last = 0;
        SelectRows(older, VIEW_SVG, FALSE, &olderFirst, &olderEnd);
        SelectRows(newer, VIEW_SVG, FALSE, &newerFirst, &newerEnd);
        for (DWORD at = 0; at < diff->rows; at++) {
            if (DiffRow(diff, at, marks) > 0) {
                differs = TRUE;
                last = at + 1;
            }
        }
        if (olderEnd < last) {
            olderEnd = last < diff->olderEnd ? last : diff->olderEnd;
        }
        if (newerEnd < last) {
            newerEnd = last < diff->newerEnd ? last : diff->newerEnd;
        }
    } else {
        for (DWORD at = 0; at < diff->rows && !differs; at++) {
            differs = DiffRow(diff, at, marks) > 0;
        }
    }
    DWORD olderWidth = older->saved.columns * SVG_CELL_WIDTH;
    DWORD width = olderWidth + PICTURE_GAP + newer->saved.columns * SVG_CELL_WIDTH;
    DWORD rows = olderEnd - olderFirst > newerEnd - newerFirst ? olderEnd - olderFirst
                                                               : newerEnd - newerFirst;
    DWORD height = PICTURE_CAPTION_HEIGHT + rows * SVG_CELL_HEIGHT;

    if (html) {
        SinkText(out, PAGE_HEAD);
        SinkTitle(out, older, olderName);
        SinkText(out, TITLE_BETWEEN);
        SinkTitle(out, newer, newerName);
        SinkText(out, PAGE_BODY);
    }
    SinkSvgHead(out, width, height, !html);
    SinkTitle(out, older, olderName);
    SinkText(out, TITLE_BETWEEN);
    SinkTitle(out, newer, newerName);
    SinkText(out, "</title>\n");
    snprintf(text, sizeof text, PICTURE_BACKGROUND, (unsigned)width, (unsigned)height);
    SinkText(out, text);
    SinkPictureSide(out, diff, older, olderName, 0, olderFirst, olderEnd, diff->olderFirst);
    SinkPictureSide(out, diff, newer, newerName, olderWidth + PICTURE_GAP, newerFirst, newerEnd,
                    diff->newerFirst);
    SinkText(out, SVG_END);
    if (html) {
        SinkText(out, PAGE_TAIL);
    }
    return differs;
}
