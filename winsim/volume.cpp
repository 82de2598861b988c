// winsim/volume.cpp: the simulated volume's model (volume.h): the drives and
// their trees of nodes, links, hard links and identities, the free space,
// the paths that refuse to open or read and the directories that refuse
// new entries, and the Win32 functions that change the tree by name
// (CreateDirectoryW, RemoveDirectoryW, DeleteFileW, MoveFileExW).
#include "winsim/volume.h"

#include <algorithm>
#include <memory>

namespace winsim {

namespace {

const DWORD FIRST_SERIAL = 0x5A1B2C3D;
const int MAX_LINK_DEPTH = 32;

std::vector<std::unique_ptr<Node>> arena;
std::map<WCHAR, Node *> drives;
uint64_t nextIndex = 1;
uint64_t freeSpace = UINT64_MAX;

WCHAR Upper(WCHAR c) {
    return (c >= u'a' && c <= u'z') ? (WCHAR)(c - 32) : c;
}

} // namespace

std::set<std::u16string> unopenable, unreadable;
uint64_t treeGeneration = 0;
std::set<const Node *> refusingNew;
std::vector<DWORD> moveFlags;

Node *NewNode(const std::u16string &name, bool directory, WCHAR drive) {
    arena.push_back(std::make_unique<Node>());
    Node *node = arena.back().get();
    node->name = name;
    node->directory = directory;
    node->index = nextIndex++;
    node->drive = drive;
    return node;
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

Node *Child(Node *directory, const WCHAR *name, size_t length) {
    // One key for every lookup: a deep path makes many of them.
    static std::u16string key;
    key.assign(name, length);
    for (size_t i = 0; i < length; i++) {
        key[i] = FoldChar(key[i]);
    }
    auto it = directory->byName.find(key);
    return it == directory->byName.end() ? nullptr : it->second;
}

Node *Child(Node *directory, const std::u16string &name) {
    return Child(directory, name.data(), name.size());
}

void Attach(Node *directory, Node *node) {
    treeGeneration++;
    node->parent = directory;
    directory->children.push_back(node);
    directory->byName[Fold(node->name)] = node;
}

void Detach(Node *node) {
    if (node->parent == nullptr) {
        return;
    }
    treeGeneration++;
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
    if (node->fileLink) {
        return FILE_ATTRIBUTE_REPARSE_POINT | node->attributes;
    }
    if (node->link) {
        return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | node->attributes;
    }
    if (node->sameFile != nullptr) {
        node = node->sameFile;
    }
    if (node->directory) {
        return FILE_ATTRIBUTE_DIRECTORY | node->attributes;
    }
    return node->attributes != 0 ? node->attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD SerialOf(WCHAR drive) {
    return FIRST_SERIAL + (DWORD)(Upper(drive) - u'C') * 0x01010101u;
}

void GiveBackSpace(uint64_t bytes) {
    freeSpace = freeSpace + bytes < freeSpace ? UINT64_MAX : freeSpace + bytes;
}

bool TakeSpace(uint64_t bytes) {
    if (bytes > freeSpace) {
        return false;
    }
    freeSpace -= bytes;
    return true;
}

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

Node *FileBehind(Node *entry) {
    return entry != nullptr && entry->sameFile != nullptr ? entry->sameFile : entry;
}

const Node *FileBehind(const Node *entry) {
    return entry != nullptr && entry->sameFile != nullptr ? entry->sameFile : entry;
}

DWORD NameCount(const Node *file) {
    DWORD count = file->parent != nullptr || IsRoot(file) ? 1 : 0;
    for (const Node *name : file->otherNames) {
        count += name->parent != nullptr ? 1 : 0;
    }
    return count;
}

void RemoveName(Node *entry) {
    Detach(entry);
    Node *file = FileBehind(entry);
    if (!file->directory && !file->link && NameCount(file) == 0) {
        GiveBackSpace(file->data.size());
    }
}

std::u16string PathOf(const Node *node) {
    std::u16string path;
    for (; node != nullptr && !IsRoot(node); node = node->parent) {
        if (node->parent == nullptr) {
            return std::u16string();
        }
        path = u"\\" + node->name + path;
    }
    if (node == nullptr) {
        return std::u16string();
    }
    return node->name + (path.empty() ? u"\\" : path);
}

void Fail(DWORD error) {
    SetLastError(error);
}

bool EnterWithName(const char *function, const WCHAR *name) {
    DWORD error = 0;
    if (Enter(function, &error) || PathFails(function, name, &error)) {
        Fail(error);
        return true;
    }
    if (name == nullptr) {
        Unsupported(function, "a null name");
    }
    return false;
}

void ResetVolume() {
    treeGeneration++;
    ResetHandles();
    ResetSearches();
    ResetDevices();
    refusingNew.clear();
    moveFlags.clear();
    drives.clear();
    arena.clear();
    nextIndex = 1;
    Drive(u'C', true);
    currentDirectory = u"C:\\";
    freeSpace = UINT64_MAX;
    unopenable.clear();
    unreadable.clear();
}

void SetSpaceLeft(uint64_t bytes) {
    freeSpace = bytes;
}

} // namespace winsim

using namespace winsim;

namespace {

// The opening of the functions that remove an entry by name: the call is
// logged and may fail (false, the last error set); then *code is 0 with the
// entry in walk.entry, or why there is none.
bool EnterToRemove(const char *function, LPCWSTR name, Walk &walk, DWORD *code) {
    if (EnterWithName(function, name)) {
        return false;
    }
    *code = LocateExisting(name, walk);
    return true;
}

} // namespace

extern "C" {

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security) {
    if (EnterWithName("CreateDirectoryW", name)) {
        return FALSE;
    }
    (void)security;
    Walk walk;
    DWORD code = Locate(name, false, walk, 0);
    if (code == 0 && walk.directory == nullptr) {
        code = ERROR_ACCESS_DENIED; // a drive's root
    } else if (code == 0 && walk.entry != nullptr) {
        code = ERROR_ALREADY_EXISTS;
    } else if (code == 0 && refusingNew.count(walk.directory) > 0) {
        code = ERROR_ACCESS_DENIED;
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    Attach(walk.directory, NewNode(walk.name, true, walk.directory->drive));
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR name) {
    Walk walk;
    DWORD code = 0;
    if (!EnterToRemove("RemoveDirectoryW", name, walk, &code)) {
        return FALSE;
    }
    Node *node = walk.entry;
    if (code == 0) {
        std::u16string full = Fold(walk.full);
        if (full.size() > 3 && full.back() == u'\\') {
            full.pop_back();
        }
        if (walk.directory == nullptr) {
            code = ERROR_ACCESS_DENIED;
        } else if (!node->directory && (!node->link || node->fileLink)) {
            code = ERROR_DIRECTORY;
        } else if (!node->link && !node->children.empty()) {
            code = ERROR_DIR_NOT_EMPTY;
        } else if (full == Fold(currentDirectory) || DeleteBlocked(node)) {
            code = ERROR_SHARING_VIOLATION;
        }
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    Detach(node);
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
    Walk walk;
    DWORD code = 0;
    if (!EnterToRemove("DeleteFileW", name, walk, &code)) {
        return FALSE;
    }
    Node *node = walk.entry;
    if (code == 0) {
        // A link to a file is removed itself, whatever its file is.
        if (node->directory || (node->link && !node->fileLink) ||
            (AttributesOf(node) & FILE_ATTRIBUTE_READONLY)) {
            code = ERROR_ACCESS_DENIED;
        } else if (walk.trailingSeparator) {
            code = ERROR_INVALID_NAME;
        } else if (!node->link && DeleteBlocked(FileBehind(node))) {
            code = ERROR_SHARING_VIOLATION;
        }
    }
    if (code != 0) {
        Fail(code);
        return FALSE;
    }
    RemoveName(node);
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags) {
    DWORD error = 0;
    bool failing = Enter("MoveFileExW", &error);
    moveFlags.push_back(flags);
    if (failing || PathFails("MoveFileExW", existing, &error) ||
        PathFails("MoveFileExW", target, &error)) {
        Fail(error);
        return FALSE;
    }
    if (existing == nullptr || target == nullptr) {
        Unsupported("MoveFileExW", "a null name");
    }
    // The volume is in memory: a move is as lasting as it gets when the
    // call returns, with MOVEFILE_WRITE_THROUGH or without.
    if ((flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0) {
        Unsupported("MoveFileExW", "a flag other than MOVEFILE_REPLACE_EXISTING and "
                                   "MOVEFILE_WRITE_THROUGH");
    }
    Walk from, to;
    DWORD code = LocateExisting(existing, from);
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
    } else if (refusingNew.count(to.directory) > 0) {
        code = ERROR_ACCESS_DENIED;
    } else if (replaced != nullptr && replaced != node) {
        // A link to a file is replaced itself; a directory or a link to
        // one, an open file and a read-only one are not.
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            code = ERROR_ALREADY_EXISTS;
        } else if (replaced->directory || (replaced->link && !replaced->fileLink) ||
                   (!replaced->link && IsOpen(FileBehind(replaced))) ||
                   (AttributesOf(replaced) & FILE_ATTRIBUTE_READONLY)) {
            code = ERROR_ACCESS_DENIED;
        }
    }
    if (code == 0 && !node->link && DeleteBlocked(FileBehind(node))) {
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
        RemoveName(replaced);
    }
    Detach(node);
    node->name = to.name;
    Attach(to.directory, node);
    return TRUE;
}

} // extern "C"
