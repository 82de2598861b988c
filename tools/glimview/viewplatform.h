// viewplatform.h: what glimview asks of the machine, with one source file
// per platform behind it (platform_posix.cpp over the C++ library on real
// files, platform_windows.cpp over Win32): reading an input file whole,
// writing an output file, and the writers of standard output and error.
#pragma once

#include "glimview/glimview.h"

enum {
    // The most of a file that is read. A screen needs far less: at most
    // 80 bytes, 832 for SAVECON, plus 8 bytes a cell for 5,119,488 cells;
    // whatever lies beyond is never decoded.
    VIEW_READ_LIMIT = 64 * 1024 * 1024,
    VIEW_REASON_BYTES = 512,
};

enum ViewReadResult {
    VIEW_READ_OK = 0,
    VIEW_READ_NO_OPEN = 1,   // the file could not be opened
    VIEW_READ_NO_READ = 2,   // reading it failed
    VIEW_READ_NO_MEMORY = 3, // no memory for its bytes
};

// Reads the first min(file size, `limit`) bytes of the file named `path`
// (UTF-8) into a block from ViewAlloc, which the caller releases with
// ViewFree. On success *data (null for an empty file) and *size are set. On
// failure nothing is held, *data is null, the file is closed and `reason`
// (VIEW_REASON_BYTES) holds the system's text in UTF-8. Written once, over
// the three calls below that each platform supplies.
ViewReadResult ViewReadFile(const char *path, DWORD limit, BYTE **data, DWORD *size, char *reason);

// Opens the file named `path` (UTF-8) for reading. Returns its handle for
// ViewReadInput and ViewCloseInput, or null with the system's text in
// `reason` (VIEW_REASON_BYTES).
void *ViewOpenInput(const char *path, char *reason);
// Reads up to `size` bytes into `buffer`; *got is 0 at the end of the file.
// FALSE, with the system's text in `reason`, when reading failed.
BOOL ViewReadInput(void *input, BYTE *buffer, DWORD size, DWORD *got, char *reason);
// Closes a handle from ViewOpenInput.
void ViewCloseInput(void *input);

// TRUE when the names `first` and `second` (UTF-8) both reach one existing
// file: the same device and inode on POSIX, the same volume serial number
// and file index on Windows (and, where the file system gives no index,
// the same final path), so that another spelling of a name, a hard link or
// a symbolic link counts as the same file. FALSE when either name
// reaches nothing, or the system cannot say what it reaches. Opens nothing
// for writing and changes nothing.
BOOL ViewSameFile(const char *first, const char *second);

// Creates (or truncates) the file named `path` (UTF-8) for writing. Returns
// its handle for ViewFileWriter and ViewCloseFile, or null with the system's
// text in `reason` (VIEW_REASON_BYTES).
void *ViewCreateFile(const char *path, char *reason);
// A sink writer over a handle from ViewCreateFile.
BOOL ViewFileWriter(void *context, const BYTE *data, DWORD size);
// Closes a handle from ViewCreateFile. FALSE, with the system's text for
// the first failure in `reason`, when a write through the handle or the
// closing failed (the file may then be incomplete); the handle is gone
// either way.
BOOL ViewCloseFile(void *file, char *reason);

// Called with each name a pattern matches; FALSE stops the calls.
typedef BOOL (*ViewNameCallback)(void *context, const char *name);
// Calls `found` with the name (UTF-8) of each file, not directory, that the
// wildcard pattern `pattern` ("*" and "?" in its last part) matches, its
// folder part as the pattern gives it, in the order of the names (ignoring
// case on Windows). Returns how many names it gave; 0, with the system's
// text in `reason` (VIEW_REASON_BYTES), when nothing matched or when memory
// for the names could not be had (then no name is given at all). Windows programs expand their own wildcards; a POSIX shell has
// done it before glimview starts, so there only the tests ask.
DWORD ViewExpandPattern(const char *pattern, ViewNameCallback found, void *context, char *reason);

// Sink writers over standard output and standard error (context unused).
// Output to a console is shown as the console shows UTF-8 text.
BOOL ViewStdoutWriter(void *context, const BYTE *data, DWORD size);
BOOL ViewStderrWriter(void *context, const BYTE *data, DWORD size);
// Readies standard output for what is about to be written to it: where it
// is a console and `colour` is set, SGR sequences are made to take effect.
void ViewPrepareStdout(BOOL colour);
// Undoes what ViewPrepareStdout changed.
void ViewRestoreStdout(void);
