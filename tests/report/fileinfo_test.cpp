// fileinfo_test.cpp: the description of one file by glim /I, over header
// bytes built here: every line of both descriptions, the time-stamp and
// code-page forms, files of neither format, and the two error forms.
#include "format/glimformat.h"
#include "report/fileinfo.h"
#include "tests/support/glimtest.h"
#include "winsim/sim.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char16_t FilePath[] = u"C:\\s\\screen.glim";

// The header of a screen taken on 2024-03-05 at 09:07:02 one hour east of
// UTC, 80 x 300 cells, cursor at row 12, column 3, attribute 0x1F, a window
// of 25 rows, code page 437 for both, on SIMHOST, with checksum 0x0BADF00D.
GlimpsetHeader BaseHeader() {
    SYSTEMTIME time = {};
    time.wYear = 2024;
    time.wMonth = 3;
    time.wDayOfWeek = 2;
    time.wDay = 5;
    time.wHour = 9;
    time.wMinute = 7;
    time.wSecond = 2;
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    info.dwSize = {80, 300};
    info.dwCursorPosition = {3, 12};
    info.wAttributes = 0x1F;
    info.srWindow = {0, 275, 79, 299};
    GlimpsetHeader header;
    FillGlimpsetHeader(&header, &time, -60, &info, 437, 437, u"SIMHOST");
    header.crc = 0x0BADF00D;
    return header;
}

std::vector<uint8_t> Bytes(const GlimpsetHeader &header) {
    std::vector<uint8_t> bytes(sizeof header);
    memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

// The lines of the description of BaseHeader, the empty first one included.
std::vector<std::string> BaseLines() {
    return {
        "",
        "\"C:\\s\\screen.glim\" - Glimpset v1 save file",
        "   Taken              : 2024-03-05 09:07:02 UTC+1:00",
        "   On computer        : SIMHOST",
        "   Checksum           : 0BADF00D",
        "   Screen buffer size : 300 rows x 80 columns",
        "   Cursor position    : row 12, column 3",
        "   Screen attribute   : 001f",
        "   Window height      : 25 rows",
        "   Code page          : 437",
    };
}

std::string Joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::string NotGlimpset(const std::string &name) {
    return "\r\n\"" + name + "\" is not a Glimpset file.\r\n";
}

class FileInfoTest : public glimtest::GlimTest {
  protected:
    void SetUp() override {
        glimtest::GlimTest::SetUp();
        sim::MakeDirectory(u"C:\\s");
    }
};

struct HeaderCase {
    const char *behaviour;
    void (*change)(GlimpsetHeader &header);
    int line;         // the line of BaseLines that differs
    const char *text; // what it reads instead
};

void SetBias(GlimpsetHeader &header, LONG bias) {
    header.utcBias = bias;
}

// The computer name field holds `name` (at most 16 units), zero after it.
void SetName(GlimpsetHeader &header, const std::u16string &name) {
    for (size_t i = 0; i < 16; i++) {
        header.computerName[i] = i < name.size() ? (WCHAR)name[i] : 0;
    }
}

#define NAME_ROW(behaviour, name, shown)                                                           \
    {                                                                                              \
        behaviour, [](GlimpsetHeader &h) { SetName(h, name); }, 3,                                 \
            "   On computer        : " shown                                                       \
    }

const HeaderCase HeaderCases[] = {
    {"the base header", [](GlimpsetHeader &) {}, 0, ""},
    {"version 2 is shown as found", [](GlimpsetHeader &h) { h.version = 2; }, 1,
     "\"C:\\s\\screen.glim\" - Glimpset v2 save file"},
    {"year 0 has no time stamp", [](GlimpsetHeader &h) { h.year = 0; }, 2,
     "   Taken              : not available"},
    {"bias 300 is five hours west", [](GlimpsetHeader &h) { SetBias(h, 300); }, 2,
     "   Taken              : 2024-03-05 09:07:02 UTC-5:00"},
    {"bias -330 is five and a half hours east", [](GlimpsetHeader &h) { SetBias(h, -330); }, 2,
     "   Taken              : 2024-03-05 09:07:02 UTC+5:30"},
    {"bias 210 is three and a half hours west", [](GlimpsetHeader &h) { SetBias(h, 210); }, 2,
     "   Taken              : 2024-03-05 09:07:02 UTC-3:30"},
    {"bias 0 is UTC with a plus sign", [](GlimpsetHeader &h) { SetBias(h, 0); }, 2,
     "   Taken              : 2024-03-05 09:07:02 UTC+0:00"},
    {"bias 30 is half an hour west", [](GlimpsetHeader &h) { SetBias(h, 30); }, 2,
     "   Taken              : 2024-03-05 09:07:02 UTC-0:30"},
    {"the most negative bias is shown without overflow",
     [](GlimpsetHeader &h) { SetBias(h, INT_MIN); }, 2,
     "   Taken              : 2024-03-05 09:07:02 UTC+35791394:08"},
    {"a time of day with two-digit fields",
     [](GlimpsetHeader &h) {
         h.year = 999;
         h.month = 12;
         h.day = 31;
         h.hour = 23;
         h.minute = 59;
         h.second = 58;
     },
     2, "   Taken              : 0999-12-31 23:59:58 UTC+1:00"},
    {"a name filling all 16 units is shown whole",
     [](GlimpsetHeader &h) {
         for (int i = 0; i < 16; i++) {
             h.computerName[i] = (WCHAR)('A' + i);
         }
     },
     3, "   On computer        : ABCDEFGHIJKLMNOP"},
    {"an empty name is not available", [](GlimpsetHeader &h) { h.computerName[0] = 0; }, 3,
     "   On computer        : not available"},
    {"a name ends at its first NUL",
     [](GlimpsetHeader &h) {
         h.computerName[2] = 0;
         h.computerName[3] = 'Z';
     },
     3, "   On computer        : SI"},
    // A name is what the file says: nothing in it may act on a terminal.
    NAME_ROW("plain ASCII is shown as it is", u"BUILD-07", "BUILD-07"),
    NAME_ROW("accented Latin is shown as it is", u"Bücher-Zoë", "Bücher-Zoë"),
    NAME_ROW("CJK is shown as it is", u"開発機", "開発機"),
    NAME_ROW("a surrogate pair is shown as its character", u"PC\U0001F600", "PC😀"),
    NAME_ROW("ESC [2J ESC [H cannot clear the screen", u"\x1b[2J\x1b[H", "�[2J�[H"),
    NAME_ROW("an OSC 52 clipboard write loses its ESC and BEL", u"\x1b]52;c;SGk=\a",
             "�]52;c;SGk=�"),
    NAME_ROW("a title change loses its ESC and BEL", u"\x1b]0;pwned\a", "�]0;pwned�"),
    NAME_ROW("tab, CR and LF are C0 controls", u"a\tb\rc\nd", "a�b�c�d"),
    NAME_ROW("DEL is replaced", u"A\x7f", "A�"),
    NAME_ROW("C1 CSI and NEL are replaced", u"\u009b2J\u0085", "�2J�"),
    NAME_ROW("embeddings and overrides are replaced", u"\u202aa\u202bb\u202cc\u202dd\u202e",
             "�a�b�c�d�"),
    NAME_ROW("isolates are replaced", u"\u2066a\u2067b\u2068c\u2069", "�a�b�c�"),
    NAME_ROW("a lone high surrogate is replaced", u"a\xd800" u"b", "a�b"),
    NAME_ROW("a lone low surrogate is replaced", u"a\xdc00" u"b", "a�b"),
    NAME_ROW("a pair cut by the field's end is a lone surrogate", u"ABCDEFGHIJKLMNO\xd83d",
             "ABCDEFGHIJKLMNO�"),
    {"the checksum is eight upper-case digits", [](GlimpsetHeader &h) { h.crc = 0xfe; }, 4,
     "   Checksum           : 000000FE"},
    {"the high byte of the attribute is not shown", [](GlimpsetHeader &h) { h.attribute = 0x1F07; },
     7, "   Screen attribute   : 0007"},
    {"different code pages take the two-value form",
     [](GlimpsetHeader &h) {
         h.inputCodePage = 850;
         h.outputCodePage = 65001;
     },
     9, "   Code page          : 850 (input) / 65001 (output)"},
};

TEST_F(FileInfoTest, GlimpsetHeaderIsDescribedLineByLine) {
    for (const HeaderCase &row : HeaderCases) {
        SCOPED_TRACE(row.behaviour);
        sim::ClearOutput();
        GlimpsetHeader header = BaseHeader();
        row.change(header);
        sim::MakeFile(FilePath, Bytes(header));
        std::vector<std::string> lines = BaseLines();
        if (row.line != 0) {
            lines[row.line] = row.text;
        }
        EXPECT_EQ(ShowFileInfo(FilePath, 0), 0);
        EXPECT_EQ(sim::Stdout(), Joined(lines));
        EXPECT_EQ(sim::Stderr(), "");
    }
}

TEST_F(FileInfoTest, FileWithSoundHeaderAndDamagedBodyIsDescribedWithStoredChecksum) {
    std::vector<uint8_t> bytes = Bytes(BaseHeader());
    // A body that ends inside a token's operands and would never decode.
    bytes.insert(bytes.end(), {0xF9, 0xFF, 0x05});
    sim::MakeFile(FilePath, bytes);
    EXPECT_EQ(ShowFileInfo(FilePath, 1), 0);
    EXPECT_EQ(sim::Stdout(), Joined(BaseLines()));
}

// A SAVECON header for an 80 x 300 buffer, cursor at row 10, column 5,
// attribute 0x1F07, window columns 0 to 79 and rows 0 to 24; cells follow.
std::vector<uint8_t> SaveconBytes(WORD left, WORD top, WORD right, WORD bottom) {
    const WORD words[] = {80, 300, 5, 10, 0x1F07, left, top, right, bottom, 80, 50, 1};
    std::vector<uint8_t> bytes;
    for (WORD word : words) {
        bytes.push_back((uint8_t)(word & 0xFF));
        bytes.push_back((uint8_t)(word >> 8));
    }
    while (bytes.size() < 100) {
        bytes.push_back(bytes.size() % 2 == 0 ? 0x41 : 0x00);
    }
    return bytes;
}

TEST_F(FileInfoTest, SaveconHeaderIsDescribedInFiveLines) {
    struct {
        const char *behaviour;
        WORD left, top, right, bottom;
        const char *windowLine;
    } rows[] = {
        {"a window at the top left", 0, 0, 79, 24, "   Window size        : 25 rows x 80 columns"},
        {"a window of the least size", 10, 100, 31, 104,
         "   Window size        : 5 rows x 22 columns"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.behaviour);
        sim::ClearOutput();
        sim::MakeFile(u"C:\\s\\old.scr", SaveconBytes(row.left, row.top, row.right, row.bottom));
        EXPECT_EQ(ShowFileInfo(u"C:\\s\\old.scr", 0), 0);
        EXPECT_EQ(sim::Stdout(), Joined({
                                     "",
                                     "\"C:\\s\\old.scr\" - Varlotti SAVECON file",
                                     "   Screen buffer size : 300 rows x 80 columns",
                                     "   Cursor position    : row 10, column 5",
                                     "   Screen attribute   : 1f07",
                                     row.windowLine,
                                 }));
        EXPECT_EQ(sim::Stderr(), "");
    }
}

TEST_F(FileInfoTest, FileOfNeitherFormatIsNamedUnlessSilenced) {
    std::vector<uint8_t> sound = Bytes(BaseHeader());
    std::vector<uint8_t> short79(sound.begin(), sound.end() - 1);
    GlimpsetHeader wide = BaseHeader();
    wide.columns = 513;
    // Equal foreground and background: not a SAVECON header.
    std::vector<uint8_t> grey = SaveconBytes(0, 0, 79, 24);
    grey[8] = 0x77;
    grey[9] = 0x00;
    struct {
        const char *behaviour;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"79 bytes of a sound header", short79},
        {"an empty file", {}},
        {"a text file of 80 bytes and more", std::vector<uint8_t>(200, 'x')},
        {"the magic with 513 columns", Bytes(wide)},
        {"a SAVECON header with equal colours", grey},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.behaviour);
        sim::MakeFile(FilePath, row.bytes);
        sim::ClearOutput();
        EXPECT_EQ(ShowFileInfo(FilePath, 0), 0);
        EXPECT_EQ(sim::Stdout(), NotGlimpset("C:\\s\\screen.glim"));
        sim::ClearOutput();
        EXPECT_EQ(ShowFileInfo(FilePath, 1), 0);
        EXPECT_EQ(sim::Stdout(), "");
        EXPECT_EQ(sim::Stderr(), "");
    }
}

TEST_F(FileInfoTest, EmptyNameTouchesNothing) {
    EXPECT_EQ(ShowFileInfo(u"", 0), -1);
    EXPECT_EQ(sim::Stdout(), "");
    EXPECT_EQ(sim::Stderr(), "");
    EXPECT_EQ(sim::CallCount("CreateFileW"), 0);
}

TEST_F(FileInfoTest, FailureToOpenOrReadIsReportedAfterAnEmptyLine) {
    struct {
        const char *behaviour;
        void (*arrange)();
        const char *stderrText;
    } rows[] = {
        {"a missing file", [] {},
         "Glimpset plugin: Error opening \"C:\\s\\screen.glim\":\r\n"
         "    The system cannot find the file specified.\r\n"},
        {"a file that opens for nothing",
         [] {
             sim::MakeFile(FilePath, Bytes(BaseHeader()));
             sim::SetUnopenable(FilePath);
         },
         "Glimpset plugin: Error opening \"C:\\s\\screen.glim\":\r\n"
         "    Access is denied.\r\n"},
        {"a file whose read fails",
         [] {
             sim::MakeFile(FilePath, Bytes(BaseHeader()));
             sim::SetUnreadable(FilePath);
         },
         "Glimpset plugin: Error reading \"C:\\s\\screen.glim\":\r\n"
         "    The system cannot read from the specified device.\r\n"},
        {"a read that fails without a code",
         [] {
             sim::MakeFile(FilePath, Bytes(BaseHeader()));
             sim::FailCall("ReadFile", 1, 0);
         },
         "Glimpset plugin: Error reading \"C:\\s\\screen.glim\":\r\n"
         "    Unknown error\r\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.behaviour);
        glimtest::ResetAll();
        sim::MakeDirectory(u"C:\\s");
        row.arrange();
        EXPECT_EQ(ShowFileInfo(FilePath, 1), -2);
        EXPECT_EQ(sim::Stdout(), "\r\n");
        EXPECT_EQ(sim::Stderr(), row.stderrText);
        EXPECT_EQ(sim::OpenHandles(), 0);
    }
}

} // namespace
