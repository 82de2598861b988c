// Tests of the screen checksum against zlib's CRC-32 of the same bytes:
// each cell's character then attribute, little-endian.
#include "format/glimformat.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

DWORD ZlibCrc(const std::vector<WORD> &ch, const std::vector<WORD> &at) {
    std::vector<BYTE> bytes;
    for (size_t i = 0; i < ch.size(); i++) {
        bytes.push_back((BYTE)(ch[i] & 0xFF));
        bytes.push_back((BYTE)(ch[i] >> 8));
        bytes.push_back((BYTE)(at[i] & 0xFF));
        bytes.push_back((BYTE)(at[i] >> 8));
    }
    return (DWORD)crc32(0L, bytes.data(), (uInt)bytes.size());
}

TEST(ScreenCrc32, IsZeroForNoCells) {
    WORD none = 0;
    EXPECT_EQ(0u, ScreenCrc32(&none, &none, 0));
}

TEST(ScreenCrc32, IsTheStandardCrcOfCharacterThenAttribute) {
    // 'A' in 0x07 is the bytes 41 00 07 00.
    WORD ch = 'A';
    WORD at = 0x07;
    const BYTE bytes[] = {0x41, 0x00, 0x07, 0x00};
    EXPECT_EQ((DWORD)crc32(0L, bytes, 4), ScreenCrc32(&ch, &at, 1));
    // Swapping character and attribute changes the sum.
    EXPECT_NE(ScreenCrc32(&ch, &at, 1), ScreenCrc32(&at, &ch, 1));
}

TEST(ScreenCrc32, MatchesZlibOnRandomScreens) {
    std::mt19937 random(7);
    // Counts of every remainder by 2 and by 4: cells are taken in steps of
    // several, and the ones left over one by one.
    const DWORD sizes[] = {1, 2,      3,          4,       5,           6,        7,           8,
                           9, 22 * 8, 22 * 8 + 1, 80 * 25, 80 * 25 - 1, 512 * 40, 512 * 40 + 1};
    for (DWORD size : sizes) {
        for (int n = 0; n < 5; n++) {
            std::vector<WORD> ch(size);
            std::vector<WORD> at(size);
            for (DWORD i = 0; i < size; i++) {
                ch[i] = (WORD)random();
                at[i] = (WORD)random();
            }
            EXPECT_EQ(ZlibCrc(ch, at), ScreenCrc32(ch.data(), at.data(), size)) << size;
        }
    }
}

// Every byte value at every byte position of screens of one to four cells,
// the other bytes 0: from the initial register, each of these looks up a
// different entry of the table that its position uses, so that every entry
// of every table is met, in whole steps of cells and in the cells left over.
TEST(ScreenCrc32, MatchesZlibForEveryByteValueAtEveryPosition) {
    for (DWORD cells = 1; cells <= 4; cells++) {
        for (DWORD position = 0; position < 4 * cells; position++) {
            for (int value = 0; value < 256; value++) {
                std::vector<WORD> ch(cells, 0);
                std::vector<WORD> at(cells, 0);
                WORD &target = position % 4 < 2 ? ch[position / 4] : at[position / 4];
                target = (WORD)(value << (8 * (position % 2)));
                EXPECT_EQ(ZlibCrc(ch, at), ScreenCrc32(ch.data(), at.data(), cells))
                    << cells << " cells, byte " << position << " = " << value;
            }
        }
    }
}

TEST(ScreenCrc32, CoversOnlyTheCellsCounted) {
    std::vector<WORD> ch = {'a', 'b', 'c'};
    std::vector<WORD> at = {7, 7, 7};
    DWORD two = ScreenCrc32(ch.data(), at.data(), 2);
    ch[2] = 'z';
    EXPECT_EQ(two, ScreenCrc32(ch.data(), at.data(), 2));
    EXPECT_EQ(ZlibCrc({'a', 'b'}, {7, 7}), two);
}

} // namespace
