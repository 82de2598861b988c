// save.cpp: the save operation. It captures the whole console screen buffer
// (cells, cursor, attribute, window height, code pages) with the capture
// time and the computer's name into a Glimpset file, records the outcome in
// the last-name store and plays the shutter sound.
//
// A failed save never leaves a damaged file under the target name: without
// /O the target is created new and removed again when the save fails; with
// /O the file is written beside the target under a name of its own and
// moved over the target only once it is complete, so the file it replaces
// survives any failure. A read-only, hidden or system target, which a
// replacing open would refuse, is refused as such an open would refuse it:
// with the opening message, before the console is read.
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

#include <string.h>

static const WCHAR NameErrorText[] = TEXT("Error generating glimpset name in \"%s\"\r\n");
static const WCHAR ConsoleOpenText[] = TEXT("Error opening console:\r\n");
static const WCHAR BufferInfoText[] = TEXT("Error getting console buffer info:\r\n");
static const WCHAR BufferSizeText[] =
    TEXT("Can\u2019t save a console buffer of %d columns x %d rows (the limits are 22 to 512 "
         "columns and 8 to 9999 rows)\r\n");
static const WCHAR AllocationText[] = TEXT("Can\u2019t allocate temporary buffers\r\n");
static const WCHAR FileOpenText[] = TEXT("Error opening \"%s\":\r\n");
static const WCHAR ConsoleReadText[] = TEXT("Error reading data from console buffer:\r\n");
static const WCHAR FileWriteText[] = TEXT("Error writing to file \"%s\":\r\n");

static const WCHAR CurrentDirectoryVariable[] = TEXT("%_cwds");
static const WCHAR ConsoleName[] = TEXT("CONOUT$");
static const WCHAR SoundName[] = TEXT("CAMERA4");
static const WCHAR TemporarySuffix[] = TEXT(".glimtmp");
static const WCHAR TemporaryCounterFormat[] = TEXT("-%u.glimtmp");

enum {
    BLOCK_CELLS = 8192,          // most cells read from the console in one call
    COMPUTER_NAME_CAPACITY = 16, // the header's field, terminator included
    SUFFIX_CAPACITY = 32,        // a temporary file's suffix
    TEMPORARY_ATTEMPTS = 100,    // names tried for the temporary file
};

enum LastNameOutcome {
    LAST_NAME_UNCHANGED,
    LAST_NAME_ERROR,
    LAST_NAME_SAVED,
};

static HANDLE CreateOutputFile(const WCHAR *path) {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Creates a new file beside `target` for a save that replaces it: the
// target's name followed by ".glimtmp", or by "-1.glimtmp", "-2.glimtmp" ...
// when a file of that name is in the way (left by an earlier save that did
// not end). Returns the open handle with its name in `temporary`
// (PATH_CAPACITY characters), or INVALID_HANDLE_VALUE with the code of the
// error in *error; nothing is created then.
static HANDLE CreateTemporaryFile(const WCHAR *target, WCHAR *temporary, DWORD *error) {
    WCHAR suffix[SUFFIX_CAPACITY];
    *error = ERROR_FILE_EXISTS;
    for (unsigned attempt = 0; attempt < TEMPORARY_ATTEMPTS; attempt++) {
        if (attempt == 0) {
            TextCopy(suffix, SUFFIX_CAPACITY, TemporarySuffix);
        } else {
            wsprintfW(suffix, TemporaryCounterFormat, attempt);
        }
        if (TextCopy(temporary, PATH_CAPACITY, target) != 0 ||
            TextAppend(temporary, PATH_CAPACITY, suffix) != 0) {
            *error = ERROR_FILENAME_EXCED_RANGE;
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateOutputFile(temporary);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
        *error = GetLastError();
        if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS) {
            return INVALID_HANDLE_VALUE;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// 0 when the target of a save with /O may be replaced; ERROR_ACCESS_DENIED
// when it is a read-only, hidden or system file, which a replacing open with
// normal attributes would refuse (a file moved over it would not be). When
// the attributes cannot be read (there is no such file, most often) the save
// goes on, and creating the file beside the target or moving it over the
// target reports what is wrong.
static DWORD ReplaceError(const WCHAR *path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    const DWORD refused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attributes & refused) != 0 ? (DWORD)ERROR_ACCESS_DENIED : 0;
}

static BOOL SizeIsReadable(int columns, int rows) {
    return columns >= MIN_COLUMNS && columns <= MAX_COLUMNS && rows >= MIN_ROWS && rows <= MAX_ROWS;
}

int SaveScreen(WCHAR *path, DWORD modeFlags) {
    SYSTEMTIME time;
    TIME_ZONE_INFORMATION zone;
    CONSOLE_SCREEN_BUFFER_INFO info;
    GlimpsetHeader header;
    WCHAR computerName[COMPUTER_NAME_CAPACITY];
    DWORD nameSize = COMPUTER_NAME_CAPACITY;
    DWORD written = 0;
    DWORD error = 0;
    HANDLE console = INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    WORD *tokens = nullptr;
    WORD *characters = nullptr;
    WORD *attributes = nullptr;
    WCHAR *temporary = nullptr;
    const WCHAR *created = nullptr; // the file this save made, removed on failure
    BOOL replace = (modeFlags & MODE_OVERWRITE) != 0;
    int columns = 0;
    int rows = 0;
    DWORD count = 0;
    DWORD rowsPerBlock = 0;
    UINT inputCodePage = 0;
    UINT outputCodePage = 0;
    TokenBuffer out;
    LastNameOutcome outcome = LAST_NAME_UNCHANGED;
    int result = 2;

    // One capture time for the header and for a made-up name.
    memset(&time, 0, sizeof time);
    memset(&zone, 0, sizeof zone);
    GetLocalTime(&time);
    GetTimeZoneInformation(&zone);

    if (path[0] == 0) {
        TextCopy(path, PATH_CAPACITY, CurrentDirectoryVariable);
        ExpandVariables(path, 1);
    }
    if (QueryIsDirectory(path) != 0 && MakeDefaultName(path, &time) != 0) {
        // MakeDefaultName gives the directory back as it came.
        ReportPlain(NameErrorText, path);
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

    count = (DWORD)columns * (DWORD)rows;
    // The cell arrays start zeroed: the console's count of cells read is not
    // looked at, and cells it did not fill must not carry stale memory.
    tokens = (WORD *)AllocateMemory(TOKEN_BUFFER_WORDS * sizeof(WORD), FALSE);
    if (tokens != nullptr) {
        characters = (WORD *)AllocateMemory(count * sizeof(WORD), TRUE);
    }
    if (characters != nullptr) {
        attributes = (WORD *)AllocateMemory(count * sizeof(WORD), TRUE);
    }
    if (attributes != nullptr && replace) {
        temporary = (WCHAR *)AllocateMemory(PATH_CAPACITY * sizeof(WCHAR), FALSE);
    }
    if (attributes == nullptr || (replace && temporary == nullptr)) {
        ReportPlain(AllocationText, nullptr);
        goto done;
    }

    if (replace) {
        error = ReplaceError(path);
        if (error == 0) {
            file = CreateTemporaryFile(path, temporary, &error);
        }
        created = temporary;
    } else {
        file = CreateOutputFile(path);
        error = GetLastError();
        created = path;
    }
    if (file == INVALID_HANDLE_VALUE) {
        created = nullptr;
        ReportSystemCode(error, FileOpenText, path);
        goto done;
    }

    memset(computerName, 0, sizeof computerName);
    GetComputerNameW(computerName, &nameSize);
    FillGlimpsetHeader(&header, (modeFlags & MODE_NO_TIME) != 0 ? nullptr : &time, zone.Bias, &info,
                       inputCodePage, outputCodePage, computerName);

    // Whole rows, at most BLOCK_CELLS cells a call, but never less than a row.
    rowsPerBlock = BLOCK_CELLS / (DWORD)columns;
    if (rowsPerBlock == 0) {
        rowsPerBlock = 1;
    }
    for (DWORD row = 0; row < (DWORD)rows; row += rowsPerBlock) {
        DWORD blockRows = (DWORD)rows - row < rowsPerBlock ? (DWORD)rows - row : rowsPerBlock;
        DWORD cells = blockRows * (DWORD)columns;
        DWORD index = row * (DWORD)columns;
        COORD at = {0, (SHORT)row};
        DWORD got = 0;
        if (!ReadConsoleOutputCharacterW(console, (LPWSTR)(characters + index), cells, at, &got) ||
            !ReadConsoleOutputAttribute(console, attributes + index, cells, at, &got)) {
            ReportSystem(ConsoleReadText, nullptr);
            outcome = LAST_NAME_UNCHANGED;
            goto done;
        }
    }
    header.crc = ScreenCrc32(characters, attributes, count);

    if (!WriteFile(file, &header, HEADER_SIZE, &written, nullptr)) {
        ReportSystem(FileWriteText, path);
        goto done;
    }
    out.words = tokens;
    out.fill = 0;
    out.write = FileBlockWriter;
    out.context = file;
    if (EncodeScreen(characters, attributes, count, (WORD)(info.wAttributes & 0xFF), &out) != 0 ||
        FlushTokens(&out) != 0) {
        ReportSystem(FileWriteText, path);
        goto done;
    }
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    if (replace && !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
        ReportSystem(FileWriteText, path);
        goto done;
    }
    created = nullptr;
    outcome = LAST_NAME_SAVED;
    result = 0;

done:
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (created != nullptr) {
        DeleteFileW(created);
    }
    FreeMemory(temporary);
    FreeMemory(attributes);
    FreeMemory(characters);
    FreeMemory(tokens);
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
