// The splitting of command tails into ArgTable.
#include "common/tokenizer.h"
#include "tests/support/glimtest.h"

#include <string>
#include <vector>

namespace {

using glimtest::GlimTest;

std::vector<std::u16string> Arguments() {
    std::vector<std::u16string> args;
    for (int i = 0; i < ArgTable.count; i++) {
        args.push_back(ArgTable.args[i]);
    }
    return args;
}

// A behaviour as a test name: letters and digits, the rest as underscores.
std::string TestName(const char *behaviour) {
    std::string name;
    for (const char *p = behaviour; *p; p++) {
        name += isalnum((unsigned char)*p) ? *p : '_';
    }
    return name;
}

struct SplitCase {
    const char *behaviour;
    std::u16string tail;
    std::vector<std::u16string> args;
};

const SplitCase SplitCases[] = {
    {"empty tail", u"", {}},
    {"blanks and tabs only", u"  \t \t ", {}},
    {"blanks and tabs separate and vanish", u" \ta  \t b\t", {u"a", u"b"}},
    {"line ends and form feeds separate", u"a\r\nb\vc\fd", {u"a", u"b", u"c", u"d"}},
    {"no-break space separates", u"a\u00A0b", {u"a", u"b"}},
    {"system white space above U+00FF separates", u"a\u3000b\u2028c", {u"a", u"b", u"c"}},
    {"U+FFFF is no white space", u"a\uFFFFb", {u"a\uFFFFb"}},
    {"glued options come apart", u"/O/Q name", {u"/O", u"/Q", u"name"}},
    {"letters after /N stay together", u"/N:TX", {u"/N:TX"}},
    {"a lone slash after an option is a new argument", u"/O/", {u"/O", u"/"}},
    {"quoted name keeps its blanks", u"\"my file.glim\"", {u"my file.glim"}},
    {"a quote inside an argument joins both sides", u"ab\" xy\"z", {u"ab xyz"}},
    {"quoted text keeps a leading blank", u"\" lead\"", {u" lead"}},
    {"blanks before a closing quote at the end are removed", u"\"trail  \" x", {u"trail", u"x"}},
    {"empty quotes make no argument", u"a \"\" b", {u"a", u"b"}},
    {"quotes around white space make an empty argument", u"\" \t \" b", {u"", u"b"}},
    {"a missing closing quote runs to the end, trimmed",
     u"x \"open rest  \t",
     {u"x", u"open rest"}},
    {"an address keeps its slashes", u"http://host/dir/file", {u"http://host/dir/file"}},
    {"an address after a slash keeps its slashes", u"/Rhttp://host/a/b", {u"/Rhttp://host/a/b"}},
    {"without an address the slashes split", u"/Rhost/a/b", {u"/Rhost", u"/a", u"/b"}},
    {"a scheme needs a letter before the colon", u"/1://x/y", {u"/1:", u"//x", u"/y"}},
    {"a letter above U+00FF can end a scheme", u"/\u03B1://x/y", {u"/\u03B1://x/y"}},
    {"a drive path stays one argument", u"D:/dir/file", {u"D:/dir/file"}},
    {"two slashes at the start stay together", u"//x/y", {u"//x", u"/y"}},
    {"the address mark ends with its argument", u"http://a/b /x/y", {u"http://a/b", u"/x", u"/y"}},
    {"the address mark is not cleared by a split", u"/a/b://c/d", {u"/a", u"/b://c/d"}},
    {"an option glued to a quoted value", u"/R\"my file\"", {u"/Rmy file"}},
    {"no split inside quotes", u"\"/a/b\" c", {u"/a/b", u"c"}},
    {"an exclusion range gets no special treatment", u"/[!a b]", {u"/[!a", u"b]"}},
    {"punctuation is stored like letters", u"a,b;c=d[e]!f\\g", {u"a,b;c=d[e]!f\\g"}},
    // The colon's neighbours are looked at in the tail, where the quote
    // stands, not in what was stored.
    {"the letter test looks at the tail", u"/a\":\"//b/c", {u"/a:", u"//b", u"/c"}},
    {"the slash test looks at the tail", u"/a:\"/\"/b/c", {u"/a:/", u"/b", u"/c"}},
    {"the address test applies inside quotes", u"/a\"b://\"c/d", {u"/ab://c/d"}},
};

class SplitTest : public GlimTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitTest, GivesTheArguments) {
    const SplitCase &c = GetParam();
    int count = TokenizeArguments(c.tail.c_str());
    EXPECT_EQ(count, (int)c.args.size());
    EXPECT_EQ(ArgTable.count, (int)c.args.size());
    EXPECT_EQ(Arguments(), c.args);
    for (int i = 0; i < ArgTable.count; i++) {
        EXPECT_EQ(ArgTable.lengths[i], (int)c.args[i].size()) << "argument " << i;
    }
    for (int i = ArgTable.count; i < MAX_ARGS; i++) {
        ASSERT_EQ(ArgTable.args[i], nullptr) << "slot " << i;
        ASSERT_EQ(ArgTable.lengths[i], 0) << "slot " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Tails, SplitTest, ::testing::ValuesIn(SplitCases),
                         [](const ::testing::TestParamInfo<SplitCase> &info) {
                             return TestName(info.param.behaviour);
                         });

using TokenizerTest = GlimTest;

TEST_F(TokenizerTest, ArgumentsFollowOneAnotherWithTheirTerminators) {
    ASSERT_EQ(TokenizeArguments(u"/O/Q  name"), 3);
    EXPECT_EQ(ArgTable.args[0], ArgTable.text);
    EXPECT_EQ(ArgTable.args[1], ArgTable.text + 3);
    EXPECT_EQ(ArgTable.args[2], ArgTable.text + 6);
    EXPECT_EQ(std::u16string(ArgTable.text, 11), std::u16string(u"/O\0/Q\0name\0", 11));
}

TEST_F(TokenizerTest, AnAbsentTailLeavesTheTableAsItWas) {
    ASSERT_EQ(TokenizeArguments(u"a b"), 2);
    EXPECT_EQ(TokenizeArguments(nullptr), -1);
    EXPECT_EQ(ArgTable.count, 2);
    EXPECT_EQ(Arguments(), (std::vector<std::u16string>{u"a", u"b"}));
}

TEST_F(TokenizerTest, EachCallStartsFromAClearTable) {
    ASSERT_EQ(TokenizeArguments(u"a b c"), 3);
    ASSERT_EQ(TokenizeArguments(u"x"), 1);
    EXPECT_EQ(ArgTable.args[1], nullptr);
    EXPECT_EQ(ArgTable.lengths[1], 0);
}

// The table holds 1,024 arguments; one more refuses the whole tail with a
// message, as a full text buffer does, rather than lose it unseen.
struct CountCase {
    const char *behaviour;
    int letters;        // one-letter arguments before the end
    std::u16string end; // what follows them
    int result;
};

const CountCase CountCases[] = {
    {"1024 arguments fit", 1024, u"", 1024},
    {"empty quotes after 1024 make no argument", 1024, u"\"\"", 1024},
    {"a 1025th argument is refused", 1025, u"", -1},
    {"a 1025th argument of white space in quotes is refused", 1024, u"\" \"", -1},
    {"a glued option making the 1025th is refused", 1023, u"/O/Q", -1},
};

class CountTest : public GlimTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CountTest, AcceptsAtMost1024Arguments) {
    const CountCase &c = GetParam();
    std::u16string tail;
    for (int i = 0; i < c.letters; i++) {
        tail += u"a ";
    }
    tail += c.end;
    EXPECT_EQ(TokenizeArguments(tail.c_str()), c.result);
    EXPECT_EQ(sim::Stdout(), "");
    if (c.result < 0) {
        EXPECT_EQ(ArgTable.count, 0);
        EXPECT_EQ(ArgTable.args[0], nullptr);
        EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Too many arguments: more than 1024\r\n");
    } else {
        EXPECT_EQ(ArgTable.count, c.result);
        EXPECT_EQ(std::u16string(ArgTable.args[1023]), u"a");
        EXPECT_EQ(sim::Stderr(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Tails, CountTest, ::testing::ValuesIn(CountCases),
                         [](const ::testing::TestParamInfo<CountCase> &info) {
                             return TestName(info.param.behaviour);
                         });

TEST_F(TokenizerTest, OneArgumentOf8191CharactersFits) {
    std::u16string tail(8191, u'x');
    ASSERT_EQ(TokenizeArguments((tail + u"   ").c_str()), 1);
    EXPECT_EQ(ArgTable.lengths[0], 8191);
    EXPECT_EQ(std::u16string(ArgTable.args[0]), tail);
    EXPECT_EQ(sim::Stderr(), "");
}

struct OverflowCase {
    const char *behaviour;
    std::u16string tail;
    int b;
};

class OverflowTest : public GlimTest, public ::testing::WithParamInterface<OverflowCase> {};

TEST_P(OverflowTest, StopsWithTheMessage) {
    const OverflowCase &c = GetParam();
    EXPECT_EQ(TokenizeArguments(c.tail.c_str()), -1);
    EXPECT_EQ(ArgTable.count, 0);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Buffer overflow: b = " + std::to_string(c.b) +
                                 ", MAX_ARG_LEN = 8192 \r\n");
    EXPECT_EQ(sim::Stdout(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Tails, OverflowTest,
    ::testing::Values(
        OverflowCase{"one argument of 8192", std::u16string(8192, u'x'), 8191},
        OverflowCase{"a second argument after 8190", std::u16string(8190, u'x') + u" y", 8191},
        OverflowCase{"a second argument after 8191", std::u16string(8191, u'x') + u" y", 8192},
        OverflowCase{"a glued option after 8191", u"/" + std::u16string(8190, u'x') + u"/y", 8192}),
    [](const ::testing::TestParamInfo<OverflowCase> &info) {
        return TestName(info.param.behaviour);
    });

TEST_F(TokenizerTest, OverflowInsideABatchFileCarriesThePlace) {
    glimtest::SetBatch("C:\\jobs\\long.btm", 7);
    EXPECT_EQ(TokenizeArguments(std::u16string(9000, u'x').c_str()), -1);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: C:\\jobs\\long.btm [7]  Buffer overflow: b = "
                             "8191, MAX_ARG_LEN = 8192 \r\n");
}

} // namespace
