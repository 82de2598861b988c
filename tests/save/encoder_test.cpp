// Tests of the token stream encoder and MeasureRun: the tokens chosen for
// runs, blanks, attributes and escape values, the block-wise output, and the
// equivalence of the one-pass encoder with the cell-by-cell rules.
#include "save/encoder.h"

#include "format/glimformat.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Segment {
    WORD ch;
    WORD at;
    DWORD length;
};

struct Screen {
    std::vector<WORD> ch;
    std::vector<WORD> at;
};

Screen MakeScreen(const std::vector<Segment> &segments) {
    Screen screen;
    for (const Segment &s : segments) {
        screen.ch.insert(screen.ch.end(), s.length, s.ch);
        screen.at.insert(screen.at.end(), s.length, s.at);
    }
    return screen;
}

// Collects what the encoder writes; optionally fails the n-th block write.
struct Sink {
    std::vector<BYTE> bytes;
    std::vector<DWORD> writes;
    int failAt = -1;
};

BOOL SinkWriter(void *context, const void *data, DWORD size) {
    Sink *sink = (Sink *)context;
    sink->writes.push_back(size);
    if ((int)sink->writes.size() - 1 == sink->failAt) {
        return FALSE;
    }
    const BYTE *bytes = (const BYTE *)data;
    sink->bytes.insert(sink->bytes.end(), bytes, bytes + size);
    return TRUE;
}

std::vector<WORD> ToWords(const std::vector<BYTE> &bytes) {
    std::vector<WORD> words;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        words.push_back((WORD)(bytes[i] | (bytes[i + 1] << 8)));
    }
    return words;
}

// Encodes and flushes; returns the words of the stream.
std::vector<WORD> Encode(const Screen &screen, WORD headerAttribute, int *result = nullptr) {
    std::vector<WORD> buffer(TOKEN_BUFFER_WORDS);
    Sink sink;
    TokenBuffer out = {buffer.data(), 0, SinkWriter, &sink};
    int r = EncodeScreen(screen.ch.data(), screen.at.data(), (DWORD)screen.ch.size(),
                         headerAttribute, &out);
    if (r == 0) {
        r = FlushTokens(&out);
    }
    if (result != nullptr) {
        *result = r;
    }
    return ToWords(sink.bytes);
}

const WORD SP = 0x0020;

TEST(Encoder, WorkedExampleGivesTheDocumentedBytes) {
    Screen screen = MakeScreen(
        {{'A', 0x07, 5}, {'B', 0x1F, 1}, {SP, 0x07, 3}, {'x', 0x07, 2}, {SP, 0x07, 80 * 25 - 11}});
    std::vector<WORD> buffer(TOKEN_BUFFER_WORDS);
    Sink sink;
    TokenBuffer out = {buffer.data(), 0, SinkWriter, &sink};
    ASSERT_EQ(
        0, EncodeScreen(screen.ch.data(), screen.at.data(), (DWORD)screen.ch.size(), 0x07, &out));
    ASSERT_EQ(0, FlushTokens(&out));
    const std::vector<BYTE> expected = {0xF9, 0xFF, 0x05, 0x00, 0x41, 0x00, 0xFC, 0xFF, 0x1F,
                                        0x00, 0x42, 0x00, 0xFC, 0xFF, 0x07, 0x00, 0xFA, 0xFF,
                                        0x03, 0x00, 0x78, 0x00, 0x78, 0x00, 0xFD, 0xFF};
    EXPECT_EQ(expected, sink.bytes);
}

struct EncodeCase {
    const char *name;
    WORD headerAttribute;
    std::vector<Segment> segments;
    std::vector<WORD> expected;
};

TEST(Encoder, ChoosesTokensForRunsBlanksAndAttributes) {
    const std::vector<EncodeCase> cases = {
        {"blank screen in the header attribute", 0x07, {{SP, 0x07, 2000}}, {0xFFFD}},
        {"blank screen in another attribute", 0x07, {{SP, 0x1F, 2000}}, {0xFFFC, 0x1F, 0xFFFD}},
        {"single trailing space is plain", 0x07, {{'a', 0x07, 1}, {SP, 0x07, 1}}, {'a', SP}},
        {"two trailing spaces blank to the end",
         0x07,
         {{'a', 0x07, 1}, {SP, 0x07, 2}},
         {'a', 0xFFFD}},
        {"trailing spaces in a new attribute",
         0x07,
         {{'a', 0x07, 1}, {SP, 0x70, 5}},
         {'a', 0xFFFC, 0x70, 0xFFFD}},
        {"two equal characters one by one",
         0x07,
         {{'q', 0x07, 2}, {'z', 0x07, 1}},
         {'q', 'q', 'z'}},
        {"three equal characters one by one",
         0x07,
         {{'q', 0x07, 3}, {'z', 0x07, 1}},
         {'q', 'q', 'q', 'z'}},
        {"four equal characters become a run",
         0x07,
         {{'q', 0x07, 4}, {'z', 0x07, 1}},
         {0xFFF9, 4, 'q', 'z'}},
        {"two spaces one by one", 0x07, {{SP, 0x07, 2}, {'z', 0x07, 1}}, {SP, SP, 'z'}},
        {"three spaces become a spaces token",
         0x07,
         {{SP, 0x07, 3}, {'z', 0x07, 1}},
         {0xFFFA, 3, 'z'}},
        {"a run ending at the last cell is a run",
         0x07,
         {{'z', 0x07, 1}, {'q', 0x07, 9}},
         {'z', 0xFFF9, 9, 'q'}},
        {"equal characters in different attributes are no run",
         0x07,
         {{'q', 0x07, 2}, {'q', 0x1F, 2}, {'z', 0x1F, 1}},
         {'q', 'q', 0xFFFC, 0x1F, 'q', 'q', 'z'}},
        {"65,536 equal cells are one run counted 0",
         0x07,
         {{'q', 0x07, 65536}, {'z', 0x07, 1}},
         {0xFFF9, 0, 'q', 'z'}},
        {"65,537 equal cells are a run and a single cell",
         0x07,
         {{'q', 0x07, 65537}, {'z', 0x07, 1}},
         {0xFFF9, 0, 'q', 'q', 'z'}},
        {"65,538 equal cells leave two single cells",
         0x07,
         {{'q', 0x07, 65538}, {'z', 0x07, 1}},
         {0xFFF9, 0, 'q', 'q', 'q', 'z'}},
        {"65,540 equal cells are two runs",
         0x07,
         {{'q', 0x07, 65540}, {'z', 0x07, 1}},
         {0xFFF9, 0, 'q', 0xFFF9, 4, 'q', 'z'}},
        {"70,000 spaces before text are two spaces tokens",
         0x07,
         {{SP, 0x07, 70000}, {'z', 0x07, 1}},
         {0xFFFA, 0, 0xFFFA, 4464, 'z'}},
        {"65,538 spaces before text leave two single spaces",
         0x07,
         {{SP, 0x07, 65538}, {'z', 0x07, 1}},
         {0xFFFA, 0, SP, SP, 'z'}},
        {"70,000 spaces to the end blank to the end",
         0x07,
         {{'z', 0x07, 1}, {SP, 0x07, 70000}},
         {'z', 0xFFFD}},
        {"run of an escape value is not escaped",
         0x07,
         {{0xFFFD, 0x07, 5}, {'z', 0x07, 1}},
         {0xFFF9, 5, 0xFFFD, 'z'}},
        {"short run of an escape value is escaped cell by cell",
         0x07,
         {{0xFFFF, 0x07, 2}, {'z', 0x07, 1}},
         {0xFFFB, 0xFFFF, 0xFFFB, 0xFFFF, 'z'}},
        {"character below the escape range is plain",
         0x07,
         {{0xFFEF, 0x07, 1}, {'z', 0x07, 1}},
         {0xFFEF, 'z'}},
        {"high-byte flags need an attribute token",
         0x07,
         {{'a', 0x8007, 1}, {'b', 0x07, 1}},
         {0xFFFC, 0x8007, 'a', 0xFFFC, 0x07, 'b'}},
        {"the header attribute counts by its low byte",
         0x1F07,
         {{'a', 0x07, 1}, {'b', 0x07, 1}},
         {'a', 'b'}},
        {"no cells give no words", 0x07, {}, {}},
        {"one space alone is plain", 0x07, {{SP, 0x07, 1}}, {SP}},
        {"one space alone in another attribute", 0x07, {{SP, 0x1F, 1}}, {0xFFFC, 0x1F, SP}},
    };
    for (const EncodeCase &c : cases) {
        int result = -1;
        std::vector<WORD> words = Encode(MakeScreen(c.segments), c.headerAttribute, &result);
        EXPECT_EQ(0, result) << c.name;
        EXPECT_EQ(c.expected, words) << c.name;
    }
}

TEST(Encoder, EscapesEveryLoneCharacterFromFFF0) {
    for (DWORD ch = 0xFFF0; ch <= 0xFFFF; ch++) {
        std::vector<WORD> words =
            Encode(MakeScreen({{'a', 0x07, 1}, {(WORD)ch, 0x07, 1}, {'b', 0x07, 1}}), 0x07);
        std::vector<WORD> expected = {'a', 0xFFFB, (WORD)ch, 'b'};
        EXPECT_EQ(expected, words) << std::hex << ch;
    }
}

struct MeasureCase {
    const char *name;
    std::vector<Segment> segments;
    DWORD start;
    int expected;
};

TEST(MeasureRun, GivesTheRunLengthOrMinusOneForBlanksToTheEnd) {
    const std::vector<MeasureCase> cases = {
        {"single cell", {{'a', 7, 1}, {'b', 7, 1}}, 0, 1},
        {"run stops at another character", {{'a', 7, 3}, {'b', 7, 1}}, 0, 3},
        {"run stops at another attribute", {{'a', 7, 3}, {'a', 8, 1}}, 0, 3},
        {"run from the middle", {{'a', 7, 5}, {'b', 7, 1}}, 2, 3},
        {"non-space run to the end is counted", {{'b', 7, 1}, {'a', 7, 6}}, 1, 6},
        {"spaces to the end", {{'b', 7, 1}, {SP, 7, 6}}, 1, -1},
        {"one space at the last cell", {{'b', 7, 1}, {SP, 7, 1}}, 1, -1},
        {"spaces not to the end", {{SP, 7, 6}, {'b', 7, 1}}, 0, 6},
        {"spaces ending in another attribute", {{SP, 7, 6}, {SP, 1, 1}}, 0, 6},
        {"long run is capped", {{'a', 7, 70000}, {'b', 7, 1}}, 0, 65536},
        {"exactly 65,536", {{'a', 7, 65536}, {'b', 7, 1}}, 0, 65536},
        {"long spaces are capped", {{SP, 7, 70000}, {'b', 7, 1}}, 0, 65536},
        {"long spaces to the end", {{'b', 7, 1}, {SP, 7, 70000}}, 1, -1},
        {"long spaces to the end from inside", {{SP, 7, 70000}}, 3, -1},
    };
    for (const MeasureCase &c : cases) {
        Screen s = MakeScreen(c.segments);
        EXPECT_EQ(c.expected, MeasureRun(s.ch.data(), s.at.data(), (DWORD)s.ch.size(), c.start))
            << c.name;
    }
}

TEST(Encoder, WritesFullBlocksAndLeavesTheRestForTheFlush) {
    // 10,000 alternating cells are 10,000 plain words: one block of 8,192
    // words goes out while encoding; 1,808 stay in the buffer.
    Screen screen;
    for (int i = 0; i < 10000; i++) {
        screen.ch.push_back(i % 2 ? 'a' : 'b');
        screen.at.push_back(0x07);
    }
    std::vector<WORD> buffer(TOKEN_BUFFER_WORDS);
    Sink sink;
    TokenBuffer out = {buffer.data(), 0, SinkWriter, &sink};
    ASSERT_EQ(0, EncodeScreen(screen.ch.data(), screen.at.data(), 10000, 0x07, &out));
    EXPECT_EQ(std::vector<DWORD>({16384}), sink.writes);
    EXPECT_EQ(1808u, out.fill);
    ASSERT_EQ(0, FlushTokens(&out));
    EXPECT_EQ(std::vector<DWORD>({16384, 3616}), sink.writes);
    EXPECT_EQ(screen.ch, ToWords(sink.bytes));
}

TEST(Encoder, StopsAtTheFirstFailingBlockWrite) {
    Screen screen;
    for (int i = 0; i < 30000; i++) {
        screen.ch.push_back(i % 2 ? 'a' : 'b');
        screen.at.push_back(0x07);
    }
    std::vector<WORD> buffer(TOKEN_BUFFER_WORDS);
    Sink sink;
    sink.failAt = 1;
    TokenBuffer out = {buffer.data(), 0, SinkWriter, &sink};
    EXPECT_EQ(2, EncodeScreen(screen.ch.data(), screen.at.data(), 30000, 0x07, &out));
    EXPECT_EQ(std::vector<DWORD>({16384, 16384}), sink.writes);
}

// The encoder as its rules state it, measuring at every cell where a run
// may begin: the reference for the one-pass encoder.
std::vector<WORD> ReferenceEncode(const Screen &s, WORD headerAttribute) {
    std::vector<WORD> words;
    DWORD count = (DWORD)s.ch.size();
    WORD current = headerAttribute & 0xFF;
    DWORD i = 0;
    while (i < count) {
        if (s.at[i] != current) {
            words.push_back(0xFFFC);
            words.push_back(s.at[i]);
            current = s.at[i];
        }
        WORD ch = s.ch[i];
        if (i + 1 < count && s.ch[i + 1] == ch && s.at[i + 1] == s.at[i]) {
            int r = MeasureRun(s.ch.data(), s.at.data(), count, i);
            if (r == -1) {
                words.push_back(0xFFFD);
                return words;
            }
            if (ch == SP && r >= 3) {
                words.push_back(0xFFFA);
                words.push_back((WORD)r);
                i += r;
                continue;
            }
            if (ch != SP && r >= 4) {
                words.push_back(0xFFF9);
                words.push_back((WORD)r);
                words.push_back(ch);
                i += r;
                continue;
            }
        }
        if (ch >= 0xFFF0) {
            words.push_back(0xFFFB);
        }
        words.push_back(ch);
        i++;
    }
    return words;
}

TEST(Encoder, MatchesMeasuringAtEveryCellOnRandomScreens) {
    std::mt19937 random(20240611);
    const WORD characters[] = {SP, SP, SP, 'a', 'b', 0xFFF9, 0xFFFD, 0xFFFF};
    const WORD attributes[] = {0x07, 0x07, 0x1F, 0x8007};
    const DWORD lengths[] = {1, 2, 3, 4, 5, 65535, 65536, 65537, 65538, 65539, 70000};
    for (int n = 0; n < 60; n++) {
        std::vector<Segment> segments;
        int parts = 1 + (int)(random() % 8);
        for (int p = 0; p < parts; p++) {
            segments.push_back({characters[random() % 8], attributes[random() % 4],
                                random() % 3 ? 1 + (DWORD)(random() % 6) : lengths[random() % 11]});
        }
        Screen screen = MakeScreen(segments);
        EXPECT_EQ(ReferenceEncode(screen, 0x07), Encode(screen, 0x07)) << "screen " << n;
    }
}

} // namespace
