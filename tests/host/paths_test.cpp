// The host's path services over the simulated volume: QueryTrueName,
// QueryIsDirectory, QueryIsFileOrDirectory and QueryIsTCMD.
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

class VolumeTest : public GlimTest {
  protected:
    void SetUp() override {
        GlimTest::SetUp();
        sim::MakeDirectory(u"C:\\work");
        sim::MakeDirectory(u"C:\\work\\sub");
        sim::MakeDirectory(u"C:\\work\\[x]");
        sim::MakeFile(u"C:\\work\\f.glim", std::string("data"));
        sim::SetCurrentDirectory(u"C:\\work");
    }
};

struct TrueNameCase {
    const char *behaviour;
    std::u16string path;
    std::u16string expected; // empty: the name is unusable
};

// The current directory is C:\work.
const TrueNameCase TrueNameCases[] = {
    {"a relative name is made full", u"f.glim", u"C:\\work\\f.glim"},
    {"a name that does not exist is made full", u"new.glim", u"C:\\work\\new.glim"},
    {"dot-dot goes up", u"..\\x.glim", u"C:\\x.glim"},
    {"dot-dot inside the path is resolved", u"sub\\..\\y", u"C:\\work\\y"},
    {"a rooted name takes the current drive", u"\\top\\z", u"C:\\top\\z"},
    {"a full name stays", u"D:\\a\\b.glim", u"D:\\a\\b.glim"},
    {"slashes become backslashes", u"sub/q.glim", u"C:\\work\\sub\\q.glim"},
    {"a trailing backslash stays", u"sub\\", u"C:\\work\\sub\\"},
    {"a star pattern survives", u"*.glim", u"C:\\work\\*.glim"},
    {"question marks and sets survive", u"?x[ab].g*", u"C:\\work\\?x[ab].g*"},
    {"alternatives with bars survive", u"*.glim|*.sav", u"C:\\work\\*.glim|*.sav"},
    {"a pattern's trailing dot survives", u"*.", u"C:\\work\\*."},
    {"a pattern of bars only survives", u"|||", u"C:\\work\\|||"},
    {"a pattern after dot-dot", u"..\\*", u"C:\\*"},
    {"a pattern in a subdirectory", u"sub\\*.glim", u"C:\\work\\sub\\*.glim"},
    {"a pattern after a drive", u"C:*.glim", u"C:\\work\\*.glim"},
    {"a pattern at the root", u"\\*", u"C:\\*"},
    {"a pattern after a full directory", u"D:\\dir\\a*", u"D:\\dir\\a*"},
    {"the empty name is unusable", u"", u""},
    {"a less-than sign is unusable", u"a<b", u""},
    {"a greater-than sign is unusable", u"a>b", u""},
    {"a double quote is unusable", u"a\"b", u""},
    {"a tab is unusable", u"a\tb", u""},
    {"a control character in a pattern is unusable", u"*\x01", u""},
    {"a colon after the name is unusable", u"f.glim:stream", u""},
    {"a colon after a full path is unusable", u"C:\\a:b", u""},
    {"a colon after a digit is unusable", u"1:\\x", u""},
    {"a colon at the start is unusable", u":x", u""},
    {"a long-path prefix is no wildcard", u"\\\\?\\C:\\work\\f.glim", u"\\\\?\\C:\\work\\f.glim"},
    {"a device prefix is no wildcard", u"\\\\.\\C:\\work\\f.glim", u"\\\\.\\C:\\work\\f.glim"},
    {"a prefixed name through the network", u"\\\\?\\UNC\\srv\\share\\f",
     u"\\\\?\\UNC\\srv\\share\\f"},
    {"a prefixed device", u"\\\\.\\CONOUT$", u"\\\\.\\CONOUT$"},
    {"a device name becomes the device", u"conout$", u"\\\\.\\conout$"},
    {"a pattern after the long-path prefix survives", u"\\\\?\\C:\\work\\f.gli?",
     u"\\\\?\\C:\\work\\f.gli?"},
    {"a pattern after the device prefix survives", u"\\\\.\\C:\\work\\*.glim",
     u"\\\\.\\C:\\work\\*.glim"},
    {"a pattern after a prefixed relative directory", u"\\\\.\\C:\\work\\sub\\..\\*.glim",
     u"\\\\.\\C:\\work\\*.glim"},
    {"a colon after a prefixed drive is unusable", u"\\\\?\\C:\\a:b", u""},
    {"a prefix alone is unusable", u"\\\\?\\", u""},
};

class TrueNameTest : public VolumeTest, public ::testing::WithParamInterface<TrueNameCase> {};

TEST_P(TrueNameTest, GivesTheFullName) {
    const TrueNameCase &c = GetParam();
    std::vector<WCHAR> output(16384, u'#');
    int result = QueryTrueName(c.path.c_str(), output.data());
    EXPECT_EQ(sim::U8(output.data()), sim::U8(c.expected));
    if (c.expected.empty()) {
        EXPECT_NE(result, 0);
    } else {
        EXPECT_EQ(result, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, TrueNameTest, ::testing::ValuesIn(TrueNameCases),
                         [](const ::testing::TestParamInfo<TrueNameCase> &info) {
                             return TestName(info.param.behaviour);
                         });

using TrueNameBoundsTest = VolumeTest;

TEST_F(TrueNameBoundsTest, ANullNameGivesTheEmptyOutput) {
    WCHAR output[4] = {u'#', u'#', 0, 0};
    EXPECT_NE(QueryTrueName(nullptr, output), 0);
    EXPECT_EQ(output[0], 0);
    EXPECT_NE(QueryTrueName(u"x", nullptr), 0);
}

TEST_F(TrueNameBoundsTest, ANameThatFillsTheBufferIsTooLong) {
    std::vector<WCHAR> output(16384, u'#');
    std::u16string name(16384, u'n');
    EXPECT_NE(QueryTrueName(name.c_str(), output.data()), 0);
    EXPECT_EQ(output[0], 0);
}

TEST_F(TrueNameBoundsTest, AResultThatWouldNotFitIsUnusable) {
    // Short enough as typed, too long once the current directory is put
    // in front of it.
    std::vector<WCHAR> output(16384 + 8, u'#');
    std::u16string name = std::u16string(16380, u'n');
    EXPECT_NE(QueryTrueName(name.c_str(), output.data()), 0);
    EXPECT_EQ(output[0], 0);
    std::u16string pattern = std::u16string(16379, u'n') + u"*";
    EXPECT_NE(QueryTrueName(pattern.c_str(), output.data()), 0);
    EXPECT_EQ(output[0], 0);
    for (size_t i = 16384; i < output.size(); i++) {
        ASSERT_EQ(output[i], u'#');
    }
}

TEST_F(TrueNameBoundsTest, AResultOfExactly16383CharactersFits) {
    std::vector<WCHAR> output(16384, u'#');
    // "C:\work\" is 8 characters.
    std::u16string pattern = std::u16string(16374, u'n') + u"*";
    EXPECT_EQ(QueryTrueName(pattern.c_str(), output.data()), 0);
    EXPECT_EQ(std::u16string(output.data()).size(), 16383u);
}

TEST_F(TrueNameBoundsTest, AFailingSystemGivesTheEmptyOutput) {
    sim::FailAlways("GetFullPathNameW", ERROR_ACCESS_DENIED);
    std::vector<WCHAR> output(16384, u'#');
    EXPECT_NE(QueryTrueName(u"f.glim", output.data()), 0);
    EXPECT_EQ(output[0], 0);
    EXPECT_NE(QueryTrueName(u"*.glim", output.data()), 0);
    EXPECT_EQ(output[0], 0);
}

struct ExistenceCase {
    const char *behaviour;
    std::u16string path;
    int isDirectory;
    int exists;
};

const ExistenceCase ExistenceCases[] = {
    {"a directory", u"C:\\work\\sub", 1, 1},
    {"a directory with a trailing backslash", u"C:\\work\\sub\\", 1, 1},
    {"a relative directory", u"sub", 1, 1},
    {"the root", u"C:\\", 1, 1},
    {"a directory named with brackets", u"C:\\work\\[x]", 1, 1},
    {"a file", u"C:\\work\\f.glim", 0, 1},
    {"a file in another case", u"C:\\WORK\\F.GLIM", 0, 1},
    {"nothing of that name", u"C:\\work\\missing", 0, 0},
    {"a star matches nothing here", u"C:\\work\\*", 0, 0},
    {"a question mark matches nothing here", u"C:\\work\\f.gli?", 0, 0},
    {"a bar matches nothing here", u"C:\\work\\f.glim|x", 0, 0},
    {"a prefixed directory", u"\\\\?\\C:\\work\\sub", 1, 1},
    {"a prefixed file", u"\\\\?\\C:\\work\\f.glim", 0, 1},
    {"a device", u"\\\\.\\NUL", 0, 0},
    {"the empty name", u"", 0, 0},
};

class ExistenceTest : public VolumeTest, public ::testing::WithParamInterface<ExistenceCase> {};

TEST_P(ExistenceTest, TellsWhatIsThere) {
    const ExistenceCase &c = GetParam();
    EXPECT_EQ(QueryIsDirectory(c.path.c_str()) != 0, c.isDirectory != 0);
    EXPECT_EQ(QueryIsFileOrDirectory(c.path.c_str()) != 0, c.exists != 0);
}

INSTANTIATE_TEST_SUITE_P(Names, ExistenceTest, ::testing::ValuesIn(ExistenceCases),
                         [](const ::testing::TestParamInfo<ExistenceCase> &info) {
                             return TestName(info.param.behaviour);
                         });

TEST_F(VolumeTest, NullNamesExistNowhere) {
    EXPECT_EQ(QueryIsDirectory(nullptr), 0);
    EXPECT_EQ(QueryIsFileOrDirectory(nullptr), 0);
}

TEST_F(VolumeTest, WildcardNamesAreNotLookedUp) {
    int before = sim::CallCount("GetFileAttributesW");
    EXPECT_EQ(QueryIsFileOrDirectory(u"C:\\work\\*.glim"), 0);
    EXPECT_EQ(sim::CallCount("GetFileAttributesW"), before);
}

using TabWindowTest = GlimTest;

TEST_F(TabWindowTest, AnOrdinaryConsoleIsNoTabWindow) {
    EXPECT_EQ(QueryIsTCMD(), 0);
}

TEST_F(TabWindowTest, TheHostStateMakesATabWindow) {
    HostSetTabWindow(1);
    EXPECT_EQ(QueryIsTCMD(), 1);
    HostSetTabWindow(0);
    EXPECT_EQ(QueryIsTCMD(), 0);
}

TEST_F(TabWindowTest, TheEnvironmentMakesATabWindowOnlyWithOne) {
    sim::SetEnv(u"GLIMHOST_TCMD", u"1");
    EXPECT_EQ(QueryIsTCMD(), 1);
    sim::SetEnv(u"GLIMHOST_TCMD", u"0");
    EXPECT_EQ(QueryIsTCMD(), 0);
    sim::SetEnv(u"GLIMHOST_TCMD", u"11");
    EXPECT_EQ(QueryIsTCMD(), 0);
}

} // namespace
