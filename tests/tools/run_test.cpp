// run_test.cpp: the glimview program on real files: its options, its
// messages and exit statuses, --force, the page and image it writes, and
// --grep across several files.
#include "command/options.h"
#include "save/save.h"
#include "tests/support/glimtest.h"
#include "tests/tools/viewtest.h"
#include "winsim/sim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <sys/stat.h>

using namespace viewtest;

namespace {

class RunTest : public glimtest::GlimTest {
  protected:
    void SetUp() override {
        glimtest::GlimTest::SetUp();
        dir = Scratch();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        glimtest::GlimTest::TearDown();
    }
    std::string dir;
};

Screen Prompt() {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"C:\\>glim", 0x07);
    Put(screen, 1, 0, u"done", 0x0A);
    screen.cursorRow = 2;
    return screen;
}

struct UsageCase {
    const char *behaviour;
    std::vector<std::string> arguments;
    const char *err;
};

TEST_F(RunTest, UsageErrorsExitWithOne) {
    const UsageCase cases[] = {
        {"no file", {}, "glimview: no file given.\nTry \"glimview --help\".\n"},
        {"only options",
         {"--text", "--window"},
         "glimview: no file given.\nTry \"glimview --help\".\n"},
        {"an unknown option",
         {"--colour", "x.glim"},
         "glimview: unknown option \"--colour\".\nTry \"glimview --help\".\n"},
        {"two files",
         {"a.glim", "b.glim"},
         "glimview: one file at a time; \"b.glim\" is one too many.\n"},
        {"--html without a name",
         {"x.glim", "--html"},
         "glimview: --html needs the name of the page to write.\n"},
        {"--html= without a name",
         {"--html=", "x.glim"},
         "glimview: --html needs the name of the page to write.\n"},
        {"--text and --html",
         {"--text", "--html", "p.html", "x.glim"},
         "glimview: --text, --html, --svg and --grep exclude each other.\n"},
        {"--html and --svg",
         {"--svg=p.svg", "--html", "p.html", "x.glim"},
         "glimview: --text, --html, --svg and --grep exclude each other.\n"},
        {"--svg without a name",
         {"x.glim", "--svg"},
         "glimview: --svg needs the name of the image to write.\n"},
        {"-i without --grep", {"-i", "x.glim"}, "glimview: -i goes with --grep.\n"},
        {"\"--grep\" as the name of the image",
         {"--svg", "--grep"},
         "glimview: no file given.\nTry \"glimview --help\".\n"},
        {"an escape in an option",
         {"--\x1b[31m", "x.glim"},
         "glimview: unknown option \"--\u241b[31m\".\nTry \"glimview --help\".\n"},
    };
    for (const UsageCase &c : cases) {
        Outcome run = RunView(c.arguments);
        EXPECT_EQ(1, run.status) << c.behaviour;
        EXPECT_EQ("", run.out) << c.behaviour;
        EXPECT_EQ(c.err, run.err) << c.behaviour;
    }
}

TEST_F(RunTest, HelpShowsTheUsageAndSucceeds) {
    for (const char *option : {"--help", "-h", "-?"}) {
        Outcome run = RunView({"--text", option});
        EXPECT_EQ(0, run.status) << option;
        EXPECT_EQ(0u, run.out.find("Usage: glimview [--text | --html OUT | --svg OUT] [--window] "
                                   "[--force] FILE\n"))
            << option;
        EXPECT_EQ("", run.err) << option;
    }
}

TEST_F(RunTest, AFileIsShownInColourByDefault) {
    WriteBytes(dir + "s.glim", GlimpsetBytes(Prompt()));
    Outcome run = RunView({dir + "s.glim"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("\x1b[0;37;40mC:\\>glim" + std::string(14, ' ') +
                  "\x1b[0m\n\x1b[0;92;40mdone\x1b[0;37;40m" + std::string(18, ' ') + "\x1b[0m\n",
              run.out);
    EXPECT_EQ("", run.err);
}

TEST_F(RunTest, TextAndWindowOptionsGoTogetherInAnyOrder) {
    WriteBytes(dir + "s.glim", GlimpsetBytes(Prompt()));
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"--text", dir + "s.glim"},
          std::vector<std::string>{dir + "s.glim", "--text", "--window"},
          std::vector<std::string>{"--window", "--text", "--", dir + "s.glim"}}) {
        Outcome run = RunView(arguments);
        EXPECT_EQ(0, run.status);
        EXPECT_EQ("C:\\>glim\ndone\n", run.out);
    }
}

TEST_F(RunTest, ANameAfterTheEndOfOptionsMayStartWithAHyphen) {
    WriteBytes(dir + "-odd.glim", GlimpsetBytes(Prompt()));
    Outcome run = RunView({"--text", "--", dir + "-odd.glim"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("C:\\>glim\ndone\n", run.out);
}

struct BadFileCase {
    const char *behaviour;
    std::vector<uint8_t> bytes;
    const char *err; // "%s" stands for the file's name
};

std::string WithName(const char *text, const std::string &name) {
    std::string result = text;
    size_t at = result.find("%s");
    if (at != std::string::npos) {
        result.replace(at, 2, name);
    }
    return result;
}

TEST_F(RunTest, BadFilesExitWithTwoAndSayWhy) {
    std::vector<uint8_t> sound = GlimpsetBytes(Prompt());
    std::vector<uint8_t> cut = sound;
    cut.resize(cut.size() - 2);
    std::vector<uint8_t> crc = GlimpsetBytes(Prompt());
    PutDword(crc, offsetof(GlimpsetHeader, crc), 0xDEADBEEF);
    std::vector<uint8_t> version = GlimpsetBytes(Prompt());
    PutWord(version, offsetof(GlimpsetHeader, version), 7);
    DWORD computed = ScreenCrc32(Prompt().characters.data(), Prompt().attributes.data(), 176);
    char crcMessage[200];
    snprintf(crcMessage, sizeof crcMessage,
             "glimview: \"%%s\": CRC32 mismatch (stored DEADBEEF, computed %08X); --force shows "
             "the cells anyway.\n",
             (unsigned)computed);
    const BadFileCase cases[] = {
        {"empty", {}, "glimview: \"%s\" is too short to be a Glimpset or SAVECON file.\n"},
        {"79 bytes", std::vector<uint8_t>(sound.begin(), sound.begin() + 79),
         "glimview: \"%s\" is too short to be a Glimpset or SAVECON file.\n"},
        {"text", std::vector<uint8_t>(200, 'x'),
         "glimview: \"%s\" is not a Glimpset or SAVECON file.\n"},
        {"truncated", cut, "glimview: \"%s\": the data ends before the last cell.\n"},
        {"damaged", crc, crcMessage},
        {"version 7", version,
         "glimview: \"%s\": unsupported Glimpset file version 7; --force shows the cells "
         "anyway.\n"},
    };
    for (const BadFileCase &c : cases) {
        std::string name = dir + "bad.glim";
        WriteBytes(name, c.bytes);
        Outcome run = RunView({"--text", name});
        EXPECT_EQ(2, run.status) << c.behaviour;
        EXPECT_EQ("", run.out) << c.behaviour;
        EXPECT_EQ(WithName(c.err, name), run.err) << c.behaviour;
    }
}

TEST_F(RunTest, ForceShowsTheCellsOfADamagedFile) {
    std::vector<uint8_t> crc = GlimpsetBytes(Prompt());
    PutDword(crc, offsetof(GlimpsetHeader, crc), 0x00000001);
    WriteBytes(dir + "crc.glim", crc);
    Outcome run = RunView({"--text", "--force", dir + "crc.glim"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("C:\\>glim\ndone\n", run.out);
    char expected[200];
    snprintf(expected, sizeof expected,
             "glimview: \"%scrc.glim\": CRC32 mismatch (stored 00000001, computed %08X); the "
             "cells are shown anyway.\n",
             dir.c_str(),
             (unsigned)ScreenCrc32(Prompt().characters.data(), Prompt().attributes.data(), 176));
    EXPECT_EQ(expected, run.err);
}

TEST_F(RunTest, ForceShowsATruncatedFileWithBlanksWhereItEnds) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"abcdef", 0x07);
    std::vector<uint8_t> bytes = GlimpsetBytes(screen);
    bytes.resize(HEADER_SIZE + 8); // "abcd"
    WriteBytes(dir + "cut.glim", bytes);
    Outcome run = RunView({"--force", "--text", dir + "cut.glim"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("abcd\n", run.out);
    EXPECT_EQ("glimview: \"" + dir +
                  "cut.glim\": the data ends before the last cell; the cells it does not reach "
                  "are shown blank.\n",
              run.err);
}

TEST_F(RunTest, ForceShowsAnotherVersion) {
    std::vector<uint8_t> bytes = GlimpsetBytes(Prompt());
    PutWord(bytes, offsetof(GlimpsetHeader, version), 2);
    WriteBytes(dir + "v2.glim", bytes);
    Outcome run = RunView({"--force", "--text", dir + "v2.glim"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("C:\\>glim\ndone\n", run.out);
    EXPECT_EQ("glimview: \"" + dir +
                  "v2.glim\": unsupported Glimpset file version 2; the cells are shown anyway.\n",
              run.err);
}

TEST_F(RunTest, ForceDoesNotMakeAnUnknownFileAScreen) {
    WriteBytes(dir + "x.txt", std::vector<uint8_t>(100, 'x'));
    Outcome run = RunView({"--force", dir + "x.txt"});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("", run.out);
}

TEST_F(RunTest, AMissingFileGivesTheSystemsReason) {
    Outcome run = RunView({dir + "missing.glim"});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("glimview: cannot open \"" + dir + "missing.glim\": No such file or directory\n",
              run.err);
}

TEST_F(RunTest, ASaveconFileIsShown) {
    Screen screen = Blank(22, 8, 0x1F);
    Put(screen, 0, 0, u"SAVECON", 0x1E);
    screen.windowHeight = 5;
    WriteBytes(dir + "s.sav", SaveconBytes(screen, true));
    Outcome run = RunView({dir + "s.sav"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("\x1b[0;93;44mSAVECON\x1b[0;97;44m" + std::string(15, ' ') + "\x1b[0m\n", run.out);
}

TEST_F(RunTest, TheHtmlPageIsWrittenToItsFile) {
    WriteBytes(dir + "s.glim", GlimpsetBytes(Prompt()));
    Outcome run = RunView({"--html", dir + "page.html", dir + "s.glim"});
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("", run.err);
    std::string page = ReadText(dir + "page.html");
    EXPECT_EQ(0u, page.find("<!DOCTYPE html>\n"));
    EXPECT_NE(std::string::npos, page.find("<title>" + dir +
                                           "s.glim, taken 2024-03-05 "
                                           "09:07:02 UTC+1:00 on SIMHOST</title>"));
    // The same page on standard output with "-".
    Outcome piped = RunView({"--html=-", dir + "s.glim"});
    EXPECT_EQ(0, piped.status);
    EXPECT_EQ(page, piped.out);
    // The image likewise, to its file and to standard output.
    Outcome image = RunView({"--svg", dir + "s.svg", dir + "s.glim"});
    EXPECT_EQ(0, image.status);
    EXPECT_EQ("", image.out + image.err);
    EXPECT_EQ(0u,
              ReadText(dir + "s.svg").find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg "));
    EXPECT_EQ(ReadText(dir + "s.svg"), RunView({"--svg=-", dir + "s.glim"}).out);
}

TEST_F(RunTest, ABadFileLeavesAnExistingPageAsItWas) {
    WriteBytes(dir + "page.html", {'o', 'l', 'd'});
    WriteBytes(dir + "bad.glim", std::vector<uint8_t>(100, 'x'));
    Outcome run = RunView({"--html", dir + "page.html", dir + "bad.glim"});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("old", ReadText(dir + "page.html"));
}

TEST_F(RunTest, NeitherPageNorImageIsEverWrittenOverTheFileShown) {
    std::vector<uint8_t> bytes = GlimpsetBytes(Prompt());
    WriteBytes(dir + "s.glim", bytes);
    std::filesystem::create_directory(dir + "sub");
    std::filesystem::create_hard_link(dir + "s.glim", dir + "hard.glim");
    std::filesystem::create_symlink(dir + "s.glim", dir + "soft.glim");
    const struct {
        const char *behaviour;
        std::string output;
    } cases[] = {
        {"the same name", dir + "s.glim"},
        {"another spelling", dir + "sub/../s.glim"},
        {"a hard link", dir + "hard.glim"},
        {"a symbolic link", dir + "soft.glim"},
    };
    for (const auto &c : cases) {
        for (const char *option : {"--html", "--svg"}) {
            Outcome run = RunView({option, c.output, dir + "s.glim"});
            EXPECT_EQ(2, run.status) << c.behaviour << option;
            EXPECT_EQ("", run.out) << c.behaviour << option;
            EXPECT_EQ("glimview: will not write over \"" + c.output +
                          "\": it is the file being shown.\n",
                      run.err)
                << c.behaviour << option;
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ReadText(dir + "s.glim"))
                << c.behaviour << option;
        }
    }
}

TEST_F(RunTest, APageThatCannotBeCreatedIsAFailure) {
    WriteBytes(dir + "s.glim", GlimpsetBytes(Prompt()));
    Outcome run = RunView({"--html", dir + "no/such/dir/page.html", dir + "s.glim"});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("glimview: cannot create \"" + dir +
                  "no/such/dir/page.html\": No such file or directory\n",
              run.err);
}

TEST_F(RunTest, AFailedWriteIsAFailure) {
    WriteBytes(dir + "s.glim", GlimpsetBytes(Prompt()));
    std::unique_ptr<Capture> out = NewCapture();
    std::unique_ptr<Capture> err = NewCapture();
    out->fail = true;
    std::string name = dir + "s.glim";
    char text[] = "--text";
    char *argv[] = {text, &name[0], nullptr};
    EXPECT_EQ(2, GlimviewRun(2, argv, NULL, &out->sink, &err->sink));
    EXPECT_EQ("glimview: writing the output failed.\n", err->text);
}

TEST_F(RunTest, AFullDiskIsAFailure) {
    struct stat full;
    if (stat("/dev/full", &full) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    WriteBytes(dir + "s.glim", GlimpsetBytes(Prompt()));
    Outcome run = RunView({"--html", "/dev/full", dir + "s.glim"});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("glimview: cannot write \"/dev/full\": No space left on device\n", run.err);
}

TEST_F(RunTest, RunningOutOfMemoryIsAFailureThatHoldsNothing) {
    WriteBytes(dir + "s.glim", GlimpsetBytes(Prompt()));
    // The arguments, the file's bytes, the read buffer, two cell arrays, the
    // page's sink and its file: seven allocations, each of which may fail.
    for (int nth = 1; nth <= 8; nth++) {
        sim::ClearFailures();
        sim::FailCall("HeapAlloc", nth, ERROR_NOT_ENOUGH_MEMORY);
        Outcome run = RunView({"--html", dir + "page.html", dir + "s.glim"});
        sim::ClearFailures();
        EXPECT_EQ(0, sim::LiveAllocations()) << nth;
        EXPECT_EQ(nth <= 7 ? 2 : 0, run.status) << nth;
        EXPECT_EQ(nth <= 7, run.err.find("memory") != std::string::npos) << nth << run.err;
    }
}

} // namespace

namespace {

// ---- --grep.

// The screens searched: matches at the first and the last row and column,
// letters of other scripts, a SAVECON file, and a damaged copy.
void WriteSearchedFiles(const std::string &dir) {
    Screen a = Blank(22, 8, 0x07);
    Put(a, 0, 0, u"Error at start", 0x0C);
    Put(a, 2, 0, u"CAF\u00c9 \u041e\u0428\u0418\u0411\u041a\u0410", 0x07);
    Put(a, 3, 0, u"tab\there", 0x07);
    Put(a, 7, 14, u"build 42", 0x1F);
    a.cursorRow = 7;
    a.windowHeight = 3;
    WriteBytes(dir + "a.glim", GlimpsetBytes(a));
    Screen b = Blank(22, 8, 0x1F);
    Put(b, 4, 2, u"an error here", 0x1E);
    b.windowHeight = 5;
    WriteBytes(dir + "b.sav", SaveconBytes(b, true));
    Screen bad = Blank(22, 8, 0x07);
    Put(bad, 1, 0, u"error, damaged", 0x07);
    std::vector<uint8_t> damaged = GlimpsetBytes(bad);
    PutDword(damaged, offsetof(GlimpsetHeader, crc), 0x12345678);
    WriteBytes(dir + "bad.glim", damaged);
}

struct GrepCase {
    const char *behaviour;
    std::vector<std::string> arguments; // "@" stands for the scratch directory
    const char *out;
    const char *err; // the start of standard error
    int status;
};

std::string AtDir(const std::string &text, const std::string &dir) {
    std::string result;
    for (char c : text) {
        result += c == '@' ? dir : std::string(1, c);
    }
    return result;
}

// A screen saved from the console as the console holds it (a wide
// character in two flagged cells, an emoji as U+FFFD in two) shows every
// character once, in its place, and --grep finds a CJK word.
TEST_F(RunTest, WideCharactersSavedFromTheConsoleShowOnceAndAreFound) {
    sim::ConsoleResize(80, 25);
    sim::ConsolePutText(0, 0, u"\u4E2D\u6587\u5B57 ok", 0x07);
    sim::ConsolePutText(0, 1, u"\U0001F600 smile", 0x1E);
    sim::ConsolePutText(78, 2, u"x\u4E2D", 0x07);
    std::u16string target = u"C:\\wide.glim";
    std::vector<WCHAR> path(16384, 0);
    std::copy(target.begin(), target.end(), path.begin());
    ASSERT_EQ(0, SaveScreen(path.data(), MODE_QUIET));
    WriteBytes(dir + "wide.glim", sim::FileBytes(target));

    Outcome text = RunView({"--text", dir + "wide.glim"});
    EXPECT_EQ(0, text.status);
    EXPECT_EQ("\u4E2D\u6587\u5B57 ok\n\uFFFD smile\n" + std::string(78, ' ') + "x\n\u4E2D\n",
              text.out);
    Outcome grep = RunView({"--grep", "\u6587\u5B57", dir + "wide.glim"});
    EXPECT_EQ(0, grep.status);
    EXPECT_EQ(dir + "wide.glim:1: \u4E2D\u6587\u5B57 ok\n", grep.out);
}

TEST_F(RunTest, GrepFindsRowsAcrossFilesWithGrepsExitStatuses) {
    WriteSearchedFiles(dir);
    const GrepCase cases[] = {
        {"the first row and column",
         {"--grep", "Err", "@a.glim"},
         "@a.glim:1: Error at start\n",
         "",
         0},
        {"the last row and column",
         {"--grep", "42", "@a.glim"},
         "@a.glim:8:               build 42\n",
         "",
         0},
        {"case matters", {"--grep", "error", "@a.glim"}, "", "", 1},
        {"-i ignores it, in any place",
         {"--grep", "error", "@a.glim", "-i", "@b.sav"},
         "@a.glim:1: Error at start\n@b.sav:5:   an error here\n",
         "",
         0},
        {"-i folds Latin-1 and Cyrillic",
         {"--grep", "-i", "caf\u00e9 \u043e\u0448\u0438\u0431\u043a\u0430", "@a.glim"},
         "@a.glim:3: CAF\u00c9 \u041e\u0428\u0418\u0411\u041a\u0410\n",
         "",
         0},
        {"a control is found as it is shown",
         {"--grep", "b\t", "@a.glim"},
         "@a.glim:4: tab\u2409here\n",
         "",
         0},
        {"a damaged file between two good ones",
         {"--grep", "-i", "error", "@a.glim", "@bad.glim", "@b.sav"},
         "@a.glim:1: Error at start\n@b.sav:5:   an error here\n",
         "glimview: \"@bad.glim\": CRC32 mismatch",
         2},
        {"--force searches it",
         {"--grep", "--force", "-i", "error", "@a.glim", "@bad.glim"},
         "@a.glim:1: Error at start\n@bad.glim:2: error, damaged\n",
         "glimview: \"@bad.glim\": CRC32 mismatch",
         0},
        {"a missing file",
         {"--grep", "x", "@missing.glim", "@a.glim"},
         "",
         "glimview: cannot open \"@missing.glim\"",
         2},
        {"--window: the window's rows, numbered in the buffer",
         {"--grep", "--window", "-i", "B", "@a.glim"},
         "@a.glim:8:               build 42\n",
         "",
         0},
        {"an empty text: every row --text shows",
         {"--grep", "", "@b.sav"},
         "@b.sav:1: \n@b.sav:2: \n@b.sav:3: \n@b.sav:4: \n@b.sav:5:   an error here\n",
         "",
         0},
        {"a text no row can hold", {"--grep", std::string(513, 'x'), "@a.glim"}, "", "", 1},
        {"no text", {"--grep"}, "", "glimview: --grep needs the text to look for.\n", 2},
        {"no file", {"--grep", "x"}, "", "glimview: no file given.\n", 2},
        {"a usage error before --grep",
         {"--bad", "--grep", "x", "@a.glim"},
         "",
         "glimview: unknown option \"--bad\".\n",
         2},
        {"--grep and --text",
         {"--text", "--grep", "x", "@a.glim"},
         "",
         "glimview: --text, --html, --svg and --grep exclude each other.\n",
         2},
    };
    for (const GrepCase &c : cases) {
        std::vector<std::string> arguments;
        for (const std::string &argument : c.arguments) {
            arguments.push_back(AtDir(argument, dir));
        }
        Outcome run = RunView(arguments);
        EXPECT_EQ(c.status, run.status) << c.behaviour;
        EXPECT_EQ(AtDir(c.out, dir), run.out) << c.behaviour;
        EXPECT_EQ(0u, run.err.find(AtDir(c.err, dir))) << c.behaviour << ": " << run.err;
        if (c.err[0] == 0) {
            EXPECT_EQ("", run.err) << c.behaviour;
        }
    }
}

} // namespace

namespace {

// ---- --diff.

// The screen a test program left: a command, its output in colour, a clock.
Screen Before() {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"C:\\>build", 0x07);
    Put(screen, 1, 0, u"ok", 0x0A);
    Put(screen, 3, 0, u"at 12:00:01", 0x07);
    screen.cursorRow = 2;
    screen.windowHeight = 8;
    return screen;
}

// Sets the cells [column, column + 2) to one double-width character.
void PutWide(Screen &screen, int row, int column, char16_t character) {
    Put(screen, row, column, std::u16string(2, character), 0x07);
    screen.attributes[row * screen.columns + column] |= 0x0100;
    screen.attributes[row * screen.columns + column + 1] |= 0x0200;
}

// The screen in a buffer of another size, its cells at the same places.
Screen Resized(const Screen &screen, int columns, int rows) {
    Screen resized = Blank(columns, rows, 0x07);
    for (int row = 0; row < std::min(rows, screen.rows); row++) {
        for (int column = 0; column < std::min(columns, screen.columns); column++) {
            resized.characters[row * columns + column] =
                screen.characters[row * screen.columns + column];
            resized.attributes[row * columns + column] =
                screen.attributes[row * screen.columns + column];
        }
    }
    resized.cursorRow = screen.cursorRow;
    return resized;
}

struct DiffCase {
    const char *behaviour;
    Screen newer;
    std::vector<std::string> options;
    const char *listing; // after the two header lines; "" for none at all
    int status;
    const Screen *older = nullptr; // Before() unless given
};

TEST_F(RunTest, DiffListsWhatDiffersWithDiffsExitStatuses) {
    Screen character = Before();
    Put(character, 0, 5, u"U", 0x07);
    Screen colour = Before();
    Put(colour, 1, 0, u"ok", 0x0C);
    Screen olderWide = Before();
    PutWide(olderWide, 0, 10, u'\u4e2d');
    Screen wide = Before();
    PutWide(wide, 0, 10, u'\u6587');
    Screen olderPair = Before();
    Put(olderPair, 0, 10, u"\U0001F600", 0x07);
    Screen pair = Before();
    Put(pair, 0, 10, u"\U0001F601", 0x07);
    Screen longer = Resized(Before(), 22, 9);
    Put(longer, 8, 0, u"extra", 0x07);
    Screen cursor = Before();
    cursor.cursorColumn = 3;
    Screen clock = Before();
    Put(clock, 3, 0, u"at 12:00:02", 0x07);
    Screen clockAndMore = clock;
    Put(clockAndMore, 1, 0, u"OK", 0x0A);

    const DiffCase cases[] = {
        {"identical", Before(), {}, "", 0},
        {"one character",
         character,
         {},
         "@@ -1,1 +1,1 @@\n-1: C:\\>build\n+1: C:\\>bUild\n         ^  column 6\n",
         1},
        {"one colour only",
         colour,
         {},
         "@@ -2,1 +2,1 @@\n-2: ok\n+2: ok\n    ~~  columns 1-2\n",
         1},
        {"a colour, ignored", colour, {"--ignore-colours"}, "", 0},
        {"a wide character: both its cells",
         wide,
         {},
         "@@ -1,1 +1,1 @@\n-1: C:\\>build \u4e2d\n+1: C:\\>build \u6587\n              ^^  columns "
         "11-12\n",
         1,
         &olderWide},
        {"a pair that differs in its second unit: both its cells",
         pair,
         {},
         "@@ -1,1 +1,1 @@\n-1: C:\\>build \U0001F600\n+1: C:\\>build \U0001F601\n"
         "              ^^  columns 11-12\n",
         1,
         &olderPair},
        {"a wider buffer, its new columns blank",
         Resized(Before(), 24, 8),
         {},
         "size: 22 x 8 -> 24 x 8\n",
         1},
        {"a row of one screen only",
         longer,
         {},
         "size: 22 x 8 -> 22 x 9\n@@ -8,0 +9,1 @@\n+9: extra\n",
         1},
        {"a cursor moved", cursor, {}, "cursor: row 3, column 1 -> row 3, column 4\n", 1},
        {"a cursor moved, ignored", cursor, {"--ignore-cursor"}, "", 0},
        {"a clock's row left out", clock, {"--ignore-rows", "at 1"}, "", 0},
        {"a clock's row left out, another row not",
         clockAndMore,
         {"--ignore-rows=at 1"},
         "@@ -2,1 +2,1 @@\n-2: ok\n+2: OK\n    ^^  columns 1-2\n",
         1},
    };
    for (const DiffCase &c : cases) {
        WriteBytes(dir + "old.glim", GlimpsetBytes(c.older ? *c.older : Before()));
        WriteBytes(dir + "new.glim", GlimpsetBytes(c.newer));
        std::vector<std::string> arguments = {"--diff", "--text"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(dir + "old.glim");
        arguments.push_back(dir + "new.glim");
        Outcome run = RunView(arguments);
        std::string expected;
        if (c.listing[0] != 0) {
            expected = "--- " + dir + "old.glim\t2024-03-05 09:07:02 UTC+1:00\n+++ " + dir +
                       "new.glim\t2024-03-05 09:07:02 UTC+1:00\n" + c.listing;
        }
        EXPECT_EQ(c.status, run.status) << c.behaviour;
        EXPECT_EQ(expected, run.out) << c.behaviour;
        EXPECT_EQ("", run.err) << c.behaviour;
    }
}

TEST_F(RunTest, DiffMarksTheDifferingCellsInColourOnATerminal) {
    Screen newer = Before();
    Put(newer, 0, 5, u"U", 0x07);
    WriteBytes(dir + "old.glim", GlimpsetBytes(Before()));
    WriteBytes(dir + "new.sav", SaveconBytes(newer, false));
    Outcome run = RunView({"--diff", dir + "old.glim", dir + "new.sav"});
    EXPECT_EQ(1, run.status);
    // A SAVECON file has no time stamp.
    EXPECT_NE(std::string::npos, run.out.find("\x1b[1m+++ " + dir + "new.sav\x1b[0m\n"));
    EXPECT_NE(std::string::npos,
              run.out.find("\x1b[32m+1: C:\\>b\x1b[7mU\x1b[27mild\x1b[0m\n         ^  column 6\n"));
}

TEST_F(RunTest, DiffComparesTheSavedWindowsRowForRow) {
    // The same three lines, once at the top of the buffer, once lower down.
    Screen older = Blank(22, 8, 0x07);
    Put(older, 0, 0, u"one", 0x07);
    Put(older, 1, 0, u"two", 0x07);
    older.cursorRow = 2;
    older.windowHeight = 3;
    Screen newer = Blank(22, 8, 0x07);
    Put(newer, 4, 0, u"one", 0x07);
    Put(newer, 5, 0, u"TWO", 0x07);
    newer.cursorRow = 6;
    newer.windowHeight = 3;
    WriteBytes(dir + "old.glim", GlimpsetBytes(older));
    WriteBytes(dir + "new.glim", GlimpsetBytes(newer));
    Outcome run = RunView({"--diff", "--text", "--window", dir + "old.glim", dir + "new.glim"});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos,
              run.out.find("@@ -2,1 +6,1 @@\n-2: two\n+6: TWO\n    ^^^  columns 1-3\n"))
        << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("cursor"));
}

TEST_F(RunTest, DiffTroubleExitsWithTwo) {
    WriteBytes(dir + "old.glim", GlimpsetBytes(Before()));
    std::vector<uint8_t> damaged = GlimpsetBytes(Before());
    PutDword(damaged, offsetof(GlimpsetHeader, crc), 0x12345678);
    WriteBytes(dir + "bad.glim", damaged);
    const GrepCase cases[] = {
        {"one file", {"--diff", "@old.glim"}, "", "glimview: --diff needs two files.\n", 2},
        {"three files",
         {"--diff", "@old.glim", "@old.glim", "@x.glim"},
         "",
         "glimview: --diff compares two files; \"@x.glim\" is one too many.\n",
         2},
        {"--diff and --grep",
         {"--grep", "--diff", "x", "@old.glim"},
         "",
         "glimview: --grep and --diff exclude each other.\n",
         2},
        {"--ignore-rows without its text",
         {"--diff", "@old.glim", "@old.glim", "--ignore-rows"},
         "",
         "glimview: --ignore-rows needs the text of the rows to leave out.\n",
         2},
        {"--ignore-cursor without --diff",
         {"--ignore-cursor", "@old.glim"},
         "",
         "glimview: --ignore-cursor goes with --diff.\n",
         1},
        {"a missing file", {"--diff", "@old.glim", "@none.glim"}, "", "glimview: cannot open", 2},
        {"a damaged file", {"--diff", "@bad.glim", "@old.glim"}, "", "glimview: \"@bad.glim\"", 2},
        {"--force compares it",
         {"--diff", "--force", "@bad.glim", "@old.glim"},
         "",
         "glimview: \"@bad.glim\": CRC32 mismatch",
         0},
    };
    for (const GrepCase &c : cases) {
        std::vector<std::string> arguments;
        for (const std::string &argument : c.arguments) {
            arguments.push_back(AtDir(argument, dir));
        }
        Outcome run = RunView(arguments);
        EXPECT_EQ(c.status, run.status) << c.behaviour;
        EXPECT_EQ(AtDir(c.out, dir), run.out) << c.behaviour;
        EXPECT_EQ(0u, run.err.find(AtDir(c.err, dir))) << c.behaviour << ": " << run.err;
    }
}

TEST_F(RunTest, DiffWritesNoPictureOverEitherFile) {
    std::vector<uint8_t> bytes = GlimpsetBytes(Before());
    WriteBytes(dir + "old.glim", bytes);
    WriteBytes(dir + "new.glim", bytes);
    std::filesystem::create_hard_link(dir + "new.glim", dir + "hard.glim");
    std::filesystem::create_symlink(dir + "old.glim", dir + "soft.glim");
    for (const std::string &output : {dir + "soft.glim", dir + "hard.glim", dir + "old.glim"}) {
        for (const char *option : {"--html", "--svg"}) {
            Outcome run = RunView({"--diff", option, output, dir + "old.glim", dir + "new.glim"});
            EXPECT_EQ(2, run.status) << output << option;
            EXPECT_EQ("glimview: will not write over \"" + output +
                          "\": it is a file being compared.\n",
                      run.err);
        }
    }
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ReadText(dir + "old.glim"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ReadText(dir + "new.glim"));
}

TEST_F(RunTest, DiffPictureShowsBothScreensWithTheDifferingCellsOutlined) {
    Screen newer = Before();
    Put(newer, 0, 5, u"U", 0x07);
    Put(newer, 1, 0, u"ok", 0x0C);
    WriteBytes(dir + "old.glim", GlimpsetBytes(Before()));
    WriteBytes(dir + "new.glim", GlimpsetBytes(newer));
    Outcome run = RunView({"--diff", "--svg", dir + "d.svg", dir + "old.glim", dir + "new.glim"});
    EXPECT_EQ(1, run.status);
    std::string image = ReadText(dir + "d.svg");
    EXPECT_NE(std::string::npos, image.find(" compared with " + dir + "new.glim, taken"));
    // Each mark twice, once on each side: one character, two colours.
    EXPECT_NE(std::string::npos, image.find("<rect class=\"diff-character\" x=\"46\" y=\"1\" "
                                            "width=\"7\" height=\"16\""));
    EXPECT_NE(std::string::npos, image.find("<rect class=\"diff-colour\" x=\"1\" y=\"19\" "
                                            "width=\"16\" height=\"16\""));
    size_t marks = 0;
    for (size_t at = image.find("class=\"diff-"); at != std::string::npos;
         at = image.find("class=\"diff-", at + 1)) {
        marks++;
    }
    EXPECT_EQ(4u, marks);
    // The page holds the same picture; the same screens make none.
    Outcome page = RunView({"--diff", "--html=-", dir + "old.glim", dir + "new.glim"});
    EXPECT_EQ(1, page.status);
    EXPECT_EQ(0u, page.out.find("<!DOCTYPE html>\n"));
    EXPECT_NE(std::string::npos, page.out.find(image.substr(image.find("<svg "))));
    Outcome same = RunView({"--diff", "--svg=-", dir + "old.glim", dir + "old.glim"});
    EXPECT_EQ(0, same.status);
    EXPECT_EQ(std::string::npos, same.out.find("class=\"diff-"));
}

TEST_F(RunTest, GrepExpandsTheWildcardsOfNamesNotQuoted) {
    WriteSearchedFiles(dir);
    std::string pattern = dir + "*.glim";
    std::string missing = dir + "*.none";
    char grep[] = "--grep";
    char text[] = "rror";
    std::vector<char *> argv = {grep, text, &pattern[0], &missing[0], &pattern[0]};
    const BOOL expand[] = {TRUE, TRUE, TRUE, TRUE, FALSE};
    std::unique_ptr<Capture> out = NewCapture();
    std::unique_ptr<Capture> err = NewCapture();
    EXPECT_EQ(2, GlimviewRun(5, argv.data(), expand, &out->sink, &err->sink));
    // a.glim and bad.glim (damaged) in the order of their names; nothing
    // for the pattern that matches nothing nor for the quoted one.
    EXPECT_EQ(AtDir("@a.glim:1: Error at start\n", dir), out->text);
    EXPECT_NE(std::string::npos, err->text.find(AtDir("glimview: \"@bad.glim\": CRC32", dir)));
    EXPECT_NE(std::string::npos,
              err->text.find("cannot open \"" + missing + "\": No such file or directory\n"));
    EXPECT_NE(std::string::npos,
              err->text.find("cannot open \"" + pattern + "\": No such file or directory\n"));
}

} // namespace
