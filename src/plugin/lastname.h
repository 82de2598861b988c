// lastname.h: the last-name store, the value of _lastglim. None from load
// until the first save; then the quoted name of the file that the last
// successful save wrote, or "*ERROR*" after a failed one.
#pragma once

#include "common/platform.h"

extern WCHAR *LastName; // on the process heap, or null

// With a name: LastName becomes "\"name\"". Without one (null): "*ERROR*".
// Returns 0, or -1 when no memory could be had (LastName is then null).
int SetLastName(const WCHAR *name);
// Frees LastName (ShutdownPlugin).
void FreeLastName(void);
