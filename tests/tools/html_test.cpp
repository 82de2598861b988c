// html_test.cpp: the page and the image glimview makes of a screen: their
// titles, the page's classes in the console palette, a grid whose every row
// is exactly as wide as the buffer, the cursor's cell, escaping, nothing
// from outside, and one small image to the byte.
#include "tests/support/glimtest.h"
#include "tests/tools/viewtest.h"

#include <gtest/gtest.h>

#include <regex>

using namespace viewtest;

namespace {

class HtmlTest : public glimtest::GlimTest {};

// How often a pattern matches in a text.
size_t Count(const std::string &text, const char *pattern) {
    std::regex expression(pattern);
    return (size_t)std::distance(std::sregex_iterator(text.begin(), text.end(), expression),
                                 std::sregex_iterator());
}

std::string Title(const std::string &page) {
    size_t from = page.find("<title>");
    size_t to = page.find("</title>");
    if (from == std::string::npos || to == std::string::npos) {
        return "(no title)";
    }
    return page.substr(from + 7, to - from - 7);
}

struct TitleCase {
    const char *behaviour;
    Stamp stamp;
    const char *expected;
};

Stamp MakeStamp(bool taken, LONG bias, const std::u16string &computer) {
    Stamp stamp;
    stamp.taken = taken;
    stamp.bias = bias;
    stamp.computer = computer;
    return stamp;
}

TEST_F(HtmlTest, TheTitleNamesTheFileTheTimeAndTheComputer) {
    const TitleCase cases[] = {
        {"east of UTC", MakeStamp(true, -60, u"SIMHOST"),
         "s.glim, taken 2024-03-05 09:07:02 UTC+1:00 on SIMHOST"},
        {"west of UTC", MakeStamp(true, 300, u"PC"),
         "s.glim, taken 2024-03-05 09:07:02 UTC-5:00 on PC"},
        {"half hours east", MakeStamp(true, -330, u"PC"),
         "s.glim, taken 2024-03-05 09:07:02 UTC+5:30 on PC"},
        {"half hours west", MakeStamp(true, 210, u"PC"),
         "s.glim, taken 2024-03-05 09:07:02 UTC-3:30 on PC"},
        {"UTC itself", MakeStamp(true, 0, u"PC"),
         "s.glim, taken 2024-03-05 09:07:02 UTC+0:00 on PC"},
        {"less than an hour west", MakeStamp(true, 30, u"PC"),
         "s.glim, taken 2024-03-05 09:07:02 UTC-0:30 on PC"},
        {"no time stamp", MakeStamp(false, 0, u"PC"), "s.glim, taken on PC"},
        {"no computer name", MakeStamp(true, -60, u""),
         "s.glim, taken 2024-03-05 09:07:02 UTC+1:00"},
        {"neither", MakeStamp(false, 0, u""), "s.glim"},
        {"a name to escape", MakeStamp(false, 0, u"<b>&amp;"),
         "s.glim, taken on &lt;b&gt;&amp;amp;"},
    };
    for (const TitleCase &c : cases) {
        std::string page =
            Render(GlimpsetBytes(Blank(22, 8, 0x07), c.stamp), VIEW_HTML, false, "s.glim");
        EXPECT_EQ(c.expected, Title(page)) << c.behaviour;
        EXPECT_NE(std::string::npos, page.find(std::string("<h1>") + c.expected + "</h1>"))
            << c.behaviour;
        std::string image =
            Render(GlimpsetBytes(Blank(22, 8, 0x07), c.stamp), VIEW_SVG, false, "s.glim");
        EXPECT_EQ(c.expected, Title(image)) << c.behaviour;
    }
}

TEST_F(HtmlTest, AComputerNameOfSixteenUnitsIsShownWhole) {
    std::vector<uint8_t> bytes = GlimpsetBytes(Blank(22, 8, 0x07));
    for (int i = 0; i < 16; i++) {
        PutWord(bytes, offsetof(GlimpsetHeader, computerName) + 2 * i, (WORD)('A' + i));
    }
    // The checksum covers the cells only: the file stays sound.
    EXPECT_EQ("s.glim, taken 2024-03-05 09:07:02 UTC+1:00 on ABCDEFGHIJKLMNOP",
              Title(Render(bytes, VIEW_HTML, false, "s.glim")));
}

TEST_F(HtmlTest, ASaveconPageIsTitledWithTheNameAlone) {
    Screen screen = Blank(22, 8, 0x1F);
    screen.windowHeight = 5;
    EXPECT_EQ("old.sav", Title(Render(SaveconBytes(screen, false), VIEW_HTML, false, "old.sav")));
}

TEST_F(HtmlTest, TheFileNameIsEscapedAndMadeVisible) {
    EXPECT_EQ("a&lt;b&gt;&amp;c\u241b.glim",
              Title(Render(GlimpsetBytes(Blank(22, 8, 0x07), MakeStamp(false, 0, u"")), VIEW_HTML,
                           false, "a<b>&c\x1b.glim")));
}

TEST_F(HtmlTest, EachAttributeIsAClassInTheConsolePalette) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"a", 0x1F);
    Put(screen, 0, 1, u"b", 0x4E);
    Put(screen, 0, 2, u"c", 0x4070); // reverse video: the colours swap
    Put(screen, 0, 3, u"d", 0x8009);
    Put(screen, 0, 4, u"e", 0x1C3A); // grid flags: shown as plain 0x3A
    std::string page = Render(GlimpsetBytes(screen), VIEW_HTML);
    const char *rules[] = {
        ".a0007{color:#C0C0C0;background:#000000}\n",
        ".a001f{color:#FFFFFF;background:#000080}\n",
        ".a003a{color:#00FF00;background:#008080}\n",
        ".a004e{color:#FFFF00;background:#800000}\n",
        ".a4070{color:#C0C0C0;background:#000000}\n",
        ".a8009{color:#0000FF;background:#000000;text-decoration:underline}\n",
    };
    for (const char *rule : rules) {
        EXPECT_NE(std::string::npos, page.find(rule)) << rule;
    }
    // Only the attributes the page shows get a class.
    EXPECT_EQ(6u, Count(page, "\n\\.a[0-9a-f]{4}\\{"));
}

TEST_F(HtmlTest, EveryRowIsExactlyAsWideAsTheBuffer) {
    Screen screen = Blank(80, 25, 0x07);
    for (int row = 0; row < 25; row++) {
        for (int column = 0; column < 80; column += 1 + (row + column) % 7) {
            Put(screen, row, column, u"x", (WORD)((row * 7 + column) & 0xFF));
        }
    }
    screen.cursorRow = 12;
    screen.cursorColumn = 40;
    // A surrogate pair and a double-width character keep their two cells.
    Put(screen, 3, 10, u"\xd83d\xde00", 0x07);
    Put(screen, 4, 10, u"\u4e2d\u4e2d", 0x07);
    screen.attributes[4 * 80 + 10] = 0x0107;
    screen.attributes[4 * 80 + 11] = 0x0207;
    std::string page = Render(GlimpsetBytes(screen), VIEW_HTML);
    std::regex rowPattern("<div>(.*)</div>\n");
    std::regex widthPattern("width:([0-9]+)px");
    int rows = 0;
    for (auto row = std::sregex_iterator(page.begin(), page.end(), rowPattern);
         row != std::sregex_iterator(); ++row) {
        std::string text = (*row)[1];
        int width = 0;
        for (auto span = std::sregex_iterator(text.begin(), text.end(), widthPattern);
             span != std::sregex_iterator(); ++span) {
            width += std::stoi((*span)[1]);
        }
        EXPECT_EQ(80 * HTML_CELL_WIDTH, width) << "row " << rows;
        rows++;
    }
    EXPECT_EQ(25, rows);
    EXPECT_NE(std::string::npos, page.find(".screen{width:720px}"));
}

TEST_F(HtmlTest, TheCursorsCellIsASpanOfItsOwn) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 1, 0, u"C:\\>", 0x07);
    screen.cursorRow = 1;
    screen.cursorColumn = 4;
    std::string page = Render(GlimpsetBytes(screen), VIEW_HTML);
    EXPECT_NE(std::string::npos,
              page.find("<div><span class=\"a0007\" style=\"width:36px\">C:\\&gt;</span>"
                        "<span class=\"a0007 c\" style=\"width:9px\"> </span>"
                        "<span class=\"a0007\" style=\"width:153px\">" +
                        std::string(17, ' ') + "</span></div>\n"));
    EXPECT_EQ(1u, Count(page, " c\""));

    // On either half of a double-width character it marks the whole
    // character, which stays in one box of two cells.
    Put(screen, 1, 4, u"\u4e2d\u4e2d", 0x07);
    screen.attributes[1 * 22 + 4] = 0x0107;
    screen.attributes[1 * 22 + 5] = 0x0207;
    for (DWORD column : {4u, 5u}) {
        screen.cursorColumn = column;
        page = Render(GlimpsetBytes(screen), VIEW_HTML);
        EXPECT_NE(std::string::npos,
                  page.find("<span class=\"a0007\" style=\"width:36px\">C:\\&gt;</span>"
                            "<span class=\"a0007 c\" style=\"width:18px\"><b>\u4e2d</b></span>"
                            "<span class=\"a0007\" style=\"width:144px\">"))
            << column;
    }
}

TEST_F(HtmlTest, ThePageReachesTheCursorsRow) {
    // After "cls" the cursor stands on a blank row below the prompt line.
    Screen screen = Blank(22, 30, 0x07);
    Put(screen, 0, 0, u"C:\\>cls", 0x07);
    screen.cursorRow = 5;
    std::string page = Render(GlimpsetBytes(screen), VIEW_HTML);
    EXPECT_EQ(6, (int)Count(page, "<div>"));
}

TEST_F(HtmlTest, CellsAreEscapedAndThePageNeedsNothingFromOutside) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"<script>&\x1b", 0x07);
    screen.cursorRow = 1;
    std::string page = Render(GlimpsetBytes(screen), VIEW_HTML, false, "s.glim");
    std::string image = Render(GlimpsetBytes(screen), VIEW_SVG, false, "s.glim");
    // The image names its namespace, which is no reference to anything.
    image.replace(image.find("http://www.w3.org/2000/svg"), 26, "");
    EXPECT_NE(std::string::npos, page.find("&lt;script&gt;&amp;<i>\u241b</i>"));
    EXPECT_NE(std::string::npos, image.find("&lt;script&gt;&amp;\u241b"));
    for (const char *outside :
         {"<script", "<link", "<img", "src=", "href=", "url(", "@import", "http:", "https:"}) {
        EXPECT_EQ(std::string::npos, page.find(outside)) << outside;
        EXPECT_EQ(std::string::npos, image.find(outside)) << outside;
    }
    for (const char *outside : {"<image", "<use", "<style", "<foreignObject", "<font"}) {
        EXPECT_EQ(std::string::npos, image.find(outside)) << outside;
    }
    EXPECT_EQ(0u,
              page.find("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">"));
    EXPECT_EQ(page.size() - 16, page.find("</body>\n</html>\n"));
}

} // namespace

// ---- The SVG image.

TEST_F(HtmlTest, TheImageOfASmallScreenIsExactlyThis) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"A<&>", 0x1F);
    Put(screen, 0, 5, u"b c", 0x17);                       // one colour, one run, across the blank
    Put(screen, 1, 1, u"_x", 0x804C);                      // underscored, red on dark red
    Put(screen, 1, 4, u"\xd83d\xde00\u4e2d\u4e2dz", 0x07); // a pair, a double-width character
    screen.attributes[1 * 22 + 6] = 0x0107;
    screen.attributes[1 * 22 + 7] = 0x0207;
    screen.cursorRow = 1;
    screen.cursorColumn = 9;
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"198\" height=\"36\" "
              "viewBox=\"0 0 198 36\" font-family=\"'DejaVu Sans Mono',Consolas,'Courier "
              "New',monospace\" font-size=\"15\" shape-rendering=\"crispEdges\">\n"
              "<title>s.glim, taken 2024-03-05 09:07:02 UTC+1:00 on SIMHOST</title>\n"
              "<rect x=\"0\" y=\"0\" width=\"198\" height=\"36\" fill=\"#000000\"/>\n"
              "<rect x=\"0\" y=\"0\" width=\"36\" height=\"18\" fill=\"#000080\"/>\n"
              "<rect x=\"45\" y=\"0\" width=\"27\" height=\"18\" fill=\"#000080\"/>\n"
              "<rect x=\"9\" y=\"18\" width=\"18\" height=\"18\" fill=\"#800000\"/>\n"
              "<rect x=\"9\" y=\"34\" width=\"18\" height=\"1\" fill=\"#FF0000\"/>\n"
              "<text x=\"0 9 18 27\" y=\"14\" fill=\"#FFFFFF\" "
              "xml:space=\"preserve\">A&lt;&amp;&gt;</text>\n"
              "<text x=\"45 54 63\" y=\"14\" fill=\"#C0C0C0\" xml:space=\"preserve\">b c</text>\n"
              "<text x=\"9 18\" y=\"32\" fill=\"#FF0000\" xml:space=\"preserve\">_x</text>\n"
              "<text x=\"36\" y=\"32\" fill=\"#C0C0C0\" xml:space=\"preserve\">\U0001F600</text>\n"
              "<text x=\"54 72\" y=\"32\" fill=\"#C0C0C0\" xml:space=\"preserve\">\u4e2dz</text>\n"
              "<rect x=\"81\" y=\"33\" width=\"9\" height=\"3\" fill=\"#C0C0C0\"/>\n"
              "</svg>\n",
              Render(GlimpsetBytes(screen), VIEW_SVG, false, "s.glim"));
}

TEST_F(HtmlTest, PairsSideBySideInTheImageStandAloneAndLeaveNoEmptyText) {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 3, u"\xd83d\xde00\xd83d\xde01", 0x07);
    std::string image = Render(GlimpsetBytes(screen), VIEW_SVG, false, "s.glim");
    EXPECT_NE(std::string::npos, image.find("<text x=\"27\" y=\"14\" fill=\"#C0C0C0\" "
                                            "xml:space=\"preserve\">\U0001F600</text>\n"
                                            "<text x=\"45\" y=\"14\" fill=\"#C0C0C0\" "
                                            "xml:space=\"preserve\">\U0001F601</text>\n"));
    EXPECT_EQ(std::string::npos, image.find("x=\"\""));
}
