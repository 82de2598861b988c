// render_test.cpp: what glimview makes of known screens, to the byte: text
// with SGR sequences, plain text, substitutes for what may not be shown,
// the rows each mode shows, and the case folding of --grep -i.
#include "tests/support/glimtest.h"
#include "tests/tools/viewtest.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace viewtest;

namespace {

class RenderTest : public glimtest::GlimTest {};

// The first row of a 22-column screen, rendered alone.
std::string SgrOfRow(const Screen &screen) {
    std::vector<uint8_t> bytes = GlimpsetBytes(screen);
    ViewScreen loaded;
    EXPECT_EQ(LOAD_OK, Load(bytes, &loaded));
    std::unique_ptr<Capture> out = NewCapture();
    RenderSgr(&loaded, 0, 1, &out->sink);
    SinkFlush(&out->sink);
    FreeScreen(&loaded);
    return out->text;
}

const std::string PAD20(20, ' ');

struct SgrCase {
    const char *behaviour;
    WORD attribute;
    const char *expected; // the row: "ab" in the attribute, then 20 blanks in 0x07
};

TEST_F(RenderTest, AttributesBecomeSgrSequences) {
    const SgrCase cases[] = {
        {"grey on black", 0x07, "\x1b[0;37;40mab"},
        {"black on black", 0x00, "\x1b[0;30;40mab\x1b[0;37;40m"},
        {"blue is ANSI 4", 0x01, "\x1b[0;34;40mab\x1b[0;37;40m"},
        {"green stays 2", 0x02, "\x1b[0;32;40mab\x1b[0;37;40m"},
        {"cyan is ANSI 6", 0x03, "\x1b[0;36;40mab\x1b[0;37;40m"},
        {"red is ANSI 1", 0x04, "\x1b[0;31;40mab\x1b[0;37;40m"},
        {"magenta stays 5", 0x05, "\x1b[0;35;40mab\x1b[0;37;40m"},
        {"brown is ANSI 3", 0x06, "\x1b[0;33;40mab\x1b[0;37;40m"},
        {"dark grey is bright black", 0x08, "\x1b[0;90;40mab\x1b[0;37;40m"},
        {"bright blue", 0x09, "\x1b[0;94;40mab\x1b[0;37;40m"},
        {"yellow", 0x0E, "\x1b[0;93;40mab\x1b[0;37;40m"},
        {"white on blue", 0x1F, "\x1b[0;97;44mab\x1b[0;37;40m"},
        {"black on light grey", 0x70, "\x1b[0;30;47mab\x1b[0;37;40m"},
        {"bright backgrounds", 0xC9, "\x1b[0;94;101mab\x1b[0;37;40m"},
        {"white background", 0xF0, "\x1b[0;30;107mab\x1b[0;37;40m"},
        {"reverse video", 0x4007, "\x1b[0;37;40;7mab\x1b[0;37;40m"},
        {"underscore", 0x8007, "\x1b[0;37;40;4mab\x1b[0;37;40m"},
        {"both flags", 0xC01E, "\x1b[0;93;44;4;7mab\x1b[0;37;40m"},
        {"grid flags show nothing", 0x1C07, "\x1b[0;37;40mab"},
    };
    for (const SgrCase &c : cases) {
        Screen screen = Blank(22, 8, 0x07);
        Put(screen, 0, 0, u"ab", c.attribute);
        EXPECT_EQ(std::string(c.expected) + PAD20 + "\x1b[0m\n", SgrOfRow(screen)) << c.behaviour;
    }
}

TEST_F(RenderTest, SgrChangesOnlyWhereTheColourChanges) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"ab", 0x1F);
    Put(screen, 0, 2, u"cd", 0x1F);
    Put(screen, 0, 4, u"e", 0x4E);
    Put(screen, 0, 5, u"f", 0x1F);
    EXPECT_EQ("\x1b[0;97;44mabcd\x1b[0;93;41me\x1b[0;97;44mf\x1b[0;37;40m" + std::string(16, ' ') +
                  "\x1b[0m\n",
              SgrOfRow(screen));
}

TEST_F(RenderTest, SgrShowsTheBufferUpToItsLastRowThatIsNotBlank) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"C:\\>dir", 0x07);
    Put(screen, 2, 3, u"x", 0x0A);
    const std::string blank = "\x1b[0;37;40m" + std::string(22, ' ') + "\x1b[0m\n";
    EXPECT_EQ("\x1b[0;37;40mC:\\>dir" + std::string(15, ' ') + "\x1b[0m\n" + blank +
                  "\x1b[0;37;40m   \x1b[0;92;40mx\x1b[0;37;40m" + std::string(18, ' ') +
                  "\x1b[0m\n",
              Render(GlimpsetBytes(screen), VIEW_SGR));
}

TEST_F(RenderTest, ColouredBlankRowsAreShownButNotInText) {
    // A bar of blue spaces is something to see in colour, nothing in text.
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"top", 0x07);
    Put(screen, 1, 0, std::u16string(22, u' '), 0x10);
    std::string sgr = Render(GlimpsetBytes(screen), VIEW_SGR);
    EXPECT_EQ(std::string::npos, sgr.find("\x1b[0;37;40m" + std::string(22, ' ')));
    EXPECT_NE(std::string::npos, sgr.find("\x1b[0;30;44m" + std::string(22, ' ') + "\x1b[0m\n"));
    EXPECT_EQ("top\n", Render(GlimpsetBytes(screen), VIEW_TEXT));
}

TEST_F(RenderTest, TextDropsTrailingBlanksAndTrailingEmptyRows) {
    Screen screen = Blank(22, 8, 0x1F);
    Put(screen, 0, 0, u"Volume in drive C", 0x1F);
    Put(screen, 1, 0, u"  indented  ", 0x1E);
    Put(screen, 3, 0, u"after a gap", 0x07);
    Put(screen, 3, 21, u"|", 0x07);
    EXPECT_EQ("Volume in drive C\n  indented\n\nafter a gap          |\n",
              Render(GlimpsetBytes(screen), VIEW_TEXT));
}

TEST_F(RenderTest, AnEmptyScreenIsNoTextAtAll) {
    EXPECT_EQ("", Render(GlimpsetBytes(Blank(22, 8, 0x07)), VIEW_TEXT));
    EXPECT_EQ("", Render(GlimpsetBytes(Blank(22, 8, 0x07)), VIEW_SGR));
}

struct CharacterCase {
    const char *behaviour;
    std::u16string cells;
    WORD secondAttribute; // of the second cell; 0: the same as the first
    const char *expected;
};

TEST_F(RenderTest, UnprintableCharactersGetVisibleSubstitutes) {
    const CharacterCase cases[] = {
        {"NUL", std::u16string(1, u'\0'), 0, "\u2400"},
        {"escape", u"\x1b[2J", 0, "\u241b[2J"},
        {"tab and bell", u"\t\a", 0, "\u2409\u2407"},
        {"carriage return and line feed", u"\r\n", 0, "\u240d\u240a"},
        {"delete", u"\x7f", 0, "\u2421"},
        {"C1 control", u"\x85\x9b", 0, "\ufffd\ufffd"},
        {"lone high surrogate", u"\xd800x", 0, "\ufffdx"},
        {"lone low surrogate", u"\xdc00x", 0, "\ufffdx"},
        {"swapped pair", u"\xde00\xd83d", 0, "\ufffd\ufffd"},
        {"surrogate pair", u"\xd83d\xde00", 0, "\U0001F600"},
        {"pair split by a colour change", u"\xd83d\xde00", 0x1F, "\ufffd\ufffd"},
        {"U+FFF0", u"\ufff0", 0, "\ufffd"},
        {"the token words", u"\ufff9\ufffa\ufffb\ufffc\ufffd", 0, "\ufffd\ufffd\ufffd\ufffd\ufffd"},
        {"noncharacters", u"\ufffe\uffff", 0, "\ufffd\ufffd"},
        {"right-to-left override", u"\u202e", 0, "\ufffd"},
        {"isolate", u"\u2067", 0, "\ufffd"},
        {"line separator", u"\u2028", 0, "\ufffd"},
        {"Latin-1 and box drawing", u"\u00e9\u2550\u2588", 0, "\u00e9\u2550\u2588"},
        {"Cyrillic and CJK", u"\u0416\u4e2d", 0, "\u0416\u4e2d"},
    };
    for (const CharacterCase &c : cases) {
        Screen screen = Blank(22, 8, 0x07);
        Put(screen, 0, 0, c.cells, 0x07);
        if (c.secondAttribute != 0) {
            screen.attributes[1] = c.secondAttribute;
        }
        std::string text = Render(GlimpsetBytes(screen), VIEW_TEXT);
        EXPECT_EQ(std::string(c.expected) + "\n", text) << c.behaviour;
        std::string sgr = Render(GlimpsetBytes(screen), VIEW_SGR);
        // No control character but the ESC of our own sequences reaches
        // a terminal.
        for (size_t i = 0; i < sgr.size(); i++) {
            unsigned char b = (unsigned char)sgr[i];
            if (b < 0x20 && b != 0x1b && b != '\n') {
                ADD_FAILURE() << c.behaviour << ": byte " << (int)b << " at " << i;
            }
            if (b == 0x1b) {
                EXPECT_EQ('[', sgr[i + 1]) << c.behaviour;
                EXPECT_EQ('0', sgr[i + 2]) << c.behaviour;
            }
        }
    }
}

TEST_F(RenderTest, APairAcrossTheEndOfARowIsNotJoined) {
    Screen screen = Blank(22, 8, 0x07);
    screen.characters[21] = 0xD83D;
    screen.characters[22] = 0xDE00;
    EXPECT_EQ(std::string(21, ' ') + "\ufffd\n\ufffd\n", Render(GlimpsetBytes(screen), VIEW_TEXT));
}

TEST_F(RenderTest, ADoubleWidthCharacterIsShownOnceForItsTwoCells) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"\u4e2d\u4e2d\u6587\u6587!", 0x07);
    screen.attributes[0] = 0x0107; // leading and trailing cell
    screen.attributes[1] = 0x0207;
    screen.attributes[2] = 0x0107;
    screen.attributes[3] = 0x0207;
    EXPECT_EQ("\u4e2d\u6587!\n", Render(GlimpsetBytes(screen), VIEW_TEXT));
    EXPECT_EQ("\x1b[0;37;40m\u4e2d\u6587!" + std::string(17, ' ') + "\x1b[0m\n",
              Render(GlimpsetBytes(screen), VIEW_SGR));
    // Two equal characters without the flags are two characters.
    screen.attributes[0] = screen.attributes[1] = 0x07;
    EXPECT_EQ("\u4e2d\u4e2d\u6587!\n", Render(GlimpsetBytes(screen), VIEW_TEXT));
}

struct WindowCase {
    const char *behaviour;
    int rows, cursorRow, windowHeight;
    DWORD first, end;
};

TEST_F(RenderTest, TheWindowEndsAtTheCursorsRowAsARestorePlacesIt) {
    const WindowCase cases[] = {
        {"cursor within the first window", 300, 3, 25, 0, 25},
        {"cursor on the window's last row", 300, 24, 25, 0, 25},
        {"cursor one row lower", 300, 25, 25, 1, 26},
        {"cursor further down", 300, 100, 25, 76, 101},
        {"cursor on the last row", 300, 299, 25, 275, 300},
        {"window as tall as the buffer", 30, 29, 30, 0, 30},
        {"no window height: the whole buffer", 30, 4, 0, 0, 30},
        {"window taller than the buffer", 30, 29, 50, 0, 30},
        {"a window of one row", 30, 10, 1, 10, 11},
    };
    for (const WindowCase &c : cases) {
        Screen screen = Blank(22, c.rows, 0x07);
        screen.cursorRow = c.cursorRow;
        screen.windowHeight = c.windowHeight;
        std::vector<uint8_t> bytes = GlimpsetBytes(screen);
        ViewScreen loaded;
        ASSERT_EQ(LOAD_OK, Load(bytes, &loaded)) << c.behaviour;
        DWORD first = 0;
        DWORD end = 0;
        SelectRows(&loaded, VIEW_SGR, TRUE, &first, &end);
        EXPECT_EQ(c.first, first) << c.behaviour;
        EXPECT_EQ(c.end, end) << c.behaviour;
        FreeScreen(&loaded);
    }
}

TEST_F(RenderTest, WindowShowsOnlyTheSavedWindowsRows) {
    Screen screen = Blank(22, 40, 0x07);
    for (int row = 0; row < 40; row++) {
        Put(screen, row, 0, sim::U16("row " + std::to_string(row)), 0x07);
    }
    screen.cursorRow = 30;
    screen.windowHeight = 3;
    EXPECT_EQ("row 28\nrow 29\nrow 30\n", Render(GlimpsetBytes(screen), VIEW_TEXT, true));
    std::string sgr = Render(GlimpsetBytes(screen), VIEW_SGR, true);
    EXPECT_EQ("\x1b[0;37;40mrow 28" + std::string(16, ' ') + "\x1b[0m\n\x1b[0;37;40mrow 29" +
                  std::string(16, ' ') + "\x1b[0m\n\x1b[0;37;40mrow 30" + std::string(16, ' ') +
                  "\x1b[0m\n",
              sgr);
}

TEST_F(RenderTest, WindowTextDropsTheWindowsEmptyRowsAtTheEnd) {
    // A prompt on the first row, the cursor below it; the restore shows the
    // top of the buffer, and the text ends with the prompt.
    Screen screen = Blank(22, 40, 0x07);
    Put(screen, 0, 0, u"C:\\>", 0x07);
    screen.cursorRow = 1;
    screen.windowHeight = 25;
    EXPECT_EQ("C:\\>\n", Render(GlimpsetBytes(screen), VIEW_TEXT, true));
    // In colour the window's 25 rows are all there.
    std::string sgr = Render(GlimpsetBytes(screen), VIEW_SGR, true);
    EXPECT_EQ(25, std::count(sgr.begin(), sgr.end(), '\n'));
}

TEST_F(RenderTest, TheBlankTailIsTheColourOfTheLastCell) {
    // After "cls" in white on blue, the whole buffer is blue: its blue
    // blank rows are no content, but a grey one above them is.
    Screen screen = Blank(22, 8, 0x1F);
    Put(screen, 0, 0, u"hello", 0x1F);
    Put(screen, 2, 0, std::u16string(22, u' '), 0x07);
    std::string sgr = Render(GlimpsetBytes(screen), VIEW_SGR);
    EXPECT_EQ(3, std::count(sgr.begin(), sgr.end(), '\n'));
}

} // namespace

namespace {

TEST_F(RenderTest, CaseFoldingPairsTheLettersOfTheConsolesCodePages) {
    const struct {
        const char *behaviour;
        DWORD letter, folded;
    } cases[] = {
        {"ASCII", 'Q', 'q'},
        {"ASCII small", 'q', 'q'},
        {"not a letter", '@', '@'},
        {"Latin-1", 0x00C9, 0x00E9},
        {"Latin-1: the multiplication sign", 0x00D7, 0x00D7},
        {"Latin-1: sharp s has no simple partner", 0x00DF, 0x00DF},
        {"micro sign", 0x00B5, 0x03BC},
        {"A with ogonek: capital on even", 0x0104, 0x0105},
        {"a with ogonek", 0x0105, 0x0105},
        {"L with stroke: capital on odd", 0x0141, 0x0142},
        {"l with stroke", 0x0142, 0x0142},
        {"dotted capital I is left", 0x0130, 0x0130},
        {"Eng: capital on even again", 0x014A, 0x014B},
        {"Y with diaeresis", 0x0178, 0x00FF},
        {"Z with caron: capital on odd", 0x017D, 0x017E},
        {"long s", 0x017F, 's'},
        {"Greek sigma", 0x03A3, 0x03C3},
        {"Greek final sigma", 0x03C2, 0x03C3},
        {"Greek omega with tonos", 0x038F, 0x03CE},
        {"Cyrillic IO", 0x0401, 0x0451},
        {"Cyrillic YA", 0x042F, 0x044F},
        {"Cyrillic GHE with upturn: capital on even", 0x0490, 0x0491},
        {"Cyrillic KOPPA, before the signs", 0x0480, 0x0481},
        {"Cyrillic THOUSANDS SIGN is no letter", 0x0482, 0x0482},
        {"Cyrillic palochka", 0x04C0, 0x04CF},
        {"Cyrillic ZHE with breve: capital on odd", 0x04C1, 0x04C2},
        {"Cyrillic EM with tail", 0x04CD, 0x04CE},
        {"Cyrillic HA with stroke: capital on even again", 0x04FE, 0x04FF},
        {"beyond the blocks", 0x0531, 0x0531},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.folded, FoldCase(c.letter)) << c.behaviour;
    }
}

TEST_F(RenderTest, CaseFoldingOfTheGreekAndCopticBlockIsUnicodesSimpleFolding) {
    // The C and S rows of CaseFolding-15.0.0.txt from U+0370 to U+03FF: every
    // other code point of the block folds to itself (U+0390 and U+03B0 have
    // full foldings only).
    const DWORD folding[][2] = {
        {0x0370, 0x0371}, {0x0372, 0x0373}, {0x0376, 0x0377}, {0x037F, 0x03F3}, {0x0386, 0x03AC},
        {0x0388, 0x03AD}, {0x0389, 0x03AE}, {0x038A, 0x03AF}, {0x038C, 0x03CC}, {0x038E, 0x03CD},
        {0x038F, 0x03CE}, {0x0391, 0x03B1}, {0x0392, 0x03B2}, {0x0393, 0x03B3}, {0x0394, 0x03B4},
        {0x0395, 0x03B5}, {0x0396, 0x03B6}, {0x0397, 0x03B7}, {0x0398, 0x03B8}, {0x0399, 0x03B9},
        {0x039A, 0x03BA}, {0x039B, 0x03BB}, {0x039C, 0x03BC}, {0x039D, 0x03BD}, {0x039E, 0x03BE},
        {0x039F, 0x03BF}, {0x03A0, 0x03C0}, {0x03A1, 0x03C1}, {0x03A3, 0x03C3}, {0x03A4, 0x03C4},
        {0x03A5, 0x03C5}, {0x03A6, 0x03C6}, {0x03A7, 0x03C7}, {0x03A8, 0x03C8}, {0x03A9, 0x03C9},
        {0x03AA, 0x03CA}, {0x03AB, 0x03CB}, {0x03C2, 0x03C3}, {0x03CF, 0x03D7}, {0x03D0, 0x03B2},
        {0x03D1, 0x03B8}, {0x03D5, 0x03C6}, {0x03D6, 0x03C0}, {0x03D8, 0x03D9}, {0x03DA, 0x03DB},
        {0x03DC, 0x03DD}, {0x03DE, 0x03DF}, {0x03E0, 0x03E1}, {0x03E2, 0x03E3}, {0x03E4, 0x03E5},
        {0x03E6, 0x03E7}, {0x03E8, 0x03E9}, {0x03EA, 0x03EB}, {0x03EC, 0x03ED}, {0x03EE, 0x03EF},
        {0x03F0, 0x03BA}, {0x03F1, 0x03C1}, {0x03F4, 0x03B8}, {0x03F5, 0x03B5}, {0x03F7, 0x03F8},
        {0x03F9, 0x03F2}, {0x03FA, 0x03FB}, {0x03FD, 0x037B}, {0x03FE, 0x037C}, {0x03FF, 0x037D},
    };
    for (DWORD c = 0x0370; c <= 0x03FF; c++) {
        DWORD expected = c;
        for (const auto &row : folding) {
            if (row[0] == c) {
                expected = row[1];
            }
        }
        EXPECT_EQ(expected, FoldCase(c)) << std::hex << "U+" << c;
    }
}

} // namespace
