// defaultname.h: made-up file names for a save into a directory:
// "Glimpset YYYY-MM-DD hh.mm.ss.glim", with a counter "-0000" to "-FFFF"
// when the name is taken (by a file or a directory).
#pragma once

#include "common/platform.h"

// The candidates, in the order they are tried: the plain name is number 0,
// the counter -0000 to -FFFF numbers 1 to 65536.
enum { DEFAULT_NAME_CANDIDATES = 65537 };

// `path` (PATH_CAPACITY characters) holds a directory on entry and the full
// path of a name under which nothing exists on success. Returns 0, or -1 when
// no buffer was given or every candidate is taken (or a name would not fit
// the buffer, or could not be formatted); the buffer then holds what it held
// on entry.
int MakeDefaultName(WCHAR *path, const SYSTEMTIME *time);
// As MakeDefaultName, trying candidate `first` and the later ones only, for
// a name that was free when it was made up and taken when the file was
// created. On success *chosen is the number of the candidate in the path.
int MakeDefaultNameFrom(WCHAR *path, const SYSTEMTIME *time, int first, int *chosen);
