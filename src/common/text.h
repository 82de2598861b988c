// text.h: bounded UTF-16 text helpers shared by every subsystem, and the
// capacities of the system's text buffers. Every copy and append is bounded
// by the capacity of its buffer (in characters, terminator included) and
// always leaves a terminated text.
#pragma once

#include "common/platform.h"

enum {
    PATH_CAPACITY = 16384,      // paths and file names
    ERROR_TEXT_CAPACITY = 1024, // system error texts
};

// Length of a terminated text; 0 for a null pointer.
int TextLength(const WCHAR *text);
// Copies `source` into `target` of `capacity` characters. Returns 0, or -1
// when the text had to be cut (target then holds what fitted).
int TextCopy(WCHAR *target, int capacity, const WCHAR *source);
// Appends `source` to the text in `target`. Returns 0, or -1 when cut.
int TextAppend(WCHAR *target, int capacity, const WCHAR *source);
// Upper-cases the letters a to z in place; every other character stays.
void UpperCaseAZ(WCHAR *text);
// 0 when both texts are equal, ignoring the case of the letters A to Z only.
int CompareNoCaseAZ(const WCHAR *left, const WCHAR *right);
