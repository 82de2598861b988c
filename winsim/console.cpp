// winsim/console.cpp: the simulated console and its window. Owns the console
// state of sim::Console(), the cells, the limit on cells a read fills, the
// "CONOUT$" handles, the console functions of Win32, WriteConsoleW, the
// window rectangle and MoveWindow, the scroll-bar metrics, the record of
// window moves, and the pseudo-console mode.
//
// The window follows the console host that Windows users run (conhost, in
// the microsoft/terminal repository) where it and Wine differ; each such
// rule names the source file and function it follows.
//
// Access rights are those Win32 documents: reading cells, the buffer
// information, the font and the mode, and the Set* calls for the buffer
// size, the window, the cursor and the attribute need GENERIC_READ; writing
// cells and WriteConsoleW need GENERIC_WRITE. The standard output and error
// handles are console handles with both rights when sim::SetStdIsConsole
// says so; WriteConsoleW on them goes to the captured output, not the cells.
//
// Choices where the machine is not Windows:
// - The monitor is a size in pixels that a test sets; a font of 0 x 0
//   (as Wine reports) counts as 1 x 1 there, so that such a console has no
//   monitor limit worth the name, as under Wine.
// - GetConsoleCP and GetConsoleOutputCP give 0 when they fail (no console,
//   or an injected failure); GetConsoleFontSize gives {0, 0}.
// - WriteConsoleW on "CONOUT$" writes at the cursor with the current
//   attribute, handling CR, LF (as CR LF), backspace and tab; at the end of
//   the last row it stops writing (there is no scrolling) but still reports
//   every character written, as Windows would after scrolling.
// - GetSystemMetrics answers SM_CXVSCROLL and SM_CXHSCROLL only.
#include "winsim/simcore.h"

#include <algorithm>
#include <map>

namespace winsim {

namespace {

const uintptr_t CONSOLE_WINDOW_VALUE = 0x10A2E;
const uintptr_t FOREGROUND_WINDOW_VALUE = 0x20B3C;
const uintptr_t PSEUDO_WINDOW_VALUE = 0x30C4A;
const DWORD FONT_INDEX = 6;
const char16_t CONSOLE_CLASS[] = u"ConsoleWindowClass";
const char16_t PSEUDO_CLASS[] = u"PseudoConsoleWindow";
const DWORD OUTPUT_MODE = 0x0003; // processed output, wrap at end of line
const DWORD INPUT_MODE = 0x01F7;

sim::ConsoleState state;
std::vector<WORD> chars, attrs;
std::map<uintptr_t, DWORD> consoleAccess; // CONOUT$ handle -> access
std::vector<sim::MoveCall> moves;
bool moveResizes = true;
bool pseudo = false;                       // hosted by a pseudo console (sim::SetPseudoConsole)
int terminalColumns = 0, terminalRows = 0; // the terminal's screen in the pseudo-console mode
DWORD readLimit = 0; // most cells one read fills (sim::SetConsoleReadLimit), 0 for no limit

// The cells follow the size in `state`, whatever a test did to it: when the
// size changed behind our back, the cells are cleared to the new size.
void SyncCells() {
    size_t count = (size_t)std::max(state.columns, 0) * (size_t)std::max(state.rows, 0);
    if (chars.size() != count || attrs.size() != count) {
        chars.assign(count, u' ');
        attrs.assign(count, state.attribute);
    }
}

int WindowWidth() {
    return state.window.Right - state.window.Left + 1;
}

int WindowHeight() {
    return state.window.Bottom - state.window.Top + 1;
}

// Whether `handle` may be used as a console screen buffer with `access`;
// when not, the last error says why.
bool UseConsole(HANDLE handle, DWORD access) {
    switch (KindOf(handle)) {
    case KIND_CONSOLE: {
        if (!state.present) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        DWORD granted = consoleAccess[(uintptr_t)handle];
        if ((granted & access) != access) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        break;
    }
    case KIND_STD:
        if (!state.present || !StdIsConsole() || StdWhich(handle) == STD_INPUT_HANDLE) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        break;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    SyncCells();
    return true;
}

bool InBuffer(COORD at) {
    return at.X >= 0 && at.Y >= 0 && at.X < state.columns && at.Y < state.rows;
}

// Moves the window as little as needed to show the cursor, as the console
// does when the cursor leaves it.
void ShowCursor() {
    int width = WindowWidth(), height = WindowHeight();
    int left = state.window.Left, top = state.window.Top;
    if (state.cursorColumn < left) {
        left = state.cursorColumn;
    } else if (state.cursorColumn > state.window.Right) {
        left = state.cursorColumn - width + 1;
    }
    if (state.cursorRow < top) {
        top = state.cursorRow;
    } else if (state.cursorRow > state.window.Bottom) {
        top = state.cursorRow - height + 1;
    }
    state.window.Left = (SHORT)left;
    state.window.Top = (SHORT)top;
    state.window.Right = (SHORT)(left + width - 1);
    state.window.Bottom = (SHORT)(top + height - 1);
}

void Fail(DWORD error) {
    SetLastError(error);
}

template <typename T> void Need(const char *function, const T *pointer, const char *what) {
    if (pointer == nullptr) {
        Unsupported(function, what);
    }
}

bool IsConsoleWindow(HWND window) {
    return state.present && state.hasWindow && !pseudo && (uintptr_t)window == CONSOLE_WINDOW_VALUE;
}

bool IsPseudoWindow(HWND window) {
    return state.present && state.hasWindow && pseudo && (uintptr_t)window == PSEUDO_WINDOW_VALUE;
}

// The font's cell size as the console divides pixels by it: never 0
// (src/host/screenInfo.cpp, SCREEN_INFORMATION::GetScreenFontSize).
int CellWidth() {
    return std::max(state.fontWidth, 1);
}

int CellHeight() {
    return std::max(state.fontHeight, 1);
}

// The largest window the monitor holds, in cells: the monitor's pixels for
// cells divided by the font's cell size (src/host/screenInfo.cpp,
// SCREEN_INFORMATION::GetLargestWindowSizeInCharacters).
COORD LargestWindow() {
    COORD size = {(SHORT)std::min(state.screenWidth / CellWidth(), 0x7FFF),
                  (SHORT)std::min(state.screenHeight / CellHeight(), 0x7FFF)};
    return size;
}

// Puts a window of `width` x `height` cells with its top-left cell at
// (left, top) into the buffer: no larger than the buffer and moved inside
// it (src/host/screenInfo.cpp, SCREEN_INFORMATION::SetViewport).
void PlaceWindowInBuffer(int left, int top, int width, int height) {
    width = std::max(1, std::min(width, state.columns));
    height = std::max(1, std::min(height, state.rows));
    left = std::max(0, std::min(left, state.columns - width));
    top = std::max(0, std::min(top, state.rows - height));
    state.window =
        SMALL_RECT{(SHORT)left, (SHORT)top, (SHORT)(left + width - 1), (SHORT)(top + height - 1)};
}

// Gives the buffer a new size, keeping the cells the two sizes share; new
// cells are blanks in the current attribute, and the cursor stays inside.
void ResizeCells(int columns, int rows) {
    std::vector<WORD> newChars((size_t)columns * (size_t)rows, u' ');
    std::vector<WORD> newAttrs((size_t)columns * (size_t)rows, state.attribute);
    int keepColumns = std::min(columns, state.columns), keepRows = std::min(rows, state.rows);
    for (int r = 0; r < keepRows; r++) {
        for (int c = 0; c < keepColumns; c++) {
            newChars[(size_t)r * columns + c] = chars[(size_t)r * state.columns + c];
            newAttrs[(size_t)r * columns + c] = attrs[(size_t)r * state.columns + c];
        }
    }
    chars.swap(newChars);
    attrs.swap(newAttrs);
    state.columns = columns;
    state.rows = rows;
    state.cursorColumn = std::min(state.cursorColumn, columns - 1);
    state.cursorRow = std::min(state.cursorRow, rows - 1);
}

// Which scroll bars a client area of `width` x `height` pixels shows for a
// buffer of `columns` x `rows` cells, and how many cells it then holds
// (src/host/screenInfo.cpp, SCREEN_INFORMATION::s_CalculateScrollbarVisibility
// and _AdjustScreenBufferHelper).
COORD CellsInClient(int width, int height, int columns, int rows) {
    int fw = CellWidth(), fh = CellHeight();
    bool horizontal = false, vertical = false;
    if (columns * fw > width) {
        horizontal = true;
        vertical = rows * fh > height - state.hScroll;
    } else if (rows * fh > height) {
        vertical = true;
        horizontal = columns * fw > width - state.vScroll;
    }
    int cellsWide = (width - (vertical ? state.vScroll : 0)) / fw;
    int cellsHigh = (height - (horizontal ? state.hScroll : 0)) / fh;
    COORD cells = {(SHORT)std::max(1, std::min(cellsWide, 0x7FFF)),
                   (SHORT)std::max(1, std::min(cellsHigh, 0x7FFF))};
    return cells;
}

} // namespace

void ResetConsole() {
    state = sim::ConsoleState();
    chars.clear();
    attrs.clear();
    SyncCells();
    consoleAccess.clear();
    moves.clear();
    moveResizes = true;
    pseudo = false;
    terminalColumns = terminalRows = 0;
    readLimit = 0;
}

void CloseConsoleObject(HANDLE handle) {
    consoleAccess.erase((uintptr_t)handle);
}

bool ConsolePresent() {
    return state.present;
}

// CreateFileW on "CONOUT$" (called by devices.cpp after logging).
HANDLE OpenConsole(DWORD access) {
    if (!state.present) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = NewHandle(KIND_CONSOLE);
    consoleAccess[(uintptr_t)handle] = access;
    return handle;
}

} // namespace winsim

using namespace winsim;

extern "C" {

BOOL GetConsoleScreenBufferInfo(HANDLE console, PCONSOLE_SCREEN_BUFFER_INFO info) {
    if (EnterOrFail("GetConsoleScreenBufferInfo")) {
        return FALSE;
    }
    Need("GetConsoleScreenBufferInfo", info, "a null information pointer");
    if (!UseConsole(console, GENERIC_READ)) {
        return FALSE;
    }
    info->dwSize.X = (SHORT)state.columns;
    info->dwSize.Y = (SHORT)state.rows;
    info->dwCursorPosition.X = (SHORT)state.cursorColumn;
    info->dwCursorPosition.Y = (SHORT)state.cursorRow;
    info->wAttributes = state.attribute;
    info->srWindow = state.window;
    // src/host/screenInfo.cpp, SCREEN_INFORMATION::GetMaxWindowSizeInCharacters.
    COORD largest = LargestWindow();
    info->dwMaximumWindowSize.X = (SHORT)std::min(state.columns, (int)largest.X);
    info->dwMaximumWindowSize.Y = (SHORT)std::min(state.rows, (int)largest.Y);
    return TRUE;
}

// The part the four cell transfers share: the call's log entry and armed
// failure, the count pointer, the handle's access, the start inside the
// buffer and the cells that the transfer covers (clipped at the buffer's
// end, and for reads at the read limit). FALSE when the call fails (its
// error set); otherwise *start and *count say which cells to move.
static BOOL BeginCellTransfer(const char *name, HANDLE console, DWORD access, const void *buffer,
                              DWORD length, COORD at, LPDWORD done, size_t *start, size_t *count) {
    DWORD error = 0;
    if (Enter(name, &error)) {
        if (done != nullptr) {
            *done = 0;
        }
        Fail(error);
        return FALSE;
    }
    Need(name, done, "a null count pointer");
    *done = 0;
    if (!UseConsole(console, access)) {
        return FALSE;
    }
    if (!InBuffer(at)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *start = (size_t)at.Y * (size_t)state.columns + (size_t)at.X;
    *count = std::min((size_t)length, chars.size() - *start);
    if (access == GENERIC_READ && readLimit != 0) {
        *count = std::min(*count, (size_t)readLimit);
    }
    if (*count > 0) {
        Need(name, buffer, "a null buffer");
    }
    *done = (DWORD)*count;
    return TRUE;
}

BOOL ReadConsoleOutputCharacterW(HANDLE console, LPWSTR characters, DWORD length, COORD at,
                                 LPDWORD read) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("ReadConsoleOutputCharacterW", console, GENERIC_READ, characters, length,
                           at, read, &start, &count)) {
        return FALSE;
    }
    for (size_t i = 0; i < count; i++) {
        characters[i] = (WCHAR)chars[start + i];
    }
    return TRUE;
}

BOOL ReadConsoleOutputAttribute(HANDLE console, WORD *attributes, DWORD length, COORD at,
                                LPDWORD read) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("ReadConsoleOutputAttribute", console, GENERIC_READ, attributes, length,
                           at, read, &start, &count)) {
        return FALSE;
    }
    std::copy(attrs.begin() + (long)start, attrs.begin() + (long)(start + count), attributes);
    return TRUE;
}

BOOL WriteConsoleOutputCharacterW(HANDLE console, LPCWSTR characters, DWORD length, COORD at,
                                  LPDWORD written) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("WriteConsoleOutputCharacterW", console, GENERIC_WRITE, characters,
                           length, at, written, &start, &count)) {
        return FALSE;
    }
    for (size_t i = 0; i < count; i++) {
        chars[start + i] = (WORD)characters[i];
    }
    return TRUE;
}

BOOL WriteConsoleOutputAttribute(HANDLE console, const WORD *attributes, DWORD length, COORD at,
                                 LPDWORD written) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("WriteConsoleOutputAttribute", console, GENERIC_WRITE, attributes,
                           length, at, written, &start, &count)) {
        return FALSE;
    }
    std::copy(attributes, attributes + count, attrs.begin() + (long)start);
    return TRUE;
}

// src/host/getset.cpp, ApiRoutines::SetConsoleScreenBufferSizeImpl: a
// console shown in a window refuses a buffer smaller than its window; a
// pseudo console has no window of its own to protect and takes any size,
// while the terminal's screen stays as it is.
BOOL SetConsoleScreenBufferSize(HANDLE console, COORD size) {
    if (EnterOrFail("SetConsoleScreenBufferSize")) {
        return FALSE;
    }
    if (!UseConsole(console, GENERIC_READ)) {
        return FALSE;
    }
    int columns = size.X, rows = size.Y;
    if (columns < 1 || rows < 1 || columns > state.maxColumns || rows > state.maxRows ||
        (!pseudo && (columns < WindowWidth() || rows < WindowHeight()))) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ResizeCells(columns, rows);
    // The window keeps its size where it fits and moves back inside.
    PlaceWindowInBuffer(state.window.Left, state.window.Top, WindowWidth(), WindowHeight());
    return TRUE;
}

// src/host/getset.cpp, ApiRoutines::SetConsoleWindowInfoImpl: a window
// larger than the buffer, or than the monitor holds, is refused; one that
// lies partly outside the buffer is moved inside it
// (SCREEN_INFORMATION::SetViewport). In a pseudo console (the VtIo branch)
// the buffer takes the window's size instead, and the window is all of it.
BOOL SetConsoleWindowInfo(HANDLE console, BOOL absolute, const SMALL_RECT *window) {
    if (EnterOrFail("SetConsoleWindowInfo")) {
        return FALSE;
    }
    Need("SetConsoleWindowInfo", window, "a null rectangle");
    if (!UseConsole(console, GENERIC_READ)) {
        return FALSE;
    }
    int left = window->Left, top = window->Top, right = window->Right, bottom = window->Bottom;
    if (!absolute) {
        left += state.window.Left;
        top += state.window.Top;
        right += state.window.Right;
        bottom += state.window.Bottom;
    }
    if (left > right || top > bottom) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int width = right - left + 1, height = bottom - top + 1;
    if (pseudo) {
        if (width > state.maxColumns || height > state.maxRows) {
            Fail(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        ResizeCells(width, height);
        PlaceWindowInBuffer(0, 0, width, height);
        return TRUE;
    }
    COORD largest = LargestWindow();
    if (width > std::min(state.columns, (int)largest.X) ||
        height > std::min(state.rows, (int)largest.Y)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PlaceWindowInBuffer(left, top, width, height);
    return TRUE;
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
    if (EnterOrFail("SetConsoleCursorPosition")) {
        return FALSE;
    }
    if (!UseConsole(console, GENERIC_READ)) {
        return FALSE;
    }
    if (!InBuffer(position)) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    state.cursorColumn = position.X;
    state.cursorRow = position.Y;
    ShowCursor();
    return TRUE;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
    if (EnterOrFail("SetConsoleTextAttribute")) {
        return FALSE;
    }
    if (!UseConsole(console, GENERIC_READ)) {
        return FALSE;
    }
    state.attribute = attributes;
    return TRUE;
}

// The four code-page calls differ only in their name and the page they
// read or set.
static UINT GetCodePage(const char *call, UINT page) {
    DWORD error = 0;
    if (Enter(call, &error)) {
        Fail(error);
        return 0;
    }
    if (!state.present) {
        Fail(ERROR_INVALID_HANDLE);
        return 0;
    }
    return page;
}

static BOOL SetCodePage(const char *call, UINT codePage, UINT *page) {
    DWORD error = 0;
    if (Enter(call, &error)) {
        Fail(error);
        return FALSE;
    }
    if (!state.present) {
        Fail(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (codePage == 0 || codePage > 65535) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *page = codePage;
    return TRUE;
}

UINT GetConsoleCP(void) {
    return GetCodePage("GetConsoleCP", state.inputCodePage);
}

UINT GetConsoleOutputCP(void) {
    return GetCodePage("GetConsoleOutputCP", state.outputCodePage);
}

BOOL SetConsoleCP(UINT codePage) {
    return SetCodePage("SetConsoleCP", codePage, &state.inputCodePage);
}

BOOL SetConsoleOutputCP(UINT codePage) {
    return SetCodePage("SetConsoleOutputCP", codePage, &state.outputCodePage);
}

HWND GetConsoleWindow(void) {
    if (EnterOrFail("GetConsoleWindow")) {
        return nullptr;
    }
    if (!state.present || !state.hasWindow) {
        return nullptr;
    }
    // src/interactivity/base/InteractivityFactory.cpp: a pseudo console's
    // window is a hidden one of its own class.
    return (HWND)(pseudo ? PSEUDO_WINDOW_VALUE : CONSOLE_WINDOW_VALUE);
}

COORD GetLargestConsoleWindowSize(HANDLE console) {
    DWORD error = 0;
    COORD none = {0, 0};
    if (Enter("GetLargestConsoleWindowSize", &error)) {
        Fail(error);
        return none;
    }
    if (!UseConsole(console, GENERIC_READ)) {
        return none;
    }
    // src/host/getset.cpp, ApiRoutines::GetLargestConsoleWindowSizeImpl.
    return LargestWindow();
}

BOOL GetCurrentConsoleFont(HANDLE console, BOOL maximumWindow, PCONSOLE_FONT_INFO font) {
    if (EnterOrFail("GetCurrentConsoleFont")) {
        return FALSE;
    }
    Need("GetCurrentConsoleFont", font, "a null font record");
    (void)maximumWindow;
    if (!UseConsole(console, GENERIC_READ)) {
        return FALSE;
    }
    font->nFont = FONT_INDEX;
    font->dwFontSize.X = (SHORT)state.fontWidth;
    font->dwFontSize.Y = (SHORT)state.fontHeight;
    return TRUE;
}

COORD GetConsoleFontSize(HANDLE console, DWORD font) {
    DWORD error = 0;
    COORD none = {0, 0};
    if (Enter("GetConsoleFontSize", &error)) {
        Fail(error);
        return none;
    }
    if (!UseConsole(console, 0)) {
        return none;
    }
    if (font != FONT_INDEX) {
        Fail(ERROR_INVALID_PARAMETER);
        return none;
    }
    COORD size = {(SHORT)state.fontWidth, (SHORT)state.fontHeight};
    return size;
}

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
    if (EnterOrFail("GetConsoleMode")) {
        return FALSE;
    }
    Need("GetConsoleMode", mode, "a null mode pointer");
    HandleKind kind = KindOf(console);
    if (kind == KIND_STD && state.present && StdIsConsole()) {
        *mode = StdWhich(console) == STD_INPUT_HANDLE ? INPUT_MODE : OUTPUT_MODE;
        return TRUE;
    }
    if (kind == KIND_CONSOLE) {
        if (!UseConsole(console, GENERIC_READ)) {
            return FALSE;
        }
        *mode = OUTPUT_MODE;
        return TRUE;
    }
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WriteConsoleW(HANDLE console, const void *text, DWORD length, LPDWORD written,
                   LPVOID reserved) {
    DWORD error = 0;
    if (Enter("WriteConsoleW", &error)) {
        if (written != nullptr) {
            *written = 0;
        }
        Fail(error);
        return FALSE;
    }
    (void)reserved;
    if (written != nullptr) {
        *written = 0;
    }
    const WCHAR *units = (const WCHAR *)text;
    if (length > 0) {
        Need("WriteConsoleW", units, "a null text");
    }
    HandleKind kind = KindOf(console);
    if (kind == KIND_STD) {
        DWORD which = StdWhich(console);
        if (!state.present || !StdIsConsole() || which == STD_INPUT_HANDLE) {
            Fail(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        AppendStd(which, sim::U8(std::u16string(units, length)));
    } else {
        if (kind != KIND_CONSOLE) {
            Fail(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!UseConsole(console, GENERIC_WRITE)) {
            return FALSE;
        }
        int column = state.cursorColumn, row = state.cursorRow;
        bool full = false;
        for (DWORD i = 0; i < length && !full; i++) {
            WCHAR c = units[i];
            if (c == u'\r') {
                column = 0;
            } else if (c == u'\n') {
                column = 0;
                row++;
            } else if (c == u'\b') {
                column = column > 0 ? column - 1 : 0;
            } else if (c == u'\t') {
                column = std::min((column / 8 + 1) * 8, state.columns - 1);
            } else if (c == u'\a') {
                // The bell writes nothing.
            } else {
                size_t at = (size_t)row * state.columns + column;
                chars[at] = (WORD)c;
                attrs[at] = state.attribute;
                column++;
                if (column == state.columns) {
                    column = 0;
                    row++;
                }
            }
            if (row >= state.rows) {
                row = state.rows - 1;
                column = state.columns - 1;
                full = true;
            }
        }
        state.cursorColumn = column;
        state.cursorRow = row;
        ShowCursor();
    }
    if (written != nullptr) {
        *written = length;
    }
    return TRUE;
}

int GetSystemMetrics(int index) {
    if (EnterOrFail("GetSystemMetrics")) {
        return 0;
    }
    switch (index) {
    case SM_CXVSCROLL:
        return state.vScroll;
    case SM_CXHSCROLL:
        return state.hScroll;
    default:
        Unsupported("GetSystemMetrics", "this metric index");
    }
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    if (EnterOrFail("GetWindowRect")) {
        return FALSE;
    }
    Need("GetWindowRect", rect, "a null rectangle");
    if (IsConsoleWindow(window)) {
        *rect = state.pixels;
        return TRUE;
    }
    if (IsPseudoWindow(window)) {
        *rect = RECT{0, 0, 0, 0};
        return TRUE;
    }
    if ((uintptr_t)window == FOREGROUND_WINDOW_VALUE) {
        *rect = RECT{0, 0, 800, 600};
        return TRUE;
    }
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

// The console window's reply to being moved and sized
// (src/interactivity/win32/windowproc.cpp, WM_WINDOWPOSCHANGING and
// Window::_HandleWindowPosChanged; src/host/screenInfo.cpp,
// SCREEN_INFORMATION::ProcessResizeWindow, _AdjustScreenBuffer,
// _CalculateViewportSize and _InternalSetViewportSize).
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    if (EnterOrFail("MoveWindow")) {
        return FALSE;
    }
    (void)repaint;
    moves.push_back(sim::MoveCall{window, x, y, width, height});
    if ((uintptr_t)window == FOREGROUND_WINDOW_VALUE || IsPseudoWindow(window)) {
        return TRUE;
    }
    if (!IsConsoleWindow(window)) {
        Fail(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!moveResizes) {
        return TRUE;
    }
    SyncCells();
    int fw = CellWidth(), fh = CellHeight();
    int cw = WindowWidth(), ch = WindowHeight();
    // The frame: borders and caption, without the scroll bars shown now.
    int frameWidth =
        state.pixels.right - state.pixels.left - fw * cw - (state.rows > ch ? state.vScroll : 0);
    int frameHeight =
        state.pixels.bottom - state.pixels.top - fh * ch - (state.columns > cw ? state.hScroll : 0);
    // WM_WINDOWPOSCHANGING: never larger than the monitor holds.
    width = std::min(width, state.screenWidth + frameWidth);
    height = std::min(height, state.screenHeight + frameHeight);
    int clientWidth = width - frameWidth, clientHeight = height - frameHeight;
    // _AdjustScreenBuffer: with wrap-on-resize the buffer takes the width
    // that fits beside the old buffer's scroll bars; then, in any mode, a
    // buffer smaller than the client area grows to it.
    int columns = state.columns, rows = state.rows;
    COORD fits = CellsInClient(clientWidth, clientHeight, columns, rows);
    if (state.wrapOnResize) {
        columns = fits.X;
    }
    fits = CellsInClient(clientWidth, clientHeight, columns, rows);
    columns = std::max(columns, (int)fits.X);
    rows = std::max(rows, (int)fits.Y);
    if (columns != state.columns || rows != state.rows) {
        ResizeCells(columns, rows);
    }
    // _CalculateViewportSize, then the window resized from its bottom-right
    // corner: its top-left cell stays where the buffer allows.
    fits = CellsInClient(clientWidth, clientHeight, columns, rows);
    PlaceWindowInBuffer(state.window.Left, state.window.Top, fits.X, fits.Y);
    state.pixels = RECT{x, y, x + width, y + height};
    return TRUE;
}

int GetClassNameW(HWND window, LPWSTR name, int size) {
    if (EnterOrFail("GetClassNameW")) {
        return 0;
    }
    const char16_t *found = nullptr;
    if (IsConsoleWindow(window)) {
        found = CONSOLE_CLASS;
    } else if (IsPseudoWindow(window)) {
        found = PSEUDO_CLASS;
    } else {
        Fail(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Need("GetClassNameW", name, "a null buffer");
    if (size < 1) {
        Unsupported("GetClassNameW", "a buffer of no characters");
    }
    // The name is cut to fit, as Windows cuts it.
    int length = 0;
    while (found[length] != 0 && length < size - 1) {
        name[length] = found[length];
        length++;
    }
    name[length] = 0;
    return length;
}

HWND GetForegroundWindow(void) {
    if (EnterOrFail("GetForegroundWindow")) {
        return nullptr;
    }
    return (HWND)FOREGROUND_WINDOW_VALUE;
}

} // extern "C"

namespace sim {

ConsoleState &Console() {
    EnsureInitialised();
    return state;
}

void ConsoleResize(int columns, int rows) {
    EnsureInitialised();
    if (columns < 1 || rows < 1) {
        Unsupported("sim::ConsoleResize", "a size below 1 x 1");
    }
    state.columns = columns;
    state.rows = rows;
    chars.assign((size_t)columns * rows, u' ');
    attrs.assign((size_t)columns * rows, state.attribute);
    state.cursorColumn = std::min(state.cursorColumn, columns - 1);
    state.cursorRow = std::min(state.cursorRow, rows - 1);
    // A window that no longer fits shrinks to the buffer and moves inside.
    int width = std::min(WindowWidth(), columns), height = std::min(WindowHeight(), rows);
    int left = std::min((int)state.window.Left, columns - width);
    int top = std::min((int)state.window.Top, rows - height);
    state.window =
        SMALL_RECT{(SHORT)left, (SHORT)top, (SHORT)(left + width - 1), (SHORT)(top + height - 1)};
}

std::vector<WORD> &ConsoleChars() {
    EnsureInitialised();
    SyncCells();
    return chars;
}

std::vector<WORD> &ConsoleAttrs() {
    EnsureInitialised();
    SyncCells();
    return attrs;
}

void ConsolePutText(int column, int row, const std::u16string &text, WORD attribute) {
    EnsureInitialised();
    SyncCells();
    if (column < 0 || row < 0 || column >= state.columns || row >= state.rows) {
        Unsupported("sim::ConsolePutText", "a start outside the buffer");
    }
    size_t at = (size_t)row * state.columns + column;
    for (size_t i = 0; i < text.size() && at < chars.size(); i++, at++) {
        chars[at] = (WORD)text[i];
        attrs[at] = attribute;
    }
}

std::u16string ConsoleRowText(int row) {
    EnsureInitialised();
    SyncCells();
    if (row < 0 || row >= state.rows) {
        Unsupported("sim::ConsoleRowText", "a row outside the buffer");
    }
    std::u16string text;
    for (int c = 0; c < state.columns; c++) {
        text += (char16_t)chars[(size_t)row * state.columns + c];
    }
    return text;
}

void SetPseudoConsole(int columns, int rows) {
    EnsureInitialised();
    if (columns < 1 || rows < 1) {
        Unsupported("sim::SetPseudoConsole", "a screen below 1 x 1");
    }
    ConsoleResize(columns, rows);
    state.window = SMALL_RECT{0, 0, (SHORT)(columns - 1), (SHORT)(rows - 1)};
    state.fontWidth = state.fontHeight = 0;
    state.pixels = RECT{0, 0, 0, 0};
    pseudo = true;
    terminalColumns = columns;
    terminalRows = rows;
}

std::u16string TerminalRowText(int row) {
    EnsureInitialised();
    SyncCells();
    if (!pseudo || row < 0 || row >= terminalRows) {
        Unsupported("sim::TerminalRowText", "a row outside a pseudo console's screen");
    }
    std::u16string text;
    int r = state.window.Top + row;
    for (int c = 0; c < terminalColumns; c++) {
        int column = state.window.Left + c;
        bool inside = r < state.rows && column < state.columns;
        text += inside ? (char16_t)chars[(size_t)r * state.columns + column] : u' ';
    }
    return text;
}

void SetMoveWindowResizes(bool resizes) {
    EnsureInitialised();
    moveResizes = resizes;
}

void SetConsoleReadLimit(DWORD cells) {
    EnsureInitialised();
    readLimit = cells;
}

std::vector<MoveCall> &Moves() {
    EnsureInitialised();
    return moves;
}

} // namespace sim
