// loadplugin.cpp: loading the plugin as the command processor does
// (GetPluginInfo, then InitializePlugin; ShutdownPlugin at the end),
// registering its variable functions with the host services of TakeCmd.dll
// and keeping the table of its commands. The texts are in glimhost.cpp.
#include "host/glimhost.h"
#include "host/hoststate.h"
#include "host/hostnames.h"

enum {
    NAME_CAPACITY = 64,
    MAX_COMMANDS = 64,
};

struct PluginCommand {
    WCHAR name[NAME_CAPACITY];
    CommandFn function;
};

PluginInfoRecord *PluginInfoPtr = nullptr;
UsageFn PluginUsage = nullptr;
HelpFn PluginHelp = nullptr;

static HMODULE PluginModule = nullptr;
static PluginCommand Commands[MAX_COMMANDS];
static int CommandCount = 0;

// Registers the plugin's names: those beginning with "_" or "@" are
// variable functions, the others commands. Exports are looked up by the
// same (ASCII) name.
static void RegisterNames(const WCHAR *implements) {
    const WCHAR *p = implements;
    while (p != nullptr && *p != 0) {
        while (*p == TEXT(',') || IsBlank(*p)) {
            p++;
        }
        WCHAR name[NAME_CAPACITY];
        char ascii[NAME_CAPACITY];
        int n = 0;
        bool usable = true;
        while (*p != 0 && *p != TEXT(',')) {
            if (n < NAME_CAPACITY - 1) {
                if (*p > 0x7E) {
                    usable = false;
                }
                name[n] = *p;
                ascii[n] = static_cast<char>(*p);
                n++;
            } else {
                usable = false;
            }
            p++;
        }
        while (n > 0 && IsBlank(name[n - 1])) {
            n--;
        }
        name[n] = 0;
        ascii[n] = 0;
        if (n == 0) {
            continue;
        }
        FARPROC proc = usable ? GetProcAddress(PluginModule, ascii) : nullptr;
        if (proc == nullptr) {
            Qprintf(StdErr(), MSG_NO_EXPORT, name);
            continue;
        }
        if (name[0] == TEXT('_') || name[0] == TEXT('@')) {
            HostRegisterVariable(name,
                                 reinterpret_cast<VariableFn>(reinterpret_cast<void *>(proc)));
        } else if (CommandCount < MAX_COMMANDS) {
            CopyBounded(Commands[CommandCount].name, NAME_CAPACITY, name);
            Commands[CommandCount].function =
                reinterpret_cast<CommandFn>(reinterpret_cast<void *>(proc));
            CommandCount++;
        }
    }
}

bool LoadPlugin(const WCHAR *path) {
    WCHAR defaultPath[LINE_CAPACITY];
    WCHAR error[ERROR_CAPACITY];
    if (path == nullptr) {
        DWORD n = GetModuleFileNameW(nullptr, defaultPath, LINE_CAPACITY);
        if (n == 0 || n >= LINE_CAPACITY) {
            n = 0;
        }
        while (n > 0 && defaultPath[n - 1] != TEXT('\\') && defaultPath[n - 1] != TEXT('/')) {
            n--;
        }
        defaultPath[n] = 0;
        CopyBounded(defaultPath + n, LINE_CAPACITY - static_cast<int>(n), DEFAULT_PLUGIN);
        path = defaultPath;
    }
    PluginModule = LoadLibraryW(path);
    if (PluginModule == nullptr) {
        ErrorText(GetLastError(), error);
        Qprintf(StdErr(), MSG_CANNOT_LOAD, path, error);
        return false;
    }
    GetPluginInfoFn getInfo = reinterpret_cast<GetPluginInfoFn>(
        reinterpret_cast<void *>(GetProcAddress(PluginModule, "GetPluginInfo")));
    InitializePluginFn initialize = reinterpret_cast<InitializePluginFn>(
        reinterpret_cast<void *>(GetProcAddress(PluginModule, "InitializePlugin")));
    PluginInfoPtr = getInfo != nullptr ? getInfo() : nullptr;
    if (PluginInfoPtr == nullptr) {
        Qprintf(StdErr(), MSG_NOT_A_PLUGIN, path);
        FreeLibrary(PluginModule);
        PluginModule = nullptr;
        return false;
    }
    PluginUsage =
        reinterpret_cast<UsageFn>(reinterpret_cast<void *>(GetProcAddress(PluginModule, "Usage")));
    PluginHelp =
        reinterpret_cast<HelpFn>(reinterpret_cast<void *>(GetProcAddress(PluginModule, "Help")));
    RegisterNames(PluginInfoPtr->implements);
    if (initialize != nullptr) {
        initialize();
    }
    return true;
}

void UnloadPlugin(void) {
    ShutdownPluginFn shutdown = reinterpret_cast<ShutdownPluginFn>(
        reinterpret_cast<void *>(GetProcAddress(PluginModule, "ShutdownPlugin")));
    if (shutdown != nullptr) {
        shutdown(0);
    }
    HostResetState();
    // Nothing of the plugin is left to call once it is unloaded.
    PluginInfoPtr = nullptr;
    PluginUsage = nullptr;
    PluginHelp = nullptr;
    CommandCount = 0;
    FreeLibrary(PluginModule);
    PluginModule = nullptr;
}

CommandFn FindPluginCommand(const WCHAR *name) {
    for (int i = 0; i < CommandCount; i++) {
        if (SameName(Commands[i].name, name)) {
            return Commands[i].function;
        }
    }
    return nullptr;
}
