// search.h: the file search of glim /I: file specifications with wildcards
// and alternatives, recursion, per-directory and total counts.
#pragma once

#include "common/platform.h"

// Reports on every file specification in ArgTable (or "*"). Returns 0, 1
// when a specification was bad, 2 when a report failed.
int ListFileSpecs(DWORD modeFlags, DWORD searchFlags);
// Prepares a specification (semicolons of the name part to vertical bars)
// and resolves it into `output` (PATH_CAPACITY, preset empty by the caller).
int NormalizeFileSpec(const WCHAR *spec, WCHAR *output);
// Reports on the matching files of one directory and, with /S, below it.
// Returns -1 for an absent or empty path, else the lowest of 0 and the
// results of ShowFileInfo; -2 also for a level whose buffers could not be
// allocated (after its message; the levels beside it are still searched).
// A directory already on the path of the search is not entered again.
// `total` may be null.
int ListFiles(const WCHAR *spec, DWORD searchFlags, DWORD modeFlags, DWORD *total);
// The name part of `path`: after its last slash or backslash, else after
// its last colon, else all of it. With `buffer`, copied there (bounded by
// PATH_CAPACITY) and the buffer returned; without, a pointer into `path`.
// Null for an empty path.
const WCHAR *GetNamePart(const WCHAR *path, WCHAR *buffer);
