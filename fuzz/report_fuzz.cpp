// report_fuzz.cpp: glim /I on an arbitrary file of 0 to 200 bytes, once as
// it is and once with /N:O, which passes over files of neither format.
//
// Input: the file's bytes. The report must succeed and print, line for
// line, the description that the model of the formats gives for the
// file's first 80 bytes, then the directory's "Found" line.
#include "fuzz/fuzzsupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

const size_t MAX_FILE = 200;

std::string Format(const char *format, long a, long b = 0) {
    char text[128];
    snprintf(text, sizeof text, format, a, b);
    return text;
}

uint16_t W(const std::vector<uint8_t> &file, size_t at) {
    return fuzz::WordAt(file, at);
}

uint32_t D(const std::vector<uint8_t> &file, size_t at) {
    return (uint32_t)W(file, at) | ((uint32_t)W(file, at + 2) << 16);
}

const char Name[] = "C:\\f.glim";

std::string GlimpsetLines(const std::vector<uint8_t> &file) {
    std::string text = std::string("\r\n\"") + Name + "\" - Glimpset v" +
                       Format("%ld", W(file, 8)) + " save file\r\n";
    text += "   Taken              : ";
    if (W(file, 10) == 0) {
        text += "not available\r\n";
    } else {
        char stamp[96];
        long long east = -(long long)(int32_t)D(file, 18);
        long long magnitude = east < 0 ? -east : east;
        snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u UTC%s%lld:%02lld\r\n",
                 (unsigned)W(file, 10), (unsigned)file[13], (unsigned)file[12], (unsigned)file[15],
                 (unsigned)file[14], (unsigned)file[16], east < 0 ? "-" : "+", magnitude / 60,
                 magnitude % 60);
        text += stamp;
    }
    // The name as stored, up to its first NUL, with every unit that could
    // act on a terminal shown as U+FFFD: controls (C0, DEL, C1), the
    // bidirectional embeddings, overrides and isolates, and surrogates that
    // are not half of a pair within the name.
    std::u16string stored;
    for (size_t unit = 0; unit < 16 && W(file, 48 + 2 * unit) != 0; unit++) {
        stored += (char16_t)W(file, 48 + 2 * unit);
    }
    std::u16string computer = stored;
    for (size_t i = 0; i < stored.size(); i++) {
        char16_t c = stored[i];
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        bool paired =
            (high && i + 1 < stored.size() && stored[i + 1] >= 0xDC00 && stored[i + 1] <= 0xDFFF) ||
            (low && i > 0 && stored[i - 1] >= 0xD800 && stored[i - 1] <= 0xDBFF);
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2066 && c <= 0x2069) || ((high || low) && !paired)) {
            computer[i] = 0xFFFD;
        }
    }
    text += "   On computer        : " + (computer.empty() ? "not available" : sim::U8(computer)) +
            "\r\n";
    char checksum[48];
    snprintf(checksum, sizeof checksum, "   Checksum           : %08X\r\n", (unsigned)D(file, 44));
    text += checksum;
    text += Format("   Screen buffer size : %ld rows x %ld columns\r\n", W(file, 24), W(file, 22));
    text += Format("   Cursor position    : row %ld, column %ld\r\n", W(file, 28), W(file, 26));
    text += Format("   Screen attribute   : %04lx\r\n", W(file, 30) & 0xFF);
    text += Format("   Window height      : %ld rows\r\n", W(file, 40));
    int32_t input = (int32_t)D(file, 32), output = (int32_t)D(file, 36);
    if (input == output) {
        text += Format("   Code page          : %ld\r\n", input);
    } else {
        text += Format("   Code page          : %ld (input) / %ld (output)\r\n", input, output);
    }
    return text;
}

std::string SaveconLines(const std::vector<uint8_t> &file) {
    std::string text = std::string("\r\n\"") + Name + "\" - Varlotti SAVECON file\r\n";
    text += Format("   Screen buffer size : %ld rows x %ld columns\r\n", W(file, 2), W(file, 0));
    text += Format("   Cursor position    : row %ld, column %ld\r\n", W(file, 6), W(file, 4));
    text += Format("   Screen attribute   : %04lx\r\n", W(file, 8));
    text += Format("   Window size        : %ld rows x %ld columns\r\n",
                   W(file, 16) - W(file, 12) + 1, W(file, 14) - W(file, 10) + 1);
    return text;
}

void Report(const std::vector<uint8_t> &file, bool onlyKnown) {
    int kind = file.size() < 80 ? 0 : fuzz::ModelClassify(file.data());
    std::string expected;
    if (kind == 1) {
        expected = GlimpsetLines(file);
    } else if (kind == 2) {
        expected = SaveconLines(file);
    } else if (!onlyKnown) {
        expected = std::string("\r\n\"") + Name + "\" is not a Glimpset file.\r\n";
    }
    expected += "\r\nFound 1 file in C:\\.\r\n";

    int result = fuzz::RunGlim(onlyKnown ? u"/I /N:O C:\\f.glim" : u"/I C:\\f.glim");
    fuzz::Require(result == 0, "the report on a readable file failed");
    fuzz::Require(sim::Stderr().empty(), "the report on a readable file wrote an error");
    fuzz::Require(sim::Stdout() == expected, "the report differs from the file's header");
    // Whatever the file holds, no control but the line ends reaches the
    // terminal: no ESC, no BEL, no C1 (in UTF-8, C2 80 to C2 9F).
    const std::string out = sim::Stdout();
    for (size_t i = 0; i < out.size(); i++) {
        unsigned char c = (unsigned char)out[i];
        fuzz::Require(c >= 0x20 || c == '\r' || c == '\n', "a control reached the output");
        fuzz::Require(!(c == 0xC2 && i + 1 < out.size() && (unsigned char)out[i + 1] >= 0x80 &&
                        (unsigned char)out[i + 1] <= 0x9F),
                      "a C1 control reached the output");
        fuzz::Require(c != 0x7F, "DEL reached the output");
    }
    fuzz::CheckAfterRun(result);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > MAX_FILE) {
        return -1;
    }
    std::vector<uint8_t> file(data, data + size);
    fuzz::FreshMachine();
    sim::MakeFile(u"C:\\f.glim", file);
    Report(file, false);
    Report(file, true);
    fuzz::SettleMachine();
    return 0;
}
