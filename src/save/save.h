// save.h: the save operation, which captures the console screen buffer into
// a Glimpset file.
#pragma once

#include "common/platform.h"

// `path` (PATH_CAPACITY characters): empty, or the resolved file argument;
// it may be rewritten (current directory, default name). `modeFlags`: the
// command's ModeFlags. Returns 0 on success, 2 on any failure (after its
// message). On success LastName is the quoted path; on most failures
// "*ERROR*".
int SaveScreen(WCHAR *path, DWORD modeFlags);
