// winsim/search.cpp: directory searches on the simulated volume (volume.h):
// the DOS-style pattern match and FindFirstFileW, FindNextFileW and
// FindClose. A search takes its entries when it starts.
#include "winsim/volume.h"

#include <algorithm>
#include <cstring>

namespace winsim {

namespace {

struct FindHandle {
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next;
};

std::map<uintptr_t, FindHandle> finds;

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
    uint64_t size = node->directory || node->link ? 0 : FileBehind(node)->data.size();
    data.nFileSizeHigh = (DWORD)(size >> 32);
    data.nFileSizeLow = (DWORD)size;
    std::copy(name.begin(), name.end(), data.cFileName);
    return data;
}

// The search behind a handle, or null.
FindHandle *FindOf(HANDLE handle) {
    auto it = KindOf(handle) == KIND_FIND ? finds.find((uintptr_t)handle) : finds.end();
    return it == finds.end() ? nullptr : &it->second;
}

} // namespace

void ResetSearches() {
    finds.clear();
}

} // namespace winsim

using namespace winsim;

extern "C" {

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    if (EnterWithName("FindFirstFileW", pattern)) {
        return INVALID_HANDLE_VALUE;
    }
    if (data == nullptr) {
        Unsupported("FindFirstFileW", "a null argument");
    }
    Walk walk;
    DWORD code = Locate(pattern, true, walk, 0);
    if (code == 0 && (walk.name.empty() || walk.trailingSeparator)) {
        code = ERROR_FILE_NOT_FOUND;
    }
    if (code == 0 && !unopenable.empty() && unopenable.count(Fold(ParentOf(walk.full))) > 0) {
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
    if (EnterOrFail("FindNextFileW")) {
        return FALSE;
    }
    if (data == nullptr) {
        Unsupported("FindNextFileW", "a null find record");
    }
    FindHandle *h = FindOf(find);
    if (h == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (h->next >= h->entries.size()) {
        Fail(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = h->entries[h->next++];
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    if (EnterOrFail("FindClose")) {
        return FALSE;
    }
    if (FindOf(find) == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    finds.erase((uintptr_t)find);
    DropHandle(find);
    return TRUE;
}

} // extern "C"
