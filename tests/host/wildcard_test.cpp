// The host's file-name matching, WildcardComparison.
#include "plugin/host.h"
#include "tests/support/glimtest.h"

#include <string>

namespace {

using glimtest::GlimTest;

std::string TestName(const char *behaviour) {
    std::string name;
    for (const char *p = behaviour; *p; p++) {
        name += isalnum((unsigned char)*p) ? *p : '_';
    }
    return name;
}

struct MatchCase {
    const char *behaviour;
    std::u16string pattern;
    std::u16string name;
    bool matches;
};

const MatchCase MatchCases[] = {
    {"star matches any name", u"*", u"anything.glim", true},
    {"star matches the empty name", u"*", u"", true},
    {"star dot star matches a name without a dot", u"*.*", u"README", true},
    {"star dot star matches a name with dots", u"*.*", u"a.b.c", true},
    {"an extension pattern matches its extension", u"*.glim", u"x.glim", true},
    {"extensions compare without case", u"*.glim", u"X.GLIM", true},
    {"a longer extension does not match", u"*.glim", u"x.glimx", false},
    {"the dot is needed", u"*.glim", u"glim", false},
    {"a later extension does not match", u"*.glim", u"a.glim.bak", false},
    {"a literal name matches itself", u"name.glim", u"Name.Glim", true},
    {"a literal name does not match another", u"name.glim", u"name.gli", false},
    {"question mark matches one character", u"?.txt", u"a.txt", true},
    {"question mark does not match two", u"?.txt", u"ab.txt", false},
    {"question mark does not match none", u"??", u"a", false},
    {"a set matches its members", u"[abc]*", u"bob", true},
    {"a set matches without case", u"[abc]*", u"Bob", true},
    {"a set does not match others", u"[abc]*", u"dan", false},
    {"a negated set matches others", u"[!abc]*", u"dan", true},
    {"a negated set does not match members", u"[!abc]*", u"Amy", false},
    {"a range matches within it", u"x[a-f]", u"xc", true},
    {"a range matches without case", u"x[a-f]", u"xC", true},
    {"an upper-case range matches lower case", u"x[A-F]", u"xc", true},
    {"a range does not match outside it", u"x[a-f]", u"xg", false},
    {"a negated range", u"x[!0-9]", u"x5", false},
    {"a bracket first in a set is a member", u"[]a]", u"]", true},
    {"a dash at the end of a set is a member", u"[a-]", u"-", true},
    {"an unclosed bracket is an ordinary character", u"[abc", u"[abc", true},
    {"an unclosed bracket does not open a set", u"[abc", u"a", false},
    {"stars backtrack", u"a*b*c", u"aXXbYYbZc", true},
    {"stars need the rest", u"a*b*c", u"aXXbYY", false},
    {"stars backtrack over repeats", u"*a*a*a", u"aaaa", true},
    {"a star with a set after it", u"*[0-9].glim", u"shot7.glim", true},
    {"dot star after a name matches the bare name", u"read.*", u"read", true},
    {"dot star after a name needs that name", u"read.*", u"reader", false},
    {"Latin-1 letters compare without case", u"\u00FCber*", u"\u00DCBERSICHT", true},
    {"the multiplication sign has no case", u"\u00D7", u"\u00F7", false},
    {"an empty pattern matches only the empty name", u"", u"x", false},
};

class MatchTest : public GlimTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(MatchTest, ComparesTheName) {
    const MatchCase &c = GetParam();
    int result = WildcardComparison(c.pattern.c_str(), c.name.c_str(), 1, 1);
    EXPECT_EQ(result == 0, c.matches) << "result " << result;
}

INSTANTIATE_TEST_SUITE_P(Patterns, MatchTest, ::testing::ValuesIn(MatchCases),
                         [](const ::testing::TestParamInfo<MatchCase> &info) {
                             return TestName(info.param.behaviour);
                         });

using WildcardTest = GlimTest;

TEST_F(WildcardTest, NullTextsMatchNothing) {
    EXPECT_NE(WildcardComparison(nullptr, u"x", 1, 1), 0);
    EXPECT_NE(WildcardComparison(u"*", nullptr, 1, 1), 0);
}

TEST_F(WildcardTest, ManyStarsOverALongNameStillNeedTheLastCharacter) {
    // Backtracking on the last star alone keeps this linear per star.
    std::u16string name(5000, u'a');
    std::u16string pattern = u"*a*a*a*a*a*a*a*a*b";
    EXPECT_NE(WildcardComparison(pattern.c_str(), name.c_str(), 1, 1), 0);
}

} // namespace
