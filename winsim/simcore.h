// winsim/simcore.h: what the parts of winsim share among themselves (not
// for tests, which use sim.h). core.cpp owns the handle table, the last
// error, the heap, the call log and failure injection; console.cpp, the
// volume's files (volume.h), environment.cpp, registry.cpp and system.cpp
// own their parts of the machine and each gives core.cpp a reset function.
#pragma once

#include "winsim/sim.h"

#include <cstdint>
#include <string>

namespace winsim {

// ---- Kinds of objects behind handles.
enum HandleKind {
    KIND_NONE = 0, // not a live handle
    KIND_STD,      // one of the three standard handles
    KIND_FILE,     // a file or a directory opened with CreateFileW
    KIND_FIND,     // a FindFirstFileW search
    KIND_CONSOLE,  // "CONOUT$"
    KIND_KEY,      // an opened registry key
    KIND_DEVICE,   // NUL, console input, a port or a pipe (devices.cpp)
};

// Every call of a winsim function starts here: the call is logged and the
// armed failures of `function` are counted. Returns true when the call must
// fail; `*error` is then the code to report.
bool Enter(const char *function, DWORD *error);
// Enter for a call whose failure is reported through the last error: an
// armed failure's code is set as the last error. True when the call must
// fail.
bool EnterOrFail(const char *function);
// True when an armed FailPath of `function` names `path`; `*error` is then
// the code to report. Does not log.
bool PathFails(const char *function, const WCHAR *path, DWORD *error);

// A new handle of the given kind (counted by OpenHandles until dropped).
HANDLE NewHandle(HandleKind kind);
// The kind of a live handle; KIND_STD for a standard handle; KIND_NONE else.
HandleKind KindOf(HANDLE handle);
// Removes a handle from the table.
void DropHandle(HANDLE handle);
// Which standard handle (STD_*_HANDLE) `handle` is, or 0.
DWORD StdWhich(HANDLE handle);
// Whether the standard handles are console handles (sim::SetStdIsConsole).
bool StdIsConsole();

// Stops the program with a message: winsim was asked for something that it
// does not simulate, or for something that would be undefined on Windows.
[[noreturn]] void Unsupported(const char *function, const char *what);

// ---- Per-part hooks for CloseHandle and sim::Reset.
void ResetConsole();
void ResetVolume();
void ResetEnvironment();
void ResetRegistry();
void ResetSystem();
// Sets the machine up as sim::Reset does, unless that has happened already.
void EnsureInitialised();
// Closes a file or console handle's object (CloseHandle); the handle table
// entry is dropped by the caller.
void CloseFileObject(HANDLE handle);
void CloseConsoleObject(HANDLE handle);
void CloseDeviceObject(HANDLE handle);
// GetFileType of a device handle: FILE_TYPE_CHAR, or FILE_TYPE_PIPE.
DWORD DeviceFileType(HANDLE handle);
// Appends captured output of a standard handle.
void AppendStd(DWORD which, const std::string &bytes);
// CreateFileW on "CONOUT$", after the call was logged (console.cpp).
HANDLE OpenConsole(DWORD access);
// Whether the machine has a console (sim::ConsoleState::present).
bool ConsolePresent();

// ---- Paths (paths.cpp). The key under which a path is compared: its full
// path (as GetFullPathNameW would make it) with letters folded.
std::u16string PathKey(const WCHAR *path);
// Folds A-Z and Latin-1 capitals to lower case.
WCHAR FoldChar(WCHAR c);
std::u16string Fold(const std::u16string &text);

// Length of a null-terminated UTF-16 string.
size_t Length(const WCHAR *text);

} // namespace winsim
