// The Quiet setting: the current user's key decides when it holds the
// value, the machine's key only when the user's key exists without it.
#include "command/options.h"
#include "tests/support/glimtest.h"

namespace {

using glimtest::GlimTest;

const std::u16string KeyPath = u"SOFTWARE\\RIRevazud\\Glimpset";

// What one key holds.
enum Holding {
    NO_KEY,      // the key does not exist
    NO_VALUE,    // the key exists without "Quiet"
    DWORD_ZERO,  // "Quiet" is the REG_DWORD 0
    DWORD_ONE,   // "Quiet" is the REG_DWORD 1
    DWORD_BIG,   // "Quiet" is the REG_DWORD 0x80000000
    STRING_ONE,  // "Quiet" is the REG_SZ "1"
    OTHER_NAME,  // the key holds a REG_DWORD 1 under another name
    DWORD_SHORT, // "Quiet" is a REG_DWORD of two bytes, 01 00
    DWORD_LONG,  // "Quiet" is a REG_DWORD of eight bytes, 01 00 00 00 01 00 00 00
    DWORD_EMPTY, // "Quiet" is a REG_DWORD without data
};

void Put(HKEY root, Holding holding) {
    switch (holding) {
    case NO_KEY:
        break;
    case NO_VALUE:
        sim::RegMakeKey(root, KeyPath);
        break;
    case DWORD_ZERO:
        sim::RegSetDword(root, KeyPath, u"Quiet", 0);
        break;
    case DWORD_ONE:
        sim::RegSetDword(root, KeyPath, u"Quiet", 1);
        break;
    case DWORD_BIG:
        sim::RegSetDword(root, KeyPath, u"Quiet", 0x80000000);
        break;
    case STRING_ONE:
        sim::RegSetString(root, KeyPath, u"Quiet", u"1");
        break;
    case OTHER_NAME:
        sim::RegSetDword(root, KeyPath, u"Quiet2", 1);
        break;
    case DWORD_SHORT:
        sim::RegSetBytes(root, KeyPath, u"Quiet", REG_DWORD, {1, 0});
        break;
    case DWORD_LONG:
        sim::RegSetBytes(root, KeyPath, u"Quiet", REG_DWORD, {1, 0, 0, 0, 1, 0, 0, 0});
        break;
    case DWORD_EMPTY:
        sim::RegSetBytes(root, KeyPath, u"Quiet", REG_DWORD, {});
        break;
    }
}

struct QuietCase {
    Holding user;
    Holding machine;
    int quiet;
    int keysOpened; // RegOpenKeyW calls; every key opened is closed again
};

class QuietTest : public GlimTest, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(QuietTest, ReadsTheSetting) {
    const QuietCase &c = GetParam();
    Put(HKEY_CURRENT_USER, c.user);
    Put(HKEY_LOCAL_MACHINE, c.machine);
    sim::CallLog().clear();
    EXPECT_EQ(ReadQuietSetting(), c.quiet);
    EXPECT_EQ(sim::CallCount("RegOpenKeyW"), c.keysOpened);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, QuietTest,
    ::testing::Values(
        // No user's key: off, and the machine is not asked.
        QuietCase{NO_KEY, NO_KEY, 0, 1}, QuietCase{NO_KEY, DWORD_ONE, 0, 1},
        QuietCase{NO_KEY, STRING_ONE, 0, 1},
        // The user's DWORD decides.
        QuietCase{DWORD_ONE, NO_KEY, 1, 1}, QuietCase{DWORD_BIG, DWORD_ZERO, 1, 1},
        QuietCase{DWORD_ZERO, DWORD_ONE, 0, 1}, QuietCase{DWORD_ZERO, NO_KEY, 0, 1},
        // The user's key without a DWORD "Quiet": the machine decides.
        QuietCase{NO_VALUE, NO_KEY, 0, 2}, QuietCase{NO_VALUE, NO_VALUE, 0, 2},
        QuietCase{NO_VALUE, DWORD_ONE, 1, 2}, QuietCase{NO_VALUE, DWORD_ZERO, 0, 2},
        QuietCase{NO_VALUE, DWORD_BIG, 1, 2}, QuietCase{NO_VALUE, STRING_ONE, 0, 2},
        QuietCase{STRING_ONE, DWORD_ONE, 1, 2}, QuietCase{STRING_ONE, NO_KEY, 0, 2},
        QuietCase{STRING_ONE, STRING_ONE, 0, 2}, QuietCase{OTHER_NAME, DWORD_ONE, 1, 2},
        QuietCase{OTHER_NAME, OTHER_NAME, 0, 2},
        // A user's DWORD of the wrong length still decides, as 0.
        QuietCase{DWORD_SHORT, DWORD_ONE, 0, 1}, QuietCase{DWORD_LONG, DWORD_ONE, 0, 1},
        QuietCase{DWORD_EMPTY, DWORD_ONE, 0, 1}, QuietCase{NO_VALUE, DWORD_LONG, 0, 2}));

using QuietFailureTest = GlimTest;

TEST_F(QuietFailureTest, AFailedReadCountsAsNotSet) {
    sim::RegSetDword(HKEY_CURRENT_USER, KeyPath, u"Quiet", 1);
    sim::RegSetDword(HKEY_LOCAL_MACHINE, KeyPath, u"Quiet", 1);
    sim::FailAlways("RegQueryValueExW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadQuietSetting(), 0);
    EXPECT_EQ(sim::CallCount("RegCloseKey"), 2);
}

TEST_F(QuietFailureTest, AKeyThatWillNotOpenCountsAsMissing) {
    sim::RegSetDword(HKEY_CURRENT_USER, KeyPath, u"Quiet", 1);
    sim::FailCall("RegOpenKeyW", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadQuietSetting(), 0);
    EXPECT_EQ(sim::CallCount("RegOpenKeyW"), 1);
}

TEST_F(QuietFailureTest, TheMachinesKeyThatWillNotOpenCountsAsOff) {
    sim::RegMakeKey(HKEY_CURRENT_USER, KeyPath);
    sim::RegSetDword(HKEY_LOCAL_MACHINE, KeyPath, u"Quiet", 1);
    sim::FailCall("RegOpenKeyW", 2, ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadQuietSetting(), 0);
}

} // namespace
