// save.cpp: the save operation. It captures the whole console screen buffer
// (cells, cursor, attribute, window height, code pages) with the capture
// time and the computer's name into a Glimpset file, records the outcome in
// the last-name store and plays the shutter sound.
//
// Where it writes (a made-up name, a new file, a replace by move, a write
// in place) and what a failure removes are the target's rules, in
// target.h: the save names the target, opens it, captures the console into
// memory, and has the target write the file and commit it.
//
// A console buffer that the readers would refuse (outside 22 to 512 columns
// or 8 to 9999 rows) is not saved: the file could never be read back.
#include "save/save.h"

#include "command/options.h"
#include "common/errors.h"
#include "common/memory.h"
#include "common/text.h"
#include "format/glimformat.h"
#include "plugin/exports.h"
#include "plugin/host.h"
#include "plugin/lastname.h"
#include "save/defaultname.h"
#include "save/encoder.h"
#include "save/target.h"

#include <assert.h>
#include <string.h>

static const WCHAR NameErrorText[] = TEXT("Error generating glimpset name in \"%s\"\r\n");
static const WCHAR ConsoleOpenText[] = TEXT("Error opening console:\r\n");
static const WCHAR BufferInfoText[] = TEXT("Error getting console buffer info:\r\n");
static const WCHAR BufferSizeText[] =
    TEXT("Can\u2019t save a console buffer of %d columns x %d rows (the limits are 22 to 512 "
         "columns and 8 to 9999 rows)\r\n");
static const WCHAR AllocationText[] = TEXT("Can\u2019t allocate temporary buffers\r\n");
static const WCHAR ConsoleReadText[] = TEXT("Error reading data from console buffer:\r\n");

static const WCHAR CurrentDirectoryVariable[] = TEXT("%_cwds");
static const WCHAR ConsoleName[] = TEXT("CONOUT$");
static const WCHAR SoundName[] = TEXT("CAMERA4");

enum {
    BLOCK_CELLS = 8192,          // most cells read from the console in one call
    COMPUTER_NAME_CAPACITY = 16, // the header's field, terminator included
};

enum LastNameOutcome {
    LAST_NAME_UNCHANGED,
    LAST_NAME_ERROR,
    LAST_NAME_SAVED,
};

// The captured screen, as it is written: the header, the two cell arrays
// and the buffer the token stream goes through.
struct Capture {
    GlimpsetHeader header;
    WORD *tokens;
    WORD *characters;
    WORD *attributes;
    CHAR_INFO *block; // one block of cells as the console hands them over
    DWORD count;
};

// Names the target: the current directory for an empty path, and a made-up
// name in a directory. Returns 0, or 2 after the message (nothing is open
// then, and LastName keeps its value).
static int NameTarget(SaveTarget *target) {
    WCHAR *path = target->path;
    if (path[0] == 0) {
        TextCopy(path, PATH_CAPACITY, CurrentDirectoryVariable);
        ExpandVariables(path, 1);
        // The host gives back nothing when the current directory cannot be
        // had or does not fit its expansion: no name can be made up there,
        // and an empty name would only fail to open.
        if (path[0] == 0) {
            ReportPlain(NameErrorText, CurrentDirectoryVariable);
            return 2;
        }
    }
    if (QueryIsDirectory(path) != 0) {
        target->folderLength = TextLength(path);
        if (MakeDefaultNameFrom(path, target->time, 0, &target->candidate) != 0) {
            // The directory comes back as it went in.
            ReportPlain(NameErrorText, path);
            return 2;
        }
        target->rule = TARGET_MADE_UP;
    }
    return 0;
}

static BOOL SizeIsReadable(int columns, int rows) {
    return columns >= MIN_COLUMNS && columns <= MAX_COLUMNS && rows >= MIN_ROWS && rows <= MAX_ROWS;
}

// Allocates the token buffer, the cell arrays of `count` cells and the
// block the console is read through. The cell arrays start zeroed: rows the
// console did not read must not carry stale memory. Returns 0, or 2 after
// the message (what was allocated stays for FreeCapture).
static int AllocateCapture(Capture *screen, DWORD count) {
    screen->count = count;
    screen->tokens = (WORD *)AllocateMemory(TOKEN_BUFFER_WORDS * sizeof(WORD), FALSE);
    if (screen->tokens != nullptr) {
        screen->characters = (WORD *)AllocateMemory(count * sizeof(WORD), TRUE);
    }
    if (screen->characters != nullptr) {
        screen->attributes = (WORD *)AllocateMemory(count * sizeof(WORD), TRUE);
    }
    if (screen->attributes != nullptr) {
        screen->block = (CHAR_INFO *)AllocateMemory(BLOCK_CELLS * sizeof(CHAR_INFO), FALSE);
    }
    if (screen->block == nullptr) {
        ReportPlain(AllocationText, nullptr);
        return 2;
    }
    return 0;
}

static void FreeCapture(Capture *screen) {
    FreeMemory(screen->block);
    FreeMemory(screen->attributes);
    FreeMemory(screen->characters);
    FreeMemory(screen->tokens);
}

// Reads the cells of the console's `columns` x `rows` buffer into the two
// arrays in blocks of whole rows. Returns 0, or 2 after the message.
static int ReadCells(HANDLE console, int columns, int rows, Capture *screen) {
    // Whole rows, at most BLOCK_CELLS cells a call, each block read with
    // characters and colours together: one CHAR_INFO per cell, a wide
    // character in both of its cells with their leading and trailing flags,
    // so that every later cell keeps its column. (Read apart, the console
    // gives a wide character once but its attribute twice, and every later
    // character would be stored a cell to the left of its colour.)
    DWORD rowsPerBlock = BLOCK_CELLS / (DWORD)columns;
    if (rowsPerBlock == 0) {
        rowsPerBlock = 1;
    }
    for (DWORD row = 0; row < (DWORD)rows; row += rowsPerBlock) {
        DWORD blockRows = (DWORD)rows - row < rowsPerBlock ? (DWORD)rows - row : rowsPerBlock;
        // The readable sizes keep a row within the block buffer.
        assert(blockRows * (DWORD)columns <= BLOCK_CELLS);
        COORD size = {(SHORT)columns, (SHORT)blockRows};
        COORD origin = {0, 0};
        SMALL_RECT region = {0, (SHORT)row, (SHORT)(columns - 1), (SHORT)(row + blockRows - 1)};
        if (!ReadConsoleOutputW(console, screen->block, size, origin, &region)) {
            ReportSystem(ConsoleReadText, nullptr);
            return 2;
        }
        // Only the rows the console says it read are taken; a console that
        // shrank under the reader leaves the rest as the zeros they were.
        if (region.Top == (SHORT)row && region.Left == 0 && region.Right == columns - 1 &&
            region.Bottom >= region.Top) {
            DWORD cells = (DWORD)(region.Bottom - region.Top + 1) * (DWORD)columns;
            DWORD index = row * (DWORD)columns;
            for (DWORD i = 0; i < cells; i++) {
                screen->characters[index + i] = (WORD)screen->block[i].Char.UnicodeChar;
                screen->attributes[index + i] = screen->block[i].Attributes;
            }
        }
    }
    return 0;
}

// Writes the header and the token stream of the captured cells to `file`
// (a TargetWriter). Returns 0, or 2 with the failed write's code as the
// last error.
static int WriteScreen(HANDLE file, void *content) {
    Capture *screen = (Capture *)content;
    DWORD written = 0;
    TokenBuffer out;
    if (!WriteFile(file, &screen->header, HEADER_SIZE, &written, nullptr)) {
        return 2;
    }
    out.words = screen->tokens;
    out.fill = 0;
    out.write = FileBlockWriter;
    out.context = file;
    if (EncodeScreen(screen->characters, screen->attributes, screen->count,
                     screen->header.attribute, &out) != 0 ||
        FlushTokens(&out) != 0) {
        return 2;
    }
    return 0;
}

int SaveScreen(WCHAR *path, DWORD modeFlags) {
    SYSTEMTIME time;
    TIME_ZONE_INFORMATION zone;
    CONSOLE_SCREEN_BUFFER_INFO info;
    Capture screen;
    WCHAR computerName[COMPUTER_NAME_CAPACITY];
    DWORD nameSize = COMPUTER_NAME_CAPACITY;
    HANDLE console = INVALID_HANDLE_VALUE;
    TargetRule rule = (modeFlags & MODE_OVERWRITE) != 0 ? TARGET_REPLACE : TARGET_NEW;
    SaveTarget target = {path, rule, &time, 0, 0, INVALID_HANDLE_VALUE, nullptr, FALSE, FALSE};
    int columns = 0;
    int rows = 0;
    int opened = 0;
    UINT inputCodePage = 0;
    UINT outputCodePage = 0;
    LastNameOutcome outcome = LAST_NAME_UNCHANGED;
    int result = 2;

    memset(&screen, 0, sizeof screen);
    // One capture time for the header and for a made-up name.
    memset(&time, 0, sizeof time);
    memset(&zone, 0, sizeof zone);
    GetLocalTime(&time);
    GetTimeZoneInformation(&zone);
    if (NameTarget(&target) != 0) {
        goto done;
    }

    outcome = LAST_NAME_ERROR;
    console = CreateFileW(ConsoleName, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        ReportSystem(ConsoleOpenText, nullptr);
        goto done;
    }
    if (!GetConsoleScreenBufferInfo(console, &info)) {
        ReportSystem(BufferInfoText, nullptr);
        goto done;
    }
    columns = info.dwSize.X;
    rows = info.dwSize.Y;
    // The readers take no other size, so such a file could never be
    // restored or reported: it is refused before anything is written.
    if (!SizeIsReadable(columns, rows)) {
        ReportPlainNumbers(BufferSizeText, columns, rows);
        goto done;
    }
    inputCodePage = GetConsoleCP();
    outputCodePage = GetConsoleOutputCP();
    if (AllocateCapture(&screen, (DWORD)columns * (DWORD)rows) != 0) {
        goto done;
    }

    // Opened before the console is read, so that a target that cannot be
    // written is refused before the long part.
    opened = OpenSaveTarget(&target);
    if (opened != 0) {
        outcome = opened < 0 ? LAST_NAME_UNCHANGED : LAST_NAME_ERROR;
        goto done;
    }

    memset(computerName, 0, sizeof computerName);
    GetComputerNameW(computerName, &nameSize);
    FillGlimpsetHeader(&screen.header, (modeFlags & MODE_NO_TIME) != 0 ? nullptr : &time, zone.Bias,
                       &info, inputCodePage, outputCodePage, computerName);
    if (ReadCells(console, columns, rows, &screen) != 0) {
        outcome = LAST_NAME_UNCHANGED;
        goto done;
    }
    screen.header.crc = ScreenCrc32(screen.characters, screen.attributes, screen.count);

    if (CommitSaveTarget(&target, WriteScreen, &screen) != 0) {
        goto done;
    }
    outcome = LAST_NAME_SAVED;
    result = 0;

done:
    AbandonSaveTarget(&target);
    FreeCapture(&screen);
    if (console != INVALID_HANDLE_VALUE) {
        CloseHandle(console);
    }
    if (outcome == LAST_NAME_SAVED) {
        SetLastName(path);
    } else if (outcome == LAST_NAME_ERROR) {
        SetLastName(nullptr);
    }
    if (result == 0 && (modeFlags & MODE_QUIET) == 0) {
        PlaySoundW(SoundName, ModuleHandle, SND_RESOURCE | SND_ASYNC);
    }
    return result;
}
