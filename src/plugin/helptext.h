// helptext.h: the plugin's name, version and help texts, and the table of
// names that have help.
#pragma once

#include "common/platform.h"
#include "glimversion.h"

#define PLUGIN_NAME TEXT("Glimpset")
enum {
    PLUGIN_MAJOR = GLIM_VERSION_MAJOR,
    PLUGIN_MINOR = GLIM_VERSION_MINOR,
    PLUGIN_BUILD = GLIM_VERSION_BUILD,
    PLUGIN_REVISION = GLIM_VERSION_REVISION, // the fourth number of the /?? version line
    NAME_SLOT = 11,                          // a name of at most 10 characters and its terminator
    NAME_COUNT = 2,
};

extern const WCHAR CommandHelpText[];
extern const WCHAR VariableHelpText[];
extern const WCHAR NameTable[NAME_COUNT][NAME_SLOT];
extern const WCHAR *const NameHelpTexts[NAME_COUNT];

// Index of `name` in NameTable, comparing without the case of A to Z only;
// -1 when it is not there.
int FindHelpName(const WCHAR *name);
