// hoststate.h: the stand-in host's own state and its interface for
// glimhost and for tests; the plugin never sees it. It holds what the host
// services answer beyond the machine itself: the running batch file and its
// line, the plugin's variable functions, the shell's transient and pipe
// flags, and whether the console counts as a tab window of the graphical
// shell. Everything is process-global and used from one thread.
//
// ExpandVariables and HostExpandVariables understand these forms:
//   %name%  %name   an environment variable, or an internal variable or
//                   variable function of that name (names are letters,
//                   digits, underscore and $, beginning with a letter or
//                   underscore, and end at the first other character; a
//                   directly following % closes the name and is dropped)
//   %[name]         the same lookups by the bracketed name
//   %@name[args]    a registered @ function, given its expanded arguments
//   %%              a single %
// Lookups go to the registered variable functions first, then the internal
// variables (_batch, _batchname, _batchline, _cwd, _cwds, _transient,
// _pipe), then the environment; names compare without case. An undefined
// name expands to nothing; a % that begins no name stays as it is.
#pragma once

#include "plugin/host.h"

extern "C" {

// Back to the state of a fresh host: no batch file, no variable functions,
// not transient, not in a pipe, not a tab window.
void HostResetState(void);

// A batch file runs: `fullName` is its full name, `line` its current line
// (1-based). _batch becomes "1", _batchname the name and _batchline the
// line. A null or empty name is HostClearBatch. A name that does not fit
// the host's 16,384-character buffer is cut.
void HostSetBatch(const WCHAR *fullName, int line);
// No batch file runs: _batch is "0", _batchname empty, _batchline "-1".
void HostClearBatch(void);

// Registers a variable function (a name beginning with "_", used as %name)
// or an @ function (a name beginning with "@", used as %@name[...]); a name
// registered again gets the new function. The function is called with a
// buffer of 16,384 characters (for an @ function holding its arguments) and
// its text is inserted when it returns 0. Returns 0, or -1 when the name is
// empty, longer than 63 characters, or the table of 64 entries is full.
int HostRegisterVariable(const WCHAR *name, VariableFn function);
// The function registered under `name` (compared without case), or null.
VariableFn HostFindVariable(const WCHAR *name);

// QueryIsTCMD answers non-zero while this is on (or while the environment
// variable GLIMHOST_TCMD is "1").
void HostSetTabWindow(int on);
// _transient and _pipe expand to "1" while these are on, else to "0".
void HostSetTransient(int on);
void HostSetPipe(int on);

// Output buffering, for glimhost; off at the start, and left as it is by
// HostResetState. While it is on, Printf, Qprintf and QPuts learn once what
// each standard handle is (a console, or a file or pipe), and again when
// GetStdHandle gives another handle; text for a file or a pipe is gathered
// in a buffer of 64 KiB for each standard handle and written when the
// buffer is full, before anything is written to another handle, and by
// HostFlushOutput. Console text is written at once. Text for a handle that
// is not a standard one is written at once too, after both buffers. While
// it is off, every call has written its text when it returns. Turning it
// on or off writes out what is gathered first.
void HostSetOutputBuffering(int on);
// Writes out the text gathered for the standard handles; a failed write
// drops it. Does nothing when nothing is gathered.
void HostFlushOutput(void);

// ExpandVariables with a buffer of `capacity` characters (terminator
// included, at most 16,384), expanding in place. Returns 0; or 1 when the
// result does not fit, and then the buffer is left empty (a clear failure
// rather than a cut name); or -1, with the buffer unchanged, for a null
// buffer or a capacity below 1. ExpandVariables itself is this with the
// capacity 1,024, the smallest buffer the plugin passes.
int HostExpandVariables(WCHAR *buffer, int capacity);

} // extern "C"

// The state behind the functions above, read by the host services.
struct HostStateRecord {
    int batchActive;
    WCHAR batchName[16384];
    int batchLine;
    int transient;
    int pipe;
    int tabWindow;
};
const HostStateRecord *HostState(void);
