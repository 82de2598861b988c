// runlines.cpp: running command lines, as given, from batch files, or from
// standard input. A line has its variables expanded first; then its first
// word names a plugin command or a built-in. The texts are in glimhost.cpp.
#include "host/glimhost.h"
#include "host/hoststate.h"
#include "host/hostnames.h"

enum {
    TAIL_CAPACITY = 16384,
};

int Status = 0;
bool ExitRequested = false;

// A line that cannot run whole is refused, with status 1.
static void RefuseLongLine(void) {
    Qprintf(StdErr(), MSG_LINE_TOO_LONG);
    Status = 1;
}

static void RunCommandLine(const WCHAR *text) {
    WCHAR line[LINE_CAPACITY];
    if (HostLength(text) >= LINE_CAPACITY) {
        RefuseLongLine();
        return;
    }
    CopyBounded(line, LINE_CAPACITY, text);
    if (HostExpandVariables(line, LINE_CAPACITY) != 0) {
        RefuseLongLine();
        return;
    }

    WCHAR *p = line;
    while (IsBlank(*p)) {
        p++;
    }
    // "@" before a command only keeps it from being echoed, which this host
    // never does; "::" begins a comment.
    if (*p == TEXT('@')) {
        p++;
        while (IsBlank(*p)) {
            p++;
        }
    }
    if (*p == 0 || (p[0] == TEXT(':') && p[1] == TEXT(':'))) {
        return;
    }
    WCHAR *word = p;
    while (*p != 0 && !IsBlank(*p)) {
        p++;
    }
    WCHAR *tail = p;
    if (*p != 0) {
        *p = 0;
        tail = p + 1;
        while (IsBlank(*tail)) {
            tail++;
        }
    }

    CommandFn command = FindPluginCommand(word);
    if (command != nullptr) {
        // The plugin gets a buffer of its own, of the host's full size.
        WCHAR buffer[TAIL_CAPACITY];
        CopyBounded(buffer, TAIL_CAPACITY, tail);
        Status = command(buffer);
        return;
    }
    BuiltinFn builtin = FindBuiltin(word);
    if (builtin != nullptr) {
        Status = builtin(tail);
        return;
    }
    Qprintf(StdErr(), MSG_UNKNOWN_COMMAND, word);
    Status = 1;
}

void RunLine(const WCHAR *text) {
    RunCommandLine(text);
    HostFlushOutput();
}

static void RunLines(LineReader *reader, const WCHAR *batchName) {
    WCHAR line[LINE_CAPACITY];
    int number = 0;
    while (!ExitRequested) {
        int got = ReadLine(reader, line, LINE_CAPACITY);
        if (got == 0) {
            break;
        }
        number++;
        if (batchName != nullptr) {
            HostSetBatch(batchName, number);
        }
        if (got < 0) {
            RefuseLongLine();
            continue;
        }
        RunLine(line);
    }
}

void RunBatchFile(const WCHAR *path) {
    WCHAR fullName[LINE_CAPACITY];
    LineReader *reader = nullptr;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ReportCannotOpen(path, GetLastError());
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    {
        DWORD n = GetFullPathNameW(path, LINE_CAPACITY, fullName, nullptr);
        if (n == 0 || n >= LINE_CAPACITY) {
            CopyBounded(fullName, LINE_CAPACITY, path);
        }
    }
    reader = OpenLineReader(file);
    if (reader == nullptr) {
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    HostSetBatch(fullName, 0);
    RunLines(reader, fullName);
    HostClearBatch();
done:
    CloseLineReader(reader);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

void RunStandardInput(void) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (IsConsole(input)) {
        WCHAR line[LINE_CAPACITY];
        while (!ExitRequested) {
            int got = PromptForLine(input, line, LINE_CAPACITY);
            if (got == 0) {
                break;
            }
            if (got < 0) {
                RefuseLongLine();
                continue;
            }
            RunLine(line);
        }
        return;
    }
    LineReader *reader = OpenLineReader(input);
    if (reader == nullptr) {
        Status = STATUS_HOST_FAILURE;
        return;
    }
    RunLines(reader, nullptr);
    CloseLineReader(reader);
}
