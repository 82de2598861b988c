// console_test.cpp: the simulated console as save and restore rely on it:
// opening "CONOUT$", cell reads and writes clipped at the buffer's end, the
// cells as the Windows console host holds them (the shared table of
// tests/support/consolecells.h, and what only winsim can switch), the
// rules of buffer resizing, window rectangles and the cursor, code pages,
// moving the window in pixels as the console host answers it, the monitor,
// the pseudo-console mode, and the standard handles.
#include "tests/support/consolecells.h"
#include "winsim/sim.h"

#include <gtest/gtest.h>

namespace {

class ConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        console = OpenConsole(GENERIC_READ | GENERIC_WRITE);
    }
    void TearDown() override {
        if (console != INVALID_HANDLE_VALUE) {
            CloseHandle(console);
        }
        EXPECT_EQ(sim::OpenHandles(), 0);
    }
    static HANDLE OpenConsole(DWORD access) {
        return CreateFileW(u"CONOUT$", access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }
    HANDLE console = INVALID_HANDLE_VALUE;
};

TEST_F(ConsoleTest, ConsoleOpensOnlyWhereThereIsOne) {
    EXPECT_NE(console, INVALID_HANDLE_VALUE);
    EXPECT_EQ(sim::OpenHandles(), 1);
    EXPECT_EQ(GetFileType(console), (DWORD)FILE_TYPE_CHAR);
    sim::Console().present = false;
    HANDLE none = OpenConsole(GENERIC_READ);
    EXPECT_EQ(none, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_FALSE(GetConsoleScreenBufferInfo(console, &info));
    EXPECT_EQ(GetConsoleCP(), 0u);
    EXPECT_EQ(GetConsoleWindow(), nullptr);
}

TEST_F(ConsoleTest, BufferInformationReportsTheState) {
    sim::Console().cursorColumn = 5;
    sim::Console().cursorRow = 7;
    sim::Console().attribute = 0x1F;
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &info));
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.dwSize.Y, 300);
    EXPECT_EQ(info.dwCursorPosition.X, 5);
    EXPECT_EQ(info.dwCursorPosition.Y, 7);
    EXPECT_EQ(info.wAttributes, 0x1F);
    EXPECT_EQ(info.srWindow.Right, 79);
    EXPECT_EQ(info.srWindow.Bottom, 24);
    EXPECT_EQ(info.dwMaximumWindowSize.X, 80);
    EXPECT_LE(info.dwMaximumWindowSize.Y, 300);
}

TEST_F(ConsoleTest, CellTransfersRunAcrossRowsAndStopAtTheBufferEnd) {
    sim::ConsoleResize(10, 3);
    struct Row {
        SHORT x, y;
        DWORD length;
        BOOL result;
        DWORD done, error;
    };
    const Row rows[] = {
        {0, 0, 30, TRUE, 30, 0},
        {5, 0, 10, TRUE, 10, 0},
        {5, 2, 10, TRUE, 5, 0},
        {9, 2, 100, TRUE, 1, 0},
        {0, 0, 0, TRUE, 0, 0},
        {0, 0, 1000, TRUE, 30, 0},
        {10, 0, 1, FALSE, 0, ERROR_INVALID_PARAMETER},
        {0, 3, 1, FALSE, 0, ERROR_INVALID_PARAMETER},
        {-1, 0, 1, FALSE, 0, ERROR_INVALID_PARAMETER},
    };
    std::vector<WCHAR> text(1000, u'x');
    std::vector<WORD> attributes(1000, 0x4E);
    for (const Row &row : rows) {
        COORD at = {row.x, row.y};
        DWORD done = 99;
        EXPECT_EQ(WriteConsoleOutputCharacterW(console, text.data(), row.length, at, &done),
                  row.result);
        EXPECT_EQ(done, row.done) << row.x << "," << row.y;
        EXPECT_EQ(WriteConsoleOutputAttribute(console, attributes.data(), row.length, at, &done),
                  row.result);
        EXPECT_EQ(done, row.done);
        EXPECT_EQ(ReadConsoleOutputCharacterW(console, text.data(), row.length, at, &done),
                  row.result);
        EXPECT_EQ(done, row.done);
        EXPECT_EQ(ReadConsoleOutputAttribute(console, attributes.data(), row.length, at, &done),
                  row.result);
        EXPECT_EQ(done, row.done);
        if (!row.result) {
            EXPECT_EQ(GetLastError(), row.error);
        }
    }
}

TEST_F(ConsoleTest, CellsReadBackAsWritten) {
    sim::ConsolePutText(78, 0, u"abcd", 0x1E);
    WCHAR text[4];
    WORD attributes[4];
    DWORD done;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(console, text, 4, COORD{78, 0}, &done));
    ASSERT_TRUE(ReadConsoleOutputAttribute(console, attributes, 4, COORD{78, 0}, &done));
    EXPECT_EQ(std::u16string(text, 4), u"abcd");
    EXPECT_EQ(attributes[3], 0x1E);
    EXPECT_EQ(sim::ConsoleRowText(1).substr(0, 3), u"cd ");
}

// The table that wintests.exe also runs on real consoles.
TEST_F(ConsoleTest, CellCallsBehaveAsTheWindowsConsoleHost) {
    for (const consolecells::Row &row : consolecells::Rows()) {
        EXPECT_EQ(consolecells::RunRow(console, row), row.conhost)
            << row.behaviour << " (" << row.source << ")";
    }
}

// What the shared table cannot set on a real console: the font's width of
// ambiguous letters, and rectangles that reach past the buffer or the
// caller's cells, or past a read limit.
TEST_F(ConsoleTest, CharInfoRectanglesAreClippedAndAmbiguousLettersFollowTheFont) {
    sim::ConsoleResize(30, 10);
    EXPECT_EQ(sim::ConsoleCharWidth(0x0416), 1);
    sim::SetAmbiguousWide(true);
    EXPECT_EQ(sim::ConsoleCharWidth(0x0416), 2);
    EXPECT_EQ(sim::ConsoleCharWidth(0x2500), 2);
    EXPECT_EQ(sim::ConsoleCharWidth(u'a'), 1);
    sim::ConsolePutText(0, 0, u"\u0416a", 0x07);
    EXPECT_EQ(sim::ConsoleRowText(0).substr(0, 4), u"\u0416\u0416a ");
    EXPECT_EQ(sim::ConsoleAttrs()[0], 0x0107);

    struct Row {
        SMALL_RECT region;
        COORD size, from;
        DWORD limit;
        SMALL_RECT back; // the rectangle the calls report
    };
    const Row rows[] = {
        {{25, 8, 34, 12}, {10, 5}, {0, 0}, 0, {25, 8, 29, 9}}, // past the buffer's corner
        {{-2, 0, 3, 0}, {6, 1}, {0, 0}, 0, {0, 0, 3, 0}},      // left of the buffer
        {{0, 0, 29, 9}, {4, 2}, {0, 0}, 0, {0, 0, 3, 1}},      // past the caller's cells
        {{0, 0, 29, 9}, {30, 10}, {0, 0}, 95, {0, 0, 29, 2}},  // three whole rows in the limit
        {{0, 0, 29, 9}, {30, 10}, {0, 0}, 29, {0, 0, -1, -1}}, // not one row: nothing
        {{40, 0, 45, 0}, {6, 1}, {0, 0}, 0, {40, 0, 39, -1}},  // wholly outside
    };
    std::vector<CHAR_INFO> cells(300);
    for (const Row &row : rows) {
        sim::SetConsoleReadLimit(row.limit);
        SMALL_RECT region = row.region;
        ASSERT_TRUE(ReadConsoleOutputW(console, cells.data(), row.size, row.from, &region));
        EXPECT_EQ(region.Left, row.back.Left);
        EXPECT_EQ(region.Top, row.back.Top);
        EXPECT_EQ(region.Right, row.back.Right);
        EXPECT_EQ(region.Bottom, row.back.Bottom);
        if (row.limit == 0) {
            region = row.region;
            ASSERT_TRUE(WriteConsoleOutputW(console, cells.data(), row.size, row.from, &region));
            EXPECT_EQ(region.Right, row.back.Right);
            EXPECT_EQ(region.Bottom, row.back.Bottom);
        }
    }
}

TEST_F(ConsoleTest, ReadLimitShortensReadsAndLeavesTheRestOfTheBufferAlone) {
    sim::ConsoleResize(10, 3);
    sim::ConsolePutText(0, 0, u"abcdefghijklmnopqrstuvwxyz0123", 0x1E);
    struct Row {
        DWORD limit;
        SHORT x, y;
        DWORD length;
        DWORD done;
    };
    const Row rows[] = {
        {0, 0, 0, 30, 30},  // no limit
        {7, 0, 0, 30, 7},   // the limit, not the request
        {7, 2, 0, 5, 5},    // a request below the limit
        {7, 5, 2, 30, 5},   // the buffer's end before the limit
        {30, 0, 0, 30, 30}, // a limit that is the request
        {1, 9, 1, 30, 1},   // a single cell
    };
    for (const Row &row : rows) {
        sim::SetConsoleReadLimit(row.limit);
        std::vector<WCHAR> text(40, u'#');
        std::vector<WORD> attributes(40, 0xCDCD);
        COORD at = {row.x, row.y};
        DWORD done = 99;
        ASSERT_TRUE(ReadConsoleOutputCharacterW(console, text.data(), row.length, at, &done));
        EXPECT_EQ(done, row.done) << row.limit << " at " << row.x << "," << row.y;
        done = 99;
        ASSERT_TRUE(ReadConsoleOutputAttribute(console, attributes.data(), row.length, at, &done));
        EXPECT_EQ(done, row.done) << row.limit << " at " << row.x << "," << row.y;
        size_t start = (size_t)row.y * 10 + (size_t)row.x;
        for (size_t i = 0; i < text.size(); i++) {
            bool filled = i < row.done;
            EXPECT_EQ(text[i], filled ? sim::ConsoleChars()[start + i] : u'#') << i;
            EXPECT_EQ(attributes[i], filled ? 0x1E : 0xCDCD) << i;
        }
    }
    // A new machine reads without a limit again.
    sim::SetConsoleReadLimit(3);
    CloseHandle(console);
    sim::Reset();
    console = OpenConsole(GENERIC_READ);
    WCHAR text[10];
    DWORD done = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(console, text, 10, COORD{0, 0}, &done));
    EXPECT_EQ(done, 10u);
}

TEST_F(ConsoleTest, HandleAccessLimitsWhatItMayDo) {
    HANDLE readOnly = OpenConsole(GENERIC_READ);
    DWORD done;
    WCHAR c = u'x';
    EXPECT_FALSE(WriteConsoleOutputCharacterW(readOnly, &c, 1, COORD{0, 0}, &done));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(ReadConsoleOutputCharacterW(readOnly, &c, 1, COORD{0, 0}, &done));
    CloseHandle(readOnly);
    HANDLE writeOnly = OpenConsole(GENERIC_WRITE);
    EXPECT_FALSE(ReadConsoleOutputCharacterW(writeOnly, &c, 1, COORD{0, 0}, &done));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(writeOnly);
}

TEST_F(ConsoleTest, BufferResizeKeepsTheOverlapAndRefusesWhatTheWindowForbids) {
    struct Row {
        SHORT columns, rows;
        BOOL result;
    };
    const Row rows[] = {
        {120, 500, TRUE},  {80, 25, TRUE},    {79, 300, FALSE},
        {80, 24, FALSE},   {0, 300, FALSE},   {1025, 300, FALSE},
        {1024, 300, TRUE}, {80, 32766, TRUE}, {80, 32767, FALSE},
    };
    for (const Row &row : rows) {
        sim::ConsoleResize(80, 300);
        sim::Console().window = SMALL_RECT{0, 0, 79, 24};
        EXPECT_EQ(SetConsoleScreenBufferSize(console, COORD{row.columns, row.rows}), row.result)
            << row.columns << " x " << row.rows;
        if (!row.result) {
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
            EXPECT_EQ(sim::Console().columns, 80);
        }
    }
    // Growing keeps the old cells; new cells are blanks in the attribute.
    sim::ConsoleResize(80, 300);
    sim::ConsolePutText(0, 0, u"keep", 0x2A);
    sim::ConsolePutText(0, 299, u"last row", 0x2A);
    sim::Console().attribute = 0x17;
    sim::Console().cursorColumn = 70;
    sim::Console().cursorRow = 299;
    sim::Console().window = SMALL_RECT{0, 250, 59, 299};
    ASSERT_TRUE(SetConsoleScreenBufferSize(console, COORD{100, 301}));
    EXPECT_EQ(sim::ConsoleRowText(0).substr(0, 5), u"keep ");
    EXPECT_EQ(sim::ConsoleAttrs()[80], 0x17);
    EXPECT_EQ(sim::ConsoleAttrs()[300 * 100], 0x17);
    ASSERT_TRUE(SetConsoleScreenBufferSize(console, COORD{60, 50}));
    EXPECT_EQ(sim::ConsoleRowText(0), u"keep" + std::u16string(56, u' '));
    EXPECT_EQ(sim::Console().cursorColumn, 59);
    EXPECT_EQ(sim::Console().cursorRow, 49);
    EXPECT_EQ(sim::Console().window.Top, 0); // moved back into the buffer
    EXPECT_EQ(sim::Console().window.Bottom, 49);
}

// As the console host: a window larger than the buffer or than the monitor
// holds (1080 / 16 = 67 rows) is refused; one partly outside the buffer is
// moved inside it. (Wine refuses the second kind too, and has no monitor
// limit.)
TEST_F(ConsoleTest, WindowRectanglesAreKeptInTheBufferAndOnTheMonitor) {
    struct Row {
        BOOL absolute;
        SMALL_RECT rect;
        BOOL result;
        SMALL_RECT after;
    };
    const SMALL_RECT start = {0, 10, 79, 34};
    const Row rows[] = {
        {TRUE, {0, 275, 79, 299}, TRUE, {0, 275, 79, 299}},
        {TRUE, {0, 276, 79, 300}, TRUE, {0, 275, 79, 299}},
        {TRUE, {0, 0, 80, 24}, FALSE, start},
        {TRUE, {-1, 0, 78, 24}, TRUE, {0, 0, 79, 24}},
        {TRUE, {10, 5, 9, 20}, FALSE, start},
        {TRUE, {0, 0, 0, 0}, TRUE, {0, 0, 0, 0}},
        {TRUE, {0, 0, 79, 66}, TRUE, {0, 0, 79, 66}},
        {TRUE, {0, 0, 79, 67}, FALSE, start},
        {FALSE, {0, 5, 0, 5}, TRUE, {0, 15, 79, 39}},
        {FALSE, {0, -11, 0, -11}, TRUE, {0, 0, 79, 24}},
        {FALSE, {0, 0, 0, -5}, TRUE, {0, 10, 79, 29}},
    };
    for (const Row &row : rows) {
        sim::Console().window = start;
        EXPECT_EQ(SetConsoleWindowInfo(console, row.absolute, &row.rect), row.result);
        const SMALL_RECT &now = sim::Console().window;
        EXPECT_EQ(now.Left, row.after.Left);
        EXPECT_EQ(now.Top, row.after.Top);
        EXPECT_EQ(now.Right, row.after.Right);
        EXPECT_EQ(now.Bottom, row.after.Bottom) << row.rect.Top << " " << row.rect.Bottom;
        if (!row.result) {
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
        }
    }
}

TEST_F(ConsoleTest, CursorStaysInTheBufferAndInView) {
    EXPECT_FALSE(SetConsoleCursorPosition(console, COORD{80, 0}));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SetConsoleCursorPosition(console, COORD{0, 300}));
    ASSERT_TRUE(SetConsoleCursorPosition(console, COORD{3, 100}));
    EXPECT_EQ(sim::Console().cursorRow, 100);
    EXPECT_EQ(sim::Console().window.Top, 76);
    EXPECT_EQ(sim::Console().window.Bottom, 100);
    ASSERT_TRUE(SetConsoleTextAttribute(console, 0x4F));
    EXPECT_EQ(sim::Console().attribute, 0x4F);
}

TEST_F(ConsoleTest, CodePagesAreSettableButNotToZero) {
    EXPECT_EQ(GetConsoleCP(), 437u);
    EXPECT_TRUE(SetConsoleCP(850));
    EXPECT_TRUE(SetConsoleOutputCP(65001));
    EXPECT_FALSE(SetConsoleCP(0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(SetConsoleOutputCP(0));
    EXPECT_EQ(GetConsoleCP(), 850u);
    EXPECT_EQ(GetConsoleOutputCP(), 65001u);
}

TEST_F(ConsoleTest, WindowReportsItsFontFrameAndMonitor) {
    HWND window = GetConsoleWindow();
    ASSERT_NE(window, nullptr);
    CONSOLE_FONT_INFO font;
    ASSERT_TRUE(GetCurrentConsoleFont(console, FALSE, &font));
    COORD cell = GetConsoleFontSize(console, font.nFont);
    EXPECT_EQ(cell.X, 8);
    EXPECT_EQ(cell.Y, 16);
    EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 17);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, 673);
    WCHAR name[32];
    EXPECT_EQ(GetClassNameW(window, name, 32), 18);
    EXPECT_EQ(sim::U8(name), "ConsoleWindowClass");
    EXPECT_EQ(GetClassNameW(window, name, 8), 7); // cut to fit
    EXPECT_EQ(sim::U8(name), "Console");
    // The monitor's 1920 x 1080 pixels for cells, in 8 x 16 cells.
    COORD largest = GetLargestConsoleWindowSize(console);
    EXPECT_EQ(largest.X, 240);
    EXPECT_EQ(largest.Y, 67);
    sim::Console().screenWidth = 1280;
    sim::Console().screenHeight = 720;
    largest = GetLargestConsoleWindowSize(console);
    EXPECT_EQ(largest.X, 160);
    EXPECT_EQ(largest.Y, 45);
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &info));
    EXPECT_EQ(info.dwMaximumWindowSize.X, 80); // the buffer's width
    EXPECT_EQ(info.dwMaximumWindowSize.Y, 45); // the monitor's height

    // A wrong window fails.
    EXPECT_FALSE(MoveWindow((HWND)0x1234, 0, 0, 10, 10, TRUE));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(GetWindowRect((HWND)0x1234, &rect));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(GetClassNameW((HWND)0x1234, name, 32), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    sim::Console().hasWindow = false;
    EXPECT_EQ(GetConsoleWindow(), nullptr);
}

// From 80 x 25 cells of an 80 x 300 buffer in 673 x 439 pixels: a frame of
// 16 x 39 pixels besides a vertical scroll bar of 17. The new pixel size is
// clamped to the monitor; the client area holds what fits beside the scroll
// bars the buffer needs. With wrap-on-resize the buffer takes the window's
// width; in either mode a buffer narrower than the window grows to it.
TEST_F(ConsoleTest, MovingTheWindowInPixelsResizesItAsTheConsoleHostDoes) {
    struct Row {
        const char *what;
        bool wrap;
        int width, height;             // pixels asked for
        int columns, rows;             // the buffer after
        int windowWidth, windowHeight; // the window after, in cells
        int pixelWidth;                // the window after, in pixels
    };
    const Row rows[] = {
        {"grow, wrap on", true, 833, 679, 100, 300, 100, 40, 833},
        {"grow, wrap off", false, 833, 679, 100, 300, 100, 40, 833},
        // A horizontal bar for the 80 columns takes a row, until the
        // buffer is made as narrow as the window.
        {"shrink, wrap on", true, 513, 376, 60, 300, 60, 21, 513},
        {"shrink, wrap off", false, 513, 376, 80, 300, 60, 20, 513},
        // 1920 + 16 pixels at most: 1903 / 8 = 237 cells beside the bar.
        {"wider than the monitor, wrap on", true, 2500, 439, 237, 300, 237, 25, 1936},
        {"wider than the monitor, wrap off", false, 2500, 439, 237, 300, 237, 25, 1936},
        {"taller than the monitor", true, 673, 1500, 80, 300, 80, 67, 673},
    };
    HWND window = GetConsoleWindow();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        sim::ConsoleResize(80, 300);
        sim::Console().window = SMALL_RECT{0, 0, 79, 24};
        sim::Console().pixels = RECT{100, 100, 773, 539};
        sim::Console().wrapOnResize = row.wrap;
        ASSERT_TRUE(MoveWindow(window, 100, 100, row.width, row.height, TRUE));
        EXPECT_EQ(sim::Console().columns, row.columns);
        EXPECT_EQ(sim::Console().rows, row.rows);
        SMALL_RECT now = sim::Console().window;
        EXPECT_EQ(now.Left, 0);
        EXPECT_EQ(now.Top, 0);
        EXPECT_EQ(now.Right - now.Left + 1, row.windowWidth);
        EXPECT_EQ(now.Bottom - now.Top + 1, row.windowHeight);
        RECT rect;
        ASSERT_TRUE(GetWindowRect(window, &rect));
        EXPECT_EQ(rect.right - rect.left, row.pixelWidth);
    }
    EXPECT_EQ(sim::Moves().size(), sizeof rows / sizeof rows[0]);
    EXPECT_EQ(sim::Moves()[0].width, 833);

    // Under Wine moving changes nothing.
    sim::SetMoveWindowResizes(false);
    SMALL_RECT before = sim::Console().window;
    EXPECT_TRUE(MoveWindow(window, 0, 0, 2000, 2000, TRUE));
    EXPECT_EQ(sim::Console().window.Right, before.Right);
    EXPECT_EQ(sim::Console().window.Bottom, before.Bottom);
}

// In a pseudo console the buffer is the terminal's screen: the console's
// window is hidden, of no size, and moving it does nothing; setting the
// window rectangle resizes the buffer; setting the buffer size leaves what
// the terminal shows as large as it is.
TEST_F(ConsoleTest, PseudoConsoleHasTheTerminalsScreenAsItsBuffer) {
    sim::SetPseudoConsole(100, 30);
    HWND window = GetConsoleWindow();
    ASSERT_NE(window, nullptr);
    WCHAR name[32];
    EXPECT_EQ(GetClassNameW(window, name, 32), 19);
    EXPECT_EQ(sim::U8(name), "PseudoConsoleWindow");
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right - rect.left, 0);
    EXPECT_EQ(rect.bottom - rect.top, 0);
    EXPECT_TRUE(MoveWindow(window, 0, 0, 800, 600, TRUE));
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &info));
    EXPECT_EQ(info.dwSize.X, 100);
    EXPECT_EQ(info.dwSize.Y, 30);
    EXPECT_EQ(info.srWindow.Right, 99);
    EXPECT_EQ(info.srWindow.Bottom, 29);

    sim::ConsolePutText(0, 0, u"top", 0x07);
    EXPECT_EQ(sim::TerminalRowText(0), u"top" + std::u16string(97, u' '));
    // A larger buffer: the terminal still shows 100 x 30 cells.
    ASSERT_TRUE(SetConsoleScreenBufferSize(console, COORD{120, 500}));
    EXPECT_EQ(sim::Console().columns, 120);
    EXPECT_EQ(sim::TerminalRowText(29).size(), 100u);
    // A smaller one: the terminal shows blanks beyond it.
    ASSERT_TRUE(SetConsoleScreenBufferSize(console, COORD{50, 10}));
    EXPECT_EQ(sim::TerminalRowText(0), u"top" + std::u16string(97, u' '));
    EXPECT_EQ(sim::TerminalRowText(20), std::u16string(100, u' '));
    // The window rectangle is the buffer's new size.
    SMALL_RECT wanted = {0, 0, 79, 24};
    ASSERT_TRUE(SetConsoleWindowInfo(console, TRUE, &wanted));
    EXPECT_EQ(sim::Console().columns, 80);
    EXPECT_EQ(sim::Console().rows, 25);
    EXPECT_EQ(sim::Console().window.Right, 79);
    EXPECT_EQ(sim::Console().window.Bottom, 24);
}

TEST_F(ConsoleTest, WriteConsoleWritesAtTheCursorAndWraps) {
    sim::ConsoleResize(10, 2);
    sim::Console().window = SMALL_RECT{0, 0, 9, 1};
    sim::Console().attribute = 0x1E;
    DWORD written = 0;
    const std::u16string text = u"abc\r\nhello world";
    ASSERT_TRUE(WriteConsoleW(console, text.data(), (DWORD)text.size(), &written, nullptr));
    EXPECT_EQ(written, text.size());
    EXPECT_EQ(sim::ConsoleRowText(0), u"abc       ");
    EXPECT_EQ(sim::ConsoleRowText(1), u"hello worl");
    EXPECT_EQ(sim::ConsoleAttrs()[10], 0x1E);
}

TEST_F(ConsoleTest, StandardHandlesArePipesUnlessToldOtherwise) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    EXPECT_NE(out, err);
    EXPECT_NE(out, GetStdHandle(STD_INPUT_HANDLE));
    DWORD count = 0, mode = 0;
    EXPECT_EQ(GetFileType(out), (DWORD)FILE_TYPE_PIPE);
    EXPECT_FALSE(GetConsoleMode(out, &mode));
    EXPECT_FALSE(WriteConsoleW(out, u"x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_TRUE(WriteFile(out, "bytes\r\n", 7, &count, nullptr));
    EXPECT_TRUE(WriteFile(err, "err", 3, &count, nullptr));
    sim::SetStdIsConsole(true);
    EXPECT_EQ(GetFileType(out), (DWORD)FILE_TYPE_CHAR);
    EXPECT_TRUE(GetConsoleMode(out, &mode));
    EXPECT_TRUE(WriteConsoleW(out, u"Can\u2019t", 5, &count, nullptr));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(sim::Stdout(), "bytes\r\nCan\xE2\x80\x99t");
    EXPECT_EQ(sim::Stderr(), "err");
    EXPECT_EQ(sim::OpenHandles(), 1); // the standard handles are not counted
    EXPECT_TRUE(CloseHandle(out));
    sim::ClearOutput();
    EXPECT_EQ(sim::Stdout(), "");
}

} // namespace
