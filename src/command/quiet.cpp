// quiet.cpp: the Quiet setting in the registry. The current user's key
// decides when it holds the value; the machine's key is asked only when the
// user's key exists without it.
#include "command/options.h"

static const WCHAR QuietKeyPath[] = TEXT("SOFTWARE\\RIRevazud\\Glimpset");
static const WCHAR QuietValueName[] = TEXT("Quiet");

// The "Quiet" value of an open key: 1 for a DWORD other than 0, 0 for a
// DWORD of 0, -1 when the value is missing or of another type. A DWORD whose
// data is not four bytes long is no number but still a DWORD: it counts as
// 0, and what the read left in the buffer (part of it, or nothing it vouches
// for) is never looked at.
static int ReadQuietValue(HKEY key) {
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LSTATUS status = RegQueryValueExW(key, QuietValueName, nullptr, &type, (LPBYTE)&value, &size);
    if ((status != ERROR_SUCCESS && status != ERROR_MORE_DATA) || type != REG_DWORD) {
        return -1;
    }
    if (status != ERROR_SUCCESS || size != sizeof(value)) {
        return 0;
    }
    return value != 0 ? 1 : 0;
}

// The value under `root`: as ReadQuietValue, and -2 when the key cannot be
// opened. The key is closed again.
static int ReadQuietUnder(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyW(root, QuietKeyPath, &key) != ERROR_SUCCESS) {
        return -2;
    }
    int value = ReadQuietValue(key);
    RegCloseKey(key);
    return value;
}

int ReadQuietSetting(void) {
    int value = ReadQuietUnder(HKEY_CURRENT_USER);
    if (value == -1) {
        value = ReadQuietUnder(HKEY_LOCAL_MACHINE);
    }
    return value == 1 ? 1 : 0;
}
