// search_test.cpp: the file search of glim /I on the simulated volume:
// specifications and alternatives, the per-directory and total lines,
// recursion and the subdirectories it passes over, failures on the way,
// deep trees and links that lead back into their own tree.
#include "command/options.h"
#include "common/text.h"
#include "common/tokenizer.h"
#include "format/glimformat.h"
#include "report/fileinfo.h"
#include "report/search.h"
#include "tests/support/glimtest.h"
#include "winsim/sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The line for a file of neither format.
std::string Other(const std::string &path) {
    return "\r\n\"" + path + "\" is not a Glimpset file.\r\n";
}

std::string Found(unsigned count, const std::string &directory) {
    return "\r\nFound " + std::to_string(count) + (count == 1 ? " file" : " files") + " in " +
           directory + ".\r\n";
}

std::string Total(unsigned count) {
    return "\r\nFound " + std::to_string(count) + (count == 1 ? " file" : " files") + " total.\r\n";
}

std::string NoFiles(const std::string &pattern, const std::string &directory) {
    return "Glimpset plugin: No " + pattern + " files found in " + directory + "\r\n";
}

using glimtest::Outcome;

// Splits `tail` as the command does and runs the report on it.
Outcome Report(const std::string &tail, DWORD modeFlags, DWORD searchFlags) {
    std::u16string text = sim::U16(tail);
    TokenizeArguments(text.c_str());
    sim::ClearOutput();
    Outcome outcome;
    outcome.result = ListFileSpecs(modeFlags, searchFlags);
    outcome.out = sim::Stdout();
    outcome.err = sim::Stderr();
    return outcome;
}

class SearchTest : public glimtest::GlimTest {};

// C:\w, the current directory, in listing order: three files of neither
// format, a hidden system file, then the directories sub (with sub\deeper),
// hid (hidden), sys (system), lnk (a link to C:\other), empty, and dir.glim,
// a directory whose name matches *.glim. Every *.glim file holds text.
void MakeTree() {
    sim::MakeDirectory(u"C:\\other");
    sim::MakeFile(u"C:\\other\\l.glim", "x");
    sim::MakeDirectory(u"C:\\a;b");
    sim::MakeFile(u"C:\\a;b\\x.glim", "x");
    sim::MakeFile(u"C:\\a;b\\y.txt", "x");
    sim::MakeDirectory(u"C:\\w");
    sim::MakeFile(u"C:\\w\\a.glim", "x");
    sim::MakeFile(u"C:\\w\\b.sav", "x");
    sim::MakeFile(u"C:\\w\\c.txt", "x");
    sim::MakeFile(u"C:\\w\\h.glim", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    sim::MakeDirectory(u"C:\\w\\sub");
    sim::MakeFile(u"C:\\w\\sub\\d.glim", "x");
    sim::MakeDirectory(u"C:\\w\\sub\\deeper");
    sim::MakeFile(u"C:\\w\\sub\\deeper\\e.glim", "x");
    sim::MakeDirectory(u"C:\\w\\hid", FILE_ATTRIBUTE_HIDDEN);
    sim::MakeFile(u"C:\\w\\hid\\f.glim", "x");
    sim::MakeDirectory(u"C:\\w\\sys", FILE_ATTRIBUTE_SYSTEM);
    sim::MakeFile(u"C:\\w\\sys\\g.glim", "x");
    sim::MakeLink(u"C:\\w\\lnk", u"C:\\other");
    sim::MakeDirectory(u"C:\\w\\empty");
    sim::MakeDirectory(u"C:\\w\\dir.glim");
    sim::SetCurrentDirectory(u"C:\\w");
}

const std::string TopGlim = Other("C:\\w\\a.glim") + Other("C:\\w\\h.glim") + Found(2, "C:\\w\\");
const std::string SubGlim = Other("C:\\w\\sub\\d.glim") + Found(1, "C:\\w\\sub\\") +
                            Other("C:\\w\\sub\\deeper\\e.glim") + Found(1, "C:\\w\\sub\\deeper\\");
const std::string HidGlim = Other("C:\\w\\hid\\f.glim") + Found(1, "C:\\w\\hid\\");
const std::string SysGlim = Other("C:\\w\\sys\\g.glim") + Found(1, "C:\\w\\sys\\");
const std::string LnkGlim = Other("C:\\w\\lnk\\l.glim") + Found(1, "C:\\w\\lnk\\");

struct SearchCase {
    const char *behaviour;
    const char *tail;
    DWORD modeFlags;
    DWORD searchFlags;
    std::string out;
    std::string err;
    int result;
};

const SearchCase SearchCases[] = {
    {"without a specification every file of the current directory", "", 0, 0,
     Other("C:\\w\\a.glim") + Other("C:\\w\\b.sav") + Other("C:\\w\\c.txt") +
         Other("C:\\w\\h.glim") + Found(4, "C:\\w\\"),
     "", 0},
    {"options alone are no specification", "/I /S", 0, 0,
     Other("C:\\w\\a.glim") + Other("C:\\w\\b.sav") + Other("C:\\w\\c.txt") +
         Other("C:\\w\\h.glim") + Found(4, "C:\\w\\"),
     "", 0},
    {"alternatives report each matching file once", "*.glim;*.sav", 0, 0,
     Other("C:\\w\\a.glim") + Other("C:\\w\\b.sav") + Other("C:\\w\\h.glim") + Found(3, "C:\\w\\"),
     "", 0},
    {"a file matching two alternatives counts once", "*.glim;a.*", 0, 0, TopGlim, "", 0},
    {"no match names the alternatives with bars", "*.xyz;*.abc", 0, 0, "",
     NoFiles("*.xyz|*.abc", "C:\\w\\"), 0},
    {"a pattern of bars only matches nothing", "|||", 0, 0, "", NoFiles("|||", "C:\\w\\"), 0},
    {"a semicolon in a directory component stays", "C:\\a;b\\*.glim", 0, 0,
     Other("C:\\a;b\\x.glim") + Found(1, "C:\\a;b\\"), "", 0},
    {"alternatives after a directory with a semicolon", "C:\\a;b\\*.glim;*.txt", 0, 0,
     Other("C:\\a;b\\x.glim") + Other("C:\\a;b\\y.txt") + Found(2, "C:\\a;b\\"), "", 0},
    {"a relative specification", "sub\\*.glim", 0, 0,
     Other("C:\\w\\sub\\d.glim") + Found(1, "C:\\w\\sub\\"), "", 0},
    {"a directory stands for all its files", "C:\\w\\sub", 0, 0,
     Other("C:\\w\\sub\\d.glim") + Found(1, "C:\\w\\sub"), "", 0},
    {"a directory without files is an error line", "C:\\w\\empty", 0, 0, "",
     NoFiles("*", "C:\\w\\empty"), 0},
    {"with /E a directory without files counts 0", "C:\\w\\empty", 0, SEARCH_EMPTY_OK,
     Found(0, "C:\\w\\empty"), "", 0},
    {"a missing directory is a directory without files", "C:\\w\\gone\\*.glim", 0, 0, "",
     NoFiles("*.glim", "C:\\w\\gone\\"), 0},
    {"/N:S drops the per-directory line", "*.glim", MODE_NO_TOTALS, 0,
     Other("C:\\w\\a.glim") + Other("C:\\w\\h.glim"), "", 0},
    {"/N:S keeps the error line", "*.xyz", MODE_NO_TOTALS, 0, "", NoFiles("*.xyz", "C:\\w\\"), 0},
    {"/N:O silences files of neither format", "*.glim", MODE_ONLY_KNOWN, 0, Found(2, "C:\\w\\"), "",
     0},
    {"two specifications print a total", "a.glim b.sav", 0, 0,
     Other("C:\\w\\a.glim") + Found(1, "C:\\w\\") + Other("C:\\w\\b.sav") + Found(1, "C:\\w\\") +
         Total(2),
     "", 0},
    {"a file matched by two specifications counts twice", "a.glim *.glim", 0, 0,
     Other("C:\\w\\a.glim") + Found(1, "C:\\w\\") + TopGlim + Total(3), "", 0},
    {"two specifications with /N:S print neither line", "a.glim b.sav", MODE_NO_TOTALS, 0,
     Other("C:\\w\\a.glim") + Other("C:\\w\\b.sav"), "", 0},
    {"a bad specification between two good ones", "a.glim x<y>z b.sav", 0, 0,
     Other("C:\\w\\a.glim") + Found(1, "C:\\w\\") + Other("C:\\w\\b.sav") + Found(1, "C:\\w\\") +
         Total(2),
     "Glimpset plugin: Bad filespec:  \"X<Y>Z\"\r\n", 1},
    {"with only bad specifications the current directory is searched", "q<r s>t", 0, 0,
     Other("C:\\w\\a.glim") + Other("C:\\w\\b.sav") + Other("C:\\w\\c.txt") +
         Other("C:\\w\\h.glim") + Found(4, "C:\\w\\"),
     "Glimpset plugin: Bad filespec:  \"Q<R\"\r\nGlimpset plugin: Bad filespec:  \"S>T\"\r\n", 1},
    {"/S searches every subdirectory depth first", "*.glim", 0, SEARCH_RECURSE,
     TopGlim + SubGlim + HidGlim + SysGlim + LnkGlim + Total(7), "", 0},
    {"/N:D passes over hidden subdirectories", "*.glim", 0, SEARCH_RECURSE | SEARCH_NO_HIDDEN,
     TopGlim + SubGlim + SysGlim + LnkGlim + Total(6), "", 0},
    {"/N:Z passes over system subdirectories", "*.glim", 0, SEARCH_RECURSE | SEARCH_NO_SYSTEM,
     TopGlim + SubGlim + HidGlim + LnkGlim + Total(6), "", 0},
    {"/N:J passes over links", "*.glim", 0, SEARCH_RECURSE | SEARCH_NO_REPARSE,
     TopGlim + SubGlim + HidGlim + SysGlim + Total(6), "", 0},
    {"/S with /N:S prints reports only", "*.glim", MODE_NO_TOTALS, SEARCH_RECURSE,
     Other("C:\\w\\a.glim") + Other("C:\\w\\h.glim") + Other("C:\\w\\sub\\d.glim") +
         Other("C:\\w\\sub\\deeper\\e.glim") + Other("C:\\w\\hid\\f.glim") +
         Other("C:\\w\\sys\\g.glim") + Other("C:\\w\\lnk\\l.glim"),
     "", 0},
    {"/S without any match reports the top directory only", "*.xyz", 0, SEARCH_RECURSE, Total(0),
     NoFiles("*.xyz", "C:\\w\\"), 0},
    {"/S /E without any match counts the top directory", "*.xyz", 0,
     SEARCH_RECURSE | SEARCH_EMPTY_OK, Found(0, "C:\\w\\") + Total(0), "", 0},
    {"/S from a directory", "C:\\w\\sub", 0, SEARCH_RECURSE,
     Other("C:\\w\\sub\\d.glim") + Found(1, "C:\\w\\sub") + Other("C:\\w\\sub\\deeper\\e.glim") +
         Found(1, "C:\\w\\sub\\deeper\\") + Total(2),
     "", 0},
};

TEST_F(SearchTest, SpecificationsAreSearchedAndCounted) {
    MakeTree();
    for (const SearchCase &row : SearchCases) {
        SCOPED_TRACE(row.behaviour);
        Outcome outcome = Report(row.tail, row.modeFlags, row.searchFlags);
        EXPECT_EQ(outcome.out, row.out);
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(outcome.result, row.result);
    }
}

TEST_F(SearchTest, CommandHandsItsOptionsToTheSearch) {
    MakeTree();
    struct {
        const char *tail;
        std::string out;
        int result;
    } rows[] = {
        {"/I *.glim", TopGlim, 0},
        {"/I /I *.glim", Found(2, "C:\\w\\"), 0},
        {"/I /N:O *.glim;*.sav", Found(3, "C:\\w\\"), 0},
        {"/I /S /N:DZJ *.glim", TopGlim + SubGlim + Total(4), 0},
        {"/I /S /N:S sub\\*.glim",
         Other("C:\\w\\sub\\d.glim") + Other("C:\\w\\sub\\deeper\\e.glim"), 0},
        {"/I /E empty", Found(0, "C:\\w\\empty"), 0},
        {"/I a.glim x<y", Other("C:\\w\\a.glim") + Found(1, "C:\\w\\"), 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.tail);
        Outcome outcome = glimtest::Glim(row.tail);
        EXPECT_EQ(outcome.out, row.out);
        EXPECT_EQ(outcome.result, row.result);
    }
}

TEST_F(SearchTest, ErrorLinesCarryTheBatchPrefix) {
    MakeTree();
    glimtest::SetBatch("C:\\jobs\\100%.btm", 7);
    Outcome outcome = glimtest::Glim("/I *.xyz a.glim q<r");
    EXPECT_EQ(outcome.err,
              "Glimpset plugin: C:\\jobs\\100%.btm [7]  No *.xyz files found in C:\\w\\\r\n"
              "Glimpset plugin: C:\\jobs\\100%.btm [7]  Bad filespec:  \"Q<R\"\r\n");
    EXPECT_EQ(outcome.result, 1);
}

TEST_F(SearchTest, UnresolvableDefaultSearchesNothingAndFails) {
    MakeTree();
    sim::FailAlways("GetFullPathNameW", ERROR_INVALID_NAME);
    Outcome outcome = Report("x", 0, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "Glimpset plugin: Bad filespec:  \"X\"\r\n");
    EXPECT_EQ(outcome.result, 2);
}

TEST_F(SearchTest, FailedReportOutweighsBadSpecification) {
    MakeTree();
    sim::SetUnreadable(u"C:\\w\\a.glim");
    EXPECT_EQ(Report("x<y a.glim", MODE_NO_TOTALS, 0).result, 2);
    EXPECT_EQ(Report("a.glim x<y", MODE_NO_TOTALS, 0).result, 2);
}

TEST_F(SearchTest, UnreadableFileIsReportedAndTheSearchGoesOn) {
    sim::MakeDirectory(u"C:\\u");
    sim::MakeFile(u"C:\\u\\1.glim", "x");
    sim::MakeFile(u"C:\\u\\2.glim", "x");
    sim::MakeFile(u"C:\\u\\3.glim", "x");
    sim::SetUnreadable(u"C:\\u\\2.glim");
    Outcome outcome = Report("C:\\u\\*.glim", 0, 0);
    EXPECT_EQ(outcome.out,
              Other("C:\\u\\1.glim") + "\r\n" + Other("C:\\u\\3.glim") + Found(3, "C:\\u\\"));
    EXPECT_EQ(outcome.err, "Glimpset plugin: Error reading \"C:\\u\\2.glim\":\r\n"
                           "    The system cannot read from the specified device.\r\n");
    EXPECT_EQ(outcome.result, 2);
}

TEST_F(SearchTest, EachFoundFileIsDescribedFromItsOwnHeader) {
    // Names that end in a period or a blank (made by other systems, shares,
    // archives and "\\?\" paths) lose that ending when a plain path names
    // them: t.glim. would be opened as t.glim. Only t.glim is a Glimpset file.
    SYSTEMTIME time = {};
    time.wYear = 2024;
    time.wMonth = 3;
    time.wDay = 5;
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    info.dwSize = {80, 25};
    info.srWindow = {0, 0, 79, 24};
    GlimpsetHeader header;
    FillGlimpsetHeader(&header, &time, 0, &info, 437, 437, u"SIMHOST");
    std::vector<uint8_t> bytes(sizeof header);
    memcpy(bytes.data(), &header, sizeof header);
    sim::MakeDirectory(u"C:\\d");
    sim::MakeFile(u"C:\\d\\t.glim", bytes);
    sim::MakeFile(u"\\\\?\\C:\\d\\t.glim.", "x");
    sim::MakeFile(u"\\\\?\\C:\\d\\t.glim ", "x");
    sim::MakeFile(u"\\\\?\\C:\\d\\u.glim.", "x");
    sim::MakeFile(u"\\\\?\\C:\\d\\v.glim. .", "x");
    sim::ClearOutput();
    ASSERT_EQ(ShowFileInfo(u"C:\\d\\t.glim", 0), 0);
    const std::string described = sim::Stdout();
    ASSERT_NE(described.find("\"C:\\d\\t.glim\" - Glimpset v1"), std::string::npos);
    struct {
        const char *tail;
        DWORD modeFlags;
        std::string out;
    } rows[] = {
        {"C:\\d\\*", 0,
         described + Other("C:\\d\\t.glim.") + Other("C:\\d\\t.glim ") + Other("C:\\d\\u.glim.") +
             Other("C:\\d\\v.glim. .") + Found(5, "C:\\d\\")},
        {"C:\\d\\t*", MODE_ONLY_KNOWN, described + Found(3, "C:\\d\\")},
        {"C:\\d\\u*", 0, Other("C:\\d\\u.glim.") + Found(1, "C:\\d\\")},
        {"C:/d/u*", 0, Other("C:\\d\\u.glim.") + Found(1, "C:\\d\\")},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.tail);
        Outcome outcome = Report(row.tail, row.modeFlags, 0);
        EXPECT_EQ(outcome.out, row.out);
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.result, 0);
    }
}

TEST_F(SearchTest, FailedReportBelowTheTopFailsTheCommand) {
    sim::MakeDirectory(u"C:\\u");
    sim::MakeDirectory(u"C:\\u\\v");
    sim::MakeFile(u"C:\\u\\v\\1.glim", "x");
    sim::SetUnopenable(u"C:\\u\\v\\1.glim");
    Outcome outcome = Report("C:\\u\\*.glim", MODE_NO_TOTALS, SEARCH_RECURSE);
    EXPECT_EQ(outcome.out, "\r\n");
    EXPECT_EQ(outcome.err, NoFiles("*.glim", "C:\\u\\") +
                               "Glimpset plugin: Error opening \"C:\\u\\v\\1.glim\":\r\n"
                               "    Access is denied.\r\n");
    EXPECT_EQ(outcome.result, 2);
}

TEST_F(SearchTest, GetNamePartFindsTheLastComponent) {
    struct {
        const char16_t *path;
        const char16_t *name;
    } rows[] = {
        {u"C:\\w\\x.glim", u"x.glim"},
        {u"C:x.glim", u"x.glim"},
        {u"x.glim", u"x.glim"},
        {u"a/b\\c", u"c"},
        {u"a\\b/c", u"c"},
        {u"C:\\w\\", u""},
        {u"D:", u""},
        {u"a:b\\c:d", u"c:d"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(sim::U8(row.path));
        WCHAR buffer[PATH_CAPACITY];
        buffer[0] = '?';
        buffer[1] = 0;
        EXPECT_EQ(GetNamePart(row.path, buffer), buffer);
        EXPECT_EQ(std::u16string(buffer), row.name);
        const WCHAR *inside = GetNamePart(row.path, nullptr);
        ASSERT_NE(inside, nullptr);
        EXPECT_EQ(std::u16string(inside), row.name);
        EXPECT_EQ(inside + TextLength(inside), row.path + TextLength(row.path));
    }
    WCHAR untouched[4] = {'k', 0};
    EXPECT_EQ(GetNamePart(u"", untouched), nullptr);
    EXPECT_EQ(GetNamePart(nullptr, untouched), nullptr);
    EXPECT_EQ(untouched[0], 'k');
}

TEST_F(SearchTest, NormalizeFileSpecTurnsSemicolonsOfTheNamePartIntoBars) {
    sim::MakeDirectory(u"C:\\w");
    sim::SetCurrentDirectory(u"C:\\w");
    struct {
        const char16_t *spec;
        const char16_t *prepared;
    } rows[] = {
        {u"C:\\w\\*.glim;*.sav", u"C:\\w\\*.glim|*.sav"},
        {u"*.glim;*.sav", u"C:\\w\\*.glim|*.sav"},
        {u"C:\\a;b\\*.glim", u"C:\\a;b\\*.glim"},
        {u"C:\\a;b\\c;d", u"C:\\a;b\\c|d"},
        {u"C:*.glim;x", u"C:\\w\\*.glim|x"},
        {u"x;y", u"C:\\w\\x|y"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(sim::U8(row.spec));
        WCHAR output[PATH_CAPACITY];
        output[0] = 0;
        NormalizeFileSpec(row.spec, output);
        EXPECT_EQ(std::u16string(output), row.prepared);
    }
}

TEST_F(SearchTest, AbsentOrEmptyPathSearchesNothing) {
    DWORD total = 5;
    EXPECT_EQ(ListFiles(nullptr, 0, 0, &total), -1);
    EXPECT_EQ(ListFiles(u"", SEARCH_RECURSE, 0, &total), -1);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(sim::Stdout(), "");
    EXPECT_EQ(sim::Stderr(), "");
    EXPECT_EQ(sim::CallCount("FindFirstFileW"), 0);
}

TEST_F(SearchTest, EmptyPatternMatchesNothing) {
    sim::MakeDirectory(u"C:\\w");
    sim::MakeFile(u"C:\\w\\a.glim", "x");
    DWORD total = 0;
    EXPECT_EQ(ListFiles(u"C:\\w\\gone\\", 0, 0, &total), 0);
    EXPECT_EQ(sim::Stdout(), "");
    EXPECT_EQ(sim::Stderr(), NoFiles("", "C:\\w\\gone\\"));
    EXPECT_EQ(total, 0u);
}

TEST_F(SearchTest, TotalIsAddedToAndMayBeAbsent) {
    sim::MakeDirectory(u"C:\\w");
    sim::MakeFile(u"C:\\w\\a.glim", "x");
    sim::MakeDirectory(u"C:\\w\\s");
    sim::MakeFile(u"C:\\w\\s\\b.glim", "x");
    DWORD total = 10;
    EXPECT_EQ(ListFiles(u"C:\\w\\*.glim", SEARCH_RECURSE, MODE_NO_TOTALS, &total), 0);
    EXPECT_EQ(total, 12u);
    EXPECT_EQ(ListFiles(u"C:\\w\\*.glim", SEARCH_RECURSE, MODE_NO_TOTALS, nullptr), 0);
}

TEST_F(SearchTest, DeepestTreeIsSearchedToTheBottomInLittleMemory) {
    // Levels of one-character names down to the deepest whose specification
    // (with "*.glim") still fits a path buffer: 5 + 2 x 8186 + 6 characters.
    const int deepest = (PATH_CAPACITY - 1 - 5 - 6) / 2;
    std::u16string bottom = u"C:\\d";
    for (int level = 0; level < deepest; level++) {
        bottom += u"\\d";
    }
    sim::MakeDirectory(bottom + u"\\d");
    sim::MakeFile(bottom + u"\\d\\never.glim", "x");
    sim::MakeFile(u"C:\\d\\x.glim", "x");
    sim::MakeFile(bottom + u"\\x.glim", "x");
    // Its path does not fit a path buffer: reported, not counted in silence.
    sim::MakeFile(bottom + u"\\" + std::u16string(200, u'y') + u".glim", "x");
    sim::ResetPeak();
    DWORD total = 0;
    EXPECT_EQ(ListFiles(u"C:\\d\\*.glim", SEARCH_RECURSE, MODE_ONLY_KNOWN | MODE_NO_TOTALS, &total),
              -2);
    RecordProperty("peakHeapBytes", std::to_string(sim::PeakBytes()));
    EXPECT_LE(sim::PeakBytes(), 16u << 20);
    EXPECT_EQ(total, 3u);
    EXPECT_EQ(sim::Stdout(), "\r\n");
    std::string err = sim::Stderr();
    // The path is shown by its end: its name whole, after an ellipsis.
    EXPECT_EQ(err.rfind("Glimpset plugin: Error opening \"…", 0), 0u);
    const std::string tooLong = sim::U8(u"\\" + std::u16string(200, u'y')) +
                                ".glim\":\r\n    The filename or extension is too long.\r\n";
    ASSERT_GE(err.size(), tooLong.size());
    EXPECT_EQ(err.substr(err.size() - tooLong.size()), tooLong);
}

TEST_F(SearchTest, VolumeWithoutFileIndexesIsSearchedWhole) {
    // A file system that reports the index 0 for every directory gives no
    // identities: no directory may be taken for one on the path.
    MakeTree();
    Outcome known = Report("C:\\w\\*.glim", 0, SEARCH_RECURSE);
    sim::SetZeroFileIndex(true);
    Outcome zero = Report("C:\\w\\*.glim", 0, SEARCH_RECURSE);
    EXPECT_EQ(zero.out, known.out);
    EXPECT_EQ(zero.err, known.err);
    EXPECT_EQ(zero.result, known.result);
    EXPECT_NE(zero.out.find("C:\\w\\sub\\deeper\\e.glim"), std::string::npos);
}

TEST_F(SearchTest, NamesFromTheVolumeAreShownWithoutControls) {
    // Windows allows C1 and bidirectional controls in names; the lines show
    // U+FFFD in their place, and the file is still opened by its own name.
    sim::MakeDirectory(u"C:\\n\u009B2J");
    sim::MakeFile(u"C:\\n\u009B2J\\a\u202Egnp.glim", "x");
    sim::MakeFile(u"C:\\n\u009B2J\\b\u2066.glim", "x");
    sim::SetUnreadable(u"C:\\n\u009B2J\\b\u2066.glim");
    Outcome outcome = Report("C:\\n\u009B2J\\*.glim", 0, 0);
    EXPECT_EQ(outcome.out,
              Other("C:\\n\uFFFD2J\\a\uFFFDgnp.glim") + "\r\n" + Found(2, "C:\\n\uFFFD2J\\"));
    EXPECT_EQ(outcome.err, "Glimpset plugin: Error reading \"C:\\n\uFFFD2J\\b\uFFFD.glim\":\r\n"
                           "    The system cannot read from the specified device.\r\n");
    outcome = Report("C:\\n\u009B2J\\*.t\u202Ext", 0, 0);
    EXPECT_EQ(outcome.err, NoFiles("*.t\uFFFDxt", "C:\\n\uFFFD2J\\"));
}

TEST_F(SearchTest, LinkBackIntoItsOwnTreeIsNotFollowed) {
    // C:\c\s\back leads to the top, C:\c\s\self to its own directory, and
    // C:\c\s\side to C:\c\t, which is not on the path and is searched twice.
    sim::MakeDirectory(u"C:\\c");
    sim::MakeFile(u"C:\\c\\x.glim", "x");
    sim::MakeDirectory(u"C:\\c\\s");
    sim::MakeFile(u"C:\\c\\s\\y.glim", "x");
    sim::MakeDirectory(u"C:\\c\\t");
    sim::MakeFile(u"C:\\c\\t\\z.glim", "x");
    sim::MakeLink(u"C:\\c\\s\\back", u"C:\\c");
    sim::MakeLink(u"C:\\c\\s\\self", u"C:\\c\\s");
    sim::MakeLink(u"C:\\c\\s\\side", u"C:\\c\\t");
    sim::MakeLink(u"C:\\c\\t\\up", u"C:\\c\\s");
    Outcome outcome = Report("C:\\c\\*.glim", 0, SEARCH_RECURSE);
    // Below C:\c\t\up every link leads to a directory on the path.
    EXPECT_EQ(outcome.out, Other("C:\\c\\x.glim") + Found(1, "C:\\c\\") +
                               Other("C:\\c\\s\\y.glim") + Found(1, "C:\\c\\s\\") +
                               Other("C:\\c\\s\\side\\z.glim") + Found(1, "C:\\c\\s\\side\\") +
                               Other("C:\\c\\t\\z.glim") + Found(1, "C:\\c\\t\\") +
                               Other("C:\\c\\t\\up\\y.glim") + Found(1, "C:\\c\\t\\up\\") +
                               Total(5));
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.result, 0);
}

TEST_F(SearchTest, LinkToAnAncestorDoesNotLeadDownIntoThePathAgain) {
    // From C:\\p\\s, the link up leads to C:\\p, whose plain directory s is
    // the top again, and is not searched a second time.
    sim::MakeDirectory(u"C:\\p\\s");
    sim::MakeFile(u"C:\\p\\x.glim", "x");
    sim::MakeFile(u"C:\\p\\s\\y.glim", "x");
    sim::MakeLink(u"C:\\p\\s\\up", u"C:\\p");
    Outcome outcome = Report("C:\\p\\s\\*.glim", MODE_ONLY_KNOWN, SEARCH_RECURSE);
    EXPECT_EQ(outcome.out, Found(1, "C:\\p\\s\\") + Found(1, "C:\\p\\s\\up\\") + Total(2));
    EXPECT_EQ(outcome.result, 0);
}

TEST_F(SearchTest, CycleWithoutIdentitiesEndsWhenThePathNoLongerFits) {
    // Long names make few levels before a path would exceed its buffer.
    std::u16string name(250, u'n');
    sim::MakeDirectory(u"C:\\c");
    sim::MakeFile(u"C:\\c\\x.glim", "x");
    sim::MakeLink(u"C:\\c\\" + name, u"C:\\c");
    sim::FailAlways("GetFileInformationByHandle", ERROR_INVALID_FUNCTION);
    DWORD total = 0;
    EXPECT_EQ(ListFiles(u"C:\\c\\*.glim", SEARCH_RECURSE, MODE_ONLY_KNOWN | MODE_NO_TOTALS, &total),
              0);
    // Below "C:\c\" one level for each name and backslash for which the
    // subdirectory's specification (with "*.glim") still fits its buffer.
    EXPECT_EQ(total, (DWORD)((PATH_CAPACITY - 1 - 5 - 6) / 251 + 1));
}

TEST_F(SearchTest, AllocationFailureEndsOneBranchOnly) {
    // 70 levels with a file each, and a directory beside the first level.
    std::u16string path = u"C:\\w";
    for (int level = 0; level < 70; level++) {
        sim::MakeFile(path + u"\\a.glim", "x");
        path += u"\\s";
    }
    sim::MakeDirectory(u"C:\\w\\t");
    sim::MakeFile(u"C:\\w\\t\\c.glim", "x");

    sim::FailCall("HeapAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    DWORD total = 0;
    EXPECT_EQ(ListFiles(u"C:\\w\\*.glim", SEARCH_RECURSE, MODE_ONLY_KNOWN, &total), -2);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Can’t allocate temporary buffers\r\n");
    EXPECT_EQ(sim::Stdout(), "");
    EXPECT_EQ(total, 0u);

    // Past the first 64 levels the walk needs more room for its levels:
    // without it, the level below goes unsearched, and the rest is searched.
    sim::ClearOutput();
    sim::FailCall("HeapAlloc", 2, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ListFiles(u"C:\\w\\*.glim", SEARCH_RECURSE, MODE_ONLY_KNOWN | MODE_NO_TOTALS, &total),
              -2);
    EXPECT_EQ(sim::Stderr(), "Glimpset plugin: Can’t allocate temporary buffers\r\n");
    EXPECT_EQ(total, 65u);
}

TEST_F(SearchTest, AllocationFailureFailsTheCommand) {
    sim::MakeDirectory(u"C:\\w");
    sim::MakeFile(u"C:\\w\\a.glim", "x");
    sim::FailAlways("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY);
    Outcome outcome = Report("C:\\w\\*.glim", 0, 0);
    EXPECT_EQ(outcome.result, 2);
    EXPECT_EQ(outcome.err, "Glimpset plugin: Can’t allocate temporary buffers\r\n");
    EXPECT_EQ(outcome.out, "");
}

} // namespace
