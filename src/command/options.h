// options.h: the two option bit sets that the command builds and the three
// operations test, and the Quiet setting.
#pragma once

#include "common/platform.h"

// ModeFlags
enum : DWORD {
    MODE_OVERWRITE = 0x0001,    // /O
    MODE_NO_TIME = 0x0002,      // /N:T
    MODE_NO_CRC = 0x0004,       // /N:X
    MODE_ONLY_KNOWN = 0x0008,   // /N:O, or /I given twice
    MODE_NO_TOTALS = 0x0010,    // /N:S
    MODE_SUBDIRECTORY = 0x0020, // set by the search for its subdirectory passes
    MODE_QUIET = 0x0080,        // /Q, or the Quiet setting
};

// SearchFlags
enum : DWORD {
    SEARCH_EMPTY_OK = 0x0001,   // /E, /N:E
    SEARCH_NO_HIDDEN = 0x0002,  // /N:D
    SEARCH_NO_SYSTEM = 0x0004,  // /N:Z
    SEARCH_NO_REPARSE = 0x0008, // /N:J
    SEARCH_RECURSE = 0x8000,    // /S
};

// 1 when the registry value "Quiet" under SOFTWARE\RIRevazud\Glimpset asks
// for quiet operation (current user first, the machine only when the user's
// key exists without the value), else 0. Opens and closes its keys.
int ReadQuietSetting(void);
