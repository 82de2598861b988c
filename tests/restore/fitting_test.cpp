// fitting_test.cpp: resizing the console screen buffer in the safe order,
// the pixel arithmetic that brings the window to a size in cells, the
// fallback where the window cannot be moved in pixels, and the refusal in a
// tab window.
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
        {"grow beyond the buffer", true, false, 8, {0, 0, 79, 24}, 100, 400, {0, 0, 79, 299}},
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

TEST_F(FittingTest, SuccessfulMoveNeedsNoWindowRectangle) {
    sim::ConsoleResize(120, 300);
    EXPECT_EQ(FitConsoleWindow(console, window, 100, 40), 0);
    EXPECT_EQ(sim::Moves().size(), 1u);
    EXPECT_EQ(WindowWidth(), 100);
    EXPECT_EQ(WindowHeight(), 40);
    EXPECT_EQ(sim::CallCount("SetConsoleWindowInfo"), 0);
}

// Shrink the window to fit both buffers, set the buffer, grow the window to
// the saved size; each fit only when it changes something.
TEST_F(FittingTest, ResizeShrinksSetsAndGrowsInThatOrder) {
    struct Row {
        const char *what;
        int columns, rows, windowWidth, windowHeight;   // current
        int savedColumns, savedRows, savedWindowHeight; // wanted
        size_t moves;
    };
    const Row rows[] = {
        {"only a grow", 80, 300, 80, 25, 120, 500, 50, 1},
        {"only a shrink", 120, 300, 120, 50, 80, 100, 30, 1},
        {"shrink then grow", 80, 300, 80, 40, 100, 300, 20, 2},
        {"nothing to fit", 80, 300, 80, 25, 80, 100, 25, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SetConsole(row.columns, row.rows, row.windowWidth, row.windowHeight);
        sim::Moves().clear();
        sim::CallLog().clear();
        EXPECT_EQ(ResizeConsole(console, window, row.savedColumns, row.savedRows,
                                row.savedWindowHeight, row.windowWidth, row.windowHeight),
                  0);
        EXPECT_EQ(sim::Moves().size(), row.moves);
        EXPECT_EQ(sim::Console().columns, row.savedColumns);
        EXPECT_EQ(sim::Console().rows, row.savedRows);
        EXPECT_EQ(WindowWidth(), row.savedColumns);
        EXPECT_EQ(WindowHeight(), row.savedWindowHeight);
        EXPECT_EQ(sim::CallCount("SetConsoleScreenBufferSize"), 1);
        EXPECT_EQ(sim::Stderr(), "");
    }
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
