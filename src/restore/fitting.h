// fitting.h: giving the console window a size in cells, and resizing the
// screen buffer in the safe order: shrink the window, set the buffer, grow
// the window. Refused inside a Take Command tab window.
#pragma once

#include "common/platform.h"

// Returns 0 when the buffer has the size `columns` x `rows` (read back
// after the window was fitted, and set once more where fitting changed it),
// 2 on failure (after its messages: the refusal, or the system error of
// SetConsoleScreenBufferSize or of a buffer that would not keep the size;
// the window may then be shrunk already, and in the second case the buffer
// resized, but no cell has been written). The window is never asked to
// grow beyond what GetLargestConsoleWindowSize allows.
int ResizeConsole(HANDLE console, HWND window, int columns, int rows, int windowHeight,
                  int currentWidth, int currentHeight);
// Brings the console window to `width` x `height` cells, or as near as the
// console allows: where moving the top-level window in pixels does not
// reach that size, the window rectangle is set, never larger than the
// buffer or than GetLargestConsoleWindowSize. Always returns 0.
int FitConsoleWindow(HANDLE console, HWND window, int width, int height);
// TRUE when `window` is the hidden window of a pseudo console (class
// "PseudoConsoleWindow"): a terminal such as Windows Terminal shows the
// console, whose buffer is the terminal's screen and cannot be resized.
// FALSE for any other window, for none, and when the class cannot be read.
BOOL IsTerminalWindow(HWND window);
