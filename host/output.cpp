// output.cpp: the host's output services Printf, Qprintf, QPuts and Sprintf.
// Text goes to a console as UTF-16 through WriteConsoleW, and to anything
// else (a file, a pipe) as UTF-8 through WriteFile, so that captured output
// reads the same on every machine.
//
// By default nothing is buffered: each call has written its text when it
// returns, so standard output and standard error stay in the order they
// were written. With HostSetOutputBuffering on (glimhost turns it on), the
// kind of each standard handle is learnt once, and text for a file or a
// pipe is gathered in a buffer of its own; the order is kept by writing
// out the other handle's buffer before anything goes to this one. The
// hazard is text left unwritten: glimhost flushes at the end of every
// command line, before input and a message box, and at exit, and the
// Wine checks send both streams to one file to see the order kept.
#include "plugin/host.h"
#include "host/hostformat.h"
#include "host/hostnames.h"
#include "host/hoststate.h"

#include <cstdarg>
#include <cstdint>

// The most a single formatted call produces; longer output is cut.
static const int FORMAT_CAPACITY = 16384;
// Console writes go out in pieces of this many units.
static const int CONSOLE_CHUNK = 8192;
// UTF-8 bytes gathered before each WriteFile, unbuffered.
static const int UTF8_CHUNK = 4096;
// UTF-8 bytes a buffered standard handle gathers at the most.
static const int BUFFER_BYTES = 65536;
// The longest UTF-8 sequence of one code point.
static const int UTF8_MAX = 4;

// UTF-8 bytes on their way to a handle.
struct Utf8Sink {
    HANDLE handle;
    unsigned char *bytes;
    int capacity;
    int used;
};

// A standard handle, as buffered output knows it: the handle as last seen,
// whether it is a console, and the text gathered for it.
struct StandardOutput {
    DWORD which; // STD_OUTPUT_HANDLE or STD_ERROR_HANDLE
    bool known;
    bool console;
    Utf8Sink sink;
};

static bool Buffering = false;
static unsigned char OutBytes[BUFFER_BYTES];
static unsigned char ErrBytes[BUFFER_BYTES];
static StandardOutput Standard[2] = {
    {STD_OUTPUT_HANDLE, false, false, {nullptr, OutBytes, BUFFER_BYTES, 0}},
    {STD_ERROR_HANDLE, false, false, {nullptr, ErrBytes, BUFFER_BYTES, 0}},
};
static const int STANDARD_COUNT = 2;

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

// Writes out what the sink holds and empties it. Returns false when the
// write failed; the bytes are dropped then.
static bool FlushSink(Utf8Sink *sink) {
    bool ok = sink->used == 0 || WriteAll(sink->handle, sink->bytes, sink->used);
    sink->used = 0;
    return ok;
}

// UTF-16 to UTF-8 into the sink, a code point at a time, writing it out
// whenever it is full; a lone surrogate becomes U+FFFD. Returns false, at
// the first failed write, when the rest of the text is given up.
static bool PutUtf8(Utf8Sink *sink, const WCHAR *text, int length) {
    for (int i = 0; i < length; i++) {
        uint32_t cp = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            i++;
        } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
            cp = 0xFFFD;
        }
        if (sink->used > sink->capacity - UTF8_MAX && !FlushSink(sink)) {
            return false;
        }
        unsigned char *bytes = sink->bytes;
        int &used = sink->used;
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
    return true;
}

// The text as UTF-8, written before this returns.
static void WriteUtf8(HANDLE handle, const WCHAR *text, int length) {
    unsigned char bytes[UTF8_CHUNK];
    Utf8Sink sink = {handle, bytes, UTF8_CHUNK, 0};
    if (PutUtf8(&sink, text, length)) {
        FlushSink(&sink);
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

static bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

// The text written at once: to a console as UTF-16, else as UTF-8.
static void WriteNow(HANDLE handle, const WCHAR *text, int length, bool console) {
    if (console) {
        WriteConsoleText(handle, text, length);
    } else {
        WriteUtf8(handle, text, length);
    }
}

// Learns the standard handles afresh where they are not the ones last
// seen (glimhost sets them to its -o and -e files); text gathered for a
// handle no longer standard is written to it first. Returns the record
// of `handle`, or null when it is neither standard handle. When both are
// one handle, the first record serves it, so that one buffer keeps the
// order.
static StandardOutput *FindStandard(HANDLE handle) {
    StandardOutput *found = nullptr;
    for (int i = 0; i < STANDARD_COUNT; i++) {
        StandardOutput *standard = &Standard[i];
        HANDLE current = GetStdHandle(standard->which);
        if (!standard->known || standard->sink.handle != current) {
            FlushSink(&standard->sink);
            standard->sink.handle = current;
            standard->console =
                current != nullptr && current != INVALID_HANDLE_VALUE && IsConsole(current);
            standard->known = true;
        }
        if (found == nullptr && current == handle) {
            found = standard;
        }
    }
    return found;
}

static void WriteText(HANDLE handle, const WCHAR *text, int length) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || length <= 0) {
        return;
    }
    if (!Buffering) {
        WriteNow(handle, text, length, IsConsole(handle));
        return;
    }
    StandardOutput *standard = FindStandard(handle);
    // What waits for another handle goes first, so that standard output and
    // standard error sent to one file keep their order.
    for (int i = 0; i < STANDARD_COUNT; i++) {
        if (&Standard[i] != standard) {
            FlushSink(&Standard[i].sink);
        }
    }
    if (standard == nullptr) {
        WriteNow(handle, text, length, IsConsole(handle));
        return;
    }
    if (standard->console) {
        WriteConsoleText(handle, text, length);
        return;
    }
    // A failed write drops what was gathered; later text is tried again.
    PutUtf8(&standard->sink, text, length);
}

extern "C" void HostFlushOutput(void) {
    for (int i = 0; i < STANDARD_COUNT; i++) {
        FlushSink(&Standard[i].sink);
    }
}

extern "C" void HostSetOutputBuffering(int on) {
    HostFlushOutput();
    // Turned on again, the handles are learnt afresh.
    for (int i = 0; i < STANDARD_COUNT; i++) {
        Standard[i].known = false;
    }
    Buffering = on != 0;
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
