// winsim/environment.cpp: the simulated process environment: its variables,
// GetEnvironmentVariableW and SetEnvironmentVariableW, and the environment
// side of sim.h. Names compare without case and keep the case they were
// set with. A variable whose value is empty reads as 0 characters with the
// last error set to 0.
#include "winsim/simcore.h"

#include <map>

namespace winsim {

namespace {

// Folded name -> (name as set, value).
std::map<std::u16string, std::pair<std::u16string, std::u16string>> environment;

} // namespace

void ResetEnvironment() {
    environment.clear();
}

} // namespace winsim

using namespace winsim;

extern "C" {

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    if (EnterOrFail("GetEnvironmentVariableW")) {
        return 0;
    }
    if (name == nullptr) {
        Unsupported("GetEnvironmentVariableW", "a null name");
    }
    auto it = environment.find(Fold(name));
    if (it == environment.end()) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
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
    if (EnterOrFail("SetEnvironmentVariableW")) {
        return FALSE;
    }
    if (name == nullptr) {
        Unsupported("SetEnvironmentVariableW", "a null name");
    }
    std::u16string text = name;
    if (text.empty() || text.find(u'=', 1) != std::u16string::npos) {
        SetLastError(ERROR_INVALID_PARAMETER);
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

void SetEnv(const std::u16string &name, const std::u16string &value) {
    EnsureInitialised();
    environment[Fold(name)] = std::make_pair(name, value);
}

void UnsetEnv(const std::u16string &name) {
    EnsureInitialised();
    environment.erase(Fold(name));
}

} // namespace sim
