// glimhost.cpp: the stand-in host program. It loads a plugin DLL as the
// command processor does and runs command lines: from its arguments, from
// batch files, or typed at a prompt. Besides the plugin's commands it knows
// a few built-ins (echo, set, cls, help, ver, exit, rem). All output goes
// through the host's own output services, so a console gets UTF-16 and a
// file or pipe gets UTF-8. This file reads the options and runs the rest;
// glimhost.h names the other parts.
#include "host/glimhost.h"
#include "host/hoststate.h"
#include "host/hostnames.h"
#include "glimversion.h"

// glimhost's texts, every one of them, by the part that uses them;
// glimhost.h declares those of the other parts.

// The program: its usage text and the mistakes in its options.
// clang-format off
static const WCHAR USAGE_TEXT[] = TEXT(
    "Usage: glimhost [-p PLUGIN] [-o FILE] [-e FILE] [-f BATCHFILE] [COMMAND-LINE]...\r\n"
    "\r\n"
    "Loads a plugin (by default glimpset.dll beside glimhost.exe) and runs\r\n"
    "command lines with it. Each COMMAND-LINE argument is one command line;\r\n"
    "-f runs the lines of a batch file (UTF-8, UTF-16 or ANSI text), in order\r\n"
    "with the arguments. Without either, command lines are read from standard\r\n"
    "input, with the prompt \"> \" when it is a console.\r\n"
    "\r\n"
    "  -p PLUGIN   load this plugin DLL instead\r\n"
    "  -o FILE     write standard output to FILE (UTF-8)\r\n"
    "  -e FILE     write standard error to FILE (UTF-8; may be the -o FILE)\r\n"
    "  -f FILE     run the lines of FILE as a batch file\r\n"
    "  -h, -?      show this text\r\n"
    "  --          take the arguments after it as command lines\r\n"
    "\r\n"
    "Commands: the plugin's, and echo TEXT, set [NAME[=VALUE]], cls,\r\n"
    "help [/box] [NAME], ver, rem TEXT, exit [N]. Variables (%NAME%, %_cwds,\r\n"
    "%_lastglim, ...) are expanded first. The exit status is the result\r\n"
    "of the last command, or N of exit N; 2 when the plugin cannot be loaded.\r\n"
    "\r\n"
    "help NAME shows the usage of a command; help /box NAME opens the\r\n"
    "plugin's help window for NAME instead, which waits for a click.\r\n");
// clang-format on
static const WCHAR MSG_BAD_OPTION[] =
    TEXT("glimhost: unknown option \"%s\" (glimhost -h shows the usage)\r\n");
static const WCHAR MSG_MISSING_FILE[] = TEXT("glimhost: option %s needs a file name\r\n");

// Loading the plugin.
const WCHAR MSG_CANNOT_LOAD[] = TEXT("glimhost: cannot load the plugin \"%s\":\r\n    %s\r\n");
const WCHAR MSG_NOT_A_PLUGIN[] = TEXT("glimhost: \"%s\" is not a plugin (no GetPluginInfo)\r\n");
const WCHAR MSG_NO_EXPORT[] = TEXT("glimhost: the plugin does not export \"%s\"\r\n");
const WCHAR DEFAULT_PLUGIN[] = TEXT("glimpset.dll");

// Running command lines.
const WCHAR MSG_UNKNOWN_COMMAND[] = TEXT("Unknown command: %s\r\n");
const WCHAR MSG_LINE_TOO_LONG[] = TEXT("glimhost: line too long\r\n");

// The built-ins: their usage lines, messages and formats.
const WCHAR USAGE_ECHO[] = TEXT("ECHO text: writes the text and a line end.");
const WCHAR USAGE_SET[] =
    TEXT("SET [name[=value]]: sets, shows or (with an empty value) removes a variable.");
const WCHAR USAGE_CLS[] = TEXT("CLS: clears the console screen buffer.");
const WCHAR USAGE_HELP[] =
    TEXT("HELP [/BOX] [name]: shows the usage of a command; /BOX opens the plugin's help window.");
const WCHAR USAGE_VER[] = TEXT("VER: shows the versions of glimhost and of the plugin.");
const WCHAR USAGE_REM[] = TEXT("REM text: a comment.");
const WCHAR USAGE_EXIT[] =
    TEXT("EXIT [n]: ends glimhost with the status n (or that of the last command).");
const WCHAR MSG_NO_HELP[] = TEXT("No help for %s.\r\n");
const WCHAR MSG_HELP_IN_BOX[] = TEXT("%s has no usage line; help /box %s opens its help.\r\n");
const WCHAR SWITCH_BOX[] = TEXT("/box");
const WCHAR MSG_NOT_IN_ENVIRONMENT[] = TEXT("Not in environment: %s\r\n");
const WCHAR MSG_TOO_LONG_TO_SHOW[] = TEXT("Too long to show: %s\r\n");
const WCHAR EQUALS_SIGN[] = TEXT("=");
const WCHAR MSG_NO_CONSOLE[] = TEXT("glimhost: no console to clear\r\n");
const WCHAR FORMAT_VERSION[] = TEXT("glimhost ") TEXT(GLIM_VERSION_TEXT) TEXT(" - %s %d.%d.%d\r\n");
const WCHAR FORMAT_LINE[] = TEXT("%s\r\n");

// Console and redirected input and output.
const WCHAR MSG_CANNOT_OPEN[] = TEXT("glimhost: cannot open \"%s\":\r\n    %s\r\n");
const WCHAR FORMAT_ERROR_CODE[] = TEXT("Error %u");
const WCHAR PROMPT[] = TEXT("> ");
const WCHAR LINE_END[] = TEXT("\r\n");

struct RunItem {
    bool batchFile;
    const WCHAR *text;
};

void ShowUsage(void) {
    QPuts(USAGE_TEXT);
}

int wmain(int argc, WCHAR **argv) {
    const WCHAR *pluginPath = nullptr;
    const WCHAR *outPath = nullptr;
    const WCHAR *errPath = nullptr;
    RunItem *items = nullptr;
    int itemCount = 0;
    bool optionsEnded = false;
    bool showUsage = false;
    const WCHAR *badMessage = nullptr;
    const WCHAR *badOption = nullptr;
    bool loaded = false;

    items = static_cast<RunItem *>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RunItem) * (argc + 1)));
    if (items == nullptr) {
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    // The options take effect before anything runs; batch files and command
    // lines then run in the order given. A bad option is reported once the
    // output files are open.
    for (int i = 1; i < argc; i++) {
        const WCHAR *arg = argv[i];
        bool isOption = !optionsEnded && arg[0] == TEXT('-') && arg[1] != 0;
        if (!isOption) {
            items[itemCount].batchFile = false;
            items[itemCount].text = arg;
            itemCount++;
            continue;
        }
        if (arg[1] == TEXT('-') && arg[2] == 0) {
            optionsEnded = true;
            continue;
        }
        WCHAR option = arg[2] == 0 ? FoldCase(arg[1]) : 0;
        if (option == TEXT('h') || option == TEXT('?')) {
            showUsage = true;
            continue;
        }
        if (option != TEXT('p') && option != TEXT('o') && option != TEXT('e') &&
            option != TEXT('f')) {
            badMessage = badMessage != nullptr ? badMessage : MSG_BAD_OPTION;
            badOption = badOption != nullptr ? badOption : arg;
            continue;
        }
        if (i + 1 >= argc) {
            badMessage = badMessage != nullptr ? badMessage : MSG_MISSING_FILE;
            badOption = badOption != nullptr ? badOption : arg;
            continue;
        }
        const WCHAR *value = argv[++i];
        if (option == TEXT('p')) {
            pluginPath = value;
        } else if (option == TEXT('o')) {
            outPath = value;
        } else if (option == TEXT('e')) {
            errPath = value;
        } else {
            items[itemCount].batchFile = true;
            items[itemCount].text = value;
            itemCount++;
        }
    }

    if (!StartOutput(outPath, errPath)) {
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    // Mistakes in the options are reported where the output was asked to go.
    if (badMessage != nullptr) {
        Qprintf(StdErr(), badMessage, badOption);
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    if (showUsage) {
        ShowUsage();
        Status = 0;
        goto done;
    }

    // Given command lines or a batch file to run, the shell is transient, as
    // one started to run a command and leave; reading its commands from a
    // pipe, or writing into one, it is in a pipe.
    HostResetState();
    HostSetTransient(itemCount > 0);
    HostSetPipe(IsPipe(STD_INPUT_HANDLE) || IsPipe(STD_OUTPUT_HANDLE));

    if (!LoadPlugin(pluginPath)) {
        Status = STATUS_HOST_FAILURE;
        goto done;
    }
    loaded = true;

    if (itemCount == 0) {
        RunStandardInput();
    }
    for (int i = 0; i < itemCount && !ExitRequested; i++) {
        if (items[i].batchFile) {
            RunBatchFile(items[i].text);
        } else {
            RunLine(items[i].text);
        }
    }

done:
    if (loaded) {
        UnloadPlugin();
    }
    EndOutput();
    if (items != nullptr) {
        HeapFree(GetProcessHeap(), 0, items);
    }
    return Status;
}
