// run_test.cpp: the glimview program on real files: its options, its
// messages and exit statuses, --force, the page and image it writes, and
// --grep across several files.
#include "command/options.h"
#include "save/save.h"
#include "tests/support/glimtest.h"
#include "tests/tools/viewtest.h"
#include "winsim/sim.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(2, GlimviewRun(2, argv, &out->sink, &err->sink));
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
