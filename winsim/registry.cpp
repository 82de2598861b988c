// winsim/registry.cpp: the simulated registry. Owns the keys under
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE (paths compared without case),
// their values (type and bytes), the opened key handles, RegOpenKeyW,
// RegQueryValueExW and RegCloseKey, and the registry side of sim.h.
//
// The Reg* functions give their error as their result and leave the last
// error alone, as Win32's do; so does an injected failure. A key exists when
// a test made it, or made a value or a key below it; the roots always exist.
// Another predefined root than these two stops the program.
#include "winsim/simcore.h"

#include <cstring>
#include <map>

namespace winsim {

namespace {

struct Value {
    std::u16string name;
    DWORD type;
    std::vector<uint8_t> bytes;
};

struct KeyName {
    int root;            // 1 current user, 2 local machine
    std::u16string path; // folded, without leading or trailing backslashes
    bool operator<(const KeyName &other) const {
        return root != other.root ? root < other.root : path < other.path;
    }
};

std::map<KeyName, std::vector<Value>> keys;
std::map<uintptr_t, KeyName> opened;

int RootOf(HKEY key) {
    if (key == HKEY_CURRENT_USER) {
        return 1;
    }
    if (key == HKEY_LOCAL_MACHINE) {
        return 2;
    }
    return 0;
}

bool IsPredefined(HKEY key) {
    return ((uintptr_t)key & 0xFFFFFFFF80000000ull) == 0xFFFFFFFF80000000ull;
}

std::u16string Trim(const std::u16string &path) {
    size_t start = 0, end = path.size();
    while (start < end && path[start] == u'\\') {
        start++;
    }
    while (end > start && path[end - 1] == u'\\') {
        end--;
    }
    return Fold(path.substr(start, end - start));
}

// The key a handle stands for; false for a handle that is none.
bool NameOf(HKEY key, KeyName &name) {
    int root = RootOf(key);
    if (root != 0) {
        name = KeyName{root, std::u16string()};
        return true;
    }
    if (IsPredefined(key)) {
        Unsupported("registry", "a predefined key other than HKCU and HKLM");
    }
    if (KindOf((HANDLE)key) != KIND_KEY) {
        return false;
    }
    name = opened[(uintptr_t)key];
    return true;
}

bool KeyExists(const KeyName &name) {
    return name.path.empty() || keys.count(name) > 0;
}

// Makes a key and every key above it.
std::vector<Value> &MakeKey(HKEY root, const std::u16string &path) {
    EnsureInitialised();
    int id = RootOf(root);
    if (id == 0) {
        Unsupported("sim registry", "a root other than HKCU and HKLM");
    }
    std::u16string folded = Trim(path);
    size_t cut = 0;
    while ((cut = folded.find(u'\\', cut)) != std::u16string::npos) {
        keys[KeyName{id, folded.substr(0, cut)}];
        cut++;
    }
    return keys[KeyName{id, folded}];
}

void SetValue(HKEY root, const std::u16string &path, const std::u16string &name, DWORD type,
              const void *bytes, size_t size) {
    std::vector<Value> &values = MakeKey(root, path);
    const uint8_t *start = (const uint8_t *)bytes;
    for (Value &value : values) {
        if (Fold(value.name) == Fold(name)) {
            value.type = type;
            value.bytes.assign(start, start + size);
            return;
        }
    }
    values.push_back(Value{name, type, std::vector<uint8_t>(start, start + size)});
}

} // namespace

void ResetRegistry() {
    keys.clear();
    opened.clear();
}

} // namespace winsim

using namespace winsim;

extern "C" {

LSTATUS RegOpenKeyW(HKEY key, LPCWSTR subKey, PHKEY result) {
    DWORD error = 0;
    if (Enter("RegOpenKeyW", &error)) {
        return (LSTATUS)error;
    }
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyName base;
    if (!NameOf(key, base)) {
        return ERROR_INVALID_HANDLE;
    }
    if (subKey == nullptr || subKey[0] == 0) {
        // Win32 gives back the handle it was given.
        *result = key;
        return ERROR_SUCCESS;
    }
    std::u16string below = Trim(subKey);
    KeyName name{base.root, base.path.empty() ? below : base.path + u"\\" + below};
    if (!KeyExists(name)) {
        *result = nullptr;
        return ERROR_FILE_NOT_FOUND;
    }
    HANDLE handle = NewHandle(KIND_KEY);
    opened[(uintptr_t)handle] = name;
    *result = (HKEY)handle;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
    DWORD error = 0;
    if (Enter("RegQueryValueExW", &error)) {
        return (LSTATUS)error;
    }
    if (reserved != nullptr || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyName name;
    if (!NameOf(key, name)) {
        return ERROR_INVALID_HANDLE;
    }
    auto it = keys.find(name);
    if (it == keys.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::u16string wanted = Fold(valueName == nullptr ? u"" : valueName);
    for (const Value &value : it->second) {
        if (Fold(value.name) != wanted) {
            continue;
        }
        if (type != nullptr) {
            *type = value.type;
        }
        DWORD needed = (DWORD)value.bytes.size();
        if (data != nullptr && *size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (data != nullptr && needed > 0) {
            memcpy(data, value.bytes.data(), needed);
        }
        if (size != nullptr) {
            *size = needed;
        }
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS RegCloseKey(HKEY key) {
    DWORD error = 0;
    if (Enter("RegCloseKey", &error)) {
        return (LSTATUS)error;
    }
    if (RootOf(key) != 0) {
        return ERROR_SUCCESS;
    }
    if (KindOf((HANDLE)key) != KIND_KEY) {
        return ERROR_INVALID_HANDLE;
    }
    opened.erase((uintptr_t)key);
    DropHandle((HANDLE)key);
    return ERROR_SUCCESS;
}

} // extern "C"

namespace sim {

void RegSetDword(HKEY root, const std::u16string &path, const std::u16string &name, DWORD value) {
    SetValue(root, path, name, REG_DWORD, &value, sizeof value);
}

void RegSetString(HKEY root, const std::u16string &path, const std::u16string &name,
                  const std::u16string &value) {
    // The bytes of the text and its terminator, as RegSetValueExW stores them.
    SetValue(root, path, name, REG_SZ, value.c_str(), (value.size() + 1) * sizeof(WCHAR));
}

void RegSetBytes(HKEY root, const std::u16string &path, const std::u16string &name, DWORD type,
                 const std::vector<uint8_t> &bytes) {
    SetValue(root, path, name, type, bytes.data(), bytes.size());
}

void RegMakeKey(HKEY root, const std::u16string &path) {
    MakeKey(root, path);
}

} // namespace sim
