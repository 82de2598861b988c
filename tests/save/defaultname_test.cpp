// Tests of the made-up file names: the dated name, the separator rule, the
// counter that skips taken names (files and directories alike), exhaustion
// (and how the save reports it), and the bound of the path buffer.
#include "save/defaultname.h"

#include "save/save.h"

#include "tests/save/savetest.h"

#include <cstdio>

namespace {

using savetest::PathBuffer;
using savetest::SaveFixture;
using savetest::Text;

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

const SYSTEMTIME Capture = Time(2024, 3, 5, 9, 7, 2);
const std::u16string Plain = u"Glimpset 2024-03-05 09.07.02";

std::u16string Suffixed(unsigned counter) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "-%04X", counter);
    return Plain + sim::U16(digits) + u".glim";
}

class DefaultNameTest : public SaveFixture {
  protected:
    void SetUp() override {
        SaveFixture::SetUp();
        sim::MakeDirectory(u"C:\\Work");
    }
};

struct PlacementRow {
    const char16_t *directory;
    const char16_t *expected;
};

TEST_F(DefaultNameTest, NameIsPlacedAfterTheDirectoryWithASeparatorOnlyWhenNeeded) {
    const PlacementRow rows[] = {
        {u"C:\\Work", u"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim"},
        {u"C:\\Work\\", u"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim"},
        {u"C:/Work/", u"C:/Work/Glimpset 2024-03-05 09.07.02.glim"},
        {u"D:", u"D:Glimpset 2024-03-05 09.07.02.glim"},
        {u"", u".\\Glimpset 2024-03-05 09.07.02.glim"},
    };
    for (const PlacementRow &row : rows) {
        std::vector<WCHAR> path = PathBuffer(row.directory);
        EXPECT_EQ(0, MakeDefaultName(path.data(), &Capture)) << sim::U8(row.directory);
        EXPECT_EQ(std::u16string(row.expected), Text(path.data())) << sim::U8(row.directory);
    }
}

struct TimeRow {
    SYSTEMTIME time;
    const char16_t *expected;
};

TEST_F(DefaultNameTest, BaseNameCarriesTheCaptureTimeWithFixedWidthFields) {
    const TimeRow rows[] = {
        {Time(2024, 3, 5, 9, 7, 2), u"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim"},
        {Time(1999, 12, 31, 23, 59, 59), u"C:\\Work\\Glimpset 1999-12-31 23.59.59.glim"},
        {Time(2000, 1, 1, 0, 0, 0), u"C:\\Work\\Glimpset 2000-01-01 00.00.00.glim"},
        {Time(987, 10, 9, 10, 11, 12), u"C:\\Work\\Glimpset 0987-10-09 10.11.12.glim"},
    };
    for (const TimeRow &row : rows) {
        std::vector<WCHAR> path = PathBuffer(u"C:\\Work");
        EXPECT_EQ(0, MakeDefaultName(path.data(), &row.time));
        EXPECT_EQ(std::u16string(row.expected), Text(path.data()));
    }
}

struct CounterRow {
    int takenFiles;         // the plain name, then -0000, -0001, ... as files
    const char16_t *suffix; // of the name chosen
};

TEST_F(DefaultNameTest, CounterTakesTheFirstFreeValueInUpperCaseHex) {
    const CounterRow rows[] = {
        {0, u".glim"},       // the plain name is free
        {1, u"-0000.glim"},  // the plain name taken
        {2, u"-0001.glim"},  // and -0000
        {10, u"-0009.glim"}, // and -0000 to -0008
        {11, u"-000A.glim"}, // the eleventh suffix
        {16, u"-000F.glim"}, // the last with one digit
        {17, u"-0010.glim"}, // the first with two digits
    };
    for (const CounterRow &row : rows) {
        sim::Reset();
        sim::MakeDirectory(u"C:\\Work");
        for (int i = 0; i < row.takenFiles; i++) {
            std::u16string name = i == 0 ? Plain + u".glim" : Suffixed((unsigned)(i - 1));
            sim::MakeFile(u"C:\\Work\\" + name, "x");
        }
        std::vector<WCHAR> path = PathBuffer(u"C:\\Work");
        EXPECT_EQ(0, MakeDefaultName(path.data(), &Capture)) << row.takenFiles;
        EXPECT_EQ(u"C:\\Work\\" + Plain + row.suffix, Text(path.data())) << row.takenFiles;
    }
}

TEST_F(DefaultNameTest, DirectoryBearingThePlainNameCountsAsTaken) {
    sim::MakeDirectory(u"C:\\Work\\" + Plain + u".glim");
    sim::MakeDirectory(u"C:\\Work\\" + Suffixed(0));
    std::vector<WCHAR> path = PathBuffer(u"C:\\Work");
    EXPECT_EQ(0, MakeDefaultName(path.data(), &Capture));
    EXPECT_EQ(u"C:\\Work\\" + Suffixed(1), Text(path.data()));
}

TEST_F(DefaultNameTest, FreeValueBeforeATakenOneIsUsed) {
    sim::MakeFile(u"C:\\Work\\" + Plain + u".glim", "x");
    sim::MakeFile(u"C:\\Work\\" + Suffixed(1), "x");
    std::vector<WCHAR> path = PathBuffer(u"C:\\Work\\");
    EXPECT_EQ(0, MakeDefaultName(path.data(), &Capture));
    EXPECT_EQ(u"C:\\Work\\" + Suffixed(0), Text(path.data()));
}

TEST_F(DefaultNameTest, CounterOnADriveRelativeDirectoryKeepsTheDrive) {
    sim::MakeDirectory(u"D:\\");
    sim::SetCurrentDirectory(u"D:\\");
    sim::MakeFile(u"D:\\" + Plain + u".glim", "x");
    std::vector<WCHAR> path = PathBuffer(u"D:");
    EXPECT_EQ(0, MakeDefaultName(path.data(), &Capture));
    EXPECT_EQ(u"D:" + Suffixed(0), Text(path.data()));
}

TEST_F(DefaultNameTest, EveryNameTakenFailsAndGivesTheDirectoryBack) {
    sim::MakeFile(u"C:\\Work\\" + Plain + u".glim", "x");
    for (unsigned k = 0; k < 65536; k++) {
        sim::MakeFile(u"C:\\Work\\" + Suffixed(k), "");
    }
    std::vector<WCHAR> path = PathBuffer(u"C:\\Work");
    EXPECT_EQ(-1, MakeDefaultName(path.data(), &Capture));
    EXPECT_EQ(u"C:\\Work", Text(path.data()));

    // The save names the directory it searched and opens nothing.
    SetLastName(u"C:\\before.glim");
    sim::ClearOutput();
    sim::CallLog().clear();
    std::vector<WCHAR> target = PathBuffer(u"C:\\Work");
    EXPECT_EQ(2, SaveScreen(target.data(), 0));
    EXPECT_EQ("Glimpset plugin: Error generating glimpset name in \"C:\\Work\"\r\n", sim::Stderr());
    EXPECT_EQ(u"\"C:\\before.glim\"", savetest::LastNameText());
    EXPECT_EQ(0, sim::CallCount("CreateFileW"));
    EXPECT_EQ(0, sim::OpenHandles());
    EXPECT_TRUE(sim::Sounds().empty());
    EXPECT_EQ((size_t)65537, sim::ListDirectory(u"C:\\Work").size());

    // Freeing the very last value makes it the answer.
    EXPECT_TRUE(DeleteFileW((u"C:\\Work\\" + Suffixed(0xFFFF)).c_str()));
    EXPECT_EQ(0, MakeDefaultName(path.data(), &Capture));
    EXPECT_EQ(u"C:\\Work\\" + Suffixed(0xFFFF), Text(path.data()));
}

TEST_F(DefaultNameTest, NoBufferFails) {
    EXPECT_EQ(-1, MakeDefaultName(nullptr, &Capture));
}

// A directory of `length` characters ending in a separator, made of names
// of at most 200 characters.
std::u16string LongDirectory(size_t length) {
    std::u16string directory = u"C:\\";
    while (directory.size() + 1 < length) {
        bool cut = directory.size() % 200 == 0 && directory.size() + 2 < length;
        directory += cut ? u'\\' : u'd';
    }
    return directory + u"\\";
}

struct BoundRow {
    size_t directoryLength;
    bool plainTaken;
    int expected;
};

TEST_F(DefaultNameTest, NameThatWouldNotFitTheBufferFailsRatherThanBeingCut) {
    const size_t plainLength = Plain.size() + 5;   // ".glim"
    const size_t suffixedLength = plainLength + 5; // "-0000"
    const size_t room = PATH_CAPACITY - 1;         // characters before the terminator
    const BoundRow rows[] = {
        {room - plainLength, false, 0},
        {room - plainLength + 1, false, -1},
        {room - suffixedLength, true, 0},
        {room - suffixedLength + 1, true, -1},
        {room, false, -1},
    };
    for (const BoundRow &row : rows) {
        sim::Reset();
        std::u16string directory = LongDirectory(row.directoryLength);
        ASSERT_EQ(row.directoryLength, directory.size());
        if (row.plainTaken) {
            sim::MakeDirectory(directory);
            sim::MakeFile(directory + Plain + u".glim", "x");
        }
        std::vector<WCHAR> path = PathBuffer(directory);
        EXPECT_EQ(row.expected, MakeDefaultName(path.data(), &Capture)) << row.directoryLength;
        std::u16string result = Text(path.data());
        if (row.expected == 0) {
            EXPECT_EQ(directory + (row.plainTaken ? Suffixed(0) : Plain + u".glim"), result);
        } else {
            EXPECT_EQ(directory, result);
        }
    }
}

} // namespace
