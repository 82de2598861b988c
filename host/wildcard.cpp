// wildcard.cpp: the host's file-name matching, WildcardComparison.
//   *        any run of characters, the empty one included
//   ?        any one character
//   [set]    one character of the set; [!set] one that is not in it; a set
//            holds characters and ranges (a-f); a "]" right after "[" or
//            "[!" belongs to the set; a "[" without its "]" is an ordinary
//            character
// Letters compare without case (A-Z and the Latin-1 letters). As with the
// system's own patterns, a pattern that ends in ".*" also matches a name
// without that dot, so "*.*" matches every name and "read.*" matches
// "read".
#include "plugin/host.h"

static WCHAR FoldCase(WCHAR ch) {
    if ((ch >= TEXT('A') && ch <= TEXT('Z')) || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7)) {
        return static_cast<WCHAR>(ch + 32);
    }
    return ch;
}

// The end of the set that begins at `p` (just after its "["), at its "]",
// or null when it is not closed.
static const WCHAR *SetEnd(const WCHAR *p) {
    if (*p == TEXT('!')) {
        p++;
    }
    if (*p == TEXT(']')) {
        p++;
    }
    while (*p != 0 && *p != TEXT(']')) {
        p++;
    }
    return *p == TEXT(']') ? p : nullptr;
}

// Whether `ch` is in the set from `p` (just after "[") to `end` (its "]").
static bool InSet(const WCHAR *p, const WCHAR *end, WCHAR ch) {
    bool negated = false;
    if (*p == TEXT('!')) {
        negated = true;
        p++;
    }
    WCHAR c = FoldCase(ch);
    bool found = false;
    while (p < end) {
        WCHAR low = *p;
        if (p + 2 < end && p[1] == TEXT('-')) {
            WCHAR high = p[2];
            if ((ch >= low && ch <= high) || (c >= FoldCase(low) && c <= FoldCase(high))) {
                found = true;
            }
            p += 3;
        } else {
            if (FoldCase(low) == c) {
                found = true;
            }
            p++;
        }
    }
    return found != negated;
}

// Whether what is left of the pattern can match the empty rest of a name:
// stars only, or ".", then stars only.
static bool MatchesEmpty(const WCHAR *p) {
    if (*p == TEXT('.') && p[1] == TEXT('*')) {
        p++;
    }
    while (*p == TEXT('*')) {
        p++;
    }
    return *p == 0;
}

extern "C" int WildcardComparison(const WCHAR *pattern, const WCHAR *name, int flag1, int flag2) {
    // Both flags select this host's one syntax; nothing else is offered.
    (void)flag1;
    (void)flag2;
    if (pattern == nullptr || name == nullptr) {
        return 1;
    }
    const WCHAR *p = pattern;
    const WCHAR *n = name;
    // The last star seen and the name position it was tried against: on a
    // mismatch the star takes one more character and matching resumes.
    const WCHAR *starPattern = nullptr;
    const WCHAR *starName = nullptr;
    while (*n != 0) {
        if (*p == TEXT('*')) {
            while (*p == TEXT('*')) {
                p++;
            }
            starPattern = p;
            starName = n;
            continue;
        }
        bool matched = false;
        const WCHAR *nextPattern = p + 1;
        if (*p == TEXT('?')) {
            matched = true;
        } else if (*p == TEXT('[')) {
            const WCHAR *end = SetEnd(p + 1);
            if (end != nullptr) {
                matched = InSet(p + 1, end, *n);
                nextPattern = end + 1;
            } else {
                matched = *n == TEXT('[');
            }
        } else if (*p != 0) {
            matched = FoldCase(*p) == FoldCase(*n);
        }
        if (matched) {
            p = nextPattern;
            n++;
        } else if (starPattern != nullptr) {
            p = starPattern;
            n = ++starName;
        } else {
            return 1;
        }
    }
    return MatchesEmpty(p) ? 0 : 1;
}
