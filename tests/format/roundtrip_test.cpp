// Property test of the codec: random screens of runs, blanks, every escape
// value and many attributes, encoded and decoded through memory, come back
// cell for cell with the same checksum.
#include "format/glimformat.h"
#include "restore/decoder.h"
#include "save/encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Screen {
    DWORD columns;
    DWORD rows;
    std::vector<WORD> ch;
    std::vector<WORD> at;
};

const WORD ATTRIBUTES[] = {0x07, 0x07, 0x07, 0x1F, 0x0E, 0x70, 0x8007, 0x4007, 0xC01E, 0x0107};

Screen RandomScreen(std::mt19937 &random) {
    const DWORD widths[] = {22, 80, 120, 133, 512};
    Screen s;
    s.columns = widths[random() % 5];
    s.rows = 8 + random() % 60;
    if (random() % 10 == 0) {
        s.rows = 150 + random() % 100; // room for runs over 65,536 cells
    }
    DWORD count = s.columns * s.rows;
    DWORD blankTail = random() % 3 == 0 ? 0 : (DWORD)(random() % count);
    WORD at = ATTRIBUTES[random() % 10];
    while (s.ch.size() < count - blankTail) {
        if (random() % 4 == 0) {
            at = random() % 8 == 0 ? (WORD)random() : ATTRIBUTES[random() % 10];
        }
        DWORD length = 1;
        WORD ch = (WORD)('!' + random() % 94);
        switch (random() % 8) {
        case 0: // a run of spaces
            ch = 0x20;
            length = 1 + random() % 100;
            break;
        case 1: // a run of one character
            length = 1 + random() % 10;
            break;
        case 2: // an escape value, alone or repeated
            ch = (WORD)(0xFFF0 + random() % 16);
            length = 1 + random() % 6;
            break;
        case 3: // a very long run
            ch = random() % 2 ? 0x20 : (WORD)'=';
            length = random() % 70000;
            break;
        case 4: // any 16-bit character
            ch = (WORD)random();
            break;
        default: // text
            length = 1 + random() % 40;
            for (DWORD i = 0; i < length && s.ch.size() < count; i++) {
                s.ch.push_back((WORD)('a' + random() % 26));
                s.at.push_back(at);
            }
            continue;
        }
        for (DWORD i = 0; i < length && s.ch.size() < count; i++) {
            s.ch.push_back(ch);
            s.at.push_back(at);
        }
    }
    WORD tailAttribute = random() % 2 ? at : ATTRIBUTES[random() % 10];
    while (s.ch.size() < count) {
        s.ch.push_back(0x20);
        s.at.push_back(tailAttribute);
    }
    return s;
}

TEST(Codec, RandomScreensSurviveEncodingAndDecoding) {
    std::mt19937 random(1234567);
    for (int n = 0; n < 300; n++) {
        Screen s = RandomScreen(random);
        DWORD count = s.columns * s.rows;
        WORD headerAttribute = (WORD)(random() & 0xFF);
        DWORD crc = ScreenCrc32(s.ch.data(), s.at.data(), count);

        // At worst a cell takes four words: attribute, value, literal, character.
        std::vector<BYTE> file(8 * count + 2);
        MemoryStream out = {file.data(), 0, (DWORD)file.size(), 0};
        std::vector<WORD> tokens(TOKEN_BUFFER_WORDS);
        TokenBuffer buffer = {tokens.data(), 0, MemoryBlockWriter, &out};
        ASSERT_EQ(0, EncodeScreen(s.ch.data(), s.at.data(), count, headerAttribute, &buffer));
        ASSERT_EQ(0, FlushTokens(&buffer));

        MemoryStream in = {file.data(), out.size, 0, 0};
        std::vector<BYTE> readBuffer(READ_BUFFER_BYTES);
        WordReader reader = {readBuffer.data(), 0, 0, MemoryBlockReader, &in};
        std::vector<WORD> ch(count, 0xDEAD);
        std::vector<WORD> at(count, 0xDEAD);
        ASSERT_EQ(DECODE_OK, DecodeGlimpset(&reader, headerAttribute, ch.data(), at.data(), count))
            << "screen " << n;
        ASSERT_EQ(s.ch, ch) << "screen " << n;
        ASSERT_EQ(s.at, at) << "screen " << n;
        EXPECT_EQ(crc, ScreenCrc32(ch.data(), at.data(), count)) << "screen " << n;
        // The whole stream is needed: one word less is not a screen.
        in.position = 0;
        in.size = out.size - 2;
        reader.words = 0;
        reader.next = 0;
        EXPECT_EQ(DECODE_EARLY_END,
                  DecodeGlimpset(&reader, headerAttribute, ch.data(), at.data(), count))
            << "screen " << n;
    }
}

} // namespace
