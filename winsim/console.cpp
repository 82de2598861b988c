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
//
// The cells are held as the Windows console host (conhost) holds them,
// where it and Wine differ; each rule names the conhost source it follows.
// A character's width comes from a table of the East Asian Wide and
// Fullwidth ranges (src/types/CodepointWidthDetector.cpp); the letters of
// ambiguous width (Greek, Cyrillic, box drawing) are narrow unless
// sim::SetAmbiguousWide says the font is a CJK one, for which conhost asks
// the font and finds them wide. A wide character fills two cells: the
// leading one flagged COMMON_LVB_LEADING_BYTE, the trailing one
// COMMON_LVB_TRAILING_BYTE, both holding the character. A cell holding a
// surrogate pair keeps the pair apart (for ReadConsoleOutputCharacterW) and
// shows U+FFFD in `chars`, as ReadConsoleOutputW gives it. Attributes keep
// the colours and COMMON_LVB_GRID_*, REVERSE_VIDEO and UNDERSCORE; 0x2000
// and the two flags as written are dropped (src/inc/conattrs.hpp,
// USED_META_ATTRS). Writing over one half of a wide character turns its
// other half into a space (src/buffer/out/Row.cpp, ROW::WriteHelper).
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
std::vector<WORD> chars, attrs;           // attrs carry the two width flags
std::map<size_t, char32_t> pairs;         // cell -> the character beyond the BMP that it holds
bool ambiguousWide = false;               // sim::SetAmbiguousWide
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
        pairs.clear();
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

// ---- The cells.

const WORD LEADING = COMMON_LVB_LEADING_BYTE, TRAILING = COMMON_LVB_TRAILING_BYTE;
const WORD WIDTH_FLAGS = LEADING | TRAILING;
// What a written attribute keeps: colours and the meta bits conhost uses
// (src/inc/conattrs.hpp, USED_META_ATTRS); 0x2000 and the width flags go.
const WORD KEPT_ATTRIBUTES = 0x00FF | COMMON_LVB_GRID_HORIZONTAL | COMMON_LVB_GRID_LVERTICAL |
                             COMMON_LVB_GRID_RVERTICAL | COMMON_LVB_REVERSE_VIDEO |
                             COMMON_LVB_UNDERSCORE;
const char16_t REPLACEMENT = 0xFFFD;

struct Range {
    char32_t first, last;
};

// East Asian Wide and Fullwidth: the blocks that matter on a console.
const Range WIDE[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
    {0x1F200, 0x1F251}, {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C},
    {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0},
    {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC},
    {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A},
    {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5},
    {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7}, {0x1F6EB, 0x1F6EC},
    {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945},
    {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// East Asian Ambiguous letters that a CJK font draws two cells wide.
const Range AMBIGUOUS[] = {
    {0x0391, 0x03A9}, {0x03B1, 0x03C9}, {0x0401, 0x0401},
    {0x0410, 0x044F}, {0x0451, 0x0451}, {0x2500, 0x259F},
};

bool InRanges(char32_t c, const Range *ranges, size_t count) {
    for (size_t i = 0; i < count; i++) {
        if (c >= ranges[i].first && c <= ranges[i].last) {
            return true;
        }
    }
    return false;
}

int CharWidth(char32_t c) {
    if (c < 0x1100) {
        return ambiguousWide && InRanges(c, AMBIGUOUS, sizeof AMBIGUOUS / sizeof AMBIGUOUS[0]) ? 2
                                                                                               : 1;
    }
    if (InRanges(c, WIDE, sizeof WIDE / sizeof WIDE[0])) {
        return 2;
    }
    return ambiguousWide && InRanges(c, AMBIGUOUS, sizeof AMBIGUOUS / sizeof AMBIGUOUS[0]) ? 2 : 1;
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The character that starts at units[i] of a text of `length` units, and
// how many units it takes. A surrogate pair is one character; a lone
// surrogate stands as U+FFFD (src/buffer/out/Row.cpp,
// ROW::WriteHelper::_replaceTextUnicode).
char32_t NextCharacter(const WCHAR *units, size_t length, size_t i, size_t *taken) {
    char16_t c = units[i];
    *taken = 1;
    if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(units[i + 1])) {
        *taken = 2;
        return 0x10000 + (((char32_t)c - 0xD800) << 10) + ((char32_t)units[i + 1] - 0xDC00);
    }
    if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
        return REPLACEMENT;
    }
    return c;
}

int Column(size_t cell) {
    return (int)(cell % (size_t)state.columns);
}

// Makes cell `at` a plain space, keeping its colours.
void ClearCell(size_t at) {
    chars[at] = u' ';
    attrs[at] &= (WORD)~WIDTH_FLAGS;
    pairs.erase(at);
}

// Before cells [at, at + width) of one row are written: the halves of wide
// characters outside them whose other half is overwritten become spaces
// (src/buffer/out/Row.cpp, ROW::WriteHelper::Finish pads what it cut).
void BreakOverlaps(size_t at, int width) {
    if ((attrs[at] & TRAILING) != 0 && Column(at) > 0) {
        ClearCell(at - 1);
    }
    size_t last = at + (size_t)width - 1;
    if ((attrs[last] & LEADING) != 0 && Column(last) + 1 < state.columns) {
        ClearCell(last + 1);
    }
}

// Writes one character into `width` (1 or 2) cells of a row at `at`, the
// caller having checked that they fit. Each cell takes its attribute from
// `attributes` (one per cell, null to keep the cells' own colours).
void PutCharacter(size_t at, int width, char32_t c, const WORD *attributes) {
    BreakOverlaps(at, width);
    WORD unit = c > 0xFFFF ? (WORD)REPLACEMENT : (WORD)c;
    for (int i = 0; i < width; i++) {
        size_t cell = at + (size_t)i;
        WORD colours = attributes != nullptr ? (WORD)(attributes[i] & KEPT_ATTRIBUTES)
                                             : (WORD)(attrs[cell] & (WORD)~WIDTH_FLAGS);
        WORD flag = width == 1 ? 0 : (i == 0 ? LEADING : TRAILING);
        chars[cell] = unit;
        attrs[cell] = (WORD)(colours | flag);
        pairs.erase(cell);
    }
    if (c > 0xFFFF) {
        pairs[at] = c;
    }
}

// Writes text as a stream of characters from cell `at` on, wrapping from
// row to row: a wide character that does not fit the row's last column
// leaves a space there and goes on the next row (src/buffer/out/Row.cpp,
// ROW::WriteCells, and src/host/_output.cpp, WriteOutputStringW). Returns
// the units written; `attribute` null keeps the cells' colours.
size_t WriteText(size_t at, const WCHAR *units, size_t length, const WORD *attribute) {
    size_t i = 0;
    while (i < length && at < chars.size()) {
        size_t taken = 0;
        char32_t c = NextCharacter(units, length, i, &taken);
        int width = CharWidth(c);
        if (width == 2 && Column(at) == state.columns - 1) {
            BreakOverlaps(at, 1);
            ClearCell(at);
            if (attribute != nullptr) {
                attrs[at] = (WORD)(*attribute & KEPT_ATTRIBUTES);
            }
            at++;
            continue;
        }
        WORD both[2] = {attribute != nullptr ? *attribute : (WORD)0,
                        attribute != nullptr ? *attribute : (WORD)0};
        PutCharacter(at, width, c, attribute != nullptr ? both : nullptr);
        at += (size_t)width;
        i += taken;
    }
    return i;
}

// Writes one row's run of CHAR_INFO cells from cell `at` on, as conhost
// writes them (src/buffer/out/Row.cpp, ROW::WriteCells, fed cell by cell by
// src/buffer/out/OutputCellIterator.cpp from the CHAR_INFO view): a cell
// flagged leading starts a wide character over it and the next cell, or
// becomes a space in the last column written; a cell flagged trailing is
// taken as already written by its leading cell and only gives its colours,
// except as the first cell of the run (then it is written over the cell
// before it and its own) or in the row's first column (then a space); a
// cell with neither flag takes one cell, whatever its character's width.
void WriteCharInfoRow(size_t at, const CHAR_INFO *cells, int count, int lastColumn) {
    for (int i = 0; i < count; i++) {
        size_t cell = at + (size_t)i;
        const CHAR_INFO &info = cells[i];
        WORD colours = (WORD)(info.Attributes & KEPT_ATTRIBUTES);
        int column = Column(cell);
        if ((info.Attributes & LEADING) != 0) {
            if (column == lastColumn) {
                BreakOverlaps(cell, 1);
                ClearCell(cell);
                attrs[cell] = colours;
            } else {
                // The next CHAR_INFO is written over the trailing cell in
                // turn: its colours if it is flagged trailing, a character
                // of its own (breaking this one) if it is not.
                WORD both[2] = {info.Attributes, info.Attributes};
                PutCharacter(cell, 2, info.Char.UnicodeChar, both);
            }
        } else if ((info.Attributes & TRAILING) != 0) {
            if (column == 0) {
                BreakOverlaps(cell, 1);
                ClearCell(cell);
                attrs[cell] = colours;
            } else if (i == 0) {
                WORD both[2] = {(WORD)(attrs[cell - 1] & KEPT_ATTRIBUTES), info.Attributes};
                PutCharacter(cell - 1, 2, info.Char.UnicodeChar, both);
            } else {
                attrs[cell] = (WORD)(colours | (attrs[cell] & WIDTH_FLAGS));
            }
        } else {
            PutCharacter(cell, 1, info.Char.UnicodeChar, &info.Attributes);
        }
    }
}

// The part of a CHAR_INFO transfer that lies in both the caller's buffer
// and the screen buffer: the cells of `region` clipped to the buffer of
// `size` cells from `from`, then to the screen buffer. FALSE when nothing
// is left; otherwise the screen rectangle and the caller's first cell.
bool ClipCharInfoRegion(COORD size, COORD from, const SMALL_RECT &region, SMALL_RECT *clipped,
                        size_t *first) {
    int left = region.Left, top = region.Top;
    int right = std::min((int)region.Right, left + size.X - from.X - 1);
    int bottom = std::min((int)region.Bottom, top + size.Y - from.Y - 1);
    int clippedLeft = std::max(left, 0), clippedTop = std::max(top, 0);
    right = std::min(right, state.columns - 1);
    bottom = std::min(bottom, state.rows - 1);
    if (from.X < 0 || from.Y < 0 || clippedLeft > right || clippedTop > bottom) {
        return false;
    }
    *clipped = SMALL_RECT{(SHORT)clippedLeft, (SHORT)clippedTop, (SHORT)right, (SHORT)bottom};
    *first = (size_t)(from.Y + clippedTop - top) * (size_t)size.X +
             (size_t)(from.X + clippedLeft - left);
    return true;
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
    pairs.clear(); // a cell that held a pair keeps its U+FFFD
    for (int r = 0; r < keepRows && columns < state.columns; r++) {
        // A wide character cut at the new right edge leaves a space.
        size_t last = (size_t)r * columns + (size_t)(columns - 1);
        if ((attrs[last] & LEADING) != 0) {
            ClearCell(last);
        }
    }
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
    pairs.clear();
    ambiguousWide = false;
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

// Characters as conhost reads them (src/host/output.cpp, ReadOutputStringW):
// a trailing cell is skipped ("Trailings are duplicate copies of the
// leading"), except that a trailing first cell and a leading last cell read
// as a space; a cell holding a surrogate pair gives both units. *read is
// the count of units given, fewer than the cells when a wide character was
// among them (src/host/directio.cpp, ReadConsoleOutputCharacterWImpl).
BOOL ReadConsoleOutputCharacterW(HANDLE console, LPWSTR characters, DWORD length, COORD at,
                                 LPDWORD read) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("ReadConsoleOutputCharacterW", console, GENERIC_READ, characters, length,
                           at, read, &start, &count)) {
        return FALSE;
    }
    size_t out = 0;
    for (size_t i = 0; i < count && out < length; i++) {
        size_t cell = start + i;
        bool trailing = (attrs[cell] & TRAILING) != 0, leading = (attrs[cell] & LEADING) != 0;
        if ((i == 0 && trailing) || (i + 1 == count && leading)) {
            characters[out++] = u' ';
        } else if (!trailing) {
            auto pair = pairs.find(cell);
            if (pair != pairs.end() && out + 1 < length) {
                characters[out++] = (WCHAR)(0xD800 + ((pair->second - 0x10000) >> 10));
                characters[out++] = (WCHAR)(0xDC00 + ((pair->second - 0x10000) & 0x3FF));
            } else {
                characters[out++] = (WCHAR)chars[cell];
            }
        }
    }
    *read = (DWORD)out;
    return TRUE;
}

// One attribute per cell with the two width flags (src/host/output.cpp,
// ReadOutputAttributes), except on a trailing first cell and a leading last
// cell, which read without them.
BOOL ReadConsoleOutputAttribute(HANDLE console, WORD *attributes, DWORD length, COORD at,
                                LPDWORD read) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("ReadConsoleOutputAttribute", console, GENERIC_READ, attributes, length,
                           at, read, &start, &count)) {
        return FALSE;
    }
    std::copy(attrs.begin() + (long)start, attrs.begin() + (long)(start + count), attributes);
    if (count > 0 && (attributes[0] & TRAILING) != 0) {
        attributes[0] &= (WORD)~WIDTH_FLAGS;
    }
    if (count > 0 && (attributes[count - 1] & LEADING) != 0) {
        attributes[count - 1] &= (WORD)~WIDTH_FLAGS;
    }
    return TRUE;
}

// A stream of characters, a wide one two cells wide (src/host/_output.cpp,
// WriteOutputStringW); *written counts the units written.
BOOL WriteConsoleOutputCharacterW(HANDLE console, LPCWSTR characters, DWORD length, COORD at,
                                  LPDWORD written) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("WriteConsoleOutputCharacterW", console, GENERIC_WRITE, characters,
                           length, at, written, &start, &count)) {
        return FALSE;
    }
    *written = (DWORD)WriteText(start, characters, length, nullptr);
    return TRUE;
}

// Colours only: the width flags and 0x2000 of the words written are dropped
// and each cell keeps its own flags (src/buffer/out/OutputCellIterator.cpp,
// s_GenerateViewLegacyAttr; src/inc/conattrs.hpp, USED_META_ATTRS).
BOOL WriteConsoleOutputAttribute(HANDLE console, const WORD *attributes, DWORD length, COORD at,
                                 LPDWORD written) {
    size_t start = 0, count = 0;
    if (!BeginCellTransfer("WriteConsoleOutputAttribute", console, GENERIC_WRITE, attributes,
                           length, at, written, &start, &count)) {
        return FALSE;
    }
    for (size_t i = 0; i < count; i++) {
        WORD &cell = attrs[start + i];
        cell = (WORD)((attributes[i] & KEPT_ATTRIBUTES) | (cell & WIDTH_FLAGS));
    }
    return TRUE;
}

// The part the two CHAR_INFO transfers share: log entry, armed failure,
// pointers and access. FALSE when the call fails (its error set).
static BOOL BeginCharInfoTransfer(const char *name, HANDLE console, DWORD access, const void *cells,
                                  PSMALL_RECT region) {
    if (EnterOrFail(name)) {
        return FALSE;
    }
    Need(name, cells, "a null cell buffer");
    Need(name, region, "a null rectangle");
    return UseConsole(console, access) ? TRUE : FALSE;
}

// One CHAR_INFO per cell (src/host/directio.cpp, ReadConsoleOutputWImplHelper
// with src/host/consoleInformation.cpp, AsCharInfo): a wide character in
// both of its cells with its flag, U+FFFD for a cell holding a surrogate
// pair. The rectangle is clipped to the screen buffer and the caller's
// buffer and comes back as read; with nothing left it comes back empty
// (Right and Bottom one less than Left and Top) and the call succeeds.
BOOL ReadConsoleOutputW(HANDLE console, PCHAR_INFO cells, COORD size, COORD from,
                        PSMALL_RECT region) {
    if (!BeginCharInfoTransfer("ReadConsoleOutputW", console, GENERIC_READ, cells, region)) {
        return FALSE;
    }
    SMALL_RECT clipped = {0, 0, 0, 0};
    size_t first = 0;
    bool any = ClipCharInfoRegion(size, from, *region, &clipped, &first);
    int width = clipped.Right - clipped.Left + 1;
    if (any && readLimit != 0) {
        int rows = (int)(readLimit / (DWORD)width);
        any = rows > 0;
        clipped.Bottom = (SHORT)std::min((int)clipped.Bottom, clipped.Top + rows - 1);
    }
    if (!any) {
        region->Right = (SHORT)(region->Left - 1);
        region->Bottom = (SHORT)(region->Top - 1);
        return TRUE;
    }
    for (int row = clipped.Top; row <= clipped.Bottom; row++) {
        size_t cell = (size_t)row * (size_t)state.columns + (size_t)clipped.Left;
        for (int i = 0; i < width; i++) {
            CHAR_INFO &info = cells[first + (size_t)i];
            info.Char.UnicodeChar = (WCHAR)chars[cell + (size_t)i];
            info.Attributes = attrs[cell + (size_t)i];
        }
        first += (size_t)size.X;
    }
    *region = clipped;
    return TRUE;
}

// One CHAR_INFO per cell, row by row (src/host/directio.cpp,
// WriteConsoleOutputWImplHelper; the cells as WriteCharInfoRow says). The
// rectangle is clipped and reported as ReadConsoleOutputW does.
BOOL WriteConsoleOutputW(HANDLE console, const CHAR_INFO *cells, COORD size, COORD from,
                         PSMALL_RECT region) {
    if (!BeginCharInfoTransfer("WriteConsoleOutputW", console, GENERIC_WRITE, cells, region)) {
        return FALSE;
    }
    SMALL_RECT clipped = {0, 0, 0, 0};
    size_t first = 0;
    if (!ClipCharInfoRegion(size, from, *region, &clipped, &first)) {
        region->Right = (SHORT)(region->Left - 1);
        region->Bottom = (SHORT)(region->Top - 1);
        return TRUE;
    }
    int width = clipped.Right - clipped.Left + 1;
    for (int row = clipped.Top; row <= clipped.Bottom; row++) {
        size_t cell = (size_t)row * (size_t)state.columns + (size_t)clipped.Left;
        WriteCharInfoRow(cell, cells + first, width, clipped.Right);
        first += (size_t)size.X;
    }
    *region = clipped;
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
                // A wide character fills two cells; one that does not fit
                // the row's last column leaves a space there and goes on the
                // next row (src/buffer/out/Row.cpp, ROW::WriteHelper).
                size_t taken = 0;
                char32_t character = NextCharacter(units, length, i, &taken);
                int width = CharWidth(character);
                i += (DWORD)taken - 1;
                if (width == 2 && column == state.columns - 1) {
                    size_t at = (size_t)row * state.columns + column;
                    BreakOverlaps(at, 1);
                    ClearCell(at);
                    attrs[at] = (WORD)(state.attribute & KEPT_ATTRIBUTES);
                    column = 0;
                    row++;
                }
                if (row < state.rows) {
                    size_t at = (size_t)row * state.columns + column;
                    WORD both[2] = {state.attribute, state.attribute};
                    PutCharacter(at, width, character, both);
                    column += width;
                    if (column == state.columns) {
                        column = 0;
                        row++;
                    }
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
    pairs.clear();
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
    WriteText(at, text.data(), text.size(), &attribute);
}

void SetAmbiguousWide(bool wide) {
    EnsureInitialised();
    ambiguousWide = wide;
}

int ConsoleCharWidth(char32_t character) {
    EnsureInitialised();
    return CharWidth(character);
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
