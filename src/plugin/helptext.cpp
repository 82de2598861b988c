// helptext.cpp: the help texts of the command and the variable function,
// and the table of the names that have help.
#include "plugin/helptext.h"

#include "common/text.h"

// The texts are laid out as the user sees them.
// clang-format off
const WCHAR CommandHelpText[] =
    TEXT("Save, restore, or show information about console glimpset files.  \n\n")
    TEXT("GLIM /I /N: /O /Q /R /S filename  \r\n\n")
    TEXT("\t/I\tdisplay information about glimpset files\n")
    TEXT("\t/N:\tdisable features\n")
    TEXT("\t/O\toverwrite an existing file\n")
    TEXT("\t/Q\tquietly\n")
    TEXT("\t/R\treload the console buffer from a glimpset file  \n")
    TEXT("\t/S\tsearch into subdirectories\n")
    TEXT("\n")
    TEXT("If neither /I nor /R is given, GLIM saves the console buffer  \n")
    TEXT("to a file.  The filename is optional.\n")
    TEXT("\n")
    TEXT("If /I is given, you can use wildcards, multiple filenames, or /S\n")
    TEXT("to recurse.\n");

const WCHAR VariableHelpText[] =
    TEXT("%_LASTGLIM\n\n")
    TEXT("Returns the filename of the last glimpset.  If any error was\n")
    TEXT("detected, returns the string *ERROR*.  If the GLIM command  \n")
    TEXT("has not yet been called, returns an empty string.\n");
// clang-format on

const WCHAR NameTable[NAME_COUNT][NAME_SLOT] = {
    TEXT("glim"),
    TEXT("_lastglim"),
};

const WCHAR *const NameHelpTexts[NAME_COUNT] = {
    CommandHelpText,
    VariableHelpText,
};

int FindHelpName(const WCHAR *name) {
    if (name == nullptr) {
        return -1;
    }
    for (int i = 0; i < NAME_COUNT; i++) {
        if (CompareNoCaseAZ(name, NameTable[i]) == 0) {
            return i;
        }
    }
    return -1;
}
