// sink.cpp: glimview's output sinks (whole UTF-8 sequences collected and
// handed on in pieces), the small formatter of its messages, and the one
// rule for what a character is shown as.
#include "glimview/glimview.h"

#include <string.h>

void SinkInit(ViewSink *sink, ViewWriter write, void *context) {
    sink->fill = 0;
    sink->write = write;
    sink->context = context;
    sink->failed = FALSE;
}

BOOL SinkFlush(ViewSink *sink) {
    if (!sink->failed && sink->fill > 0 && !sink->write(sink->context, sink->buffer, sink->fill)) {
        sink->failed = TRUE;
    }
    sink->fill = 0;
    return !sink->failed;
}

void SinkBytes(ViewSink *sink, const void *data, DWORD size) {
    const BYTE *bytes = (const BYTE *)data;
    if (sink->failed) {
        return;
    }
    if (size > VIEW_SINK_BYTES - sink->fill) {
        SinkFlush(sink);
        if (sink->failed) {
            return;
        }
    }
    if (size > VIEW_SINK_BYTES) {
        // Larger than the whole buffer: handed on at once. The pieces put in
        // are whole sequences, so this one ends on a sequence too.
        if (!sink->write(sink->context, bytes, size)) {
            sink->failed = TRUE;
        }
        return;
    }
    memcpy(sink->buffer + sink->fill, bytes, size);
    sink->fill += size;
}

void SinkText(ViewSink *sink, const char *text) {
    SinkBytes(sink, text, (DWORD)strlen(text));
}

void SinkCodePoint(ViewSink *sink, DWORD codePoint) {
    BYTE bytes[4];
    DWORD size = 0;
    if (codePoint < 0x80) {
        bytes[size++] = (BYTE)codePoint;
    } else if (codePoint < 0x800) {
        bytes[size++] = (BYTE)(0xC0 | (codePoint >> 6));
        bytes[size++] = (BYTE)(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes[size++] = (BYTE)(0xE0 | (codePoint >> 12));
        bytes[size++] = (BYTE)(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[size++] = (BYTE)(0x80 | (codePoint & 0x3F));
    } else {
        bytes[size++] = (BYTE)(0xF0 | (codePoint >> 18));
        bytes[size++] = (BYTE)(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[size++] = (BYTE)(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[size++] = (BYTE)(0x80 | (codePoint & 0x3F));
    }
    SinkBytes(sink, bytes, size);
}

DWORD VisibleCharacter(WORD unit) {
    static const DWORD REPLACEMENT = 0xFFFD;
    if (unit < 0x20) {
        return 0x2400 + unit; // SYMBOL FOR NULL ... SYMBOL FOR UNIT SEPARATOR
    }
    if (unit == 0x7F) {
        return 0x2421; // SYMBOL FOR DELETE
    }
    if (unit >= 0x80 && unit <= 0x9F) {
        return REPLACEMENT;
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        return REPLACEMENT;
    }
    if (unit >= 0xFFF0) {
        return REPLACEMENT;
    }
    // Line and paragraph separators break lines; the embeddings, overrides
    // and isolates reorder whatever follows them on the row.
    if (unit == 0x2028 || unit == 0x2029 || (unit >= 0x202A && unit <= 0x202E) ||
        (unit >= 0x2066 && unit <= 0x2069)) {
        return REPLACEMENT;
    }
    return unit;
}

// Decodes one UTF-8 sequence at `text`; returns its length (at least 1) and
// sets *codePoint, or U+FFFD for a byte that starts no valid sequence
// (overlong forms, surrogates and values above U+10FFFF included).
static DWORD DecodeUtf8(const BYTE *text, DWORD *codePoint) {
    BYTE lead = text[0];
    DWORD length = 0;
    DWORD value = 0;
    DWORD least = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        *codePoint = 0xFFFD;
        return 1;
    }
    for (DWORD i = 1; i < length; i++) {
        // A terminator is no continuation byte, so this never reads past it.
        if ((text[i] & 0xC0) != 0x80) {
            *codePoint = 0xFFFD;
            return 1;
        }
        value = (value << 6) | (text[i] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        *codePoint = 0xFFFD;
        return 1;
    }
    *codePoint = value;
    return length;
}

DWORD DecodeShown(const BYTE *text, DWORD *codePoint) {
    DWORD length = DecodeUtf8(text, codePoint);
    if (*codePoint < 0x10000) {
        *codePoint = VisibleCharacter((WORD)*codePoint);
    }
    return length;
}

void SinkMarkupCodePoint(ViewSink *sink, DWORD codePoint) {
    if (codePoint == '&') {
        SinkText(sink, "&amp;");
    } else if (codePoint == '<') {
        SinkText(sink, "&lt;");
    } else if (codePoint == '>') {
        SinkText(sink, "&gt;");
    } else {
        SinkCodePoint(sink, codePoint);
    }
}

void SinkSafeText(ViewSink *sink, const char *text, BOOL html) {
    const BYTE *at = (const BYTE *)text;
    while (*at != 0) {
        DWORD codePoint = 0;
        at += DecodeShown(at, &codePoint);
        if (html) {
            SinkMarkupCodePoint(sink, codePoint);
        } else {
            SinkCodePoint(sink, codePoint);
        }
    }
}

static void SinkNumber(ViewSink *sink, DWORD value, BOOL hex) {
    char digits[16];
    int at = (int)sizeof digits;
    digits[--at] = 0;
    if (hex) {
        for (int i = 0; i < 8; i++) {
            digits[--at] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        }
    } else {
        do {
            digits[--at] = (char)('0' + value % 10);
            value /= 10;
        } while (value != 0);
    }
    SinkText(sink, digits + at);
}

void SinkFormat(ViewSink *sink, const char *format, const char *text, DWORD first, DWORD second) {
    DWORD numbers[2] = {first, second};
    int used = 0;
    const char *at = format;
    while (*at != 0) {
        const char *next = strchr(at, '%');
        if (next == NULL) {
            SinkText(sink, at);
            break;
        }
        SinkBytes(sink, at, (DWORD)(next - at));
        if (next[1] == 's') {
            SinkSafeText(sink, text != NULL ? text : "", FALSE);
            at = next + 2;
        } else if (next[1] == 'u' && used < 2) {
            SinkNumber(sink, numbers[used++], FALSE);
            at = next + 2;
        } else if (strncmp(next, "%08X", 4) == 0 && used < 2) {
            SinkNumber(sink, numbers[used++], TRUE);
            at = next + 4;
        } else if (next[1] == '%') {
            SinkText(sink, "%");
            at = next + 2;
        } else {
            SinkBytes(sink, next, 1);
            at = next + 1;
        }
    }
}
