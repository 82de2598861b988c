// seeds.cpp: writes the seed corpus of the five fuzzers (FOLDER/corpus/
// TARGET/NAME) and the dictionary of the command-tail fuzzer (FOLDER/
// tail.dict); run by hand as
//   build/fuzz/fuzz_seeds fuzz
// when the seeds change. The screen files among the seeds are saved by the plugin itself, over
// winsim; SAVECON files and damaged files are made from them or by hand.
#include "fuzz/fuzzsupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

std::string Root;

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
        exit(1);
    }
    fclose(file);
}

void Write(const std::string &target, const std::string &name, const std::vector<uint8_t> &bytes) {
    std::string corpus = Root + "/corpus";
    std::string folder = corpus + "/" + target;
    mkdir(corpus.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    WriteFile(folder + "/" + name, bytes);
}

std::vector<uint8_t> Bytes(const std::string &text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> Utf16(const std::u16string &text) {
    std::vector<uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back((uint8_t)unit);
        bytes.push_back((uint8_t)(unit >> 8));
    }
    return bytes;
}

std::vector<uint8_t> Prefixed(uint8_t control, const std::vector<uint8_t> &file) {
    std::vector<uint8_t> bytes(1, control);
    bytes.insert(bytes.end(), file.begin(), file.end());
    return bytes;
}

std::vector<uint8_t> Head(const std::vector<uint8_t> &file, size_t size) {
    return std::vector<uint8_t>(file.begin(), file.begin() + (long)std::min(size, file.size()));
}

// A screen saved by the plugin from a console of the given size, with text
// and colours, and options of the save (/N:T).
std::vector<uint8_t> Save(int columns, int rows, const std::u16string &options) {
    fuzz::FreshMachine();
    sim::ConsoleResize(columns, rows);
    sim::ConsolePutText(0, 0, u"Microsoft Windows [Version 10.0]", 0x07);
    sim::ConsolePutText(0, 2, u"C:\\work> dir", 0x0A);
    sim::ConsolePutText(2, 3, u"\uFFF0\uFFFB\uFFFD \u2588\u2588\u2588 caf\u00E9", 0x1F);
    sim::ConsolePutText(0, rows - 1, std::u16string(columns, u'-'), 0x70);
    sim::Console().cursorRow = 4;
    sim::Console().cursorColumn = 9;
    sim::SetTimeZoneBias(-330);
    int result = fuzz::RunGlim(u"/Q " + options + u" C:\\seed.glim");
    if (result != 0) {
        fprintf(stderr, "fuzz_seeds: the save failed\n");
        exit(1);
    }
    std::vector<uint8_t> bytes = sim::FileBytes(u"C:\\seed.glim");
    fuzz::SettleMachine();
    return bytes;
}

// A SAVECON file of a `columns` x `rows` buffer with a window of
// `width` x `height`, cells at 22 (`early`) or at 832; `cells` of them given.
std::vector<uint8_t> Savecon(int columns, int rows, int width, int height, bool early, int cells) {
    size_t start = early ? 22 : 832;
    std::vector<uint8_t> bytes(early ? 22 : 832, 0);
    uint16_t header[9] = {(uint16_t)columns,     (uint16_t)rows,        3, 2, 0x4E, 0, 0,
                          (uint16_t)(width - 1), (uint16_t)(height - 1)};
    for (int i = 0; i < 9; i++) {
        fuzz::PutWord(bytes, 2 * i, header[i]);
    }
    fuzz::PutWord(bytes, 18, (uint16_t)width);
    fuzz::PutWord(bytes, 20, (uint16_t)height);
    const std::u16string text = u"SAVECON: C:\\> type readme.txt";
    for (int cell = 0; cell < cells; cell++) {
        uint16_t ch = cell < (int)text.size() ? text[cell] : (cell % 7 == 0 ? u'.' : u' ');
        fuzz::PutWord(bytes, start + 4 * cell, ch);
        fuzz::PutWord(bytes, start + 4 * cell + 2, (uint16_t)(0x10 + cell % 5));
    }
    if (!early && bytes.size() < 80) {
        bytes.resize(80, 0);
    }
    return bytes;
}

// A Glimpset header for a small buffer, then `stream`; CRC left 0.
std::vector<uint8_t> Handmade(const std::vector<uint16_t> &stream, uint16_t version) {
    std::vector<uint8_t> bytes(80, 0);
    const char magic[] = "Glimpset";
    for (int i = 0; i < 8; i++) {
        bytes[i] = (uint8_t)magic[i];
    }
    fuzz::PutWord(bytes, 8, version);
    fuzz::PutWord(bytes, 22, 22);
    fuzz::PutWord(bytes, 24, 8);
    fuzz::PutWord(bytes, 30, 0x07);
    fuzz::PutWord(bytes, 40, 8);
    for (uint16_t word : stream) {
        fuzz::PutWord(bytes, bytes.size(), word);
    }
    return bytes;
}

void RestoreSeeds() {
    std::vector<uint8_t> screen = Save(80, 300, u"");
    std::vector<uint8_t> small = Save(100, 40, u"/N:T");
    std::vector<uint8_t> wide = Save(132, 50, u"");
    Write("restore", "saved-80x300", Prefixed(0x00, screen));
    Write("restore", "saved-80x300-into-80x25", Prefixed(0x22, screen));
    Write("restore", "saved-100x40-no-time", Prefixed(0x00, small));
    Write("restore", "saved-100x40-tab-window", Prefixed(0x04, small));
    Write("restore", "saved-132x50-no-move", Prefixed(0x48, wide));
    Write("restore", "saved-132x50-no-window", Prefixed(0x10, wide));
    Write("restore", "saved-80x300-in-a-terminal", Prefixed(0x80, screen));
    Write("restore", "saved-100x40-in-an-80x25-terminal", Prefixed(0xA0, small));
    std::vector<uint8_t> damaged = screen;
    damaged[90] ^= 0x40;
    Write("restore", "damaged-crc", Prefixed(0x00, damaged));
    Write("restore", "damaged-no-crc-check", Prefixed(0x01, damaged));
    Write("restore", "cut-short", Prefixed(0x01, Head(screen, screen.size() - 3)));
    Write("restore", "header-only", Prefixed(0x01, Head(screen, 80)));
    Write("restore", "savecon-early", Prefixed(0x00, Savecon(80, 25, 80, 25, true, 2000)));
    Write("restore", "savecon-late-empty", Prefixed(0x60, Savecon(30, 10, 30, 10, false, 0)));
    Write("restore", "savecon-half-cell", Prefixed(0x40, Savecon(80, 30, 60, 20, true, 41)));
    // The worked example of the token stream: runs, attributes, literals.
    Write("restore", "every-token",
          Prefixed(0x01, Handmade({0xFFF9, 5, u'A', 0xFFFC, 0x1F, u'B', 0xFFFC, 0x07, 0xFFFA, 3,
                                   u'x', u'x', 0xFFFB, 0xFFFD, 0xFFFF, 0xFFF9, 0, u'-'},
                                  1)));
    Write("restore", "blank-to-end", Prefixed(0x01, Handmade({u'A', 0xFFFC, 0x1F, 0xFFFD}, 1)));
    Write("restore", "version-2", Prefixed(0x01, Handmade({0xFFFD}, 2)));
    Write("restore", "short-file", Prefixed(0x00, Bytes(std::string("Glimpset\1\0", 10))));
}

void ReportSeeds() {
    std::vector<uint8_t> screen = Save(80, 300, u"");
    Write("report", "saved", Head(screen, 200));
    Write("report", "saved-header", Head(screen, 80));
    Write("report", "saved-no-time", Head(Save(100, 40, u"/N:T"), 120));
    std::vector<uint8_t> nameless = Head(screen, 80);
    for (size_t at = 48; at < 80; at += 2) {
        fuzz::PutWord(nameless, at, (uint16_t)(u'A' + (at - 48) / 2));
    }
    fuzz::PutWord(nameless, 32, 850);
    Write("report", "full-name-two-code-pages", nameless);
    Write("report", "savecon-early", Head(Savecon(80, 25, 80, 25, true, 100), 200));
    Write("report", "savecon-late", Savecon(80, 300, 80, 25, false, 0));
    Write("report", "short", Bytes(std::string("Glimpset\1\0", 10)));
    Write("report", "text", Bytes("C:\\work> echo not a screen file\r\n"));
    Write("report", "empty", {});
}

void TailSeeds() {
    const std::u16string tails[][2] = {
        {u"empty", u""},
        {u"help", u"/?"},
        {u"version", u"/??"},
        {u"save-named", u"/Q C:\\work\\new.glim"},
        {u"save-glued-options", u"/O/Q/N:T a.glim"},
        {u"save-into-directory", u"/q sub"},
        {u"save-through-link", u"/q jump//"},
        {u"save-quoted-blanks", u"\"C:\\work\\with blanks\\..\\screen one.glim\""},
        {u"restore", u"/R a.glim"},
        {u"restore-no-crc", u"/r /n:x \"sub\\d.glim\""},
        {u"restore-glued-quote", u"/R\"b.sav\""},
        {u"report-alternatives", u"/I /S *.glim;*.sav"},
        {u"report-everything", u"/I /I /E /N=DJOSZ"},
        {u"report-two-patterns", u"/i a.glim ..\\other\\* missing\\*.glim"},
        {u"address", u"/R http://example.com/x.glim"},
        {u"two-slashes", u"//x/y"},
        {u"syntax-error", u"a.glim b.glim"},
        {u"unknown-option", u"/OQ"},
        {u"bad-suboption", u"/N::T"},
        {u"open-quote", u"/R \"a.glim   "},
        {u"bad-name", u"/R \"<>\""},
        {u"save-to-a-device", u"/O /Q NUL"},
        {u"save-to-the-console", u"/Q \\\\.\\CONOUT$"},
        {u"restore-from-console-input", u"/R CONIN$"},
        {u"restore-prefixed", u"/R \\\\?\\C:\\work\\a.glim"},
    };
    for (const auto &tail : tails) {
        Write("tail", sim::U8(tail[0]), Utf16(tail[1]));
    }
    // Past the table: one argument of 8,191 characters fits, 8,192 do not.
    Write("tail", "longest-argument", Utf16(std::u16string(8191, u'x')));
    Write("tail", "overflow", Utf16(u"/I " + std::u16string(8200, u'y')));
    std::u16string many;
    for (int i = 0; i < 1025; i++) {
        many += u"a ";
    }
    Write("tail", "1025-arguments", Utf16(many));
}

// A glimview input: the control byte (the text's length, then -i, --force
// and --window), the text to look for, the file.
const uint8_t IGNORE_CASE = 0x20, FORCE = 0x40, WINDOW = 0x80;
std::vector<uint8_t> ViewInput(uint8_t options, const std::string &text,
                               const std::vector<uint8_t> &file) {
    size_t length = std::min<size_t>(text.size(), 31);
    std::vector<uint8_t> bytes(1, (uint8_t)(length | options));
    bytes.insert(bytes.end(), text.begin(), text.begin() + (long)length);
    bytes.insert(bytes.end(), file.begin(), file.end());
    return bytes;
}

void ViewSeeds() {
    std::vector<uint8_t> screen = Save(80, 300, u"");
    std::vector<uint8_t> small = Save(100, 40, u"/N:T");
    Write("view", "saved-80x300", ViewInput(0, "dir", screen));
    Write("view", "saved-80x300-window", ViewInput(WINDOW | IGNORE_CASE, "CAF\xC3\xA9", screen));
    Write("view", "saved-100x40-no-time", ViewInput(0, "", small));
    Write("view", "saved-132x50", ViewInput(IGNORE_CASE, "microsoft", Save(132, 50, u"")));
    std::vector<uint8_t> damaged = screen;
    damaged[90] ^= 0x40;
    Write("view", "damaged-crc", ViewInput(0, "C:", damaged));
    Write("view", "damaged-crc-forced", ViewInput(FORCE | WINDOW, "-", damaged));
    Write("view", "cut-short-forced", ViewInput(FORCE, "-", Head(screen, screen.size() - 3)));
    Write("view", "header-only", ViewInput(FORCE, "x", Head(screen, 80)));
    Write("view", "savecon-early",
          ViewInput(IGNORE_CASE, "readme", Savecon(80, 25, 80, 25, true, 2000)));
    Write("view", "savecon-late-empty", ViewInput(WINDOW, " ", Savecon(30, 10, 30, 10, false, 0)));
    Write("view", "every-token",
          ViewInput(0, "B",
                    Handmade({0xFFF9, 5, u'A', 0xFFFC, 0x1F, u'B', 0xFFFC, 0x07, 0xFFFA, 3, u'x',
                              u'x', 0xFFFB, 0xFFFD, 0xFFFF, 0xFFF9, 0, u'-'},
                             1)));
    // What each output must make safe: controls, markup, pairs, wide cells,
    // reverse video and underscore (the checksum left 0: shown by --force).
    Write(
        "view", "hostile-cells",
        ViewInput(FORCE | IGNORE_CASE, "<&>",
                  Handmade({0xFFFC, 0x801F, 0x001B, u'[',   u'2',   u'J',   u'<',   u'&',   u'>',
                            0x0085, 0xFFFC, 0x4007, 0xD83D, 0xDE00, 0xDE00, 0xD83D, 0x202E, 0x2028,
                            0xFFFC, 0x0107, 0x4E2D, 0xFFFC, 0x0207, 0x4E2D, 0xFFFD},
                           1)));
    Write("view", "version-2", ViewInput(FORCE, "", Handmade({0xFFFD}, 2)));
    Write("view", "text", ViewInput(0, "not", Bytes("C:\\work> echo not a screen file\r\n")));
}

void SearchSeeds() {
    const struct {
        const char *name;
        uint8_t options;
        std::string specs;
    } seeds[] = {
        {"default", 0x00, ""},
        {"recurse-glim", 0x01, "*.glim"},
        {"recurse-alternatives", 0x03, "*.glim;*.sav"},
        {"directory", 0x01, "sub"},
        {"skip-hidden-system-links", 0x1D, "*"},
        {"only-known-no-totals", 0x61, "*"},
        {"two-patterns", 0x00, "a.glim\n..\\other\\*.glim"},
        {"from-sub", 0x81, "..\\*.glim"},
        {"set", 0x01, "[a-c]*.glim"},
        {"semicolon-directory", 0x00, "semi;colon\\*;x*"},
        {"through-link", 0x01, "C:\\work\\jump\\*.glim"},
        {"other-drive", 0x00, "D:*"},
        {"bars", 0x00, "|||"},
        {"no-match", 0x02, "nothing*\nsub\\"},
    };
    for (const auto &seed : seeds) {
        std::vector<uint8_t> bytes(1, seed.options);
        bytes.insert(bytes.end(), seed.specs.begin(), seed.specs.end());
        Write("search", seed.name, bytes);
    }
}

// The tail's words as the fuzzer should try them, in UTF-16.
void TailDictionary() {
    const std::u16string words[] = {
        u"/?",  u"/??",  u"/E",   u"/I",     u"/N",     u"/N:",         u"/N=",       u"/O",
        u"/Q",  u"/R",   u"/S",   u"D",      u"J",      u"O",           u"S",         u"T",
        u"X",   u"Z",    u"\"",   u" ",      u"\t",     u"://",         u"*",         u"?",
        u"[!",  u"]",    u";",    u"\\",     u"..",     u"C:",          u"a.glim",    u"b.sav",
        u"sub", u"loop", u"jump", u"hidden", u"system", u"locked.glim", u"gone.glim", u".glim",
        u"NUL", u"CON", u"CONIN$", u"CONOUT$", u"COM1", u"\\\\?\\", u"\\\\.\\",
    };
    std::string text = "# The words of glim's command tail, in UTF-16 (written by fuzz_seeds).\n";
    for (const std::u16string &word : words) {
        text += "\"";
        for (char16_t unit : word) {
            char escaped[16];
            snprintf(escaped, sizeof escaped, "\\x%02X\\x%02X", unit & 0xFF, unit >> 8);
            text += escaped;
        }
        text += "\"\n";
    }
    WriteFile(Root + "/tail.dict", Bytes(text));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    Root = argv[1];
    RestoreSeeds();
    ReportSeeds();
    TailSeeds();
    SearchSeeds();
    ViewSeeds();
    TailDictionary();
    return 0;
}
