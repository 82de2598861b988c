// The host's formatter (HostFormatV) and Sprintf, which the plugin's
// messages and the simulated wsprintfW rest on.
#include "host/hostformat.h"
#include "plugin/host.h"
#include "tests/support/glimtest.h"

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using glimtest::GlimTest;

std::string TestName(const char *behaviour) {
    std::string name;
    for (const char *p = behaviour; *p; p++) {
        name += isalnum((unsigned char)*p) ? *p : '_';
    }
    return name;
}

// Formats into a roomy buffer.
std::u16string F(const WCHAR *format, ...) {
    WCHAR buffer[512];
    va_list args;
    va_start(args, format);
    int n = HostFormatV(buffer, 512, format, args);
    va_end(args);
    EXPECT_EQ(n, (int)std::u16string(buffer).size()) << "the result is the length written";
    return buffer;
}

struct FormatCase {
    const char *behaviour;
    std::function<std::u16string()> format;
    std::u16string expected;
};

const FormatCase FormatCases[] = {
    {"plain text is copied", [] { return F(u"plain text"); }, u"plain text"},
    {"a doubled percent is one", [] { return F(u"100%%"); }, u"100%"},
    {"d prints a signed number", [] { return F(u"%d|%d|%d", 42, -42, 0); }, u"42|-42|0"},
    {"d prints the most negative int", [] { return F(u"%d", INT_MIN); }, u"-2147483648"},
    {"i is d", [] { return F(u"%i", -7); }, u"-7"},
    {"width pads on the left", [] { return F(u"[%5d]", 42); }, u"[   42]"},
    {"minus pads on the right", [] { return F(u"[%-5d]", 42); }, u"[42   ]"},
    {"zero pads after the sign", [] { return F(u"[%05d]", -42); }, u"[-0042]"},
    {"plus shows the sign", [] { return F(u"%+d %+d", 5, -5); }, u"+5 -5"},
    {"space stands for a plus", [] { return F(u"[% d]", 5); }, u"[ 5]"},
    {"plus wins over space", [] { return F(u"[%+ d]", 5); }, u"[+5]"},
    {"precision is the least number of digits", [] { return F(u"[%.3d]", 7); }, u"[007]"},
    {"precision zero prints no digit for zero", [] { return F(u"[%.0d]", 0); }, u"[]"},
    {"precision turns zero padding off", [] { return F(u"[%08.3d]", 7); }, u"[     007]"},
    {"a narrow width does not cut", [] { return F(u"[%1d]", 12345); }, u"[12345]"},
    {"star takes the width", [] { return F(u"[%*d]", 4, 7); }, u"[   7]"},
    {"a negative star width left-justifies", [] { return F(u"[%*d]", -4, 7); }, u"[7   ]"},
    {"star takes the precision", [] { return F(u"[%.*d]", 3, 7); }, u"[007]"},
    {"a negative star precision is none", [] { return F(u"[%.*d]", -1, 7); }, u"[7]"},
    {"u prints unsigned", [] { return F(u"%u", 4294967295u); }, u"4294967295"},
    {"u of minus one", [] { return F(u"%u", -1); }, u"4294967295"},
    {"x and X print hexadecimal", [] { return F(u"%x %X", 0xBEEFu, 0xBEEFu); }, u"beef BEEF"},
    {"a counter of four upper-case digits", [] { return F(u"%s-%04X.glim", u"n", 10u); },
     u"n-000A.glim"},
    {"hash adds 0x", [] { return F(u"%#x %#X", 255u, 255u); }, u"0xff 0XFF"},
    {"hash adds nothing to zero", [] { return F(u"%#x", 0u); }, u"0"},
    {"zero padding goes after 0x", [] { return F(u"%#06x", 255u); }, u"0x00ff"},
    {"o prints octal", [] { return F(u"%o %#o", 8u, 8u); }, u"10 010"},
    {"l is 32 bits as on Windows", [] { return F(u"%ld %lu", -5, 4000000000u); }, u"-5 4000000000"},
    {"h cuts to 16 bits", [] { return F(u"%hd %hu", 65535, 65537); }, u"-1 1"},
    {"I64 prints 64 bits", [] { return F(u"%I64d %I64u", -9000000000LL, UINT64_MAX); },
     u"-9000000000 18446744073709551615"},
    {"ll prints 64 bits", [] { return F(u"%lld %llx", LLONG_MIN, 0x123456789ULL); },
     u"-9223372036854775808 123456789"},
    {"I32 prints 32 bits", [] { return F(u"%I32d", -3); }, u"-3"},
    {"s takes a UTF-16 string", [] { return F(u"%s plugin: ", u"Glimpset"); },
     u"Glimpset plugin: "},
    {"s keeps every UTF-16 unit", [] { return F(u"[%s]", u"Gr\u00FC\u00DFe \U0001F600 \u2019"); },
     u"[Gr\u00FC\u00DFe \U0001F600 \u2019]"},
    {"ls and ws are UTF-16 too", [] { return F(u"%ls%ws", u"a", u"b"); }, u"ab"},
    {"string width pads", [] { return F(u"[%5s][%-5s]", u"ab", u"ab"); }, u"[   ab][ab   ]"},
    {"string precision cuts", [] { return F(u"[%.2s]", u"abcdef"); }, u"[ab]"},
    {"string star precision", [] { return F(u"[%.*s]", 1, u"abc"); }, u"[a]"},
    {"a null string prints (null)", [] { return F(u"[%s]", (const WCHAR *)nullptr); }, u"[(null)]"},
    {"hs and S take narrow strings", [] { return F(u"%hs %S", "abc", "d\xE9"); }, u"abc d\u00E9"},
    {"c takes a UTF-16 unit", [] { return F(u"%c%c", 'A', 0x2019); }, u"A\u2019"},
    {"character width pads", [] { return F(u"[%3c]", 'x'); }, u"[  x]"},
    {"C takes a narrow character", [] { return F(u"%C", 0x1E9); }, u"\u00E9"},
    {"an unknown directive stays as written", [] { return F(u"[%-5q]", 1); }, u"[%-5q]"},
    {"a percent at the end stays", [] { return F(u"50%"); }, u"50%"},
    {"text around directives", [] { return F(u"Error %d: %s.", -2, u"no"); }, u"Error -2: no."},
};

class FormatTest : public GlimTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatTest, GivesTheText) {
    const FormatCase &c = GetParam();
    EXPECT_EQ(sim::U8(c.format()), sim::U8(c.expected));
    EXPECT_EQ(c.format(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Directives, FormatTest, ::testing::ValuesIn(FormatCases),
                         [](const ::testing::TestParamInfo<FormatCase> &info) {
                             return TestName(info.param.behaviour);
                         });

// Formats into a buffer of `capacity` characters that lies within a larger
// one filled with a sentinel, and returns what the call left in all of it.
struct Bounded {
    int result;
    std::u16string text;
    bool sentinelIntact;
};

Bounded FormatBounded(int capacity, const WCHAR *format, ...) {
    std::vector<WCHAR> buffer(capacity + 8, u'#');
    va_list args;
    va_start(args, format);
    Bounded b;
    b.result = HostFormatV(buffer.data(), capacity, format, args);
    va_end(args);
    b.text = capacity > 0 ? std::u16string(buffer.data()) : std::u16string();
    b.sentinelIntact = true;
    for (size_t i = capacity; i < buffer.size(); i++) {
        b.sentinelIntact = b.sentinelIntact && buffer[i] == u'#';
    }
    return b;
}

using FormatBoundsTest = GlimTest;

TEST_F(FormatBoundsTest, OutputIsCutToTheCapacityAndTerminated) {
    Bounded b = FormatBounded(4, u"abcdef");
    EXPECT_EQ(b.result, 3);
    EXPECT_EQ(b.text, u"abc");
    EXPECT_TRUE(b.sentinelIntact);
}

TEST_F(FormatBoundsTest, DirectivesAreCutToo) {
    Bounded b = FormatBounded(6, u"%s=%08d", u"name", 5);
    EXPECT_EQ(b.result, 5);
    EXPECT_EQ(b.text, u"name=");
    EXPECT_TRUE(b.sentinelIntact);
}

TEST_F(FormatBoundsTest, ACapacityOfOneGivesTheEmptyText) {
    Bounded b = FormatBounded(1, u"abc");
    EXPECT_EQ(b.result, 0);
    EXPECT_EQ(b.text, u"");
    EXPECT_TRUE(b.sentinelIntact);
}

TEST_F(FormatBoundsTest, NoCapacityWritesNothing) {
    Bounded b = FormatBounded(0, u"abc");
    EXPECT_EQ(b.result, 0);
    EXPECT_TRUE(b.sentinelIntact);
    WCHAR one = u'#';
    EXPECT_EQ(HostFormat(&one, -5, u"abc"), 0);
    EXPECT_EQ(one, u'#');
    EXPECT_EQ(HostFormat(nullptr, 10, u"abc"), 0);
    EXPECT_EQ(HostFormat(&one, 1, nullptr), 0);
    EXPECT_EQ(one, u'#');
}

TEST_F(FormatBoundsTest, ACutNeverSplitsASurrogatePair) {
    Bounded b = FormatBounded(4, u"ab%s", u"\U0001F600z");
    EXPECT_EQ(b.result, 2);
    EXPECT_EQ(b.text, u"ab");
    Bounded whole = FormatBounded(5, u"ab%s", u"\U0001F600z");
    EXPECT_EQ(whole.text, u"ab\U0001F600");
}

TEST_F(FormatBoundsTest, AHugeWidthStopsAtTheCapacity) {
    Bounded b = FormatBounded(10, u"%2000000000d|%*s", 1, 2000000000, u"x");
    EXPECT_EQ(b.result, 9);
    EXPECT_EQ(b.text, u"         ");
    EXPECT_TRUE(b.sentinelIntact);
}

TEST_F(FormatBoundsTest, SprintfIsBoundAtTheHostsBufferSize) {
    std::vector<WCHAR> buffer(16384 + 8, u'#');
    int n = Sprintf(buffer.data(), u"%-20000d", 7);
    EXPECT_EQ(n, 16383);
    EXPECT_EQ(buffer[0], u'7');
    EXPECT_EQ(buffer[16382], u' ');
    EXPECT_EQ(buffer[16383], 0);
    EXPECT_EQ(buffer[16384], u'#');
}

TEST_F(FormatBoundsTest, SprintfReturnsTheLength) {
    WCHAR buffer[64];
    EXPECT_EQ(Sprintf(buffer, u"Error %d", -5), 8);
    EXPECT_EQ(std::u16string(buffer), u"Error -5");
}

} // namespace
