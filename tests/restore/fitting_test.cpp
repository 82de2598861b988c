// fitting_test.cpp: resizing the console screen buffer in the safe order,
// the pixel arithmetic that brings the window to a size in cells, the
// fallback where the window cannot be moved in pixels, the limits of the
// monitor, a buffer that moving the window changed, the refusal in a tab
// window, and telling a terminal's console apart.
#include "restore/fitting.h"
#include "host/hoststate.h"
#include "tests/support/glimtest.h"
#include "winsim/sim.h"

#include <gtest/gtest.h>

namespace {

class FittingTest : public glimtest::GlimTest {
  protected:
    void SetUp() override {
        glimtest::GlimTest::SetUp();
        console =
            CreateFileW(u"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        window = GetConsoleWindow();
        sim::CallLog().clear();
    }
    void TearDown() override {
        CloseHandle(console);
        glimtest::GlimTest::TearDown();
    }
    void SetConsole(int columns, int rows, int windowWidth, int windowHeight) {
        sim::ConsoleResize(columns, rows);
        sim::Console().window =
            SMALL_RECT{0, 0, (SHORT)(windowWidth - 1), (SHORT)(windowHeight - 1)};
    }
    // The console as after Reset: 80 x 300 showing 80 x 25 in 673 x 439
    // pixels; no moves, calls, output or failures recorded.
    void StartAfresh() {
        SetConsole(80, 300, 80, 25);
        sim::Console().pixels = RECT{100, 100, 773, 539};
        sim::Console().wrapOnResize = true;
        sim::Moves().clear();
        sim::CallLog().clear();
        sim::ClearOutput();
        sim::ClearFailures();
    }
    int WindowWidth() {
        return sim::Console().window.Right - sim::Console().window.Left + 1;
    }
    int WindowHeight() {
        return sim::Console().window.Bottom - sim::Console().window.Top + 1;
    }
    HANDLE console = INVALID_HANDLE_VALUE;
    HWND window = nullptr;
};

// 8 x 16 cells, scroll bars of 17, a window of 673 x 439 pixels at
// (100, 100). A vertical bar counts while the buffer is taller than the
// window; a horizontal bar is added when the buffer is wider than wanted.
// The top-left corner stays, and the console is given 10 ms to follow.
TEST_F(FittingTest, WindowIsMovedToThePixelSizeOfTheWantedCells) {
    struct Row {
        int columns, rows, windowWidth, windowHeight;
        int wantedWidth, wantedHeight;
        int pixelWidth, pixelHeight;
    };
    const Row rows[] = {
        // 80 x 300 showing 80 x 25: F = 673 - 640 - 17 = 16.
        {80, 300, 80, 25, 100, 40, 833, 679},
        {80, 300, 80, 25, 60, 20, 16 + 480 + 17, 439 - 5 * 16 + 17},
        {80, 300, 80, 25, 80, 300, 16 + 640, 439 + 275 * 16},
        // 80 x 25 showing all of it: F = 673 - 640 = 33.
        {80, 25, 80, 25, 70, 20, 33 + 560 + 17, 439 - 5 * 16 + 17},
    };
    sim::SetMoveWindowResizes(false);
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << row.wantedWidth << " x " << row.wantedHeight);
        sim::Moves().clear();
        int sleeps = sim::SleepCount();
        SetConsole(row.columns, row.rows, row.windowWidth, row.windowHeight);
        EXPECT_EQ(FitConsoleWindow(console, window, row.wantedWidth, row.wantedHeight), 0);
        ASSERT_EQ(sim::Moves().size(), 1u);
        const sim::MoveCall &move = sim::Moves()[0];
        EXPECT_EQ(move.window, window);
        EXPECT_EQ(move.x, 100);
        EXPECT_EQ(move.y, 100);
        EXPECT_EQ(move.width, row.pixelWidth);
        EXPECT_EQ(move.height, row.pixelHeight);
        EXPECT_EQ(sim::SleepCount(), sleeps + 1);
    }
}

TEST_F(FittingTest, WindowOfTheWantedSizeIsLeftAlone) {
    EXPECT_EQ(FitConsoleWindow(console, window, 80, 25), 0);
    EXPECT_TRUE(sim::Moves().empty());
    EXPECT_EQ(sim::SleepCount(), 0);
    EXPECT_EQ(sim::CallCount("GetWindowRect"), 0);
    EXPECT_EQ(sim::CallCount("SetConsoleWindowInfo"), 0);
}

// Without a window to move, with a cell size of 0, or when the move leaves
// the size in cells as it was, the window rectangle is set in cells, its top
// row kept where the buffer allows.
TEST_F(FittingTest, WindowRectangleIsSetWhereMovingCannotSizeIt) {
    struct Row {
        const char *what;
        bool hasWindow, moves;
        int fontWidth;
        SMALL_RECT current;
        int wantedWidth, wantedHeight;
        SMALL_RECT expected;
    };
    const Row rows[] = {
        {"no window", false, true, 8, {0, 100, 79, 124}, 60, 20, {0, 100, 59, 119}},
        {"cell size 0", true, true, 0, {0, 100, 79, 124}, 60, 20, {0, 100, 59, 119}},
        {"move does nothing", true, false, 8, {0, 100, 79, 124}, 60, 20, {0, 100, 59, 119}},
        {"grow at the bottom", true, false, 8, {0, 290, 59, 299}, 80, 25, {0, 275, 79, 299}},
        // 1080 / 16 rows fit on the monitor.
        {"grow beyond the buffer and the monitor",
         true,
         false,
         8,
         {0, 0, 79, 24},
         100,
         400,
         {0, 0, 79, 66}},
        {"no font: no monitor limit", true, false, 0, {0, 0, 79, 24}, 100, 400, {0, 0, 79, 299}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        sim::Moves().clear();
        sim::Console().hasWindow = row.hasWindow;
        sim::Console().fontWidth = row.fontWidth;
        sim::Console().fontHeight = row.fontWidth * 2;
        sim::Console().window = row.current;
        sim::SetMoveWindowResizes(row.moves);
        FitConsoleWindow(console, GetConsoleWindow(), row.wantedWidth, row.wantedHeight);
        const SMALL_RECT &now = sim::Console().window;
        EXPECT_EQ(now.Left, row.expected.Left);
        EXPECT_EQ(now.Top, row.expected.Top);
        EXPECT_EQ(now.Right, row.expected.Right);
        EXPECT_EQ(now.Bottom, row.expected.Bottom);
        EXPECT_EQ(sim::Moves().size(), (row.hasWindow && row.fontWidth > 0) ? 1u : 0u);
    }
}

// A move that reaches the size needs no window rectangle. With
// wrap-on-resize the console makes the buffer as narrow as the window, so
// that its horizontal scroll bar, counted in the pixels, goes: one row too
// many, which the window rectangle takes back.
TEST_F(FittingTest, SuccessfulMoveNeedsNoWindowRectangle) {
    struct Row {
        bool wrap;
        int rectangles; // SetConsoleWindowInfo calls
        int columns;    // the buffer's width after
    };
    const Row rows[] = {{false, 0, 80}, {true, 1, 60}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.wrap ? "wrap on" : "wrap off");
        StartAfresh();
        sim::Console().wrapOnResize = row.wrap;
        EXPECT_EQ(FitConsoleWindow(console, window, 60, 20), 0);
        EXPECT_EQ(sim::Moves().size(), 1u);
        EXPECT_EQ(WindowWidth(), 60);
        EXPECT_EQ(WindowHeight(), 20);
        EXPECT_EQ(sim::CallCount("SetConsoleWindowInfo"), row.rectangles);
        EXPECT_EQ(sim::Console().columns, row.columns);
    }
}

// Shrink the window to fit both buffers, set the buffer, grow the window to
// the saved size; each fit only when it changes something. The window never
// grows beyond what the monitor holds (240 x 67 cells of 8 x 16 pixels):
// the buffer keeps the saved size and the window shows what fits. Where the
// move to a window wider than the monitor made the buffer as narrow as the
// window (wrap-on-resize: 237 columns beside the vertical scroll bar), the
// buffer is set once more.
TEST_F(FittingTest, ResizeShrinksSetsAndGrowsInThatOrder) {
    struct Row {
        const char *what;
        bool wrap;
        int columns, rows, windowWidth, windowHeight;   // current
        int savedColumns, savedRows, savedWindowHeight; // wanted
        size_t moves;
        int windowAfterWidth, windowAfterHeight;
        int bufferSets; // SetConsoleScreenBufferSize calls
    };
    const Row rows[] = {
        {"only a grow", true, 80, 300, 80, 25, 120, 500, 50, 1, 120, 50, 1},
        {"only a shrink", true, 120, 300, 120, 50, 80, 100, 30, 1, 80, 30, 1},
        {"shrink then grow", true, 80, 300, 80, 40, 100, 300, 20, 2, 100, 20, 1},
        {"nothing to fit", true, 80, 300, 80, 25, 80, 100, 25, 0, 80, 25, 1},
        {"wider than the monitor, wrap on", true, 80, 300, 80, 25, 300, 100, 30, 1, 237, 30, 2},
        {"wider than the monitor, wrap off", false, 80, 300, 80, 25, 300, 100, 30, 1, 240, 30, 1},
        {"taller than the monitor", true, 80, 300, 80, 25, 100, 500, 90, 1, 100, 67, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetConsole(row.columns, row.rows, row.windowWidth, row.windowHeight);
        sim::Console().wrapOnResize = row.wrap;
        sim::Moves().clear();
        sim::CallLog().clear();
        EXPECT_EQ(ResizeConsole(console, window, row.savedColumns, row.savedRows,
                                row.savedWindowHeight, row.windowWidth, row.windowHeight),
                  0);
        EXPECT_EQ(sim::Moves().size(), row.moves);
        EXPECT_EQ(sim::Console().columns, row.savedColumns);
        EXPECT_EQ(sim::Console().rows, row.savedRows);
        EXPECT_EQ(WindowWidth(), row.windowAfterWidth);
        EXPECT_EQ(WindowHeight(), row.windowAfterHeight);
        EXPECT_EQ(sim::CallCount("SetConsoleScreenBufferSize"), row.bufferSets);
        EXPECT_EQ(sim::Stderr(), "");
    }
}

// A buffer that moving the window changed and that will not take the saved
// size again stops the resize with the system's reason: the cells would
// otherwise land at the wrong offsets.
TEST_F(FittingTest, BufferThatKeepsAnotherSizeIsAnError) {
    struct Row {
        const char *what;
        const char *function;
        int nth;
        std::string reason;
    };
    const Row rows[] = {
        {"second setting fails", "SetConsoleScreenBufferSize", 2,
         "    Not enough memory resources are available to process this command.\r\n"},
        {"size cannot be read back", "GetConsoleScreenBufferInfo", 4,
         "    The handle is invalid.\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        StartAfresh();
        DWORD error = row.nth == 2 ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_HANDLE;
        sim::FailCall(row.function, row.nth, error);
        EXPECT_EQ(ResizeConsole(console, window, 300, 100, 30, 80, 25), 2);
        EXPECT_EQ(sim::Stderr(),
                  glimtest::Prefix() + "Error resizing console screen buffer:\r\n" + row.reason);
    }
}

// Only the hidden window of a pseudo console marks a terminal.
TEST_F(FittingTest, TerminalIsToldByItsWindowsClass) {
    EXPECT_FALSE(IsTerminalWindow(window));
    EXPECT_FALSE(IsTerminalWindow(nullptr));
    sim::SetPseudoConsole(100, 30);
    EXPECT_TRUE(IsTerminalWindow(GetConsoleWindow()));
    sim::FailCall("GetClassNameW", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(IsTerminalWindow(GetConsoleWindow()));
}

TEST_F(FittingTest, ShrinkStepLetsTheBufferBecomeSmallerThanTheOldWindow) {
    // Under Wine-like conditions: the window only changes through its
    // rectangle, and the buffer must not be set smaller than the window.
    sim::SetMoveWindowResizes(false);
    SetConsole(120, 300, 120, 50);
    sim::Console().window = SMALL_RECT{0, 250, 119, 299};
    EXPECT_EQ(ResizeConsole(console, window, 80, 100, 30, 120, 50), 0);
    EXPECT_EQ(sim::Console().columns, 80);
    EXPECT_EQ(sim::Console().rows, 100);
    EXPECT_EQ(WindowWidth(), 80);
    EXPECT_EQ(WindowHeight(), 30);
}

TEST_F(FittingTest, TabWindowRefusesEveryResize) {
    HostSetTabWindow(1);
    EXPECT_EQ(ResizeConsole(console, window, 120, 500, 50, 80, 25), 2);
    EXPECT_EQ(
        sim::Stderr(),
        glimtest::Prefix() +
            "Can\u2019t resize a Take Command tab window.\r\nDetach the tab and try again.\r\n");
    EXPECT_EQ(sim::CallCount("SetConsoleScreenBufferSize"), 0);
    EXPECT_TRUE(sim::Moves().empty());
    EXPECT_EQ(sim::Console().columns, 80);
    EXPECT_EQ(sim::Console().rows, 300);
}

TEST_F(FittingTest, BufferSizeFailureIsReportedAfterTheShrink) {
    sim::FailCall("SetConsoleScreenBufferSize", 1, ERROR_INVALID_PARAMETER);
    SetConsole(80, 300, 80, 40);
    EXPECT_EQ(ResizeConsole(console, window, 100, 300, 20, 80, 40), 2);
    EXPECT_EQ(sim::Stderr(), glimtest::Prefix() + "Error resizing console screen buffer:\r\n"
                                                  "    The parameter is incorrect.\r\n");
    // The shrink has happened; the grow has not.
    EXPECT_EQ(sim::Moves().size(), 1u);
    EXPECT_EQ(WindowWidth(), 80);
    EXPECT_EQ(WindowHeight(), 20);
    EXPECT_EQ(sim::Console().columns, 80);
}

} // namespace
