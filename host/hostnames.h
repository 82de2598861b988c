// hostnames.h: the text helpers the stand-in host shares between TakeCmd.dll
// and glimhost.exe: the length of a text, the blanks between words,
// comparing command and variable names without case, and copying a name
// into a bounded buffer. Header-only, since glimhost.exe is a program of its
// own that links only the DLL's exports.
#pragma once

#include "common/platform.h"

// The number of units of a terminated text.
static inline int HostLength(const WCHAR *text) {
    int n = 0;
    while (text[n] != 0) {
        n++;
    }
    return n;
}

// Whether `ch` separates the words of a command line: a space or a tab.
static inline bool IsBlank(WCHAR ch) {
    return ch == TEXT(' ') || ch == TEXT('\t');
}

// `ch` with the letters A to Z lower-cased; every other character as it is.
static inline WCHAR FoldCase(WCHAR ch) {
    return ch >= TEXT('A') && ch <= TEXT('Z') ? static_cast<WCHAR>(ch + 32) : ch;
}

// Whether both terminated names are equal, ignoring the case of A to Z.
static inline bool SameName(const WCHAR *a, const WCHAR *b) {
    while (*a != 0 && FoldCase(*a) == FoldCase(*b)) {
        a++;
        b++;
    }
    return *a == 0 && *b == 0;
}

// Copies `source` into `target` of `capacity` characters (at least 1),
// cutting what does not fit; `target` is always terminated.
static inline void CopyBounded(WCHAR *target, int capacity, const WCHAR *source) {
    int n = 0;
    while (n < capacity - 1 && source[n] != 0) {
        target[n] = source[n];
        n++;
    }
    target[n] = 0;
}
