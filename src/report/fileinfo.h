// fileinfo.h: the description of one file for glim /I: Glimpset, SAVECON,
// or neither. Reads the first 80 bytes only.
#pragma once

#include "common/platform.h"

// Returns 0 when the file was read (described, or named as not a Glimpset
// file unless `onlyKnown`), -1 for an empty name, -2 when opening or reading
// failed (after its message). The file is closed before returning.
int ShowFileInfo(const WCHAR *name, int onlyKnown);
