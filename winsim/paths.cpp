// winsim/paths.cpp: the simulated volume's paths (volume.h): full paths made
// textually as GetFullPathNameW makes them, the walk of a path through the
// tree and its links, the current directory, name folding, and the Win32
// path functions (GetFullPathNameW, GetCurrentDirectoryW,
// SetCurrentDirectoryW, GetFileAttributesW).
#include "winsim/volume.h"

#include <algorithm>

namespace winsim {

namespace {

const size_t MAX_FULL_PATH = 32767;
const size_t MAX_COMPONENT = 255; // characters in one name, as NTFS allows

// A stretch of a path's text: one component.
struct Stretch {
    size_t start, length;
};

std::vector<Stretch> pathParts; // FullPath's list of components, kept between calls

// The directory that the last walk from a drive's root reached before its
// last component, and the text of the full path that led there. A search
// walks paths that share all but their last components, level after level;
// starting from here keeps each walk short in a deep tree. Kept while the
// tree keeps its shape (treeGeneration).
std::u16string walkedPath;
Node *walkedDirectory = nullptr;
uint64_t walkedGeneration = 0;

WCHAR Upper(WCHAR c) {
    return (c >= u'a' && c <= u'z') ? (WCHAR)(c - 32) : c;
}

bool IsLetter(WCHAR c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

std::u16string DriveCurrent(WCHAR letter) {
    if (currentDirectory.size() >= 2 && Upper(currentDirectory[0]) == Upper(letter) &&
        currentDirectory[1] == u':') {
        return currentDirectory;
    }
    return std::u16string(1, letter) + u":\\";
}

// A last component that is a reserved device name makes the whole path
// that device, "\\.\" and the name without its extension, as
// GetFullPathNameW does ("C:\work\nul.txt" is "\\.\nul").
void MakeDevicePath(std::u16string &full) {
    size_t cut = full.find_last_of(u'\\');
    std::u16string last = cut == std::u16string::npos ? full : full.substr(cut + 1);
    if (last.empty() || !IsDeviceName(last)) {
        return;
    }
    std::u16string base = last.substr(0, last.find(u'.'));
    while (!base.empty() && base.back() == u' ') {
        base.pop_back();
    }
    full = u"\\\\.\\" + base;
}

// "\\?\X:\..." and "\\.\X:\..." name the drive's own path: the prefix
// is dropped. True when it was there.
bool StripDrivePrefix(std::u16string &full) {
    if (full.size() >= 7 && full[0] == u'\\' && full[1] == u'\\' &&
        (full[2] == u'?' || full[2] == u'.') && full[3] == u'\\' && IsLetter(full[4]) &&
        full[5] == u':' && full[6] == u'\\') {
        full.erase(0, 4);
        return true;
    }
    return false;
}

bool IsDots(const WCHAR *text, size_t length) {
    return (length == 1 && text[0] == u'.') || (length == 2 && text[0] == u'.' && text[1] == u'.');
}

bool Invalid(WCHAR c, bool wildcardsAllowed) {
    if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u':') {
        return true;
    }
    return !wildcardsAllowed && (c == u'*' || c == u'?');
}

} // namespace

std::u16string currentDirectory;

// True when `input` is a full path already in the form FullPath gives: a
// drive, its root, and components that are neither empty, "." nor "..",
// with backslashes only and no trailing period or blank on the last one.
// Most paths a program passes are; walking them is then one pass.
bool IsAlreadyFull(const std::u16string &input) {
    const WCHAR *text = input.data();
    size_t size = input.size();
    if (size < 3 || !IsLetter(text[0]) || text[1] != u':' || text[2] != u'\\') {
        return false;
    }
    size_t start = 3;
    for (size_t at = 3; at <= size; at++) {
        if (at < size && text[at] == u'/') {
            return false;
        }
        if (at < size && text[at] != u'\\') {
            continue;
        }
        size_t length = at - start;
        if (at < size && length == 0) {
            return false;
        }
        if (length > 0 && text[start] == u'.' &&
            (length == 1 || (length == 2 && text[start + 1] == u'.'))) {
            return false;
        }
        if (at == size && length > 0 && (text[at - 1] == u'.' || text[at - 1] == u' ')) {
            return false;
        }
        start = at + 1;
    }
    return true;
}

bool FullPath(const std::u16string &input, std::u16string &out) {
    if (input.empty()) {
        return false;
    }
    if (IsAlreadyFull(input)) {
        out = input;
        if (out.back() != u'\\') {
            MakeDevicePath(out);
        }
        return true;
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
    if (!trailing && root.size() == 3) {
        MakeDevicePath(out);
    }
    return true;
}

bool IsDeviceName(const std::u16string &component) {
    std::u16string base = Fold(component.substr(0, component.find(u'.')));
    while (!base.empty() && base.back() == u' ') {
        base.pop_back();
    }
    if (base == u"con" || base == u"prn" || base == u"aux" || base == u"nul" || base == u"conin$" ||
        base == u"conout$") {
        return true;
    }
    return base.size() == 4 &&
           (base.compare(0, 3, u"com") == 0 || base.compare(0, 3, u"lpt") == 0) &&
           base[3] >= u'1' && base[3] <= u'9';
}

DWORD Locate(const std::u16string &path, bool wildcardsInLast, Walk &walk, int depth) {
    if (path.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (!FullPath(path, walk.full)) {
        return ERROR_INVALID_NAME;
    }
    // A "\\?\" path is taken as it stands: its components are not made
    // full, so "." and ".." and empty ones reach the walk (and are refused).
    bool literal = walk.full.compare(0, 4, u"\\\\?\\") == 0;
    const std::u16string &full = walk.full;
    if (!StripDrivePrefix(walk.full) && full.size() >= 2 && full[0] == u'\\' && full[1] == u'\\') {
        if (IsDevicePath(full)) {
            return ERROR_BAD_DEV_TYPE;
        }
        if (literal && Fold(full.substr(4, 4)) != u"unc\\") {
            Unsupported("path", "a \\\\?\\ path that names no drive");
        }
        return ERROR_BAD_NETPATH;
    }
    // The last component runs from `lastStart` to `end` (before a trailing
    // separator). A full path has no empty, "." or ".." component; a
    // literal one may, and is refused for it.
    const WCHAR *text = full.data();
    walk.trailingSeparator = full.size() > 3 && full.back() == u'\\';
    size_t end = walk.trailingSeparator ? full.size() - 1 : full.size();
    size_t lastStart = end;
    while (lastStart > 3 && text[lastStart - 1] != u'\\') {
        lastStart--;
    }
    for (size_t at = 3, start = 3; end > 3 && at <= end; at++) {
        if (at == end || text[at] == u'\\') {
            size_t length = at - start;
            if (length == 0 || length > MAX_COMPONENT || IsDots(text + start, length)) {
                return ERROR_INVALID_NAME;
            }
            start = at + 1;
        } else if (Invalid(text[at], at >= lastStart && wildcardsInLast)) {
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
    size_t start = 3;
    size_t known = walkedPath.size();
    if (depth == 0 && walkedDirectory != nullptr && walkedGeneration == treeGeneration &&
        known < lastStart && text[known] == u'\\' && full.compare(0, known, walkedPath) == 0) {
        node = walkedDirectory;
        start = known + 1;
    }
    for (; start < lastStart;) {
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
    if (depth == 0 && lastStart > 4) {
        walkedPath.assign(full, 0, lastStart - 1);
        walkedDirectory = node;
        walkedGeneration = treeGeneration;
    }
    walk.directory = node;
    walk.name.assign(full, lastStart, end - lastStart);
    walk.entry = Child(node, walk.name.data(), walk.name.size());
    return 0;
}

DWORD LocateExisting(const std::u16string &path, Walk &walk) {
    DWORD code = Locate(path, false, walk, 0);
    if (code == 0 && walk.entry == nullptr) {
        code = ERROR_FILE_NOT_FOUND;
    }
    return code;
}

Node *EntryAt(const std::u16string &path) {
    Walk walk;
    if (Locate(path, false, walk, 0) != 0) {
        return nullptr;
    }
    return walk.entry;
}

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

void SetCurrent(const std::u16string &full) {
    currentDirectory = full;
    if (currentDirectory.size() > 3 && currentDirectory.back() == u'\\') {
        currentDirectory.pop_back();
    }
}

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
    std::u16string full;
    if (!FullPath(path, full)) {
        return std::u16string();
    }
    StripDrivePrefix(full);
    return Fold(full);
}

} // namespace winsim

using namespace winsim;

extern "C" {

DWORD GetFileAttributesW(LPCWSTR name) {
    if (EnterWithName("GetFileAttributesW", name)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    // A reserved device name as typed is there, as an archive; a
    // "\\.\" device path is no file of a volume (Locate).
    std::u16string full;
    if (name[0] != u'\\' && FullPath(name, full) && IsDevicePath(full)) {
        return FILE_ATTRIBUTE_ARCHIVE;
    }
    Walk walk;
    DWORD code = LocateExisting(name, walk);
    if (code == 0 && walk.trailingSeparator && !walk.entry->directory &&
        !(walk.entry->link && !walk.entry->fileLink)) {
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
    if (EnterOrFail("GetCurrentDirectoryW")) {
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
    if (EnterWithName("SetCurrentDirectoryW", name)) {
        return FALSE;
    }
    Walk walk;
    DWORD code = LocateExisting(name, walk);
    Node *node = code == 0 ? Follow(walk.entry, &code, 0) : nullptr;
    if (node != nullptr && !node->directory) {
        node = nullptr;
        code = ERROR_DIRECTORY;
    }
    if (node == nullptr) {
        Fail(code);
        return FALSE;
    }
    SetCurrent(walk.full);
    return TRUE;
}

} // extern "C"
