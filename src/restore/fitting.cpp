// fitting.cpp: fitting the console to a restored screen. ResizeConsole
// changes the screen buffer size in the one order the console allows (a
// window is never larger than its buffer: shrink the window, set the buffer,
// grow the window), and refuses inside a Take Command tab window.
// FitConsoleWindow brings the window to a size in cells: by moving the
// top-level window to a size in pixels, or, where that cannot work, by
// setting the console's window rectangle itself.
//
// Hazards of a real console host, and how they are met (each is a row of
// tests/restore/fitting_test.cpp against winsim's model of the host):
// - The host refuses a window larger than the monitor holds, and sizes a
//   moved window down to the monitor: the grow step never asks for more
//   than GetLargestConsoleWindowSize, where the console has a font to
//   measure the monitor by. Wine's console reports a font of 0 x 0 and a
//   largest window of 80 x 150 cells whatever the buffer, yet takes any
//   window inside the buffer: a console without a font is given no limit.
// - With "Wrap text output on resize" on, the host gives the buffer the
//   width of a window resized in pixels. Whatever moving the window did to
//   the buffer, ResizeConsole reads its size back and sets it once more.
// - A console hosted by a pseudo console (a terminal such as Windows
//   Terminal) cannot be resized at all: IsTerminalWindow tells it apart.
#include "restore/fitting.h"

#include "common/errors.h"
#include "common/text.h"
#include "plugin/host.h"

static const WCHAR TabWindowText[] = TEXT("Can\u2019t resize a Take Command tab window.\r\n");
static const WCHAR DetachTabText[] = TEXT("Detach the tab and try again.\r\n");
static const WCHAR ResizeBufferText[] = TEXT("Error resizing console screen buffer:\r\n");
static const WCHAR PseudoConsoleClass[] = TEXT("PseudoConsoleWindow");

enum {
    SETTLE_MILLISECONDS = 10,   // lets the console take in the window's new size
    CLASS_NAME_CHARACTERS = 64, // longer than any class name compared here
    NO_LIMIT = 0x7FFF,          // a window size in cells beyond any console's
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

// The font's cell size in pixels, into *fw and *fh. FALSE when the console
// reports no font, or a cell of 0 pixels.
static BOOL GetCellSize(HANDLE console, int *fw, int *fh) {
    CONSOLE_FONT_INFO font = {0, {0, 0}};
    if (!GetCurrentConsoleFont(console, FALSE, &font)) {
        return FALSE;
    }
    COORD cell = GetConsoleFontSize(console, font.nFont);
    *fw = cell.X;
    *fh = cell.Y;
    return *fw > 0 && *fh > 0;
}

// The largest window the console can show, in cells: what
// GetLargestConsoleWindowSize reports for the monitor, where the console
// has a font cell to measure it by; NO_LIMIT otherwise.
static void GetLargestWindow(HANDLE console, int *columns, int *rows) {
    int fw = 0;
    int fh = 0;
    *columns = NO_LIMIT;
    *rows = NO_LIMIT;
    if (!GetCellSize(console, &fw, &fh)) {
        return;
    }
    COORD largest = GetLargestConsoleWindowSize(console);
    if (largest.X > 0 && largest.Y > 0) {
        *columns = largest.X;
        *rows = largest.Y;
    }
}

// 0 when the buffer is `columns` x `rows`; otherwise the error code that
// says why not (the failed read's, or ERROR_INVALID_PARAMETER for a buffer
// of another size: the console did not take the size asked for).
static DWORD BufferSizeDiffers(HANDLE console, int columns, int rows) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(console, &info)) {
        DWORD error = GetLastError();
        return error != 0 ? error : (DWORD)ERROR_INVALID_PARAMETER;
    }
    if (info.dwSize.X == columns && info.dwSize.Y == rows) {
        return 0;
    }
    return ERROR_INVALID_PARAMETER;
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
    int fw = 0;
    int fh = 0;
    if (window == NULL || !GetWindowRect(window, &frame) || !GetCellSize(console, &fw, &fh)) {
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
// its top row and left column where the buffer allows; never larger than
// the buffer or than the monitor holds, which the console would refuse.
static void SetWindowCells(HANDLE console, const CONSOLE_SCREEN_BUFFER_INFO *info, int width,
                           int height) {
    int bw = info->dwSize.X;
    int bh = info->dwSize.Y;
    int largestColumns = NO_LIMIT;
    int largestRows = NO_LIMIT;
    GetLargestWindow(console, &largestColumns, &largestRows);
    int w = Smaller(Smaller(width, bw), largestColumns);
    int h = Smaller(Smaller(height, bh), largestRows);
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
    // from a new measurement, and never exceed what the monitor holds (the
    // buffer keeps the saved size; the window shows what fits, with scroll
    // bars).
    int largestColumns = NO_LIMIT;
    int largestRows = NO_LIMIT;
    GetLargestWindow(console, &largestColumns, &largestRows);
    int w2 = Larger(Smaller(columns, largestColumns), w1);
    int h2 = Larger(Smaller(windowHeight, largestRows), h1);
    if (w2 != w1 || h2 != h1) {
        FitConsoleWindow(console, window, w2, h2);
    }
    // Moving the window may have changed the buffer (wrap-on-resize, or a
    // buffer grown to a window larger than it): set it once more. A buffer
    // that still has another size would have every row written at the
    // wrong place.
    if (BufferSizeDiffers(console, columns, rows) != 0) {
        if (!SetConsoleScreenBufferSize(console, size)) {
            ReportSystem(ResizeBufferText, NULL);
            return 2;
        }
        DWORD error = BufferSizeDiffers(console, columns, rows);
        if (error != 0) {
            ReportSystemCode(error, ResizeBufferText, NULL);
            return 2;
        }
    }
    return 0;
}

BOOL IsTerminalWindow(HWND window) {
    WCHAR name[CLASS_NAME_CHARACTERS];
    if (window == NULL || GetClassNameW(window, name, CLASS_NAME_CHARACTERS) == 0) {
        return FALSE;
    }
    return CompareNoCaseAZ(name, PseudoConsoleClass) == 0;
}
