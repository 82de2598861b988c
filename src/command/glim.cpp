// glim.cpp: the command glim. It splits the tail, walks the arguments once
// (help requests, options, the file names), collects ModeFlags and
// SearchFlags, adds the Quiet setting and calls exactly one operation, whose
// result it returns unchanged.
#include "command/options.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/tokenizer.h"
#include "plugin/exports.h"
#include "plugin/helptext.h"
#include "plugin/host.h"
#include "report/search.h"
#include "restore/restore.h"
#include "save/save.h"

static const WCHAR HelpRequest[] = TEXT("/?");
static const WCHAR VersionRequest[] = TEXT("/??");
static const WCHAR VersionLine[] = TEXT("\r\n\t\t\t\t%s  %u.%u.%u.%u (%s)\r\n");
static const WCHAR PlatformWord[] = TEXT("x64");
static const WCHAR UnknownOptionMessage[] = TEXT("Unknown option:  \"%s\"\r\n");
static const WCHAR UnknownSuboptionMessage[] = TEXT("Unknown suboption:  /N:%c\r\n");
static const WCHAR BadFilenameMessage[] = TEXT("Bad filename:  \"%s\"\r\n");
static const WCHAR SyntaxErrorMessage[] = TEXT("Syntax error:  \"%s\"\r\n");

enum Mode { MODE_SAVE, MODE_RESTORE, MODE_REPORT };

struct CommandState {
    Mode mode;
    DWORD modeFlags;
    DWORD searchFlags;
    WCHAR *furtherName; // the last file name after the first, in ArgTable
};

// The resolved first file name. It is kept off the host's stack (16 KB) and
// zeroed at the start of every command.
static WCHAR NameBuffer[PATH_CAPACITY];

static WCHAR UpperAZ(WCHAR ch) {
    return (ch >= 'a' && ch <= 'z') ? (WCHAR)(ch - 'a' + 'A') : ch;
}

// True when `arg` is a slash and the letter `option`, any case, and nothing
// more.
static bool IsOption(const WCHAR *arg, WCHAR option) {
    return arg[0] == '/' && UpperAZ(arg[1]) == option && arg[2] == 0;
}

static bool IsExactly(const WCHAR *arg, const WCHAR *text) {
    int i = 0;
    while (arg[i] != 0 && arg[i] == text[i]) {
        i++;
    }
    return arg[i] == text[i];
}

// The letters after /N (and one ':' or '='). Returns 0, or 1 after the
// message for a character that is not one of them.
static int ReadSuboptions(const WCHAR *arg, CommandState *state) {
    const WCHAR *p = arg + 2;
    if (*p == ':' || *p == '=') {
        p++;
    }
    for (; *p != 0; p++) {
        WCHAR letter = UpperAZ(*p);
        switch (letter) {
        case 'D':
            state->searchFlags |= SEARCH_NO_HIDDEN;
            break;
        case 'E':
            state->searchFlags |= SEARCH_EMPTY_OK;
            break;
        case 'J':
            state->searchFlags |= SEARCH_NO_REPARSE;
            break;
        case 'O':
            state->modeFlags |= MODE_ONLY_KNOWN;
            break;
        case 'S':
            state->modeFlags |= MODE_NO_TOTALS;
            break;
        case 'T':
            state->modeFlags |= MODE_NO_TIME;
            break;
        case 'X':
            state->modeFlags |= MODE_NO_CRC;
            break;
        case 'Z':
            state->searchFlags |= SEARCH_NO_SYSTEM;
            break;
        default:
            ReportPlainNumber(UnknownSuboptionMessage, letter);
            return 1;
        }
    }
    return 0;
}

// Handles one argument of the walk. Returns -1 to go on, or the command's
// result when the argument ends it (help given, or a usage error reported).
static int WalkArgument(WCHAR *arg, CommandState *state) {
    if (IsExactly(arg, HelpRequest)) {
        QPuts(CommandHelpText);
        return 0;
    }
    if (IsExactly(arg, VersionRequest)) {
        QPuts(CommandHelpText);
        Printf(VersionLine, PLUGIN_NAME, (unsigned)PLUGIN_MAJOR, (unsigned)PLUGIN_MINOR,
               (unsigned)PLUGIN_BUILD, (unsigned)PLUGIN_REVISION, PlatformWord);
        return 0;
    }
    if (IsOption(arg, 'E')) {
        state->searchFlags |= SEARCH_EMPTY_OK;
    } else if (IsOption(arg, 'I')) {
        if (state->mode == MODE_REPORT) {
            state->modeFlags |= MODE_ONLY_KNOWN;
        }
        state->mode = MODE_REPORT;
    } else if (arg[0] == '/' && UpperAZ(arg[1]) == 'N') {
        if (ReadSuboptions(arg, state) != 0) {
            return 1;
        }
    } else if (IsOption(arg, 'O')) {
        state->modeFlags |= MODE_OVERWRITE;
    } else if (IsOption(arg, 'Q')) {
        state->modeFlags |= MODE_QUIET;
    } else if (IsOption(arg, 'R')) {
        state->mode = MODE_RESTORE;
    } else if (IsOption(arg, 'S')) {
        state->searchFlags |= SEARCH_RECURSE;
    } else if (arg[0] == '/') {
        UpperCaseAZ(arg);
        ReportPlain(UnknownOptionMessage, arg);
        return 1;
    } else if (NameBuffer[0] == 0) {
        QueryTrueName(arg, NameBuffer);
        NameBuffer[PATH_CAPACITY - 1] = 0;
        if (NameBuffer[0] == 0) {
            UpperCaseAZ(arg);
            ReportPlain(BadFilenameMessage, arg);
            return 1;
        }
    } else {
        state->furtherName = arg;
    }
    return -1;
}

int glim(WCHAR *tail) {
    if (tail == nullptr) {
        return 1;
    }
    if (TokenizeArguments(tail) < 0) {
        return 1;
    }
    for (int i = 0; i < PATH_CAPACITY; i++) {
        NameBuffer[i] = 0;
    }
    CommandState state = {MODE_SAVE, 0, 0, nullptr};
    for (int i = 0; i < ArgTable.count; i++) {
        int ended = WalkArgument(ArgTable.args[i], &state);
        if (ended >= 0) {
            return ended;
        }
    }
    if (state.furtherName != nullptr && state.mode != MODE_REPORT) {
        UpperCaseAZ(state.furtherName);
        ReportBare(SyntaxErrorMessage, state.furtherName);
        return 1;
    }
    if (ReadQuietSetting() == 1) {
        state.modeFlags |= MODE_QUIET;
    }
    switch (state.mode) {
    case MODE_RESTORE:
        return RestoreScreen(NameBuffer, state.modeFlags);
    case MODE_REPORT:
        return ListFileSpecs(state.modeFlags, state.searchFlags);
    default:
        return SaveScreen(NameBuffer, state.modeFlags);
    }
}
