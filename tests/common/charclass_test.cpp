// The white-space and letter classes of the command line, and the text
// helpers every subsystem uses.
#include "common/charclass.h"
#include "common/text.h"
#include "tests/support/glimtest.h"

namespace {

using glimtest::GlimTest;

struct ClassCase {
    WCHAR ch;
    bool white;
    bool letter;
};

TEST(CharacterClasses, FixedBelowU0100AndFromTheSystemAbove) {
    sim::Reset();
    const ClassCase cases[] = {
        {0x0000, false, false}, {0x0008, false, false}, {0x0009, true, false},
        {0x000A, true, false},  {0x000B, true, false},  {0x000C, true, false},
        {0x000D, true, false},  {0x000E, false, false}, {0x001F, false, false},
        {0x0020, true, false},  {0x0085, false, false}, {0x00A0, true, false},
        {u'0', false, false},   {u'9', false, false},   {u'_', false, false},
        {u'@', false, false},   {u'[', false, false},   {u'`', false, false},
        {u'{', false, false},   {u'A', false, true},    {u'Z', false, true},
        {u'a', false, true},    {u'z', false, true},    {0x00AA, false, false},
        {0x00B5, false, false}, {0x00BA, false, false}, {0x00BF, false, false},
        {0x00C0, false, true},  {0x00D6, false, true},  {0x00D7, false, false},
        {0x00D8, false, true},  {0x00F6, false, true},  {0x00F7, false, false},
        {0x00F8, false, true},  {0x00FF, false, true},  {0x2000, true, false},
        {0x200A, true, false},  {0x2028, true, false},  {0x2029, true, false},
        {0x3000, true, false},  {0x03B1, false, true},  {0x0416, false, true},
        {0x4E2D, false, true},  {0x2190, false, false}, {0xFFFF, false, false},
    };
    for (const ClassCase &c : cases) {
        EXPECT_EQ(IsWhiteSpace(c.ch) != 0, c.white) << std::hex << "U+" << (unsigned)c.ch;
        EXPECT_EQ(IsLetter(c.ch) != 0, c.letter) << std::hex << "U+" << (unsigned)c.ch;
    }
}

TEST(CharacterClasses, Latin1DoesNotDependOnTheSystemTable) {
    sim::Reset();
    sim::FailAlways("GetStringTypeW", ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(IsWhiteSpace(0x00A0));
    EXPECT_TRUE(IsLetter(0x00E9));
    EXPECT_EQ(sim::CallCount("GetStringTypeW"), 0);
    // Above U+00FF a failing table puts a character in neither class.
    EXPECT_FALSE(IsWhiteSpace(0x3000));
    EXPECT_FALSE(IsLetter(0x03B1));
    sim::Reset();
}

TEST(Text, CopyIsBoundedAndTerminated) {
    WCHAR buffer[6] = {u'#', u'#', u'#', u'#', u'#', u'#'};
    EXPECT_EQ(TextCopy(buffer, 6, u"hello"), 0);
    EXPECT_EQ(std::u16string(buffer), u"hello");
    EXPECT_EQ(TextCopy(buffer, 6, u"hello!"), -1);
    EXPECT_EQ(std::u16string(buffer), u"hello");
    EXPECT_EQ(TextCopy(buffer, 6, nullptr), 0);
    EXPECT_EQ(std::u16string(buffer), u"");
    EXPECT_EQ(TextCopy(buffer, 0, u"x"), -1);
}

TEST(Text, AppendIsBoundedAndTerminated) {
    WCHAR buffer[8] = u"abc";
    EXPECT_EQ(TextAppend(buffer, 8, u"de"), 0);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    EXPECT_EQ(TextAppend(buffer, 8, u"fghij"), -1);
    EXPECT_EQ(std::u16string(buffer), u"abcdefg");
    EXPECT_EQ(TextAppend(buffer, 8, u"x"), -1);
    EXPECT_EQ(std::u16string(buffer), u"abcdefg");
}

TEST(Text, AppendToAnUnterminatedBufferTerminatesIt) {
    WCHAR buffer[4] = {u'a', u'b', u'c', u'd'};
    EXPECT_EQ(TextAppend(buffer, 4, u"x"), -1);
    EXPECT_EQ(std::u16string(buffer), u"abc");
}

TEST(Text, LengthOfNothingIsZero) {
    EXPECT_EQ(TextLength(nullptr), 0);
    EXPECT_EQ(TextLength(u""), 0);
    EXPECT_EQ(TextLength(u"a\u00E9\u4E2D"), 3);
}

TEST(Text, UpperCaseChangesOnlyAToZ) {
    WCHAR text[] = u"abz-\u00E9\u00FF\u03B1 AZ/n:tx";
    UpperCaseAZ(text);
    EXPECT_EQ(std::u16string(text), u"ABZ-\u00E9\u00FF\u03B1 AZ/N:TX");
    UpperCaseAZ(nullptr);
}

struct CompareCase {
    const char16_t *left;
    const char16_t *right;
    bool equal;
};

TEST(Text, CompareIgnoresTheCaseOfAToZOnly) {
    const CompareCase cases[] = {
        {u"glim", u"GLIM", true},   {u"gLiM", u"Glim", true}, {u"_lastglim", u"_LASTGLIM", true},
        {u"glim", u"glim ", false}, {u"glim", u"gli", false}, {u"\u00E9", u"\u00C9", false},
        {u"[", u"{", false},        {u"@", u"`", false},      {u"", u"", true},
        {nullptr, u"", true},
    };
    for (const CompareCase &c : cases) {
        EXPECT_EQ(CompareNoCaseAZ(c.left, c.right) == 0, c.equal)
            << sim::U8(c.left ? c.left : u"(null)") << " / " << sim::U8(c.right);
    }
}

} // namespace
