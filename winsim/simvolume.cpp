// winsim/simvolume.cpp: the volume side of sim.h: entries made (links and
// hard links among them), read and listed by tests, the current directory,
// the paths that refuse to open or read, the directories that refuse new
// entries, and the free space.
#include "winsim/volume.h"

namespace winsim {

namespace {

// The directory `path` names, made with its parents where they are missing.
// A "\\?\X:\" path is taken as it stands, so that a test can make the names
// that only such a path reaches ("t.glim.", "t.glim ").
Node *MakePath(const std::u16string &path, const char *who) {
    std::u16string full;
    bool made = FullPath(path, full);
    if (made && full.compare(0, 4, u"\\\\?\\") == 0) {
        full.erase(0, 4);
    }
    if (!made || full.size() < 3 || full[1] != u':') {
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
        if (part.size() > 255) {
            Unsupported(who, "a name longer than 255 characters");
        }
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

// The directory that will hold the entry `path` names (made where it is
// missing), and that entry's name in *name. `path` must name an entry
// below a drive's root.
Node *ParentFor(const std::u16string &path, const char *who, std::u16string *name) {
    std::u16string full;
    if (!FullPath(path, full) || full.size() <= 3) {
        Unsupported(who, "a path without a name");
    }
    if (full.back() == u'\\') {
        full.pop_back();
    }
    size_t cut = full.find_last_of(u'\\');
    *name = full.substr(cut + 1);
    return MakePath(full.substr(0, cut == 2 ? 3 : cut), who);
}

// Puts `key` into `set` or takes it out.
template <typename Key> void Toggle(std::set<Key> &set, const Key &key, bool on) {
    if (on) {
        set.insert(key);
    } else {
        set.erase(key);
    }
}

} // namespace

} // namespace winsim

using namespace winsim;

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
    if (!FullPath(path, full) || full.back() == u'\\') {
        Unsupported("sim::MakeFile", "a path without a file name");
    }
    std::u16string name;
    Node *directory = ParentFor(full, "sim::MakeFile", &name);
    Node *node = Child(directory, name);
    if (node != nullptr && (node->directory || node->link)) {
        Unsupported("sim::MakeFile", "replacing a directory or a link by a file");
    }
    if (name.size() > 255) {
        Unsupported("sim::MakeFile", "a name longer than 255 characters");
    }
    if (node == nullptr) {
        node = NewNode(name, false, directory->drive);
        Attach(directory, node);
    }
    node = FileBehind(node);
    node->data = bytes;
    node->attributes = extraAttributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                           FILE_ATTRIBUTE_NORMAL);
}

void MakeFile(const std::u16string &path, const std::string &bytes, DWORD extraAttributes) {
    MakeFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()), extraAttributes);
}

void MakeLink(const std::u16string &path, const std::u16string &targetDirectory) {
    EnsureInitialised();
    std::u16string target;
    if (!FullPath(targetDirectory, target)) {
        Unsupported("sim::MakeLink", "a path without a name");
    }
    std::u16string name;
    Node *directory = ParentFor(path, "sim::MakeLink", &name);
    if (Child(directory, name) != nullptr) {
        Unsupported("sim::MakeLink", "a link over an existing entry");
    }
    Node *node = NewNode(name, false, directory->drive);
    node->link = true;
    node->target = target;
    Attach(directory, node);
}

void MakeFileLink(const std::u16string &path, const std::u16string &targetFile) {
    MakeLink(path, targetFile);
    Node *node = EntryAt(path);
    node->fileLink = true;
    node->attributes = FILE_ATTRIBUTE_ARCHIVE;
}

void MakeHardLink(const std::u16string &path, const std::u16string &existingFile) {
    EnsureInitialised();
    Node *file = FileBehind(EntryAt(existingFile));
    if (file == nullptr || file->directory || file->link) {
        Unsupported("sim::MakeHardLink", "a name for something that is no file");
    }
    std::u16string name;
    Node *directory = ParentFor(path, "sim::MakeHardLink", &name);
    if (Child(directory, name) != nullptr) {
        Unsupported("sim::MakeHardLink", "a link over an existing entry");
    }
    if (directory->drive != file->drive) {
        Unsupported("sim::MakeHardLink", "a name on another drive");
    }
    Node *node = NewNode(name, false, directory->drive);
    node->sameFile = file;
    file->otherNames.push_back(node);
    Attach(directory, node);
}

bool Exists(const std::u16string &path) {
    EnsureInitialised();
    return EntryAt(path) != nullptr;
}

bool IsLink(const std::u16string &path) {
    EnsureInitialised();
    Node *node = EntryAt(path);
    return node != nullptr && node->link;
}

bool ReadWholeFile(const std::u16string &path, std::vector<uint8_t> &bytes) {
    EnsureInitialised();
    Node *node = EntryAt(path);
    if (node == nullptr || node->directory || node->link) {
        return false;
    }
    bytes = FileBehind(node)->data;
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
    SetCurrent(walk.full);
}

void SetUnopenable(const std::u16string &path, bool on) {
    EnsureInitialised();
    std::u16string key = PathKey(path.c_str());
    if (key.size() > 3 && key.back() == u'\\') {
        key.pop_back();
    }
    Toggle(unopenable, key, on);
}

void SetUnreadable(const std::u16string &path, bool on) {
    EnsureInitialised();
    std::u16string key = PathKey(path.c_str());
    Toggle(unreadable, key, on);
}

void SetZeroFileIndex(bool on) {
    EnsureInitialised();
    SetZeroIndex(on);
}

std::vector<DWORD> &MoveFileFlags() {
    EnsureInitialised();
    return moveFlags;
}

void SetRefusesNewEntries(const std::u16string &directory, bool on) {
    EnsureInitialised();
    DWORD error = 0;
    Node *node = Follow(EntryAt(directory), &error, 0);
    if (node == nullptr || !node->directory) {
        Unsupported("sim::SetRefusesNewEntries", "a path that is no directory");
    }
    Toggle(refusingNew, (const Node *)node, on);
}

void SetFreeSpace(uint64_t bytes) {
    EnsureInitialised();
    SetSpaceLeft(bytes);
}

} // namespace sim
