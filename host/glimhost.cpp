// glimhost.cpp: the stand-in host program. It loads a plugin DLL as the
// command processor does (GetPluginInfo, then InitializePlugin; ShutdownPlugin
// at the end), registers the plugin's variable functions with the host
// services of TakeCmd.dll, and runs command lines: from its arguments, from
// batch files, or typed at a prompt. Besides the plugin's commands it knows
// a few built-ins (echo, set, cls, help, ver, exit, rem). All output goes
// through the host's own output services, so a console gets UTF-16 and a
// file or pipe gets UTF-8.
#include "plugin/host.h"
#include "host/hoststate.h"
#include "host/hostnames.h"
#include "glimversion.h"

// clang-format off
static const WCHAR USAGE_TEXT[] = TEXT(
    "Usage: glimhost [-p PLUGIN] [-o FILE] [-e FILE] [-f BATCHFILE] [COMMAND-LINE]...\r\n"
    "\r\n"
    "Loads a plugin (by default glimpset.dll beside glimhost.exe) and runs\r\n"
    "command lines with it. Each COMMAND-LINE argument is one command line;\r\n"
    "-f runs the lines of a batch file (UTF-8, UTF-16 or ANSI text), in order\r\n"
    "with the arguments. Without either, command lines are read from standard\r\n"
    "input, with the prompt \"> \" when it is a console.\r\n"
    "\r\n"
    "  -p PLUGIN   load this plugin DLL instead\r\n"
    "  -o FILE     write standard output to FILE (UTF-8)\r\n"
    "  -e FILE     write standard error to FILE (UTF-8; may be the -o FILE)\r\n"
    "  -f FILE     run the lines of FILE as a batch file\r\n"
    "  -h, -?      show this text\r\n"
    "  --          take the arguments after it as command lines\r\n"
    "\r\n"
    "Commands: the plugin's, and echo TEXT, set [NAME[=VALUE]], cls,\r\n"
    "help [NAME], ver, rem TEXT, exit [N]. Variables (%NAME%, %_cwds,\r\n"
    "%_lastglim, ...) are expanded first. The exit status is the result\r\n"
    "of the last command, or N of exit N; 2 when the plugin cannot be loaded.\r\n");
// clang-format on

static const WCHAR USAGE_ECHO[] = TEXT("ECHO text: writes the text and a line end.");
static const WCHAR USAGE_SET[] =
    TEXT("SET [name[=value]]: sets, shows or (with an empty value) removes a variable.");
static const WCHAR USAGE_CLS[] = TEXT("CLS: clears the console screen buffer.");
static const WCHAR USAGE_HELP[] =
    TEXT("HELP [name]: shows the help of a command or variable function.");
static const WCHAR USAGE_VER[] = TEXT("VER: shows the versions of glimhost and of the plugin.");
static const WCHAR USAGE_REM[] = TEXT("REM text: a comment.");
static const WCHAR USAGE_EXIT[] =
    TEXT("EXIT [n]: ends glimhost with the status n (or that of the last command).");

static const WCHAR MSG_UNKNOWN_COMMAND[] = TEXT("Unknown command: %s\r\n");
static const WCHAR MSG_NO_HELP[] = TEXT("No help for %s.\r\n");
static const WCHAR MSG_NOT_IN_ENVIRONMENT[] = TEXT("Not in environment: %s\r\n");
static const WCHAR MSG_LINE_TOO_LONG[] = TEXT("glimhost: line too long\r\n");
static const WCHAR MSG_BAD_OPTION[] =
    TEXT("glimhost: unknown option \"%s\" (glimhost -h shows the usage)\r\n");
static const WCHAR MSG_MISSING_FILE[] = TEXT("glimhost: option %s needs a file name\r\n");
static const WCHAR MSG_CANNOT_OPEN[] = TEXT("glimhost: cannot open \"%s\":\r\n    %s\r\n");
static const WCHAR MSG_CANNOT_LOAD[] =
    TEXT("glimhost: cannot load the plugin \"%s\":\r\n    %s\r\n");
static const WCHAR MSG_NOT_A_PLUGIN[] =
    TEXT("glimhost: \"%s\" is not a plugin (no GetPluginInfo)\r\n");
static const WCHAR MSG_NO_EXPORT[] = TEXT("glimhost: the plugin does not export \"%s\"\r\n");
static const WCHAR MSG_NO_CONSOLE[] = TEXT("glimhost: no console to clear\r\n");
static const WCHAR FORMAT_VERSION[] =
    TEXT("glimhost ") TEXT(GLIM_VERSION_TEXT) TEXT(" - %s %d.%d.%d\r\n");
static const WCHAR FORMAT_LINE[] = TEXT("%s\r\n");
static const WCHAR FORMAT_VARIABLE[] = TEXT("%s=%s\r\n");
static const WCHAR FORMAT_ERROR_CODE[] = TEXT("Error %u");
static const WCHAR FORMAT_USAGE_LINE[] = TEXT("%s\r\n");
static const WCHAR PROMPT[] = TEXT("> ");
static const WCHAR LINE_END[] = TEXT("\r\n");
static const WCHAR DEFAULT_PLUGIN[] = TEXT("glimpset.dll");

enum {
    LINE_CAPACITY = 16384,
    TAIL_CAPACITY = 16384,
    USAGE_CAPACITY = 1024,
    NAME_CAPACITY = 64,
    ERROR_CAPACITY = 1024,
    MAX_COMMANDS = 64,
    LINE_BYTES = 65536,
    READ_CHUNK = 8192,
    STATUS_HOST_FAILURE = 2,
};

struct PluginCommand {
    WCHAR name[NAME_CAPACITY];
    CommandFn function;
};

typedef int (*BuiltinFn)(WCHAR *tail);

struct Builtin {
    const WCHAR *name;
    const WCHAR *usage;
    BuiltinFn function;
};

// What the host loaded and where its output goes.
static HMODULE PluginModule = nullptr;
static PluginInfoRecord *PluginInfoPtr = nullptr;
static UsageFn PluginUsage = nullptr;
static HelpFn PluginHelp = nullptr;
static PluginCommand Commands[MAX_COMMANDS];
static int CommandCount = 0;
// The console for the prompt: standard output as it was at the start, when
// that is a console (the prompt stays out of an -o file).
static HANDLE PromptConsole = nullptr;

static bool ExitRequested = false;
static int Status = 0;

// ---- Small text helpers.

static int Length(const WCHAR *text) {
    int n = 0;
    while (text[n] != 0) {
        n++;
    }
    return n;
}

static bool IsBlank(WCHAR ch) {
    return ch == TEXT(' ') || ch == TEXT('\t');
}

static HANDLE StdErr() {
    return GetStdHandle(STD_ERROR_HANDLE);
}

// The system's text for an error code, without its line end.
static void ErrorText(DWORD code, WCHAR *buffer) {
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_MAX_WIDTH_MASK,
                             nullptr, code, 0, buffer, ERROR_CAPACITY, nullptr);
    if (n == 0) {
        Sprintf(buffer, FORMAT_ERROR_CODE, code);
        return;
    }
    int length = Length(buffer);
    while (length > 0 && (buffer[length - 1] == TEXT(' ') || buffer[length - 1] == TEXT('\r') ||
                          buffer[length - 1] == TEXT('\n'))) {
        buffer[--length] = 0;
    }
}

// ---- Built-in commands. Each takes the line's tail and returns its status.

static int EchoCommand(WCHAR *tail) {
    Printf(FORMAT_LINE, tail);
    return 0;
}

static int SetCommand(WCHAR *tail) {
    if (tail[0] == 0) {
        WCHAR *block = GetEnvironmentStringsW();
        if (block == nullptr) {
            return 1;
        }
        for (WCHAR *entry = block; *entry != 0; entry += Length(entry) + 1) {
            // Entries beginning with "=" are the system's per-drive
            // directories, not variables.
            if (entry[0] != TEXT('=')) {
                Printf(FORMAT_LINE, entry);
            }
        }
        FreeEnvironmentStringsW(block);
        return 0;
    }
    WCHAR *equals = tail;
    while (*equals != 0 && *equals != TEXT('=')) {
        equals++;
    }
    if (*equals == 0) {
        WCHAR value[LINE_CAPACITY];
        DWORD n = GetEnvironmentVariableW(tail, value, LINE_CAPACITY);
        if (n == 0 || n >= LINE_CAPACITY) {
            Qprintf(StdErr(), MSG_NOT_IN_ENVIRONMENT, tail);
            return 1;
        }
        Printf(FORMAT_VARIABLE, tail, value);
        return 0;
    }
    *equals = 0;
    const WCHAR *value = equals + 1;
    // An empty value removes the variable, as the command processor does.
    return SetEnvironmentVariableW(tail, value[0] != 0 ? value : nullptr) ? 0 : 1;
}

static int ClsCommand(WCHAR *tail) {
    (void)tail;
    int result = 1;
    HANDLE console =
        CreateFileW(TEXT("CONOUT$"), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) {
        Qprintf(StdErr(), MSG_NO_CONSOLE);
        goto done;
    }
    {
        DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
        COORD origin = {0, 0};
        DWORD filled = 0;
        FillConsoleOutputCharacterW(console, TEXT(' '), cells, origin, &filled);
        FillConsoleOutputAttribute(console, info.wAttributes, cells, origin, &filled);
        SetConsoleCursorPosition(console, origin);
        SMALL_RECT window = info.srWindow;
        window.Bottom = static_cast<SHORT>(window.Bottom - window.Top);
        window.Top = 0;
        SetConsoleWindowInfo(console, TRUE, &window);
        result = 0;
    }
done:
    if (console != INVALID_HANDLE_VALUE) {
        CloseHandle(console);
    }
    return result;
}

static int VerCommand(WCHAR *tail) {
    (void)tail;
    Printf(FORMAT_VERSION, PluginInfoPtr->name, PluginInfoPtr->major, PluginInfoPtr->minor,
           PluginInfoPtr->build);
    return 0;
}

static int RemCommand(WCHAR *tail) {
    (void)tail;
    return Status;
}

static int ExitCommand(WCHAR *tail) {
    ExitRequested = true;
    if (tail[0] == 0) {
        return Status;
    }
    const WCHAR *p = tail;
    bool negative = *p == TEXT('-');
    if (negative) {
        p++;
    }
    long long value = 0;
    bool digits = false;
    while (*p >= TEXT('0') && *p <= TEXT('9')) {
        if (value < 0x7FFFFFFF) {
            value = value * 10 + (*p - TEXT('0'));
        }
        digits = true;
        p++;
    }
    if (!digits) {
        return Status;
    }
    if (value > 0x7FFFFFFF) {
        value = 0x7FFFFFFF;
    }
    return static_cast<int>(negative ? -value : value);
}

static int HelpCommand(WCHAR *tail);

static const Builtin BUILTINS[] = {
    {TEXT("echo"), USAGE_ECHO, EchoCommand}, {TEXT("set"), USAGE_SET, SetCommand},
    {TEXT("cls"), USAGE_CLS, ClsCommand},    {TEXT("help"), USAGE_HELP, HelpCommand},
    {TEXT("ver"), USAGE_VER, VerCommand},    {TEXT("rem"), USAGE_REM, RemCommand},
    {TEXT("exit"), USAGE_EXIT, ExitCommand},
};
static const int BUILTIN_COUNT = sizeof BUILTINS / sizeof BUILTINS[0];

static int HelpCommand(WCHAR *tail) {
    if (tail[0] == 0) {
        QPuts(USAGE_TEXT);
        return 0;
    }
    // The plugin is asked with a writable copy of the name, as the host
    // gives it.
    WCHAR name[LINE_CAPACITY];
    CopyBounded(name, LINE_CAPACITY, tail);
    bool shown = false;
    if (PluginUsage != nullptr) {
        WCHAR usage[USAGE_CAPACITY];
        for (int i = 0; i < USAGE_CAPACITY; i++) {
            usage[i] = 0;
        }
        if (PluginUsage(name, usage) == 1) {
            usage[USAGE_CAPACITY - 1] = 0;
            QPuts(usage);
            shown = true;
        }
    }
    if (PluginHelp != nullptr && PluginHelp(name) == 1) {
        shown = true;
    }
    for (int i = 0; i < BUILTIN_COUNT && !shown; i++) {
        if (SameName(BUILTINS[i].name, tail)) {
            Printf(FORMAT_USAGE_LINE, BUILTINS[i].usage);
            shown = true;
        }
    }
    if (!shown) {
        Qprintf(StdErr(), MSG_NO_HELP, tail);
        return 1;
    }
    return 0;
}

// ---- Running a command line.

static void RunLine(const WCHAR *text) {
    WCHAR line[LINE_CAPACITY];
    if (Length(text) >= LINE_CAPACITY) {
        Qprintf(StdErr(), MSG_LINE_TOO_LONG);
        Status = 1;
        return;
    }
    CopyBounded(line, LINE_CAPACITY, text);
    if (HostExpandVariables(line, LINE_CAPACITY) != 0) {
        Qprintf(StdErr(), MSG_LINE_TOO_LONG);
        Status = 1;
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

    for (int i = 0; i < CommandCount; i++) {
        if (SameName(Commands[i].name, word)) {
            // The plugin gets a buffer of its own, of the host's full size.
            WCHAR buffer[TAIL_CAPACITY];
            CopyBounded(buffer, TAIL_CAPACITY, tail);
            Status = Commands[i].function(buffer);
            return;
        }
    }
    for (int i = 0; i < BUILTIN_COUNT; i++) {
        if (SameName(BUILTINS[i].name, word)) {
            Status = BUILTINS[i].function(tail);
            return;
        }
    }
    Qprintf(StdErr(), MSG_UNKNOWN_COMMAND, word);
    Status = 1;
}

// ---- Reading lines from a file, a pipe or the console.

struct LineReader {
    HANDLE handle;
    unsigned char chunk[READ_CHUNK];
    int position;
    int filled;
    bool atEnd;
    bool started;
    bool utf16;
};

static unsigned char LineBytes[LINE_BYTES];

static bool NextByte(LineReader *reader, unsigned char *byte) {
    if (reader->position == reader->filled) {
        if (reader->atEnd) {
            return false;
        }
        DWORD got = 0;
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

// Reads the next line (without its line end) into `line`. Returns 1 for a
// line, 0 at the end of the input, -1 for a line too long for the buffer
// (skipped). The first line decides on UTF-16 (a little-endian byte order
// mark); otherwise each line is UTF-8 when it is valid UTF-8, else ANSI.
static int ReadLine(LineReader *reader, WCHAR *line, int capacity) {
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
            Qprintf(StdErr(), MSG_LINE_TOO_LONG);
            Status = 1;
            continue;
        }
        RunLine(line);
    }
}

static void RunBatchFile(const WCHAR *path) {
    WCHAR fullName[LINE_CAPACITY];
    WCHAR error[ERROR_CAPACITY];
    LineReader *reader = nullptr;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorText(GetLastError(), error);
        Qprintf(StdErr(), MSG_CANNOT_OPEN, path, error);
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    {
        DWORD n = GetFullPathNameW(path, LINE_CAPACITY, fullName, nullptr);
        if (n == 0 || n >= LINE_CAPACITY) {
            CopyBounded(fullName, LINE_CAPACITY, path);
        }
    }
    reader =
        static_cast<LineReader *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *reader));
    if (reader == nullptr) {
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    reader->handle = file;
    HostSetBatch(fullName, 0);
    RunLines(reader, fullName);
    HostClearBatch();
done:
    if (reader != nullptr) {
        HeapFree(GetProcessHeap(), 0, reader);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

static void RunStandardInput() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode)) {
        WCHAR line[LINE_CAPACITY];
        DWORD written = 0;
        while (!ExitRequested) {
            if (PromptConsole != nullptr) {
                WriteConsoleW(PromptConsole, PROMPT, Length(PROMPT), &written, nullptr);
            }
            int got = ReadConsoleLine(input, line, LINE_CAPACITY);
            if (got == 0) {
                if (PromptConsole != nullptr) {
                    WriteConsoleW(PromptConsole, LINE_END, Length(LINE_END), &written, nullptr);
                }
                break;
            }
            if (got < 0) {
                Qprintf(StdErr(), MSG_LINE_TOO_LONG);
                Status = 1;
                continue;
            }
            RunLine(line);
        }
        return;
    }
    LineReader *reader =
        static_cast<LineReader *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *reader));
    if (reader == nullptr) {
        Status = STATUS_HOST_FAILURE;
        return;
    }
    reader->handle = input;
    RunLines(reader, nullptr);
    HeapFree(GetProcessHeap(), 0, reader);
}

// ---- Loading the plugin.

// Registers the plugin's names: those beginning with "_" or "@" are
// variable functions, the others commands. Exports are looked up by the
// same (ASCII) name.
static void RegisterNames(const WCHAR *implements) {
    const WCHAR *p = implements;
    while (p != nullptr && *p != 0) {
        while (*p == TEXT(',') || IsBlank(*p)) {
            p++;
        }
        WCHAR name[NAME_CAPACITY];
        char ascii[NAME_CAPACITY];
        int n = 0;
        bool usable = true;
        while (*p != 0 && *p != TEXT(',')) {
            if (n < NAME_CAPACITY - 1) {
                if (*p > 0x7E) {
                    usable = false;
                }
                name[n] = *p;
                ascii[n] = static_cast<char>(*p);
                n++;
            } else {
                usable = false;
            }
            p++;
        }
        while (n > 0 && IsBlank(name[n - 1])) {
            n--;
        }
        name[n] = 0;
        ascii[n] = 0;
        if (n == 0) {
            continue;
        }
        FARPROC proc = usable ? GetProcAddress(PluginModule, ascii) : nullptr;
        if (proc == nullptr) {
            Qprintf(StdErr(), MSG_NO_EXPORT, name);
            continue;
        }
        if (name[0] == TEXT('_') || name[0] == TEXT('@')) {
            HostRegisterVariable(name,
                                 reinterpret_cast<VariableFn>(reinterpret_cast<void *>(proc)));
        } else if (CommandCount < MAX_COMMANDS) {
            CopyBounded(Commands[CommandCount].name, NAME_CAPACITY, name);
            Commands[CommandCount].function =
                reinterpret_cast<CommandFn>(reinterpret_cast<void *>(proc));
            CommandCount++;
        }
    }
}

// Loads the plugin and starts it. Returns false, with a message, when it
// cannot be loaded or is not a plugin.
static bool LoadPlugin(const WCHAR *path) {
    WCHAR defaultPath[LINE_CAPACITY];
    WCHAR error[ERROR_CAPACITY];
    if (path == nullptr) {
        DWORD n = GetModuleFileNameW(nullptr, defaultPath, LINE_CAPACITY);
        if (n == 0 || n >= LINE_CAPACITY) {
            n = 0;
        }
        while (n > 0 && defaultPath[n - 1] != TEXT('\\') && defaultPath[n - 1] != TEXT('/')) {
            n--;
        }
        defaultPath[n] = 0;
        CopyBounded(defaultPath + n, LINE_CAPACITY - static_cast<int>(n), DEFAULT_PLUGIN);
        path = defaultPath;
    }
    PluginModule = LoadLibraryW(path);
    if (PluginModule == nullptr) {
        ErrorText(GetLastError(), error);
        Qprintf(StdErr(), MSG_CANNOT_LOAD, path, error);
        return false;
    }
    GetPluginInfoFn getInfo = reinterpret_cast<GetPluginInfoFn>(
        reinterpret_cast<void *>(GetProcAddress(PluginModule, "GetPluginInfo")));
    InitializePluginFn initialize = reinterpret_cast<InitializePluginFn>(
        reinterpret_cast<void *>(GetProcAddress(PluginModule, "InitializePlugin")));
    PluginUsage =
        reinterpret_cast<UsageFn>(reinterpret_cast<void *>(GetProcAddress(PluginModule, "Usage")));
    PluginHelp =
        reinterpret_cast<HelpFn>(reinterpret_cast<void *>(GetProcAddress(PluginModule, "Help")));
    PluginInfoPtr = getInfo != nullptr ? getInfo() : nullptr;
    if (PluginInfoPtr == nullptr) {
        Qprintf(StdErr(), MSG_NOT_A_PLUGIN, path);
        FreeLibrary(PluginModule);
        PluginModule = nullptr;
        return false;
    }
    RegisterNames(PluginInfoPtr->implements);
    if (initialize != nullptr) {
        initialize();
    }
    return true;
}

static void UnloadPlugin() {
    ShutdownPluginFn shutdown = reinterpret_cast<ShutdownPluginFn>(
        reinterpret_cast<void *>(GetProcAddress(PluginModule, "ShutdownPlugin")));
    if (shutdown != nullptr) {
        shutdown(0);
    }
    HostResetState();
    FreeLibrary(PluginModule);
    PluginModule = nullptr;
}

// ---- The program.

static HANDLE CreateOutput(const WCHAR *path) {
    WCHAR error[ERROR_CAPACITY];
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ErrorText(GetLastError(), error);
        Qprintf(StdErr(), MSG_CANNOT_OPEN, path, error);
    }
    return file;
}

static bool SameFile(const WCHAR *a, const WCHAR *b) {
    WCHAR fullA[LINE_CAPACITY];
    WCHAR fullB[LINE_CAPACITY];
    DWORD na = GetFullPathNameW(a, LINE_CAPACITY, fullA, nullptr);
    DWORD nb = GetFullPathNameW(b, LINE_CAPACITY, fullB, nullptr);
    if (na == 0 || nb == 0 || na >= LINE_CAPACITY || nb >= LINE_CAPACITY) {
        return false;
    }
    return lstrcmpiW(fullA, fullB) == 0;
}

static bool IsPipe(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) == FILE_TYPE_PIPE;
}

struct RunItem {
    bool batchFile;
    const WCHAR *text;
};

int wmain(int argc, WCHAR **argv) {
    const WCHAR *pluginPath = nullptr;
    const WCHAR *outPath = nullptr;
    const WCHAR *errPath = nullptr;
    HANDLE outFile = INVALID_HANDLE_VALUE;
    HANDLE errFile = INVALID_HANDLE_VALUE;
    HANDLE originalOut = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE originalErr = GetStdHandle(STD_ERROR_HANDLE);
    RunItem *items = nullptr;
    int itemCount = 0;
    bool optionsEnded = false;
    bool showUsage = false;
    const WCHAR *badMessage = nullptr;
    const WCHAR *badOption = nullptr;
    bool loaded = false;
    DWORD mode = 0;

    items = static_cast<RunItem *>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RunItem) * (argc + 1)));
    if (items == nullptr) {
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    // The options take effect before anything runs; batch files and command
    // lines then run in the order given. A bad option is reported once the
    // output files are open.
    for (int i = 1; i < argc; i++) {
        const WCHAR *arg = argv[i];
        bool isOption = !optionsEnded && arg[0] == TEXT('-') && arg[1] != 0;
        if (!isOption) {
            items[itemCount].batchFile = false;
            items[itemCount].text = arg;
            itemCount++;
            continue;
        }
        if (arg[1] == TEXT('-') && arg[2] == 0) {
            optionsEnded = true;
            continue;
        }
        WCHAR option = arg[2] == 0 ? FoldCase(arg[1]) : 0;
        if (option == TEXT('h') || option == TEXT('?')) {
            showUsage = true;
            continue;
        }
        if (option != TEXT('p') && option != TEXT('o') && option != TEXT('e') &&
            option != TEXT('f')) {
            badMessage = badMessage != nullptr ? badMessage : MSG_BAD_OPTION;
            badOption = badOption != nullptr ? badOption : arg;
            continue;
        }
        if (i + 1 >= argc) {
            badMessage = badMessage != nullptr ? badMessage : MSG_MISSING_FILE;
            badOption = badOption != nullptr ? badOption : arg;
            continue;
        }
        const WCHAR *value = argv[++i];
        if (option == TEXT('p')) {
            pluginPath = value;
        } else if (option == TEXT('o')) {
            outPath = value;
        } else if (option == TEXT('e')) {
            errPath = value;
        } else {
            items[itemCount].batchFile = true;
            items[itemCount].text = value;
            itemCount++;
        }
    }

    if (outPath != nullptr) {
        outFile = CreateOutput(outPath);
        if (outFile == INVALID_HANDLE_VALUE) {
            Status = STATUS_HOST_FAILURE;
            goto done;
        }
        SetStdHandle(STD_OUTPUT_HANDLE, outFile);
    }
    if (errPath != nullptr) {
        if (outPath != nullptr && SameFile(outPath, errPath)) {
            SetStdHandle(STD_ERROR_HANDLE, outFile);
        } else {
            errFile = CreateOutput(errPath);
            if (errFile == INVALID_HANDLE_VALUE) {
                Status = STATUS_HOST_FAILURE;
                goto done;
            }
            SetStdHandle(STD_ERROR_HANDLE, errFile);
        }
    }
    if (originalOut != nullptr && originalOut != INVALID_HANDLE_VALUE &&
        GetConsoleMode(originalOut, &mode)) {
        PromptConsole = originalOut;
    }
    // Mistakes in the options are reported where the output was asked to go.
    if (badMessage != nullptr) {
        Qprintf(StdErr(), badMessage, badOption);
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    if (showUsage) {
        QPuts(USAGE_TEXT);
        Status = 0;
        goto done;
    }

    // Given command lines or a batch file to run, the shell is transient, as
    // one started to run a command and leave; reading its commands from a
    // pipe, or writing into one, it is in a pipe.
    HostResetState();
    HostSetTransient(itemCount > 0);
    HostSetPipe(IsPipe(STD_INPUT_HANDLE) || IsPipe(STD_OUTPUT_HANDLE));

    if (!LoadPlugin(pluginPath)) {
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    loaded = true;

    if (itemCount == 0) {
        RunStandardInput();
    }
    for (int i = 0; i < itemCount && !ExitRequested; i++) {
        if (items[i].batchFile) {
            RunBatchFile(items[i].text);
        } else {
            RunLine(items[i].text);
        }
    }

done:
    if (loaded) {
        UnloadPlugin();
    }
    SetStdHandle(STD_OUTPUT_HANDLE, originalOut);
    SetStdHandle(STD_ERROR_HANDLE, originalErr);
    if (errFile != INVALID_HANDLE_VALUE) {
        CloseHandle(errFile);
    }
    if (outFile != INVALID_HANDLE_VALUE) {
        CloseHandle(outFile);
    }
    if (items != nullptr) {
        HeapFree(GetProcessHeap(), 0, items);
    }
    return Status;
}
