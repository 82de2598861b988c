// winsim/files.cpp: the simulated volume and environment. Owns the drives
// and their directory trees, the current directory, the free space, the
// file and search handles, the unopenable and unreadable paths, the
// environment variables, the Win32 file, path, search and environment
// functions, and the volume side of sim.h.
//
// The volume: drives by letter (C: exists from the start; the sim's Make*
// functions create a drive when they name one). Names compare without case
// (A-Z and Latin-1 letters) and keep the case they were made with. A
// directory lists its entries in the order they were made, as sim.h says;
// an entry renamed or moved by MoveFileExW is made anew at the end of its
// directory (a rename that changes only the case keeps its place). FindFirstFileW
// gives "." and ".." first in every directory but a drive's root, as NTFS
// does. A link is an entry with FILE_ATTRIBUTE_DIRECTORY and
// FILE_ATTRIBUTE_REPARSE_POINT whose contents are those of its target;
// every path is walked through links (CreateFileW opens the target, so a
// link and its target give the same identity); GetFileAttributesW and the
// listing of the directory that holds a link show the link itself.
//
// Choices where the machine is not Windows:
// - Paths of the form "\\server\share" name no reachable server:
//   ERROR_BAD_NETPATH. "\\?\" and "\\.\" paths (but "CONOUT$") and the
//   reserved device names (CON, NUL, COM1, ...) stop the program.
// - A colon after the drive (an alternate data stream) is ERROR_INVALID_NAME.
// - There is no MAX_PATH limit (as with long paths enabled); file times are
//   zero; there are no short names.
// - FindFirstFileW matches * and ? without case; a pattern ending in ".*"
//   also matches the name without it ("*.*" matches every name), as DOS
//   patterns do. The entries of a search are taken when it starts.
// - Free space is one pool for all drives; only growth through WriteFile
//   takes from it, and only DeleteFileW, truncation and replacement give back.
// - GetEnvironmentVariableW of a variable whose value is empty returns 0 with
//   the last error set to 0.
#include "winsim/simcore.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>

namespace winsim {

namespace {

struct Node {
    std::u16string name;
    bool directory = false;
    bool link = false;
    std::u16string target; // a link's target, a full path
    DWORD attributes = 0;  // beyond DIRECTORY and REPARSE_POINT; 0 is "normal"
    std::vector<uint8_t> data;
    std::vector<Node *> children; // in the order they were made
    // The same entries by folded name, so that finding one does not walk
    // (and fold) the whole directory: a directory may hold 65,537 of them.
    std::unordered_map<std::u16string, Node *> byName;
    Node *parent = nullptr; // null for a root, and for a removed node
    uint64_t index = 0;
    WCHAR drive = u'C';
};

struct FileHandle {
    Node *node;
    std::u16string key; // the path it was opened by, as PathKey makes it
    DWORD access, share;
    uint64_t position;
};

struct FindHandle {
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next;
};

// Where a path leads: the directory that holds its last component (links
// followed), that component's entry (a link not followed), and its name.
struct Walk {
    Node *directory = nullptr; // null for a drive's root
    Node *entry = nullptr;     // null when the last component does not exist
    std::u16string name;       // the last component, empty for a root
    std::u16string full;       // the full path
    bool trailingSeparator = false;
};

const DWORD FIRST_SERIAL = 0x5A1B2C3D;
const int MAX_LINK_DEPTH = 32;
const DWORD CREATE_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                FILE_ATTRIBUTE_OFFLINE;
const size_t MAX_FULL_PATH = 32767;

// A stretch of a path's text: one component.
struct Stretch {
    size_t start, length;
};

std::vector<std::unique_ptr<Node>> arena;
std::map<WCHAR, Node *> drives;
uint64_t nextIndex = 1;
std::u16string currentDirectory;
uint64_t freeSpace = UINT64_MAX;
std::set<std::u16string> unopenable, unreadable;
std::map<std::u16string, std::pair<std::u16string, std::u16string>> environment;
std::map<uintptr_t, FileHandle> files;
std::map<uintptr_t, FindHandle> finds;
std::vector<Stretch> pathParts; // FullPath's list of components, kept between calls

// ---- Nodes.

Node *NewNode(const std::u16string &name, bool directory, WCHAR drive) {
    arena.push_back(std::make_unique<Node>());
    Node *node = arena.back().get();
    node->name = name;
    node->directory = directory;
    node->index = nextIndex++;
    node->drive = drive;
    return node;
}

WCHAR Upper(WCHAR c) {
    return (c >= u'a' && c <= u'z') ? (WCHAR)(c - 32) : c;
}

bool IsLetter(WCHAR c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

Node *Drive(WCHAR letter, bool create) {
    letter = Upper(letter);
    auto it = drives.find(letter);
    if (it != drives.end()) {
        return it->second;
    }
    if (!create) {
        return nullptr;
    }
    Node *root = NewNode(std::u16string(1, letter) + u":", true, letter);
    drives[letter] = root;
    return root;
}

// The entry of `directory` named by `length` characters at `name`, any
// case, or null.
Node *Child(Node *directory, const WCHAR *name, size_t length) {
    std::u16string key(name, length);
    for (size_t i = 0; i < length; i++) {
        key[i] = FoldChar(key[i]);
    }
    auto it = directory->byName.find(key);
    return it == directory->byName.end() ? nullptr : it->second;
}

Node *Child(Node *directory, const std::u16string &name) {
    return Child(directory, name.data(), name.size());
}

// Puts `node` at the end of `directory`. Its name must be free there (a
// name that differs only in case counts as taken).
void Attach(Node *directory, Node *node) {
    node->parent = directory;
    directory->children.push_back(node);
    directory->byName[Fold(node->name)] = node;
}

// Takes `node` out of its directory; its name must be the one it was
// attached under (a rename changes the name only after this).
void Detach(Node *node) {
    if (node->parent == nullptr) {
        return;
    }
    std::vector<Node *> &siblings = node->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), node));
    node->parent->byName.erase(Fold(node->name));
    node->parent = nullptr;
}

bool IsRoot(const Node *node) {
    auto it = drives.find(node->drive);
    return it != drives.end() && it->second == node;
}

DWORD AttributesOf(const Node *node) {
    if (node->link) {
        return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | node->attributes;
    }
    if (node->directory) {
        return FILE_ATTRIBUTE_DIRECTORY | node->attributes;
    }
    return node->attributes != 0 ? node->attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD SerialOf(WCHAR drive) {
    return FIRST_SERIAL + (DWORD)(Upper(drive) - u'C') * 0x01010101u;
}

bool IsOpen(const Node *node) {
    for (const auto &entry : files) {
        if (entry.second.node == node) {
            return true;
        }
    }
    return false;
}

// True when an open handle on `node` does not share deletion.
bool DeleteBlocked(const Node *node) {
    for (const auto &entry : files) {
        if (entry.second.node == node && (entry.second.share & FILE_SHARE_DELETE) == 0) {
            return true;
        }
    }
    return false;
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

// ---- Paths, textually.

std::u16string DriveCurrent(WCHAR letter) {
    if (currentDirectory.size() >= 2 && Upper(currentDirectory[0]) == Upper(letter) &&
        currentDirectory[1] == u':') {
        return currentDirectory;
    }
    return std::u16string(1, letter) + u":\\";
}

// The full path of `name` as GetFullPathNameW makes it: purely textual.
// False for an empty name.
bool FullPath(const std::u16string &input, std::u16string &out) {
    if (input.empty()) {
        return false;
    }
    std::u16string s = input;
    std::replace(s.begin(), s.end(), u'/', u'\\');
    if (s.compare(0, 4, u"\\\\?\\") == 0) {
        out = s;
        return true;
    }
    std::u16string root, rest;
    if (s.size() >= 2 && s[0] == u'\\' && s[1] == u'\\') {
        if (s.size() >= 4 && (s[2] == u'.' || s[2] == u'?') && s[3] == u'\\') {
            root = s.substr(0, 4);
            rest = s.substr(4);
        } else {
            size_t server = s.find(u'\\', 2);
            size_t share = server == std::u16string::npos ? server : s.find(u'\\', server + 1);
            root = s.substr(0, share);
            rest = share == std::u16string::npos ? std::u16string() : s.substr(share);
        }
    } else if (s.size() >= 2 && IsLetter(s[0]) && s[1] == u':') {
        if (s.size() >= 3 && s[2] == u'\\') {
            root = s.substr(0, 3);
            rest = s.substr(3);
        } else {
            std::u16string base = DriveCurrent(s[0]);
            root = base.substr(0, 3);
            rest = s.size() == 2 ? base.substr(3) : base.substr(3) + u"\\" + s.substr(2);
        }
    } else if (s[0] == u'\\') {
        root = currentDirectory.substr(0, 3);
        rest = s.substr(1);
    } else {
        root = currentDirectory.substr(0, 3);
        rest = currentDirectory.substr(3) + u"\\" + s;
    }
    bool trailing = !rest.empty() && rest.back() == u'\\';
    // The components as stretches of `rest`: a path is made full on every
    // call, so it is taken apart without copying each component.
    std::vector<Stretch> &parts = pathParts;
    parts.clear();
    const WCHAR *text = rest.data();
    size_t start = 0;
    bool lastWasDots = false;
    while (start <= rest.size()) {
        size_t end = start;
        while (end < rest.size() && text[end] != u'\\') {
            end++;
        }
        Stretch part = {start, end - start};
        start = end + 1;
        if (part.length == 0) {
            continue;
        }
        lastWasDots = false;
        if (part.length == 1 && text[part.start] == u'.') {
            lastWasDots = true;
        } else if (part.length == 2 && text[part.start] == u'.' && text[part.start + 1] == u'.') {
            lastWasDots = true;
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else {
            parts.push_back(part);
        }
    }
    if (lastWasDots) {
        trailing = false;
    }
    // Without a trailing separator, trailing periods and blanks of the last
    // component go, as in Win32.
    if (!trailing && !parts.empty()) {
        Stretch &last = parts.back();
        while (last.length > 0 && (text[last.start + last.length - 1] == u'.' ||
                                   text[last.start + last.length - 1] == u' ')) {
            last.length--;
        }
        if (last.length == 0) {
            parts.pop_back();
            trailing = true;
        }
    }
    out.clear();
    out.reserve(root.size() + rest.size() + 1);
    out += root;
    for (const Stretch &part : parts) {
        if (!out.empty() && out.back() != u'\\') {
            out += u'\\';
        }
        out.append(rest, part.start, part.length);
    }
    if (trailing && !parts.empty()) {
        out += u'\\';
    }
    return true;
}

bool Invalid(WCHAR c, bool wildcardsAllowed) {
    if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u':') {
        return true;
    }
    return !wildcardsAllowed && (c == u'*' || c == u'?');
}

bool IsDeviceName(const std::u16string &component) {
    std::u16string base = Fold(component.substr(0, component.find(u'.')));
    while (!base.empty() && base.back() == u' ') {
        base.pop_back();
    }
    if (base == u"con" || base == u"prn" || base == u"aux" || base == u"nul" || base == u"conin$") {
        return true;
    }
    return base.size() == 4 &&
           (base.compare(0, 3, u"com") == 0 || base.compare(0, 3, u"lpt") == 0) &&
           base[3] >= u'1' && base[3] <= u'9';
}

DWORD Locate(const std::u16string &path, bool wildcardsInLast, Walk &walk, int depth);

// The directory that a link or a directory entry leads to, or null with
// the error.
Node *Follow(Node *entry, DWORD *error, int depth) {
    while (entry != nullptr && entry->link) {
        if (depth >= MAX_LINK_DEPTH) {
            *error = ERROR_CANT_RESOLVE_FILENAME;
            return nullptr;
        }
        Walk walk;
        DWORD code = Locate(entry->target, false, walk, depth + 1);
        if (code != 0) {
            *error = code;
            return nullptr;
        }
        if (walk.entry == nullptr) {
            *error = ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
        entry = walk.entry;
        depth++;
    }
    return entry;
}

// Walks `path` to its last component. Returns 0 or the Win32 error.
DWORD Locate(const std::u16string &path, bool wildcardsInLast, Walk &walk, int depth) {
    if (path.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (!FullPath(path, walk.full)) {
        return ERROR_INVALID_NAME;
    }
    const std::u16string &full = walk.full;
    if (full.size() >= 2 && full[0] == u'\\' && full[1] == u'\\') {
        if (full.size() >= 3 && (full[2] == u'.' || full[2] == u'?')) {
            Unsupported("path", "a \\\\.\\ or \\\\?\\ path");
        }
        return ERROR_BAD_NETPATH;
    }
    // The full path has no empty component; its last one runs from
    // `lastStart` to `end` (before a trailing separator).
    const WCHAR *text = full.data();
    walk.trailingSeparator = full.size() > 3 && full.back() == u'\\';
    size_t end = walk.trailingSeparator ? full.size() - 1 : full.size();
    size_t lastStart = end;
    while (lastStart > 3 && text[lastStart - 1] != u'\\') {
        lastStart--;
    }
    for (size_t at = 3; at < end; at++) {
        if (text[at] != u'\\' && Invalid(text[at], at >= lastStart && wildcardsInLast)) {
            return ERROR_INVALID_NAME;
        }
    }
    Node *node = Drive(full[0], false);
    if (node == nullptr) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (end <= 3) {
        walk.directory = nullptr;
        walk.entry = node;
        walk.name.clear();
        return 0;
    }
    for (size_t start = 3; start < lastStart;) {
        size_t stop = start;
        while (text[stop] != u'\\') {
            stop++;
        }
        Node *child = Child(node, text + start, stop - start);
        start = stop + 1;
        if (child == nullptr) {
            return ERROR_PATH_NOT_FOUND;
        }
        DWORD error = ERROR_PATH_NOT_FOUND;
        child = Follow(child, &error, depth);
        if (child == nullptr) {
            return error;
        }
        if (!child->directory) {
            return ERROR_PATH_NOT_FOUND;
        }
        node = child;
    }
    walk.directory = node;
    walk.name.assign(full, lastStart, end - lastStart);
    walk.entry = Child(node, walk.name.data(), walk.name.size());
    return 0;
}

// ---- Handles.

FileHandle *FileOf(HANDLE handle) {
    if (KindOf(handle) != KIND_FILE) {
        return nullptr;
    }
    auto it = files.find((uintptr_t)handle);
    return it == files.end() ? nullptr : &it->second;
}

HANDLE OpenNode(Node *node, const std::u16string &key, DWORD access, DWORD share) {
    HANDLE handle = NewHandle(KIND_FILE);
    files[(uintptr_t)handle] = FileHandle{node, key, access, share, 0};
    return handle;
}

bool Matches(const WCHAR *pattern, const WCHAR *name) {
    // Iterative glob with backtracking to the last star.
    const WCHAR *star = nullptr, *resume = nullptr;
    while (*name != 0) {
        if (*pattern == u'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == u'?' || (*pattern != 0 && FoldChar(*pattern) == FoldChar(*name))) {
            pattern++;
            name++;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == u'*') {
        pattern++;
    }
    return *pattern == 0;
}

bool PatternMatches(const std::u16string &pattern, const std::u16string &name) {
    if (Matches(pattern.c_str(), name.c_str())) {
        return true;
    }
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, u".*") == 0) {
        std::u16string shorter = pattern.substr(0, pattern.size() - 2);
        return Matches(shorter.c_str(), name.c_str());
    }
    return false;
}

WIN32_FIND_DATAW FindEntry(const std::u16string &name, const Node *node) {
    WIN32_FIND_DATAW data;
    memset(&data, 0, sizeof data);
    if (name.size() >= MAX_PATH) {
        Unsupported("FindFirstFileW", "a name of MAX_PATH characters or more");
    }
    data.dwFileAttributes = AttributesOf(node);
    uint64_t size = node->directory || node->link ? 0 : node->data.size();
    data.nFileSizeHigh = (DWORD)(size >> 32);
    data.nFileSizeLow = (DWORD)size;
    std::copy(name.begin(), name.end(), data.cFileName);
    return data;
}

bool IsConsoleName(const WCHAR *name) {
    std::u16string folded = Fold(name);
    return folded == u"conout$" || folded == u"\\\\.\\conout$";
}

void Fail(DWORD error) {
    SetLastError(error);
}

// The parent directory part of a full path ("C:\a\b" -> "C:\a", "C:\a" -> "C:\").
std::u16string ParentOf(const std::u16string &full) {
    size_t cut = full.find_last_of(u'\\');
    if (cut == std::u16string::npos) {
        return full;
    }
    if (cut <= 2) {
        return full.substr(0, 3);
    }
    return full.substr(0, cut);
}

// ---- The sim side: paths made by tests, parents included.

Node *MakePath(const std::u16string &path, const char *who) {
    std::u16string full;
    if (!FullPath(path, full) || full.size() < 3 || full[1] != u':') {
        Unsupported(who, "a path that is not on a drive");
    }
    Node *node = Drive(full[0], true);
    size_t start = 3;
    while (start < full.size()) {
        size_t end = full.find(u'\\', start);
        if (end == std::u16string::npos) {
            end = full.size();
        }
        std::u16string part = full.substr(start, end - start);
        start = end + 1;
        Node *child = Child(node, part);
        if (child == nullptr) {
            child = NewNode(part, true, node->drive);
            Attach(node, child);
        }
        DWORD error = 0;
        Node *target = Follow(child, &error, 0);
        if (target == nullptr || !target->directory) {
            Unsupported(who, "a path through a file or a broken link");
        }
        node = target;
    }
    return node;
}

// The entry `path` names (links not followed at the end), or null.
Node *EntryAt(const std::u16string &path) {
    Walk walk;
    if (Locate(path, false, walk, 0) != 0) {
        return nullptr;
    }
    return walk.entry;
}

} // namespace

WCHAR FoldChar(WCHAR c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return (WCHAR)(c + 32);
    }
    return c;
}

std::u16string Fold(const std::u16string &text) {
    std::u16string out = text;
    for (WCHAR &c : out) {
        c = FoldChar(c);
    }
    return out;
}

std::u16string PathKey(const WCHAR *path) {
    if (IsConsoleName(path)) {
        return u"\\\\.\\conout$";
    }
    std::u16string full;
    if (!FullPath(path, full)) {
        return std::u16string();
    }
    return Fold(full);
}

void ResetVolume() {
    files.clear();
    finds.clear();
    drives.clear();
    arena.clear();
    nextIndex = 1;
    Drive(u'C', true);
    currentDirectory = u"C:\\";
    freeSpace = UINT64_MAX;
    unopenable.clear();
    unreadable.clear();
    environment.clear();
}

void CloseFileObject(HANDLE handle) {
    files.erase((uintptr_t)handle);
}

} // namespace winsim

using namespace winsim;

extern "C" {

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    DWORD error = 0;
    if (Enter("CreateFileW", &error) || PathFails("CreateFileW", name, &error)) {
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    (void)security;
    if (name == nullptr) {
        Unsupported("CreateFileW", "a null name");
    }
    if ((access & ~(GENERIC_READ | GENERIC_WRITE)) != 0) {
        Unsupported("CreateFileW", "an access right other than GENERIC_READ and GENERIC_WRITE");
    }
    if ((flags & ~(CREATE_ATTRIBUTES | FILE_FLAG_BACKUP_SEMANTICS)) != 0) {
        Unsupported("CreateFileW", "this flag");
    }
    if (templateFile != nullptr) {
        Unsupported("CreateFileW", "a template file");
    }
    if (IsConsoleName(name)) {
        return OpenConsole(access);
    }
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    if (code != 0) {
        Fail(code);
        return INVALID_HANDLE_VALUE;
    }
    if (!walk.name.empty() && IsDeviceName(walk.name)) {
        Unsupported("CreateFileW", "a device name");
    }
    std::u16string key = Fold(walk.full);
    bool refused = unopenable.count(key) > 0;
    if (walk.trailingSeparator) {
        key.pop_back();
        refused = refused || unopenable.count(key) > 0;
    }
    bool backup = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    DWORD newAttributes =
        (flags & CREATE_ATTRIBUTES & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_ARCHIVE;
    Node *node = walk.entry;
    if (node != nullptr) {
        DWORD linkError = ERROR_PATH_NOT_FOUND;
        node = Follow(node, &linkError, 0);
        if (node == nullptr) {
            Fail(linkError);
            return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_NEW) {
            Fail(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        if (refused) {
            Fail(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        if (node->directory) {
            if (!backup || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
                Fail(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
        } else {
            if (walk.trailingSeparator) {
                Fail(ERROR_INVALID_NAME);
                return INVALID_HANDLE_VALUE;
            }
            bool writes = (access & GENERIC_WRITE) || disposition == CREATE_ALWAYS ||
                          disposition == TRUNCATE_EXISTING;
            if (writes && (node->attributes & FILE_ATTRIBUTE_READONLY)) {
                Fail(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            // Replacing a hidden or system file needs the same attributes.
            if (disposition == CREATE_ALWAYS &&
                (((node->attributes & FILE_ATTRIBUTE_HIDDEN) && !(flags & FILE_ATTRIBUTE_HIDDEN)) ||
                 ((node->attributes & FILE_ATTRIBUTE_SYSTEM) &&
                  !(flags & FILE_ATTRIBUTE_SYSTEM)))) {
                Fail(ERROR_ACCESS_DENIED);
                return INVALID_HANDLE_VALUE;
            }
            if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) {
                Fail(ERROR_INVALID_PARAMETER);
                return INVALID_HANDLE_VALUE;
            }
        }
        if (ShareConflict(node, access, share)) {
            Fail(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
        if (!node->directory &&
            (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
            freeSpace = freeSpace + node->data.size() < freeSpace ? UINT64_MAX
                                                                  : freeSpace + node->data.size();
            node->data.clear();
            if (disposition == CREATE_ALWAYS) {
                node->attributes = newAttributes;
            }
        }
        bool always = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
        SetLastError(always ? ERROR_ALREADY_EXISTS : 0);
        return OpenNode(node, key, access, share);
    }
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (walk.trailingSeparator || walk.name.empty()) {
        Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (refused) {
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    node = NewNode(walk.name, false, walk.directory->drive);
    node->attributes = newAttributes;
    Attach(walk.directory, node);
    SetLastError(0);
    return OpenNode(node, key, access, share);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    DWORD error = 0;
    if (Enter("ReadFile", &error)) {
        if (read != nullptr) {
            *read = 0;
        }
        Fail(error);
        return FALSE;
    }
    if (overlapped != nullptr) {
        Unsupported("ReadFile", "overlapped reading");
    }
    if (read == nullptr) {
        Unsupported("ReadFile", "a null count pointer");
    }
    *read = 0;
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
    FileHandle *h = FileOf(file);
    if (h == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (h->node->directory) {
        Fail(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!(h->access & GENERIC_READ)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unreadable.count(h->key) > 0) {
        Fail(ERROR_READ_FAULT);
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
    DWORD error = 0;
    if (Enter("WriteFile", &error)) {
        if (written != nullptr) {
            *written = 0;
        }
        Fail(error);
        return FALSE;
    }
    if (overlapped != nullptr) {
        Unsupported("WriteFile", "overlapped writing");
    }
    if (written == nullptr) {
        Unsupported("WriteFile", "a null count pointer");
    }
    *written = 0;
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
    FileHandle *h = FileOf(file);
    if (h == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (h->node->directory) {
        Fail(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!(h->access & GENERIC_WRITE)) {
        Fail(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (toWrite == 0) {
        return TRUE;
    }
    std::vector<uint8_t> &data = h->node->data;
    uint64_t end = h->position + toWrite;
    uint64_t growth = end > data.size() ? end - data.size() : 0;
    if (growth > freeSpace) {
        Fail(ERROR_DISK_FULL);
        return FALSE;
    }
    freeSpace -= growth;
    if (end > data.size()) {
        data.resize((size_t)end, 0);
    }
    memcpy(data.data() + h->position, buffer, toWrite);
    h->position = end;
    *written = toWrite;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    DWORD error = 0;
    if (Enter("SetFilePointer", &error)) {
        Fail(error);
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

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    DWORD error = 0;
    if (Enter("GetFileInformationByHandle", &error)) {
        Fail(error);
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
    info->nNumberOfLinks = 1;
    info->nFileIndexHigh = (DWORD)(node->index >> 32);
    info->nFileIndexLow = (DWORD)node->index;
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR name) {
    DWORD error = 0;
    if (Enter("GetFileAttributesW", &error) || PathFails("GetFileAttributesW", name, &error)) {
        Fail(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (name == nullptr) {
        Unsupported("GetFileAttributesW", "a null name");
    }
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    if (code == 0 && walk.entry == nullptr) {
        code = ERROR_FILE_NOT_FOUND;
    }
    if (code == 0 && walk.trailingSeparator && !walk.entry->directory && !walk.entry->link) {
        code = ERROR_INVALID_NAME;
    }
    if (code != 0) {
        Fail(code);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(walk.entry);
}

DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR *filePart) {
    DWORD error = 0;
    if (Enter("GetFullPathNameW", &error) || PathFails("GetFullPathNameW", name, &error)) {
        Fail(error);
        return 0;
    }
    if (name == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string full;
    if (!FullPath(name, full)) {
        Fail(ERROR_INVALID_NAME);
        return 0;
    }
    if (full.size() > MAX_FULL_PATH) {
        Fail(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (buffer == nullptr || size <= full.size()) {
        return (DWORD)full.size() + 1;
    }
    std::copy(full.begin(), full.end(), buffer);
    buffer[full.size()] = 0;
    if (filePart != nullptr) {
        size_t cut = full.find_last_of(u'\\');
        bool endsInSeparator = !full.empty() && full.back() == u'\\';
        *filePart =
            endsInSeparator ? nullptr : buffer + (cut == std::u16string::npos ? 0 : cut + 1);
    }
    return (DWORD)full.size();
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
    DWORD error = 0;
    if (Enter("GetCurrentDirectoryW", &error)) {
        Fail(error);
        return 0;
    }
    if (buffer == nullptr || size <= currentDirectory.size()) {
        return (DWORD)currentDirectory.size() + 1;
    }
    std::copy(currentDirectory.begin(), currentDirectory.end(), buffer);
    buffer[currentDirectory.size()] = 0;
    return (DWORD)currentDirectory.size();
}

BOOL SetCurrentDirectoryW(LPCWSTR name) {
    DWORD error = 0;
    if (Enter("SetCurrentDirectoryW", &error)) {
        Fail(error);
        return FALSE;
    }
    if (name == nullptr) {
        Unsupported("SetCurrentDirectoryW", "a null name");
    }
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    Node *node = nullptr;
    if (code == 0) {
        code = ERROR_FILE_NOT_FOUND;
        node = walk.entry == nullptr ? nullptr : Follow(walk.entry, &code, 0);
    }
    if (node != nullptr && !node->directory) {
        node = nullptr;
        code = ERROR_DIRECTORY;
    }
    if (node == nullptr) {
        Fail(code);
        return FALSE;
    }
    std::u16string full = walk.full;
    if (full.size() > 3 && full.back() == u'\\') {
        full.pop_back();
    }
    currentDirectory = full;
    return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security) {
    DWORD error = 0;
    if (Enter("CreateDirectoryW", &error) || PathFails("CreateDirectoryW", name, &error)) {
        Fail(error);
        return FALSE;
    }
    (void)security;
    if (name == nullptr) {
        Unsupported("CreateDirectoryW", "a null name");
    }
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    if (code == 0 && walk.directory == nullptr) {
        code = ERROR_ACCESS_DENIED; // a drive's root
    } else if (code == 0 && walk.entry != nullptr) {
        code = ERROR_ALREADY_EXISTS;
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    Attach(walk.directory, NewNode(walk.name, true, walk.directory->drive));
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR name) {
    DWORD error = 0;
    if (Enter("RemoveDirectoryW", &error)) {
        Fail(error);
        return FALSE;
    }
    if (name == nullptr) {
        Unsupported("RemoveDirectoryW", "a null name");
    }
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    if (code == 0) {
        std::u16string full = Fold(walk.full);
        if (full.size() > 3 && full.back() == u'\\') {
            full.pop_back();
        }
        Node *node = walk.entry;
        if (node == nullptr) {
            code = ERROR_FILE_NOT_FOUND;
        } else if (walk.directory == nullptr) {
            code = ERROR_ACCESS_DENIED;
        } else if (!node->directory && !node->link) {
            code = ERROR_DIRECTORY;
        } else if (!node->link && !node->children.empty()) {
            code = ERROR_DIR_NOT_EMPTY;
        } else if (full == Fold(currentDirectory) || DeleteBlocked(node)) {
            code = ERROR_SHARING_VIOLATION;
        }
        if (code == 0) {
            Detach(node);
            return TRUE;
        }
    }
    Fail(code);
    return FALSE;
}

BOOL DeleteFileW(LPCWSTR name) {
    DWORD error = 0;
    if (Enter("DeleteFileW", &error) || PathFails("DeleteFileW", name, &error)) {
        Fail(error);
        return FALSE;
    }
    if (name == nullptr) {
        Unsupported("DeleteFileW", "a null name");
    }
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    Node *node = walk.entry;
    if (code == 0) {
        if (node == nullptr) {
            code = ERROR_FILE_NOT_FOUND;
        } else if (node->directory || node->link || (node->attributes & FILE_ATTRIBUTE_READONLY)) {
            code = ERROR_ACCESS_DENIED;
        } else if (walk.trailingSeparator) {
            code = ERROR_INVALID_NAME;
        } else if (DeleteBlocked(node)) {
            code = ERROR_SHARING_VIOLATION;
        }
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    Detach(node);
    freeSpace =
        freeSpace + node->data.size() < freeSpace ? UINT64_MAX : freeSpace + node->data.size();
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags) {
    DWORD error = 0;
    if (Enter("MoveFileExW", &error) || PathFails("MoveFileExW", existing, &error) ||
        PathFails("MoveFileExW", target, &error)) {
        Fail(error);
        return FALSE;
    }
    if (existing == nullptr || target == nullptr) {
        Unsupported("MoveFileExW", "a null name");
    }
    if ((flags & ~MOVEFILE_REPLACE_EXISTING) != 0) {
        Unsupported("MoveFileExW", "a flag other than MOVEFILE_REPLACE_EXISTING");
    }
    Walk from, to;
    DWORD code = Locate(existing, false, from, 0);
    if (code == 0 && from.entry == nullptr) {
        code = ERROR_FILE_NOT_FOUND;
    }
    if (code == 0 && from.directory == nullptr) {
        code = ERROR_ACCESS_DENIED;
    }
    if (code == 0) {
        code = Locate(target, false, to, 0);
    }
    if (code == 0 && to.directory == nullptr) {
        code = ERROR_ACCESS_DENIED;
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    Node *node = from.entry;
    Node *replaced = to.entry;
    if (Upper(from.full[0]) != Upper(to.full[0])) {
        code = ERROR_NOT_SAME_DEVICE;
    } else if (replaced != nullptr && replaced != node) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            code = ERROR_ALREADY_EXISTS;
        } else if (replaced->directory || replaced->link || IsOpen(replaced) ||
                   (replaced->attributes & FILE_ATTRIBUTE_READONLY)) {
            code = ERROR_ACCESS_DENIED;
        }
    }
    if (code == 0 && DeleteBlocked(node)) {
        code = ERROR_SHARING_VIOLATION;
    }
    if (code == 0 && node->directory) {
        // A directory cannot move into its own tree.
        for (Node *up = to.directory; up != nullptr; up = up->parent) {
            if (up == node) {
                code = ERROR_SHARING_VIOLATION;
                break;
            }
        }
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    if (replaced == node) {
        node->name = to.name;
        return TRUE;
    }
    if (replaced != nullptr) {
        Detach(replaced);
        freeSpace = freeSpace + replaced->data.size() < freeSpace
                        ? UINT64_MAX
                        : freeSpace + replaced->data.size();
    }
    Detach(node);
    node->name = to.name;
    Attach(to.directory, node);
    return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    DWORD error = 0;
    if (Enter("FindFirstFileW", &error) || PathFails("FindFirstFileW", pattern, &error)) {
        Fail(error);
        return INVALID_HANDLE_VALUE;
    }
    if (pattern == nullptr || data == nullptr) {
        Unsupported("FindFirstFileW", "a null argument");
    }
    Walk walk;
    DWORD code = Locate(pattern, true, walk, 0);
    if (code == 0 && (walk.name.empty() || walk.trailingSeparator)) {
        code = ERROR_FILE_NOT_FOUND;
    }
    if (code == 0 && unopenable.count(Fold(ParentOf(walk.full))) > 0) {
        code = ERROR_ACCESS_DENIED;
    }
    if (code != 0) {
        Fail(code);
        return INVALID_HANDLE_VALUE;
    }
    FindHandle find;
    find.next = 0;
    Node *directory = walk.directory;
    if (!IsRoot(directory)) {
        if (PatternMatches(walk.name, u".")) {
            find.entries.push_back(FindEntry(u".", directory));
        }
        if (PatternMatches(walk.name, u"..")) {
            Node *up = directory->parent != nullptr ? directory->parent : directory;
            find.entries.push_back(FindEntry(u"..", up));
        }
    }
    for (Node *child : directory->children) {
        if (PatternMatches(walk.name, child->name)) {
            find.entries.push_back(FindEntry(child->name, child));
        }
    }
    if (find.entries.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = find.entries[0];
    find.next = 1;
    HANDLE handle = NewHandle(KIND_FIND);
    finds[(uintptr_t)handle] = find;
    return handle;
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
    DWORD error = 0;
    if (Enter("FindNextFileW", &error)) {
        Fail(error);
        return FALSE;
    }
    if (data == nullptr) {
        Unsupported("FindNextFileW", "a null find record");
    }
    auto it = KindOf(find) == KIND_FIND ? finds.find((uintptr_t)find) : finds.end();
    if (it == finds.end()) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FindHandle &h = it->second;
    if (h.next >= h.entries.size()) {
        Fail(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = h.entries[h.next++];
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    DWORD error = 0;
    if (Enter("FindClose", &error)) {
        Fail(error);
        return FALSE;
    }
    if (KindOf(find) != KIND_FIND) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    finds.erase((uintptr_t)find);
    DropHandle(find);
    return TRUE;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    DWORD error = 0;
    if (Enter("GetEnvironmentVariableW", &error)) {
        Fail(error);
        return 0;
    }
    if (name == nullptr) {
        Unsupported("GetEnvironmentVariableW", "a null name");
    }
    auto it = environment.find(Fold(name));
    if (it == environment.end()) {
        Fail(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const std::u16string &value = it->second.second;
    if (buffer == nullptr || size <= value.size()) {
        return (DWORD)value.size() + 1;
    }
    std::copy(value.begin(), value.end(), buffer);
    buffer[value.size()] = 0;
    if (value.empty()) {
        SetLastError(0);
    }
    return (DWORD)value.size();
}

BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value) {
    DWORD error = 0;
    if (Enter("SetEnvironmentVariableW", &error)) {
        Fail(error);
        return FALSE;
    }
    if (name == nullptr) {
        Unsupported("SetEnvironmentVariableW", "a null name");
    }
    std::u16string text = name;
    if (text.empty() || text.find(u'=', 1) != std::u16string::npos) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (value == nullptr) {
        environment.erase(Fold(text));
    } else {
        environment[Fold(text)] = std::make_pair(text, std::u16string(value));
    }
    return TRUE;
}

} // extern "C"

namespace sim {

void MakeDirectory(const std::u16string &path, DWORD extraAttributes) {
    EnsureInitialised();
    Node *node = MakePath(path, "sim::MakeDirectory");
    node->attributes |=
        extraAttributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}

void MakeFile(const std::u16string &path, const std::vector<uint8_t> &bytes,
              DWORD extraAttributes) {
    EnsureInitialised();
    std::u16string full;
    if (!FullPath(path, full) || full.size() <= 3 || full.back() == u'\\') {
        Unsupported("sim::MakeFile", "a path without a file name");
    }
    size_t cut = full.find_last_of(u'\\');
    Node *directory = MakePath(full.substr(0, cut == 2 ? 3 : cut), "sim::MakeFile");
    std::u16string name = full.substr(cut + 1);
    Node *node = Child(directory, name);
    if (node != nullptr && (node->directory || node->link)) {
        Unsupported("sim::MakeFile", "replacing a directory by a file");
    }
    if (node == nullptr) {
        node = NewNode(name, false, directory->drive);
        Attach(directory, node);
    }
    node->data = bytes;
    node->attributes = extraAttributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                           FILE_ATTRIBUTE_NORMAL);
}

void MakeFile(const std::u16string &path, const std::string &bytes, DWORD extraAttributes) {
    MakeFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()), extraAttributes);
}

void MakeLink(const std::u16string &path, const std::u16string &targetDirectory) {
    EnsureInitialised();
    std::u16string full, target;
    if (!FullPath(path, full) || full.size() <= 3 || !FullPath(targetDirectory, target)) {
        Unsupported("sim::MakeLink", "a path without a name");
    }
    if (full.back() == u'\\') {
        full.pop_back();
    }
    size_t cut = full.find_last_of(u'\\');
    Node *directory = MakePath(full.substr(0, cut == 2 ? 3 : cut), "sim::MakeLink");
    std::u16string name = full.substr(cut + 1);
    if (Child(directory, name) != nullptr) {
        Unsupported("sim::MakeLink", "a link over an existing entry");
    }
    Node *node = NewNode(name, false, directory->drive);
    node->link = true;
    node->target = target;
    Attach(directory, node);
}

bool Exists(const std::u16string &path) {
    EnsureInitialised();
    return EntryAt(path) != nullptr;
}

bool ReadWholeFile(const std::u16string &path, std::vector<uint8_t> &bytes) {
    EnsureInitialised();
    Node *node = EntryAt(path);
    if (node == nullptr || node->directory || node->link) {
        return false;
    }
    bytes = node->data;
    return true;
}

std::vector<uint8_t> FileBytes(const std::u16string &path) {
    std::vector<uint8_t> bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

std::vector<std::u16string> ListDirectory(const std::u16string &path) {
    EnsureInitialised();
    std::vector<std::u16string> names;
    DWORD error = 0;
    Node *node = Follow(EntryAt(path), &error, 0);
    if (node != nullptr && node->directory) {
        for (Node *child : node->children) {
            names.push_back(child->name);
        }
    }
    return names;
}

void SetCurrentDirectory(const std::u16string &path) {
    EnsureInitialised();
    Walk walk;
    DWORD error = 0;
    Node *node = Locate(path, false, walk, 0) == 0 ? Follow(walk.entry, &error, 0) : nullptr;
    if (node == nullptr || !node->directory) {
        Unsupported("sim::SetCurrentDirectory", "a path that is no directory");
    }
    std::u16string full = walk.full;
    if (full.size() > 3 && full.back() == u'\\') {
        full.pop_back();
    }
    currentDirectory = full;
}

void SetUnopenable(const std::u16string &path, bool on) {
    EnsureInitialised();
    std::u16string key = PathKey(path.c_str());
    if (key.size() > 3 && key.back() == u'\\') {
        key.pop_back();
    }
    if (on) {
        unopenable.insert(key);
    } else {
        unopenable.erase(key);
    }
}

void SetUnreadable(const std::u16string &path, bool on) {
    EnsureInitialised();
    std::u16string key = PathKey(path.c_str());
    if (on) {
        unreadable.insert(key);
    } else {
        unreadable.erase(key);
    }
}

void SetFreeSpace(uint64_t bytes) {
    EnsureInitialised();
    freeSpace = bytes;
}

void SetEnv(const std::u16string &name, const std::u16string &value) {
    EnsureInitialised();
    environment[Fold(name)] = std::make_pair(name, value);
}

void UnsetEnv(const std::u16string &name) {
    EnsureInitialised();
    environment.erase(Fold(name));
}

} // namespace sim
