// fitting.cpp: fitting the console to a restored screen. ResizeConsole
// changes the screen buffer size in the one order the console allows (a
// window is never larger than its buffer: shrink the window, set the buffer,
// grow the window), and refuses inside a Take Command tab window.
// FitConsoleWindow brings the window to a size in cells: by moving the
// top-level window to a size in pixels, or, where that cannot work, by
// setting the console's window rectangle itself.
#include "restore/fitting.h"

#include "common/errors.h"
#include "plugin/host.h"

static const WCHAR TabWindowText[] = TEXT("Can\u2019t resize a Take Command tab window.\r\n");
static const WCHAR DetachTabText[] = TEXT("Detach the tab and try again.\r\n");
static const WCHAR ResizeBufferText[] = TEXT("Error resizing console screen buffer:\r\n");

enum {
    SETTLE_MILLISECONDS = 10, // lets the console take in the window's new size
};

static int Smaller(int a, int b) {
    return a < b ? a : b;
}

static int Larger(int a, int b) {
    return a > b ? a : b;
}

static int WindowWidth(const CONSOLE_SCREEN_BUFFER_INFO *info) {
    return info->srWindow.Right - info->srWindow.Left + 1;
}

static int WindowHeight(const CONSOLE_SCREEN_BUFFER_INFO *info) {
    return info->srWindow.Bottom - info->srWindow.Top + 1;
}

// Moves the top-level window so that it shows `width` x `height` cells, from
// the font's cell size, the window's frame and the scroll bars (`hs` the
// height of a horizontal one, `vs` the width of a vertical one). Returns TRUE
// when it moved the window, FALSE when the arithmetic has nothing to work
// on (no window rectangle, no font, a cell size of 0).
static BOOL MoveToCells(HANDLE console, HWND window, const CONSOLE_SCREEN_BUFFER_INFO *info, int hs,
                        int vs, int width, int height) {
    int cw = WindowWidth(info);
    int ch = WindowHeight(info);
    int bw = info->dwSize.X;
    int bh = info->dwSize.Y;
    RECT frame = {0, 0, 0, 0};
    CONSOLE_FONT_INFO font = {0, {0, 0}};
    if (window == NULL || !GetWindowRect(window, &frame) ||
        !GetCurrentConsoleFont(console, FALSE, &font)) {
        return FALSE;
    }
    COORD cell = GetConsoleFontSize(console, font.nFont);
    int fw = cell.X;
    int fh = cell.Y;
    if (fw <= 0 || fh <= 0) {
        return FALSE;
    }
    int pixelWidth = frame.right - frame.left;
    int pixelHeight = frame.bottom - frame.top;
    int frameWidth = pixelWidth - fw * cw;
    if (bh > ch) {
        frameWidth -= vs;
    }
    int newWidth = frameWidth + fw * width + (bh > height ? vs : 0);
    int newHeight = pixelHeight + (height - ch) * fh + (bw > width ? hs : 0);
    MoveWindow(window, frame.left, frame.top, newWidth, newHeight, TRUE);
    Sleep(SETTLE_MILLISECONDS);
    return TRUE;
}

// Sets the console's window rectangle to `width` x `height` cells, keeping
// its top row and left column where the buffer allows.
static void SetWindowCells(HANDLE console, const CONSOLE_SCREEN_BUFFER_INFO *info, int width,
                           int height) {
    int bw = info->dwSize.X;
    int bh = info->dwSize.Y;
    int w = Smaller(width, bw);
    int h = Smaller(height, bh);
    if (w < 1 || h < 1) {
        return;
    }
    int left = Smaller(info->srWindow.Left, bw - w);
    int top = Smaller(info->srWindow.Top, bh - h);
    left = Larger(left, 0);
    top = Larger(top, 0);
    SMALL_RECT rect = {(SHORT)left, (SHORT)top, (SHORT)(left + w - 1), (SHORT)(top + h - 1)};
    SetConsoleWindowInfo(console, TRUE, &rect);
}

int FitConsoleWindow(HANDLE console, HWND window, int width, int height) {
    int hs = GetSystemMetrics(SM_CXHSCROLL);
    int vs = GetSystemMetrics(SM_CXVSCROLL);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    if (WindowWidth(&info) == width && WindowHeight(&info) == height) {
        return 0;
    }
    if (MoveToCells(console, window, &info, hs, vs, width, height)) {
        CONSOLE_SCREEN_BUFFER_INFO after = {};
        if (!GetConsoleScreenBufferInfo(console, &after) ||
            (WindowWidth(&after) == width && WindowHeight(&after) == height)) {
            return 0;
        }
        info = after;
    }
    // No window to move, no cell size to move it by (as in consoles shown
    // other than in a top-level window), or a move that did not reach the
    // size in cells: the console sets its own window rectangle.
    SetWindowCells(console, &info, width, height);
    return 0;
}

int ResizeConsole(HANDLE console, HWND window, int columns, int rows, int windowHeight,
                  int currentWidth, int currentHeight) {
    if (QueryIsTCMD() != 0) {
        ReportPlain(TabWindowText, NULL);
        ReportBare(DetachTabText, NULL);
        return 2;
    }
    int w1 = Smaller(columns, currentWidth);
    int h1 = Smaller(windowHeight, currentHeight);
    if (w1 != currentWidth || h1 != currentHeight) {
        FitConsoleWindow(console, window, w1, h1);
    }
    COORD size = {(SHORT)columns, (SHORT)rows};
    if (!SetConsoleScreenBufferSize(console, size)) {
        ReportSystem(ResizeBufferText, NULL);
        return 2;
    }
    // The targets of the grow step come from the shrink step's request, not
    // from a new measurement.
    int w2 = Larger(columns, w1);
    int h2 = Larger(windowHeight, h1);
    if (w2 != w1 || h2 != h1) {
        FitConsoleWindow(console, window, w2, h2);
    }
    return 0;
}
