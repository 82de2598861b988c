// winsim/sim.h: the test side of winsim. A test sets up the simulated
// machine (console, volume, registry, clock, computer name), runs plugin or
// host code against the Win32 names of winsim/windows.h, and then reads what
// happened: standard output and error, the cells of the console, the files of
// the volume, the sounds and message boxes, the calls made, and the counts of
// open handles and live allocations. Any single call can be made to fail.
//
// Everything is process-global and single-threaded, as the plugin is.
#pragma once

#include "winsim/windows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Start afresh: an 80 x 300 console showing an 80 x 25 window, attribute
// 0x07, code pages 437/437, font 8 x 16, window 673 x 439 pixels, scroll bars
// 17 pixels, a monitor of 1920 x 1080 pixels for cells, wrap-on-resize on,
// console reads unlimited, not a pseudo console; an empty volume with the directory
// C:\ as current directory; an empty registry; 2024-03-05 09:07:02 (a
// Tuesday), bias 0; computer name "SIMHOST"; no failures armed; all records,
// logs and counters at zero.
// Open handles or live allocations left over from an earlier test are
// forgotten (so that one leaking test does not fail every later one).
void Reset();

// ---- Text helpers for tests (UTF-16 <-> UTF-8).
std::u16string U16(const std::string &utf8);
std::string U8(const std::u16string &utf16);
std::string U8(const WCHAR *utf16);

// ---- Standard handles. Output written through WriteFile or WriteConsoleW
// to the standard output or error handle is kept here as UTF-8 (WriteFile
// bytes as they are; WriteConsoleW text converted).
std::string Stdout();
std::string Stderr();
void ClearOutput();
// When true the standard output and error handles are console handles
// (GetConsoleMode succeeds on them, GetFileType is FILE_TYPE_CHAR);
// by default they are pipes, as when a script captures them.
void SetStdIsConsole(bool console);

// ---- Console.
struct ConsoleState {
    int columns = 80, rows = 300;
    int cursorColumn = 0, cursorRow = 0;
    WORD attribute = 0x07;
    SMALL_RECT window = {0, 0, 79, 24};
    UINT inputCodePage = 437, outputCodePage = 437;
    bool present = true;   // false: no console at all (CONOUT$ fails)
    bool hasWindow = true; // false: GetConsoleWindow returns null
    int fontWidth = 8, fontHeight = 16;
    RECT pixels = {100, 100, 773, 539};     // the window's screen rectangle
    int vScroll = 17, hScroll = 17;         // GetSystemMetrics SM_CXVSCROLL, SM_CXHSCROLL
    int maxColumns = 1024, maxRows = 32766; // largest buffer SetConsoleScreenBufferSize takes
    // The monitor: the pixels that the cells of the largest console window
    // can take on it (its work area less the window's borders and caption).
    // GetLargestConsoleWindowSize is this divided by the font's cell size.
    int screenWidth = 1920, screenHeight = 1080;
    // "Wrap text output on resize": when on, a window resized in pixels
    // gives the buffer the window's width in cells.
    bool wrapOnResize = true;
};
ConsoleState &Console(); // live state; cells are kept apart, below
// Set the buffer size (clearing every cell to a space in `attribute`).
void ConsoleResize(int columns, int rows);
// The cells as ReadConsoleOutputW gives them: a wide character in both of
// its cells, the attributes carrying COMMON_LVB_LEADING_BYTE and
// COMMON_LVB_TRAILING_BYTE, U+FFFD for a cell holding a surrogate pair.
// Changed directly, they are taken as they stand.
std::vector<WORD> &ConsoleChars(); // rows x columns, row-major
std::vector<WORD> &ConsoleAttrs();
// Writes text as WriteConsoleOutputCharacterW does (a wide character two
// cells wide, wrapping at the row's end) and gives its cells `attribute`.
void ConsolePutText(int column, int row, const std::u16string &text, WORD attribute);
std::u16string ConsoleRowText(int row); // the row's characters as they stand
// When true, the letters of East Asian ambiguous width (Greek, Cyrillic,
// box drawing) take two cells, as under a CJK console font; false after Reset.
void SetAmbiguousWide(bool wide);
// The cells a character takes in the console as it stands now: 2 for East
// Asian Wide and Fullwidth characters (and the ambiguous ones when so set), 1
// otherwise.
int ConsoleCharWidth(char32_t character);
// MoveWindow of the console window resizes it as the console host does.
// The window's frame (borders and caption) is its current pixel size less
// the cells it shows and the scroll bars it shows now (vScroll while the
// buffer is taller than the window, hScroll while it is wider). The new
// size is first clamped to the monitor (screenWidth/screenHeight plus the
// frame). What is left, the client area, holds as many cells as fit once
// the scroll bars that the buffer needs are taken out. With wrapOnResize
// the buffer takes that width in cells; in any mode a buffer smaller than
// the client area grows to it. The window then shows that many cells,
// keeping its top-left cell where the buffer allows.
// When false, MoveWindow changes nothing, as under Wine.
void SetMoveWindowResizes(bool resizes);
// A console hosted by a pseudo console (as in Windows Terminal), whose
// screen is `columns` x `rows`: the buffer becomes that size, the window
// all of it, the font 0 x 0. From then on GetConsoleWindow gives a hidden
// window of 0 x 0 pixels of the class "PseudoConsoleWindow" that MoveWindow
// does not size; SetConsoleWindowInfo resizes the buffer to the window it
// is given; SetConsoleScreenBufferSize changes the buffer but never the
// terminal's screen, and neither call refuses a window for its size. Until
// Reset.
void SetPseudoConsole(int columns, int rows);
// What the terminal shows on its row `row` (0 to rows - 1): the buffer's
// cells from the window's top-left cell on, as many as the terminal is
// wide, blanks where the buffer ends. Only in the pseudo-console mode.
std::u16string TerminalRowText(int row);
// ReadConsoleOutputCharacterW and ReadConsoleOutputAttribute fill and
// report at most `cells` cells a call, and ReadConsoleOutputW at most the
// whole rows that fit in `cells`, leaving the rest of the caller's buffer
// untouched, as a console may when its buffer shrinks under the reader; 0
// (as after Reset) sets no limit.
void SetConsoleReadLimit(DWORD cells);

// ---- Volume. Paths are Windows paths ("C:\dir\file"); names compare
// without case; a directory lists its entries in the order they were made.
void MakeDirectory(const std::u16string &path, DWORD extraAttributes = 0);
void MakeFile(const std::u16string &path, const std::vector<uint8_t> &bytes,
              DWORD extraAttributes = 0);
void MakeFile(const std::u16string &path, const std::string &bytes, DWORD extraAttributes = 0);
// A directory entry that is a reparse point leading to another directory:
// listing it lists the target (so a link can make a cycle).
void MakeLink(const std::u16string &path, const std::u16string &targetDirectory);
// A symbolic link to a file (which need not exist): opening it opens that
// file; GetFileAttributesW and listings show the link itself
// (FILE_ATTRIBUTE_REPARSE_POINT); DeleteFileW, and MoveFileExW replacing
// it, take the link away and leave the file.
void MakeFileLink(const std::u16string &path, const std::u16string &targetFile);
// A second name (a hard link) of the existing file `existingFile`: every
// name leads to the same bytes and attributes, nNumberOfLinks counts them,
// and removing one name leaves the file under the others.
void MakeHardLink(const std::u16string &path, const std::u16string &existingFile);
bool Exists(const std::u16string &path);
// True when the entry `path` names is a link (made by MakeLink).
bool IsLink(const std::u16string &path);
bool ReadWholeFile(const std::u16string &path, std::vector<uint8_t> &bytes);
std::vector<uint8_t> FileBytes(const std::u16string &path);            // empty when missing
std::vector<std::u16string> ListDirectory(const std::u16string &path); // names, in order
void SetCurrentDirectory(const std::u16string &path);
// Files that open for nothing (CreateFileW fails with ERROR_ACCESS_DENIED)
// or whose reads fail (ReadFile fails with ERROR_READ_FAULT).
void SetUnopenable(const std::u16string &path, bool on = true);
void SetUnreadable(const std::u16string &path, bool on = true);
// When on, GetFileInformationByHandle reports the file index 0 for every
// file and directory, as some network shares and virtual file systems do.
void SetZeroFileIndex(bool on);
// Bytes the volume may still take; a write beyond fails with ERROR_DISK_FULL.
void SetFreeSpace(uint64_t bytes);
// A directory (links followed) that refuses new entries, as one without
// the right to add files: making a file or a directory in it, and moving
// an entry into it (or renaming one inside it), fail with
// ERROR_ACCESS_DENIED; its files still open, change and go away.
void SetRefusesNewEntries(const std::u16string &directory, bool on = true);
// Another program opens the existing file `path` with `access` and
// `share` and keeps it open until ReleaseHeld or Reset: our opens, moves
// and deletions meet it as they would meet a handle of ours, but
// OpenHandles does not count it.
void HoldOpen(const std::u16string &path, DWORD access, DWORD share);
void ReleaseHeld(const std::u16string &path);
// The flags of every MoveFileExW call since Reset, in order.
std::vector<DWORD> &MoveFileFlags();

// ---- Devices (CreateFileW by name). NUL, CON, CONIN$ and CONOUT$ are
// always there; a serial or parallel port (COM1-9, AUX for COM1, LPT1-9,
// PRN for LPT1) only once added, and a pipe "\\.\pipe\NAME" once made.
// Reading console input, a port or a pipe, or writing a port or a pipe,
// would wait for someone: winsim stops the program instead.
void SetPortPresent(const std::u16string &port, bool present = true);
void MakePipe(const std::u16string &name);

// ---- Environment variables (GetEnvironmentVariableW).
void SetEnv(const std::u16string &name, const std::u16string &value);
void UnsetEnv(const std::u16string &name);

// ---- Registry.
void RegSetDword(HKEY root, const std::u16string &path, const std::u16string &name, DWORD value);
void RegSetString(HKEY root, const std::u16string &path, const std::u16string &name,
                  const std::u16string &value);
// A value of any type with the bytes given, whatever their length (a
// REG_DWORD of 2 or 8 bytes, as a careless program may write one).
void RegSetBytes(HKEY root, const std::u16string &path, const std::u16string &name, DWORD type,
                 const std::vector<uint8_t> &bytes);
void RegMakeKey(HKEY root, const std::u16string &path);

// ---- Clock and system.
void SetLocalTime(const SYSTEMTIME &time);
void SetTimeZoneBias(LONG bias);
void SetComputerName(const std::u16string &name); // empty: GetComputerNameW fails
// Characters above U+00FF: the built-in table answers a few (U+2000..U+200A,
// U+2028, U+2029, U+3000 as space; Greek, Cyrillic and CJK ranges as letters).

// ---- Records.
struct SoundCall {
    std::u16string name;
    HMODULE module;
    DWORD flags;
};
std::vector<SoundCall> &Sounds();
struct MessageBoxCall {
    HWND owner;
    std::u16string text, caption;
    UINT type;
};
std::vector<MessageBoxCall> &MessageBoxes();
struct MoveCall {
    HWND window;
    int x, y, width, height;
};
std::vector<MoveCall> &Moves();
int SleepCount();
// Every winsim call in order, by function name ("CreateFileW", ...), but
// GetLastError, SetLastError and GetProcessHeap, which cannot fail.
std::vector<std::string> &CallLog();
int CallCount(const std::string &function);

// ---- Failure injection. An armed failure makes the call return its
// failure value with the given last error code, and does nothing else.
// Fail the n-th call (1-based, counted from now) of a function:
void FailCall(const std::string &function, int nth, DWORD error);
// Fail every call of a function from now on:
void FailAlways(const std::string &function, DWORD error);
// Fail every call of a function whose path argument names this path
// (CreateFileW, FindFirstFileW, GetFileAttributesW, ...):
void FailPath(const std::string &function, const std::u16string &path, DWORD error);
// Allocation failures: HeapAlloc is a function like the others
// (FailCall("HeapAlloc", n, 0)).
void ClearFailures();

// ---- Counters.
int OpenHandles();      // files, finds, consoles, keys not closed
long LiveAllocations(); // HeapAlloc blocks not freed
uint64_t LiveBytes();   // their bytes
uint64_t PeakBytes();   // most bytes live at once since Reset or ResetPeak
void ResetPeak();

} // namespace sim
