// fitting.h: giving the console window a size in cells, and resizing the
// screen buffer in the safe order: shrink the window, set the buffer, grow
// the window. Refused inside a Take Command tab window.
#pragma once

#include "common/platform.h"

// Returns 0 on success, 2 on failure (after its messages: the refusal, or
// the system error of SetConsoleScreenBufferSize; the window may then be
// shrunk already).
int ResizeConsole(HANDLE console, HWND window, int columns, int rows, int windowHeight,
                  int currentWidth, int currentHeight);
// Brings the console window to `width` x `height` cells. Always returns 0.
int FitConsoleWindow(HANDLE console, HWND window, int width, int height);
