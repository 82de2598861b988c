// system_test.cpp: registry queries, system message texts, the computer
// name, character types, the clock, wsprintfW and the text helpers.
#include "winsim/sim.h"

#include <gtest/gtest.h>

namespace {

class SystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
    }
};

const char16_t *const KeyPath = u"SOFTWARE\\RIRevazud\\Glimpset";

TEST_F(SystemTest, RegistryQueriesFollowWin32) {
    sim::RegSetDword(HKEY_CURRENT_USER, KeyPath, u"Quiet", 7);
    sim::RegSetString(HKEY_CURRENT_USER, KeyPath, u"Name", u"abc");
    sim::RegMakeKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Empty");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, u"software\\rirevazud\\GLIMPSET", &key),
              ERROR_SUCCESS);
    EXPECT_EQ(sim::OpenHandles(), 1);
    struct Row {
        const char16_t *name;
        bool withData;
        DWORD capacity;
        LSTATUS status;
        DWORD type, size;
    };
    const Row rows[] = {
        {u"quiet", true, 4, ERROR_SUCCESS, REG_DWORD, 4},
        {u"Quiet", false, 0, ERROR_SUCCESS, REG_DWORD, 4},
        {u"Quiet", true, 2, ERROR_MORE_DATA, REG_DWORD, 4},
        {u"Name", true, 8, ERROR_SUCCESS, REG_SZ, 8},
        {u"Name", true, 7, ERROR_MORE_DATA, REG_SZ, 8},
        {u"Missing", true, 4, ERROR_FILE_NOT_FOUND, 99, 4},
    };
    for (const Row &row : rows) {
        BYTE data[16] = {};
        DWORD type = 99, size = row.capacity;
        EXPECT_EQ(
            RegQueryValueExW(key, row.name, nullptr, &type, row.withData ? data : nullptr, &size),
            row.status)
            << sim::U8(row.name);
        EXPECT_EQ(type, row.type) << sim::U8(row.name);
        EXPECT_EQ(size, row.size) << sim::U8(row.name);
        if (row.status == ERROR_SUCCESS && row.withData && row.type == REG_DWORD) {
            EXPECT_EQ(data[0], 7);
        }
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(sim::OpenHandles(), 0);

    // A missing key is a result code, not a last error.
    SetLastError(0);
    EXPECT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, KeyPath, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE", &key), ERROR_SUCCESS); // a parent
    HKEY below = nullptr;
    EXPECT_EQ(RegOpenKeyW(key, u"Empty", &below), ERROR_SUCCESS);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExW(below, u"Quiet", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(below);
    RegCloseKey(key);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST_F(SystemTest, MessageTextsAreWindowsOwn) {
    const DWORD flags =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    struct Row {
        DWORD code;
        const char16_t *text;
    };
    const Row rows[] = {
        {0, u"The operation completed successfully. "},
        {2, u"The system cannot find the file specified. "},
        {3, u"The system cannot find the path specified. "},
        {5, u"Access is denied. "},
        {32, u"The process cannot access the file because it is being used by another process. "},
        {80, u"The file exists. "},
        {112, u"There is not enough space on the disk. "},
        {123, u"The filename, directory name, or volume label syntax is incorrect. "},
        {183, u"Cannot create a file when that file already exists. "},
        {1400, u"Invalid window handle. "},
    };
    for (const Row &row : rows) {
        WCHAR buffer[1024];
        std::u16string expected = row.text;
        EXPECT_EQ(FormatMessageW(flags, nullptr, row.code, 0, buffer, 1024, nullptr),
                  expected.size());
        EXPECT_EQ(std::u16string(buffer), expected);
    }
    WCHAR buffer[1024];
    EXPECT_EQ(FormatMessageW(flags, nullptr, 9999, 0, buffer, 1024, nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FormatMessageW(flags, nullptr, 5, 0, buffer, 18, nullptr), 0u); // needs 19
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(FormatMessageW(flags, nullptr, 5, 0, buffer, 19, nullptr), 18u);
    EXPECT_EQ(FormatMessageW(flags & ~FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, 5, 0, buffer, 1024,
                             nullptr),
              19u);
    EXPECT_EQ(std::u16string(buffer), u"Access is denied.\r\n");
}

TEST_F(SystemTest, ComputerNameSizesFollowWin32) {
    struct Row {
        DWORD capacity;
        BOOL result;
        DWORD size, error;
    };
    const Row rows[] = {
        {16, TRUE, 7, 0},
        {8, TRUE, 7, 0},
        {7, FALSE, 8, ERROR_BUFFER_OVERFLOW},
        {0, FALSE, 8, ERROR_BUFFER_OVERFLOW},
    };
    for (const Row &row : rows) {
        WCHAR buffer[16] = {};
        DWORD size = row.capacity;
        SetLastError(0);
        EXPECT_EQ(GetComputerNameW(buffer, &size), row.result) << row.capacity;
        EXPECT_EQ(size, row.size) << row.capacity;
        EXPECT_EQ(GetLastError(), row.error);
        if (row.result) {
            EXPECT_EQ(std::u16string(buffer), u"SIMHOST");
        }
    }
    sim::SetComputerName(u"");
    WCHAR buffer[16];
    DWORD size = 16;
    EXPECT_FALSE(GetComputerNameW(buffer, &size));
}

TEST_F(SystemTest, CharacterTypesClassSpacesAndLetters) {
    struct Row {
        WCHAR c;
        WORD set, clear; // bits that must be set, bits that must not
    };
    const WORD SPACE = C1_SPACE, ALPHA = C1_ALPHA;
    const Row rows[] = {
        {u' ', SPACE | C1_BLANK, ALPHA},
        {u'\t', SPACE | C1_CNTRL, ALPHA},
        {u'\r', SPACE | C1_CNTRL, ALPHA},
        {0x0B, SPACE, ALPHA},
        {0xA0, SPACE, ALPHA},
        {0x1F, C1_CNTRL, SPACE},
        {u'A', ALPHA | C1_UPPER | C1_XDIGIT, SPACE},
        {u'z', ALPHA | C1_LOWER, SPACE | C1_XDIGIT},
        {u'7', C1_DIGIT, ALPHA | SPACE},
        {u'_', C1_PUNCT, ALPHA | SPACE},
        {0xC9, ALPHA | C1_UPPER, SPACE},
        {0xFF, ALPHA | C1_LOWER, SPACE},
        {0xD7, C1_PUNCT, ALPHA},
        {0x85, C1_CNTRL, ALPHA},
        {0x2003, SPACE, ALPHA},
        {0x2028, SPACE, ALPHA},
        {0x3000, SPACE, ALPHA},
        {0x0394, ALPHA, SPACE},
        {0x0416, ALPHA, SPACE},
        {0x6F22, ALPHA, SPACE},
        {0x0151, ALPHA, SPACE},
        {0x2500, C1_PUNCT, ALPHA | SPACE},
        {0xFFFF, 0, 0xFFFF},
    };
    for (const Row &row : rows) {
        WORD type = 0x5555;
        ASSERT_TRUE(GetStringTypeW(CT_CTYPE1, &row.c, 1, &type));
        EXPECT_EQ(type & row.set, row.set) << std::hex << (int)row.c;
        EXPECT_EQ(type & row.clear, 0) << std::hex << (int)row.c;
    }
    WORD types[3];
    ASSERT_TRUE(GetStringTypeW(CT_CTYPE1, u"a ", -1, types));
    EXPECT_EQ(types[1] & C1_SPACE, C1_SPACE);
    EXPECT_EQ(types[2] & C1_CNTRL, C1_CNTRL); // the terminator
    EXPECT_FALSE(GetStringTypeW(CT_CTYPE1, u"a", 0, types));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(SystemTest, ClockAndTimeZoneAreTheTestsToSet) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear, 2024);
    EXPECT_EQ(now.wMonth, 3);
    EXPECT_EQ(now.wDay, 5);
    EXPECT_EQ(now.wDayOfWeek, 2);
    EXPECT_EQ(now.wHour, 9);
    EXPECT_EQ(now.wMinute, 7);
    EXPECT_EQ(now.wSecond, 2);
    SYSTEMTIME later = now;
    later.wYear = 2031;
    sim::SetLocalTime(later);
    sim::SetTimeZoneBias(-60);
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear, 2031);
    TIME_ZONE_INFORMATION zone;
    EXPECT_EQ(GetTimeZoneInformation(&zone), (DWORD)TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(zone.Bias, -60);
}

TEST_F(SystemTest, RecordsKeepSoundsBoxesAndPauses) {
    EXPECT_TRUE(PlaySoundW(u"CAMERA4", (HMODULE)0x400000, SND_RESOURCE | SND_ASYNC));
    EXPECT_EQ(MessageBoxW(GetForegroundWindow(), u"text", u"title", MB_OK), IDOK);
    Sleep(10);
    ASSERT_EQ(sim::Sounds().size(), 1u);
    EXPECT_EQ(sim::Sounds()[0].name, u"CAMERA4");
    EXPECT_EQ(sim::Sounds()[0].flags, (DWORD)0x40005);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].owner, GetForegroundWindow());
    EXPECT_EQ(sim::MessageBoxes()[0].caption, u"title");
    EXPECT_EQ(sim::SleepCount(), 1);
}

TEST_F(SystemTest, WsprintfTakesWideStringsAndStopsAt1024Characters) {
    WCHAR buffer[2048];
    EXPECT_EQ(wsprintfW(buffer, u"%s Plugin Help", u"Glimpset"), 20);
    EXPECT_EQ(std::u16string(buffer), u"Glimpset Plugin Help");
    EXPECT_EQ(wsprintfW(buffer, u"%s-%04X.glim", u"n", 0xAu), 11);
    EXPECT_EQ(std::u16string(buffer), u"n-000A.glim");
    std::u16string big(1500, u'x');
    EXPECT_EQ(wsprintfW(buffer, u"%s", big.c_str()), 1024);
    EXPECT_EQ(buffer[1024], 0);
}

TEST_F(SystemTest, TextHelpersConvertUtf8AndUtf16) {
    EXPECT_EQ(sim::U16("Can\xE2\x80\x99t \xF0\x9F\x98\x80"), u"Can\u2019t \U0001F600");
    EXPECT_EQ(sim::U8(u"Can\u2019t \U0001F600"), "Can\xE2\x80\x99t \xF0\x9F\x98\x80");
    EXPECT_EQ(sim::U8(std::u16string(1, (char16_t)0xD800) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(sim::U16("\xFF"
                       "a"),
              u"\uFFFDa");
    EXPECT_EQ(sim::U8((const WCHAR *)nullptr), "");
}

} // namespace
