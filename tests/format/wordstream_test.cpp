// Tests of the block-wise word transport: blocks of 16,384 bytes out,
// refills of the whole buffer in, little-endian words, odd bytes and ends,
// and the memory block functions.
#include "format/wordstream.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Sink {
    std::vector<BYTE> bytes;
    std::vector<DWORD> writes;
    bool fail = false;
};

BOOL SinkWriter(void *context, const void *data, DWORD size) {
    Sink *sink = (Sink *)context;
    sink->writes.push_back(size);
    if (sink->fail) {
        return FALSE;
    }
    const BYTE *b = (const BYTE *)data;
    sink->bytes.insert(sink->bytes.end(), b, b + size);
    return TRUE;
}

struct PutCase {
    const char *name;
    DWORD words;
    std::vector<DWORD> writesBeforeFlush;
    std::vector<DWORD> writesAfterFlush;
};

TEST(TokenBuffer, WritesFullBlocksThenTheRemainder) {
    const std::vector<PutCase> cases = {
        {"no words", 0, {}, {}},
        {"one word", 1, {}, {2}},
        {"exactly one block stays until the flush", 8192, {}, {16384}},
        {"one word past a block", 8193, {16384}, {16384, 2}},
        {"two blocks and a bit", 20000, {16384, 16384}, {16384, 16384, 7232}},
        {"exactly two blocks", 16384, {16384}, {16384, 16384}},
    };
    for (const PutCase &c : cases) {
        std::vector<WORD> words(TOKEN_BUFFER_WORDS);
        Sink sink;
        TokenBuffer out = {words.data(), 0, SinkWriter, &sink};
        for (DWORD i = 0; i < c.words; i++) {
            ASSERT_EQ(0, PutToken((WORD)(i * 7 + 0x1234), &out)) << c.name;
        }
        EXPECT_EQ(c.writesBeforeFlush, sink.writes) << c.name;
        EXPECT_EQ(0, FlushTokens(&out)) << c.name;
        EXPECT_EQ(c.writesAfterFlush, sink.writes) << c.name;
        ASSERT_EQ(2 * c.words, sink.bytes.size()) << c.name;
        for (DWORD i = 0; i < c.words; i++) {
            WORD w = (WORD)(i * 7 + 0x1234);
            ASSERT_EQ(w & 0xFF, sink.bytes[2 * i]) << c.name;
            ASSERT_EQ(w >> 8, sink.bytes[2 * i + 1]) << c.name;
        }
    }
}

TEST(TokenBuffer, AFailedBlockWriteStoresNothing) {
    std::vector<WORD> words(TOKEN_BUFFER_WORDS);
    Sink sink;
    TokenBuffer out = {words.data(), 0, SinkWriter, &sink};
    for (DWORD i = 0; i < TOKEN_BUFFER_WORDS; i++) {
        ASSERT_EQ(0, PutToken('a', &out));
    }
    sink.fail = true;
    EXPECT_EQ(2, PutToken('b', &out));
    EXPECT_EQ(std::vector<DWORD>({16384}), sink.writes);
    EXPECT_EQ(0u, out.fill);
    // The failed block is not written again by a flush.
    EXPECT_EQ(0, FlushTokens(&out));
    EXPECT_EQ(1u, sink.writes.size());
}

TEST(TokenBuffer, AFailedFlushIsReported) {
    std::vector<WORD> words(TOKEN_BUFFER_WORDS);
    Sink sink;
    sink.fail = true;
    TokenBuffer out = {words.data(), 0, SinkWriter, &sink};
    ASSERT_EQ(0, PutToken('a', &out));
    EXPECT_EQ(2, FlushTokens(&out));
}

// Hands out the refills of a script, one per read, and records each
// read's capacity.
struct Script {
    std::vector<std::vector<BYTE>> refills;
    size_t reads = 0;
    std::vector<DWORD> capacities;
    int failAt = -1;
};

BOOL ScriptReader(void *context, void *buffer, DWORD capacity, DWORD *got) {
    Script *script = (Script *)context;
    size_t read = script->reads++;
    script->capacities.push_back(capacity);
    *got = 0;
    if ((int)read == script->failAt) {
        return FALSE;
    }
    if (read < script->refills.size()) {
        const std::vector<BYTE> &r = script->refills[read];
        std::copy(r.begin(), r.end(), (BYTE *)buffer);
        *got = (DWORD)r.size();
    }
    return TRUE;
}

struct ReadCase {
    const char *name;
    std::vector<std::vector<BYTE>> refills;
    int failAt;
    std::vector<WORD> words;
    WordResult last;
};

TEST(WordReader, TakesLittleEndianWordsFromWholeBufferRefills) {
    const std::vector<ReadCase> cases = {
        {"empty", {}, -1, {}, WORD_END},
        {"two words", {{0x34, 0x12, 0xFD, 0xFF}}, -1, {0x1234, 0xFFFD}, WORD_END},
        {"words over two refills", {{1, 0, 2, 0}, {3, 0}}, -1, {1, 2, 3}, WORD_END},
        {"odd trailing byte dropped", {{1, 0, 2, 0, 9}}, -1, {1, 2}, WORD_END},
        {"a one-byte refill is the end", {{1, 0}, {9}, {3, 0}}, -1, {1}, WORD_END},
        {"failing first read", {{1, 0}}, 0, {}, WORD_FAILED},
        {"failing refill", {{1, 0}, {2, 0}}, 1, {1}, WORD_FAILED},
    };
    for (const ReadCase &c : cases) {
        std::vector<BYTE> buffer(READ_BUFFER_BYTES);
        Script script;
        script.refills = c.refills;
        script.failAt = c.failAt;
        WordReader reader = {buffer.data(), 0, 0, ScriptReader, &script};
        std::vector<WORD> words;
        WORD w = 0;
        WordResult r;
        while ((r = ReadWord(&reader, &w)) == WORD_OK) {
            words.push_back(w);
        }
        EXPECT_EQ(c.words, words) << c.name;
        EXPECT_EQ(c.last, r) << c.name;
        for (DWORD capacity : script.capacities) {
            EXPECT_EQ((DWORD)READ_BUFFER_BYTES, capacity) << c.name;
        }
    }
}

TEST(WordReader, RefillsOnlyWhenTheBufferIsUsedUp) {
    std::vector<BYTE> data(READ_BUFFER_BYTES + 4, 0x11);
    MemoryStream stream = {data.data(), (DWORD)data.size(), 0, 0};
    std::vector<BYTE> buffer(READ_BUFFER_BYTES);
    WordReader reader = {buffer.data(), 0, 0, MemoryBlockReader, &stream};
    WORD w = 0;
    for (DWORD i = 0; i < READ_BUFFER_BYTES / 2; i++) {
        ASSERT_EQ(WORD_OK, ReadWord(&reader, &w));
    }
    EXPECT_EQ((DWORD)READ_BUFFER_BYTES, stream.position);
    ASSERT_EQ(WORD_OK, ReadWord(&reader, &w));
    EXPECT_EQ(data.size(), stream.position);
    EXPECT_EQ(0x1111, w);
}

TEST(MemoryStream, WritesWithinItsCapacityAndReadsFromItsPosition) {
    BYTE storage[6] = {0};
    MemoryStream out = {storage, 0, 6, 0};
    const BYTE four[] = {1, 2, 3, 4};
    EXPECT_TRUE(MemoryBlockWriter(&out, four, 4));
    EXPECT_FALSE(MemoryBlockWriter(&out, four, 4));
    EXPECT_EQ(4u, out.size);
    EXPECT_TRUE(MemoryBlockWriter(&out, four, 2));
    EXPECT_EQ(6u, out.size);

    MemoryStream in = {storage, 6, 0, 1};
    BYTE got[8] = {0};
    DWORD n = 99;
    EXPECT_TRUE(MemoryBlockReader(&in, got, 3, &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(2, got[0]);
    EXPECT_TRUE(MemoryBlockReader(&in, got, 8, &n));
    EXPECT_EQ(2u, n);
    EXPECT_TRUE(MemoryBlockReader(&in, got, 8, &n));
    EXPECT_EQ(0u, n);
    MemoryStream past = {storage, 6, 0, 50};
    EXPECT_TRUE(MemoryBlockReader(&past, got, 8, &n));
    EXPECT_EQ(0u, n);
}

} // namespace
