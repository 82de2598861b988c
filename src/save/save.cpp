// save.cpp: the save operation. It captures the whole console screen buffer
// (cells, cursor, attribute, window height, code pages) with the capture
// time and the computer's name into a Glimpset file, records the outcome in
// the last-name store and plays the shutter sound.
//
// Only a file on disk is written: a name that opens the console, NUL, a
// port or a pipe is refused as soon as it is open, before a byte is
// written, and nothing is created.
//
// A failed save never leaves a damaged file under the target name where
// that can be helped. Without /O the target is created new and removed
// again when the save fails. With /O the file is written beside the target
// under a name of its own and moved over the target only once it is
// complete, so the file it replaces survives any failure. Where a move
// would be wrong (the target is a link, or has more than one name, which a
// move would split off), or cannot be made (the folder refuses new files,
// or refuses the move), the target is written in place once the whole
// screen is read and held in memory: its old content is then lost only if
// that last write fails. A target that cannot be replaced at all (held open
// elsewhere, read-only, hidden or system) is refused at opening, before the
// console is read.
//
// A made-up name was chosen because nothing was there: it is only ever
// created new, never opened to replace a file, and when another save takes
// it first the save moves on to the next free name.
//
// A console buffer that the readers would refuse (outside 22 to 512 columns
// or 8 to 9999 rows) is not saved: the file could never be read back.
#include "save/save.h"

#include "command/options.h"
#include "common/diskfile.h"
#include "common/errors.h"
#include "common/memory.h"
#include "common/text.h"
#include "format/glimformat.h"
#include "plugin/exports.h"
#include "plugin/host.h"
#include "plugin/lastname.h"
#include "save/defaultname.h"
#include "save/encoder.h"

#include <assert.h>
#include <string.h>

static const WCHAR NameErrorText[] = TEXT("Error generating glimpset name in \"%s\"\r\n");
static const WCHAR ConsoleOpenText[] = TEXT("Error opening console:\r\n");
static const WCHAR BufferInfoText[] = TEXT("Error getting console buffer info:\r\n");
static const WCHAR BufferSizeText[] =
    TEXT("Can\u2019t save a console buffer of %d columns x %d rows (the limits are 22 to 512 "
         "columns and 8 to 9999 rows)\r\n");
static const WCHAR AllocationText[] = TEXT("Can\u2019t allocate temporary buffers\r\n");
static const WCHAR FileOpenText[] = TEXT("Error opening \"%s\":\r\n");
static const WCHAR NotOnDiskText[] = TEXT("\"%s\" is not a file on disk.\r\n");
static const WCHAR ConsoleReadText[] = TEXT("Error reading data from console buffer:\r\n");
static const WCHAR FileWriteText[] = TEXT("Error writing to file \"%s\":\r\n");

static const WCHAR CurrentDirectoryVariable[] = TEXT("%_cwds");
static const WCHAR ConsoleName[] = TEXT("CONOUT$");
static const WCHAR SoundName[] = TEXT("CAMERA4");
// The file a replacing save writes before it moves it over the target. A
// save killed between the two leaves it behind: its fixed prefix and its
// extension make it recognisable as ours, never taken for the user's file
// (and no *.glim pattern matches it), and the next save steps over it
// rather than reuse it. The stepping over is tested by a save beside such
// files (save_test).
static const WCHAR TemporaryFormat[] = TEXT("~glimpset-%u.tmp");

enum {
    BLOCK_CELLS = 8192,          // most cells read from the console in one call
    COMPUTER_NAME_CAPACITY = 16, // the header's field, terminator included
    NAME_CAPACITY = 32,          // a temporary file's name
    TEMPORARY_ATTEMPTS = 100,    // names tried for the temporary file
};

enum LastNameOutcome {
    LAST_NAME_UNCHANGED,
    LAST_NAME_ERROR,
    LAST_NAME_SAVED,
};

// Opens `path` for reading and writing, shared for reading, with
// `disposition`, and makes sure it is a file on disk. Returns the handle;
// or INVALID_HANDLE_VALUE with *device TRUE when it opened something else
// (closed again, nothing created), or with the system's code in *error.
static HANDLE OpenDiskFile(const WCHAR *path, DWORD disposition, DWORD *error, BOOL *device) {
    *device = FALSE;
    *error = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return INVALID_HANDLE_VALUE;
    }
    DiskFileCheck check = CheckDiskFile(file);
    if (check == DISK_FILE) {
        return file;
    }
    *device = check == NOT_DISK_FILE;
    *error = GetLastError();
    CloseHandle(file);
    // A device creates nothing; a file made new that cannot be told from
    // one goes again.
    if (!*device && disposition == CREATE_NEW) {
        DeleteFileW(path);
    }
    return INVALID_HANDLE_VALUE;
}

// The message for a file that OpenDiskFile could not give: `message` (the
// opening or the writing one) with the system's text, or the one for a
// device.
static void ReportOpenFailure(const WCHAR *message, DWORD error, BOOL device, const WCHAR *path) {
    if (device) {
        ReportPlain(NotOnDiskText, path);
    } else {
        ReportSystemCode(error, message, path);
    }
}

// 0 when the target of a save with /O may be replaced; ERROR_ACCESS_DENIED
// when it is a read-only, hidden or system file, which a replacing open with
// normal attributes would refuse (a file moved over it would not be). When
// the attributes cannot be read (there is no such file, most often) the save
// goes on, and opening the target reports what is wrong.
static DWORD ReplaceError(const WCHAR *path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    const DWORD refused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attributes & refused) != 0 ? (DWORD)ERROR_ACCESS_DENIED : 0;
}

// A path with its namespace prefix taken away, so that "\\?\C:\a" compares
// equal to "C:\a", and "\\?\UNC\srv\x" to "\\srv\x" (both from the "\" on).
static const WCHAR *Unprefixed(const WCHAR *p) {
    BOOL prefixed = p[0] == '\\' && p[1] == '\\' && (p[2] == '?' || p[2] == '.') && p[3] == '\\';
    if (prefixed && p[2] == '?' && (p[4] | 0x20) == 'u' && (p[5] | 0x20) == 'n' &&
        (p[6] | 0x20) == 'c' && p[7] == '\\') {
        return p + 7;
    }
    if (prefixed) {
        return p + 4;
    }
    return p[0] == '\\' && p[1] == '\\' ? p + 1 : p;
}

// TRUE when the existing target `file` (open, named `path`) must be written
// in place rather than replaced by a move: it has more than one name (a
// move would split its hard links), or `path` reaches it through a link
// (its final path is another; a move would replace the link by a plain
// file). `buffer` (PATH_CAPACITY characters) is scratch space. When the
// system cannot tell, FALSE: the target is replaced as a plain file is.
static BOOL MustWriteInPlace(HANDLE file, const WCHAR *path, WCHAR *buffer) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) && info.nNumberOfLinks > 1) {
        return TRUE;
    }
    DWORD length = GetFinalPathNameByHandleW(file, buffer, PATH_CAPACITY,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= PATH_CAPACITY) {
        return FALSE;
    }
    return CompareNoCaseAZ(Unprefixed(buffer), Unprefixed(path)) != 0;
}

// Creates a new file in the folder of `target` for a save that replaces
// it: "~glimpset-0.tmp", or the first of "~glimpset-1.tmp" ... that is
// free. Returns the open handle with its path in `temporary`
// (PATH_CAPACITY characters), or INVALID_HANDLE_VALUE when none could be
// made (the folder refuses new files, every name is taken, the path would
// not fit): the caller then writes the target in place. Nothing is created
// on failure.
static HANDLE CreateTemporaryFile(const WCHAR *target, WCHAR *temporary) {
    WCHAR name[NAME_CAPACITY];
    BOOL device = FALSE;
    DWORD error = 0;
    int folder = TextLength(target);
    while (folder > 0 && target[folder - 1] != '\\' && target[folder - 1] != '/') {
        folder--;
    }
    if (folder == 0 || TextCopy(temporary, PATH_CAPACITY, target) != 0) {
        return INVALID_HANDLE_VALUE;
    }
    for (unsigned attempt = 0; attempt < TEMPORARY_ATTEMPTS; attempt++) {
        temporary[folder] = 0;
        if (wsprintfW(name, TemporaryFormat, attempt) <= 0 ||
            TextAppend(temporary, PATH_CAPACITY, name) != 0) {
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = OpenDiskFile(temporary, CREATE_NEW, &error, &device);
        if (file != INVALID_HANDLE_VALUE || device ||
            (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Writes the header and the token stream of the held cells to `file`.
// Returns 0, or 2 with the failed write's code as the last error.
static int WriteScreen(HANDLE file, const GlimpsetHeader *header, WORD *tokens,
                       const WORD *characters, const WORD *attributes, DWORD count) {
    DWORD written = 0;
    TokenBuffer out;
    if (!WriteFile(file, header, HEADER_SIZE, &written, nullptr)) {
        return 2;
    }
    out.words = tokens;
    out.fill = 0;
    out.write = FileBlockWriter;
    out.context = file;
    if (EncodeScreen(characters, attributes, count, header->attribute, &out) != 0 ||
        FlushTokens(&out) != 0) {
        return 2;
    }
    return 0;
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
    DWORD error = 0;
    BOOL device = FALSE;
    HANDLE console = INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE target = INVALID_HANDLE_VALUE;
    WORD *tokens = nullptr;
    WORD *characters = nullptr;
    WORD *attributes = nullptr;
    CHAR_INFO *block = nullptr; // one block of cells as the console hands them over
    WCHAR *temporary = nullptr;
    const WCHAR *removeOnFailure = nullptr; // a file this save made under the target's name
    BOOL temporaryMade = FALSE;             // the file beside the target exists
    BOOL replace = (modeFlags & MODE_OVERWRITE) != 0;
    BOOL madeUp = FALSE;
    BOOL inPlace = FALSE;
    int directoryLength = 0;
    int candidate = 0;
    int columns = 0;
    int rows = 0;
    DWORD count = 0;
    DWORD rowsPerBlock = 0;
    UINT inputCodePage = 0;
    UINT outputCodePage = 0;
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
        // The host gives back nothing when the current directory cannot be
        // had or does not fit its expansion: no name can be made up there,
        // and an empty name would only fail to open.
        if (path[0] == 0) {
            ReportPlain(NameErrorText, CurrentDirectoryVariable);
            goto done;
        }
    }
    if (QueryIsDirectory(path) != 0) {
        directoryLength = TextLength(path);
        if (MakeDefaultNameFrom(path, &time, 0, &candidate) != 0) {
            // The directory comes back as it went in.
            ReportPlain(NameErrorText, path);
            goto done;
        }
        madeUp = TRUE;
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
    // The cell arrays start zeroed: rows the console did not read must not
    // carry stale memory.
    tokens = (WORD *)AllocateMemory(TOKEN_BUFFER_WORDS * sizeof(WORD), FALSE);
    if (tokens != nullptr) {
        characters = (WORD *)AllocateMemory(count * sizeof(WORD), TRUE);
    }
    if (characters != nullptr) {
        attributes = (WORD *)AllocateMemory(count * sizeof(WORD), TRUE);
    }
    if (attributes != nullptr) {
        block = (CHAR_INFO *)AllocateMemory(BLOCK_CELLS * sizeof(CHAR_INFO), FALSE);
    }
    replace = replace && !madeUp;
    if (block != nullptr && replace) {
        temporary = (WCHAR *)AllocateMemory(PATH_CAPACITY * sizeof(WCHAR), FALSE);
    }
    if (block == nullptr || (replace && temporary == nullptr)) {
        ReportPlain(AllocationText, nullptr);
        goto done;
    }

    if (madeUp) {
        file = OpenDiskFile(path, CREATE_NEW, &error, &device);
        while (file == INVALID_HANDLE_VALUE &&
               (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)) {
            // Taken since it was made up (another save got there first):
            // never replaced, the next free name is taken instead.
            path[directoryLength] = 0;
            if (MakeDefaultNameFrom(path, &time, candidate + 1, &candidate) != 0) {
                ReportPlain(NameErrorText, path);
                outcome = LAST_NAME_UNCHANGED;
                goto done;
            }
            file = OpenDiskFile(path, CREATE_NEW, &error, &device);
        }
    } else if (!replace) {
        file = OpenDiskFile(path, CREATE_NEW, &error, &device);
    } else {
        error = ReplaceError(path);
        if (error == 0) {
            target = OpenDiskFile(path, OPEN_EXISTING, &error, &device);
        }
        if (target != INVALID_HANDLE_VALUE) {
            inPlace = MustWriteInPlace(target, path, temporary);
            CloseHandle(target);
            target = INVALID_HANDLE_VALUE;
            if (!inPlace) {
                file = CreateTemporaryFile(path, temporary);
                temporaryMade = file != INVALID_HANDLE_VALUE;
                inPlace = !temporaryMade;
            }
        } else if (!device && error == ERROR_FILE_NOT_FOUND) {
            // Nothing to replace: made new, as without /O.
            file = OpenDiskFile(path, CREATE_NEW, &error, &device);
        }
    }
    if (file == INVALID_HANDLE_VALUE && !inPlace) {
        ReportOpenFailure(FileOpenText, error, device, path);
        goto done;
    }
    if (file != INVALID_HANDLE_VALUE && !temporaryMade) {
        removeOnFailure = path;
    }

    memset(computerName, 0, sizeof computerName);
    GetComputerNameW(computerName, &nameSize);
    FillGlimpsetHeader(&header, (modeFlags & MODE_NO_TIME) != 0 ? nullptr : &time, zone.Bias, &info,
                       inputCodePage, outputCodePage, computerName);

    // Whole rows, at most BLOCK_CELLS cells a call, each block read with
    // characters and colours together: one CHAR_INFO per cell, a wide
    // character in both of its cells with their leading and trailing flags,
    // so that every later cell keeps its column. (Read apart, the console
    // gives a wide character once but its attribute twice, and every later
    // character would be stored a cell to the left of its colour.)
    rowsPerBlock = BLOCK_CELLS / (DWORD)columns;
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
        if (!ReadConsoleOutputW(console, block, size, origin, &region)) {
            ReportSystem(ConsoleReadText, nullptr);
            outcome = LAST_NAME_UNCHANGED;
            goto done;
        }
        // Only the rows the console says it read are taken; a console that
        // shrank under the reader leaves the rest as the zeros they were.
        if (region.Top == (SHORT)row && region.Left == 0 && region.Right == columns - 1 &&
            region.Bottom >= region.Top) {
            DWORD cells = (DWORD)(region.Bottom - region.Top + 1) * (DWORD)columns;
            DWORD index = row * (DWORD)columns;
            for (DWORD i = 0; i < cells; i++) {
                characters[index + i] = (WORD)block[i].Char.UnicodeChar;
                attributes[index + i] = block[i].Attributes;
            }
        }
    }
    header.crc = ScreenCrc32(characters, attributes, count);

    if (!inPlace) {
        if (WriteScreen(file, &header, tokens, characters, attributes, count) != 0) {
            ReportSystem(FileWriteText, path);
            goto done;
        }
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        // A refused move (the target is open elsewhere, the folder takes no
        // new name) leaves the target as it was: it is written in place.
        if (temporaryMade) {
            inPlace = !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING);
            temporaryMade = inPlace;
        }
    }
    if (inPlace) {
        // The whole screen is read and held: from here on only the writes
        // can fail, and only their failure loses the old content.
        file = OpenDiskFile(path, TRUNCATE_EXISTING, &error, &device);
        if (file == INVALID_HANDLE_VALUE) {
            ReportOpenFailure(FileWriteText, error, device, path);
            goto done;
        }
        if (WriteScreen(file, &header, tokens, characters, attributes, count) != 0) {
            ReportSystem(FileWriteText, path);
            goto done;
        }
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    removeOnFailure = nullptr;
    outcome = LAST_NAME_SAVED;
    result = 0;

done:
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (removeOnFailure != nullptr) {
        DeleteFileW(removeOnFailure);
    }
    if (temporaryMade) {
        DeleteFileW(temporary);
    }
    FreeMemory(temporary);
    FreeMemory(block);
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
