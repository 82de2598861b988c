// paths.cpp: the host's path services QueryTrueName, QueryIsDirectory,
// QueryIsFileOrDirectory and QueryIsTCMD. Names are resolved by the
// system's GetFullPathNameW; a last component with wildcards is kept as
// typed, since the system would take its trailing dots and blanks away and
// they belong to the pattern. A name that begins with "\\?\" or "\\.\" is
// a path in the system's own namespaces: the prefix is no pattern and no
// drive, and what follows it is a name like any other, its last component
// a pattern when it holds wildcards (the system's directory search takes
// them after the prefix as well).
#include "plugin/host.h"
#include "host/hoststate.h"

static const int PATH_CAPACITY = 16384;

static const WCHAR TAB_WINDOW_VARIABLE[] = TEXT("GLIMHOST_TCMD");
static const int PREFIX_LENGTH = 4; // "\\?\" or "\\.\"
static const WCHAR CURRENT_DIRECTORY[] = TEXT(".");

static bool IsDriveLetter(WCHAR ch) {
    return (ch >= TEXT('A') && ch <= TEXT('Z')) || (ch >= TEXT('a') && ch <= TEXT('z'));
}

static bool IsSeparator(WCHAR ch) {
    return ch == TEXT('\\') || ch == TEXT('/');
}

static bool IsWildcard(WCHAR ch) {
    return ch == TEXT('*') || ch == TEXT('?') || ch == TEXT('[') || ch == TEXT(']') ||
           ch == TEXT('|');
}

// Characters that can be in no existing name (so a test for existence is
// answered without asking the system).
static bool IsNeverInName(WCHAR ch) {
    return ch == TEXT('*') || ch == TEXT('?') || ch == TEXT('|') || ch == TEXT('<') ||
           ch == TEXT('>') || ch == TEXT('"');
}

// PREFIX_LENGTH when `path` begins with "\\?\" or "\\.\", else 0.
static int PrefixLength(const WCHAR *path) {
    bool prefixed = path[0] == TEXT('\\') && path[1] == TEXT('\\') &&
                    (path[2] == TEXT('?') || path[2] == TEXT('.')) && path[3] == TEXT('\\');
    return prefixed ? PREFIX_LENGTH : 0;
}

// The length of a usable name, or -1: empty, too long, a control character
// or one of < > ", or a colon anywhere but after a leading drive letter
// (after the prefix, when there is one).
static int CheckName(const WCHAR *path) {
    int start = PrefixLength(path);
    int n = start;
    for (; path[n] != 0; n++) {
        WCHAR ch = path[n];
        if (n >= PATH_CAPACITY - 1) {
            return -1;
        }
        if (ch < 0x20 || ch == TEXT('<') || ch == TEXT('>') || ch == TEXT('"')) {
            return -1;
        }
        if (ch == TEXT(':') && !(n == start + 1 && IsDriveLetter(path[start]))) {
            return -1;
        }
    }
    return n == start ? -1 : n;
}

// GetFullPathNameW into `output`; false (output empty) when it fails or
// the result does not fit.
static bool FullPath(const WCHAR *name, WCHAR *output) {
    DWORD n = GetFullPathNameW(name, PATH_CAPACITY, output, nullptr);
    if (n == 0 || n >= static_cast<DWORD>(PATH_CAPACITY)) {
        output[0] = 0;
        return false;
    }
    return true;
}

extern "C" int QueryTrueName(const WCHAR *path, WCHAR *output) {
    if (output == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    output[0] = 0;
    if (path == nullptr) {
        return ERROR_INVALID_NAME;
    }
    int length = CheckName(path);
    if (length < 0) {
        return ERROR_INVALID_NAME;
    }
    // The last component begins after the last separator, or after "X:".
    int last = 0;
    if (length >= 2 && path[1] == TEXT(':')) {
        last = 2;
    }
    for (int i = 0; i < length; i++) {
        if (IsSeparator(path[i])) {
            last = i + 1;
        }
    }
    bool wild = false;
    for (int i = last; i < length; i++) {
        wild = wild || IsWildcard(path[i]);
    }
    if (!wild) {
        return FullPath(path, output) ? 0 : ERROR_FILENAME_EXCED_RANGE;
    }

    // Resolve the directory part on its own, then put the pattern after it.
    WCHAR directory[PATH_CAPACITY];
    for (int i = 0; i < last; i++) {
        directory[i] = path[i];
    }
    directory[last] = 0;
    if (!FullPath(last == 0 ? CURRENT_DIRECTORY : directory, output)) {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    int n = 0;
    while (output[n] != 0) {
        n++;
    }
    bool needSeparator = n > 0 && !IsSeparator(output[n - 1]);
    if (n + (needSeparator ? 1 : 0) + (length - last) >= PATH_CAPACITY) {
        output[0] = 0;
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (needSeparator) {
        output[n++] = TEXT('\\');
    }
    for (int i = last; i < length; i++) {
        output[n++] = path[i];
    }
    output[n] = 0;
    return 0;
}

// The attributes of an existing name, or INVALID_FILE_ATTRIBUTES.
static DWORD Attributes(const WCHAR *path) {
    if (path == nullptr || path[0] == 0) {
        return INVALID_FILE_ATTRIBUTES;
    }
    for (int i = PrefixLength(path); path[i] != 0; i++) {
        if (IsNeverInName(path[i])) {
            return INVALID_FILE_ATTRIBUTES;
        }
    }
    return GetFileAttributesW(path);
}

extern "C" int QueryIsDirectory(const WCHAR *path) {
    DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

extern "C" int QueryIsFileOrDirectory(const WCHAR *path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

extern "C" int QueryIsTCMD(void) {
    if (HostState()->tabWindow) {
        return 1;
    }
    WCHAR value[4] = {0};
    DWORD n = GetEnvironmentVariableW(TAB_WINDOW_VARIABLE, value, 4);
    return n == 1 && value[0] == TEXT('1');
}
