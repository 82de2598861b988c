// grep.cpp: finding text in saved screens: case folding, the pattern, and
// the rows that hold it, written as "NAME:ROW: line".
#include "glimview/glimview.h"

#include <stdio.h>
#include <string.h>

// The Greek and Coptic block's letters whose simple folding follows no
// rule of the block, each with its folding: the symbol forms of letters
// (such as U+03D0, the curled beta) fold to the letters themselves.
static const WORD GREEK_SINGLES[][2] = {
    {0x037F, 0x03F3}, {0x0386, 0x03AC}, {0x038C, 0x03CC}, {0x03C2, 0x03C3},
    {0x03CF, 0x03D7}, {0x03D0, 0x03B2}, {0x03D1, 0x03B8}, {0x03D5, 0x03C6},
    {0x03D6, 0x03C0}, {0x03F0, 0x03BA}, {0x03F1, 0x03C1}, {0x03F4, 0x03B8},
    {0x03F5, 0x03B5}, {0x03F7, 0x03F8}, {0x03F9, 0x03F2}, {0x03FA, 0x03FB},
};

// FoldCase over U+0370 to U+03FF.
static DWORD FoldGreek(DWORD c) {
    for (const WORD *single : GREEK_SINGLES) {
        if (c == single[0]) {
            return single[1];
        }
    }
    // Pairs of capital and small letters, the capital on even code points:
    // Heta and Sampi, Pamphylian digamma, and the archaic and Coptic
    // letters from Stigma to Dei.
    if ((c >= 0x0370 && c <= 0x0373) || c == 0x0376 || (c >= 0x03D8 && c <= 0x03EF)) {
        return (c & 1) == 0 ? c + 1 : c;
    }
    if (c >= 0x0388 && c <= 0x038A) {
        return c + 0x25;
    }
    if (c == 0x038E || c == 0x038F) {
        return c + 0x3F;
    }
    if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2) {
        return c + 0x20;
    }
    if (c >= 0x03FD) {
        return c - 0x82; // the reversed lunate sigmas, to U+037B to U+037D
    }
    return c;
}

// Simple case folding, one character for one, over the blocks whose letters
// the consoles' usual code pages hold (437 and 850: Latin-1; 852 and 1250:
// Latin Extended-A; 737 and 1253: Greek, its whole block with the Coptic
// letters; 866 and 1251: Cyrillic, its whole block, since 1251 also holds
// the Ukrainian U+0490). It is written out here rather than asked of the
// system, so that both builds fold alike whatever the system's locale; the
// letters of other scripts, and foldings that change a text's length (such
// as U+00DF to "ss"), are left as they are.
DWORD FoldCase(DWORD c) {
    if (c >= 'A' && c <= 'Z') {
        return c + 0x20;
    }
    if (c == 0x00B5) {
        return 0x03BC; // MICRO SIGN: GREEK SMALL LETTER MU
    }
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) {
        return c + 0x20;
    }
    if (c >= 0x0100 && c <= 0x017F) {
        if (c == 0x0178) {
            return 0x00FF; // Y WITH DIAERESIS
        }
        if (c == 0x017F) {
            return 's'; // LONG S
        }
        // Pairs of capital and small letters, the capital first: on even
        // code points, but on odd ones from U+0139 to U+0148 and from U+0179.
        if ((c >= 0x0139 && c <= 0x0148) || c >= 0x0179) {
            return (c & 1) != 0 ? c + 1 : c;
        }
        if (c == 0x0130 || c == 0x0131 || c == 0x0138 || c == 0x0149) {
            return c; // dotted and dotless I, kra, apostrophe n: no simple partner
        }
        return (c & 1) == 0 ? c + 1 : c;
    }
    if (c >= 0x0370 && c <= 0x03FF) {
        return FoldGreek(c);
    }
    if (c >= 0x0400 && c <= 0x040F) {
        return c + 0x50;
    }
    if (c >= 0x0410 && c <= 0x042F) {
        return c + 0x20;
    }
    if (c == 0x04C0) {
        return 0x04CF; // PALOCHKA
    }
    // Pairs of capital and small letters, the capital first: on even code
    // points, but on odd ones from U+04C1 to U+04CE; U+0482 to U+0489 are
    // signs and marks.
    if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04FF)) {
        if (c >= 0x04C1 && c <= 0x04CE) {
            return (c & 1) != 0 ? c + 1 : c;
        }
        return (c & 1) == 0 ? c + 1 : c;
    }
    return c;
}

void MakePattern(const char *text, BOOL ignoreCase, ViewPattern *pattern) {
    const BYTE *at = (const BYTE *)text;
    pattern->length = 0;
    pattern->tooLong = FALSE;
    pattern->ignoreCase = ignoreCase;
    while (*at != 0) {
        DWORD codePoint = 0;
        at += DecodeShown(at, &codePoint);
        if (pattern->length == VIEW_PATTERN_POINTS) {
            pattern->tooLong = TRUE;
            return;
        }
        pattern->points[pattern->length++] = ignoreCase ? FoldCase(codePoint) : codePoint;
    }
}

// Whether the `count` characters of a row hold the pattern.
static BOOL RowHolds(const DWORD *points, DWORD count, const ViewPattern *pattern) {
    if (pattern->tooLong || pattern->length > count) {
        return FALSE;
    }
    for (DWORD start = 0; start + pattern->length <= count; start++) {
        DWORD i = 0;
        while (i < pattern->length &&
               (pattern->ignoreCase ? FoldCase(points[start + i]) : points[start + i]) ==
                   pattern->points[i]) {
            i++;
        }
        if (i == pattern->length) {
            return TRUE;
        }
    }
    return FALSE;
}

DWORD GrepScreen(const ViewScreen *screen, DWORD first, DWORD end, const char *name,
                 const ViewPattern *pattern, ViewSink *out) {
    DWORD points[MAX_COLUMNS];
    DWORD found = 0;
    for (DWORD row = first; row < end; row++) {
        DWORD count = RowText(screen, row, points);
        if (!RowHolds(points, count, pattern)) {
            continue;
        }
        char number[16];
        snprintf(number, sizeof number, ":%u: ", (unsigned)(row + 1));
        SinkSafeText(out, name, FALSE);
        SinkText(out, number);
        for (DWORD i = 0; i < count; i++) {
            SinkCodePoint(out, points[i]);
        }
        SinkText(out, "\n");
        found++;
    }
    return found;
}

BOOL RowHoldsPattern(const ViewScreen *screen, DWORD row, const ViewPattern *pattern) {
    DWORD points[MAX_COLUMNS];
    DWORD count = RowText(screen, row, points);
    return RowHolds(points, count, pattern);
}
