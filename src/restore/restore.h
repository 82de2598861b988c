// restore.h: the restore operation, which puts a saved Glimpset or SAVECON
// screen back into the console. Nothing in the console changes before the
// whole file is read, decoded and verified.
#pragma once

#include "common/platform.h"

// `name`: the resolved file name (may be empty). Returns 0 when restored,
// 1 when no name was given, 2 on any other failure (after its message),
// among them a name that opens no file on disk (the console, NUL, a port,
// a pipe), which is closed unread. Every failure before the cells are
// written leaves the console as it was; no window lower than 2 rows is
// ever left, and 0 is never returned with a buffer of another size than
// the saved one. In a terminal (a pseudo console) the buffer and the
// window keep their size: a file of another size has its saved window
// written into the screen, clipped to it, and the result 0 comes after one
// line on standard error that says so.
int RestoreScreen(const WCHAR *name, DWORD modeFlags);
