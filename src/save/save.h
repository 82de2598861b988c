// save.h: the save operation, which captures the console screen buffer into
// a Glimpset file.
#pragma once

#include "common/platform.h"

// `path` (PATH_CAPACITY characters): empty, or the resolved file argument;
// it may be rewritten (current directory, default name). `modeFlags`: the
// command's ModeFlags. Returns 0 on success, 2 on any failure (after its
// message). On success LastName is the quoted path; on most failures
// "*ERROR*", but when no name can be made up or the console cannot be read
// it keeps its value. Only a file on disk is written: a name that opens a
// device is refused, nothing created. After a failure no file of this save
// is left under the target's name nor beside it, and a file that /O was to
// replace keeps its old content, except when it had to be written in place
// (a link, a file of several names, a folder or a move that refuses) and
// that write failed.
int SaveScreen(WCHAR *path, DWORD modeFlags);
