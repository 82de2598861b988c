// Tests of the two cell-data readers: every token of the Glimpset stream,
// counts of 0, runs cut at the last cell, where reading stops, early ends
// and failed reads; SAVECON cell pairs from either start offset, with their
// normal early end.
#include "restore/decoder.h"

#include "format/glimformat.h"

#include <gtest/gtest.h>

#include <string.h>
#include <vector>

namespace {

const WORD SP = 0x0020;

struct Segment {
    WORD ch;
    WORD at;
    DWORD length;
};

struct Cells {
    std::vector<WORD> ch;
    std::vector<WORD> at;
};

Cells MakeCells(const std::vector<Segment> &segments) {
    Cells cells;
    for (const Segment &s : segments) {
        cells.ch.insert(cells.ch.end(), s.length, s.ch);
        cells.at.insert(cells.at.end(), s.length, s.at);
    }
    return cells;
}

std::vector<BYTE> ToBytes(const std::vector<WORD> &words) {
    std::vector<BYTE> bytes;
    for (WORD w : words) {
        bytes.push_back((BYTE)(w & 0xFF));
        bytes.push_back((BYTE)(w >> 8));
    }
    return bytes;
}

// A memory file that counts its block reads and may fail one of them.
struct Source {
    MemoryStream stream;
    int reads;
    int failAt;
};

BOOL SourceReader(void *context, void *buffer, DWORD capacity, DWORD *got) {
    Source *source = (Source *)context;
    int read = source->reads++;
    EXPECT_EQ((DWORD)READ_BUFFER_BYTES, capacity);
    if (read == source->failAt) {
        *got = 0;
        return FALSE;
    }
    return MemoryBlockReader(&source->stream, buffer, capacity, got);
}

struct Decoded {
    DecodeResult result;
    Cells cells;
    int reads;
    DWORD position; // bytes taken from the file
    DWORD next;     // words taken from the last refill
};

enum Format { GLIMPSET, SAVECON };

Decoded Decode(Format format, std::vector<BYTE> file, DWORD start, WORD attribute, DWORD count,
               int failAt = -1) {
    std::vector<BYTE> buffer(READ_BUFFER_BYTES);
    Source source = {{file.data(), (DWORD)file.size(), 0, start}, 0, failAt};
    WordReader reader = {buffer.data(), 0, 0, SourceReader, &source};
    Decoded d;
    d.cells.ch.assign(count, 0xDEAD);
    d.cells.at.assign(count, 0xDEAD);
    if (format == GLIMPSET) {
        d.result = DecodeGlimpset(&reader, attribute, d.cells.ch.data(), d.cells.at.data(), count);
    } else {
        d.result = DecodeSavecon(&reader, attribute, d.cells.ch.data(), d.cells.at.data(), count);
    }
    d.reads = source.reads;
    d.position = source.stream.position;
    d.next = reader.next;
    return d;
}

Decoded DecodeWords(const std::vector<WORD> &words, WORD attribute, DWORD count, int failAt = -1) {
    return Decode(GLIMPSET, ToBytes(words), 0, attribute, count, failAt);
}

struct TokenCase {
    const char *name;
    WORD headerAttribute;
    std::vector<WORD> words;
    std::vector<Segment> expected;
};

TEST(GlimpsetDecoder, ProducesTheCellsOfEveryToken) {
    const std::vector<TokenCase> cases = {
        {"plain characters", 0x07, {'a', 'b'}, {{'a', 7, 1}, {'b', 7, 1}}},
        {"run", 0x07, {0xFFF9, 3, 'q', 'z'}, {{'q', 7, 3}, {'z', 7, 1}}},
        {"spaces", 0x07, {0xFFFA, 3, 'z'}, {{SP, 7, 3}, {'z', 7, 1}}},
        {"literal of token words",
         0x07,
         {0xFFFB, 0xFFFD, 0xFFFB, 0xFFF9, 0xFFFB, 'a'},
         {{0xFFFD, 7, 1}, {0xFFF9, 7, 1}, {'a', 7, 1}}},
        {"attribute, all 16 bits",
         0x07,
         {0xFFFC, 0x8F1F, 'a', 'b'},
         {{'a', 0x8F1F, 1}, {'b', 0x8F1F, 1}}},
        {"attribute twice before a cell",
         0x07,
         {0xFFFC, 0x1F, 0xFFFC, 0x2E, 'a'},
         {{'a', 0x2E, 1}}},
        {"blank to the end from the start", 0x1F, {0xFFFD}, {{SP, 0x1F, 10}}},
        {"blank to the end after text", 0x07, {'a', 0xFFFD}, {{'a', 7, 1}, {SP, 7, 3}}},
        {"attribute 0x1F then blank to the end",
         0x07,
         {'a', 0xFFFC, 0x1F, 0xFFFD},
         {{'a', 7, 1}, {SP, 0x1F, 4}}},
        {"words of the escape range that are no tokens are characters",
         0x07,
         {0xFFF0, 0xFFF1, 0xFFF2, 0xFFF3, 0xFFF4, 0xFFF5, 0xFFF6, 0xFFF7, 0xFFF8, 0xFFFE, 0xFFFF},
         {{0xFFF0, 7, 1},
          {0xFFF1, 7, 1},
          {0xFFF2, 7, 1},
          {0xFFF3, 7, 1},
          {0xFFF4, 7, 1},
          {0xFFF5, 7, 1},
          {0xFFF6, 7, 1},
          {0xFFF7, 7, 1},
          {0xFFF8, 7, 1},
          {0xFFFE, 7, 1},
          {0xFFFF, 7, 1}}},
        {"a lone 0xFFFF", 0x07, {0xFFFF}, {{0xFFFF, 7, 1}}},
        {"run counted 0 is 65,536 cells",
         0x07,
         {0xFFF9, 0, 'q', 'z'},
         {{'q', 7, 65536}, {'z', 7, 1}}},
        {"spaces counted 0 are 65,536 cells",
         0x07,
         {0xFFFA, 0, 'z'},
         {{SP, 7, 65536}, {'z', 7, 1}}},
        {"run counted 0 cut at the last cell",
         0x07,
         {'a', 0xFFF9, 0, 'q'},
         {{'a', 7, 1}, {'q', 7, 9}}},
        {"run longer than the rest is cut",
         0x07,
         {'a', 0xFFF9, 10, 'q'},
         {{'a', 7, 1}, {'q', 7, 4}}},
        {"run one longer than the rest is cut",
         0x07,
         {'a', 0xFFF9, 5, 'q'},
         {{'a', 7, 1}, {'q', 7, 4}}},
        {"spaces longer than the rest are cut", 0x07, {'a', 0xFFFA, 10}, {{'a', 7, 1}, {SP, 7, 4}}},
        {"two runs counted 0 over 70,000 cells",
         0x07,
         {0xFFF9, 0, 'q', 0xFFFA, 0},
         {{'q', 7, 65536}, {SP, 7, 4464}}},
        {"the header attribute counts by its low byte", 0x1F07, {'a'}, {{'a', 0x07, 1}}},
    };
    for (const TokenCase &c : cases) {
        Cells expected = MakeCells(c.expected);
        Decoded d = DecodeWords(c.words, c.headerAttribute, (DWORD)expected.ch.size());
        EXPECT_EQ(DECODE_OK, d.result) << c.name;
        EXPECT_EQ(expected.ch, d.cells.ch) << c.name;
        EXPECT_EQ(expected.at, d.cells.at) << c.name;
    }
}

struct StopCase {
    const char *name;
    std::vector<WORD> words;
    DWORD count;
    DWORD wordsTaken;
};

TEST(GlimpsetDecoder, ReadsNothingAfterTheLastCell) {
    const std::vector<StopCase> cases = {
        {"surplus characters", {'a', 'b', 'c', 'd'}, 2, 2},
        {"surplus tokens", {'a', 'b', 0xFFF9, 0, 'x', 0xFFFD}, 2, 2},
        {"attribute token after the last cell", {'a', 'b', 0xFFFC, 0x1F}, 2, 2},
        {"words after blank to the end", {'a', 0xFFFD, 'x', 'y'}, 5, 2},
        {"words after a cut run", {0xFFF9, 50, 'q', 'x', 'y'}, 5, 3},
    };
    for (const StopCase &c : cases) {
        Decoded d = DecodeWords(c.words, 0x07, c.count);
        EXPECT_EQ(DECODE_OK, d.result) << c.name;
        EXPECT_EQ(c.wordsTaken, d.next) << c.name;
        EXPECT_EQ(1, d.reads) << c.name;
    }
}

TEST(GlimpsetDecoder, MakesNoRefillOnceTheScreenIsComplete) {
    // The last cell is the last word of the first block; a second block
    // waits in the file.
    std::vector<WORD> words(TOKEN_BUFFER_WORDS + 100, 'a');
    Decoded full = DecodeWords(words, 0x07, TOKEN_BUFFER_WORDS);
    EXPECT_EQ(DECODE_OK, full.result);
    EXPECT_EQ(1, full.reads);
    EXPECT_EQ((DWORD)READ_BUFFER_BYTES, full.position);

    words[TOKEN_BUFFER_WORDS - 1] = TOKEN_BLANK_TO_END;
    Decoded blank = DecodeWords(words, 0x07, 20000);
    EXPECT_EQ(DECODE_OK, blank.result);
    EXPECT_EQ(1, blank.reads);
    EXPECT_EQ(SP, blank.cells.ch[19999]);
}

TEST(GlimpsetDecoder, TakesOperandsAcrossARefill) {
    std::vector<WORD> words(TOKEN_BUFFER_WORDS - 1, 'a');
    words.insert(words.end(), {TOKEN_RUN, 5, 'q'});
    Decoded d = DecodeWords(words, 0x07, TOKEN_BUFFER_WORDS - 1 + 5);
    EXPECT_EQ(DECODE_OK, d.result);
    EXPECT_EQ(2, d.reads);
    EXPECT_EQ('q', d.cells.ch[TOKEN_BUFFER_WORDS - 1]);
    EXPECT_EQ('q', d.cells.ch[TOKEN_BUFFER_WORDS + 3]);
}

struct EarlyCase {
    const char *name;
    std::vector<WORD> words;
    DWORD count;
};

TEST(GlimpsetDecoder, ReportsAnEndBeforeTheLastCell) {
    const std::vector<EarlyCase> cases = {
        {"empty stream", {}, 1},
        {"one cell short", {'a', 'b'}, 3},
        {"run short of cells", {0xFFF9, 4, 'q'}, 5},
        {"run without its count", {'a', 0xFFF9}, 5},
        {"run without its character", {'a', 0xFFF9, 4}, 5},
        {"spaces without their count", {'a', 0xFFFA}, 5},
        {"literal without its character", {'a', 0xFFFB}, 5},
        {"attribute without its value", {'a', 0xFFFC}, 5},
        {"attribute with nothing after it", {'a', 0xFFFC, 0x1F}, 5},
    };
    for (const EarlyCase &c : cases) {
        EXPECT_EQ(DECODE_EARLY_END, DecodeWords(c.words, 0x07, c.count).result) << c.name;
    }
}

TEST(GlimpsetDecoder, IgnoresAnOddTrailingByte) {
    std::vector<BYTE> bytes = ToBytes({'a', 'b'});
    bytes.push_back('c');
    Decoded shortOne = Decode(GLIMPSET, bytes, 0, 0x07, 3);
    EXPECT_EQ(DECODE_EARLY_END, shortOne.result);
    Decoded enough = Decode(GLIMPSET, bytes, 0, 0x07, 2);
    EXPECT_EQ(DECODE_OK, enough.result);
    EXPECT_EQ(std::vector<WORD>({'a', 'b'}), enough.cells.ch);
}

TEST(GlimpsetDecoder, ReportsAFailedRead) {
    EXPECT_EQ(DECODE_FAILED, DecodeWords({'a', 'b'}, 0x07, 2, 0).result);
    std::vector<WORD> words(TOKEN_BUFFER_WORDS + 10, 'a');
    Decoded later = DecodeWords(words, 0x07, TOKEN_BUFFER_WORDS + 10, 1);
    EXPECT_EQ(DECODE_FAILED, later.result);
    EXPECT_EQ(2, later.reads);
}

// A SAVECON file: 24 bytes of header (22 x 8 cells, window 22 x 5), then,
// for a late start, filler up to byte 832, then the cell pairs.
const WORD SAVECON_COLUMNS = 22;
const WORD SAVECON_ROWS = 8;
const WORD SAVECON_ATTRIBUTE = 0x1E;

std::vector<BYTE> SaveconFile(bool lateStart, DWORD pairs, bool trailingCharacter) {
    std::vector<WORD> header = {
        SAVECON_COLUMNS, SAVECON_ROWS, 3, 4, SAVECON_ATTRIBUTE, 0, 0, 21, 4, 22, 8};
    std::vector<WORD> cells;
    for (DWORD i = 0; i < pairs; i++) {
        cells.push_back((WORD)('A' + i % 26));
        cells.push_back((WORD)(0x0100 + i));
    }
    if (trailingCharacter) {
        cells.push_back('!');
    }
    std::vector<BYTE> file = ToBytes(header);
    if (lateStart) {
        file.push_back(0);
        file.push_back(0);
        file.resize(SAVECON_LATE_START, 0xEE);
    }
    std::vector<BYTE> data = ToBytes(cells);
    file.insert(file.end(), data.begin(), data.end());
    if (file.size() < HEADER_SIZE) {
        file.resize(HEADER_SIZE, 0); // a reader always finds the 80 header bytes
    }
    return file;
}

struct SaveconCase {
    const char *name;
    bool lateStart;
    DWORD pairs;
    bool trailingCharacter;
};

TEST(SaveconDecoder, ReadsPairsFromTheStartTheSelectorGives) {
    const DWORD count = SAVECON_COLUMNS * SAVECON_ROWS;
    const std::vector<SaveconCase> cases = {
        {"from byte 22, complete", false, count, false},
        {"from byte 832, complete", true, count, false},
        {"from byte 22, stopping after a character", false, 30, true},
        {"from byte 832, stopping after a character", true, 30, true},
        {"from byte 832, stopping between cells", true, 30, false},
        {"from byte 832, no cells at all", true, 0, false},
        {"from byte 832, the first character alone", true, 0, true},
    };
    for (const SaveconCase &c : cases) {
        std::vector<BYTE> file = SaveconFile(c.lateStart, c.pairs, c.trailingCharacter);
        if (!c.lateStart && c.pairs + c.trailingCharacter >= 1) {
            ASSERT_NE(0, file[22] | file[23]) << c.name;
        }
        ASSERT_EQ(HEADER_SAVECON, ClassifyHeader(file.data())) << c.name;
        SavedScreen saved;
        ReadSavedScreen(file.data(), HEADER_SAVECON, &saved);
        ASSERT_EQ(c.lateStart ? 832u : 22u, saved.dataOffset) << c.name;
        Decoded d = Decode(SAVECON, file, saved.dataOffset, saved.attribute, count);
        EXPECT_EQ(DECODE_OK, d.result) << c.name;
        for (DWORD i = 0; i < count; i++) {
            WORD ch = SP;
            WORD at = SAVECON_ATTRIBUTE;
            if (i < c.pairs) {
                ch = (WORD)('A' + i % 26);
                at = (WORD)(0x0100 + i);
            } else if (i == c.pairs && c.trailingCharacter) {
                ch = '!';
            }
            ASSERT_EQ(ch, d.cells.ch[i]) << c.name << " cell " << i;
            ASSERT_EQ(at, d.cells.at[i]) << c.name << " cell " << i;
        }
    }
}

TEST(SaveconDecoder, AnEightyByteFileFromByte832IsAllBlank) {
    std::vector<BYTE> file(HEADER_SIZE, 0);
    std::vector<BYTE> header =
        ToBytes({SAVECON_COLUMNS, SAVECON_ROWS, 0, 0, 0x4F, 0, 0, 21, 4, 22, 8, 0});
    memcpy(file.data(), header.data(), header.size());
    ASSERT_EQ(HEADER_SAVECON, ClassifyHeader(file.data()));
    SavedScreen saved;
    ReadSavedScreen(file.data(), HEADER_SAVECON, &saved);
    ASSERT_EQ(832u, saved.dataOffset);
    Decoded d = Decode(SAVECON, file, saved.dataOffset, saved.attribute, 22 * 8);
    EXPECT_EQ(DECODE_OK, d.result);
    Cells blank = MakeCells({{SP, 0x4F, 22 * 8}});
    EXPECT_EQ(blank.ch, d.cells.ch);
    EXPECT_EQ(blank.at, d.cells.at);
}

TEST(SaveconDecoder, ReadsNothingAfterTheLastCell) {
    // 4,096 cells fill exactly one block; more pairs follow in the file.
    std::vector<WORD> pairs;
    for (int i = 0; i < 5000; i++) {
        pairs.push_back('x');
        pairs.push_back(0x07);
    }
    Decoded d = Decode(SAVECON, ToBytes(pairs), 0, 0x1E, 4096);
    EXPECT_EQ(DECODE_OK, d.result);
    EXPECT_EQ(1, d.reads);
    Decoded few = Decode(SAVECON, ToBytes(pairs), 0, 0x1E, 3);
    EXPECT_EQ(DECODE_OK, few.result);
    EXPECT_EQ(6u, few.next);
}

TEST(SaveconDecoder, ReportsAFailedRead) {
    std::vector<WORD> pairs(2 * 5000, 'x');
    EXPECT_EQ(DECODE_FAILED, Decode(SAVECON, ToBytes(pairs), 0, 0x1E, 5000, 0).result);
    EXPECT_EQ(DECODE_FAILED, Decode(SAVECON, ToBytes(pairs), 0, 0x1E, 5000, 1).result);
}

} // namespace
