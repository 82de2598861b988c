// The option walk of glim: help and version, the checks of options, /N
// letters and file names, their messages and results. Nothing here reaches
// an operation.
#include "common/tokenizer.h"
#include "plugin/helptext.h"
#include "tests/support/glimtest.h"

#include <string>

namespace {

using glimtest::Glim;
using glimtest::GlimTest;
using glimtest::Outcome;
using WalkTest = GlimTest;

const std::string VersionLine = "\r\n\t\t\t\tGlimpset  1.2.0.3 (x64)\r\n";

// Nothing but the walk ran: no registry, no console, no file.
void ExpectNothingTouched(const std::string &tail) {
    EXPECT_EQ(sim::CallCount("RegOpenKeyW"), 0) << tail;
    EXPECT_EQ(sim::CallCount("CreateFileW"), 0) << tail;
    EXPECT_EQ(sim::CallCount("FindFirstFileW"), 0) << tail;
    EXPECT_EQ(sim::CallCount("GetConsoleScreenBufferInfo"), 0) << tail;
    EXPECT_TRUE(sim::Sounds().empty()) << tail;
}

struct WalkCase {
    std::string tail;
    int result;
    std::string out;
    std::string err; // after the prefix, unless `bare`
    bool bare;
};

class WalkEndsTest : public GlimTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(WalkEndsTest, BeforeAnyOperation) {
    const WalkCase &c = GetParam();
    sim::CallLog().clear();
    Outcome run = Glim(c.tail);
    EXPECT_EQ(run.result, c.result) << c.tail;
    EXPECT_EQ(run.out, c.out) << c.tail;
    EXPECT_EQ(run.err, c.err.empty() || c.bare ? c.err : "Glimpset plugin: " + c.err) << c.tail;
    ExpectNothingTouched(c.tail);
}

// The help text itself is checked to the byte with the exports.
std::string Help() {
    return sim::U8(CommandHelpText);
}

INSTANTIATE_TEST_SUITE_P(
    Tails, WalkEndsTest,
    ::testing::Values(
        // Help and version.
        WalkCase{"/?", 0, Help(), "", false}, WalkCase{"/??", 0, Help() + VersionLine, "", false},
        WalkCase{"  /?  ", 0, Help(), "", false}, WalkCase{"/O /Q name /?", 0, Help(), "", false},
        WalkCase{"/? /x", 0, Help(), "", false},
        WalkCase{"/?? /x", 0, Help() + VersionLine, "", false},
        WalkCase{"a b c /?", 0, Help(), "", false}, WalkCase{"/I/?", 0, Help(), "", false},
        // Unknown options, shown upper-cased; the walk stops at the first.
        WalkCase{"/x /?", 1, "", "Unknown option:  \"/X\"\r\n", false},
        WalkCase{"/oq", 1, "", "Unknown option:  \"/OQ\"\r\n", false},
        WalkCase{"/O/q/rx", 1, "", "Unknown option:  \"/RX\"\r\n", false},
        WalkCase{"/???", 1, "", "Unknown option:  \"/???\"\r\n", false},
        WalkCase{"/", 1, "", "Unknown option:  \"/\"\r\n", false},
        WalkCase{"//x", 1, "", "Unknown option:  \"//X\"\r\n", false},
        WalkCase{"/\xC3\xA9t\xC3\xA9", 1, "", "Unknown option:  \"/\xC3\xA9T\xC3\xA9\"\r\n", false},
        WalkCase{"\"/my file\"", 1, "", "Unknown option:  \"/MY FILE\"\r\n", false},
        WalkCase{"/s /e /x /y", 1, "", "Unknown option:  \"/X\"\r\n", false},
        // Letters of /N.
        WalkCase{"/N::T", 1, "", "Unknown suboption:  /N::\r\n", false},
        WalkCase{"/N:=T", 1, "", "Unknown suboption:  /N:=\r\n", false},
        WalkCase{"/N:q", 1, "", "Unknown suboption:  /N:Q\r\n", false},
        WalkCase{"/n=tq", 1, "", "Unknown suboption:  /N:Q\r\n", false},
        WalkCase{"/NOS1", 1, "", "Unknown suboption:  /N:1\r\n", false},
        WalkCase{"/N:tx:", 1, "", "Unknown suboption:  /N::\r\n", false},
        WalkCase{"/N:\xC3\xA9", 1, "", "Unknown suboption:  /N:\xC3\xA9\r\n", false},
        WalkCase{"/Nq /?", 1, "", "Unknown suboption:  /N:Q\r\n", false},
        // File names: an unusable first name, then a second name outside
        // report mode.
        WalkCase{"bad<name", 1, "", "Bad filename:  \"BAD<NAME\"\r\n", false},
        WalkCase{"\"  \"", 1, "", "Bad filename:  \"\"\r\n", false},
        WalkCase{"/R a:b:c", 1, "", "Bad filename:  \"A:B:C\"\r\n", false},
        WalkCase{"bad<name /?", 1, "", "Bad filename:  \"BAD<NAME\"\r\n", false},
        WalkCase{"one two", 1, "", "Syntax error:  \"TWO\"\r\n", true},
        WalkCase{"one two three", 1, "", "Syntax error:  \"THREE\"\r\n", true},
        WalkCase{"/R one two", 1, "", "Syntax error:  \"TWO\"\r\n", true},
        WalkCase{"/I one /R two", 1, "", "Syntax error:  \"TWO\"\r\n", true},
        WalkCase{"one bad<name", 1, "", "Syntax error:  \"BAD<NAME\"\r\n", true},
        WalkCase{"one two /x", 1, "", "Unknown option:  \"/X\"\r\n", false},
        WalkCase{"one two /?", 0, Help(), "", false}));

TEST_F(WalkTest, AnOptionIsUpperCasedInPlace) {
    Glim("one /oq");
    ASSERT_EQ(ArgTable.count, 2);
    EXPECT_EQ(sim::U8(ArgTable.args[0]), "one");
    EXPECT_EQ(sim::U8(ArgTable.args[1]), "/OQ");
}

TEST_F(WalkTest, UsageErrorsInsideABatchFileCarryThePlace) {
    glimtest::SetBatch("C:\\jobs\\snap.btm", 9);
    EXPECT_EQ(Glim("/x").err,
              "Glimpset plugin: C:\\jobs\\snap.btm [9]  Unknown option:  \"/X\"\r\n");
    EXPECT_EQ(Glim("/N:w").err,
              "Glimpset plugin: C:\\jobs\\snap.btm [9]  Unknown suboption:  /N:W\r\n");
    EXPECT_EQ(Glim("a|b<").err,
              "Glimpset plugin: C:\\jobs\\snap.btm [9]  Bad filename:  \"A|B<\"\r\n");
    // The syntax error is a bare line.
    EXPECT_EQ(Glim("a b").err, "Syntax error:  \"B\"\r\n");
}

TEST_F(WalkTest, AnAbsentTailIsAUsageError) {
    Outcome run = glimtest::GlimWithoutTail();
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    ExpectNothingTouched("(none)");
}

TEST_F(WalkTest, ATailTooLongForTheTableEndsTheCommand) {
    std::string names = "/I";
    for (int i = 0; i < 1100; i++) {
        names += " x.glim";
    }
    const struct {
        const char *label;
        std::string tail;
        const char *err;
    } rows[] = {
        {"(long)", std::string(8200, 'x'),
         "Glimpset plugin: Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \r\n"},
        {"(1,100 names)", names, "Glimpset plugin: Too many arguments: more than 1024\r\n"},
    };
    for (const auto &row : rows) {
        Outcome run = Glim(row.tail);
        EXPECT_EQ(run.result, 1) << row.label;
        EXPECT_EQ(run.err, row.err) << row.label;
        EXPECT_EQ(run.out, "") << row.label;
        ExpectNothingTouched(row.label);
    }
}

TEST_F(WalkTest, HelpDoesNotReadTheRegistry) {
    sim::RegSetDword(HKEY_CURRENT_USER, u"SOFTWARE\\RIRevazud\\Glimpset", u"Quiet", 1);
    sim::CallLog().clear();
    EXPECT_EQ(Glim("/??").result, 0);
    ExpectNothingTouched("/??");
}

} // namespace
