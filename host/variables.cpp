// variables.cpp: variable expansion, ExpandVariables and its bounded form
// HostExpandVariables (the forms and the order of lookups are described in
// hoststate.h). The expansion is built in a buffer of its own and copied
// back only when all of it fits, so the caller's text is never left half
// expanded.
#include "plugin/host.h"
#include "host/hoststate.h"
#include "host/hostnames.h"

// The host cannot know how large the plugin's buffer is; the smallest the
// plugin passes holds 1,024 characters, so no expansion is longer.
static const int PLUGIN_CAPACITY = 1024;
// The largest buffer HostExpandVariables takes, and the buffer a variable
// function is given.
static const int EXPAND_MAX = 16384;
static const int VALUE_CAPACITY = 16384;
static const int NAME_CAPACITY = 256;
// @ functions nest through their arguments; deeper nesting is not expanded.
static const int NESTING_LIMIT = 4;

static const WCHAR VAR_BATCH[] = TEXT("_batch");
static const WCHAR VAR_BATCHNAME[] = TEXT("_batchname");
static const WCHAR VAR_BATCHLINE[] = TEXT("_batchline");
static const WCHAR VAR_CWD[] = TEXT("_cwd");
static const WCHAR VAR_CWDS[] = TEXT("_cwds");
static const WCHAR VAR_TRANSIENT[] = TEXT("_transient");
static const WCHAR VAR_PIPE[] = TEXT("_pipe");

struct Expansion {
    WCHAR *out;
    int capacity; // terminator included
    int length;
    bool overflow;
    int depth;
};

static int Expand(WCHAR *buffer, int capacity, int depth);

static bool IsNameStart(WCHAR ch) {
    return (ch >= TEXT('A') && ch <= TEXT('Z')) || (ch >= TEXT('a') && ch <= TEXT('z')) ||
           ch == TEXT('_');
}

static bool IsNameChar(WCHAR ch) {
    return IsNameStart(ch) || (ch >= TEXT('0') && ch <= TEXT('9')) || ch == TEXT('$');
}

static void AppendChar(Expansion *e, WCHAR ch) {
    if (e->length < e->capacity - 1) {
        e->out[e->length++] = ch;
    } else {
        e->overflow = true;
    }
}

static void AppendText(Expansion *e, const WCHAR *text) {
    while (*text != 0 && !e->overflow) {
        AppendChar(e, *text++);
    }
}

static void AppendNumber(Expansion *e, int value) {
    WCHAR digits[12];
    int n = 0;
    unsigned magnitude =
        value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<WCHAR>(TEXT('0') + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        AppendChar(e, TEXT('-'));
    }
    while (n > 0) {
        AppendChar(e, digits[--n]);
    }
}

// Calls a variable function with a buffer of its own, which holds `args`
// (for an @ function) or nothing, and inserts what it wrote when it
// returns 0.
static void AppendFunction(Expansion *e, VariableFn function, const WCHAR *args, int argsLength) {
    WCHAR value[VALUE_CAPACITY];
    for (int i = 0; i < VALUE_CAPACITY; i++) {
        value[i] = 0;
    }
    for (int i = 0; i < argsLength && i < VALUE_CAPACITY - 1; i++) {
        value[i] = args[i];
    }
    if (args != nullptr && Expand(value, VALUE_CAPACITY, e->depth + 1) != 0) {
        return;
    }
    if (function(value) != 0) {
        return;
    }
    value[VALUE_CAPACITY - 1] = 0;
    AppendText(e, value);
}

static void AppendCurrentDirectory(Expansion *e, bool trailingBackslash) {
    int room = e->capacity - e->length;
    DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(room), e->out + e->length);
    if (n == 0) {
        return;
    }
    if (n >= static_cast<DWORD>(room)) {
        e->overflow = true;
        return;
    }
    e->length += static_cast<int>(n);
    bool endsInBackslash = e->out[e->length - 1] == TEXT('\\');
    if (trailingBackslash && !endsInBackslash) {
        AppendChar(e, TEXT('\\'));
    } else if (!trailingBackslash && endsInBackslash && n > 3) {
        // "C:\" keeps its backslash; any other directory loses it.
        e->length--;
    }
}

static bool AppendInternal(Expansion *e, const WCHAR *name) {
    const HostStateRecord *state = HostState();
    if (SameName(name, VAR_BATCH)) {
        AppendNumber(e, state->batchActive);
    } else if (SameName(name, VAR_BATCHNAME)) {
        AppendText(e, state->batchName);
    } else if (SameName(name, VAR_BATCHLINE)) {
        AppendNumber(e, state->batchActive ? state->batchLine : -1);
    } else if (SameName(name, VAR_CWDS)) {
        AppendCurrentDirectory(e, true);
    } else if (SameName(name, VAR_CWD)) {
        AppendCurrentDirectory(e, false);
    } else if (SameName(name, VAR_TRANSIENT)) {
        AppendNumber(e, state->transient);
    } else if (SameName(name, VAR_PIPE)) {
        AppendNumber(e, state->pipe);
    } else {
        return false;
    }
    return true;
}

static void AppendEnvironment(Expansion *e, const WCHAR *name) {
    int room = e->capacity - e->length;
    DWORD n = GetEnvironmentVariableW(name, e->out + e->length, static_cast<DWORD>(room));
    if (n >= static_cast<DWORD>(room)) {
        e->overflow = true;
    } else {
        e->length += static_cast<int>(n);
    }
}

// Appends the value of `name` (length `length`, not terminated); a name too
// long for any variable is undefined and expands to nothing.
static void AppendValue(Expansion *e, const WCHAR *nameStart, int length) {
    if (length >= NAME_CAPACITY) {
        return;
    }
    WCHAR name[NAME_CAPACITY];
    for (int i = 0; i < length; i++) {
        name[i] = nameStart[i];
    }
    name[length] = 0;
    VariableFn function = HostFindVariable(name);
    if (function != nullptr && name[0] != TEXT('@')) {
        AppendFunction(e, function, nullptr, 0);
    } else if (!AppendInternal(e, name)) {
        AppendEnvironment(e, name);
    }
}

// %@name[args]: `p` is at the "@". Returns the position after the closing
// bracket, or null when this is no call of a registered @ function.
static const WCHAR *AppendAtFunction(Expansion *e, const WCHAR *p) {
    const WCHAR *nameEnd = p + 1;
    while (IsNameChar(*nameEnd)) {
        nameEnd++;
    }
    int nameLength = static_cast<int>(nameEnd - p);
    if (nameLength < 2 || nameLength >= NAME_CAPACITY || *nameEnd != TEXT('[')) {
        return nullptr;
    }
    const WCHAR *close = nameEnd + 1;
    int level = 1;
    for (; *close != 0; close++) {
        if (*close == TEXT('[')) {
            level++;
        } else if (*close == TEXT(']') && --level == 0) {
            break;
        }
    }
    if (*close == 0) {
        return nullptr;
    }
    WCHAR name[NAME_CAPACITY];
    for (int i = 0; i < nameLength; i++) {
        name[i] = p[i];
    }
    name[nameLength] = 0;
    VariableFn function = HostFindVariable(name);
    if (function == nullptr || e->depth >= NESTING_LIMIT) {
        return nullptr;
    }
    AppendFunction(e, function, nameEnd + 1, static_cast<int>(close - nameEnd - 1));
    return close + 1;
}

static int Expand(WCHAR *buffer, int capacity, int depth) {
    if (buffer == nullptr || capacity < 1) {
        return -1;
    }
    if (capacity > EXPAND_MAX) {
        capacity = EXPAND_MAX;
    }
    WCHAR out[EXPAND_MAX];
    Expansion e = {out, capacity, 0, false, depth};
    const WCHAR *p = buffer;
    while (*p != 0 && !e.overflow) {
        if (*p != TEXT('%')) {
            AppendChar(&e, *p++);
            continue;
        }
        WCHAR next = p[1];
        if (next == TEXT('%')) {
            AppendChar(&e, TEXT('%'));
            p += 2;
            continue;
        }
        if (next == TEXT('[')) {
            const WCHAR *close = p + 2;
            while (*close != 0 && *close != TEXT(']')) {
                close++;
            }
            if (*close == TEXT(']') && close > p + 2) {
                AppendValue(&e, p + 2, static_cast<int>(close - p - 2));
                p = close + 1;
                continue;
            }
        } else if (next == TEXT('@')) {
            const WCHAR *after = AppendAtFunction(&e, p + 1);
            if (after != nullptr) {
                p = after;
                continue;
            }
        } else if (IsNameStart(next)) {
            const WCHAR *end = p + 1;
            while (IsNameChar(*end)) {
                end++;
            }
            AppendValue(&e, p + 1, static_cast<int>(end - p - 1));
            p = *end == TEXT('%') ? end + 1 : end;
            continue;
        }
        AppendChar(&e, *p++);
    }
    if (e.overflow) {
        buffer[0] = 0;
        return 1;
    }
    for (int i = 0; i < e.length; i++) {
        buffer[i] = out[i];
    }
    buffer[e.length] = 0;
    return 0;
}

extern "C" int HostExpandVariables(WCHAR *buffer, int capacity) {
    return Expand(buffer, capacity, 0);
}

extern "C" int ExpandVariables(WCHAR *buffer, int mode) {
    (void)mode; // every mode expands variables and variable functions alike
    return Expand(buffer, PLUGIN_CAPACITY, 0);
}
