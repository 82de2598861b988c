// Tests of the recognition of Glimpset and SAVECON headers at each bound
// and one past it.
#include "format/glimformat.h"

#include <gtest/gtest.h>

#include <string.h>
#include <vector>

namespace {

void PutWordAt(std::vector<BYTE> &bytes, size_t offset, WORD value) {
    bytes[offset] = (BYTE)(value & 0xFF);
    bytes[offset + 1] = (BYTE)(value >> 8);
}

struct GlimpsetCase {
    const char *name;
    WORD columns;
    WORD rows;
    WORD cursorColumn;
    WORD cursorRow;
    HeaderKind expected;
};

std::vector<BYTE> GlimpsetBytes(const GlimpsetCase &c) {
    std::vector<BYTE> bytes(HEADER_SIZE, 0);
    memcpy(bytes.data(), "Glimpset", 8);
    PutWordAt(bytes, 8, 1);
    PutWordAt(bytes, 22, c.columns);
    PutWordAt(bytes, 24, c.rows);
    PutWordAt(bytes, 26, c.cursorColumn);
    PutWordAt(bytes, 28, c.cursorRow);
    return bytes;
}

TEST(ClassifyHeader, AcceptsGlimpsetHeadersWithinTheirBounds) {
    const std::vector<GlimpsetCase> cases = {
        {"typical", 80, 25, 0, 0, HEADER_GLIMPSET},
        {"22 columns", 22, 25, 0, 0, HEADER_GLIMPSET},
        {"21 columns", 21, 25, 0, 0, HEADER_UNKNOWN},
        {"512 columns", 512, 25, 0, 0, HEADER_GLIMPSET},
        {"513 columns", 513, 25, 0, 0, HEADER_UNKNOWN},
        {"8 rows", 80, 8, 0, 0, HEADER_GLIMPSET},
        {"7 rows", 80, 7, 0, 0, HEADER_UNKNOWN},
        {"9999 rows", 80, 9999, 0, 0, HEADER_GLIMPSET},
        {"10000 rows", 80, 10000, 0, 0, HEADER_UNKNOWN},
        {"cursor in the last column", 80, 25, 79, 0, HEADER_GLIMPSET},
        {"cursor in column `columns`", 80, 25, 80, 0, HEADER_UNKNOWN},
        {"cursor in the last row", 80, 25, 0, 24, HEADER_GLIMPSET},
        {"cursor in row `rows`", 80, 25, 0, 25, HEADER_UNKNOWN},
        {"columns read unsigned", 0xFFFF, 25, 0, 0, HEADER_UNKNOWN},
        {"cursor read unsigned", 80, 25, 0xFFFF, 0, HEADER_UNKNOWN},
        {"no cells", 0, 0, 0, 0, HEADER_UNKNOWN},
    };
    for (const GlimpsetCase &c : cases) {
        std::vector<BYTE> bytes = GlimpsetBytes(c);
        EXPECT_EQ(c.expected, ClassifyHeader(bytes.data())) << c.name;
    }
}

TEST(ClassifyHeader, IgnoresVersionTimeChecksumAndCodePages) {
    std::vector<BYTE> bytes = GlimpsetBytes({"", 80, 25, 3, 4, HEADER_GLIMPSET});
    for (size_t offset : {8, 10, 12, 18, 30, 32, 36, 40, 42, 44, 48}) {
        bytes[offset] = 0xA5;
        bytes[offset + 1] = 0x5A;
    }
    EXPECT_EQ(HEADER_GLIMPSET, ClassifyHeader(bytes.data()));
}

TEST(ClassifyHeader, NeverTriesAMagicHeaderAsSavecon) {
    // Past the magic, the words say what a SAVECON header needs; the magic
    // alone decides, and the bounds fail.
    std::vector<BYTE> bytes = GlimpsetBytes({"", 600, 25, 0, 0, HEADER_UNKNOWN});
    const WORD savecon[] = {0x1E, 0, 0, 21, 4}; // attribute and a 22 x 5 window at w8..w16
    for (int i = 0; i < 5; i++) {
        PutWordAt(bytes, 8 + 2 * i, savecon[i]);
    }
    EXPECT_EQ(HEADER_UNKNOWN, ClassifyHeader(bytes.data()));
    // A near miss of the magic is tried as SAVECON.
    std::vector<BYTE> other(HEADER_SIZE, 0);
    const WORD words[] = {80, 25, 0, 0, 0x1E, 0, 0, 79, 24, 80, 25, 1};
    for (int i = 0; i < 12; i++) {
        PutWordAt(other, 2 * i, words[i]);
    }
    EXPECT_EQ(HEADER_SAVECON, ClassifyHeader(other.data()));
    memcpy(other.data(), "Glimpsex", 8);
    EXPECT_EQ(HEADER_UNKNOWN, ClassifyHeader(other.data())); // "Gl" is no column count
}

struct SaveconCase {
    const char *name;
    WORD w[9]; // words at offsets 0, 2, ..., 16
    HeaderKind expected;
};

TEST(ClassifyHeader, AcceptsSaveconHeadersWithinTheirBounds) {
    // columns, rows, cursor x, cursor y, attributes, left, top, right, bottom
    const std::vector<SaveconCase> cases = {
        {"typical 80 x 25", {80, 25, 0, 0, 0x07, 0, 0, 79, 24}, HEADER_SAVECON},
        {"tall buffer, scrolled window", {80, 300, 5, 299, 0x1F, 0, 275, 79, 299}, HEADER_SAVECON},
        {"22 columns", {22, 25, 0, 0, 0x07, 0, 0, 21, 24}, HEADER_SAVECON},
        {"21 columns", {21, 25, 0, 0, 0x07, 0, 0, 20, 24}, HEADER_UNKNOWN},
        {"512 columns", {512, 25, 0, 0, 0x07, 0, 0, 79, 24}, HEADER_SAVECON},
        {"513 columns", {513, 25, 0, 0, 0x07, 0, 0, 79, 24}, HEADER_UNKNOWN},
        {"8 rows", {80, 8, 0, 0, 0x07, 0, 0, 79, 4}, HEADER_SAVECON},
        {"7 rows", {80, 7, 0, 0, 0x07, 0, 0, 79, 4}, HEADER_UNKNOWN},
        {"9999 rows", {80, 9999, 0, 0, 0x07, 0, 0, 79, 24}, HEADER_SAVECON},
        {"10000 rows", {80, 10000, 0, 0, 0x07, 0, 0, 79, 24}, HEADER_UNKNOWN},
        {"cursor in the last column", {80, 25, 79, 0, 0x07, 0, 0, 79, 24}, HEADER_SAVECON},
        {"cursor in column `columns`", {80, 25, 80, 0, 0x07, 0, 0, 79, 24}, HEADER_UNKNOWN},
        {"cursor in the last row", {80, 25, 0, 24, 0x07, 0, 0, 79, 24}, HEADER_SAVECON},
        {"cursor in row `rows`", {80, 25, 0, 25, 0x07, 0, 0, 79, 24}, HEADER_UNKNOWN},
        {"equal nibbles 0x77", {80, 25, 0, 0, 0x0077, 0, 0, 79, 24}, HEADER_UNKNOWN},
        {"equal nibbles 0x00", {80, 25, 0, 0, 0x0000, 0, 0, 79, 24}, HEADER_UNKNOWN},
        {"high byte does not count", {80, 25, 0, 0, 0x1F77, 0, 0, 79, 24}, HEADER_UNKNOWN},
        {"nibbles differ under a high byte", {80, 25, 0, 0, 0x7707, 0, 0, 79, 24}, HEADER_SAVECON},
        {"window 22 x 5", {80, 25, 0, 0, 0x07, 10, 3, 31, 7}, HEADER_SAVECON},
        {"window 21 wide", {80, 25, 0, 0, 0x07, 10, 3, 30, 7}, HEADER_UNKNOWN},
        {"window 4 high", {80, 25, 0, 0, 0x07, 10, 3, 31, 6}, HEADER_UNKNOWN},
        {"window right of left required", {80, 25, 0, 0, 0x07, 79, 0, 0, 24}, HEADER_UNKNOWN},
        {"window bottom below top required", {80, 25, 0, 0, 0x07, 0, 24, 79, 0}, HEADER_UNKNOWN},
        {"window as wide as the buffer", {80, 25, 0, 0, 0x07, 0, 0, 79, 24}, HEADER_SAVECON},
        {"window one wider than the buffer", {80, 25, 0, 0, 0x07, 0, 0, 80, 24}, HEADER_UNKNOWN},
        {"window one taller than the buffer", {80, 25, 0, 0, 0x07, 0, 0, 79, 25}, HEADER_UNKNOWN},
        {"window edges read unsigned", {80, 25, 0, 0, 0x07, 0xFFF0, 0, 10, 24}, HEADER_UNKNOWN},
    };
    for (const SaveconCase &c : cases) {
        std::vector<BYTE> bytes(HEADER_SIZE, 0);
        for (int i = 0; i < 9; i++) {
            PutWordAt(bytes, 2 * i, c.w[i]);
        }
        EXPECT_EQ(c.expected, ClassifyHeader(bytes.data())) << c.name;
    }
}

} // namespace
