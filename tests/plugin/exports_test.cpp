// The plugin's exports as the host calls them: the information record, the
// load line, usage and help, the variable function and the last-name store,
// and the library entry point.
#include "host/hoststate.h"
#include "plugin/exports.h"
#include "plugin/helptext.h"
#include "plugin/lastname.h"
#include "tests/support/glimtest.h"

#include <string>
#include <vector>

namespace {

using glimtest::GlimTest;
using ExportsTest = GlimTest;

const char CommandHelp[] = "Save, restore, or show information about console glimpset files.  \n\n"
                           "GLIM /I /N: /O /Q /R /S filename  \r\n\n"
                           "\t/I\tdisplay information about glimpset files\n"
                           "\t/N:\tdisable features\n"
                           "\t/O\toverwrite an existing file\n"
                           "\t/Q\tquietly\n"
                           "\t/R\treload the console buffer from a glimpset file  \n"
                           "\t/S\tsearch into subdirectories\n\n"
                           "If neither /I nor /R is given, GLIM saves the console buffer  \n"
                           "to a file.  The filename is optional.\n\n"
                           "If /I is given, you can use wildcards, multiple filenames, or /S\n"
                           "to recurse.\n";

const char VariableHelp[] = "%_LASTGLIM\n\n"
                            "Returns the filename of the last glimpset.  If any error was\n"
                            "detected, returns the string *ERROR*.  If the GLIM command  \n"
                            "has not yet been called, returns an empty string.\n";

TEST_F(ExportsTest, HelpTextsAreExact) {
    EXPECT_EQ(sim::U8(CommandHelpText), CommandHelp);
    EXPECT_EQ(sim::U8(VariableHelpText), VariableHelp);
}

TEST_F(ExportsTest, PluginInfoIsTheSameRecordEveryTime) {
    PluginInfoRecord *first = GetPluginInfo();
    first->major = 99;
    PluginInfoRecord *second = GetPluginInfo();
    EXPECT_EQ(first, second);
    EXPECT_EQ(second, &PluginInfo);
    EXPECT_EQ(sim::U8(second->name), "Glimpset");
    EXPECT_EQ(sim::U8(second->description), "Save and restore the console screen buffer");
    EXPECT_EQ(sim::U8(second->implements), "glim,_lastglim");
    EXPECT_FALSE(sim::U8(second->author).empty());
    EXPECT_FALSE(sim::U8(second->email).empty());
    EXPECT_FALSE(sim::U8(second->webPage).empty());
    EXPECT_EQ(second->major, 1);
    EXPECT_EQ(second->minor, 2);
    EXPECT_EQ(second->build, 0);
    for (void *field : second->hostFields) {
        EXPECT_EQ(field, nullptr);
    }
}

struct LoadCase {
    const char *behaviour;
    int transient;
    int pipe;
    const char16_t *noloadmsg; // null: not defined
    const char *out;
};

TEST_F(ExportsTest, LoadLineOnlyInAnOrdinaryInteractiveShell) {
    const LoadCase cases[] = {
        {"ordinary shell", 0, 0, nullptr, "Glimpset v1.2.0 loaded.\r\n"},
        {"transient shell", 1, 0, nullptr, ""},
        {"in a pipe", 0, 1, nullptr, ""},
        {"transient in a pipe", 1, 1, nullptr, ""},
        {"noloadmsg defined", 0, 0, u"1", ""},
        {"noloadmsg is a digit, so 000 merely begins with 00", 0, 0, u"0", ""},
        {"noloadmsg is a blank", 0, 0, u" ", ""},
    };
    for (const LoadCase &c : cases) {
        glimtest::ResetAll();
        HostSetTransient(c.transient);
        HostSetPipe(c.pipe);
        if (c.noloadmsg != nullptr) {
            sim::SetEnv(u"noloadmsg", c.noloadmsg);
        }
        EXPECT_EQ(InitializePlugin(), 0) << c.behaviour;
        EXPECT_EQ(sim::Stdout(), c.out) << c.behaviour;
        EXPECT_EQ(sim::Stderr(), "") << c.behaviour;
    }
}

struct UsageCase {
    const char16_t *name;
    int result;
};

TEST_F(ExportsTest, UsageForTheCommandInAnyCaseAndNothingElse) {
    const std::string usage =
        std::string(CommandHelp).substr(std::string(CommandHelp).find("GLIM"));
    const UsageCase cases[] = {
        {u"glim", 1},      {u"GLIM", 1},  {u"Glim", 1},      {u"gLiM", 1},  {u"_lastglim", 0},
        {u"_LASTGLIM", 0}, {u"@glim", 0}, {u"_glim", 0},     {u"glimx", 0}, {u"gli", 0},
        {u"", 0},          {u" glim", 0}, {u"gl\u0130m", 0}, {u"dir", 0},   {u"lastglim", 0},
    };
    for (const UsageCase &c : cases) {
        std::vector<WCHAR> buffer(1024, u'#');
        buffer[1023] = 0;
        std::u16string name = c.name;
        EXPECT_EQ(Usage(&name[0], buffer.data()), c.result) << sim::U8(c.name);
        if (c.result == 1) {
            EXPECT_EQ(sim::U8(buffer.data()), usage);
        } else {
            EXPECT_EQ(buffer[0], u'#') << sim::U8(c.name);
        }
    }
    EXPECT_EQ(sim::Stdout(), "");
    EXPECT_EQ(sim::MessageBoxes().size(), 0u);
}

TEST_F(ExportsTest, UsageBeginsAtTheSyntaxLine) {
    std::vector<WCHAR> buffer(1024, 0);
    std::u16string name = u"glim";
    ASSERT_EQ(Usage(&name[0], buffer.data()), 1);
    EXPECT_EQ(sim::U8(buffer.data()).substr(0, 36), "GLIM /I /N: /O /Q /R /S filename  \r\n");
}

struct HelpCase {
    const char16_t *name;
    int result;
    const char *text; // the box's text, or null for no box
};

TEST_F(ExportsTest, HelpShowsABoxForEitherName) {
    const HelpCase cases[] = {
        {u"_LASTGLIM", 1, VariableHelp},
        {u"_lastglim", 1, VariableHelp},
        {u"GLIM", 1, CommandHelp},
        {u"glim", 1, CommandHelp},
        {u"@lastglim", 0, nullptr},
        {u"glim2", 0, nullptr},
        {u"", 0, nullptr},
    };
    for (const HelpCase &c : cases) {
        sim::MessageBoxes().clear();
        std::u16string name = c.name;
        EXPECT_EQ(Help(&name[0]), c.result) << sim::U8(c.name);
        if (c.text == nullptr) {
            EXPECT_EQ(sim::MessageBoxes().size(), 0u) << sim::U8(c.name);
            continue;
        }
        ASSERT_EQ(sim::MessageBoxes().size(), 1u) << sim::U8(c.name);
        const sim::MessageBoxCall &box = sim::MessageBoxes()[0];
        EXPECT_EQ(sim::U8(box.text), c.text);
        EXPECT_EQ(sim::U8(box.caption), "Glimpset Plugin Help");
        EXPECT_EQ(box.type, (UINT)MB_OK);
        EXPECT_EQ(box.owner, GetForegroundWindow());
    }
    EXPECT_EQ(sim::Stdout(), "");
}

TEST_F(ExportsTest, LastGlimIsEmptyBeforeAnySave) {
    std::vector<WCHAR> buffer(16384, u'#');
    EXPECT_EQ(_lastglim(buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST_F(ExportsTest, LastGlimWithoutABufferReturnsOne) {
    SetLastName(u"C:\\a.glim");
    EXPECT_EQ(_lastglim(nullptr), 1);
    EXPECT_EQ(glimtest::LastGlim(), "\"C:\\a.glim\"");
}

struct StoreCase {
    const char *behaviour;
    const char16_t *name; // null: a failed save
    bool failAllocation;
    int result;
    const char *value;
};

TEST_F(ExportsTest, LastNameStoreHoldsTheQuotedNameOrError) {
    const StoreCase steps[] = {
        {"a saved name", u"C:\\dir\\Glimpset 2024.glim", false, 0,
         "\"C:\\dir\\Glimpset 2024.glim\""},
        {"a failed save", nullptr, false, 0, "*ERROR*"},
        {"a later saved name", u"D:\\x y\\\u00E9.glim", false, 0, "\"D:\\x y\\\u00E9.glim\""},
        {"no memory for a name", u"C:\\b.glim", true, -1, ""},
        {"a name again", u"C:\\c.glim", false, 0, "\"C:\\c.glim\""},
        {"no memory for the error", nullptr, true, -1, ""},
        {"an empty name", u"", false, 0, "\"\""},
    };
    for (const StoreCase &s : steps) {
        if (s.failAllocation) {
            sim::FailCall("HeapAlloc", 1, 0);
        }
        EXPECT_EQ(SetLastName(s.name), s.result) << s.behaviour;
        EXPECT_EQ(glimtest::LastGlim(), s.value) << s.behaviour;
        EXPECT_EQ(sim::LiveAllocations(), s.result == 0 ? 1 : 0) << s.behaviour;
        sim::ClearFailures();
    }
}

TEST_F(ExportsTest, LastNameMayBeSetFromItsOwnText) {
    SetLastName(u"C:\\a.glim");
    std::u16string before = LastName;
    EXPECT_EQ(SetLastName(LastName), 0);
    EXPECT_EQ(sim::U8(LastName), "\"" + sim::U8(before) + "\"");
    EXPECT_EQ(sim::LiveAllocations(), 1);
}

TEST_F(ExportsTest, LastGlimCutsAValueLongerThanTheHostsBuffer) {
    std::u16string name = u"C:\\" + std::u16string(16400, u'n');
    ASSERT_EQ(SetLastName(name.c_str()), 0);
    // Exactly the host's buffer, so that writing past it is caught.
    std::vector<WCHAR> buffer(16384, u'#');
    EXPECT_EQ(_lastglim(buffer.data()), 0);
    EXPECT_EQ(buffer[16383], 0);
    EXPECT_EQ(std::u16string(buffer.data()), (u"\"" + name).substr(0, 16383));
}

TEST_F(ExportsTest, ShutdownFreesTheStore) {
    SetLastName(u"C:\\a.glim");
    ASSERT_EQ(sim::LiveAllocations(), 1);
    EXPECT_EQ(ShutdownPlugin(0), 0);
    EXPECT_EQ(sim::LiveAllocations(), 0);
    EXPECT_EQ(glimtest::LastGlim(), "");
    EXPECT_EQ(ShutdownPlugin(1), 0);
}

TEST_F(ExportsTest, LastGlimExpandsThroughTheHost) {
    SetLastName(u"C:\\a.glim");
    std::vector<WCHAR> buffer(16384, 0);
    std::u16string text = u"[%_lastglim]";
    std::copy(text.begin(), text.end(), buffer.begin());
    HostExpandVariables(buffer.data(), 16384);
    EXPECT_EQ(sim::U8(buffer.data()), "[\"C:\\a.glim\"]");
}

TEST_F(ExportsTest, EntryPointStoresTheModuleHandleAtEveryCall) {
    HINSTANCE first = (HINSTANCE)(uintptr_t)0x10000;
    HINSTANCE second = (HINSTANCE)(uintptr_t)0x20000;
    const DWORD reasons[] = {DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH,
                             DLL_PROCESS_DETACH};
    for (DWORD reason : reasons) {
        EXPECT_EQ(DllMain(first, reason, nullptr), TRUE);
        EXPECT_EQ(ModuleHandle, first);
        EXPECT_EQ(DllMain(second, reason, nullptr), TRUE);
        EXPECT_EQ(ModuleHandle, second);
    }
    ModuleHandle = nullptr;
}

} // namespace
