// winsim/core.cpp: the heart of the simulated machine. Owns the handle table
// (and CloseHandle, GetStdHandle, GetFileType), the last error code, the
// process heap with its counters, the call log, failure injection, the
// captured standard output and error, and sim::Reset.
//
// Choices where Win32 leaves a simulation free:
// - GetLastError, SetLastError and GetProcessHeap are not logged and cannot
//   be made to fail: they have no failure a caller could meet.
// - A failed HeapAlloc returns NULL and leaves the last error as it was, as
//   Win32's HeapAlloc does without HEAP_GENERATE_EXCEPTIONS; the error given
//   to FailCall("HeapAlloc", ...) is therefore not used.
// - Memory from HeapAlloc without HEAP_ZERO_MEMORY is filled with 0xCD, so
//   that code relying on fresh memory being zero shows itself.
// - HeapFree of a block the heap never gave out, or gave out and took back,
//   stops the program: on Windows that corrupts the heap.
// - CloseHandle on a search handle or a registry key fails with
//   ERROR_INVALID_HANDLE (they are closed with FindClose and RegCloseKey).
#include "winsim/simcore.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace winsim {

namespace {

struct ArmedFailure {
    std::string function;
    int nth;     // 0 for every call
    int seen;    // calls since arming
    bool byPath; // FailPath
    std::u16string pathKey;
    DWORD error;
};

struct Block {
    size_t bytes;
};

// Fixed values: the standard handles lie below every handle of the table.
const uintptr_t STD_INPUT_VALUE = 0x50;
const uintptr_t STD_OUTPUT_VALUE = 0x54;
const uintptr_t STD_ERROR_VALUE = 0x58;
const uintptr_t FIRST_HANDLE_VALUE = 0x1000;
const uintptr_t PROCESS_HEAP_VALUE = 0x7A5E0000;

bool initialised = false;
DWORD lastError = 0;
std::vector<std::string> callLog;
std::vector<ArmedFailure> failures;
std::map<uintptr_t, HandleKind> handles;
uintptr_t nextHandle = FIRST_HANDLE_VALUE;
std::map<void *, Block> liveBlocks;
std::set<void *> forgottenBlocks; // live at a Reset: freed without counting
uint64_t liveBytes = 0, peakBytes = 0;
bool stdIsConsole = false;
std::string capturedOut, capturedErr;

void ResetCore() {
    lastError = 0;
    callLog.clear();
    failures.clear();
    handles.clear();
    nextHandle = FIRST_HANDLE_VALUE;
    for (auto &entry : liveBlocks) {
        forgottenBlocks.insert(entry.first);
    }
    liveBlocks.clear();
    liveBytes = 0;
    peakBytes = 0;
    stdIsConsole = false;
    capturedOut.clear();
    capturedErr.clear();
}

void ResetAll() {
    initialised = true;
    ResetCore();
    ResetConsole();
    ResetVolume();
    ResetEnvironment();
    ResetRegistry();
    ResetSystem();
}

} // namespace

void EnsureInitialised() {
    if (!initialised) {
        ResetAll();
    }
}

void Unsupported(const char *function, const char *what) {
    fprintf(stderr, "winsim: %s: %s is not simulated\n", function, what);
    fflush(stderr);
    abort();
}

bool Enter(const char *function, DWORD *error) {
    EnsureInitialised();
    callLog.push_back(function);
    bool fail = false;
    for (size_t i = 0; i < failures.size();) {
        ArmedFailure &f = failures[i];
        if (f.byPath || f.function != function) {
            i++;
            continue;
        }
        if (f.nth == 0) {
            fail = true;
            *error = f.error;
            i++;
            continue;
        }
        f.seen++;
        if (f.seen == f.nth) {
            fail = true;
            *error = f.error;
            failures.erase(failures.begin() + (long)i);
            continue;
        }
        i++;
    }
    return fail;
}

bool EnterOrFail(const char *function) {
    DWORD error = 0;
    if (Enter(function, &error)) {
        lastError = error;
        return true;
    }
    return false;
}

bool PathFails(const char *function, const WCHAR *path, DWORD *error) {
    if (path == nullptr) {
        return false;
    }
    std::u16string key;
    bool keyMade = false;
    for (const ArmedFailure &f : failures) {
        if (!f.byPath || f.function != function) {
            continue;
        }
        if (!keyMade) {
            key = PathKey(path);
            keyMade = true;
        }
        if (f.pathKey == key) {
            *error = f.error;
            return true;
        }
    }
    return false;
}

HANDLE NewHandle(HandleKind kind) {
    EnsureInitialised();
    uintptr_t value = nextHandle;
    nextHandle += 4;
    handles[value] = kind;
    return (HANDLE)value;
}

HandleKind KindOf(HANDLE handle) {
    uintptr_t value = (uintptr_t)handle;
    if (value == STD_INPUT_VALUE || value == STD_OUTPUT_VALUE || value == STD_ERROR_VALUE) {
        return KIND_STD;
    }
    auto it = handles.find(value);
    return it == handles.end() ? KIND_NONE : it->second;
}

void DropHandle(HANDLE handle) {
    handles.erase((uintptr_t)handle);
}

DWORD StdWhich(HANDLE handle) {
    switch ((uintptr_t)handle) {
    case STD_INPUT_VALUE:
        return STD_INPUT_HANDLE;
    case STD_OUTPUT_VALUE:
        return STD_OUTPUT_HANDLE;
    case STD_ERROR_VALUE:
        return STD_ERROR_HANDLE;
    default:
        return 0;
    }
}

bool StdIsConsole() {
    return stdIsConsole;
}

void AppendStd(DWORD which, const std::string &bytes) {
    if (which == STD_OUTPUT_HANDLE) {
        capturedOut += bytes;
    } else if (which == STD_ERROR_HANDLE) {
        capturedErr += bytes;
    }
}

size_t Length(const WCHAR *text) {
    size_t n = 0;
    while (text[n] != 0) {
        n++;
    }
    return n;
}

} // namespace winsim

using namespace winsim;

extern "C" {

DWORD GetLastError(void) {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

HANDLE GetProcessHeap(void) {
    EnsureInitialised();
    return (HANDLE)PROCESS_HEAP_VALUE;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    DWORD error = 0;
    if (Enter("HeapAlloc", &error)) {
        return nullptr;
    }
    if ((uintptr_t)heap != PROCESS_HEAP_VALUE) {
        Unsupported("HeapAlloc", "a heap other than the process heap");
    }
    if ((flags & ~(DWORD)HEAP_ZERO_MEMORY) != 0) {
        Unsupported("HeapAlloc", "a flag other than HEAP_ZERO_MEMORY");
    }
    // Win32 gives a distinct block even for 0 bytes.
    void *memory = malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) {
        return nullptr;
    }
    memset(memory, (flags & HEAP_ZERO_MEMORY) ? 0 : 0xCD, bytes);
    liveBlocks[memory] = Block{bytes};
    liveBytes += bytes;
    if (liveBytes > peakBytes) {
        peakBytes = liveBytes;
    }
    return memory;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory) {
    if (EnterOrFail("HeapFree")) {
        return FALSE;
    }
    if ((uintptr_t)heap != PROCESS_HEAP_VALUE) {
        Unsupported("HeapFree", "a heap other than the process heap");
    }
    (void)flags;
    if (memory == nullptr) {
        return TRUE;
    }
    auto it = liveBlocks.find(memory);
    if (it != liveBlocks.end()) {
        liveBytes -= it->second.bytes;
        liveBlocks.erase(it);
        free(memory);
        return TRUE;
    }
    auto old = forgottenBlocks.find(memory);
    if (old != forgottenBlocks.end()) {
        forgottenBlocks.erase(old);
        free(memory);
        return TRUE;
    }
    Unsupported("HeapFree", "freeing a block that is not live (double free or foreign pointer)");
}

HANDLE GetStdHandle(DWORD which) {
    if (EnterOrFail("GetStdHandle")) {
        return INVALID_HANDLE_VALUE;
    }
    switch (which) {
    case STD_INPUT_HANDLE:
        return (HANDLE)STD_INPUT_VALUE;
    case STD_OUTPUT_HANDLE:
        return (HANDLE)STD_OUTPUT_VALUE;
    case STD_ERROR_HANDLE:
        return (HANDLE)STD_ERROR_VALUE;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL CloseHandle(HANDLE handle) {
    if (EnterOrFail("CloseHandle")) {
        return FALSE;
    }
    switch (KindOf(handle)) {
    case KIND_STD:
        // The standard handles stay usable: the host owns them.
        return TRUE;
    case KIND_FILE:
        CloseFileObject(handle);
        DropHandle(handle);
        return TRUE;
    case KIND_CONSOLE:
        CloseConsoleObject(handle);
        DropHandle(handle);
        return TRUE;
    case KIND_DEVICE:
        CloseDeviceObject(handle);
        DropHandle(handle);
        return TRUE;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
}

DWORD GetFileType(HANDLE handle) {
    if (EnterOrFail("GetFileType")) {
        return FILE_TYPE_UNKNOWN;
    }
    switch (KindOf(handle)) {
    case KIND_STD:
        return stdIsConsole ? FILE_TYPE_CHAR : FILE_TYPE_PIPE;
    case KIND_FILE:
        return FILE_TYPE_DISK;
    case KIND_CONSOLE:
        return FILE_TYPE_CHAR;
    case KIND_DEVICE:
        return DeviceFileType(handle);
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
}

} // extern "C"

namespace sim {

void Reset() {
    ResetAll();
}

std::string Stdout() {
    EnsureInitialised();
    return capturedOut;
}

std::string Stderr() {
    EnsureInitialised();
    return capturedErr;
}

void ClearOutput() {
    capturedOut.clear();
    capturedErr.clear();
}

void SetStdIsConsole(bool console) {
    EnsureInitialised();
    stdIsConsole = console;
}

std::vector<std::string> &CallLog() {
    EnsureInitialised();
    return callLog;
}

int CallCount(const std::string &function) {
    int n = 0;
    for (const std::string &name : callLog) {
        if (name == function) {
            n++;
        }
    }
    return n;
}

void FailCall(const std::string &function, int nth, DWORD error) {
    EnsureInitialised();
    if (nth < 1) {
        Unsupported("sim::FailCall", "a call number below 1");
    }
    failures.push_back(ArmedFailure{function, nth, 0, false, std::u16string(), error});
}

void FailAlways(const std::string &function, DWORD error) {
    EnsureInitialised();
    failures.push_back(ArmedFailure{function, 0, 0, false, std::u16string(), error});
}

void FailPath(const std::string &function, const std::u16string &path, DWORD error) {
    EnsureInitialised();
    failures.push_back(ArmedFailure{function, 0, 0, true, PathKey(path.c_str()), error});
}

void ClearFailures() {
    failures.clear();
}

int OpenHandles() {
    EnsureInitialised();
    return (int)handles.size();
}

long LiveAllocations() {
    EnsureInitialised();
    return (long)liveBlocks.size();
}

uint64_t LiveBytes() {
    EnsureInitialised();
    return liveBytes;
}

uint64_t PeakBytes() {
    EnsureInitialised();
    return peakBytes;
}

void ResetPeak() {
    EnsureInitialised();
    peakBytes = liveBytes;
}

} // namespace sim
