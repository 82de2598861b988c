// state.cpp: the stand-in host's own state (hoststate.h): the running batch
// file, the table of registered variable functions and the shell's flags.
#include "host/hoststate.h"
#include "host/hostnames.h"

static const int NAME_CAPACITY = 64;
static const int TABLE_SIZE = 64;
static const int BATCH_NAME_CAPACITY = 16384;

struct VariableEntry {
    WCHAR name[NAME_CAPACITY];
    VariableFn function;
};

static HostStateRecord State = {0, {0}, -1, 0, 0, 0};
static VariableEntry Variables[TABLE_SIZE];
static int VariableCount = 0;

extern "C" void HostResetState(void) {
    HostClearBatch();
    State.transient = 0;
    State.pipe = 0;
    State.tabWindow = 0;
    for (int i = 0; i < TABLE_SIZE; i++) {
        Variables[i].name[0] = 0;
        Variables[i].function = nullptr;
    }
    VariableCount = 0;
}

extern "C" void HostSetBatch(const WCHAR *fullName, int line) {
    if (fullName == nullptr || fullName[0] == 0) {
        HostClearBatch();
        return;
    }
    CopyBounded(State.batchName, BATCH_NAME_CAPACITY, fullName);
    State.batchActive = 1;
    State.batchLine = line;
}

extern "C" void HostClearBatch(void) {
    State.batchActive = 0;
    State.batchName[0] = 0;
    State.batchLine = -1;
}

extern "C" int HostRegisterVariable(const WCHAR *name, VariableFn function) {
    if (name == nullptr || name[0] == 0) {
        return -1;
    }
    int length = 0;
    while (name[length] != 0) {
        if (++length >= NAME_CAPACITY) {
            return -1;
        }
    }
    for (int i = 0; i < VariableCount; i++) {
        if (SameName(Variables[i].name, name)) {
            Variables[i].function = function;
            return 0;
        }
    }
    if (VariableCount == TABLE_SIZE) {
        return -1;
    }
    VariableEntry *entry = &Variables[VariableCount++];
    for (int i = 0; i <= length; i++) {
        entry->name[i] = name[i];
    }
    entry->function = function;
    return 0;
}

extern "C" VariableFn HostFindVariable(const WCHAR *name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < VariableCount; i++) {
        if (SameName(Variables[i].name, name)) {
            return Variables[i].function;
        }
    }
    return nullptr;
}

extern "C" void HostSetTabWindow(int on) {
    State.tabWindow = on != 0;
}

extern "C" void HostSetTransient(int on) {
    State.transient = on != 0;
}

extern "C" void HostSetPipe(int on) {
    State.pipe = on != 0;
}

const HostStateRecord *HostState(void) {
    return &State;
}
