// output.cpp: the host's output services Printf, Qprintf, QPuts and Sprintf.
// Text goes to a console as UTF-16 through WriteConsoleW, and to anything
// else (a file, a pipe) as UTF-8 through WriteFile, so that captured output
// reads the same on every machine. Nothing is buffered: each call has
// written its text when it returns, so standard output and standard error
// stay in the order they were written.
#include "plugin/host.h"
#include "host/hostformat.h"
#include "host/hostnames.h"

#include <cstdarg>
#include <cstdint>

// The most a single formatted call produces; longer output is cut.
static const int FORMAT_CAPACITY = 16384;
// Console writes go out in pieces of this many units.
static const int CONSOLE_CHUNK = 8192;
// UTF-8 bytes gathered before each WriteFile.
static const int UTF8_CHUNK = 4096;

static bool IsHighSurrogate(WCHAR ch) {
    return ch >= 0xD800 && ch <= 0xDBFF;
}

static bool IsLowSurrogate(WCHAR ch) {
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

// Writes all of `bytes` to `handle`, going on after partial writes; stops
// at the first failure.
static bool WriteAll(HANDLE handle, const unsigned char *bytes, int count) {
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, static_cast<DWORD>(count), &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes += written;
        count -= static_cast<int>(written);
    }
    return true;
}

// UTF-16 to UTF-8, a code point at a time; a lone surrogate becomes U+FFFD.
static void WriteUtf8(HANDLE handle, const WCHAR *text, int length) {
    unsigned char bytes[UTF8_CHUNK];
    int used = 0;
    for (int i = 0; i < length; i++) {
        uint32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            i++;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            cp = 0xFFFD;
        }
        if (used > UTF8_CHUNK - 4) {
            if (!WriteAll(handle, bytes, used)) {
                return;
            }
            used = 0;
        }
        if (cp < 0x80) {
            bytes[used++] = static_cast<unsigned char>(cp);
        } else if (cp < 0x800) {
            bytes[used++] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            bytes[used++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes[used++] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            bytes[used++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[used++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else {
            bytes[used++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            bytes[used++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[used++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[used++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        }
    }
    if (used > 0) {
        WriteAll(handle, bytes, used);
    }
}

static void WriteConsoleText(HANDLE handle, const WCHAR *text, int length) {
    while (length > 0) {
        int piece = length > CONSOLE_CHUNK ? CONSOLE_CHUNK : length;
        // Keep a surrogate pair within one piece.
        if (piece < length && IsHighSurrogate(text[piece - 1])) {
            piece--;
        }
        DWORD written = 0;
        if (!WriteConsoleW(handle, text, static_cast<DWORD>(piece), &written, nullptr) ||
            written == 0) {
            return;
        }
        text += written;
        length -= static_cast<int>(written);
    }
}

static void WriteText(HANDLE handle, const WCHAR *text, int length) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || length <= 0) {
        return;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleText(handle, text, length);
    } else {
        WriteUtf8(handle, text, length);
    }
}

extern "C" int Printf(const WCHAR *format, ...) {
    WCHAR text[FORMAT_CAPACITY];
    va_list args;
    va_start(args, format);
    int n = HostFormatV(text, FORMAT_CAPACITY, format, args);
    va_end(args);
    WriteText(GetStdHandle(STD_OUTPUT_HANDLE), text, n);
    return n;
}

extern "C" int Qprintf(HANDLE handle, const WCHAR *format, ...) {
    WCHAR text[FORMAT_CAPACITY];
    va_list args;
    va_start(args, format);
    int n = HostFormatV(text, FORMAT_CAPACITY, format, args);
    va_end(args);
    WriteText(handle, text, n);
    return n;
}

extern "C" int QPuts(const WCHAR *text) {
    if (text == nullptr) {
        return 0;
    }
    int n = HostLength(text);
    WriteText(GetStdHandle(STD_OUTPUT_HANDLE), text, n);
    return n;
}

extern "C" int Sprintf(WCHAR *buffer, const WCHAR *format, ...) {
    va_list args;
    va_start(args, format);
    int n = HostFormatV(buffer, FORMAT_CAPACITY, format, args);
    va_end(args);
    return n;
}
