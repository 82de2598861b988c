// hostio.cpp: glimhost's console and redirected input and output: the -o
// and -e files, the lines of a batch file or a pipe in their encodings, the
// prompt and the lines typed at it, and the system's texts for errors. The
// text itself goes out through the host's output services, so a console
// gets UTF-16 and a file or pipe gets UTF-8. The texts are in glimhost.cpp.
#include "host/glimhost.h"
#include "host/hoststate.h"
#include "host/hostnames.h"

enum {
    LINE_BYTES = 65536,
    READ_CHUNK = 8192,
    FINAL_PATH_CAPACITY = 32768, // the longest path the system gives
};

struct LineReader {
    HANDLE handle;
    unsigned char chunk[READ_CHUNK];
    int position;
    int filled;
    bool atEnd;
    bool started;
    bool utf16;
};

// The standard handles as they were before StartOutput, and its files.
static bool Started = false;
static HANDLE OriginalOut = nullptr;
static HANDLE OriginalErr = nullptr;
static HANDLE OutFile = INVALID_HANDLE_VALUE;
static HANDLE ErrFile = INVALID_HANDLE_VALUE;
// The console for the prompt: standard output as it was at the start, when
// that is a console (the prompt stays out of an -o file).
static HANDLE PromptConsole = nullptr;

static unsigned char LineBytes[LINE_BYTES];

HANDLE StdErr(void) {
    return GetStdHandle(STD_ERROR_HANDLE);
}

void ErrorText(DWORD code, WCHAR *buffer) {
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_MAX_WIDTH_MASK,
                             nullptr, code, 0, buffer, ERROR_CAPACITY, nullptr);
    if (n == 0) {
        Sprintf(buffer, FORMAT_ERROR_CODE, code);
        return;
    }
    int length = HostLength(buffer);
    while (length > 0 && (buffer[length - 1] == TEXT(' ') || buffer[length - 1] == TEXT('\r') ||
                          buffer[length - 1] == TEXT('\n'))) {
        buffer[--length] = 0;
    }
}

void ReportCannotOpen(const WCHAR *path, DWORD code) {
    WCHAR error[ERROR_CAPACITY];
    ErrorText(code, error);
    Qprintf(StdErr(), MSG_CANNOT_OPEN, path, error);
}

// ---- The -o and -e files.

static HANDLE CreateOutput(const WCHAR *path) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ReportCannotOpen(path, GetLastError());
    }
    return file;
}

// Whether two names are one text once made full: the test for names that
// reach nothing a file index tells apart (a device such as NUL).
static bool SameFullPath(const WCHAR *a, const WCHAR *b) {
    WCHAR fullA[LINE_CAPACITY];
    WCHAR fullB[LINE_CAPACITY];
    DWORD na = GetFullPathNameW(a, LINE_CAPACITY, fullA, nullptr);
    DWORD nb = GetFullPathNameW(b, LINE_CAPACITY, fullB, nullptr);
    if (na == 0 || nb == 0 || na >= LINE_CAPACITY || nb >= LINE_CAPACITY) {
        return false;
    }
    return lstrcmpiW(fullA, fullB) == 0;
}

// What identifies the file open as `file`: its volume serial number and
// file index; and where the file system gives every file the index 0 (as
// some network shares do), its final path, in `finalPath`
// (FINAL_PATH_CAPACITY characters), which is empty otherwise. False when
// the file system cannot say.
static bool ReadIdentity(HANDLE file, BY_HANDLE_FILE_INFORMATION *info, WCHAR *finalPath) {
    finalPath[0] = 0;
    if (!GetFileInformationByHandle(file, info)) {
        return false;
    }
    if (info->nFileIndexHigh != 0 || info->nFileIndexLow != 0) {
        return true;
    }
    DWORD length = GetFinalPathNameByHandleW(file, finalPath, FINAL_PATH_CAPACITY,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length < FINAL_PATH_CAPACITY;
}

// Whether `path` reaches the file open as `file` (the -o file), under any
// of its names: its "\\?\" form, a hard link, a symbolic link, another
// case. Two handles on one file would each write from their own position,
// over each other's lines. `path` is opened for no access at all and
// shared with everyone, only to ask which file it is; a name that reaches
// nothing is not the file. Where either file cannot tell its identity (a
// device), the full names are compared as text.
static bool ReachesFile(const WCHAR *path, HANDLE file, const WCHAR *filePath) {
    bool same = false;
    HANDLE other = INVALID_HANDLE_VALUE;
    WCHAR *finalPaths = nullptr;
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION two;
    other = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    if (other == INVALID_HANDLE_VALUE) {
        goto done;
    }
    // Two final paths, on the heap: each may be as long as the system allows.
    finalPaths = static_cast<WCHAR *>(
        HeapAlloc(GetProcessHeap(), 0, 2 * FINAL_PATH_CAPACITY * sizeof(WCHAR)));
    if (finalPaths == nullptr) {
        goto done;
    }
    if (!ReadIdentity(file, &one, finalPaths) ||
        !ReadIdentity(other, &two, finalPaths + FINAL_PATH_CAPACITY)) {
        same = SameFullPath(filePath, path);
        goto done;
    }
    same = one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
           one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow &&
           lstrcmpiW(finalPaths, finalPaths + FINAL_PATH_CAPACITY) == 0;
done:
    if (finalPaths != nullptr) {
        HeapFree(GetProcessHeap(), 0, finalPaths);
    }
    if (other != INVALID_HANDLE_VALUE) {
        CloseHandle(other);
    }
    return same;
}

bool StartOutput(const WCHAR *outPath, const WCHAR *errPath) {
    Started = true;
    OriginalOut = GetStdHandle(STD_OUTPUT_HANDLE);
    OriginalErr = GetStdHandle(STD_ERROR_HANDLE);
    if (outPath != nullptr) {
        OutFile = CreateOutput(outPath);
        if (OutFile == INVALID_HANDLE_VALUE) {
            return false;
        }
        SetStdHandle(STD_OUTPUT_HANDLE, OutFile);
    }
    if (errPath != nullptr) {
        // The -o file exists by now: an -e name that reaches it, by any
        // name, shares its handle rather than truncating it again.
        if (outPath != nullptr && ReachesFile(errPath, OutFile, outPath)) {
            SetStdHandle(STD_ERROR_HANDLE, OutFile);
        } else {
            ErrFile = CreateOutput(errPath);
            if (ErrFile == INVALID_HANDLE_VALUE) {
                return false;
            }
            SetStdHandle(STD_ERROR_HANDLE, ErrFile);
        }
    }
    if (IsConsole(OriginalOut)) {
        PromptConsole = OriginalOut;
    }
    HostSetOutputBuffering(1);
    return true;
}

void EndOutput(void) {
    if (!Started) {
        return;
    }
    Started = false;
    // Whatever is gathered goes out before the files are closed: also what
    // exit N or a failed plugin load left.
    HostSetOutputBuffering(0);
    SetStdHandle(STD_OUTPUT_HANDLE, OriginalOut);
    SetStdHandle(STD_ERROR_HANDLE, OriginalErr);
    if (ErrFile != INVALID_HANDLE_VALUE) {
        CloseHandle(ErrFile);
        ErrFile = INVALID_HANDLE_VALUE;
    }
    if (OutFile != INVALID_HANDLE_VALUE) {
        CloseHandle(OutFile);
        OutFile = INVALID_HANDLE_VALUE;
    }
}

bool IsPipe(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) == FILE_TYPE_PIPE;
}

// ---- Lines from a file, a pipe or the console.

LineReader *OpenLineReader(HANDLE handle) {
    LineReader *reader =
        static_cast<LineReader *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *reader));
    if (reader != nullptr) {
        reader->handle = handle;
    }
    return reader;
}

void CloseLineReader(LineReader *reader) {
    if (reader != nullptr) {
        HeapFree(GetProcessHeap(), 0, reader);
    }
}

static bool NextByte(LineReader *reader, unsigned char *byte) {
    if (reader->position == reader->filled) {
        if (reader->atEnd) {
            return false;
        }
        DWORD got = 0;
        HostFlushOutput();
        if (!ReadFile(reader->handle, reader->chunk, READ_CHUNK, &got, nullptr) || got == 0) {
            reader->atEnd = true;
            return false;
        }
        reader->position = 0;
        reader->filled = static_cast<int>(got);
    }
    *byte = reader->chunk[reader->position++];
    return true;
}

int ReadLine(LineReader *reader, WCHAR *line, int capacity) {
    int count = 0;
    bool tooLong = false;
    bool any = false;
    unsigned char byte;
    if (!reader->started) {
        reader->started = true;
        unsigned char first;
        if (NextByte(reader, &first)) {
            if (first == 0xFF && reader->position < reader->filled &&
                reader->chunk[reader->position] == 0xFE) {
                reader->position++;
                reader->utf16 = true;
            } else {
                reader->position--;
            }
        }
    }
    while (NextByte(reader, &byte)) {
        any = true;
        if (reader->utf16) {
            unsigned char high;
            if (!NextByte(reader, &high)) {
                break;
            }
            if (byte == '\n' && high == 0) {
                break;
            }
            if (count + 2 <= LINE_BYTES) {
                LineBytes[count++] = byte;
                LineBytes[count++] = high;
            } else {
                tooLong = true;
            }
        } else {
            if (byte == '\n') {
                break;
            }
            if (count < LINE_BYTES) {
                LineBytes[count++] = byte;
            } else {
                tooLong = true;
            }
        }
    }
    if (!any) {
        return 0;
    }
    if (tooLong) {
        return -1;
    }
    int n = 0;
    if (reader->utf16) {
        for (int i = 0; i + 1 < count; i += 2) {
            if (n == capacity - 1) {
                return -1;
            }
            line[n++] = static_cast<WCHAR>(LineBytes[i] | (LineBytes[i + 1] << 8));
        }
    } else {
        const char *bytes = reinterpret_cast<const char *>(LineBytes);
        int skip = 0;
        if (count >= 3 && LineBytes[0] == 0xEF && LineBytes[1] == 0xBB && LineBytes[2] == 0xBF) {
            skip = 3;
        }
        if (count > skip) {
            n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes + skip, count - skip, line,
                                    capacity - 1);
            if (n == 0 && GetLastError() == ERROR_NO_UNICODE_TRANSLATION) {
                n = MultiByteToWideChar(CP_ACP, 0, bytes + skip, count - skip, line, capacity - 1);
            }
            if (n == 0) {
                return -1;
            }
        }
    }
    if (n > 0 && line[n - 1] == TEXT('\r')) {
        n--;
    }
    line[n] = 0;
    return 1;
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Reads one typed line from the console. Returns 1 for a line, 0 at the
// end of the input (Ctrl+Z, or the console is gone), -1 for a line too long.
static int ReadConsoleLine(HANDLE input, WCHAR *line, int capacity) {
    int n = 0;
    bool tooLong = false;
    for (;;) {
        WCHAR piece[READ_CHUNK];
        DWORD got = 0;
        if (!ReadConsoleW(input, piece, READ_CHUNK, &got, nullptr) || got == 0) {
            if (n == 0 && !tooLong) {
                return 0;
            }
            break;
        }
        bool end = false;
        for (DWORD i = 0; i < got; i++) {
            if (piece[i] == TEXT('\n')) {
                end = true;
                break;
            }
            if (n < capacity - 1) {
                line[n++] = piece[i];
            } else {
                tooLong = true;
            }
        }
        if (end) {
            break;
        }
    }
    if (n > 0 && line[n - 1] == TEXT('\r')) {
        n--;
    }
    line[n] = 0;
    if (tooLong) {
        return -1;
    }
    return line[0] == 0x1A ? 0 : 1;
}

// Writes `text` on the prompt's console, if there is one.
static void WritePromptConsole(const WCHAR *text) {
    if (PromptConsole != nullptr) {
        DWORD written = 0;
        WriteConsoleW(PromptConsole, text, HostLength(text), &written, nullptr);
    }
}

int PromptForLine(HANDLE input, WCHAR *line, int capacity) {
    HostFlushOutput();
    WritePromptConsole(PROMPT);
    int got = ReadConsoleLine(input, line, capacity);
    if (got == 0) {
        WritePromptConsole(LINE_END);
    }
    return got;
}
