// host.h: the services of the host command processor that Glimpset calls,
// imported by name from TakeCmd.dll, and the plugin information record that
// the host reads. All strings are NUL-terminated UTF-16. In formats, %s takes
// a UTF-16 string.
#pragma once

#include "common/platform.h"

extern "C" {

// Text on standard output. Result ignored by the plugin.
int Printf(const WCHAR *format, ...);
// Text on the given handle (the plugin passes only the standard error handle).
int Qprintf(HANDLE handle, const WCHAR *format, ...);
// Text on standard output, no line end added.
int QPuts(const WCHAR *text);
// Formatted text into the buffer; returns its length.
int Sprintf(WCHAR *buffer, const WCHAR *format, ...);
// Expands %-references in place (mode 1: variables and variable functions).
int ExpandVariables(WCHAR *buffer, int mode);
// Full canonical path of a path or pattern into a buffer of 16,384
// characters; an empty output means that the name is unusable. Wildcards and
// vertical bars in the last component survive.
int QueryTrueName(const WCHAR *path, WCHAR *output);
// Non-zero for an existing directory.
int QueryIsDirectory(const WCHAR *path);
// Non-zero when anything of that name exists.
int QueryIsFileOrDirectory(const WCHAR *path);
// 0 when the name matches the pattern.
int WildcardComparison(const WCHAR *pattern, const WCHAR *name, int flag1, int flag2);
// Non-zero inside a tab window of the graphical shell.
int QueryIsTCMD(void);

} // extern "C"

// The record that GetPluginInfo fills for the host. The host's record may
// have further fields after the build number; the plugin never writes them.
struct PluginInfoRecord {
    const WCHAR *name;
    const WCHAR *author;
    const WCHAR *email;
    const WCHAR *webPage;
    const WCHAR *description;
    const WCHAR *implements;
    int major;
    int minor;
    int build;
    void *hostFields[8];
};

// The plugin's exports, as the host calls them.
typedef PluginInfoRecord *(*GetPluginInfoFn)(void);
typedef int (*InitializePluginFn)(void);
typedef int (*ShutdownPluginFn)(int endProcess);
typedef int (*UsageFn)(WCHAR *name, WCHAR *buffer);
typedef int (*HelpFn)(WCHAR *name);
typedef int (*CommandFn)(WCHAR *tail);
typedef int (*VariableFn)(WCHAR *buffer);
