// exports.h: the plugin's exported entry points (all but the command glim,
// which lives in command/), the plugin information record and the module
// handle. The host calls GetPluginInfo, then InitializePlugin once; Usage and
// Help on help requests; glim and _lastglim when used; ShutdownPlugin last.
#pragma once

#include "plugin/host.h"

extern "C" {
PluginInfoRecord *GetPluginInfo(void);
int InitializePlugin(void);
int ShutdownPlugin(int endProcess);
int Usage(WCHAR *name, WCHAR *buffer);
int Help(WCHAR *name);
int _lastglim(WCHAR *buffer);
int glim(WCHAR *tail);
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
}

// The library's own module handle, stored by DllMain at every call; the
// save operation plays its sound resource from it.
extern HMODULE ModuleHandle;
// The record that GetPluginInfo fills; zero until its first call.
extern PluginInfoRecord PluginInfo;
