// glimview.h: the viewer for saved screens, apart from the machine it runs
// on. It reads a Glimpset or SAVECON file that the caller has loaded into
// memory, through the format's own header, decoder and checksum code, and
// renders its cells as text with SGR colour sequences, as plain UTF-8 text,
// as a self-contained HTML page or as a self-contained SVG image. Output goes to byte sinks whose
// writer the platform file (or a test) supplies; the platform file also reads the input and opens
// output files (viewplatform.h).
#pragma once

#include "format/glimformat.h"

// ---- Memory.

// A block of `size` bytes, or null when there is none; ViewFree releases it
// (null is ignored). The platform supplies both: the Win32 heap on Windows
// and in the Linux tests (where the simulated machine can make it fail and
// counts what is held), the C library in the Linux program.
void *ViewAlloc(SIZE_T size);
void ViewFree(void *block);

// ---- Output sinks.

enum {
    VIEW_SINK_BYTES = 65536,
};

// Hands `size` bytes on; FALSE when they could not be written.
typedef BOOL (*ViewWriter)(void *context, const BYTE *data, DWORD size);

// Collects output and hands it on in pieces that always end on a whole
// UTF-8 sequence (so that a console writer may convert each piece alone).
// After the first failed write, `failed` is set and everything else is
// dropped.
struct ViewSink {
    BYTE buffer[VIEW_SINK_BYTES];
    DWORD fill;
    ViewWriter write;
    void *context;
    BOOL failed;
};

// Sets up a sink over a writer: empty, not failed.
void SinkInit(ViewSink *sink, ViewWriter write, void *context);
// Appends `size` bytes (one or more whole UTF-8 sequences); when they do not
// fit, first hands on what the sink holds. Nothing happens once failed.
void SinkBytes(ViewSink *sink, const void *data, DWORD size);
// Appends a terminated narrow text (ASCII or whole UTF-8 sequences).
void SinkText(ViewSink *sink, const char *text);
// Appends a Unicode code point as UTF-8 (the caller passes only scalar
// values: no surrogates, nothing above U+10FFFF).
void SinkCodePoint(ViewSink *sink, DWORD codePoint);
// Hands on everything the sink holds. TRUE unless a write has failed.
BOOL SinkFlush(ViewSink *sink);

// Appends a code point as markup text: "&", "<" and ">" as character
// references, as both HTML and XML take them; any other as SinkCodePoint.
void SinkMarkupCodePoint(ViewSink *sink, DWORD codePoint);
// Appends a UTF-8 text with bad bytes and unprintable characters replaced
// as the cells' are (DecodeShown); with `html`, as markup text
// (SinkMarkupCodePoint).
void SinkSafeText(ViewSink *sink, const char *text, BOOL html);
// Appends a format in which "%s" stands for `text` (decoded as UTF-8, bad
// bytes and unprintable characters replaced as the cells' are), "%u" for
// the next number in decimal, "%08X" for the next number as eight upper-case
// hexadecimal digits and "%%" for a percent sign. At most two numbers.
void SinkFormat(ViewSink *sink, const char *format, const char *text, DWORD first, DWORD second);

// ---- Characters.

// What a cell's UTF-16 code unit is shown as: itself when printable; the
// Control Pictures symbol for C0 controls and DEL; U+FFFD for C1 controls,
// surrogates (callers join valid pairs first), U+FFF0 to U+FFFF, the line
// and paragraph separators and the bidirectional embedding, override and
// isolate controls, none of which may reach a terminal or a page raw.
DWORD VisibleCharacter(WORD unit);

// Decodes the UTF-8 sequence at `text` (terminated) into what a cell of its
// character shows: returns its length (at least 1; a terminator is read as
// U+0000 of length 1) and sets *codePoint to VisibleCharacter of it, or to
// U+FFFD with length 1 for a byte that starts no valid sequence (overlong
// forms, surrogates and values above U+10FFFF included). A character beyond
// the Basic Multilingual Plane is itself, as a valid pair in cells is.
DWORD DecodeShown(const BYTE *text, DWORD *codePoint);

// The part of an attribute that the views show: both colours, reverse
// video and underscore.
inline WORD ShownAttribute(WORD attribute) {
    return (WORD)(attribute & 0xC0FF);
}

// ---- Loading.

enum LoadResult {
    LOAD_OK = 0,
    LOAD_TOO_SHORT = 1,   // fewer than 80 bytes: no header at all
    LOAD_UNKNOWN = 2,     // the header is neither format's
    LOAD_NO_MEMORY = 3,   // the cell arrays or the read buffer could not be had
    LOAD_VERSION = 4,     // Glimpset version other than 1 (cells decoded)
    LOAD_EARLY_END = 5,   // the stream ends before the last cell (cells decoded)
    LOAD_CRC = 6,         // the cells do not match the stored CRC-32 (cells decoded)
    LOAD_READ_FAILED = 7, // the decoder met a failed read (memory never fails)
};

// A screen as read from a file.
struct ViewScreen {
    SavedScreen saved;
    GlimpsetHeader header; // Glimpset: the header as stored (time stamp, computer name)
    WORD *characters;      // saved.rows x saved.columns, row-major (ViewAlloc)
    WORD *attributes;
    DWORD count;
    DWORD computedCrc; // Glimpset: ScreenCrc32 of the decoded cells
};

// Reads the `size` bytes at `data` as a screen file: classifies the header,
// decodes the cells through a word reader over memory and, for Glimpset,
// checks the version and the CRC-32. For LOAD_VERSION, LOAD_EARLY_END and
// LOAD_CRC the cells are there all the same (cells the data did not reach
// are spaces in the header's attribute), so that a caller may show them;
// the first of these problems met is the result (the version, then the end
// of data, then the CRC). For every other failure the screen holds no
// arrays. In every case FreeScreen releases what the screen holds.
LoadResult LoadScreen(const BYTE *data, DWORD size, ViewScreen *screen);
// Releases the cell arrays (if any) and clears the screen. Safe to repeat.
void FreeScreen(ViewScreen *screen);

// ---- Rendering.

enum ViewMode {
    VIEW_SGR = 0,  // text with SGR colour sequences, one line per row
    VIEW_TEXT = 1, // plain UTF-8 text
    VIEW_HTML = 2, // a self-contained HTML page
    VIEW_SVG = 3,  // a self-contained SVG image
};

// Layout of the HTML page, in CSS pixels: the screen grid's top-left corner
// and the size of one cell. Everything on the page is placed from these.
enum {
    HTML_GRID_LEFT = 8,
    HTML_GRID_TOP = 32,
    HTML_CELL_WIDTH = 9,
    HTML_CELL_HEIGHT = 18,
    HTML_CURSOR_HEIGHT = 3, // the cursor: a bar at the bottom of its cell
};

// Layout of the SVG image, in its user units (pixels): the screen grid
// fills the image from its top-left corner, one cell this size.
enum {
    SVG_CELL_WIDTH = 9,
    SVG_CELL_HEIGHT = 18,
    SVG_BASELINE = 14,     // the text's baseline, from the top of its cell
    SVG_UNDERLINE = 16,    // the underscore: a line one unit high, this far down
    SVG_CURSOR_HEIGHT = 3, // the cursor: a bar at the bottom of its cell
};

// The rows [*first, *end) that a mode shows. Without `window`, the buffer
// from row 0 to its last row that is not blank (a row of spaces, in the
// colour of the buffer's last cell for the coloured modes; of any colour for
// text); the HTML page and the SVG image also reach the cursor's row. With `window`, the rows
// the saved window showed when a restore places it: the cursor's row last,
// unless the cursor lies within the first window height of rows (a window
// height of 0, or one above the rows, counts as the rows). Text output then
// drops its trailing empty rows.
void SelectRows(const ViewScreen *screen, ViewMode mode, BOOL window, DWORD *first, DWORD *end);

// Rows [first, end) as text with SGR sequences: each row starts with the
// sequence of its first cell's attribute, a new sequence comes only where the
// attribute changes, and every row ends with "\x1b[0m\n".
void RenderSgr(const ViewScreen *screen, DWORD first, DWORD end, ViewSink *out);
// Rows [first, end) as plain text, trailing blanks of each row removed and
// trailing empty rows dropped; each line ends with "\n".
void RenderText(const ViewScreen *screen, DWORD first, DWORD end, ViewSink *out);
// Rows [first, end) as an HTML page titled with `name` (UTF-8) and, where
// the file has them, the time it was taken and the computer's name: each row
// spans of one attribute, each character at its cell's column in any font
// (printable ASCII as text, any other character in a box as wide as its
// cells), the cursor's span marking the whole character it stands on.
void RenderHtml(const ViewScreen *screen, DWORD first, DWORD end, const char *name, ViewSink *out);

// Rows [first, end) as an SVG image titled as the HTML page is: one
// rectangle for the background most cells show, one for each run of cells
// of another background, the underscores as lines, the text in runs of one
// colour with each character placed at its cell's column, and the cursor as
// a bar in its cell's foreground colour.
void RenderSvg(const ViewScreen *screen, DWORD first, DWORD end, const char *name, ViewSink *out);

// What cell `column` of `row` shows in *codePoint (VisibleCharacter of its
// unit, or a valid pair joined). FALSE when it shows nothing of its own
// because it is the second half of what the cell before it shows: the low
// surrogate of a pair (both cells in one attribute as shown), or the
// trailing cell of a double-width character.
BOOL CellCodePoint(const ViewScreen *screen, DWORD row, DWORD column, DWORD *codePoint);

// The pieces of the image, for pictures made of several screens: the
// <svg> element's start for an image `width` by `height` units (after the
// XML declaration, with `declaration`) up to its open <title>; and the
// cells of rows [first, end) drawn from the image's origin (backgrounds,
// underscores, text, cursor), as RenderSvg draws them.
void SinkSvgHead(ViewSink *out, DWORD width, DWORD height, BOOL declaration);
void SinkSvgScreen(const ViewScreen *screen, DWORD first, DWORD end, ViewSink *out);
// The title of a page or image of `screen`, as markup text: `name`, the
// time it was taken and the computer, where the file has them.
void SinkTitle(ViewSink *out, const ViewScreen *screen, const char *name);

// "2024-03-05 09:07:02 UTC+1:00" for a Glimpset header with a time stamp,
// as the information report shows it; an empty text when the file has none
// (year 0, or a SAVECON file). `text` holds at least 40 bytes.
void FormatTakenTime(const ViewScreen *screen, char *text, DWORD capacity);
// The computer's name in UTF-8 (up to its first NUL, or all 16 units), or
// an empty text when the file has none. `text` holds at least 64 bytes.
void FormatComputerName(const ViewScreen *screen, char *text, DWORD capacity);

// ---- Searching.

enum {
    VIEW_PATTERN_POINTS = MAX_COLUMNS, // no row shows more characters
};

// What --grep looks for: the text's characters as a row shows them, folded
// when case is ignored.
struct ViewPattern {
    DWORD points[VIEW_PATTERN_POINTS];
    DWORD length;
    BOOL tooLong; // longer than any row: matches nothing
    BOOL ignoreCase;
};

// The characters a row of `screen` shows as plain text (RenderText): each
// cell's as VisibleCharacter gives it, pairs joined, the second cell of a
// double-width character left out, trailing blanks removed. `points` holds
// the buffer's columns; returns how many were written.
DWORD RowText(const ViewScreen *screen, DWORD row, DWORD *points);

// The case-folded form of a character: the simple lower-case partner of the
// letters of ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic (the
// letters of the consoles' usual code pages); every other character itself.
DWORD FoldCase(DWORD codePoint);

// Makes a pattern of `text` (UTF-8; bad bytes and unprintable characters
// become what a cell of them shows, so that the text finds such cells).
void MakePattern(const char *text, BOOL ignoreCase, ViewPattern *pattern);

// Writes "NAME:ROW: line\n" for each of the rows [first, end) whose text
// (RowText) holds the pattern, ROW counting the buffer's rows from 1 and
// the line as RenderText writes it; `name` is made safe as messages are.
// An empty pattern is held by every row. Returns the number of rows written.
DWORD GrepScreen(const ViewScreen *screen, DWORD first, DWORD end, const char *name,
                 const ViewPattern *pattern, ViewSink *out);

// Whether row `row` of `screen` (its text as RowText gives it) holds the
// pattern; an empty pattern is held by every row.
BOOL RowHoldsPattern(const ViewScreen *screen, DWORD row, const ViewPattern *pattern);

// ---- Comparing.

// What a cell of one screen is beside the same cell of the other.
enum DiffMark {
    DIFF_SAME = 0,
    DIFF_COLOUR = 1,    // the same character, shown in another attribute
    DIFF_CHARACTER = 2, // another character, or a cell of one screen only
};

// What a comparison leaves out.
struct DiffOptions {
    BOOL window;        // only the saved windows, row for row from their tops
    BOOL ignoreColours; // attributes (colours, reverse video, underscore)
    BOOL ignoreCursor;
    const ViewPattern *ignored; // a row that holds one of these, in either screen
    DWORD ignoredCount;
};

// Two screens lined up for comparing: the rows of each that are compared
// and what differs beside the cells. Position `at` (from 0 to `rows` - 1)
// is row olderFirst + at of the older screen and newerFirst + at of the
// newer; a position at or beyond one screen's end holds a row of the
// other only.
struct ViewDiff {
    const ViewScreen *older;
    const ViewScreen *newer;
    DiffOptions options;
    DWORD olderFirst, olderEnd;
    DWORD newerFirst, newerEnd;
    DWORD rows;         // the longer of the two ranges
    DWORD columns;      // the wider of the two screens (at most MAX_COLUMNS)
    BOOL sizeDiffers;   // columns, or rows compared
    BOOL cursorDiffers; // its place (in the window, with `window`); FALSE when ignored
};

// Lines up two loaded screens: the whole buffers, or with `window` the rows
// each saved window showed (SelectRows). Keeps the pointers it is given.
void PrepareDiff(const ViewScreen *older, const ViewScreen *newer, const DiffOptions *options,
                 ViewDiff *diff);
// Fills marks[0 .. columns - 1] for position `at` with DiffMark values and
// returns how many cells differ: a cell's character as it shows it (both
// cells of a double-width character and of a pair show the whole
// character) and, unless ignored, its attribute as shown; a cell beyond the
// narrower screen's width differs when it holds more than a blank. A row of
// one screen only differs in every cell; a row left out (options.ignored)
// differs in none.
DWORD DiffRow(const ViewDiff *diff, DWORD at, BYTE *marks);

// Writes what differs in the form of diff -u: a header naming both files
// (and when each was taken), a line for a size and one for a cursor that
// differ, then for each run of differing rows a "@@ -ROW,COUNT +ROW,COUNT
// @@" line and, for each of its rows, the older row ("-ROW: text"), the
// newer ("+ROW: text") and a line that marks the columns that differ ("^"
// another character, "~" another attribute alone) and names them ("column
// 7", "columns 1-2, 7"); rows as RenderText shows
// them, numbered from 1 in their buffers. With `colour`, the lines in SGR
// colours and the differing cells in reverse video. Nothing when the
// screens do not differ. Returns TRUE when they differ.
BOOL RenderDiffListing(const ViewDiff *diff, BOOL colour, const char *olderName,
                       const char *newerName, ViewSink *out);
// Writes one picture of both screens side by side, the older on the left,
// each under its file's name and with its differing cells outlined
// (DIFF_CHARACTER_COLOUR, DIFF_COLOUR_COLOUR), titled with both files: an
// SVG image, or with `html` a page that holds it. Each screen shows its
// rows as the image does (SelectRows) and every row that differs. Returns
// TRUE when the screens differ.
BOOL RenderDiffPicture(const ViewDiff *diff, BOOL html, const char *olderName,
                       const char *newerName, ViewSink *out);

// The outlines of differing cells in the picture: colours the console's
// palette does not hold, so that they stand out from any screen.
#define DIFF_CHARACTER_COLOUR "#FF8C00"
#define DIFF_COLOUR_COLOUR "#00BFFF"

// ---- The program.

// Runs glimview with its arguments (UTF-8, without the program's name):
// parses the options, reads the file through the platform, renders it to
// `out` (or to the file named by --html or --svg) and writes messages to
// `err`; with --grep, searches each file named and writes the rows found to
// `out`; with --diff, compares two files. `expand` (null: none) says for
// each argument whether it may be a wildcard pattern (it was not quoted on
// a command line that no shell expanded): such a FILE of --grep stands for
// the files it matches (ViewExpandPattern). Returns the exit status: 0
// shown, 1 usage error, 2 bad file or failed input or output; with --grep,
// 0 a row found, 1 none, 2 a file not read, failed output or a usage
// error; with --diff, 0 the same, 1 different, 2 a file not read, failed
// output or a usage error. Both sinks are flushed before it returns.
int GlimviewRun(int argc, char **argv, const BOOL *expand, ViewSink *out, ViewSink *err);

// The message for arguments that memory could not be had for: GlimviewRun's,
// and an entry point's that converts them first.
extern const char MSG_NO_MEMORY_ARGUMENTS[];
