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
// What a text that came from a file or from the file system (a file name,
// a computer name read from a header) is shown as, so that printing it can
// never send a terminal a control: `text` itself when it holds none of the
// characters below, else a copy in `buffer` (`capacity` characters, the
// text cut to fit) in which each of them is U+FFFD: the C0 controls, DEL,
// the C1 controls, the bidirectional embeddings, overrides and isolates
// (U+202A to U+202E, U+2066 to U+2069) and lone surrogates. The copy is as
// long as the text; valid surrogate pairs stay. A null text gives null.
const WCHAR *PrintableText(const WCHAR *text, WCHAR *buffer, int capacity);
// Upper-cases the letters a to z in place; every other character stays.
void UpperCaseAZ(WCHAR *text);
// 0 when both texts are equal, ignoring the case of the letters A to Z only.
int CompareNoCaseAZ(const WCHAR *left, const WCHAR *right);
