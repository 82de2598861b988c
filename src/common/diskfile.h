// diskfile.h: what an opened handle leads to. The save and the restore read
// and write only files on disk: a name may as well open the console, NUL, a
// port or a pipe, whose bytes are no saved screen (and reading the console's
// input or a port would wait for someone to type).
#pragma once

#include "common/platform.h"

enum DiskFileCheck {
    DISK_FILE,         // a file on a disk volume
    NOT_DISK_FILE,     // a device: the console, NUL, a port, a pipe ...
    DISK_CHECK_FAILED, // the system could not say; its last error says why
};

// Asks the system what `file` (an open handle) is. Neither reads nor
// writes it, and leaves it open whatever the answer.
DiskFileCheck CheckDiskFile(HANDLE file);
