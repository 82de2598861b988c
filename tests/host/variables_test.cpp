// Variable expansion (ExpandVariables, HostExpandVariables) and the host
// state behind the internal variables and variable functions.
#include "host/hoststate.h"
#include "plugin/host.h"
#include "tests/support/glimtest.h"

#include <string>
#include <vector>

namespace {

using glimtest::GlimTest;

std::string TestName(const char *behaviour) {
    std::string name;
    for (const char *p = behaviour; *p; p++) {
        name += isalnum((unsigned char)*p) ? *p : '_';
    }
    return name;
}

// Variable functions for the tests.
int Fixed(WCHAR *buffer) {
    const char16_t text[] = u"\"C:\\work\\last.glim\"";
    for (size_t i = 0; i < sizeof text / sizeof text[0]; i++) {
        buffer[i] = text[i];
    }
    return 0;
}

int Refusing(WCHAR *buffer) {
    buffer[0] = u'x';
    buffer[1] = 0;
    return 1;
}

// An @ function: its buffer holds the arguments, and gets the result.
int Upper(WCHAR *buffer) {
    for (WCHAR *p = buffer; *p; p++) {
        if (*p >= u'a' && *p <= u'z') {
            *p = (WCHAR)(*p - 32);
        }
    }
    return 0;
}

// Fills the whole of the 16,384-character buffer the host promises.
int Filling(WCHAR *buffer) {
    for (int i = 0; i < 16383; i++) {
        buffer[i] = u'f';
    }
    buffer[16383] = 0;
    return 0;
}

struct ExpandCase {
    const char *behaviour;
    std::u16string input;
    std::u16string expected;
};

// In a batch file C:\work\run.btm at line 12; FOO is "bar"; EMPTY is empty;
// the current directory is C:\work; _fixed, _refusing and @upper are
// registered.
const ExpandCase ExpandCases[] = {
    {"text without percent signs stays", u"plain text", u"plain text"},
    {"an environment variable between percent signs", u"<%FOO%>", u"<bar>"},
    {"environment names compare without case", u"%foo%", u"bar"},
    {"the closing percent sign may be left out", u"%FOO.txt", u"bar.txt"},
    {"a bracketed name", u"[%[FOO]]", u"[bar]"},
    {"a doubled percent sign is one", u"100%%", u"100%"},
    {"a percent sign at the end stays", u"100%", u"100%"},
    {"a percent sign before a blank stays", u"50% off", u"50% off"},
    {"a percent sign before a digit stays", u"%1", u"%1"},
    {"empty brackets stay", u"%[]x", u"%[]x"},
    {"an unclosed bracket stays", u"%[FOO", u"%[FOO"},
    {"an undefined name expands to nothing", u"a%UNDEFINED%b", u"ab"},
    {"an undefined bracketed name expands to nothing", u"a%[UNDEFINED]b", u"ab"},
    {"an empty variable expands to nothing", u"a%EMPTY%b", u"ab"},
    {"_cwds ends in a backslash", u"%_cwds", u"C:\\work\\"},
    {"_cwds may be closed by a percent sign", u"%_cwds%x", u"C:\\work\\x"},
    {"internal names compare without case", u"%_CWDS", u"C:\\work\\"},
    {"_cwd has no trailing backslash", u"%_cwd", u"C:\\work"},
    {"_batch is the nesting level", u"%_batch", u"1"},
    {"the error prefix of a batch file", u"%_batchname [%_batchline]  ",
     u"C:\\work\\run.btm [12]  "},
    {"an internal name ends at the first other character", u"%_batch.x", u"1.x"},
    {"an internal name takes all name characters", u"%_batchx", u""},
    {"the load-line test of an ordinary shell", u"%[_transient]%[_pipe]%[noloadmsg]", u"00"},
    {"a variable function is called", u"[%_fixed]", u"[\"C:\\work\\last.glim\"]"},
    {"a bracketed variable function is called", u"%[_FIXED]", u"\"C:\\work\\last.glim\""},
    {"a refusing variable function gives nothing", u"[%_refusing]", u"[]"},
    {"an at function gets its arguments", u"%@upper[abc]", u"ABC"},
    {"an at function's arguments are expanded first", u"%@upper[%FOO%-x]", u"BAR-X"},
    {"an at function's arguments may hold brackets", u"%@upper[a[b]c]d", u"A[B]Cd"},
    {"an unknown at function stays", u"%@nothing[x]", u"%@nothing[x]"},
    {"a variable function is not called as an at function", u"%@_fixed[x]", u"%@_fixed[x]"},
    {"several references in a row", u"%FOO%%FOO%%%%[FOO]", u"barbar%bar"},
};

class ExpandTest : public GlimTest, public ::testing::WithParamInterface<ExpandCase> {
  protected:
    void SetUp() override {
        GlimTest::SetUp();
        sim::MakeDirectory(u"C:\\work");
        sim::SetCurrentDirectory(u"C:\\work");
        sim::SetEnv(u"FOO", u"bar");
        sim::SetEnv(u"EMPTY", u"");
        HostSetBatch(u"C:\\work\\run.btm", 12);
        ASSERT_EQ(HostRegisterVariable(u"_fixed", Fixed), 0);
        ASSERT_EQ(HostRegisterVariable(u"_refusing", Refusing), 0);
        ASSERT_EQ(HostRegisterVariable(u"@upper", Upper), 0);
    }
};

TEST_P(ExpandTest, ExpandsInPlace) {
    const ExpandCase &c = GetParam();
    std::vector<WCHAR> buffer(1024, 0);
    std::copy(c.input.begin(), c.input.end(), buffer.begin());
    EXPECT_EQ(ExpandVariables(buffer.data(), 1), 0);
    EXPECT_EQ(sim::U8(buffer.data()), sim::U8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Forms, ExpandTest, ::testing::ValuesIn(ExpandCases),
                         [](const ::testing::TestParamInfo<ExpandCase> &info) {
                             return TestName(info.param.behaviour);
                         });

// Expands `input` in a buffer of `size` characters with ExpandVariables.
struct Expanded {
    int result;
    std::u16string text;
};

Expanded Expand(const std::u16string &input, size_t size = 16384) {
    std::vector<WCHAR> buffer(size, 0);
    std::copy(input.begin(), input.end(), buffer.begin());
    Expanded e;
    e.result = ExpandVariables(buffer.data(), 1);
    e.text = buffer.data();
    return e;
}

using ExpandStateTest = GlimTest;

TEST_F(ExpandStateTest, OutsideABatchFileBatchIsZero) {
    EXPECT_EQ(Expand(u"[%_batch][%_batchname][%_batchline]").text, u"[0][][-1]");
}

TEST_F(ExpandStateTest, ClearingTheBatchFileEndsIt) {
    HostSetBatch(u"C:\\a.btm", 3);
    EXPECT_EQ(Expand(u"%_batch %_batchline").text, u"1 3");
    HostClearBatch();
    EXPECT_EQ(Expand(u"%_batch").text, u"0");
    HostSetBatch(u"C:\\a.btm", 3);
    HostSetBatch(nullptr, 4);
    EXPECT_EQ(Expand(u"%_batch").text, u"0");
}

TEST_F(ExpandStateTest, TransientAndPipeFollowTheHostState) {
    HostSetTransient(1);
    EXPECT_EQ(Expand(u"%[_transient]%[_pipe]").text, u"10");
    HostSetPipe(1);
    EXPECT_EQ(Expand(u"%[_transient]%[_pipe]").text, u"11");
    HostResetState();
    EXPECT_EQ(Expand(u"%[_transient]%[_pipe]").text, u"00");
}

TEST_F(ExpandStateTest, ADefinedNoloadmsgSpoilsTheLoadLineTest) {
    sim::SetEnv(u"noloadmsg", u"1");
    EXPECT_EQ(Expand(u"%[_transient]%[_pipe]%[noloadmsg]").text, u"001");
}

TEST_F(ExpandStateTest, TheRootKeepsItsBackslash) {
    EXPECT_EQ(Expand(u"%_cwds|%_cwd").text, u"C:\\|C:\\");
}

TEST_F(ExpandStateTest, AFailingCurrentDirectoryExpandsToNothing) {
    sim::FailAlways("GetCurrentDirectoryW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Expand(u"[%_cwds]").text, u"[]");
}

TEST_F(ExpandStateTest, ALongerBatchNameIsCutToTheHostsBuffer) {
    std::u16string name(20000, u'n');
    HostSetBatch(name.c_str(), 1);
    EXPECT_EQ(std::u16string(HostState()->batchName).size(), 16383u);
}

TEST_F(ExpandStateTest, NullBufferIsRefused) {
    EXPECT_EQ(ExpandVariables(nullptr, 1), -1);
    WCHAR one[1] = {u'x'};
    EXPECT_EQ(HostExpandVariables(one, 0), -1);
    EXPECT_EQ(one[0], u'x');
}

TEST_F(ExpandStateTest, AResultOfExactly1023CharactersFits) {
    sim::SetEnv(u"LONG", std::u16string(1000, u'v'));
    Expanded e = Expand(std::u16string(23, u'a') + u"%LONG%");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.text.size(), 1023u);
}

TEST_F(ExpandStateTest, AResultThatDoesNotFitLeavesTheBufferEmpty) {
    sim::SetEnv(u"LONG", std::u16string(1000, u'v'));
    Expanded e = Expand(std::u16string(24, u'a') + u"%LONG%");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.text, u"");
}

TEST_F(ExpandStateTest, ALongTextWithoutReferencesDoesNotFitEither) {
    Expanded e = Expand(std::u16string(1024, u'a'));
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.text, u"");
}

TEST_F(ExpandStateTest, ALongCurrentDirectoryDoesNotFit) {
    std::u16string dir = u"C:";
    for (int i = 0; i < 11; i++) {
        dir += u"\\" + std::u16string(100, (char16_t)(u'a' + i));
        sim::MakeDirectory(dir);
    }
    sim::SetCurrentDirectory(dir);
    Expanded e = Expand(u"%_cwds");
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.text, u"");
}

TEST_F(ExpandStateTest, TheExpansionNeverWritesPastThePluginsSmallestBuffer) {
    sim::SetEnv(u"LONG", std::u16string(5000, u'v'));
    std::vector<WCHAR> buffer(1024 + 16, u'#');
    std::u16string input = u"%LONG%";
    std::copy(input.begin(), input.end(), buffer.begin());
    buffer[input.size()] = 0;
    EXPECT_EQ(ExpandVariables(buffer.data(), 1), 1);
    EXPECT_EQ(buffer[0], 0);
    for (size_t i = 1024; i < buffer.size(); i++) {
        ASSERT_EQ(buffer[i], u'#') << "character " << i;
    }
}

TEST_F(ExpandStateTest, AVariableFunctionGetsTheWholeBuffer) {
    ASSERT_EQ(HostRegisterVariable(u"_filling", Filling), 0);
    EXPECT_EQ(Expand(u"%_filling").result, 1);
    std::vector<WCHAR> buffer(16384, 0);
    std::u16string input = u"%_filling";
    std::copy(input.begin(), input.end(), buffer.begin());
    EXPECT_EQ(HostExpandVariables(buffer.data(), 16384), 0);
    EXPECT_EQ(std::u16string(buffer.data()), std::u16string(16383, u'f'));
}

TEST_F(ExpandStateTest, TheBoundedFormTakesItsCapacity) {
    sim::SetEnv(u"LONG", std::u16string(2000, u'v'));
    std::vector<WCHAR> buffer(4096, 0);
    std::u16string input = u"%LONG%";
    std::copy(input.begin(), input.end(), buffer.begin());
    EXPECT_EQ(HostExpandVariables(buffer.data(), 4096), 0);
    EXPECT_EQ(std::u16string(buffer.data()).size(), 2000u);
    std::copy(input.begin(), input.end(), buffer.begin());
    buffer[input.size()] = 0;
    EXPECT_EQ(HostExpandVariables(buffer.data(), 2000), 1);
    EXPECT_EQ(buffer[0], 0);
}

using RegistryTest = GlimTest;

TEST_F(RegistryTest, NamesAreFoundWithoutCase) {
    ASSERT_EQ(HostRegisterVariable(u"_LastGlim", Fixed), 0);
    EXPECT_EQ(HostFindVariable(u"_lastglim"), Fixed);
    EXPECT_EQ(HostFindVariable(u"_lastgli"), nullptr);
    EXPECT_EQ(HostFindVariable(nullptr), nullptr);
}

TEST_F(RegistryTest, RegisteringANameAgainReplacesItsFunction) {
    ASSERT_EQ(HostRegisterVariable(u"_v", Fixed), 0);
    ASSERT_EQ(HostRegisterVariable(u"_V", Refusing), 0);
    EXPECT_EQ(HostFindVariable(u"_v"), Refusing);
}

TEST_F(RegistryTest, UnusableNamesAreRefused) {
    EXPECT_EQ(HostRegisterVariable(u"", Fixed), -1);
    EXPECT_EQ(HostRegisterVariable(nullptr, Fixed), -1);
    EXPECT_EQ(HostRegisterVariable(std::u16string(63, u'n').c_str(), Fixed), 0);
    EXPECT_EQ(HostRegisterVariable(std::u16string(64, u'm').c_str(), Fixed), -1);
}

TEST_F(RegistryTest, AFullTableRefusesNewNamesButKeepsReplacing) {
    HostResetState();
    for (int i = 0; i < 64; i++) {
        std::u16string name = u"_v" + sim::U16(std::to_string(i));
        ASSERT_EQ(HostRegisterVariable(name.c_str(), Fixed), 0) << i;
    }
    EXPECT_EQ(HostRegisterVariable(u"_more", Fixed), -1);
    EXPECT_EQ(HostRegisterVariable(u"_v7", Refusing), 0);
    EXPECT_EQ(HostFindVariable(u"_v7"), Refusing);
}

TEST_F(RegistryTest, ResetForgetsTheFunctions) {
    ASSERT_EQ(HostRegisterVariable(u"_v", Fixed), 0);
    HostResetState();
    EXPECT_EQ(HostFindVariable(u"_v"), nullptr);
    EXPECT_EQ(Expand(u"[%_v]").text, u"[]");
}

} // namespace
