// winsim/devices.cpp: the devices that CreateFileW opens by name (volume.h):
// NUL, the console (CON, CONIN$, CONOUT$), the serial and parallel ports
// (COM1-9 and AUX, LPT1-9 and PRN) and named pipes ("\\.\pipe\NAME"), their
// handles, and what ReadFile, WriteFile and GetFileType do with them.
//
// As Win32 documents: "CON" opened for reading is the console's input, for
// writing its active screen buffer, and for both (or neither) fails with
// ERROR_FILE_NOT_FOUND; a port opens once at a time (ERROR_ACCESS_DENIED
// for a second open); a port or pipe that is not there is
// ERROR_FILE_NOT_FOUND. Every device is FILE_TYPE_CHAR but a pipe,
// FILE_TYPE_PIPE.
//
// Choices where the machine is not Windows:
// - NUL, CON, CONIN$ and CONOUT$ are always there (the console ones fail
//   with ERROR_INVALID_HANDLE when there is no console); ports and pipes
//   exist only once a test makes them (sim::SetPortPresent, sim::MakePipe).
// - Reading console input, a port or a pipe would wait for a person or a
//   peer, and writing a port or a pipe may wait too: such a transfer stops
//   the program rather than block a test. NUL reads nothing and takes
//   every byte.
// - Opening a volume ("\\.\C:") stops the program.
#include "winsim/volume.h"

namespace winsim {

namespace {

enum DeviceKind {
    DEVICE_NUL,
    DEVICE_CONSOLE_INPUT,
    DEVICE_PORT,
    DEVICE_PIPE,
};

struct Device {
    DeviceKind kind;
    std::u16string name; // a port's name ("com1"), a pipe's name
};

const char16_t PipePrefix[] = u"pipe\\";

std::map<uintptr_t, Device> devices;
std::set<std::u16string> ports; // present ports, folded: "com1", "lpt2"
std::set<std::u16string> pipes; // made pipes, folded

bool IsDigit1To9(WCHAR c) {
    return c >= u'1' && c <= u'9';
}

// The canonical name of a port ("aux" is "com1", "prn" is "lpt1"), or
// empty when `folded` names no port.
std::u16string PortName(const std::u16string &folded) {
    if (folded == u"aux") {
        return u"com1";
    }
    if (folded == u"prn") {
        return u"lpt1";
    }
    if (folded.size() == 4 &&
        (folded.compare(0, 3, u"com") == 0 || folded.compare(0, 3, u"lpt") == 0) &&
        IsDigit1To9(folded[3])) {
        return folded;
    }
    return std::u16string();
}

HANDLE NewDevice(DeviceKind kind, const std::u16string &name) {
    HANDLE handle = NewHandle(KIND_DEVICE);
    devices[(uintptr_t)handle] = Device{kind, name};
    return handle;
}

HANDLE Refuse(DWORD error) {
    Fail(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenConsoleInput() {
    if (!ConsolePresent()) {
        return Refuse(ERROR_INVALID_HANDLE);
    }
    return NewDevice(DEVICE_CONSOLE_INPUT, u"conin$");
}

bool PortIsOpen(const std::u16string &port) {
    for (const auto &entry : devices) {
        if (entry.second.kind == DEVICE_PORT && entry.second.name == port) {
            return true;
        }
    }
    return false;
}

const Device &DeviceOf(HANDLE handle) {
    auto it = devices.find((uintptr_t)handle);
    if (it == devices.end()) {
        Unsupported("a device function", "a device handle that is not open");
    }
    return it->second;
}

} // namespace

bool IsDevicePath(const std::u16string &full) {
    if (full.size() < 5 || full.compare(0, 4, u"\\\\.\\") != 0) {
        return false;
    }
    std::u16string rest = Fold(full.substr(4));
    return rest.find(u'\\') == std::u16string::npos || rest.compare(0, 5, PipePrefix) == 0;
}

HANDLE OpenDevice(const std::u16string &full, DWORD access) {
    std::u16string rest = Fold(full.substr(4));
    if (rest.compare(0, 5, PipePrefix) == 0) {
        std::u16string pipe = rest.substr(5);
        return pipes.count(pipe) > 0 ? NewDevice(DEVICE_PIPE, pipe) : Refuse(ERROR_FILE_NOT_FOUND);
    }
    if (rest.size() == 2 && rest[1] == u':') {
        Unsupported("CreateFileW", "opening a volume");
    }
    if (rest == u"conout$") {
        return OpenConsole(access);
    }
    if (rest == u"conin$") {
        return OpenConsoleInput();
    }
    if (rest == u"con") {
        if (access == GENERIC_READ) {
            return OpenConsoleInput();
        }
        if (access == GENERIC_WRITE) {
            return OpenConsole(access);
        }
        return Refuse(ERROR_FILE_NOT_FOUND);
    }
    if (rest == u"nul") {
        return NewDevice(DEVICE_NUL, rest);
    }
    std::u16string port = PortName(rest);
    if (port.empty() || ports.count(port) == 0) {
        return Refuse(ERROR_FILE_NOT_FOUND);
    }
    if (PortIsOpen(port)) {
        return Refuse(ERROR_ACCESS_DENIED);
    }
    return NewDevice(DEVICE_PORT, port);
}

BOOL ReadDevice(HANDLE handle, LPDWORD read) {
    switch (DeviceOf(handle).kind) {
    case DEVICE_NUL:
        *read = 0;
        return TRUE;
    case DEVICE_CONSOLE_INPUT:
        Unsupported("ReadFile", "reading console input, which waits for keys");
    case DEVICE_PORT:
        Unsupported("ReadFile", "reading a port, which waits for data");
    default:
        Unsupported("ReadFile", "reading a pipe, which waits for its other end");
    }
}

BOOL WriteDevice(HANDLE handle, DWORD toWrite, LPDWORD written) {
    switch (DeviceOf(handle).kind) {
    case DEVICE_NUL:
        *written = toWrite;
        return TRUE;
    case DEVICE_CONSOLE_INPUT:
        Unsupported("WriteFile", "writing bytes to console input");
    case DEVICE_PORT:
        Unsupported("WriteFile", "writing a port, which may wait for its peer");
    default:
        Unsupported("WriteFile", "writing a pipe, which may wait for its other end");
    }
}

DWORD DeviceFileType(HANDLE handle) {
    return DeviceOf(handle).kind == DEVICE_PIPE ? FILE_TYPE_PIPE : FILE_TYPE_CHAR;
}

void CloseDeviceObject(HANDLE handle) {
    devices.erase((uintptr_t)handle);
}

void ResetDevices() {
    devices.clear();
    ports.clear();
    pipes.clear();
}

} // namespace winsim

using namespace winsim;

namespace sim {

void SetPortPresent(const std::u16string &port, bool present) {
    EnsureInitialised();
    std::u16string name = PortName(Fold(port));
    if (name.empty()) {
        Unsupported("sim::SetPortPresent", "a name that is no port");
    }
    if (present) {
        ports.insert(name);
    } else {
        ports.erase(name);
    }
}

void MakePipe(const std::u16string &name) {
    EnsureInitialised();
    if (name.empty() || name.find(u'\\') != std::u16string::npos) {
        Unsupported("sim::MakePipe", "a pipe name with a separator, or none");
    }
    pipes.insert(Fold(name));
}

} // namespace sim
