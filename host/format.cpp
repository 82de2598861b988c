// format.cpp: the host's formatter (HostFormatV). It owns no state; every
// write goes through one bounded sink, so no directive can run past the
// caller's buffer.
#include "host/hostformat.h"

#include <cstdint>

static const WCHAR NULL_STRING[] = TEXT("(null)");

// Widths and precisions beyond this are taken as this: no buffer of the
// host is larger, and it keeps a huge width from spinning for nothing.
static const int FIELD_LIMIT = 65536;

struct Sink {
    WCHAR *buffer;
    int capacity;
    int length;
    bool full;
};

static void Put(Sink *sink, WCHAR ch) {
    if (sink->length < sink->capacity - 1) {
        sink->buffer[sink->length++] = ch;
    } else {
        sink->full = true;
    }
}

static void PutRepeated(Sink *sink, WCHAR ch, int count) {
    for (int i = 0; i < count && !sink->full; i++) {
        Put(sink, ch);
    }
}

struct Directive {
    bool left;
    bool plus;
    bool space;
    bool zero;
    bool alternate;
    int width;
    int precision; // -1: none
};

// Length of a wide or narrow text, reading no further than `limit` units.
static int BoundedLength(const WCHAR *text, int limit) {
    int n = 0;
    while ((limit < 0 || n < limit) && text[n] != 0) {
        n++;
    }
    return n;
}

static int BoundedLengthNarrow(const char *text, int limit) {
    int n = 0;
    while ((limit < 0 || n < limit) && text[n] != 0) {
        n++;
    }
    return n;
}

static void PutPadded(Sink *sink, const Directive *d, const WCHAR *wide, const char *narrow,
                      int length) {
    int pad = d->width > length ? d->width - length : 0;
    if (!d->left) {
        PutRepeated(sink, d->zero ? TEXT('0') : TEXT(' '), pad);
    }
    for (int i = 0; i < length && !sink->full; i++) {
        Put(sink,
            wide != nullptr ? wide[i] : static_cast<WCHAR>(static_cast<unsigned char>(narrow[i])));
    }
    if (d->left) {
        PutRepeated(sink, TEXT(' '), pad);
    }
}

static void PutNumber(Sink *sink, const Directive *d, uint64_t magnitude, bool negative,
                      bool isSigned, unsigned base, bool upper) {
    const char *digitsOf = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    WCHAR digits[24];
    int count = 0;
    uint64_t v = magnitude;
    while (v != 0) {
        digits[count++] = static_cast<WCHAR>(digitsOf[v % base]);
        v /= base;
    }
    // The precision is the least number of digits; by default one, so that
    // zero prints as "0"; with precision 0 the value zero prints no digit.
    int minimum = d->precision >= 0 ? d->precision : 1;
    int zeros = minimum > count ? minimum - count : 0;

    WCHAR prefix[3];
    int prefixLength = 0;
    if (negative) {
        prefix[prefixLength++] = TEXT('-');
    } else if (isSigned && d->plus) {
        prefix[prefixLength++] = TEXT('+');
    } else if (isSigned && d->space) {
        prefix[prefixLength++] = TEXT(' ');
    }
    if (d->alternate && magnitude != 0 && base == 16) {
        prefix[prefixLength++] = TEXT('0');
        prefix[prefixLength++] = upper ? TEXT('X') : TEXT('x');
    }
    if (d->alternate && base == 8 && zeros == 0) {
        zeros = 1;
    }

    int total = prefixLength + zeros + count;
    int pad = d->width > total ? d->width - total : 0;
    // Zero padding fills the width after the sign, unless a precision or
    // left-justification says otherwise.
    if (d->zero && !d->left && d->precision < 0) {
        zeros += pad;
        pad = 0;
    }
    if (!d->left) {
        PutRepeated(sink, TEXT(' '), pad);
    }
    for (int i = 0; i < prefixLength; i++) {
        Put(sink, prefix[i]);
    }
    PutRepeated(sink, TEXT('0'), zeros);
    for (int i = count - 1; i >= 0 && !sink->full; i--) {
        Put(sink, digits[i]);
    }
    if (d->left) {
        PutRepeated(sink, TEXT(' '), pad);
    }
}

static bool IsDigit(WCHAR ch) {
    return ch >= TEXT('0') && ch <= TEXT('9');
}

static int ReadNumber(const WCHAR **f) {
    int value = 0;
    while (IsDigit(**f)) {
        if (value < FIELD_LIMIT) {
            value = value * 10 + (**f - TEXT('0'));
        }
        (*f)++;
    }
    return value > FIELD_LIMIT ? FIELD_LIMIT : value;
}

int HostFormatV(WCHAR *buffer, int capacity, const WCHAR *format, va_list args) {
    if (buffer == nullptr || format == nullptr || capacity < 1) {
        return 0;
    }
    Sink sink = {buffer, capacity, 0, false};
    const WCHAR *f = format;
    while (*f != 0 && !sink.full) {
        if (*f != TEXT('%')) {
            Put(&sink, *f++);
            continue;
        }
        const WCHAR *start = f++;
        if (*f == TEXT('%')) {
            Put(&sink, TEXT('%'));
            f++;
            continue;
        }

        Directive d = {false, false, false, false, false, 0, -1};
        for (;; f++) {
            if (*f == TEXT('-')) {
                d.left = true;
            } else if (*f == TEXT('+')) {
                d.plus = true;
            } else if (*f == TEXT(' ')) {
                d.space = true;
            } else if (*f == TEXT('0')) {
                d.zero = true;
            } else if (*f == TEXT('#')) {
                d.alternate = true;
            } else {
                break;
            }
        }
        if (*f == TEXT('*')) {
            int w = va_arg(args, int);
            if (w < 0) {
                d.left = true;
                w = w == INT32_MIN ? FIELD_LIMIT : -w;
            }
            d.width = w > FIELD_LIMIT ? FIELD_LIMIT : w;
            f++;
        } else {
            d.width = ReadNumber(&f);
        }
        if (*f == TEXT('.')) {
            f++;
            if (*f == TEXT('*')) {
                int p = va_arg(args, int);
                d.precision = p < 0 ? -1 : (p > FIELD_LIMIT ? FIELD_LIMIT : p);
                f++;
            } else {
                d.precision = ReadNumber(&f);
            }
        }

        bool wide64 = false;
        bool isShort = false;
        bool narrow = false;
        bool wideText = false;
        if (f[0] == TEXT('I') && f[1] == TEXT('6') && f[2] == TEXT('4')) {
            wide64 = true;
            f += 3;
        } else if (f[0] == TEXT('I') && f[1] == TEXT('3') && f[2] == TEXT('2')) {
            f += 3;
        } else if (f[0] == TEXT('l') && f[1] == TEXT('l')) {
            wide64 = true;
            f += 2;
        } else if (f[0] == TEXT('l')) {
            wideText = true;
            f++;
        } else if (f[0] == TEXT('w')) {
            wideText = true;
            f++;
        } else if (f[0] == TEXT('h')) {
            isShort = true;
            narrow = true;
            f++;
        }

        WCHAR conversion = *f;
        switch (conversion) {
        case TEXT('s'):
        case TEXT('S'): {
            bool isNarrow = conversion == TEXT('S') ? !wideText : narrow;
            if (isNarrow) {
                const char *text = va_arg(args, const char *);
                if (text == nullptr) {
                    PutPadded(&sink, &d, NULL_STRING, nullptr,
                              BoundedLength(NULL_STRING, d.precision));
                } else {
                    PutPadded(&sink, &d, nullptr, text, BoundedLengthNarrow(text, d.precision));
                }
            } else {
                const WCHAR *text = va_arg(args, const WCHAR *);
                if (text == nullptr) {
                    text = NULL_STRING;
                }
                PutPadded(&sink, &d, text, nullptr, BoundedLength(text, d.precision));
            }
            f++;
            break;
        }
        case TEXT('c'):
        case TEXT('C'): {
            bool isNarrow = conversion == TEXT('C') ? !wideText : narrow;
            int value = va_arg(args, int);
            WCHAR ch = isNarrow ? static_cast<WCHAR>(static_cast<unsigned char>(value))
                                : static_cast<WCHAR>(value);
            PutPadded(&sink, &d, &ch, nullptr, 1);
            f++;
            break;
        }
        case TEXT('d'):
        case TEXT('i'): {
            int64_t value;
            if (wide64) {
                value = va_arg(args, long long);
            } else if (isShort) {
                value = static_cast<short>(va_arg(args, int));
            } else {
                value = va_arg(args, int);
            }
            uint64_t magnitude =
                value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
            PutNumber(&sink, &d, magnitude, value < 0, true, 10, false);
            f++;
            break;
        }
        case TEXT('u'):
        case TEXT('x'):
        case TEXT('X'):
        case TEXT('o'): {
            uint64_t value;
            if (wide64) {
                value = va_arg(args, unsigned long long);
            } else if (isShort) {
                value = static_cast<unsigned short>(va_arg(args, unsigned int));
            } else {
                value = va_arg(args, unsigned int);
            }
            unsigned base = conversion == TEXT('u') ? 10 : (conversion == TEXT('o') ? 8 : 16);
            PutNumber(&sink, &d, value, false, false, base, conversion == TEXT('X'));
            f++;
            break;
        }
        default:
            // Not a directive of ours: show it as written, so that a
            // mistake is visible rather than silently eaten.
            while (start < f && !sink.full) {
                Put(&sink, *start++);
            }
            break;
        }
    }
    // A cut output must not end in half of a surrogate pair.
    if (sink.full && sink.length > 0 && sink.buffer[sink.length - 1] >= 0xD800 &&
        sink.buffer[sink.length - 1] <= 0xDBFF) {
        sink.length--;
    }
    sink.buffer[sink.length] = 0;
    return sink.length;
}

int HostFormat(WCHAR *buffer, int capacity, const WCHAR *format, ...) {
    va_list args;
    va_start(args, format);
    int n = HostFormatV(buffer, capacity, format, args);
    va_end(args);
    return n;
}
