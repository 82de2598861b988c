// builtins.cpp: glimhost's built-in commands (echo, set, cls, help, ver,
// rem, exit). Each takes the command line's tail, expanded and with the
// blanks after the command's name skipped, and returns its status. Their
// usage lines and messages are among glimhost's texts, in glimhost.cpp.
#include "host/glimhost.h"
#include "host/hoststate.h"
#include "host/hostnames.h"

struct Builtin {
    const WCHAR *name;
    const WCHAR *usage; // the line that help NAME shows
    BuiltinFn function;
};

enum {
    USAGE_CAPACITY = 1024,
};

static int EchoCommand(WCHAR *tail) {
    Printf(FORMAT_LINE, tail);
    return 0;
}

// set NAME: the variable as NAME=VALUE, whatever its length (an inherited
// value may be as long as the system allows, 32,767 characters, twice a
// line), or the message that it is not there. Written in pieces, as a
// formatted line would be cut. Only when no room can be had for a long
// value does it say that the value is too long to show.
static int ShowVariable(const WCHAR *name) {
    int result = 0;
    WCHAR *value = nullptr;
    WCHAR line[LINE_CAPACITY];
    const WCHAR *shown = line;
    // An empty value reads as 0 characters too, without the error.
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(name, line, LINE_CAPACITY);
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        Qprintf(StdErr(), MSG_NOT_IN_ENVIRONMENT, name);
        result = 1;
        goto done;
    }
    if (n == 0) {
        line[0] = 0;
    }
    if (n >= LINE_CAPACITY) {
        // n is the room the value needs, its terminator included.
        value = static_cast<WCHAR *>(HeapAlloc(GetProcessHeap(), 0, n * sizeof(WCHAR)));
        DWORD got = value != nullptr ? GetEnvironmentVariableW(name, value, n) : 0;
        if (got == 0 || got >= n) {
            Qprintf(StdErr(), MSG_TOO_LONG_TO_SHOW, name);
            result = 1;
            goto done;
        }
        shown = value;
    }
    QPuts(name);
    QPuts(EQUALS_SIGN);
    QPuts(shown);
    QPuts(LINE_END);
done:
    if (value != nullptr) {
        HeapFree(GetProcessHeap(), 0, value);
    }
    return result;
}

static int SetCommand(WCHAR *tail) {
    if (tail[0] == 0) {
        WCHAR *block = GetEnvironmentStringsW();
        if (block == nullptr) {
            return 1;
        }
        for (WCHAR *entry = block; *entry != 0; entry += HostLength(entry) + 1) {
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
        return ShowVariable(tail);
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

// Whether `tail` begins with the switch /box (in any case) as a word of
// its own; `rest` is then the text after it and its blanks.
static bool TakeBoxSwitch(const WCHAR *tail, const WCHAR **rest) {
    int n = 0;
    while (SWITCH_BOX[n] != 0 && FoldCase(tail[n]) == SWITCH_BOX[n]) {
        n++;
    }
    if (SWITCH_BOX[n] != 0 || (tail[n] != 0 && !IsBlank(tail[n]))) {
        return false;
    }
    while (IsBlank(tail[n])) {
        n++;
    }
    *rest = tail + n;
    return true;
}

// help [/box] [NAME]: the plugin's usage line for NAME, else a built-in's.
// The plugin's help box waits for a click, so it is opened only when /box
// asks for it; a name it has no box for gets its usage line as without.
static int HelpCommand(WCHAR *tail) {
    const WCHAR *subject = tail;
    bool box = TakeBoxSwitch(tail, &subject);
    if (subject[0] == 0) {
        ShowUsage();
        return 0;
    }
    // The plugin is asked with a writable copy of the name, as the host
    // gives it.
    WCHAR name[LINE_CAPACITY];
    CopyBounded(name, LINE_CAPACITY, subject);
    if (box && PluginHelp != nullptr) {
        // What came before the box must be seen while it waits.
        HostFlushOutput();
        if (PluginHelp(name) == 1) {
            return 0;
        }
        CopyBounded(name, LINE_CAPACITY, subject);
    }
    if (PluginUsage != nullptr) {
        WCHAR usage[USAGE_CAPACITY];
        for (int i = 0; i < USAGE_CAPACITY; i++) {
            usage[i] = 0;
        }
        if (PluginUsage(name, usage) == 1) {
            usage[USAGE_CAPACITY - 1] = 0;
            QPuts(usage);
            return 0;
        }
    }
    for (int i = 0; i < BUILTIN_COUNT; i++) {
        if (SameName(BUILTINS[i].name, subject)) {
            Printf(FORMAT_LINE, BUILTINS[i].usage);
            return 0;
        }
    }
    // A name of the plugin without a usage line, such as a variable
    // function, may still have a help box.
    if (PluginHelp != nullptr &&
        (FindPluginCommand(subject) != nullptr || HostFindVariable(subject) != nullptr)) {
        Printf(MSG_HELP_IN_BOX, subject, subject);
        return 0;
    }
    Qprintf(StdErr(), MSG_NO_HELP, subject);
    return 1;
}

BuiltinFn FindBuiltin(const WCHAR *name) {
    for (int i = 0; i < BUILTIN_COUNT; i++) {
        if (SameName(BUILTINS[i].name, name)) {
            return BUILTINS[i].function;
        }
    }
    return nullptr;
}
