// platform_windows.cpp: glimview's machine on Windows: the entry point
// (wide arguments made UTF-8), files through CreateFileW, and standard
// output and error: a console gets UTF-16 through WriteConsoleW, with SGR
// sequences taking effect through virtual terminal processing; a file or a
// pipe gets the UTF-8 bytes as they are.
#include "glimview/viewplatform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

enum {
    CONSOLE_PIECE_UNITS = 8192, // units a WriteConsoleW call takes at most
};

// An output file, and the first failure met while writing it.
struct WindowsFile {
    HANDLE handle;
    DWORD error; // code of the first failed write, or 0
};

static DWORD savedMode = 0;
static BOOL modeChanged = FALSE;

static void CopyReason(char *reason, DWORD error) {
    WCHAR text[VIEW_REASON_BYTES / 2];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                  NULL, error, 0, text, VIEW_REASON_BYTES / 2, NULL);
    // The system's texts end in blanks; a missing text becomes the code.
    while (length > 0 && (text[length - 1] == L' ' || text[length - 1] == L'\r' ||
                          text[length - 1] == L'\n' || text[length - 1] == L'.')) {
        length--;
    }
    if (length == 0) {
        snprintf(reason, VIEW_REASON_BYTES, "error %lu", (unsigned long)error);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, reason, VIEW_REASON_BYTES - 1,
                                    NULL, NULL);
    reason[bytes > 0 ? bytes : 0] = 0;
}

// A UTF-8 name as UTF-16, in a block from the process heap; null when
// there is no memory.
static WCHAR *WideName(const char *name) {
    int units = MultiByteToWideChar(CP_UTF8, 0, name, -1, NULL, 0);
    WCHAR *wide = NULL;
    if (units <= 0) {
        units = 1;
    }
    wide = (WCHAR *)ViewAlloc((SIZE_T)units * sizeof(WCHAR));
    if (wide == NULL) {
        return NULL;
    }
    if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, units) <= 0) {
        wide[0] = 0;
    }
    return wide;
}

void *ViewOpenInput(const char *path, char *reason) {
    WCHAR *wide = WideName(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    reason[0] = 0;
    if (wide == NULL) {
        CopyReason(reason, ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        CopyReason(reason, GetLastError());
    }
    ViewFree(wide);
    return file == INVALID_HANDLE_VALUE ? NULL : file;
}

BOOL ViewReadInput(void *input, BYTE *buffer, DWORD size, DWORD *got, char *reason) {
    *got = 0;
    if (!ReadFile((HANDLE)input, buffer, size, got, NULL)) {
        CopyReason(reason, GetLastError());
        return FALSE;
    }
    return TRUE;
}

void ViewCloseInput(void *input) {
    CloseHandle((HANDLE)input);
}

enum {
    FINAL_PATH_CAPACITY = 32768, // the longest path the system gives
};

// What identifies the file a name reaches, under any of its names: its
// volume serial number and file index; and, for a file system that gives
// every file the index 0 (as some network shares do), its final path, in
// `finalPath` (FINAL_PATH_CAPACITY characters), which is empty otherwise.
// FALSE when the name reaches nothing or cannot be asked. The file is
// opened without any access and shared with everyone, so that asking
// disturbs no one; a directory answers too.
static BOOL FileIdentity(const char *name, BY_HANDLE_FILE_INFORMATION *info, WCHAR *finalPath) {
    WCHAR *wide = WideName(name);
    HANDLE file = INVALID_HANDLE_VALUE;
    BOOL known = FALSE;
    finalPath[0] = 0;
    if (wide == NULL) {
        return FALSE;
    }
    file = CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        known = GetFileInformationByHandle(file, info);
        if (known && info->nFileIndexHigh == 0 && info->nFileIndexLow == 0) {
            DWORD length = GetFinalPathNameByHandleW(file, finalPath, FINAL_PATH_CAPACITY,
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            known = length > 0 && length < FINAL_PATH_CAPACITY;
        }
        CloseHandle(file);
    }
    ViewFree(wide);
    return known;
}

BOOL ViewSameFile(const char *first, const char *second) {
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION two;
    HANDLE heap = GetProcessHeap();
    // Two paths, on the heap: each may be as long as the system allows.
    WCHAR *paths = (WCHAR *)HeapAlloc(heap, 0, 2 * FINAL_PATH_CAPACITY * sizeof(WCHAR));
    BOOL same = FALSE;
    if (paths == NULL) {
        return FALSE;
    }
    if (FileIdentity(first, &one, paths) &&
        FileIdentity(second, &two, paths + FINAL_PATH_CAPACITY) &&
        one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
        one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow) {
        // Without indexes only the final paths tell two files apart.
        same = lstrcmpiW(paths, paths + FINAL_PATH_CAPACITY) == 0;
    }
    HeapFree(heap, 0, paths);
    return same;
}

void *ViewCreateFile(const char *path, char *reason) {
    HANDLE heap = GetProcessHeap();
    WindowsFile *file = (WindowsFile *)HeapAlloc(heap, 0, sizeof(WindowsFile));
    WCHAR *wide = WideName(path);
    reason[0] = 0;
    if (file == NULL || wide == NULL) {
        CopyReason(reason, ERROR_NOT_ENOUGH_MEMORY);
        goto failed;
    }
    file->error = 0;
    file->handle = CreateFileW(wide, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (file->handle == INVALID_HANDLE_VALUE) {
        CopyReason(reason, GetLastError());
        goto failed;
    }
    HeapFree(heap, 0, wide);
    return file;

failed:
    if (wide != NULL) {
        HeapFree(heap, 0, wide);
    }
    if (file != NULL) {
        HeapFree(heap, 0, file);
    }
    return NULL;
}

// Writes all `size` bytes to a file or a pipe; the code of a failure in
// *error.
static BOOL WriteAll(HANDLE handle, const BYTE *data, DWORD size, DWORD *error) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, data, size, &written, NULL)) {
            *error = GetLastError();
            return FALSE;
        }
        if (written == 0) {
            *error = ERROR_WRITE_FAULT;
            return FALSE;
        }
        data += written;
        size -= written;
    }
    return TRUE;
}

BOOL ViewFileWriter(void *context, const BYTE *data, DWORD size) {
    WindowsFile *file = (WindowsFile *)context;
    DWORD error = 0;
    if (!WriteAll(file->handle, data, size, &error)) {
        if (file->error == 0) {
            file->error = error != 0 ? error : ERROR_WRITE_FAULT;
        }
        return FALSE;
    }
    return TRUE;
}

BOOL ViewCloseFile(void *context, char *reason) {
    WindowsFile *file = (WindowsFile *)context;
    DWORD error = file->error;
    if (!CloseHandle(file->handle) && error == 0) {
        error = GetLastError();
    }
    HeapFree(GetProcessHeap(), 0, file);
    reason[0] = 0;
    if (error != 0) {
        CopyReason(reason, error);
        return FALSE;
    }
    return TRUE;
}

// Writes a piece of whole UTF-8 sequences to a console as UTF-16, so that
// what it shows does not depend on the console's code page.
static BOOL WriteConsoleText(HANDLE console, const BYTE *data, DWORD size) {
    WCHAR units[CONSOLE_PIECE_UNITS];
    DWORD at = 0;
    while (at < size) {
        // Take whole sequences only, few enough to fit the units.
        DWORD take = size - at;
        if (take > CONSOLE_PIECE_UNITS / 2) {
            take = CONSOLE_PIECE_UNITS / 2;
            while (take > 0 && (data[at + take] & 0xC0) == 0x80) {
                take--;
            }
            if (take == 0) {
                return FALSE;
            }
        }
        int count = MultiByteToWideChar(CP_UTF8, 0, (const char *)data + at, (int)take, units,
                                        CONSOLE_PIECE_UNITS);
        if (count <= 0) {
            return FALSE;
        }
        DWORD done = 0;
        while (done < (DWORD)count) {
            DWORD written = 0;
            if (!WriteConsoleW(console, units + done, (DWORD)count - done, &written, NULL) ||
                written == 0) {
                return FALSE;
            }
            done += written;
        }
        at += take;
    }
    return TRUE;
}

static BOOL WriteStandard(DWORD which, const BYTE *data, DWORD size) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    DWORD error = 0;
    if (handle == NULL || handle == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    if (GetConsoleMode(handle, &mode)) {
        return WriteConsoleText(handle, data, size);
    }
    return WriteAll(handle, data, size, &error);
}

BOOL ViewStdoutWriter(void *, const BYTE *data, DWORD size) {
    return WriteStandard(STD_OUTPUT_HANDLE, data, size);
}

BOOL ViewStderrWriter(void *, const BYTE *data, DWORD size) {
    return WriteStandard(STD_ERROR_HANDLE, data, size);
}

void ViewPrepareStdout(BOOL colour) {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!colour || !GetConsoleMode(handle, &mode)) {
        return;
    }
    // A console that cannot take SGR sequences (before Windows 10) shows
    // them as text: the output still reads, with its escapes visible.
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
        SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        savedMode = mode;
        modeChanged = TRUE;
    }
}

void ViewRestoreStdout(void) {
    if (modeChanged) {
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), savedMode);
        modeChanged = FALSE;
    }
}

DWORD ViewExpandPattern(const char *pattern, ViewNameCallback found, void *context, char *reason) {
    WIN32_FIND_DATAW data;
    HANDLE search = INVALID_HANDLE_VALUE;
    WCHAR *wide = WideName(pattern);
    WCHAR **names = NULL;
    DWORD count = 0;
    DWORD capacity = 0;
    DWORD given = 0;
    size_t folder = 0;
    char *name = NULL;
    BOOL shortOfMemory = wide == NULL;

    // The folder part stays as the pattern gives it: up to its last
    // separator, or a drive's colon.
    for (size_t i = 0; pattern[i] != 0; i++) {
        if (pattern[i] == '\\' || pattern[i] == '/' || pattern[i] == ':') {
            folder = i + 1;
        }
    }
    if (wide != NULL) {
        search = FindFirstFileW(wide, &data);
    }
    while (search != INVALID_HANDLE_VALUE) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            if (count == capacity) {
                DWORD grown = capacity == 0 ? 64 : capacity * 2;
                WCHAR **larger = (WCHAR **)ViewAlloc(grown * sizeof(WCHAR *));
                if (larger == NULL) {
                    shortOfMemory = TRUE;
                    break;
                }
                if (count > 0) {
                    memcpy(larger, names, count * sizeof(WCHAR *));
                }
                ViewFree(names);
                names = larger;
                capacity = grown;
            }
            size_t length = wcslen(data.cFileName) + 1;
            names[count] = (WCHAR *)ViewAlloc(length * sizeof(WCHAR));
            if (names[count] == NULL) {
                shortOfMemory = TRUE;
                break;
            }
            memcpy(names[count++], data.cFileName, length * sizeof(WCHAR));
        }
        if (!FindNextFileW(search, &data)) {
            break;
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    // As a directory listing shows them: by name, ignoring case.
    qsort(names, count, sizeof(WCHAR *), [](const void *one, const void *two) {
        return lstrcmpiW(*(WCHAR *const *)one, *(WCHAR *const *)two);
    });
    // The folder part, a name of at most MAX_PATH units (3 bytes each) and
    // a terminator.
    name = (char *)ViewAlloc(folder + 3 * MAX_PATH + 1);
    shortOfMemory = shortOfMemory || name == NULL;
    // Some names only, for want of memory, would be a search that quietly
    // left files out: then none are given, and the pattern fails.
    for (DWORD i = 0; i < count && !shortOfMemory; i++) {
        memcpy(name, pattern, folder);
        int bytes = WideCharToMultiByte(CP_UTF8, 0, names[i], -1, name + folder, 3 * MAX_PATH + 1,
                                        NULL, NULL);
        if (bytes <= 0) {
            continue;
        }
        given++;
        if (!found(context, name)) {
            break;
        }
    }
    for (DWORD i = 0; i < count; i++) {
        ViewFree(names[i]);
    }
    ViewFree(names);
    ViewFree(name);
    ViewFree(wide);
    if (shortOfMemory) {
        CopyReason(reason, ERROR_NOT_ENOUGH_MEMORY);
    } else if (given == 0) {
        CopyReason(reason, ERROR_FILE_NOT_FOUND);
    }
    return given;
}

// The arguments of the command line (after the program's name) as the C
// runtime splits them, each in a block of its own text, and whether each
// may be a wildcard pattern: an argument with a quoted part is taken as it
// stands. The rules: blanks (space, tab) part arguments outside quotes;
// 2n backslashes and a quote make n backslashes and open or close a quoted
// part, 2n+1 backslashes and a quote make n backslashes and a quote; two
// quotes within a quoted part make one quote; other backslashes are
// themselves. Returns the count, or -1 when there is no memory; the caller
// releases *texts and *expand with ViewFree.
static int SplitCommandLine(const WCHAR *line, WCHAR **texts, BOOL **expand) {
    size_t length = wcslen(line);
    WCHAR *text = (WCHAR *)ViewAlloc((length + 1) * sizeof(WCHAR));
    // At most one argument for every two units, and one more.
    BOOL *flags = (BOOL *)ViewAlloc((length / 2 + 2) * sizeof(BOOL));
    const WCHAR *at = line;
    WCHAR *to = text;
    int count = 0;
    if (text == NULL || flags == NULL) {
        ViewFree(text);
        ViewFree(flags);
        return -1;
    }
    // The program's name: up to a blank, or within quotes, as it is.
    if (*at == L'"') {
        at++;
        while (*at != 0 && *at != L'"') {
            at++;
        }
        if (*at == L'"') {
            at++;
        }
    } else {
        while (*at != 0 && *at != L' ' && *at != L'\t') {
            at++;
        }
    }
    for (;;) {
        while (*at == L' ' || *at == L'\t') {
            at++;
        }
        if (*at == 0) {
            break;
        }
        BOOL quoted = FALSE;
        BOOL inQuotes = FALSE;
        while (*at != 0 && (inQuotes || (*at != L' ' && *at != L'\t'))) {
            size_t slashes = 0;
            while (*at == L'\\') {
                slashes++;
                at++;
            }
            if (*at == L'"') {
                for (size_t i = 0; i < slashes / 2; i++) {
                    *to++ = L'\\';
                }
                if (slashes % 2 == 1) {
                    *to++ = L'"';
                } else if (inQuotes && at[1] == L'"') {
                    *to++ = L'"';
                    at++;
                } else {
                    inQuotes = !inQuotes;
                    quoted = TRUE;
                }
                at++;
            } else {
                for (size_t i = 0; i < slashes; i++) {
                    *to++ = L'\\';
                }
                if (*at != 0 && (inQuotes || (*at != L' ' && *at != L'\t'))) {
                    *to++ = *at++;
                }
            }
        }
        *to++ = 0;
        flags[count++] = !quoted;
    }
    *texts = text;
    *expand = flags;
    return count;
}

// The arguments as UTF-8, in one block from the process heap: the pointers
// first, then the texts (`argc` texts one after the other in `texts`).
static char **Utf8Arguments(int argc, const WCHAR *texts) {
    SIZE_T bytes = (SIZE_T)(argc + 1) * sizeof(char *);
    const WCHAR *from = texts;
    for (int i = 0; i < argc; i++) {
        bytes += (SIZE_T)WideCharToMultiByte(CP_UTF8, 0, from, -1, NULL, 0, NULL, NULL) + 1;
        from += wcslen(from) + 1;
    }
    char **arguments = (char **)ViewAlloc(bytes);
    if (arguments == NULL) {
        return NULL;
    }
    char *text = (char *)(arguments + argc + 1);
    char *end = (char *)arguments + bytes;
    from = texts;
    for (int i = 0; i < argc; i++) {
        int length = WideCharToMultiByte(CP_UTF8, 0, from, -1, text, (int)(end - text), NULL, NULL);
        if (length <= 0) {
            text[0] = 0;
            length = 1;
        }
        arguments[i] = text;
        text += length;
        from += wcslen(from) + 1;
    }
    arguments[argc] = NULL;
    return arguments;
}

// Static: two sinks of 64 KiB each are too much for some stacks.
static ViewSink out;
static ViewSink err;

// The command line is read again, rather than the runtime's arguments
// taken: only the line says which arguments were quoted.
int wmain(int, WCHAR **) {
    WCHAR *texts = NULL;
    BOOL *expand = NULL;
    char **arguments = NULL;
    int count = SplitCommandLine(GetCommandLineW(), &texts, &expand);
    int status = 2;
    SinkInit(&out, ViewStdoutWriter, NULL);
    SinkInit(&err, ViewStderrWriter, NULL);
    if (count >= 0) {
        arguments = Utf8Arguments(count, texts);
    }
    if (arguments == NULL) {
        SinkText(&err, MSG_NO_MEMORY_ARGUMENTS);
        SinkFlush(&err);
    } else {
        status = GlimviewRun(count, arguments, expand, &out, &err);
    }
    ViewFree(arguments);
    ViewFree(expand);
    ViewFree(texts);
    return status;
}
