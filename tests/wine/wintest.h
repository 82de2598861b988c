// wintest.h: shared pieces of the Windows test program (run under Wine in a
// pseudo-terminal, so that the console is real). The plugin is loaded from
// beside the test program as the host loads it, and its exports are called
// through GetProcAddress; the host services come from our TakeCmd.dll.
#pragma once

#include "plugin/host.h"

#include <string>
#include <vector>

namespace wintest {

struct Plugin {
    HMODULE module;
    GetPluginInfoFn getPluginInfo;
    InitializePluginFn initializePlugin;
    ShutdownPluginFn shutdownPlugin;
    UsageFn usage;
    HelpFn help;
    CommandFn glim;
    VariableFn lastglim;
};

// The plugin, loaded once for the whole test program (GetPluginInfo and
// InitializePlugin already called).
Plugin &LoadedPlugin();

// Calls glim with a command tail (copied into a writable buffer).
int Glim(const std::wstring &tail);
// Calls glim with its standard error sent to the file `errors` (made anew),
// so that messages do not land in the console under test.
int GlimWithErrorsIn(const std::wstring &tail, const std::wstring &errors);
// The value of _lastglim.
std::wstring LastGlim();

// The directory of the test program, with a trailing backslash.
std::wstring ProgramDirectory();
// A fresh, empty scratch directory for one test, with a trailing backslash.
std::wstring ScratchDirectory(const std::wstring &name);

// Whole-file helpers.
bool ReadBytes(const std::wstring &path, std::vector<unsigned char> &bytes);
bool WriteBytes(const std::wstring &path, const std::vector<unsigned char> &bytes);

// The real console.
HANDLE Console(); // CONOUT$, opened once
void ConsoleResize(int columns, int rows, int windowHeight);
void ConsoleFill(const std::vector<WORD> &characters, const std::vector<WORD> &attributes);
void ConsoleRead(std::vector<WORD> &characters, std::vector<WORD> &attributes);
CONSOLE_SCREEN_BUFFER_INFO ConsoleInfo();

// Whether the program runs under Wine (whose ntdll exports wine_get_version).
bool OnWine();

} // namespace wintest
