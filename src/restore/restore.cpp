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
#include "restore/restore.h"

#include "command/options.h"
#include "common/diskfile.h"
#include "common/errors.h"
#include "common/memory.h"
#include "format/glimformat.h"
#include "format/wordstream.h"
#include "restore/decoder.h"
#include "restore/fitting.h"

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
    // ClassifyHeader accepts 22 to 512 columns: a block holds whole rows, at least 16.
    assert(columns >= MIN_COLUMNS && columns <= MAX_COLUMNS);
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

// The window shows the cursor's row as its last row, or the top of the
// buffer when the cursor lies within the first `height` rows.
static void PlaceWindow(HANDLE console, int columns, int rows, int cursorRow, int height) {
    int bottom = cursorRow;
    int top = cursorRow - height + 1;
    if (top < 0) {
        top = 0;
        bottom = height - 1;
    }
    if (bottom > rows - 1) {
        bottom = rows - 1;
    }
    SMALL_RECT window = {0, (SHORT)top, (SHORT)(columns - 1), (SHORT)bottom};
    SetConsoleWindowInfo(console, TRUE, &window);
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

    if (info.dwSize.X == saved.columns && info.dwSize.Y == saved.rows) {
        height = currentHeight;
    } else {
        height = TargetWindowHeight(saved.windowHeight, saved.rows, currentHeight, &info);
        if (ResizeConsole(console, window, saved.columns, saved.rows, height, currentWidth,
                          currentHeight) != 0) {
            goto cleanup;
        }
    }

    if (WriteCells(console, characters, attributes, saved.columns, saved.rows, block) != 0) {
        goto cleanup;
    }
    {
        COORD cursor = {(SHORT)saved.cursorColumn, (SHORT)saved.cursorRow};
        SetConsoleCursorPosition(console, cursor);
    }
    PlaceWindow(console, saved.columns, saved.rows, saved.cursorRow, height);
    SetConsoleTextAttribute(console, (WORD)(saved.attribute & 0xFF));
    if (saved.hasCodePages) {
        SetConsoleOutputCP(saved.outputCodePage);
        SetConsoleCP(saved.inputCodePage);
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
