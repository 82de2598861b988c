// fileinfo.h: the description of one file for glim /I: Glimpset, SAVECON,
// or neither. Reads the first 80 bytes only.
#pragma once

#include "common/platform.h"

// Returns 0 when the file was read (described, or named as not a Glimpset
// file unless `onlyKnown`), -1 for an empty name, -2 when opening or reading
// failed (after its message). The file is closed before returning.
int ShowFileInfo(const WCHAR *name, int onlyKnown);
// As ShowFileInfo, but the file is opened by `openName` while every line
// names it `name`: the search opens a found file by a name that no path
// normalisation alters, and shows it as the listing found it.
int ShowFileInfoAs(const WCHAR *name, const WCHAR *openName, int onlyKnown);
// Reports a file that could not be opened, with the system's text for
// `code`, as ShowFileInfo reports a failed open (an empty line on standard
// output, then the error). Returns -2.
int ReportUnopenedFile(const WCHAR *name, DWORD code);
