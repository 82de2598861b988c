// The host's output services: where their text goes and in which encoding.
#include "host/hoststate.h"
#include "plugin/host.h"
#include "tests/support/glimtest.h"

#include <string>

namespace {

using glimtest::GlimTest;

using OutputTest = GlimTest;

TEST_F(OutputTest, PrintfFormatsOntoStandardOutput) {
    Printf(u"%s v%d.%d.%d loaded.\r\n", u"Glimpset", 1, 2, 0);
    EXPECT_EQ(sim::Stdout(), "Glimpset v1.2.0 loaded.\r\n");
    EXPECT_EQ(sim::Stderr(), "");
}

TEST_F(OutputTest, QprintfWritesOnTheHandleGiven) {
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), u"%s plugin: ", u"Glimpset");
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: ");
    EXPECT_EQ(sim::Stdout(), "");
}

TEST_F(OutputTest, QPutsWritesTheTextAsItIsWithoutALineEnd) {
    QPuts(u"100% %s\n");
    EXPECT_EQ(sim::Stdout(), "100% %s\n");
}

TEST_F(OutputTest, StandardOutputAndErrorKeepTheirOrder) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    Printf(u"a");
    Qprintf(err, u"b");
    QPuts(u"c");
    EXPECT_EQ(sim::Stdout(), "ac");
    EXPECT_EQ(sim::Stderr(), "b");
}

struct EncodingCase {
    const char *behaviour;
    std::u16string text;
    std::string bytes;
};

std::string TestName(const char *behaviour) {
    std::string name;
    for (const char *p = behaviour; *p; p++) {
        name += isalnum((unsigned char)*p) ? *p : '_';
    }
    return name;
}

const EncodingCase EncodingCases[] = {
    {"ASCII is one byte each", u"abc\r\n", "abc\r\n"},
    {"Latin-1 takes two bytes", u"Gr\u00FC\u00DFe",
     "Gr\xC3\xBC\xC3\x9F"
     "e"},
    {"the typographic apostrophe takes three bytes", u"Can\u2019t", "Can\xE2\x80\x99t"},
    {"a surrogate pair is one four-byte character", u"\U0001F600", "\xF0\x9F\x98\x80"},
    {"a lone high surrogate becomes U+FFFD", std::u16string(u"a") + (char16_t)0xD83D + u"b",
     "a\xEF\xBF\xBD"
     "b"},
    {"a lone low surrogate becomes U+FFFD", std::u16string(1, (char16_t)0xDE00), "\xEF\xBF\xBD"},
    {"a high surrogate at the end becomes U+FFFD", std::u16string(u"x") + (char16_t)0xD800,
     "x\xEF\xBF\xBD"},
};

class EncodingTest : public GlimTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(EncodingTest, RedirectedOutputIsUtf8) {
    const EncodingCase &c = GetParam();
    QPuts(c.text.c_str());
    EXPECT_EQ(sim::Stdout(), c.bytes);
    EXPECT_EQ(sim::CallCount("WriteConsoleW"), 0);
}

INSTANTIATE_TEST_SUITE_P(Texts, EncodingTest, ::testing::ValuesIn(EncodingCases),
                         [](const ::testing::TestParamInfo<EncodingCase> &info) {
                             return TestName(info.param.behaviour);
                         });

TEST_F(OutputTest, LongTextIsConvertedWhole) {
    // More bytes than one write takes, with characters of every length, so
    // that some fall on the boundaries between writes.
    std::u16string text;
    std::string bytes;
    for (int i = 0; i < 3000; i++) {
        text += u"a\u00E9\u2019\U0001F600";
        bytes += "a\xC3\xA9\xE2\x80\x99\xF0\x9F\x98\x80";
    }
    QPuts(text.c_str());
    EXPECT_EQ(sim::Stdout().size(), bytes.size());
    EXPECT_EQ(sim::Stdout(), bytes);
}

TEST_F(OutputTest, AConsoleGetsUtf16ThroughWriteConsole) {
    sim::SetStdIsConsole(true);
    Printf(u"%s\r\n", u"Gr\u00FC\u00DFe \U0001F600");
    EXPECT_EQ(sim::Stdout(), "Gr\xC3\xBC\xC3\x9F"
                             "e \xF0\x9F\x98\x80\r\n");
    EXPECT_GE(sim::CallCount("WriteConsoleW"), 1);
    EXPECT_EQ(sim::CallCount("WriteFile"), 0);
}

TEST_F(OutputTest, LongConsoleTextArrivesWhole) {
    sim::SetStdIsConsole(true);
    std::u16string text;
    std::string bytes;
    for (int i = 0; i < 5000; i++) {
        text += u"x\U0001F600";
        bytes += "x\xF0\x9F\x98\x80";
    }
    QPuts(text.c_str());
    EXPECT_EQ(sim::Stdout(), bytes);
}

TEST_F(OutputTest, AFailedWriteIsNotRetriedForever) {
    sim::FailAlways("WriteFile", ERROR_BROKEN_PIPE);
    EXPECT_EQ(Printf(u"lost"), 4);
    EXPECT_EQ(sim::Stdout(), "");
    EXPECT_EQ(sim::CallCount("WriteFile"), 1);
}

TEST_F(OutputTest, NullTextWritesNothing) {
    EXPECT_EQ(QPuts(nullptr), 0);
    EXPECT_EQ(sim::Stdout(), "");
}

TEST_F(OutputTest, PrintfOutputIsBoundAtTheHostsBufferSize) {
    Printf(u"%20000s", u"end");
    EXPECT_EQ(sim::Stdout().size(), 16383u);
}

// With buffering on, as glimhost runs: text for a file or a pipe waits in
// a buffer of its own, and the other handle's text goes out first.
class BufferedOutputTest : public GlimTest {
  protected:
    void TearDown() override {
        HostSetOutputBuffering(0);
        GlimTest::TearDown();
    }
};

TEST_F(BufferedOutputTest, RedirectedTextWaitsAndTheOtherHandleGoesFirst) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    HostSetOutputBuffering(1);
    struct Step {
        const char16_t *out, *err; // what is written, to one of the two
        const char *stdoutAfter, *stderrAfter;
    };
    const Step steps[] = {
        {u"a", nullptr, "", ""},    {u"b", nullptr, "", ""},    {nullptr, u"c", "ab", ""},
        {u"d", nullptr, "ab", "c"}, {u"e", nullptr, "ab", "c"},
    };
    for (const Step &step : steps) {
        if (step.out != nullptr) {
            QPuts(step.out);
        } else {
            Qprintf(err, step.err);
        }
        EXPECT_EQ(sim::Stdout(), step.stdoutAfter);
        EXPECT_EQ(sim::Stderr(), step.stderrAfter);
    }
    HostFlushOutput();
    EXPECT_EQ(sim::Stdout(), "abde");
    EXPECT_EQ(sim::CallCount("WriteFile"), 3);
    // Each handle's kind was learnt once.
    EXPECT_EQ(sim::CallCount("GetConsoleMode"), 2);
}

TEST_F(BufferedOutputTest, AFullBufferIsWrittenAndTheRestAtTheFlush) {
    HostSetOutputBuffering(1);
    std::string expected;
    for (int i = 0; i < 1000; i++) {
        Printf(u"%04d: the same line of a long report, 100 bytes with its line end ........\r\n",
               i);
        expected += std::string(4 - std::to_string(i).size(), '0') + std::to_string(i) +
                    ": the same line of a long report, 100 bytes with its line end ........\r\n";
    }
    EXPECT_EQ(sim::CallCount("WriteFile"), 1);
    EXPECT_LE(sim::Stdout().size(), 65536u);
    HostSetOutputBuffering(0);
    EXPECT_EQ(sim::CallCount("WriteFile"), 2);
    EXPECT_EQ(sim::Stdout(), expected);
}

TEST_F(BufferedOutputTest, AConsoleIsWrittenAtOnce) {
    sim::SetStdIsConsole(true);
    HostSetOutputBuffering(1);
    Printf(u"%s\r\n", u"Gr\u00FC\u00DFe");
    EXPECT_EQ(sim::Stdout(), "Gr\xC3\xBC\xC3\x9F"
                             "e\r\n");
    EXPECT_EQ(sim::CallCount("WriteConsoleW"), 1);
}

} // namespace
