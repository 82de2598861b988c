// restore_test.cpp: restoring Glimpset and SAVECON files into the simulated
// console: every failure with its message and what it leaves, the decoded
// screen, the order and shape of the console writes, and the window.
#include "command/options.h"
#include "restore/restore.h"
#include "host/hoststate.h"
#include "tests/restore/screens.h"
#include "tests/support/glimtest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace restoretest;

namespace {

const char16_t FILE_NAME[] = u"C:\\screen.glim";
const std::string QUOTED = "\"C:\\screen.glim\"";

class RestoreTest : public glimtest::GlimTest {
  protected:
    int Restore(const std::vector<uint8_t> &bytes, DWORD flags = 0) {
        sim::MakeFile(FILE_NAME, bytes);
        return RestoreScreen(FILE_NAME, flags);
    }
    void ExpectNothingLeft() {
        EXPECT_EQ(sim::OpenHandles(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
    }
    // The console holds `screen`: size, every cell, cursor, attribute.
    void ExpectScreen(const Screen &screen) {
        sim::ConsoleState &state = sim::Console();
        ASSERT_EQ(state.columns, screen.columns);
        ASSERT_EQ(state.rows, screen.rows);
        EXPECT_TRUE(sim::ConsoleChars() == screen.characters);
        EXPECT_TRUE(sim::ConsoleAttrs() == screen.attributes);
        EXPECT_EQ(state.cursorColumn, screen.cursorColumn);
        EXPECT_EQ(state.cursorRow, screen.cursorRow);
        EXPECT_EQ(state.attribute, (WORD)(screen.attribute & 0xFF));
    }
    int WindowTop() {
        return sim::Console().window.Top;
    }
    int WindowHeight() {
        return sim::Console().window.Bottom - sim::Console().window.Top + 1;
    }
    int WindowWidth() {
        return sim::Console().window.Right - sim::Console().window.Left + 1;
    }
};

std::vector<uint8_t> Truncated(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// A Glimpset file of the given cells, with a raw token stream after the header.
std::vector<uint8_t> WithStream(const Screen &screen, const std::vector<WORD> &words) {
    std::vector<uint8_t> bytes = Truncated(GlimpsetBytes(screen), HEADER_SIZE);
    for (WORD word : words) {
        bytes.push_back((uint8_t)(word & 0xFF));
        bytes.push_back((uint8_t)(word >> 8));
    }
    return bytes;
}

Screen Blank(int columns, int rows, WORD attribute) {
    Screen screen = PatternScreen(columns, rows);
    std::fill(screen.characters.begin(), screen.characters.end(), (WORD)' ');
    std::fill(screen.attributes.begin(), screen.attributes.end(), attribute);
    screen.attribute = attribute;
    return screen;
}

TEST_F(RestoreTest, MissingNameIsAUsageErrorThatOpensNothing) {
    const char16_t empty[] = u"";
    for (const char16_t *name : {(const char16_t *)nullptr, empty}) {
        glimtest::ResetAll();
        EXPECT_EQ(RestoreScreen(name, 0), 1);
        EXPECT_EQ(sim::Stderr(), glimtest::Prefix() + "Missing filename\r\n");
        EXPECT_EQ(sim::CallCount("CreateFileW"), 0);
        ExpectNothingLeft();
    }
}

// Every failure before the console is changed: its message, its result, and
// a console, a volume and a heap exactly as they were.
TEST_F(RestoreTest, FailuresBeforeTheConsoleChangesLeaveEverythingAsItWas) {
    Screen same = PatternScreen(80, 300);
    same.cursorRow = 100;
    Screen wider = PatternScreen(100, 300);
    std::vector<uint8_t> good = GlimpsetBytes(same);
    std::vector<uint8_t> version2 = good;
    PutWord(version2, offsetof(GlimpsetHeader, version), 2);
    std::vector<uint8_t> badCrc = good;
    PutDword(badCrc, offsetof(GlimpsetHeader, crc), 0x12345678);
    std::vector<uint8_t> unknown = good;
    unknown[0] = 'g';
    Screen tiny = Blank(22, 8, 0x07);
    std::vector<WORD> oneShort(22 * 8 - 1, (WORD)'x');
    std::vector<uint8_t> shortStream = WithStream(tiny, oneShort);
    // TOKEN_RUN with its count but without its character.
    std::vector<uint8_t> cutRun = WithStream(tiny, {(WORD)'a', TOKEN_RUN, 0x0010});
    const std::string eof = "    Reached the end of the file.\r\n";
    const std::string readFault = "    The system cannot read from the specified device.\r\n";

    struct Row {
        const char *what;
        std::function<void()> arrange;
        std::string stderrText;
        int result;
    };
    std::vector<Row> rows = {
        {"console does not open",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::FailPath("CreateFileW", u"CONOUT$", ERROR_ACCESS_DENIED);
         },
         glimtest::Prefix() + "Error opening console:\r\n    Access is denied.\r\n", 2},
        {"file missing", [&] {},
         glimtest::Prefix() + "Error opening file " + QUOTED +
             ":\r\n    The system cannot find the file specified.\r\n",
         2},
        {"read buffer not allocated",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::FailCall("HeapAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
         },
         glimtest::Prefix() + "Can\u2019t allocate file buffer\r\n", 2},
        {"header read fails",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::FailCall("ReadFile", 1, ERROR_READ_FAULT);
         },
         glimtest::Prefix() + "Error reading from file " + QUOTED + ":\r\n" + readFault, 2},
        {"79-byte file", [&] { sim::MakeFile(FILE_NAME, Truncated(good, 79)); },
         glimtest::Prefix() + "Error reading from file " + QUOTED + ":\r\n" + eof, 2},
        {"empty file", [&] { sim::MakeFile(FILE_NAME, std::vector<uint8_t>()); },
         glimtest::Prefix() + "Error reading from file " + QUOTED + ":\r\n" + eof, 2},
        {"not recognised", [&] { sim::MakeFile(FILE_NAME, unknown); },
         glimtest::Prefix() + "File " + QUOTED + " is not a Glimpset file.\r\n", 2},
        {"version 2", [&] { sim::MakeFile(FILE_NAME, version2); },
         glimtest::Prefix() + "Unsupported Glimpset file version:  2\r\n", 2},
        {"character array not allocated",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::FailCall("HeapAlloc", 2, ERROR_NOT_ENOUGH_MEMORY);
         },
         glimtest::Prefix() + "Can\u2019t allocate temporary buffers\r\n", 2},
        {"attribute array not allocated",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::FailCall("HeapAlloc", 3, ERROR_NOT_ENOUGH_MEMORY);
         },
         glimtest::Prefix() + "Can\u2019t allocate temporary buffers\r\n", 2},
        {"stream read fails",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::FailCall("ReadFile", 2, ERROR_READ_FAULT);
         },
         glimtest::Prefix() + "Error reading from file " + QUOTED + ":\r\n" + readFault, 2},
        {"header only", [&] { sim::MakeFile(FILE_NAME, Truncated(good, HEADER_SIZE)); },
         glimtest::Prefix() + "Error reading from file " + QUOTED + ":\r\n" + eof, 2},
        {"stream one cell short", [&] { sim::MakeFile(FILE_NAME, shortStream); },
         glimtest::Prefix() + "Error reading from file " + QUOTED + ":\r\n" + eof, 2},
        {"stream ends inside a run", [&] { sim::MakeFile(FILE_NAME, cutRun); },
         glimtest::Prefix() + "Error reading from file " + QUOTED + ":\r\n" + eof, 2},
        {"CRC differs", [&] { sim::MakeFile(FILE_NAME, badCrc); },
         glimtest::Prefix() + "CRC32 mismatch\r\n", 2},
        {"no console window",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::Console().hasWindow = false;
         },
         glimtest::Prefix() + "Can\u2019t get current screen buffer info\r\n", 2},
        {"screen buffer info unreadable",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::FailAlways("GetConsoleScreenBufferInfo", ERROR_INVALID_HANDLE);
         },
         glimtest::Prefix() + "Can\u2019t get current screen buffer info\r\n", 2},
        {"window one row high",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::Console().window = SMALL_RECT{0, 16, 79, 16};
         },
         glimtest::Prefix() + "Can\u2019t get current screen buffer info\r\n", 2},
        {"window one column wide",
         [&] {
             sim::MakeFile(FILE_NAME, good);
             sim::Console().window = SMALL_RECT{3, 16, 3, 40};
         },
         glimtest::Prefix() + "Can\u2019t get current screen buffer info\r\n", 2},
        {"resize refused in a tab window",
         [&] {
             sim::MakeFile(FILE_NAME, GlimpsetBytes(wider));
             HostSetTabWindow(1);
         },
         glimtest::Prefix() +
             "Can\u2019t resize a Take Command tab window.\r\nDetach the tab and try again.\r\n",
         2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        glimtest::ResetAll();
        MarkConsole();
        row.arrange();
        ConsoleSnapshot before = TakeSnapshot();
        std::vector<uint8_t> fileBefore = sim::FileBytes(FILE_NAME);
        EXPECT_EQ(RestoreScreen(FILE_NAME, 0), row.result);
        EXPECT_EQ(sim::Stderr(), row.stderrText);
        EXPECT_EQ(sim::Stdout(), "");
        EXPECT_TRUE(SameConsole(TakeSnapshot(), before));
        EXPECT_TRUE(sim::FileBytes(FILE_NAME) == fileBefore);
        EXPECT_TRUE(sim::Sounds().empty());
        EXPECT_TRUE(sim::Moves().empty());
        ExpectNothingLeft();
    }
}

// A name that opens a device (the console, NUL, a port, a pipe) is refused
// as soon as it is open: nothing is read from it, and the console stays.
TEST_F(RestoreTest, OnlyAFileOnDiskIsRead) {
    struct Row {
        const char16_t *name;
        std::string message; // after the prefix
    };
    const Row rows[] = {
        {u"CON", "\"CON\" is not a file on disk.\r\n"},
        {u"CONIN$", "\"CONIN$\" is not a file on disk.\r\n"},
        {u"\\\\.\\CONIN$", "\"\\\\.\\CONIN$\" is not a file on disk.\r\n"},
        {u"\\\\.\\CONOUT$", "\"\\\\.\\CONOUT$\" is not a file on disk.\r\n"},
        {u"NUL", "\"NUL\" is not a file on disk.\r\n"},
        {u"AUX", "\"AUX\" is not a file on disk.\r\n"},
        {u"\\\\.\\COM1", "\"\\\\.\\COM1\" is not a file on disk.\r\n"},
        {u"\\\\.\\pipe\\screens", "\"\\\\.\\pipe\\screens\" is not a file on disk.\r\n"},
        {u"COM2",
         "Error opening file \"COM2\":\r\n    The system cannot find the file specified.\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(sim::U8(row.name));
        glimtest::ResetAll();
        sim::SetPortPresent(u"COM1");
        sim::MakePipe(u"screens");
        MarkConsole();
        ConsoleSnapshot before = TakeSnapshot();
        EXPECT_EQ(RestoreScreen(row.name, 0), 2);
        EXPECT_EQ(sim::Stderr(), glimtest::Prefix() + row.message);
        EXPECT_EQ(sim::CallCount("ReadFile"), 0);
        EXPECT_TRUE(SameConsole(TakeSnapshot(), before));
        EXPECT_TRUE(sim::Sounds().empty());
        ExpectNothingLeft();
    }
    // When the system cannot say what the file is, it is not read either.
    glimtest::ResetAll();
    sim::MakeFile(FILE_NAME, GlimpsetBytes(PatternScreen(80, 300)));
    sim::FailAlways("GetFileType", ERROR_INVALID_HANDLE);
    EXPECT_EQ(RestoreScreen(FILE_NAME, 0), 2);
    EXPECT_EQ(sim::Stderr(), glimtest::Prefix() + "Error opening file " + QUOTED +
                                 ":\r\n    The handle is invalid.\r\n");
    EXPECT_EQ(sim::CallCount("ReadFile"), 0);
    ExpectNothingLeft();
}

// A saved window of one row would leave a console that no restore can
// measure: it restores with the current height, and the next restore works.
TEST_F(RestoreTest, AWindowOfOneRowNeverLocksOutTheNextRestore) {
    Screen low = PatternScreen(100, 200);
    low.cursorRow = 150;
    low.windowHeight = 1;
    ASSERT_EQ(Restore(GlimpsetBytes(low), MODE_QUIET), 0);
    EXPECT_EQ(WindowHeight(), 25);
    Screen next = PatternScreen(80, 300);
    next.cursorRow = 250;
    ASSERT_EQ(Restore(GlimpsetBytes(next), MODE_QUIET), 0) << sim::Stderr();
    ExpectScreen(next);
    EXPECT_EQ(sim::Stderr(), "");
    ExpectNothingLeft();
}

TEST_F(RestoreTest, FileIsClosedAndBufferFreedAsSoonAsDecodingStops) {
    Screen screen = PatternScreen(80, 300);
    sim::MakeFile(FILE_NAME, GlimpsetBytes(screen));
    sim::ResetPeak();
    ASSERT_EQ(RestoreScreen(FILE_NAME, MODE_QUIET), 0);
    // Between the last read of the file and the first look at the console,
    // the file is closed and the read buffer freed.
    const std::vector<std::string> &log = sim::CallLog();
    size_t lastRead = 0;
    size_t firstLook = log.size();
    for (size_t i = 0; i < log.size(); i++) {
        if (log[i] == "ReadFile") {
            lastRead = i;
        }
        if (log[i] == "GetConsoleWindow" && firstLook == log.size()) {
            firstLook = i;
        }
    }
    ASSERT_LT(lastRead, firstLook);
    std::vector<std::string> between(log.begin() + lastRead + 1, log.begin() + firstLook);
    EXPECT_NE(std::find(between.begin(), between.end(), "CloseHandle"), between.end());
    EXPECT_NE(std::find(between.begin(), between.end(), "HeapFree"), between.end());
    // The read buffer, the two arrays and the block of CHAR_INFO cells,
    // allocated once each.
    EXPECT_EQ(sim::CallCount("HeapAlloc"), 4);
    EXPECT_EQ(sim::PeakBytes(), 16384u + 2u * 80 * 300 * 2 + 8192u * sizeof(CHAR_INFO));
}

TEST_F(RestoreTest, SameSizeScreenIsRestoredWithoutResizing) {
    Screen screen = PatternScreen(80, 300);
    screen.cursorColumn = 17;
    screen.cursorRow = 200;
    screen.attribute = 0x1E;
    screen.windowHeight = 50; // not used: the window keeps its height
    MarkConsole();
    ASSERT_EQ(Restore(GlimpsetBytes(screen)), 0);
    ExpectScreen(screen);
    EXPECT_EQ(sim::Stderr(), "");
    EXPECT_EQ(sim::CallCount("SetConsoleScreenBufferSize"), 0);
    EXPECT_TRUE(sim::Moves().empty());
    // The window keeps its 25 rows and ends on the cursor's row.
    EXPECT_EQ(WindowTop(), 176);
    EXPECT_EQ(WindowHeight(), 25);
    EXPECT_EQ(WindowWidth(), 80);
    EXPECT_EQ(sim::Console().inputCodePage, 1252u);
    EXPECT_EQ(sim::Console().outputCodePage, 65001u);
    ASSERT_EQ(sim::Sounds().size(), 1u);
    EXPECT_EQ(sim::Sounds()[0].name, u"SystemNotification");
    EXPECT_EQ(sim::Sounds()[0].module, (HMODULE) nullptr);
    EXPECT_EQ(sim::Sounds()[0].flags, 0x10001u);
    ExpectNothingLeft();
}

TEST_F(RestoreTest, ConsoleIsChangedInItsFixedOrder) {
    Screen screen = PatternScreen(80, 101);
    ASSERT_EQ(Restore(GlimpsetBytes(screen)), 0);
    std::vector<std::string> wanted = {"SetConsoleScreenBufferSize",
                                       "WriteConsoleOutputW",
                                       "SetConsoleCursorPosition",
                                       "SetConsoleWindowInfo",
                                       "SetConsoleTextAttribute",
                                       "SetConsoleOutputCP",
                                       "SetConsoleCP",
                                       "PlaySoundW"};
    std::vector<std::string> seen;
    for (const std::string &call : sim::CallLog()) {
        if (std::find(wanted.begin(), wanted.end(), call) != wanted.end()) {
            seen.push_back(call);
        }
    }
    EXPECT_EQ(seen, wanted);
}

TEST_F(RestoreTest, CrcMismatchIsIgnoredUnderNoCrcOption) {
    Screen screen = PatternScreen(80, 300);
    std::vector<uint8_t> bytes = GlimpsetBytes(screen);
    PutDword(bytes, offsetof(GlimpsetHeader, crc), 0xDEADBEEF);
    ASSERT_EQ(Restore(bytes, MODE_NO_CRC), 0);
    EXPECT_EQ(sim::Stderr(), "");
    ExpectScreen(screen);
    ExpectNothingLeft();
}

// Cells go out in blocks of 8,192 / columns whole rows. A failing write of
// the second block shows where the first one ended.
TEST_F(RestoreTest, CellsAreWrittenInBlocksOfWholeRows) {
    struct Row {
        int columns, rows;
        int writes;        // calls of the cell write
        int firstBlockEnd; // last row of the first block
    };
    const Row rows[] = {
        {80, 300, 3, 101}, {80, 101, 1, 100}, {80, 102, 1, 101},
        {80, 103, 2, 101}, {512, 40, 3, 15},  {22, 9999, 27, 371},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << row.columns << " x " << row.rows);
        glimtest::ResetAll();
        Screen screen = PatternScreen(row.columns, row.rows);
        screen.windowHeight = 8;
        ASSERT_EQ(Restore(GlimpsetBytes(screen), MODE_QUIET), 0);
        EXPECT_EQ(sim::CallCount("WriteConsoleOutputW"), row.writes);
        EXPECT_EQ(sim::CallCount("WriteConsoleOutputCharacterW"), 0);
        ExpectScreen(screen);
        if (row.writes < 2) {
            continue;
        }
        glimtest::ResetAll();
        sim::FailCall("WriteConsoleOutputW", 2, ERROR_INVALID_HANDLE);
        ASSERT_EQ(Restore(GlimpsetBytes(screen), 0), 2);
        EXPECT_EQ(sim::Stderr(),
                  glimtest::Prefix() +
                      "Error writing data to console buffer:\r\n    The handle is invalid.\r\n");
        // The new size and the first block stay; nothing after it is written.
        ASSERT_EQ(sim::Console().columns, row.columns);
        size_t split = (size_t)(row.firstBlockEnd + 1) * (size_t)row.columns;
        std::vector<WORD> &chars = sim::ConsoleChars();
        std::vector<WORD> &attrs = sim::ConsoleAttrs();
        EXPECT_TRUE(std::equal(chars.begin(), chars.begin() + split, screen.characters.begin()));
        EXPECT_TRUE(std::equal(attrs.begin(), attrs.begin() + split, screen.attributes.begin()));
        EXPECT_EQ(chars[split], (WORD)' ');
        EXPECT_TRUE(sim::Sounds().empty());
        ExpectNothingLeft();
    }
}

TEST_F(RestoreTest, FailedFirstCellWriteStopsTheRestore) {
    Screen screen = PatternScreen(80, 300);
    sim::FailCall("WriteConsoleOutputW", 1, ERROR_INVALID_HANDLE);
    ASSERT_EQ(Restore(GlimpsetBytes(screen)), 2);
    EXPECT_EQ(sim::Stderr(),
              glimtest::Prefix() +
                  "Error writing data to console buffer:\r\n    The handle is invalid.\r\n");
    EXPECT_EQ(sim::CallCount("WriteConsoleOutputW"), 1);
    EXPECT_EQ(sim::CallCount("SetConsoleCursorPosition"), 0);
    ExpectNothingLeft();
}

// Cells go back as they were saved, one CHAR_INFO each (a wide character
// saved in its two cells is the save tests' round trip): a cell saved
// without a flag takes one cell whatever width the console now gives its
// character, and a file whose trailing halves are missing (written by an
// earlier save) is written as it stands, leaving every other row alone.
TEST_F(RestoreTest, CellsGoBackAsSavedWhateverTheWidthsAreNow) {
    struct Row {
        const char *what;
        bool ambiguousWide;                         // the console's font is a CJK one
        std::vector<std::pair<WORD, WORD>> saved;   // row 3 from column 0
        std::vector<std::pair<WORD, WORD>> console; // row 3 afterwards
    };
    const Row rows[] = {
        {"letters saved narrow, restored where they are wide",
         true,
         {{0x0416, 0x0A}, {0x0443, 0x0A}, {0x043A, 0x0A}, {'!', 0x0A}},
         {{0x0416, 0x0A}, {0x0443, 0x0A}, {0x043A, 0x0A}, {'!', 0x0A}}},
        {"trailing halves missing, as an earlier save wrote them",
         false,
         {{0x4E2D, 0x107}, {0x6587, 0x207}, {'a', 0x107}, {'b', 0x207}, {'c', 0x07}},
         {{0x4E2D, 0x107}, {0x4E2D, 0x207}, {'a', 0x107}, {'a', 0x207}, {'c', 0x07}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        glimtest::ResetAll();
        sim::SetAmbiguousWide(row.ambiguousWide);
        Screen screen = PatternScreen(80, 300);
        for (size_t i = 0; i < row.saved.size(); i++) {
            screen.characters[3 * 80 + i] = row.saved[i].first;
            screen.attributes[3 * 80 + i] = row.saved[i].second;
        }
        ASSERT_EQ(Restore(GlimpsetBytes(screen), MODE_QUIET), 0);
        for (size_t i = 0; i < row.console.size(); i++) {
            screen.characters[3 * 80 + i] = row.console[i].first;
            screen.attributes[3 * 80 + i] = row.console[i].second;
        }
        ExpectScreen(screen);
        ExpectNothingLeft();
    }
}

// The cursor's row becomes the window's last row, unless the cursor lies in
// the first h rows: then the window shows the top of the buffer.
TEST_F(RestoreTest, WindowEndsOnTheCursorRowOrShowsTheTop) {
    struct Row {
        int cursorRow;
        int top, bottom;
    };
    const Row rows[] = {
        {3, 0, 24}, {0, 0, 24}, {24, 0, 24}, {25, 1, 25}, {150, 126, 150}, {299, 275, 299},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.cursorRow);
        glimtest::ResetAll();
        Screen screen = PatternScreen(80, 300);
        screen.cursorRow = row.cursorRow;
        ASSERT_EQ(Restore(GlimpsetBytes(screen), MODE_QUIET), 0);
        EXPECT_EQ(sim::Console().window.Top, row.top);
        EXPECT_EQ(sim::Console().window.Bottom, row.bottom);
        EXPECT_EQ(sim::Console().window.Left, 0);
        EXPECT_EQ(sim::Console().window.Right, 79);
        EXPECT_EQ(sim::Console().cursorRow, row.cursorRow);
    }
}

// Only the low byte of the saved attribute becomes the text attribute; the
// cells keep all sixteen bits.
TEST_F(RestoreTest, TextAttributeTakesTheLowByteOnly) {
    Screen screen = PatternScreen(80, 300);
    std::vector<uint8_t> bytes = GlimpsetBytes(screen);
    PutWord(bytes, offsetof(GlimpsetHeader, attribute), 0x801E);
    ASSERT_EQ(Restore(bytes, MODE_QUIET), 0);
    EXPECT_EQ(sim::Console().attribute, 0x1E);
    EXPECT_TRUE(sim::ConsoleAttrs() == screen.attributes);
}

TEST_F(RestoreTest, TokenStreamsDecodeIntoTheConsole) {
    Screen screen = Blank(22, 8, 0x07);
    const DWORD count = 22 * 8;
    struct Row {
        const char *what;
        std::vector<WORD> words;
        std::function<void(Screen &)> expect;
    };
    std::vector<Row> rows = {
        {"blank tail in another attribute",
         {(WORD)'a', TOKEN_ATTRIBUTE, 0x1F, TOKEN_BLANK_TO_END},
         [](Screen &s) {
             s.characters[0] = 'a';
             std::fill(s.attributes.begin() + 1, s.attributes.end(), (WORD)0x1F);
         }},
        {"run of 0 means 65536, cut at the last cell",
         {TOKEN_RUN, 0, (WORD)'r'},
         [](Screen &s) { std::fill(s.characters.begin(), s.characters.end(), (WORD)'r'); }},
        {"surplus words after the last cell are ignored", std::vector<WORD>(count + 5, (WORD)'z'),
         [](Screen &s) { std::fill(s.characters.begin(), s.characters.end(), (WORD)'z'); }},
        {"a lone 0xFFFF is a character",
         {0xFFFF, TOKEN_LITERAL, TOKEN_BLANK_TO_END, TOKEN_BLANK_TO_END},
         [](Screen &s) {
             s.characters[0] = 0xFFFF;
             s.characters[1] = TOKEN_BLANK_TO_END;
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        glimtest::ResetAll();
        Screen wanted = screen;
        row.expect(wanted);
        std::vector<uint8_t> bytes = WithStream(screen, row.words);
        PutDword(bytes, offsetof(GlimpsetHeader, crc),
                 ScreenCrc32(wanted.characters.data(), wanted.attributes.data(), count));
        ASSERT_EQ(Restore(bytes, MODE_QUIET), 0);
        EXPECT_EQ(sim::Stderr(), "");
        ExpectScreen(wanted);
        ExpectNothingLeft();
    }
}

TEST_F(RestoreTest, SaveconFileIsReadFromByte22Or832AndKeepsTheCodePages) {
    for (bool early : {true, false}) {
        SCOPED_TRACE(early ? "from byte 22" : "from byte 832");
        glimtest::ResetAll();
        MarkConsole();
        Screen screen = PatternScreen(90, 200);
        screen.attribute = 0x4017;
        screen.cursorColumn = 12;
        screen.cursorRow = 150;
        screen.windowHeight = 30;
        std::vector<uint8_t> bytes = SaveconBytes(screen, early);
        ASSERT_EQ(Restore(bytes), 0);
        EXPECT_EQ(sim::Stderr(), "");
        ExpectScreen(screen);
        EXPECT_EQ(sim::Console().attribute, 0x17);
        EXPECT_EQ(sim::Console().inputCodePage, 850u);
        EXPECT_EQ(sim::Console().outputCodePage, 852u);
        EXPECT_EQ(sim::CallCount("SetConsoleCP"), 0);
        EXPECT_EQ(sim::CallCount("SetConsoleOutputCP"), 0);
        // The saved window height, ending on the cursor's row.
        EXPECT_EQ(WindowTop(), 121);
        EXPECT_EQ(WindowHeight(), 30);
        EXPECT_EQ(sim::Sounds().size(), 1u);
        ExpectNothingLeft();
    }
}

// A SAVECON file may simply end: the cell that lost its attribute gets the
// saved one, every later cell becomes a space in it.
TEST_F(RestoreTest, SaveconFileThatEndsEarlyIsCompletedWithBlanks) {
    Screen screen = PatternScreen(80, 300);
    screen.attribute = 0x0017;
    std::vector<uint8_t> bytes = SaveconBytes(screen, false);
    const size_t cells = 100;
    bytes.resize(832 + cells * 4 + 2); // cell 100 has its character only
    ASSERT_EQ(Restore(bytes), 0);
    Screen wanted = screen;
    for (size_t i = cells; i < wanted.characters.size(); i++) {
        wanted.characters[i] = i == cells ? screen.characters[i] : (WORD)' ';
        wanted.attributes[i] = 0x0017;
    }
    ExpectScreen(wanted);
    ExpectNothingLeft();

    // Nothing but the header: an all-blank screen.
    glimtest::ResetAll();
    bytes.resize(80);
    ASSERT_EQ(Restore(bytes), 0);
    EXPECT_TRUE(sim::ConsoleChars() == std::vector<WORD>(80 * 300, (WORD)' '));
    EXPECT_TRUE(sim::ConsoleAttrs() == std::vector<WORD>(80 * 300, (WORD)0x0017));
}

TEST_F(RestoreTest, SaveconReadFailureIsAReadError) {
    Screen screen = PatternScreen(80, 300);
    MarkConsole();
    ConsoleSnapshot before = TakeSnapshot();
    sim::FailCall("ReadFile", 3, ERROR_READ_FAULT);
    ASSERT_EQ(Restore(SaveconBytes(screen, true)), 2);
    EXPECT_EQ(sim::Stderr(), glimtest::Prefix() + "Error reading from file " + QUOTED +
                                 ":\r\n    The system cannot read from the specified device.\r\n");
    EXPECT_TRUE(SameConsole(TakeSnapshot(), before));
    ExpectNothingLeft();
}

// A saved window height of 0 stands for the current one; any height is
// capped at the saved rows and at what the screen can show. A console
// buffer lower than the screen does not limit the new window.
TEST_F(RestoreTest, SavedWindowHeightIsMadeOneTheConsoleCanShow) {
    struct Row {
        int currentRows, currentWindow; // the current buffer is 80 wide
        int columns, rows, windowHeight, cursorRow;
        int wantedHeight;
    };
    const Row rows[] = {
        {300, 25, 100, 300, 0, 299, 25},  // current height
        {300, 25, 100, 40, 0, 39, 25},    // current height
        {300, 25, 100, 40, 60, 39, 40},   // capped at the rows
        {300, 40, 80, 30, 50, 29, 30},    // capped, so that the shrink makes room
        {300, 25, 80, 100, 200, 99, 67},  // capped at what the screen shows (1080 / 16)
        {300, 25, 100, 300, 30, 299, 30}, // as saved
        {300, 25, 100, 300, 1, 299, 25},  // current height: one row could not be measured
        {300, 40, 80, 100, 1, 99, 40},    // current height
        {20, 20, 80, 300, 50, 299, 50},   // the old buffer's 20 rows are no limit
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << row.columns << " x " << row.rows << " window " << row.windowHeight);
        glimtest::ResetAll();
        sim::ConsoleResize(80, row.currentRows);
        sim::Console().window = SMALL_RECT{0, 0, 79, (SHORT)(row.currentWindow - 1)};
        sim::Console().pixels.bottom += (row.currentWindow - 25) * 16;
        Screen screen = PatternScreen(row.columns, row.rows);
        screen.cursorRow = row.cursorRow;
        std::vector<uint8_t> bytes = GlimpsetBytes(screen);
        PutWord(bytes, offsetof(GlimpsetHeader, windowHeight), (WORD)row.windowHeight);
        ASSERT_EQ(Restore(bytes, MODE_QUIET), 0) << sim::Stderr();
        ExpectScreen(screen);
        EXPECT_EQ(WindowHeight(), row.wantedHeight);
        EXPECT_EQ(sim::Console().window.Bottom, row.cursorRow);
        EXPECT_EQ(WindowWidth(), row.columns);
        ExpectNothingLeft();
    }
}

TEST_F(RestoreTest, BufferResizeFailureIsASystemError) {
    Screen screen = PatternScreen(120, 500);
    sim::FailCall("SetConsoleScreenBufferSize", 1, ERROR_INVALID_PARAMETER);
    MarkConsole();
    ConsoleSnapshot before = TakeSnapshot();
    ASSERT_EQ(Restore(GlimpsetBytes(screen)), 2);
    EXPECT_EQ(sim::Stderr(), glimtest::Prefix() + "Error resizing console screen buffer:\r\n"
                                                  "    The parameter is incorrect.\r\n");
    EXPECT_EQ(sim::Console().columns, 80);
    EXPECT_EQ(sim::Console().rows, 300);
    EXPECT_TRUE(sim::ConsoleChars() == before.characters);
    EXPECT_EQ(sim::CallCount("WriteConsoleOutputW"), 0);
    EXPECT_TRUE(sim::Sounds().empty());
    ExpectNothingLeft();
}

// Where moving the top-level window does nothing (as under Wine, or with a
// font cell size of 0), the console's window rectangle is set in cells.
TEST_F(RestoreTest, ResizeWorksWhereTheWindowCannotBeMovedInPixels) {
    struct Row {
        const char *what;
        bool moves;
        int fontWidth;
        int columns, rows, windowHeight;
        SMALL_RECT current;
    };
    const Row rows[] = {
        {"moves change nothing", false, 8, 100, 300, 20, {0, 0, 79, 39}},
        {"moves change nothing, smaller buffer", false, 8, 80, 100, 30, {0, 250, 119, 299}},
        {"font cell size 0", true, 0, 100, 300, 20, {0, 0, 79, 39}},
        {"font cell size 0, smaller buffer", true, 0, 60, 50, 30, {0, 250, 119, 299}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        glimtest::ResetAll();
        sim::SetMoveWindowResizes(row.moves);
        if (row.current.Right >= 80) {
            sim::ConsoleResize(row.current.Right + 1, 300);
        }
        sim::Console().window = row.current;
        sim::Console().fontWidth = row.fontWidth;
        sim::Console().fontHeight = row.fontWidth * 2;
        Screen screen = PatternScreen(row.columns, row.rows);
        screen.cursorRow = row.rows - 1;
        screen.windowHeight = row.windowHeight;
        ASSERT_EQ(Restore(GlimpsetBytes(screen), MODE_QUIET), 0);
        EXPECT_EQ(sim::Stderr(), "");
        ExpectScreen(screen);
        EXPECT_EQ(WindowWidth(), row.columns);
        EXPECT_EQ(WindowHeight(), row.windowHeight);
        EXPECT_EQ(sim::Console().window.Bottom, row.rows - 1);
        ExpectNothingLeft();
    }
}

// The window never grows beyond what the monitor holds (240 x 67 cells of
// 8 x 16 pixels; each way of reaching that limit is the fitting tests'),
// whether or not the console gives the buffer the window's
// width when the window is moved (wrap-on-resize): the buffer has the saved
// size before any cell is written, and the window ends on the cursor's row
// with the width it could take, as far right as the cursor needs.
TEST_F(RestoreTest, WindowFitsTheMonitorAndTheBufferKeepsTheSavedSize) {
    struct Row {
        const char *what;
        bool wrap;
        int currentRows; // of the 80 columns the console has, all shown
        int columns, rows, windowHeight;
        int wantedWidth, wantedHeight;
    };
    const Row rows[] = {
        // 1903 pixels beside the scroll bar hold 237 columns.
        {"wider than the monitor, wrap on", true, 300, 300, 100, 30, 237, 30},
        {"taller than the monitor, from a low buffer", true, 20, 100, 500, 90, 100, 67},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        glimtest::ResetAll();
        sim::Console().wrapOnResize = row.wrap;
        if (row.currentRows < 25) {
            sim::ConsoleResize(80, row.currentRows);
            sim::Console().pixels.bottom -= (25 - row.currentRows) * 16;
        }
        Screen screen = PatternScreen(row.columns, row.rows);
        screen.cursorRow = row.rows - 1;
        screen.cursorColumn = row.columns - 1;
        screen.windowHeight = row.windowHeight;
        ASSERT_EQ(Restore(GlimpsetBytes(screen), MODE_QUIET), 0) << sim::Stderr();
        EXPECT_EQ(sim::Stderr(), "");
        ExpectScreen(screen);
        EXPECT_EQ(WindowWidth(), row.wantedWidth);
        EXPECT_EQ(WindowHeight(), row.wantedHeight);
        EXPECT_EQ(sim::Console().window.Bottom, row.rows - 1);
        // The window shows the cursor in the last column.
        EXPECT_EQ(sim::Console().window.Right, row.columns - 1);
        ExpectNothingLeft();
    }
}

// In a terminal (a pseudo console of 100 x 30 cells) neither the buffer
// nor the window changes. A file of the same size is restored cell for
// cell; of another size, its saved window (the cursor's row last) is
// written into the screen from the top, clipped to it, the rest of the
// screen blank, with the cursor where it was among those rows, and one
// line says so. A Take Command tab window keeps its refusal.
TEST_F(RestoreTest, TerminalKeepsItsSizeAndShowsTheSavedWindow) {
    const std::string tabRefusal =
        glimtest::Prefix() +
        "Can\u2019t resize a Take Command tab window.\r\nDetach the tab and try again.\r\n";
    struct Row {
        const char *what;
        bool terminal, tab;
        int columns, rows, windowHeight, cursorColumn, cursorRow;
        int result;
        int first, shownRows, shownColumns; // saved rows first.. on the screen
        int screenCursorColumn, screenCursorRow;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"same size", true, false, 100, 30, 30, 7, 12, 0, 0, 30, 100, 7, 12, ""},
        {"larger", true, false, 150, 300, 40, 120, 200, 0, 171, 30, 100, 99, 29,
         "30 rows of 100 columns"},
        {"smaller", true, false, 80, 25, 25, 5, 10, 0, 0, 25, 80, 5, 10, "25 rows of 80 columns"},
        {"lower window than the screen", true, false, 120, 300, 20, 3, 250, 0, 231, 20, 100, 3, 19,
         "20 rows of 100 columns"},
        {"same size in a tab window", true, true, 100, 30, 30, 7, 12, 0, 0, 30, 100, 7, 12, ""},
        {"tab window in a terminal", true, true, 120, 300, 20, 3, 250, 2, 0, 0, 0, 0, 0, "tab"},
        {"tab window", false, true, 120, 300, 20, 3, 250, 2, 0, 0, 0, 0, 0, "tab"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        glimtest::ResetAll();
        if (row.terminal) {
            sim::SetPseudoConsole(100, 30);
        }
        HostSetTabWindow(row.tab ? 1 : 0);
        if (row.terminal) {
            sim::ConsolePutText(0, 3, u"a terminal that must stay as it is", 0x2A);
        } else {
            MarkConsole();
        }
        ConsoleSnapshot before = TakeSnapshot();
        Screen screen = PatternScreen(row.columns, row.rows);
        screen.windowHeight = row.windowHeight;
        screen.cursorColumn = row.cursorColumn;
        screen.cursorRow = row.cursorRow;
        ASSERT_EQ(Restore(GlimpsetBytes(screen), MODE_QUIET), row.result);
        EXPECT_EQ(sim::CallCount("SetConsoleScreenBufferSize"), 0);
        EXPECT_TRUE(sim::Moves().empty());
        if (row.message == "tab") {
            EXPECT_EQ(sim::Stderr(), tabRefusal);
            EXPECT_TRUE(SameConsole(TakeSnapshot(), before));
            ExpectNothingLeft();
            continue;
        }
        EXPECT_EQ(sim::CallCount("SetConsoleWindowInfo"), 0);
        EXPECT_EQ(sim::Stderr(), row.message.empty()
                                     ? std::string()
                                     : glimtest::Prefix() + "The terminal\u2019s size was kept: " +
                                           row.message + " restored.\r\n");
        sim::ConsoleState &state = sim::Console();
        EXPECT_EQ(state.columns, 100);
        EXPECT_EQ(state.rows, 30);
        EXPECT_EQ(state.cursorColumn, row.screenCursorColumn);
        EXPECT_EQ(state.cursorRow, row.screenCursorRow);
        for (int r = 0; r < 30; r++) {
            std::u16string wanted(100, u' ');
            for (int c = 0; r < row.shownRows && c < row.shownColumns; c++) {
                size_t at = (size_t)(row.first + r) * (size_t)row.columns + (size_t)c;
                wanted[(size_t)c] = (char16_t)screen.characters[at];
                EXPECT_EQ(sim::ConsoleAttrs()[(size_t)r * 100 + (size_t)c], screen.attributes[at]);
            }
            EXPECT_EQ(sim::TerminalRowText(r), wanted) << "row " << r;
        }
        // The rest of the screen: blanks in the text attribute.
        if (row.shownRows < 30 || row.shownColumns < 100) {
            EXPECT_EQ(sim::ConsoleAttrs()[100 * 30 - 1], (WORD)0x1E);
        }
        ExpectNothingLeft();
    }
}

// The Quiet setting reaches the restore through the command, as /Q does.
TEST_F(RestoreTest, QuietByOptionOrRegistryMakesNoSound) {
    struct Row {
        const char16_t *tail;
        bool quietSetting;
        size_t sounds;
    };
    const Row rows[] = {
        {u"/R C:\\screen.glim", false, 1},       {u"/R /Q C:\\screen.glim", false, 0},
        {u"/R C:\\screen.glim", true, 0},        {u"/R /Q \\\\?\\C:\\screen.glim", false, 0},
        {u"/R \\\\.\\C:\\screen.glim", true, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(sim::U8(row.tail));
        glimtest::ResetAll();
        if (row.quietSetting) {
            sim::RegSetDword(HKEY_CURRENT_USER, u"SOFTWARE\\RIRevazud\\Glimpset", u"Quiet", 1);
        }
        Screen screen = PatternScreen(80, 300);
        sim::MakeFile(FILE_NAME, GlimpsetBytes(screen));
        glimtest::Outcome run = glimtest::Glim(std::u16string(row.tail));
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.err, "");
        ExpectScreen(screen);
        EXPECT_EQ(sim::Sounds().size(), row.sounds);
        ExpectNothingLeft();
    }
}

} // namespace
