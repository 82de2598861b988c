// Tests of the save operation over the simulated machine: the file written
// (every header field against the console, the checksum, the cells decoded
// back), the target rules (default names, /O, an existing file), the sound
// and quiet, the console reads in blocks of whole rows and reads that come
// back short, the order of the platform calls, and every failure with its
// message, result, last name and the files it leaves, with nothing left open
// or allocated.
#include "save/save.h"
#include "save/target.h"

#include "command/options.h"
#include "restore/restore.h"
#include "tests/save/savetest.h"

#include <zlib.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

using savetest::Dword;
using savetest::PathBuffer;
using savetest::SaveFixture;
using savetest::Text;
using savetest::Word;

const std::u16string Target = u"C:\\a.glim";
const std::string Prefix = "Glimpset plugin: ";
const std::string Quoted = "\"C:\\a.glim\"";

int Save(const std::u16string &path, DWORD flags, std::u16string *finalPath = nullptr) {
    std::vector<WCHAR> buffer = PathBuffer(path);
    int result = SaveScreen(buffer.data(), flags);
    if (finalPath != nullptr) {
        *finalPath = Text(buffer.data());
    }
    return result;
}

// The checksum of cells as the file should carry it.
DWORD CellsCrc(const std::vector<WORD> &ch, const std::vector<WORD> &at) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < ch.size(); i++) {
        bytes.push_back((uint8_t)(ch[i] & 0xFF));
        bytes.push_back((uint8_t)(ch[i] >> 8));
        bytes.push_back((uint8_t)(at[i] & 0xFF));
        bytes.push_back((uint8_t)(at[i] >> 8));
    }
    return (DWORD)crc32(0, bytes.data(), (uInt)bytes.size());
}

// What the simulated console holds, as the file should hold it.
DWORD ConsoleCrc() {
    return CellsCrc(sim::ConsoleChars(), sim::ConsoleAttrs());
}

// A screen with some of everything: text in several attributes (high-byte
// flags among them), characters that are token words, runs, and noise.
void FillVariedScreen() {
    sim::ConsolePutText(0, 0, u"C:\\> dir /s", 0x07);
    sim::ConsolePutText(5, 1, u"\uFFFD\uFFF0\uFFFF\uFFF9 token words", 0x1F);
    sim::ConsolePutText(0, 2, u"underscored", 0x8007);
    sim::ConsolePutText(20, 2, u"reversed", 0x4000 | 0x2E);
    sim::ConsolePutText(0, 3, std::u16string(70, u'='), 0x0A);
    sim::ConsolePutText(0, 4, u"\u00E9\u4E2D\u0416", 0x07);
    std::mt19937 random(7);
    for (int row = 10; row < 14; row++) {
        std::u16string noise;
        for (int column = 0; column < sim::Console().columns; column++) {
            noise += (char16_t)(u'!' + random() % 90);
        }
        sim::ConsolePutText(0, row, noise, (WORD)(random() % 0x100));
    }
}

void ExpectNothingLeft() {
    EXPECT_EQ(0, sim::OpenHandles());
    FreeLastName();
    EXPECT_EQ(0, sim::LiveAllocations());
}

// ---- The file written.

TEST_F(SaveFixture, HeaderFieldsCarryTheConsoleStateAndTheCaptureTime) {
    sim::ConsoleResize(100, 60);
    FillVariedScreen();
    sim::ConsoleState &console = sim::Console();
    console.cursorColumn = 13;
    console.cursorRow = 42;
    console.attribute = 0x801E; // only the low byte goes into the header
    console.window = {0, 10, 99, 39};
    console.inputCodePage = 850;
    console.outputCodePage = 65001;
    SYSTEMTIME time = {2031, 11, 3, 27, 21, 58, 47, 123};
    sim::SetLocalTime(time);
    sim::SetTimeZoneBias(-330);
    sim::SetComputerName(u"BUILDBOX-7");

    ASSERT_EQ(0, Save(Target, 0));

    std::vector<uint8_t> file = sim::FileBytes(Target);
    ASSERT_GE(file.size(), (size_t)HEADER_SIZE);
    EXPECT_EQ("Glimpset", std::string(file.begin(), file.begin() + 8));
    struct Field {
        size_t offset;
        int size;
        DWORD expected;
        const char *name;
    };
    const Field fields[] = {
        {8, 2, 1, "version"},
        {10, 2, 2031, "year"},
        {12, 1, 27, "day"},
        {13, 1, 11, "month"},
        {14, 1, 58, "minute"},
        {15, 1, 21, "hour"},
        {16, 1, 47, "second"},
        {17, 1, 3, "dayOfWeek"},
        {18, 4, (DWORD)-330, "utcBias"},
        {22, 2, 100, "columns"},
        {24, 2, 60, "rows"},
        {26, 2, 13, "cursorColumn"},
        {28, 2, 42, "cursorRow"},
        {30, 2, 0x1E, "attribute"},
        {32, 4, 850, "inputCodePage"},
        {36, 4, 65001, "outputCodePage"},
        {40, 2, 30, "windowHeight"},
        {42, 2, 0, "reserved"},
        {44, 4, ConsoleCrc(), "crc"},
    };
    for (const Field &field : fields) {
        DWORD value = field.size == 1   ? file[field.offset]
                      : field.size == 2 ? Word(file, field.offset)
                                        : Dword(file, field.offset);
        EXPECT_EQ(field.expected, value) << field.name;
    }
    std::u16string name;
    for (size_t at = 48; at < 80 && Word(file, at) != 0; at += 2) {
        name += (char16_t)Word(file, at);
    }
    EXPECT_EQ(u"BUILDBOX-7", name);
    for (size_t at = 48 + 2 * name.size(); at < 80; at++) {
        EXPECT_EQ(0, file[at]) << at;
    }
    EXPECT_EQ(ScreenCrc32(sim::ConsoleChars().data(), sim::ConsoleAttrs().data(), 100 * 60),
              Dword(file, 44));

    savetest::DecodedFile decoded = savetest::DecodeFile(file);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(sim::ConsoleChars(), decoded.characters);
    EXPECT_EQ(sim::ConsoleAttrs(), decoded.attributes);

    EXPECT_EQ(u"\"C:\\a.glim\"", savetest::LastNameText());
    EXPECT_EQ("", sim::Stderr());
    ExpectNothingLeft();
}

TEST_F(SaveFixture, ComputerNameThatCannotBeHadLeavesTheFieldZero) {
    sim::SetComputerName(u"");
    ASSERT_EQ(0, Save(Target, 0));
    std::vector<uint8_t> file = sim::FileBytes(Target);
    ASSERT_GE(file.size(), (size_t)HEADER_SIZE);
    for (size_t at = 48; at < 80; at++) {
        EXPECT_EQ(0, file[at]) << at;
    }
}

TEST_F(SaveFixture, LongStreamIsWrittenInFullBlocksAndTheRest) {
    sim::ConsoleResize(200, 300);
    std::vector<WORD> &characters = sim::ConsoleChars();
    for (size_t i = 0; i < characters.size(); i++) {
        characters[i] = (WORD)(u'a' + i % 26);
    }
    ASSERT_EQ(0, Save(Target, 0));
    std::vector<uint8_t> file = sim::FileBytes(Target);
    // 60,000 single cells: seven blocks of 8,192 words and 2,656 words.
    EXPECT_EQ((size_t)HEADER_SIZE + 2 * 60000, file.size());
    EXPECT_EQ(1 + 8, sim::CallCount("WriteFile"));
    savetest::DecodedFile decoded = savetest::DecodeFile(file);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(sim::ConsoleChars(), decoded.characters);
}

TEST_F(SaveFixture, SuppressedTimeLeavesZerosWhileTheDefaultNameKeepsTheTime) {
    sim::MakeDirectory(u"C:\\Work");
    sim::SetTimeZoneBias(-60);
    std::u16string path;
    ASSERT_EQ(0, Save(u"C:\\Work", MODE_NO_TIME, &path));
    EXPECT_EQ(u"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim", path);
    std::vector<uint8_t> file = sim::FileBytes(path);
    ASSERT_GE(file.size(), (size_t)HEADER_SIZE);
    for (size_t at = 10; at < 22; at++) {
        EXPECT_EQ(0, file[at]) << at;
    }
    EXPECT_EQ(80, Word(file, 22));
    EXPECT_EQ(u"\"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim\"", savetest::LastNameText());
}

TEST_F(SaveFixture, TimeIsTakenOnceForTheHeaderAndTheName) {
    sim::MakeDirectory(u"C:\\Work");
    std::u16string path;
    ASSERT_EQ(0, Save(u"C:\\Work\\", 0, &path));
    EXPECT_EQ(1, sim::CallCount("GetLocalTime"));
    EXPECT_EQ(1, sim::CallCount("GetTimeZoneInformation"));
    std::vector<uint8_t> file = sim::FileBytes(path);
    ASSERT_GE(file.size(), (size_t)HEADER_SIZE);
    EXPECT_EQ(2024, Word(file, 10));
    EXPECT_EQ(5, file[12]);
    EXPECT_EQ(2, file[16]);
}

// ---- The target.

TEST_F(SaveFixture, EmptyPathSavesUnderADefaultNameInTheCurrentDirectory) {
    sim::MakeDirectory(u"C:\\Work");
    sim::SetCurrentDirectory(u"C:\\Work");
    std::u16string path;
    ASSERT_EQ(0, Save(u"", 0, &path));
    EXPECT_EQ(u"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim", path);
    EXPECT_TRUE(sim::Exists(path));
}

TEST_F(SaveFixture, TakenDefaultNameGetsTheCounter) {
    sim::MakeDirectory(u"C:\\Work");
    sim::SetCurrentDirectory(u"C:\\Work");
    std::u16string first, second, third;
    ASSERT_EQ(0, Save(u"", 0, &first));
    ASSERT_EQ(0, Save(u"", 0, &second));
    ASSERT_EQ(0, Save(u"", 0, &third));
    EXPECT_EQ(u"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim", first);
    EXPECT_EQ(u"C:\\Work\\Glimpset 2024-03-05 09.07.02-0000.glim", second);
    EXPECT_EQ(u"C:\\Work\\Glimpset 2024-03-05 09.07.02-0001.glim", third);
    EXPECT_EQ(3u, sim::ListDirectory(u"C:\\Work").size());
}

TEST_F(SaveFixture, DirectoryLinkTakesTheDefaultNameInTheDirectoryItLeadsTo) {
    sim::MakeDirectory(u"C:\\Work");
    sim::MakeDirectory(u"C:\\Work\\real");
    sim::MakeFile(u"C:\\Work\\real\\Glimpset 2024-03-05 09.07.02.glim", std::string("x"));
    sim::MakeLink(u"C:\\Work\\jump", u"C:\\Work\\real");
    std::u16string path;
    ASSERT_EQ(0, Save(u"C:\\Work\\jump\\", 0, &path));
    EXPECT_EQ(u"C:\\Work\\jump\\Glimpset 2024-03-05 09.07.02-0000.glim", path);
    EXPECT_TRUE(sim::Exists(u"C:\\Work\\real\\Glimpset 2024-03-05 09.07.02-0000.glim"));
    EXPECT_EQ(std::vector<uint8_t>{'x'},
              sim::FileBytes(u"C:\\Work\\real\\Glimpset 2024-03-05 09.07.02.glim"));
}

TEST_F(SaveFixture, PathThatIsNoDirectoryIsUsedUnchanged) {
    sim::MakeDirectory(u"C:\\Work");
    std::u16string path;
    ASSERT_EQ(0, Save(u"C:\\Work\\screen", 0, &path));
    EXPECT_EQ(u"C:\\Work\\screen", path);
    EXPECT_TRUE(sim::Exists(u"C:\\Work\\screen"));
    EXPECT_EQ(u"\"C:\\Work\\screen\"", savetest::LastNameText());
}

TEST_F(SaveFixture, ExistingFileWithoutOverwriteIsRefusedAndLeftAlone) {
    sim::MakeFile(Target, "old contents");
    EXPECT_EQ(2, Save(Target, 0));
    EXPECT_EQ(Prefix + "Error opening " + Quoted + ":\r\n    The file exists.\r\n", sim::Stderr());
    std::vector<uint8_t> old = sim::FileBytes(Target);
    EXPECT_EQ("old contents", std::string(old.begin(), old.end()));
    EXPECT_EQ(u"*ERROR*", savetest::LastNameText());
    EXPECT_TRUE(sim::Sounds().empty());
    ExpectNothingLeft();
}

TEST_F(SaveFixture, OverwriteReplacesTheFileAndLeavesNothingBeside) {
    sim::MakeFile(Target, "old contents");
    sim::ConsolePutText(0, 0, u"new", 0x07);
    ASSERT_EQ(0, Save(Target, MODE_OVERWRITE));
    std::vector<uint8_t> file = sim::FileBytes(Target);
    ASSERT_GE(file.size(), (size_t)HEADER_SIZE);
    EXPECT_EQ("Glimpset", std::string(file.begin(), file.begin() + 8));
    savetest::DecodedFile decoded = savetest::DecodeFile(file);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(sim::ConsoleChars(), decoded.characters);
    EXPECT_EQ(std::vector<std::u16string>{u"a.glim"}, sim::ListDirectory(u"C:\\"));
    EXPECT_EQ(u"\"C:\\a.glim\"", savetest::LastNameText());
    ExpectNothingLeft();
}

TEST_F(SaveFixture, OverwriteOfAMissingFileCreatesIt) {
    ASSERT_EQ(0, Save(Target, MODE_OVERWRITE));
    EXPECT_EQ(std::vector<std::u16string>{u"a.glim"}, sim::ListDirectory(u"C:\\"));
}

TEST_F(SaveFixture, OverwriteStepsAroundFilesLeftByAnEarlierSave) {
    sim::MakeFile(Target, "old contents");
    sim::MakeFile(u"C:\\~glimpset-0.tmp", "stale");
    sim::MakeFile(u"C:\\~glimpset-1.tmp", "stale");
    ASSERT_EQ(0, Save(Target, MODE_OVERWRITE));
    for (const char16_t *stale : {u"C:\\~glimpset-0.tmp", u"C:\\~glimpset-1.tmp"}) {
        std::vector<uint8_t> bytes = sim::FileBytes(stale);
        EXPECT_EQ("stale", std::string(bytes.begin(), bytes.end()));
    }
    std::vector<uint8_t> file = sim::FileBytes(Target);
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ("Glimpset", std::string(file.begin(), file.begin() + 8));
    EXPECT_EQ(3u, sim::ListDirectory(u"C:\\").size());
    EXPECT_EQ(1, sim::CallCount("MoveFileExW"));
}

// ---- Sound and quiet.

TEST_F(SaveFixture, SuccessPlaysTheShutterFromThePluginsOwnResources) {
    ASSERT_EQ(0, Save(Target, 0));
    ASSERT_EQ(1u, sim::Sounds().size());
    EXPECT_EQ(u"CAMERA4", sim::Sounds()[0].name);
    EXPECT_EQ(savetest::FakeModule(), sim::Sounds()[0].module);
    EXPECT_EQ(0x40005u, sim::Sounds()[0].flags);
}

TEST_F(SaveFixture, QuietFlagSilencesTheSave) {
    ASSERT_EQ(0, Save(Target, MODE_QUIET));
    EXPECT_TRUE(sim::Sounds().empty());
    EXPECT_TRUE(sim::Exists(Target));
}

int Command(const std::u16string &tail) {
    std::vector<WCHAR> buffer(tail.begin(), tail.end());
    buffer.push_back(0);
    return glim(buffer.data());
}

struct QuietRow {
    const char16_t *tail;
    bool setting;
    DWORD value;
    size_t sounds;
};

TEST_F(SaveFixture, CommandIsQuietByOptionOrBySetting) {
    const QuietRow rows[] = {
        {u"C:\\a.glim", false, 0, 1},
        {u"C:\\a.glim", true, 0, 1},
        {u"C:\\a.glim", true, 1, 0},
        {u"/Q C:\\a.glim", false, 0, 0},
    };
    for (const QuietRow &row : rows) {
        sim::Reset();
        if (row.setting) {
            sim::RegSetDword(HKEY_CURRENT_USER, u"SOFTWARE\\RIRevazud\\Glimpset", u"Quiet",
                             row.value);
        }
        EXPECT_EQ(0, Command(row.tail)) << sim::U8(row.tail);
        EXPECT_TRUE(sim::Exists(Target)) << sim::U8(row.tail);
        EXPECT_EQ(row.sounds, sim::Sounds().size()) << sim::U8(row.tail);
    }
}

// ---- Console reads.

struct BlockRow {
    int columns;
    int rows;
    int reads; // calls of the console read
};

TEST_F(SaveFixture, ConsoleIsReadInBlocksOfWholeRowsOfAtMost8192Cells) {
    const BlockRow rows[] = {
        {80, 300, 3},    // 102 rows a block
        {80, 102, 1},    // one whole block
        {80, 103, 2},    // one row more
        {22, 8, 1},      // the smallest buffer
        {512, 1000, 63}, // the widest: 16 rows a block
        {100, 82, 2},    // 81 rows a block
    };
    for (const BlockRow &row : rows) {
        sim::Reset();
        sim::ConsoleResize(row.columns, row.rows);
        sim::Console().window = {0, 0, (SHORT)(std::min(row.columns, 80) - 1), 7};
        // Every row marked, so that a row read twice or missed shows.
        for (int r = 0; r < row.rows; r++) {
            sim::ConsolePutText(row.columns - 1, r, std::u16string(1, (char16_t)(0x4E00 + r)),
                                (WORD)(r & 0xFF));
        }
        ASSERT_EQ(0, Save(Target, MODE_QUIET)) << row.columns << "x" << row.rows;
        EXPECT_EQ(row.reads, sim::CallCount("ReadConsoleOutputW")) << row.columns;
        savetest::DecodedFile decoded = savetest::DecodeFile(sim::FileBytes(Target));
        ASSERT_TRUE(decoded.ok);
        EXPECT_TRUE(decoded.characters == sim::ConsoleChars()) << row.columns;
        EXPECT_TRUE(decoded.attributes == sim::ConsoleAttrs()) << row.columns;
        EXPECT_EQ(ConsoleCrc(), Dword(sim::FileBytes(Target), 44));
    }
}

struct ShortReadRow {
    int columns;
    int rows;
    DWORD limit; // most cells a console read fills
};

// A console that reads fewer rows than asked (its buffer shrinking under
// the reader) leaves the cells it did not fill as zeros in the file, never
// as whatever the memory held (nor the rows of an earlier block), and the
// checksum covers those zeros.
TEST_F(SaveFixture, CellsTheConsoleDidNotFillAreSavedAsZeros) {
    const ShortReadRow rows[] = {
        {80, 100, 3000}, // one block, 37 of its rows read
        {80, 300, 1000}, // three blocks, 12 rows of each read
        {512, 20, 1},    // not one row of any block read
        {80, 25, 2000},  // a limit that is the whole buffer
    };
    for (const ShortReadRow &row : rows) {
        sim::Reset();
        sim::ConsoleResize(row.columns, row.rows);
        sim::Console().window = {0, 0, 21, 7};
        FillVariedScreen();
        sim::SetConsoleReadLimit(row.limit);
        ASSERT_EQ(0, Save(Target, MODE_QUIET)) << row.columns << "x" << row.rows;

        // Reads take whole rows, at most 8,192 cells, from the top down; the
        // console hands over the whole rows within its limit.
        size_t cellsPerBlock = (size_t)std::max(8192 / row.columns, 1) * (size_t)row.columns;
        size_t cellsRead = row.limit / (DWORD)row.columns * (size_t)row.columns;
        std::vector<WORD> characters(sim::ConsoleChars().size(), 0);
        std::vector<WORD> attributes(characters.size(), 0);
        for (size_t start = 0; start < characters.size(); start += cellsPerBlock) {
            for (size_t i = start; i < start + cellsRead && i < characters.size(); i++) {
                characters[i] = sim::ConsoleChars()[i];
                attributes[i] = sim::ConsoleAttrs()[i];
            }
        }
        std::vector<uint8_t> file = sim::FileBytes(Target);
        savetest::DecodedFile decoded = savetest::DecodeFile(file);
        ASSERT_TRUE(decoded.ok) << row.columns << "x" << row.rows;
        EXPECT_TRUE(decoded.characters == characters) << row.columns << "x" << row.rows;
        EXPECT_TRUE(decoded.attributes == attributes) << row.columns << "x" << row.rows;
        EXPECT_EQ(CellsCrc(characters, attributes), Dword(file, 44)) << row.columns;
        ExpectNothingLeft();
    }
}

TEST_F(SaveFixture, PlatformCallsComeInTheirOrder) {
    ASSERT_EQ(0, Save(Target, 0));
    const std::set<std::string> watched = {"GetLocalTime",     "GetTimeZoneInformation",
                                           "CreateFileW",      "GetConsoleScreenBufferInfo",
                                           "GetConsoleCP",     "GetConsoleOutputCP",
                                           "GetComputerNameW", "ReadConsoleOutputW",
                                           "WriteFile",        "CloseHandle",
                                           "PlaySoundW"};
    std::vector<std::string> calls;
    for (const std::string &call : sim::CallLog()) {
        if (watched.count(call) != 0) {
            calls.push_back(call);
        }
    }
    const std::vector<std::string> expected = {"GetLocalTime",       "GetTimeZoneInformation",
                                               "CreateFileW",        "GetConsoleScreenBufferInfo",
                                               "GetConsoleCP",       "GetConsoleOutputCP",
                                               "CreateFileW",        "GetComputerNameW",
                                               "ReadConsoleOutputW", "ReadConsoleOutputW",
                                               "ReadConsoleOutputW", "WriteFile",
                                               "WriteFile",          "CloseHandle",
                                               "CloseHandle",        "PlaySoundW"};
    EXPECT_EQ(expected, calls);
}

// ---- Wide characters, pairs and the bits the console keeps.

struct WideRow {
    const char *what;
    bool ambiguousWide; // the console's font is a CJK one
    int column, row;    // where the text is written
    std::u16string text;
    WORD attribute;
};

// Each screen is saved cell for cell as the console holds it (how it holds
// them is the shared console table's): a wide character in both of its
// cells with their flags, every later character in its own column (a marker
// at column 40 stays there); and the file restores into a console of
// another size cell for cell.
TEST_F(SaveFixture, EveryCellIsSavedInItsColumnAndRestoredAsItWas) {
    const WideRow rows[] = {
        {"a CJK line", false, 0, 2, u"\u4E2D\u6587 text", 0x1E},
        {"a wide character at the last column", false, 78, 3, u"a\u4E2Db", 0x07},
        {"a Cyrillic line under a CJK font", true, 0, 5, u"\u0416\u0443\u043A", 0x0A},
        {"a Cyrillic line under any other font", false, 0, 5, u"\u0416\u0443\u043A", 0x0A},
        {"an emoji", false, 0, 6, u"\U0001F600!", 0x07},
        {"attribute bit 0x2000, which the console does not keep", false, 0, 7, u"x", 0x201F},
    };
    for (const WideRow &row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        sim::SetAmbiguousWide(row.ambiguousWide);
        sim::ConsoleResize(80, 25);
        sim::ConsolePutText(40, row.row, u"END", 0x4F);
        sim::ConsolePutText(row.column, row.row, row.text, row.attribute);
        ASSERT_EQ(0, Save(Target, MODE_QUIET));

        savetest::DecodedFile decoded = savetest::DecodeFile(sim::FileBytes(Target));
        ASSERT_TRUE(decoded.ok);
        size_t marker = (size_t)row.row * 80 + 40;
        EXPECT_EQ(u'E', decoded.characters[marker]);
        EXPECT_EQ(0x4F, decoded.attributes[marker]);
        EXPECT_TRUE(decoded.characters == sim::ConsoleChars());
        EXPECT_TRUE(decoded.attributes == sim::ConsoleAttrs());

        sim::ConsoleResize(100, 40);
        ASSERT_EQ(0, RestoreScreen(Target.c_str(), MODE_QUIET));
        EXPECT_EQ(80, sim::Console().columns);
        EXPECT_TRUE(decoded.characters == sim::ConsoleChars());
        EXPECT_TRUE(decoded.attributes == sim::ConsoleAttrs());
        ExpectNothingLeft();
    }
}

// ---- Failures.

enum Outcome { UNCHANGED, ERROR_VALUE };

struct FailureRow {
    const char *what;
    void (*arrange)();
    DWORD flags;
    std::string message;
    Outcome lastName;
};

const std::string OldContents = "old contents";

// Letters all over the 80 x 300 console: more than one block of tokens.
void FillNoise() {
    std::mt19937 random(3);
    for (WORD &ch : sim::ConsoleChars()) {
        ch = (WORD)(u'a' + random() % 26);
    }
}

void ExpectFilesAfterFailure(DWORD flags) {
    if (flags & MODE_OVERWRITE) {
        std::vector<uint8_t> old = sim::FileBytes(Target);
        EXPECT_EQ(OldContents, std::string(old.begin(), old.end()));
        EXPECT_EQ(std::vector<std::u16string>{u"a.glim"}, sim::ListDirectory(u"C:\\"));
    } else {
        EXPECT_TRUE(sim::ListDirectory(u"C:\\").empty());
    }
}

TEST_F(SaveFixture, EveryFailureReportsLeavesNoDamagedFileAndReleasesEverything) {
    const std::string denied = "    Access is denied.\r\n";
    const std::string full = "    There is not enough space on the disk.\r\n";
    const std::string readFault = "    The system cannot read from the specified device.\r\n";
    const std::string openConsole = Prefix + "Error opening console:\r\n";
    const std::string info = Prefix + "Error getting console buffer info:\r\n";
    const std::string buffers = Prefix + "Can\u2019t allocate temporary buffers\r\n";
    const std::string opening = Prefix + "Error opening " + Quoted + ":\r\n";
    const std::string reading = Prefix + "Error reading data from console buffer:\r\n";
    const std::string writing = Prefix + "Error writing to file " + Quoted + ":\r\n";
    const FailureRow rows[] = {
        {"console", [] { sim::FailPath("CreateFileW", u"CONOUT$", ERROR_ACCESS_DENIED); }, 0,
         openConsole + denied, ERROR_VALUE},
        {"buffer info", [] { sim::FailAlways("GetConsoleScreenBufferInfo", ERROR_INVALID_HANDLE); },
         0, info + "    The handle is invalid.\r\n", ERROR_VALUE},
        {"token buffer", [] { sim::FailCall("HeapAlloc", 1, 0); }, 0, buffers, ERROR_VALUE},
        {"characters", [] { sim::FailCall("HeapAlloc", 2, 0); }, 0, buffers, ERROR_VALUE},
        {"attributes", [] { sim::FailCall("HeapAlloc", 3, 0); }, 0, buffers, ERROR_VALUE},
        {"temporary name", [] { sim::FailCall("HeapAlloc", 4, 0); }, MODE_OVERWRITE, buffers,
         ERROR_VALUE},
        {"target", [] { sim::FailPath("CreateFileW", Target, ERROR_ACCESS_DENIED); }, 0,
         opening + denied, ERROR_VALUE},
        {"target opened to be replaced",
         [] { sim::FailPath("CreateFileW", Target, ERROR_SHARING_VIOLATION); }, MODE_OVERWRITE,
         opening + "    The process cannot access the file because it is being used by another "
                   "process.\r\n",
         ERROR_VALUE},
        {"what the target is", [] { sim::FailAlways("GetFileType", ERROR_INVALID_HANDLE); },
         MODE_OVERWRITE, opening + "    The handle is invalid.\r\n", ERROR_VALUE},
        {"what the new file is", [] { sim::FailAlways("GetFileType", ERROR_INVALID_HANDLE); }, 0,
         opening + "    The handle is invalid.\r\n", ERROR_VALUE},
        {"first block", [] { sim::FailCall("ReadConsoleOutputW", 1, ERROR_READ_FAULT); }, 0,
         reading + readFault, UNCHANGED},
        {"later block", [] { sim::FailCall("ReadConsoleOutputW", 3, ERROR_READ_FAULT); },
         MODE_OVERWRITE, reading + readFault, UNCHANGED},
        {"header", [] { sim::FailCall("WriteFile", 1, ERROR_DISK_FULL); }, 0, writing + full,
         ERROR_VALUE},
        {"header, replacing", [] { sim::FailCall("WriteFile", 1, ERROR_DISK_FULL); },
         MODE_OVERWRITE, writing + full, ERROR_VALUE},
        {"last block", [] { sim::FailCall("WriteFile", 2, ERROR_DISK_FULL); }, 0, writing + full,
         ERROR_VALUE},
        {"full block",
         [] {
             FillNoise();
             sim::FailCall("WriteFile", 2, ERROR_DISK_FULL);
         },
         MODE_OVERWRITE, writing + full, ERROR_VALUE},
        {"a later block",
         [] {
             FillNoise();
             sim::FailCall("WriteFile", 3, ERROR_DISK_FULL);
         },
         0, writing + full, ERROR_VALUE},
        {"disk full",
         [] {
             FillNoise();
             sim::SetFreeSpace(20000);
         },
         0, writing + full, ERROR_VALUE},
        {"flush before the move", [] { sim::FailCall("FlushFileBuffers", 1, ERROR_DISK_FULL); },
         MODE_OVERWRITE, writing + full, ERROR_VALUE},
        {"in place, opening again",
         [] {
             sim::FailAlways("MoveFileExW", ERROR_ACCESS_DENIED);
             sim::FailCall("CreateFileW", 4, ERROR_SHARING_VIOLATION);
         },
         MODE_OVERWRITE,
         writing + "    The process cannot access the file because it is being used by another "
                   "process.\r\n",
         ERROR_VALUE},
    };
    for (const FailureRow &row : rows) {
        sim::Reset();
        ModuleHandle = savetest::FakeModule();
        if (row.flags & MODE_OVERWRITE) {
            sim::MakeFile(Target, OldContents);
        }
        SetLastName(u"C:\\before.glim");
        row.arrange();
        EXPECT_EQ(2, Save(Target, row.flags)) << row.what;
        sim::ClearFailures();
        EXPECT_EQ(row.message, sim::Stderr()) << row.what;
        EXPECT_EQ(row.lastName == UNCHANGED ? u"\"C:\\before.glim\"" : u"*ERROR*",
                  savetest::LastNameText())
            << row.what;
        EXPECT_TRUE(sim::Sounds().empty()) << row.what;
        ExpectFilesAfterFailure(row.flags);
        EXPECT_EQ(0, sim::OpenHandles()) << row.what;
        FreeLastName();
        EXPECT_EQ(0, sim::LiveAllocations()) << row.what;
    }
}

struct SizeRow {
    int columns;
    int rows;
};

TEST_F(SaveFixture, BufferTheReadersWouldRefuseIsNotSaved) {
    const SizeRow rows[] = {{513, 25}, {21, 25}, {80, 7}, {80, 10000}, {1000, 5}};
    for (const SizeRow &row : rows) {
        sim::Reset();
        sim::ConsoleResize(row.columns, row.rows);
        sim::Console().window = {0, 0, 20, (SHORT)(std::min(row.rows, 5) - 1)};
        SetLastName(u"C:\\before.glim");
        EXPECT_EQ(2, Save(Target, 0)) << row.columns << "x" << row.rows;
        EXPECT_EQ(Prefix + "Can\u2019t save a console buffer of " + std::to_string(row.columns) +
                      " columns x " + std::to_string(row.rows) +
                      " rows (the limits are 22 to 512 columns and 8 to 9999 rows)\r\n",
                  sim::Stderr());
        EXPECT_EQ(u"*ERROR*", savetest::LastNameText());
        EXPECT_FALSE(sim::Exists(Target));
        EXPECT_EQ(1, sim::CallCount("CreateFileW")); // the console only
        EXPECT_EQ(0, sim::CallCount("ReadConsoleOutputW"));
        EXPECT_TRUE(sim::Sounds().empty());
        ExpectNothingLeft();
    }
}

TEST_F(SaveFixture, SizesAtTheLimitsAreSaved) {
    const SizeRow rows[] = {{22, 8}, {512, 8}, {22, 9999}};
    for (const SizeRow &row : rows) {
        sim::Reset();
        sim::ConsoleResize(row.columns, row.rows);
        sim::Console().window = {0, 0, 21, 7};
        EXPECT_EQ(0, Save(Target, MODE_QUIET)) << row.columns << "x" << row.rows;
        std::vector<uint8_t> file = sim::FileBytes(Target);
        ASSERT_GE(file.size(), (size_t)HEADER_SIZE);
        EXPECT_EQ(HEADER_GLIMPSET, ClassifyHeader(file.data()));
    }
}

TEST_F(SaveFixture, NoUsableDefaultNameFailsBeforeAnythingIsOpened) {
    // A directory so deep that no made-up name fits the path buffer.
    std::u16string directory = u"C:\\";
    while (directory.size() < PATH_CAPACITY - 32) {
        directory += directory.size() % 251 == 0 ? u'\\' : u'd';
    }
    sim::MakeDirectory(directory);
    SetLastName(u"C:\\before.glim");
    EXPECT_EQ(2, Save(directory, 0));
    // The host's output takes a line of so many characters only in part.
    std::string expected = Prefix + "Error generating glimpset name in \"" + sim::U8(directory);
    EXPECT_EQ(expected.substr(0, 8000), sim::Stderr().substr(0, 8000));
    EXPECT_EQ(u"\"C:\\before.glim\"", savetest::LastNameText());
    EXPECT_EQ(0, sim::CallCount("CreateFileW"));
    EXPECT_TRUE(sim::Sounds().empty());
    ExpectNothingLeft();
}

struct UnreplaceableRow {
    const char *what;
    DWORD attributes; // of the target
};

// With /O a target that opening it to replace it would refuse is refused so:
// before the console is read, with the opening message, and with the old
// file and nothing beside it left.
TEST_F(SaveFixture, OverwriteOfATargetThatCannotBeReplacedIsRefusedAtOpening) {
    const UnreplaceableRow rows[] = {
        {"read-only", FILE_ATTRIBUTE_READONLY},
        {"hidden", FILE_ATTRIBUTE_HIDDEN},
        {"system", FILE_ATTRIBUTE_SYSTEM},
    };
    for (const UnreplaceableRow &row : rows) {
        sim::Reset();
        sim::MakeFile(Target, OldContents, row.attributes);
        SetLastName(u"C:\\before.glim");
        EXPECT_EQ(2, Save(Target, MODE_OVERWRITE)) << row.what;
        EXPECT_EQ(Prefix + "Error opening " + Quoted + ":\r\n    Access is denied.\r\n",
                  sim::Stderr())
            << row.what;
        EXPECT_EQ(u"*ERROR*", savetest::LastNameText()) << row.what;
        EXPECT_EQ(0, sim::CallCount("ReadConsoleOutputW")) << row.what;
        EXPECT_TRUE(sim::Sounds().empty()) << row.what;
        ExpectFilesAfterFailure(MODE_OVERWRITE);
        ExpectNothingLeft();
    }
}

TEST_F(SaveFixture, OverwriteOfAFileInADirectoryThatIsMissingIsRefusedAtOpening) {
    const std::u16string missing = u"C:\\none\\a.glim";
    EXPECT_EQ(2, Save(missing, MODE_OVERWRITE));
    EXPECT_EQ(Prefix + "Error opening \"C:\\none\\a.glim\":\r\n"
                       "    The system cannot find the path specified.\r\n",
              sim::Stderr());
    EXPECT_EQ(0, sim::CallCount("ReadConsoleOutputW"));
    EXPECT_TRUE(sim::ListDirectory(u"C:\\").empty());
    ExpectNothingLeft();
}

// With /O the target is replaced by a move where that keeps what makes it
// the user's file, and written in place (once the screen is held) where a
// move would split it from its other names, replace a link by a plain
// file, or cannot be made. Every row ends with the new screen under every
// name of the target and no file of ours left beside it.
TEST_F(SaveFixture, OverwriteReplacesAsACarefulEditorSaves) {
    const std::u16string longName = u"C:\\d\\" + std::u16string(250, u'n') + u".glim";
    struct Row {
        const char *what;
        std::u16string target;
        void (*arrange)(const std::u16string &target);
        int moves;                           // MoveFileExW calls
        std::vector<std::u16string> listing; // of C:\d, afterwards
    };
    const Row rows[] = {
        {"a plain file", u"C:\\d\\a.glim", [](const std::u16string &) {}, 1, {u"a.glim"}},
        {"a name of 255 characters",
         longName,
         [](const std::u16string &) {},
         1,
         {longName.substr(5)}},
        {"a prefixed name", u"\\\\?\\C:\\d\\a.glim", [](const std::u16string &) {}, 1, {u"a.glim"}},
        {"a symbolic link",
         u"C:\\d\\link.glim",
         [](const std::u16string &) {
             sim::MakeFile(u"C:\\d\\real.glim", OldContents);
             sim::MakeFileLink(u"C:\\d\\link.glim", u"C:\\d\\real.glim");
         },
         0,
         {u"real.glim", u"link.glim"}},
        {"a file with a second name",
         u"C:\\d\\a.glim",
         [](const std::u16string &) { sim::MakeHardLink(u"C:\\d\\b.glim", u"C:\\d\\a.glim"); },
         0,
         {u"a.glim", u"b.glim"}},
        {"a folder that refuses new files",
         u"C:\\d\\a.glim",
         [](const std::u16string &) { sim::SetRefusesNewEntries(u"C:\\d"); },
         0,
         {u"a.glim"}},
        {"a move that is refused",
         u"C:\\d\\a.glim",
         [](const std::u16string &) { sim::FailAlways("MoveFileExW", ERROR_ACCESS_DENIED); },
         1,
         {u"a.glim"}},
        {"a target another program reads, sharing writes",
         u"C:\\d\\a.glim",
         [](const std::u16string &target) {
             sim::HoldOpen(target, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
         },
         1,
         {u"a.glim"}},
        {"every name for a file of ours taken",
         u"C:\\d\\a.glim",
         [](const std::u16string &) {
             for (int i = 0; i < 100; i++) {
                 sim::MakeDirectory(u"C:\\d\\~glimpset-" + sim::U16(std::to_string(i)) + u".tmp");
             }
         },
         0,
         {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        ModuleHandle = savetest::FakeModule();
        FillVariedScreen();
        std::u16string unprefixed =
            row.target.substr(0, 4) == u"\\\\?\\" ? row.target.substr(4) : row.target;
        if (unprefixed != u"C:\\d\\link.glim") {
            sim::MakeFile(unprefixed, OldContents);
        }
        row.arrange(row.target);
        ASSERT_EQ(0, Save(row.target, MODE_OVERWRITE | MODE_QUIET));
        sim::ClearFailures();
        EXPECT_EQ("", sim::Stderr());
        EXPECT_EQ(u"\"" + row.target + u"\"", savetest::LastNameText());
        EXPECT_EQ(row.moves, sim::CallCount("MoveFileExW"));
        if (row.moves > 0) {
            // On the disk before it takes the name, and the move before it returns.
            const std::vector<std::string> &log = sim::CallLog();
            EXPECT_LT(std::find(log.begin(), log.end(), "FlushFileBuffers"),
                      std::find(log.begin(), log.end(), "MoveFileExW"));
            EXPECT_EQ(std::vector<DWORD>{MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH},
                      sim::MoveFileFlags());
        }
        std::vector<std::u16string> names = sim::ListDirectory(u"C:\\d");
        std::vector<std::u16string> files;
        for (const std::u16string &name : names) {
            if (name.substr(0, 10) != u"~glimpset-") {
                files.push_back(name);
            }
            DWORD attributes = GetFileAttributesW((u"C:\\d\\" + name).c_str());
            if (name.substr(0, 10) != u"~glimpset-" &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                savetest::DecodedFile decoded =
                    savetest::DecodeFile(sim::FileBytes(u"C:\\d\\" + name));
                EXPECT_TRUE(decoded.ok && decoded.characters == sim::ConsoleChars())
                    << sim::U8(name);
            }
        }
        if (!row.listing.empty()) {
            EXPECT_EQ(row.listing, files);
            EXPECT_EQ(row.listing.size(), names.size()); // nothing of ours left beside
        }
        sim::ReleaseHeld(row.target);
        ExpectNothingLeft();
    }
    // The link is a link still.
    sim::Reset();
    sim::MakeFile(u"C:\\d\\real.glim", OldContents);
    sim::MakeFileLink(u"C:\\d\\link.glim", u"C:\\d\\real.glim");
    ASSERT_EQ(0, Save(u"C:\\d\\link.glim", MODE_OVERWRITE));
    EXPECT_NE(0u, GetFileAttributesW(u"C:\\d\\link.glim") & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Written in place, the old content is lost only when the write itself
// fails, and the message says that the file could not be written.
TEST_F(SaveFixture, OverwriteInPlaceThatCannotWriteSaysSo) {
    FillNoise();
    sim::MakeFile(Target, OldContents);
    sim::MakeHardLink(u"C:\\b.glim", Target);
    SetLastName(u"C:\\before.glim");
    sim::FailCall("WriteFile", 2, ERROR_DISK_FULL);
    EXPECT_EQ(2, Save(Target, MODE_OVERWRITE));
    EXPECT_EQ(Prefix + "Error writing to file " + Quoted +
                  ":\r\n    There is not enough space on the disk.\r\n",
              sim::Stderr());
    EXPECT_EQ(u"*ERROR*", savetest::LastNameText());
    EXPECT_EQ((size_t)HEADER_SIZE, sim::FileBytes(u"C:\\b.glim").size());
    EXPECT_EQ(std::vector<std::u16string>({u"a.glim", u"b.glim"}), sim::ListDirectory(u"C:\\"));
    EXPECT_TRUE(sim::Sounds().empty());
    ExpectNothingLeft();
}

// A name that opens a device (the console, NUL, a port, a pipe) is refused
// as soon as it is open, with or without /O: nothing is written to it and
// nothing is created.
TEST_F(SaveFixture, OnlyAFileOnDiskIsWritten) {
    struct Row {
        const char16_t *name;
        DWORD flags;
        std::string message; // after the prefix
    };
    const Row rows[] = {
        {u"\\\\.\\CONOUT$", 0, "\"\\\\.\\CONOUT$\" is not a file on disk.\r\n"},
        {u"\\\\.\\CONOUT$", MODE_OVERWRITE, "\"\\\\.\\CONOUT$\" is not a file on disk.\r\n"},
        {u"\\\\.\\NUL", 0, "\"\\\\.\\NUL\" is not a file on disk.\r\n"},
        {u"\\\\.\\NUL", MODE_OVERWRITE, "\"\\\\.\\NUL\" is not a file on disk.\r\n"},
        {u"\\\\.\\CONIN$", MODE_OVERWRITE, "\"\\\\.\\CONIN$\" is not a file on disk.\r\n"},
        {u"\\\\.\\COM1", 0, "\"\\\\.\\COM1\" is not a file on disk.\r\n"},
        {u"\\\\.\\pipe\\screens", MODE_OVERWRITE,
         "\"\\\\.\\pipe\\screens\" is not a file on disk.\r\n"},
        {u"\\\\.\\CON", 0,
         "Error opening \"\\\\.\\CON\":\r\n    The system cannot find the file specified.\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(sim::U8(row.name) + (row.flags ? " /O" : ""));
        sim::Reset();
        ModuleHandle = savetest::FakeModule();
        sim::SetPortPresent(u"COM1");
        sim::MakePipe(u"screens");
        FillVariedScreen();
        std::vector<WORD> cells = sim::ConsoleChars();
        SetLastName(u"C:\\before.glim");
        EXPECT_EQ(2, Save(row.name, row.flags));
        EXPECT_EQ(Prefix + row.message, sim::Stderr());
        EXPECT_EQ(u"*ERROR*", savetest::LastNameText());
        EXPECT_EQ(0, sim::CallCount("ReadConsoleOutputW"));
        EXPECT_EQ(0, sim::CallCount("MoveFileExW") + sim::CallCount("DeleteFileW"));
        EXPECT_TRUE(cells == sim::ConsoleChars());
        EXPECT_TRUE(sim::ListDirectory(u"C:\\").empty());
        EXPECT_TRUE(sim::Sounds().empty());
        ExpectNothingLeft();
    }
}

// A made-up name is only ever created new. When another save creates it
// between its making up and this save's creation, the next free name is
// taken (with or without /O); when none is left, the name-generation
// message says so and _lastglim keeps its value.
TEST_F(SaveFixture, MadeUpNameTakenMeanwhileMovesOnToTheNextFreeName) {
    const std::u16string plain = u"C:\\Work\\Glimpset 2024-03-05 09.07.02.glim";
    for (DWORD flags : {(DWORD)0, (DWORD)MODE_OVERWRITE}) {
        SCOPED_TRACE(flags);
        sim::Reset();
        sim::MakeDirectory(u"C:\\Work");
        // Taken by the time the file is created: the console is opened by
        // the first CreateFileW, the made-up name by the second.
        sim::FailCall("CreateFileW", 2, ERROR_FILE_EXISTS);
        std::u16string path;
        ASSERT_EQ(0, Save(u"C:\\Work", flags | MODE_QUIET, &path));
        EXPECT_EQ(u"C:\\Work\\Glimpset 2024-03-05 09.07.02-0000.glim", path);
        EXPECT_EQ(std::vector<std::u16string>{u"Glimpset 2024-03-05 09.07.02-0000.glim"},
                  sim::ListDirectory(u"C:\\Work"));
        EXPECT_EQ(0, sim::CallCount("MoveFileExW"));
        EXPECT_EQ("", sim::Stderr());
        ExpectNothingLeft();
    }

    // Every later name taken meanwhile.
    sim::Reset();
    sim::MakeDirectory(u"C:\\Work");
    for (int counter = 0; counter < 65536; counter++) {
        WCHAR name[64];
        wsprintfW(name, u"C:\\Work\\Glimpset 2024-03-05 09.07.02-%04X.glim", counter);
        sim::MakeFile(name, std::string());
    }
    sim::FailPath("CreateFileW", plain, ERROR_ALREADY_EXISTS);
    SetLastName(u"C:\\before.glim");
    EXPECT_EQ(2, Save(u"C:\\Work", MODE_OVERWRITE));
    EXPECT_EQ(Prefix + "Error generating glimpset name in \"C:\\Work\"\r\n", sim::Stderr());
    EXPECT_EQ(u"\"C:\\before.glim\"", savetest::LastNameText());
    EXPECT_FALSE(sim::Exists(plain));
    ExpectNothingLeft();
}

// A current directory too long for the host's expansion comes back empty:
// no name can be made up there, and nothing is opened.
TEST_F(SaveFixture, CurrentDirectoryTheHostCannotExpandIsNoPlaceForAName) {
    std::u16string directory = u"C:";
    while (directory.size() < 1100) {
        directory += u"\\" + std::u16string(100, u'd');
    }
    sim::MakeDirectory(directory);
    sim::SetCurrentDirectory(directory);
    SetLastName(u"C:\\before.glim");
    EXPECT_EQ(2, Save(u"", 0));
    EXPECT_EQ(Prefix + "Error generating glimpset name in \"%_cwds\"\r\n", sim::Stderr());
    EXPECT_EQ(u"\"C:\\before.glim\"", savetest::LastNameText());
    EXPECT_EQ(0, sim::CallCount("CreateFileW"));
    ExpectNothingLeft();
}

// ---- The target on its own, without a console: the way each name is
// opened, and nothing of the save's own left once it is abandoned. (The
// names refused at opening are the tests above.)

enum Way { REFUSED, NEW_FILE, BY_MOVE, IN_PLACE };

TEST_F(SaveFixture, TargetIsOpenedTheWayItsNameAllowsAndAbandonedWithoutATrace) {
    const std::u16string madeUp = u"C:\\Glimpset 2024-03-05 09.07.02.glim";
    struct Row {
        const char *what;
        std::u16string path;
        TargetRule rule;
        void (*arrange)();
        Way way;
        std::vector<std::u16string> listing; // of the folder once abandoned
    };
    const Row rows[] = {
        {"nothing there", Target, TARGET_NEW, [] {}, NEW_FILE, {}},
        {"a file to replace",
         Target,
         TARGET_REPLACE,
         [] { sim::MakeFile(Target, OldContents); },
         BY_MOVE,
         {u"a.glim"}},
        {"a file of two names",
         Target,
         TARGET_REPLACE,
         [] {
             sim::MakeFile(Target, OldContents);
             sim::MakeHardLink(u"C:\\b.glim", Target);
         },
         IN_PLACE,
         {u"a.glim", u"b.glim"}},
        {"a folder without new files",
         Target,
         TARGET_REPLACE,
         [] {
             sim::MakeFile(Target, OldContents);
             sim::SetRefusesNewEntries(u"C:\\");
         },
         IN_PLACE,
         {u"a.glim"}},
        {"a made-up name taken meanwhile",
         madeUp,
         TARGET_MADE_UP,
         [] { sim::MakeFile(u"C:\\Glimpset 2024-03-05 09.07.02.glim", ""); },
         NEW_FILE,
         {u"Glimpset 2024-03-05 09.07.02.glim"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        sim::Reset();
        row.arrange();
        SYSTEMTIME time;
        GetLocalTime(&time);
        std::vector<WCHAR> path = PathBuffer(row.path);
        SaveTarget target = {path.data(),          row.rule, &time, 3,    0,
                             INVALID_HANDLE_VALUE, nullptr,  FALSE, FALSE};
        int opened = OpenSaveTarget(&target);
        EXPECT_EQ(row.way == REFUSED ? 2 : 0, opened);
        Way way = opened != 0                           ? REFUSED
                  : target.file == INVALID_HANDLE_VALUE ? IN_PLACE
                  : target.temporaryMade                ? BY_MOVE
                                                        : NEW_FILE;
        EXPECT_EQ(row.way, way);
        EXPECT_EQ(row.way == NEW_FILE, target.madeNew != FALSE);
        if (row.rule == TARGET_MADE_UP) {
            EXPECT_EQ(u"C:\\Glimpset 2024-03-05 09.07.02-0000.glim", Text(path.data()));
        }
        AbandonSaveTarget(&target);
        EXPECT_EQ(row.listing, sim::ListDirectory(u"C:\\"));
        if (!row.listing.empty() && row.listing[0] == u"a.glim") {
            std::vector<uint8_t> old = sim::FileBytes(Target);
            EXPECT_EQ(OldContents, std::string(old.begin(), old.end()));
        }
        EXPECT_EQ(0, sim::OpenHandles());
        EXPECT_EQ(0, sim::LiveAllocations());
    }
}

} // namespace
