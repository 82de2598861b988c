// Tests of building a Glimpset header and of reading the saved-screen
// values back from either format: exact bytes at their offsets, the time
// stamp's byte order, the computer name's terminator, 16-bit window
// arithmetic and the start offset of SAVECON cells.
#include "format/glimformat.h"

#include <gtest/gtest.h>

#include <string.h>
#include <vector>

namespace {

WORD WordAt(const BYTE *bytes, size_t offset) {
    return (WORD)(bytes[offset] | (bytes[offset + 1] << 8));
}

DWORD DwordAt(const BYTE *bytes, size_t offset) {
    return WordAt(bytes, offset) | ((DWORD)WordAt(bytes, offset + 2) << 16);
}

CONSOLE_SCREEN_BUFFER_INFO Info(SHORT columns, SHORT rows, SHORT cursorX, SHORT cursorY,
                                WORD attributes, SHORT top, SHORT bottom) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    memset(&info, 0, sizeof info);
    info.dwSize.X = columns;
    info.dwSize.Y = rows;
    info.dwCursorPosition.X = cursorX;
    info.dwCursorPosition.Y = cursorY;
    info.wAttributes = attributes;
    info.srWindow.Left = 0;
    info.srWindow.Right = (SHORT)(columns - 1);
    info.srWindow.Top = top;
    info.srWindow.Bottom = bottom;
    return info;
}

SYSTEMTIME Time() {
    SYSTEMTIME t;
    t.wYear = 2024;
    t.wMonth = 6;
    t.wDayOfWeek = 2;
    t.wDay = 11;
    t.wHour = 23;
    t.wMinute = 45;
    t.wSecond = 59;
    t.wMilliseconds = 999;
    return t;
}

const WCHAR NAME[] = TEXT("BUILDBOX");

TEST(GlimpsetHeader, HoldsEveryFieldAtItsOffset) {
    SYSTEMTIME time = Time();
    CONSOLE_SCREEN_BUFFER_INFO info = Info(120, 9001, 7, 8000, 0x1F, 7977, 8000);
    GlimpsetHeader header;
    memset(&header, 0xCC, sizeof header);
    FillGlimpsetHeader(&header, &time, -60, &info, 850, 65001, NAME);
    const BYTE *b = (const BYTE *)&header;
    // clang-format off
    const std::vector<BYTE> expected = {
        'G', 'l', 'i', 'm', 'p', 's', 'e', 't', // magic
        1, 0,                                   // version
        0xE8, 0x07,                             // year 2024
        11, 6, 45, 23, 59, 2,                   // day, month, minute, hour, second, day of week
        0xC4, 0xFF, 0xFF, 0xFF,                 // bias -60
        120, 0, 0x29, 0x23,                     // 120 columns, 9001 rows
        7, 0, 0x40, 0x1F,                       // cursor column 7, row 8000
        0x1F, 0,                                // attribute
        0x52, 0x03, 0, 0,                       // input code page 850
        0xE9, 0xFD, 0, 0,                       // output code page 65001
        24, 0,                                  // window height
        0, 0,                                   // reserved
        0, 0, 0, 0,                             // crc, for the caller
        'B', 0, 'U', 0, 'I', 0, 'L', 0, 'D', 0, 'B', 0, 'O', 0, 'X', 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    // clang-format on
    EXPECT_EQ(expected, std::vector<BYTE>(b, b + HEADER_SIZE));
}

TEST(GlimpsetHeader, KeepsTheLowByteOfTimeFieldsAndOfTheAttribute) {
    SYSTEMTIME time = Time();
    time.wDay = 0x0105;
    time.wMonth = 0x0203;
    time.wHour = 0x0417;
    time.wYear = 0xABCD;
    CONSOLE_SCREEN_BUFFER_INFO info = Info(80, 25, 0, 0, 0xC01E, 0, 24);
    GlimpsetHeader header;
    FillGlimpsetHeader(&header, &time, 300, &info, 437, 437, NAME);
    const BYTE *b = (const BYTE *)&header;
    EXPECT_EQ(0xABCD, WordAt(b, 10));
    EXPECT_EQ(0x05, b[12]);
    EXPECT_EQ(0x03, b[13]);
    EXPECT_EQ(0x17, b[15]);
    EXPECT_EQ(0x001E, WordAt(b, 30));
    EXPECT_EQ(300u, DwordAt(b, 18));
}

TEST(GlimpsetHeader, LeavesTheTimeStampZeroWithoutATime) {
    CONSOLE_SCREEN_BUFFER_INFO info = Info(80, 25, 0, 0, 0x07, 0, 24);
    GlimpsetHeader header;
    memset(&header, 0xCC, sizeof header);
    FillGlimpsetHeader(&header, NULL, -60, &info, 437, 437, NAME);
    const BYTE *b = (const BYTE *)&header;
    for (int offset = 10; offset <= 21; offset++) {
        EXPECT_EQ(0, b[offset]) << "offset " << offset;
    }
    EXPECT_EQ(80, WordAt(b, 22));
}

struct NameCase {
    const char *name;
    const WCHAR *computerName;
    int unitsKept;
};

TEST(GlimpsetHeader, TerminatesTheComputerName) {
    const WCHAR fifteen[] = TEXT("ABCDEFGHIJKLMNO");
    const WCHAR sixteen[] = TEXT("ABCDEFGHIJKLMNOP");
    const WCHAR twenty[] = TEXT("ABCDEFGHIJKLMNOPQRST");
    const WCHAR empty[] = TEXT("");
    const WCHAR shortName[] = {'P', 'C', 0, 'Z', 'Z', 0};
    const std::vector<NameCase> cases = {
        {"15 units are kept whole", fifteen, 15},
        {"16 units lose the last", sixteen, 15},
        {"20 units are cut to 15", twenty, 15},
        {"empty name", empty, 0},
        {"no name", NULL, 0},
        {"nothing after the NUL", shortName, 2},
    };
    CONSOLE_SCREEN_BUFFER_INFO info = Info(80, 25, 0, 0, 0x07, 0, 24);
    for (const NameCase &c : cases) {
        GlimpsetHeader header;
        memset(&header, 0xCC, sizeof header);
        FillGlimpsetHeader(&header, NULL, 0, &info, 437, 437, c.computerName);
        const BYTE *b = (const BYTE *)&header;
        for (int i = 0; i < 16; i++) {
            WORD expected = i < c.unitsKept ? (WORD)c.computerName[i] : 0;
            EXPECT_EQ(expected, WordAt(b, 48 + 2 * i)) << c.name << " unit " << i;
        }
    }
}

TEST(GlimpsetHeader, ReadsBackWhatWasFilled) {
    SYSTEMTIME time = Time();
    CONSOLE_SCREEN_BUFFER_INFO info = Info(512, 9999, 511, 9998, 0x8F, 9950, 9998);
    GlimpsetHeader header;
    FillGlimpsetHeader(&header, &time, 210, &info, 1252, 65001, NAME);
    header.crc = 0xDEADBEEF;
    const BYTE *b = (const BYTE *)&header;
    ASSERT_EQ(HEADER_GLIMPSET, ClassifyHeader(b));
    SavedScreen saved;
    memset(&saved, 0xCC, sizeof saved);
    ReadSavedScreen(b, HEADER_GLIMPSET, &saved);
    EXPECT_EQ(HEADER_GLIMPSET, saved.kind);
    EXPECT_EQ(1, saved.version);
    EXPECT_EQ(512, saved.columns);
    EXPECT_EQ(9999, saved.rows);
    EXPECT_EQ(511, saved.cursorColumn);
    EXPECT_EQ(9998, saved.cursorRow);
    EXPECT_EQ(0x8F, saved.attribute);
    EXPECT_EQ(49, saved.windowHeight);
    EXPECT_TRUE(saved.hasCodePages);
    EXPECT_EQ(1252u, saved.inputCodePage);
    EXPECT_EQ(65001u, saved.outputCodePage);
    EXPECT_TRUE(saved.hasCrc);
    EXPECT_EQ(0xDEADBEEFu, saved.crc);
    EXPECT_EQ(80u, saved.dataOffset);
}

TEST(GlimpsetHeader, ReadsFieldsAsFoundInTheFile) {
    // A header from elsewhere: version 2 and a high attribute byte are
    // passed on for the reader to judge.
    std::vector<BYTE> bytes(HEADER_SIZE + 1, 0);
    BYTE *b = bytes.data() + 1; // and not aligned
    memcpy(b, "Glimpset", 8);
    b[8] = 2;
    b[22] = 80;
    b[24] = 25;
    b[30] = 0x07;
    b[31] = 0x1F;
    b[40] = 0;
    b[41] = 1;
    SavedScreen saved;
    ReadSavedScreen(b, HEADER_GLIMPSET, &saved);
    EXPECT_EQ(2, saved.version);
    EXPECT_EQ(0x1F07, saved.attribute);
    EXPECT_EQ(256, saved.windowHeight);
}

struct SaveconReadCase {
    const char *name;
    WORD w[12]; // words at offsets 0, 2, ..., 22
    WORD windowWidth;
    WORD windowHeight;
    DWORD dataOffset;
};

TEST(SaveconHeader, ReadsTheSavedScreen) {
    // columns, rows, cursor x, cursor y, attributes, left, top, right, bottom, max x, max y,
    // start selector
    const std::vector<SaveconReadCase> cases = {
        {"window 80 x 25, cells from 22",
         {80, 25, 1, 2, 0x1F07, 0, 0, 79, 24, 80, 25, 0x41},
         80,
         25,
         22},
        {"cells from 832", {80, 300, 1, 2, 0x1F07, 0, 275, 79, 299, 80, 25, 0}, 80, 25, 832},
        {"window size in 16-bit arithmetic",
         {80, 25, 0, 0, 0x07, 10, 20, 5, 5, 0, 0, 1},
         65532,
         65522,
         22},
    };
    for (const SaveconReadCase &c : cases) {
        std::vector<BYTE> bytes(HEADER_SIZE, 0);
        for (int i = 0; i < 12; i++) {
            bytes[2 * i] = (BYTE)(c.w[i] & 0xFF);
            bytes[2 * i + 1] = (BYTE)(c.w[i] >> 8);
        }
        SavedScreen saved;
        memset(&saved, 0xCC, sizeof saved);
        ReadSavedScreen(bytes.data(), HEADER_SAVECON, &saved);
        EXPECT_EQ(HEADER_SAVECON, saved.kind) << c.name;
        EXPECT_EQ(c.w[0], saved.columns) << c.name;
        EXPECT_EQ(c.w[1], saved.rows) << c.name;
        EXPECT_EQ(c.w[2], saved.cursorColumn) << c.name;
        EXPECT_EQ(c.w[3], saved.cursorRow) << c.name;
        EXPECT_EQ(c.w[4], saved.attribute) << c.name;
        EXPECT_EQ(c.windowWidth, saved.windowWidth) << c.name;
        EXPECT_EQ(c.windowHeight, saved.windowHeight) << c.name;
        EXPECT_FALSE(saved.hasCodePages) << c.name;
        EXPECT_FALSE(saved.hasCrc) << c.name;
        EXPECT_EQ(c.dataOffset, saved.dataOffset) << c.name;
    }
}

} // namespace
