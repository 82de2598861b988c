// exports.cpp: the entry points that the host and the system call (all but
// the command glim), the plugin information record and the module handle.
#include "plugin/exports.h"

#include "common/text.h"
#include "plugin/helptext.h"
#include "plugin/lastname.h"

static const WCHAR Author[] = TEXT("The Glimpset developers");
static const WCHAR Email[] = TEXT("glimpset@users.noreply.example.org");
static const WCHAR WebPage[] = TEXT("https://glimpset.example.org/");
static const WCHAR Description[] = TEXT("Save and restore the console screen buffer");
static const WCHAR Implements[] = TEXT("glim,_lastglim");
static const WCHAR LoadTest[] = TEXT("%[_transient]%[_pipe]%[noloadmsg]");
static const WCHAR LoadTestQuiet[] = TEXT("00");
static const WCHAR LoadLine[] = TEXT("%s v%d.%d.%d loaded.\r\n");
static const WCHAR HelpTitleFormat[] = TEXT("%s Plugin Help");

enum {
    LOAD_TEST_CAPACITY = 1024,
    HELP_TITLE_CAPACITY = 1024,
    USAGE_CAPACITY = 1024,
};

HMODULE ModuleHandle = nullptr;
PluginInfoRecord PluginInfo;

PluginInfoRecord *GetPluginInfo(void) {
    PluginInfo.name = PLUGIN_NAME;
    PluginInfo.author = Author;
    PluginInfo.email = Email;
    PluginInfo.webPage = WebPage;
    PluginInfo.description = Description;
    PluginInfo.implements = Implements;
    PluginInfo.major = PLUGIN_MAJOR;
    PluginInfo.minor = PLUGIN_MINOR;
    PluginInfo.build = PLUGIN_BUILD;
    return &PluginInfo;
}

int InitializePlugin(void) {
    // The load line is printed only in an ordinary interactive shell: not
    // transient, not in a pipe, and without the variable noloadmsg.
    WCHAR expansion[LOAD_TEST_CAPACITY];
    for (int i = 0; i < LOAD_TEST_CAPACITY; i++) {
        expansion[i] = 0;
    }
    TextCopy(expansion, LOAD_TEST_CAPACITY, LoadTest);
    ExpandVariables(expansion, 1);
    expansion[LOAD_TEST_CAPACITY - 1] = 0;
    if (expansion[0] == LoadTestQuiet[0] && expansion[1] == LoadTestQuiet[1] && expansion[2] == 0) {
        Printf(LoadLine, PLUGIN_NAME, PLUGIN_MAJOR, PLUGIN_MINOR, PLUGIN_BUILD);
    }
    return 0;
}

int ShutdownPlugin(int endProcess) {
    (void)endProcess;
    FreeLastName();
    return 0;
}

int Usage(WCHAR *name, WCHAR *buffer) {
    if (name == nullptr || buffer == nullptr) {
        return 0;
    }
    // Variable functions and internal variables have no usage line.
    if (name[0] == '@' || name[0] == '_') {
        return 0;
    }
    int index = FindHelpName(name);
    if (index < 0) {
        return 0;
    }
    // The usage is the help text from its syntax line on: past the first
    // line feed and the empty lines after it.
    const WCHAR *text = NameHelpTexts[index];
    while (*text != 0 && *text != '\n') {
        text++;
    }
    while (*text == '\n') {
        text++;
    }
    TextCopy(buffer, USAGE_CAPACITY, text);
    return 1;
}

int Help(WCHAR *name) {
    WCHAR title[HELP_TITLE_CAPACITY];
    wsprintfW(title, HelpTitleFormat, PLUGIN_NAME);
    int index = FindHelpName(name);
    if (index < 0) {
        return 0;
    }
    MessageBoxW(GetForegroundWindow(), NameHelpTexts[index], title, MB_OK);
    return 1;
}

int _lastglim(WCHAR *buffer) {
    if (buffer == nullptr) {
        return 1;
    }
    // The host's buffer holds PATH_CAPACITY characters; a longer value (a
    // file name of more than 16,381 characters) is cut to fit, losing its
    // closing quote.
    if (LastName != nullptr) {
        TextCopy(buffer, PATH_CAPACITY, LastName);
    } else {
        buffer[0] = 0;
    }
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)reason;
    (void)reserved;
    ModuleHandle = module;
    return TRUE;
}
