// glimformat.h: the Glimpset file format and the foreign SAVECON format as
// the readers take it: the two header records, the token words of the
// Glimpset stream, the classification of a header, the screen checksum, and
// the one place where header bytes are filled and read.
//
// A Glimpset file is the 80-byte GlimpsetHeader followed by a stream of
// 16-bit little-endian words that runs to the end of the file. A screen is
// held as two parallel arrays (characters, attributes) of rows x columns
// words in row-major order.
#pragma once

#include "common/platform.h"

#include <stddef.h>

#pragma pack(push, 1)
struct GlimpsetHeader {
    BYTE magic[8]; // "Glimpset", no terminator
    WORD version;  // 1
    WORD year;     // 0 when the time stamp is suppressed
    BYTE day;
    BYTE month;
    BYTE minute;
    BYTE hour;
    BYTE second;
    BYTE dayOfWeek;
    LONG utcBias; // UTC = local time + utcBias (minutes)
    WORD columns;
    WORD rows;
    WORD cursorColumn;
    WORD cursorRow;
    WORD attribute; // low byte of the current attribute; high byte 0
    DWORD inputCodePage;
    DWORD outputCodePage;
    WORD windowHeight;
    WORD reserved;
    DWORD crc;
    WCHAR computerName[16]; // the unit at offset 78 is always 0
};

struct SaveconHeader {
    WORD sizeX; // columns
    WORD sizeY; // rows
    WORD cursorX;
    WORD cursorY;
    WORD attributes; // all 16 bits
    WORD windowLeft;
    WORD windowTop;
    WORD windowRight;
    WORD windowBottom;
    WORD maximumX;      // not used
    WORD maximumY;      // not used
    WORD startSelector; // not 0: cells begin at 22 (this word is the first character); 0: at 832
};
#pragma pack(pop)

static_assert(sizeof(WCHAR) == 2, "UTF-16 code units");
static_assert(sizeof(GlimpsetHeader) == 80, "Glimpset header is 80 bytes");
static_assert(offsetof(GlimpsetHeader, magic) == 0, "magic");
static_assert(offsetof(GlimpsetHeader, version) == 8, "version");
static_assert(offsetof(GlimpsetHeader, year) == 10, "year");
static_assert(offsetof(GlimpsetHeader, day) == 12, "day");
static_assert(offsetof(GlimpsetHeader, month) == 13, "month");
static_assert(offsetof(GlimpsetHeader, minute) == 14, "minute");
static_assert(offsetof(GlimpsetHeader, hour) == 15, "hour");
static_assert(offsetof(GlimpsetHeader, second) == 16, "second");
static_assert(offsetof(GlimpsetHeader, dayOfWeek) == 17, "dayOfWeek");
static_assert(offsetof(GlimpsetHeader, utcBias) == 18, "utcBias");
static_assert(offsetof(GlimpsetHeader, columns) == 22, "columns");
static_assert(offsetof(GlimpsetHeader, rows) == 24, "rows");
static_assert(offsetof(GlimpsetHeader, cursorColumn) == 26, "cursorColumn");
static_assert(offsetof(GlimpsetHeader, cursorRow) == 28, "cursorRow");
static_assert(offsetof(GlimpsetHeader, attribute) == 30, "attribute");
static_assert(offsetof(GlimpsetHeader, inputCodePage) == 32, "inputCodePage");
static_assert(offsetof(GlimpsetHeader, outputCodePage) == 36, "outputCodePage");
static_assert(offsetof(GlimpsetHeader, windowHeight) == 40, "windowHeight");
static_assert(offsetof(GlimpsetHeader, reserved) == 42, "reserved");
static_assert(offsetof(GlimpsetHeader, crc) == 44, "crc");
static_assert(offsetof(GlimpsetHeader, computerName) == 48, "computerName");
static_assert(sizeof(SaveconHeader) == 24, "SAVECON fields as read");
static_assert(offsetof(SaveconHeader, sizeX) == 0, "dwSize.X");
static_assert(offsetof(SaveconHeader, sizeY) == 2, "dwSize.Y");
static_assert(offsetof(SaveconHeader, cursorX) == 4, "dwCursorPosition.X");
static_assert(offsetof(SaveconHeader, cursorY) == 6, "dwCursorPosition.Y");
static_assert(offsetof(SaveconHeader, attributes) == 8, "wAttributes");
static_assert(offsetof(SaveconHeader, windowLeft) == 10, "srWindow.Left");
static_assert(offsetof(SaveconHeader, windowTop) == 12, "srWindow.Top");
static_assert(offsetof(SaveconHeader, windowRight) == 14, "srWindow.Right");
static_assert(offsetof(SaveconHeader, windowBottom) == 16, "srWindow.Bottom");
static_assert(offsetof(SaveconHeader, maximumX) == 18, "dwMaximumWindowSize");
static_assert(offsetof(SaveconHeader, startSelector) == 22, "start selector");

enum {
    HEADER_SIZE = 80,
    GLIMPSET_VERSION = 1,
    SAVECON_LATE_START = 832, // cell data offset when the start selector is 0
    SAVECON_EARLY_START = 22,
    MIN_COLUMNS = 22,
    MAX_COLUMNS = 512,
    MIN_ROWS = 8,
    MAX_ROWS = 9999,
};

extern const BYTE GLIMPSET_MAGIC[8]; // "Glimpset"

// Token words of the Glimpset stream; every other word is a character.
enum : WORD {
    TOKEN_RUN = 0xFFF9,          // count N, character C: N cells of C (N = 0: 65536)
    TOKEN_SPACES = 0xFFFA,       // count N: N spaces (N = 0: 65536)
    TOKEN_LITERAL = 0xFFFB,      // character C: one cell of C, whatever C is
    TOKEN_ATTRIBUTE = 0xFFFC,    // attribute A: becomes the current attribute
    TOKEN_BLANK_TO_END = 0xFFFD, // the remaining cells are spaces; the stream ends
};

enum HeaderKind {
    HEADER_UNKNOWN = 0,
    HEADER_GLIMPSET = 1,
    HEADER_SAVECON = 2,
};

// The kind of the first 80 bytes of a file. A header with the magic is
// Glimpset or nothing, never SAVECON. Reads nothing else; no side effects.
HeaderKind ClassifyHeader(const BYTE *header);

// Standard CRC-32 (reflected 0xEDB88320, initial 0xFFFFFFFF, complemented)
// over each cell's character then attribute, little-endian. 0 for no cells.
DWORD ScreenCrc32(const WORD *characters, const WORD *attributes, DWORD count);

// What a screen file says of the saved screen, read from either header.
struct SavedScreen {
    HeaderKind kind;
    WORD version; // Glimpset only
    WORD columns;
    WORD rows;
    WORD cursorColumn;
    WORD cursorRow;
    WORD attribute;    // Glimpset: the header field; SAVECON: wAttributes, all 16 bits
    WORD windowHeight; // SAVECON: bottom - top + 1 in 16-bit arithmetic
    WORD windowWidth;  // SAVECON only: right - left + 1
    BOOL hasCodePages; // Glimpset only
    DWORD inputCodePage;
    DWORD outputCodePage;
    BOOL hasCrc; // Glimpset only
    DWORD crc;
    DWORD dataOffset; // where the cells begin: 80, 22 or 832
};

// Fills `saved` from an 80-byte header of the given kind (1 or 2).
void ReadSavedScreen(const BYTE *header, HeaderKind kind, SavedScreen *saved);

// Builds a Glimpset header: zeroed, magic, version 1, the time stamp from
// `time` and `bias` unless `time` is null, the screen values, the code
// pages and the computer name (at most 15 units kept); the unit at offset
// 78 forced to 0. The caller fills crc once the cells are read.
void FillGlimpsetHeader(GlimpsetHeader *header, const SYSTEMTIME *time, LONG bias,
                        const CONSOLE_SCREEN_BUFFER_INFO *info, UINT inputCodePage,
                        UINT outputCodePage, const WCHAR *computerName);
