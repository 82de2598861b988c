// text.cpp: the bounded UTF-16 text helpers. Each function accepts null
// pointers without harm; every write leaves a terminated text within the
// capacity it was given.
#include "common/text.h"

int TextLength(const WCHAR *text) {
    int length = 0;
    if (text != nullptr) {
        while (text[length] != 0) {
            length++;
        }
    }
    return length;
}

int TextCopy(WCHAR *target, int capacity, const WCHAR *source) {
    if (target == nullptr || capacity <= 0) {
        return -1;
    }
    target[0] = 0;
    return TextAppend(target, capacity, source);
}

int TextAppend(WCHAR *target, int capacity, const WCHAR *source) {
    if (target == nullptr || capacity <= 0) {
        return -1;
    }
    int length = 0;
    while (length < capacity && target[length] != 0) {
        length++;
    }
    if (length == capacity) {
        // The target was not terminated within its capacity.
        target[capacity - 1] = 0;
        return -1;
    }
    int result = 0;
    if (source != nullptr) {
        for (int i = 0; source[i] != 0; i++) {
            if (length == capacity - 1) {
                result = -1;
                break;
            }
            target[length++] = source[i];
        }
    }
    target[length] = 0;
    return result;
}

static const WCHAR REPLACEMENT = 0xFFFD;

static BOOL IsHighSurrogate(WCHAR ch) {
    return ch >= 0xD800 && ch <= 0xDBFF;
}

static BOOL IsLowSurrogate(WCHAR ch) {
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

// Whether the unit at `at` of `text` may not reach a terminal as it is.
static BOOL IsUnprintable(const WCHAR *text, int at) {
    WCHAR ch = text[at];
    if (ch < 0x20 || (ch >= 0x7F && ch <= 0x9F) || (ch >= 0x202A && ch <= 0x202E) ||
        (ch >= 0x2066 && ch <= 0x2069)) {
        return TRUE;
    }
    if (IsHighSurrogate(ch)) {
        return !IsLowSurrogate(text[at + 1]);
    }
    if (IsLowSurrogate(ch)) {
        return at == 0 || !IsHighSurrogate(text[at - 1]);
    }
    return FALSE;
}

const WCHAR *PrintableText(const WCHAR *text, WCHAR *buffer, int capacity) {
    if (text == nullptr) {
        return nullptr;
    }
    int first = 0;
    while (text[first] != 0 && !IsUnprintable(text, first)) {
        first++;
    }
    if (text[first] == 0) {
        return text;
    }
    if (buffer == nullptr || capacity <= 0) {
        return nullptr;
    }
    int length = 0;
    for (; text[length] != 0 && length < capacity - 1; length++) {
        buffer[length] = IsUnprintable(text, length) ? REPLACEMENT : text[length];
    }
    // A pair cut by the end of the buffer leaves its first half alone.
    if (length > 0 && IsHighSurrogate(buffer[length - 1])) {
        buffer[length - 1] = REPLACEMENT;
    }
    buffer[length] = 0;
    return buffer;
}

static WCHAR UpperAZ(WCHAR ch) {
    if (ch >= 'a' && ch <= 'z') {
        return (WCHAR)(ch - 'a' + 'A');
    }
    return ch;
}

void UpperCaseAZ(WCHAR *text) {
    if (text == nullptr) {
        return;
    }
    for (int i = 0; text[i] != 0; i++) {
        text[i] = UpperAZ(text[i]);
    }
}

int CompareNoCaseAZ(const WCHAR *left, const WCHAR *right) {
    static const WCHAR empty[1] = {0};
    if (left == nullptr) {
        left = empty;
    }
    if (right == nullptr) {
        right = empty;
    }
    for (int i = 0;; i++) {
        WCHAR l = UpperAZ(left[i]);
        WCHAR r = UpperAZ(right[i]);
        if (l != r) {
            return l < r ? -1 : 1;
        }
        if (l == 0) {
            return 0;
        }
    }
}
