// winsim/handles.cpp: the simulated volume's open files (volume.h): the
// file handles with their sharing and positions, the files that another
// program holds open (sim::HoldOpen), and the Win32 functions that open,
// read, write, seek, flush and describe a file (CreateFileW, ReadFile,
// WriteFile, SetFilePointer, FlushFileBuffers, GetFileInformationByHandle,
// GetFinalPathNameByHandleW).
#include "winsim/volume.h"

#include <algorithm>
#include <cstring>

namespace winsim {

namespace {

const DWORD CREATE_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                FILE_ATTRIBUTE_OFFLINE;

struct FileHandle {
    Node *node;         // the node that holds the file (FileBehind)
    Node *named;        // the name it was opened by, links followed
    std::u16string key; // the path it was opened by, as PathKey makes it
    DWORD access, share;
    uint64_t position;
};

// Every open file: ours by handle value, and those another program holds,
// by values of their own that no handle of the table takes.
std::map<uintptr_t, FileHandle> files;
bool zeroFileIndex = false;
const uintptr_t FIRST_HELD_VALUE = 0x7F000000;
uintptr_t nextHeld = FIRST_HELD_VALUE;

FileHandle *FileOf(HANDLE handle) {
    if (KindOf(handle) != KIND_FILE) {
        return nullptr;
    }
    auto it = files.find((uintptr_t)handle);
    return it == files.end() ? nullptr : &it->second;
}

HANDLE OpenNode(Node *named, const std::u16string &key, DWORD access, DWORD share) {
    HANDLE handle = NewHandle(KIND_FILE);
    files[(uintptr_t)handle] = FileHandle{FileBehind(named), named, key, access, share, 0};
    return handle;
}

// True when opening `node` with `access` and `share` collides with a handle
// already open on it.
bool ShareConflict(const Node *node, DWORD access, DWORD share) {
    for (const auto &entry : files) {
        const FileHandle &h = entry.second;
        // A handle without data access takes no part in sharing.
        if (h.node != node || h.access == 0 || access == 0) {
            continue;
        }
        if (((access & GENERIC_READ) && !(h.share & FILE_SHARE_READ)) ||
            ((access & GENERIC_WRITE) && !(h.share & FILE_SHARE_WRITE)) ||
            ((h.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
            ((h.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE))) {
            return true;
        }
    }
    return false;
}

// Why an existing file or directory (links followed) cannot be opened
// with this disposition, access, sharing and flags; 0 when it can.
DWORD RefuseExisting(const Node *node, const Walk &walk, bool refused, DWORD access, DWORD share,
                     DWORD disposition, DWORD flags) {
    if (disposition == CREATE_NEW) {
        return ERROR_FILE_EXISTS;
    }
    if (refused) {
        return ERROR_ACCESS_DENIED;
    }
    if (node->directory) {
        bool backup = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
        if (!backup || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
            return ERROR_ACCESS_DENIED;
        }
    } else {
        if (walk.trailingSeparator) {
            return ERROR_INVALID_NAME;
        }
        bool writes = (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS ||
                      disposition == TRUNCATE_EXISTING;
        if (writes && (node->attributes & FILE_ATTRIBUTE_READONLY)) {
            return ERROR_ACCESS_DENIED;
        }
        // Replacing a hidden or system file needs the same attributes.
        if (disposition == CREATE_ALWAYS &&
            (((node->attributes & FILE_ATTRIBUTE_HIDDEN) && !(flags & FILE_ATTRIBUTE_HIDDEN)) ||
             ((node->attributes & FILE_ATTRIBUTE_SYSTEM) && !(flags & FILE_ATTRIBUTE_SYSTEM)))) {
            return ERROR_ACCESS_DENIED;
        }
        if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) {
            return ERROR_INVALID_PARAMETER;
        }
    }
    if (ShareConflict(node, access, share)) {
        return ERROR_SHARING_VIOLATION;
    }
    return 0;
}

// Why a file that does not exist cannot be made with this disposition;
// 0 when it can.
DWORD RefuseNew(const Walk &walk, bool refused, DWORD access, DWORD disposition) {
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (walk.trailingSeparator || walk.name.empty()) {
        return ERROR_INVALID_NAME;
    }
    if (refused || refusingNew.count(walk.directory) > 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

// The opening of ReadFile and WriteFile: the call is logged, an armed
// failure makes it fail, the count is cleared. True when the call must
// fail (the last error is set).
bool EnterTransfer(const char *function, LPDWORD count, LPOVERLAPPED overlapped) {
    DWORD error = 0;
    if (Enter(function, &error)) {
        if (count != nullptr) {
            *count = 0;
        }
        Fail(error);
        return true;
    }
    if (overlapped != nullptr) {
        Unsupported(function, "overlapped transfers");
    }
    if (count == nullptr) {
        Unsupported(function, "a null count pointer");
    }
    *count = 0;
    return false;
}

// The open file behind `handle` for a transfer that needs `access`, or
// null with the error in *code: not a file, a directory, or opened
// without that access.
FileHandle *TransferFile(HANDLE handle, DWORD access, DWORD *code) {
    FileHandle *h = FileOf(handle);
    if (h == nullptr) {
        *code = ERROR_INVALID_HANDLE;
    } else if (h->node->directory) {
        *code = ERROR_INVALID_FUNCTION;
    } else if (!(h->access & access)) {
        *code = ERROR_ACCESS_DENIED;
    } else {
        return h;
    }
    return nullptr;
}

} // namespace

bool IsOpen(const Node *node) {
    for (const auto &entry : files) {
        if (entry.second.node == node) {
            return true;
        }
    }
    return false;
}

bool DeleteBlocked(const Node *node) {
    for (const auto &entry : files) {
        if (entry.second.node == node && (entry.second.share & FILE_SHARE_DELETE) == 0) {
            return true;
        }
    }
    return false;
}

void ResetHandles() {
    files.clear();
    zeroFileIndex = false;
    nextHeld = FIRST_HELD_VALUE;
}

void SetZeroIndex(bool on) {
    zeroFileIndex = on;
}

void CloseFileObject(HANDLE handle) {
    files.erase((uintptr_t)handle);
}

} // namespace winsim

using namespace winsim;

extern "C" {

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (EnterWithName("CreateFileW", name)) {
        return INVALID_HANDLE_VALUE;
    }
    (void)security;
    if ((access & ~(GENERIC_READ | GENERIC_WRITE)) != 0) {
        Unsupported("CreateFileW", "an access right other than GENERIC_READ and GENERIC_WRITE");
    }
    if ((flags & ~(CREATE_ATTRIBUTES | FILE_FLAG_BACKUP_SEMANTICS)) != 0) {
        Unsupported("CreateFileW", "this flag");
    }
    if (templateFile != nullptr) {
        Unsupported("CreateFileW", "a template file");
    }
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string full;
    if (FullPath(name, full) && IsDevicePath(full)) {
        return OpenDevice(full, access);
    }
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    if (code != 0) {
        Fail(code);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string key = Fold(walk.full);
    bool refused = unopenable.count(key) > 0;
    if (walk.trailingSeparator) {
        key.pop_back();
        refused = refused || unopenable.count(key) > 0;
    }
    DWORD newAttributes =
        (flags & CREATE_ATTRIBUTES & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_ARCHIVE;
    Node *named = walk.entry;
    if (named != nullptr) {
        code = ERROR_PATH_NOT_FOUND;
        named = Follow(named, &code, 0);
        Node *node = FileBehind(named);
        if (node != nullptr) {
            code = RefuseExisting(node, walk, refused, access, share, disposition, flags);
        }
        if (code != 0) {
            Fail(code);
            return INVALID_HANDLE_VALUE;
        }
        if (!node->directory &&
            (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
            GiveBackSpace(node->data.size());
            node->data.clear();
            if (disposition == CREATE_ALWAYS) {
                node->attributes = newAttributes;
            }
        }
        bool always = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
        SetLastError(always ? ERROR_ALREADY_EXISTS : 0);
        return OpenNode(named, key, access, share);
    }
    code = RefuseNew(walk, refused, access, disposition);
    if (code != 0) {
        Fail(code);
        return INVALID_HANDLE_VALUE;
    }
    named = NewNode(walk.name, false, walk.directory->drive);
    named->attributes = newAttributes;
    Attach(walk.directory, named);
    SetLastError(0);
    return OpenNode(named, key, access, share);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    if (EnterTransfer("ReadFile", read, overlapped)) {
        return FALSE;
    }
    HandleKind kind = KindOf(file);
    if (kind == KIND_STD) {
        if (StdWhich(file) == STD_INPUT_HANDLE) {
            Unsupported("ReadFile", "reading standard input");
        }
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (kind == KIND_CONSOLE) {
        Unsupported("ReadFile", "reading a console screen buffer");
    }
    if (kind == KIND_DEVICE) {
        return ReadDevice(file, read);
    }
    DWORD code = 0;
    FileHandle *h = TransferFile(file, GENERIC_READ, &code);
    if (h != nullptr && unreadable.count(h->key) > 0) {
        code = ERROR_READ_FAULT;
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    const std::vector<uint8_t> &data = h->node->data;
    if (h->position >= data.size() || toRead == 0) {
        return TRUE;
    }
    if (buffer == nullptr) {
        Unsupported("ReadFile", "a null buffer");
    }
    size_t n = (size_t)std::min<uint64_t>(toRead, data.size() - h->position);
    memcpy(buffer, data.data() + h->position, n);
    h->position += n;
    *read = (DWORD)n;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
               LPOVERLAPPED overlapped) {
    if (EnterTransfer("WriteFile", written, overlapped)) {
        return FALSE;
    }
    if (toWrite > 0 && buffer == nullptr) {
        Unsupported("WriteFile", "a null buffer");
    }
    HandleKind kind = KindOf(file);
    if (kind == KIND_STD) {
        DWORD which = StdWhich(file);
        if (which == STD_INPUT_HANDLE) {
            Fail(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        AppendStd(which, std::string((const char *)buffer, toWrite));
        *written = toWrite;
        return TRUE;
    }
    if (kind == KIND_CONSOLE) {
        Unsupported("WriteFile", "writing bytes to a console screen buffer");
    }
    if (kind == KIND_DEVICE) {
        return WriteDevice(file, toWrite, written);
    }
    DWORD code = 0;
    FileHandle *h = TransferFile(file, GENERIC_WRITE, &code);
    if (h == nullptr) {
        Fail(code);
        return FALSE;
    }
    if (toWrite == 0) {
        return TRUE;
    }
    std::vector<uint8_t> &data = h->node->data;
    uint64_t end = h->position + toWrite;
    uint64_t growth = end > data.size() ? end - data.size() : 0;
    if (!TakeSpace(growth)) {
        Fail(ERROR_DISK_FULL);
        return FALSE;
    }
    if (end > data.size()) {
        data.resize((size_t)end, 0);
    }
    memcpy(data.data() + h->position, buffer, toWrite);
    h->position = end;
    *written = toWrite;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    if (EnterOrFail("SetFilePointer")) {
        return INVALID_SET_FILE_POINTER;
    }
    FileHandle *h = FileOf(file);
    if (h == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t move = distanceHigh != nullptr
                       ? (int64_t)(((uint64_t)(uint32_t)*distanceHigh << 32) | (uint32_t)distance)
                       : (int64_t)distance;
    int64_t base;
    switch (method) {
    case FILE_BEGIN:
        base = 0;
        break;
    case FILE_CURRENT:
        base = (int64_t)h->position;
        break;
    case FILE_END:
        base = (int64_t)h->node->data.size();
        break;
    default:
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t position = base + move;
    if (position < 0) {
        Fail(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh == nullptr && position > (int64_t)0xFFFFFFFE) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    h->position = (uint64_t)position;
    if (distanceHigh != nullptr) {
        *distanceHigh = (LONG)(uint32_t)((uint64_t)position >> 32);
        SetLastError(0);
    }
    return (DWORD)position;
}

// The volume is in memory, so a file's bytes are on its disk once written:
// the flush checks its handle only. As Windows, it takes a file opened for
// writing (ERROR_ACCESS_DENIED otherwise).
BOOL FlushFileBuffers(HANDLE file) {
    if (EnterOrFail("FlushFileBuffers")) {
        return FALSE;
    }
    DWORD code = 0;
    if (TransferFile(file, GENERIC_WRITE, &code) == nullptr) {
        Fail(code);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    if (EnterOrFail("GetFileInformationByHandle")) {
        return FALSE;
    }
    if (info == nullptr) {
        Unsupported("GetFileInformationByHandle", "a null information pointer");
    }
    FileHandle *h = FileOf(file);
    if (h == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    memset(info, 0, sizeof *info);
    const Node *node = h->node;
    info->dwFileAttributes = AttributesOf(node);
    info->dwVolumeSerialNumber = SerialOf(node->drive);
    uint64_t size = node->directory ? 0 : node->data.size();
    info->nFileSizeHigh = (DWORD)(size >> 32);
    info->nFileSizeLow = (DWORD)size;
    info->nNumberOfLinks = node->directory ? 1 : NameCount(node);
    uint64_t index = zeroFileIndex ? 0 : node->index;
    info->nFileIndexHigh = (DWORD)(index >> 32);
    info->nFileIndexLow = (DWORD)index;
    return TRUE;
}

DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR buffer, DWORD size, DWORD flags) {
    if (EnterOrFail("GetFinalPathNameByHandleW")) {
        return 0;
    }
    if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {
        Unsupported("GetFinalPathNameByHandleW", "a name other than the normalized DOS one");
    }
    FileHandle *h = FileOf(file);
    if (h == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::u16string path = PathOf(h->named);
    if (path.empty()) {
        Unsupported("GetFinalPathNameByHandleW", "a file whose name was removed");
    }
    path = u"\\\\?\\" + path;
    if (buffer == nullptr || size <= path.size()) {
        return (DWORD)path.size() + 1;
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = 0;
    return (DWORD)path.size();
}

} // extern "C"

namespace sim {

void HoldOpen(const std::u16string &path, DWORD access, DWORD share) {
    EnsureInitialised();
    Walk walk;
    DWORD error = 0;
    Node *named = LocateExisting(path, walk) == 0 ? Follow(walk.entry, &error, 0) : nullptr;
    if (named == nullptr || named->directory) {
        Unsupported("sim::HoldOpen", "a path that names no file");
    }
    files[nextHeld] = FileHandle{FileBehind(named), named, Fold(walk.full), access, share, 0};
    nextHeld += 4;
}

void ReleaseHeld(const std::u16string &path) {
    EnsureInitialised();
    std::u16string key = PathKey(path.c_str());
    for (auto it = files.begin(); it != files.end();) {
        bool held = it->first >= FIRST_HELD_VALUE && it->second.key == key;
        it = held ? files.erase(it) : std::next(it);
    }
}

} // namespace sim
