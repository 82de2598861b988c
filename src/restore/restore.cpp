// restore.cpp: the restore operation. Reads a Glimpset or SAVECON file into
// two cell arrays, verifies it, and only then changes the console: buffer
// and window size, cells, cursor, window position, attribute and (Glimpset
// only) code pages. Owns the console handle, the file handle, the read
// buffer and both cell arrays for the length of one call.
//
// A file that ends too early (in its header or in its cells) is reported
// with the system's text for the end of a file, not with whatever code the
// system last recorded, which would name no real failure. The window height
// aimed at is the saved one, but never 0, never more than the saved rows and
// never more than the screen lets the console show. A SAVECON file whose
// cells cannot be sought is reported as a read error rather than restored
// from the wrong place.
//
// In a terminal (a console hosted by a pseudo console, as in Windows
// Terminal) the buffer is the terminal's screen, which no call can resize:
// a file of another size has its saved window written into the screen,
// clipped to it, and one line on standard error says what was restored.
// Neither the buffer size nor the window changes there.
#include "restore/restore.h"

#include "command/options.h"
#include "common/diskfile.h"
#include "common/errors.h"
#include "common/memory.h"
#include "format/glimformat.h"
#include "format/wordstream.h"
#include "restore/decoder.h"
#include "restore/fitting.h"
#include "plugin/host.h"

#include <assert.h>
#include <string.h>

static const WCHAR MissingFilenameText[] = TEXT("Missing filename\r\n");
static const WCHAR OpenConsoleText[] = TEXT("Error opening console:\r\n");
static const WCHAR OpenFileText[] = TEXT("Error opening file \"%s\":\r\n");
static const WCHAR NotOnDiskText[] = TEXT("\"%s\" is not a file on disk.\r\n");
static const WCHAR FileBufferText[] = TEXT("Can\u2019t allocate file buffer\r\n");
static const WCHAR ReadFileText[] = TEXT("Error reading from file \"%s\":\r\n");
static const WCHAR NotGlimpsetText[] = TEXT("File \"%s\" is not a Glimpset file.\r\n");
static const WCHAR VersionText[] = TEXT("Unsupported Glimpset file version:  %u\r\n");
static const WCHAR TemporaryBuffersText[] = TEXT("Can\u2019t allocate temporary buffers\r\n");
static const WCHAR CrcMismatchText[] = TEXT("CRC32 mismatch\r\n");
static const WCHAR ScreenInfoText[] = TEXT("Can\u2019t get current screen buffer info\r\n");
static const WCHAR WriteConsoleText[] = TEXT("Error writing data to console buffer:\r\n");
static const WCHAR TerminalKeptText[] =
    TEXT("The terminal\u2019s size was kept: %d rows of %d columns restored.\r\n");

static const WCHAR ConsoleName[] = TEXT("CONOUT$");
static const WCHAR NotificationSound[] = TEXT("SystemNotification");

enum {
    CELLS_PER_WRITE = 8192, // a block of whole rows holds at most this many cells
    MIN_WINDOW_CELLS = 2,   // a window narrower or lower than this is not a console's
};

static void CloseIfOpen(HANDLE *handle) {
    if (*handle != INVALID_HANDLE_VALUE && *handle != NULL) {
        CloseHandle(*handle);
    }
    *handle = INVALID_HANDLE_VALUE;
}

// The window height the restore aims at. A saved height below 2 rows would
// leave a window that no later restore can measure (and 0 one of no rows):
// the current height stands in for it. No window can be taller than the
// saved buffer, nor taller than the screen lets the console show;
// dwMaximumWindowSize is that limit only where it is below the current
// buffer's height (otherwise it is the buffer's own height, which the new
// buffer replaces), and never below 2 rows.
static int TargetWindowHeight(int saved, int rows, int currentHeight,
                              const CONSOLE_SCREEN_BUFFER_INFO *info) {
    int height = saved >= MIN_WINDOW_CELLS ? saved : currentHeight;
    if (height > rows) {
        height = rows;
    }
    int screenLimit = info->dwMaximumWindowSize.Y;
    if (screenLimit >= MIN_WINDOW_CELLS && screenLimit < info->dwSize.Y && height > screenLimit) {
        height = screenLimit;
    }
    return height;
}

// Writes the cells in blocks of whole rows, each block with one call that
// carries characters and colours together, one CHAR_INFO per cell through
// `block` (CELLS_PER_WRITE cells). A cell comes back as it was saved: a
// wide character in two cells with their leading and trailing flags takes
// those two cells again, and a cell saved without a flag takes one cell,
// whatever width the console now gives its character; so no cell can push
// the rest of its block out of place. A file whose trailing halves are
// missing is written as it stands. Returns 0, or 2 after the message;
// blocks already written stay.
static int WriteCells(HANDLE console, const WORD *characters, const WORD *attributes, int columns,
                      int rows, CHAR_INFO *block) {
    // Whole rows fit a block: ClassifyHeader accepts 22 to 512 columns (at
    // least 16 rows a block), and WriteSavedWindow checks a terminal's width.
    assert(columns >= 1 && columns <= CELLS_PER_WRITE);
    int blockRows = CELLS_PER_WRITE / columns;
    for (int start = 0; start < rows; start += blockRows) {
        int last = start + blockRows - 1;
        if (last > rows - 1) {
            last = rows - 1;
        }
        DWORD first = (DWORD)start * (DWORD)columns;
        DWORD cells = (DWORD)(last - start + 1) * (DWORD)columns;
        for (DWORD i = 0; i < cells; i++) {
            block[i].Char.UnicodeChar = (WCHAR)characters[first + i];
            block[i].Attributes = attributes[first + i];
        }
        COORD size = {(SHORT)columns, (SHORT)(last - start + 1)};
        COORD origin = {0, 0};
        SMALL_RECT region = {0, (SHORT)start, (SHORT)(columns - 1), (SHORT)last};
        if (!WriteConsoleOutputW(console, block, size, origin, &region)) {
            ReportSystem(WriteConsoleText, NULL);
            return 2;
        }
    }
    return 0;
}

// The rows a window of `height` rows shows: the cursor's row as its last
// row, or the top of the buffer when the cursor lies within the first
// `height` rows; never below the buffer's last row.
static void WindowRows(int rows, int cursorRow, int height, int *top, int *bottom) {
    *bottom = cursorRow;
    *top = cursorRow - height + 1;
    if (*top < 0) {
        *top = 0;
        *bottom = height - 1;
    }
    if (*bottom > rows - 1) {
        *bottom = rows - 1;
    }
}

// Places the window on the rows WindowRows gives. It keeps the width it
// has (never more than the buffer's columns) and is no taller than it is
// now: a console refuses a window larger than the monitor holds, and the
// resize left the window as large as the console allows. It starts at the
// buffer's left edge, or as far right as it takes to show the cursor when
// it is narrower than the buffer.
static void PlaceWindow(HANDLE console, int columns, int rows, int cursorColumn, int cursorRow,
                        int height) {
    CONSOLE_SCREEN_BUFFER_INFO now = {};
    int width = columns;
    if (GetConsoleScreenBufferInfo(console, &now)) {
        width = now.srWindow.Right - now.srWindow.Left + 1;
        if (width > columns || width < 1) {
            width = columns;
        }
        int nowHeight = now.srWindow.Bottom - now.srWindow.Top + 1;
        if (nowHeight >= 1 && nowHeight < height) {
            height = nowHeight;
        }
    }
    int top = 0;
    int bottom = 0;
    WindowRows(rows, cursorRow, height, &top, &bottom);
    int left = cursorColumn < width ? 0 : cursorColumn - width + 1;
    if (left > columns - width) {
        left = columns - width;
    }
    SMALL_RECT window = {(SHORT)left, (SHORT)top, (SHORT)(left + width - 1), (SHORT)bottom};
    SetConsoleWindowInfo(console, TRUE, &window);
}

// In a terminal, whose screen cannot be resized: the saved window's rows
// (WindowRows for `height`), clipped to the screen's `screenColumns` x
// `screenRows` cells, are written into it from its top-left cell, the
// cursor's row last where the screen is lower than the window; every other
// cell of the screen becomes a space in the text attribute. The cursor
// keeps its place among those rows. Returns 0 with the rows and columns
// restored in *rowsDone and *columnsDone, or 2 after the message. The
// screen is unchanged when the arrays cannot be allocated; a failed write
// leaves the blocks already written.
static int WriteSavedWindow(HANDLE console, const SavedScreen *saved, const WORD *characters,
                            const WORD *attributes, int screenColumns, int screenRows, int height,
                            CHAR_INFO *block, int *rowsDone, int *columnsDone) {
    int result = 2;
    WORD *screenCharacters = NULL;
    WORD *screenAttributes = NULL;
    // WriteCells writes whole rows of at most CELLS_PER_WRITE cells.
    if (screenColumns < 1 || screenRows < 1 || screenColumns > CELLS_PER_WRITE) {
        ReportPlain(ScreenInfoText, NULL);
        return 2;
    }
    DWORD count = (DWORD)screenColumns * (DWORD)screenRows;
    int top = 0;
    int bottom = 0;
    WindowRows(saved->rows, saved->cursorRow, height, &top, &bottom);
    int rowsShown = bottom - top + 1 < screenRows ? bottom - top + 1 : screenRows;
    int columnsShown = saved->columns < screenColumns ? saved->columns : screenColumns;
    // The first row shown: the cursor's row last, within the window.
    int first = saved->cursorRow - rowsShown + 1;
    if (first > bottom - rowsShown + 1) {
        first = bottom - rowsShown + 1;
    }
    if (first < top) {
        first = top;
    }
    int cursorColumn =
        saved->cursorColumn < screenColumns ? saved->cursorColumn : screenColumns - 1;
    int cursorRow = saved->cursorRow - first;
    if (cursorRow > rowsShown - 1) {
        cursorRow = rowsShown - 1;
    }
    if (cursorRow < 0) {
        cursorRow = 0;
    }
    COORD cursor = {(SHORT)cursorColumn, (SHORT)cursorRow};
    WORD blank = (WORD)(saved->attribute & 0xFF);

    screenCharacters = (WORD *)AllocateMemory((SIZE_T)count * sizeof(WORD), FALSE);
    if (screenCharacters != NULL) {
        screenAttributes = (WORD *)AllocateMemory((SIZE_T)count * sizeof(WORD), FALSE);
    }
    if (screenCharacters == NULL || screenAttributes == NULL) {
        ReportPlain(TemporaryBuffersText, NULL);
        goto cleanup;
    }
    for (DWORD i = 0; i < count; i++) {
        screenCharacters[i] = ' ';
        screenAttributes[i] = blank;
    }
    for (int r = 0; r < rowsShown; r++) {
        DWORD from = (DWORD)(first + r) * (DWORD)saved->columns;
        DWORD to = (DWORD)r * (DWORD)screenColumns;
        memcpy(screenCharacters + to, characters + from, (size_t)columnsShown * sizeof(WORD));
        memcpy(screenAttributes + to, attributes + from, (size_t)columnsShown * sizeof(WORD));
    }
    if (WriteCells(console, screenCharacters, screenAttributes, screenColumns, screenRows, block) !=
        0) {
        goto cleanup;
    }
    SetConsoleCursorPosition(console, cursor);
    *rowsDone = rowsShown;
    *columnsDone = columnsShown;
    result = 0;

cleanup:
    FreeMemory(screenAttributes);
    FreeMemory(screenCharacters);
    return result;
}

int RestoreScreen(const WCHAR *name, DWORD modeFlags) {
    int result = 2;
    HANDLE console = INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    BYTE *readBuffer = NULL;
    WORD *characters = NULL;
    WORD *attributes = NULL;
    CHAR_INFO *block = NULL;
    DWORD got = 0;
    DWORD count = 0;
    DWORD readError = 0;
    HeaderKind kind = HEADER_UNKNOWN;
    SavedScreen saved = {};
    WordReader reader = {};
    DecodeResult decoded = DECODE_OK;
    HWND window = NULL;
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    int currentWidth = 0;
    int currentHeight = 0;
    int height = 0;
    BOOL inTerminal = FALSE;
    BOOL clipToScreen = FALSE;
    int rowsDone = 0;
    int columnsDone = 0;

    if (name == NULL || name[0] == 0) {
        ReportPlain(MissingFilenameText, NULL);
        return 1;
    }

    console = CreateFileW(ConsoleName, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (console == NULL || console == INVALID_HANDLE_VALUE) {
        console = INVALID_HANDLE_VALUE;
        ReportSystem(OpenConsoleText, NULL);
        goto cleanup;
    }
    file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ReportSystem(OpenFileText, name);
        goto cleanup;
    }
    switch (CheckDiskFile(file)) {
    case DISK_FILE:
        break;
    case NOT_DISK_FILE:
        ReportPlain(NotOnDiskText, name);
        goto cleanup;
    default:
        ReportSystem(OpenFileText, name);
        goto cleanup;
    }
    readBuffer = (BYTE *)AllocateMemory(READ_BUFFER_BYTES, FALSE);
    if (readBuffer == NULL) {
        ReportPlain(FileBufferText, NULL);
        goto cleanup;
    }

    if (!ReadFile(file, readBuffer, HEADER_SIZE, &got, NULL)) {
        ReportSystem(ReadFileText, name);
        goto cleanup;
    }
    if (got != HEADER_SIZE) {
        // The read itself succeeded, so the system recorded no error that
        // would name what went wrong: the file simply ended.
        ReportSystemCode(ERROR_HANDLE_EOF, ReadFileText, name);
        goto cleanup;
    }
    kind = ClassifyHeader(readBuffer);
    if (kind == HEADER_UNKNOWN) {
        ReportPlain(NotGlimpsetText, name);
        goto cleanup;
    }
    ReadSavedScreen(readBuffer, kind, &saved);
    if (kind == HEADER_GLIMPSET && saved.version != GLIMPSET_VERSION) {
        ReportPlainNumber(VersionText, saved.version);
        goto cleanup;
    }
    if (kind == HEADER_SAVECON) {
        // After a failed seek the cells would be read from where the header
        // ended, and the wrong screen restored as if it were the saved one.
        DWORD at = SetFilePointer(file, (LONG)saved.dataOffset, NULL, FILE_BEGIN);
        if (at == INVALID_SET_FILE_POINTER) {
            ReportSystem(ReadFileText, name);
            goto cleanup;
        }
    }

    // ClassifyHeader accepts only the readable sizes: count neither wraps nor is 0.
    assert(saved.columns >= MIN_COLUMNS && saved.columns <= MAX_COLUMNS && saved.rows >= MIN_ROWS &&
           saved.rows <= MAX_ROWS);
    count = (DWORD)saved.columns * (DWORD)saved.rows;
    characters = (WORD *)AllocateMemory((SIZE_T)count * sizeof(WORD), FALSE);
    if (characters != NULL) {
        attributes = (WORD *)AllocateMemory((SIZE_T)count * sizeof(WORD), FALSE);
    }
    if (attributes != NULL) {
        block = (CHAR_INFO *)AllocateMemory(CELLS_PER_WRITE * sizeof(CHAR_INFO), FALSE);
    }
    if (block == NULL) {
        ReportPlain(TemporaryBuffersText, NULL);
        goto cleanup;
    }

    // The reader starts empty: its first refill reads on from where the
    // header read (or the seek) left the file.
    reader.buffer = readBuffer;
    reader.words = 0;
    reader.next = 0;
    reader.read = FileBlockReader;
    reader.context = file;
    if (kind == HEADER_GLIMPSET) {
        decoded = DecodeGlimpset(&reader, saved.attribute, characters, attributes, count);
    } else {
        decoded = DecodeSavecon(&reader, saved.attribute, characters, attributes, count);
    }
    // Taken before closing, so that the message names the failed read.
    readError = GetLastError();
    CloseIfOpen(&file);
    FreeMemory(readBuffer);
    readBuffer = NULL;
    if (decoded == DECODE_FAILED) {
        ReportSystemCode(readError, ReadFileText, name);
        goto cleanup;
    }
    if (decoded == DECODE_EARLY_END) {
        ReportSystemCode(ERROR_HANDLE_EOF, ReadFileText, name);
        goto cleanup;
    }

    if (saved.hasCrc && (modeFlags & MODE_NO_CRC) == 0 &&
        ScreenCrc32(characters, attributes, count) != saved.crc) {
        ReportPlain(CrcMismatchText, NULL);
        goto cleanup;
    }

    // Nothing in the console has changed so far.
    memset(&info, 0, sizeof info);
    window = GetConsoleWindow();
    if (window != NULL) {
        GetConsoleScreenBufferInfo(console, &info);
    }
    currentWidth = info.srWindow.Right - info.srWindow.Left + 1;
    currentHeight = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (currentWidth < MIN_WINDOW_CELLS || currentHeight < MIN_WINDOW_CELLS) {
        ReportPlain(ScreenInfoText, NULL);
        goto cleanup;
    }

    inTerminal = IsTerminalWindow(window);

    if (info.dwSize.X == saved.columns && info.dwSize.Y == saved.rows) {
        height = currentHeight;
    } else {
        height = TargetWindowHeight(saved.windowHeight, saved.rows, currentHeight, &info);
        // A tab window of Take Command keeps its refusal, whatever hosts it.
        clipToScreen = inTerminal && QueryIsTCMD() == 0;
        if (!clipToScreen && ResizeConsole(console, window, saved.columns, saved.rows, height,
                                           currentWidth, currentHeight) != 0) {
            goto cleanup;
        }
    }

    if (clipToScreen) {
        if (WriteSavedWindow(console, &saved, characters, attributes, info.dwSize.X, info.dwSize.Y,
                             height, block, &rowsDone, &columnsDone) != 0) {
            goto cleanup;
        }
    } else {
        if (WriteCells(console, characters, attributes, saved.columns, saved.rows, block) != 0) {
            goto cleanup;
        }
        COORD cursor = {(SHORT)saved.cursorColumn, (SHORT)saved.cursorRow};
        SetConsoleCursorPosition(console, cursor);
        // A terminal's window is its screen: setting it would resize the buffer.
        if (!inTerminal) {
            PlaceWindow(console, saved.columns, saved.rows, saved.cursorColumn, saved.cursorRow,
                        height);
        }
    }
    SetConsoleTextAttribute(console, (WORD)(saved.attribute & 0xFF));
    if (saved.hasCodePages) {
        SetConsoleOutputCP(saved.outputCodePage);
        SetConsoleCP(saved.inputCodePage);
    }
    if (clipToScreen) {
        ReportPlainNumbers(TerminalKeptText, rowsDone, columnsDone);
    }
    result = 0;

cleanup:
    FreeMemory(block);
    FreeMemory(attributes);
    FreeMemory(characters);
    FreeMemory(readBuffer);
    CloseIfOpen(&file);
    CloseIfOpen(&console);
    if (result == 0 && (modeFlags & MODE_QUIET) == 0) {
        PlaySoundW(NotificationSound, NULL, SND_ALIAS | SND_ASYNC);
    }
    return result;
}
