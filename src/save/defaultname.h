// defaultname.h: made-up file names for a save into a directory:
// "Glimpset YYYY-MM-DD hh.mm.ss.glim", with a counter "-0000" to "-FFFF"
// when the name is taken (by a file or a directory).
#pragma once

#include "common/platform.h"

// `path` (PATH_CAPACITY characters) holds a directory on entry and the full
// path of a name under which nothing exists on success. Returns 0, or -1 when
// no buffer was given or every candidate is taken (or a name would not fit
// the buffer, or could not be formatted); the buffer then holds what it held
// on entry.
int MakeDefaultName(WCHAR *path, const SYSTEMTIME *time);
