// fuzzsupport.cpp: the machine, the volume, the checks and the model of the
// screen formats shared by the fuzz targets.
#include "fuzz/fuzzsupport.h"

#include "common/tokenizer.h"
#include "host/hoststate.h"
#include "plugin/exports.h"
#include "plugin/lastname.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void Require(bool condition, const char *what) {
    if (!condition) {
        fprintf(stderr, "fuzz: check failed: %s\n", what);
        fprintf(stderr, "fuzz: standard output was:\n%s\n", sim::Stdout().c_str());
        fprintf(stderr, "fuzz: standard error was:\n%s\n", sim::Stderr().c_str());
        abort();
    }
}

void FreshMachine() {
    // The store is freed while winsim still knows its block.
    sim::ClearFailures();
    FreeLastName();
    sim::Reset();
    HostResetState();
    HostRegisterVariable(TEXT("_lastglim"), _lastglim);
}

void SettleMachine() {
    FreshMachine();
}

// ---- A saved screen, made by the plugin.

static std::vector<uint8_t> MakeSavedScreen() {
    FreshMachine();
    sim::ConsolePutText(0, 0, u"C:\\work> dir /w", 0x07);
    sim::ConsolePutText(0, 1, u"[.]  [..]  a.glim  notes.txt", 0x0E);
    sim::ConsolePutText(10, 2, u"    \uFFFD\uFFF9 box \u2500\u2500\u2500", 0x1F);
    sim::ConsolePutText(0, 3, std::u16string(80, u'='), 0x4F);
    sim::Console().cursorRow = 4;
    int result = RunGlim(u"/Q C:\\saved.glim");
    Require(result == 0, "the seed screen could not be saved");
    std::vector<uint8_t> bytes = sim::FileBytes(u"C:\\saved.glim");
    FreshMachine();
    return bytes;
}

const std::vector<uint8_t> &SavedScreenBytes() {
    static const std::vector<uint8_t> bytes = MakeSavedScreen();
    return bytes;
}

// A SAVECON file of an 80 x 25 buffer showing all of it, attribute 0x1E,
// with a line of text; the cells at 22 (`early`) or at 832.
static std::vector<uint8_t> SaveconScreen(bool early) {
    const int columns = 80, rows = 25;
    size_t start = early ? 22 : 832;
    std::vector<uint8_t> bytes(start + (size_t)columns * rows * 4, 0);
    uint16_t header[9] = {columns, rows, 5, 1, 0x1E, 0, 0, columns - 1, rows - 1};
    for (int i = 0; i < 9; i++) {
        PutWord(bytes, 2 * i, header[i]);
    }
    const std::u16string text = u"SAVECON screen";
    for (int cell = 0; cell < columns * rows; cell++) {
        uint16_t ch = cell < (int)text.size() ? text[cell] : u' ';
        PutWord(bytes, start + 4 * cell, ch);
        PutWord(bytes, start + 4 * cell + 2, 0x1E);
    }
    return bytes;
}

void MakeVolume() {
    const std::vector<uint8_t> &saved = SavedScreenBytes();
    sim::MakeDirectory(u"C:\\work");
    sim::MakeFile(u"C:\\work\\a.glim", saved);
    sim::MakeFile(u"C:\\work\\b.sav", SaveconScreen(true));
    sim::MakeFile(u"C:\\work\\c.SAV", SaveconScreen(false));
    sim::MakeFile(u"C:\\work\\notes.txt", std::string("not a screen\r\n"));
    sim::MakeFile(u"C:\\work\\short.glim", std::string("Glimpset\1\0", 10));
    sim::MakeFile(u"C:\\work\\locked.glim", saved);
    sim::SetUnreadable(u"C:\\work\\locked.glim");
    sim::MakeFile(u"C:\\work\\gone.glim", saved);
    sim::SetUnopenable(u"C:\\work\\gone.glim");
    sim::MakeDirectory(u"C:\\work\\sub");
    sim::MakeFile(u"C:\\work\\sub\\d.glim", saved);
    // What a save into sub at sim::Reset's time would call its file.
    sim::MakeFile(u"C:\\work\\sub\\Glimpset 2024-03-05 09.07.02.glim", saved);
    sim::MakeDirectory(u"C:\\work\\sub\\dir.glim");
    sim::MakeDirectory(u"C:\\work\\sub\\deeper");
    sim::MakeFile(u"C:\\work\\sub\\deeper\\e.glim", saved);
    sim::MakeLink(u"C:\\work\\sub\\loop", u"C:\\work");
    sim::MakeDirectory(u"C:\\work\\hidden", FILE_ATTRIBUTE_HIDDEN);
    sim::MakeFile(u"C:\\work\\hidden\\h.glim", saved);
    sim::MakeDirectory(u"C:\\work\\system", FILE_ATTRIBUTE_SYSTEM);
    sim::MakeFile(u"C:\\work\\system\\s.glim", saved);
    sim::MakeDirectory(u"C:\\work\\semi;colon");
    sim::MakeFile(u"C:\\work\\semi;colon\\x.glim", saved);
    sim::MakeLink(u"C:\\work\\jump", u"C:\\work\\sub");
    sim::MakeDirectory(u"C:\\other");
    sim::MakeFile(u"C:\\other\\f.glim", saved);
    sim::MakeFile(u"D:\\g.glim", saved);
    sim::SetCurrentDirectory(u"C:\\work");
}

// ---- Running glim and checking what it left.

int RunGlim(const std::u16string &tail) {
    std::vector<WCHAR> buffer(tail.begin(), tail.end());
    buffer.push_back(0);
    sim::ClearOutput();
    return glim(buffer.data());
}

void CheckAfterRun(int result) {
    if (getenv("GLIM_FUZZ_SHOW") != nullptr) {
        fprintf(stderr, "---- result %d\n---- stdout:\n%s\n---- stderr:\n%s\n", result,
                sim::Stdout().c_str(), sim::Stderr().c_str());
    }
    Require(result >= 0 && result <= 2, "glim returned a result other than 0, 1 or 2");
    Require(result == 0 || !sim::Stderr().empty(), "glim failed without a message");
    Require(sim::OpenHandles() == 0, "a handle was left open");
    Require(sim::LiveAllocations() - (LastName != nullptr ? 1 : 0) == 0,
            "an allocation was left behind");
    sim::ClearOutput();
}

// ---- The volume as it stands.

static std::u16string FoldAZ(const std::u16string &text) {
    std::u16string folded = text;
    for (char16_t &ch : folded) {
        if (ch >= u'A' && ch <= u'Z') {
            ch = (char16_t)(ch + 32);
        }
    }
    return folded;
}

static void TakeDirectory(const std::u16string &directory, VolumeSnapshot &volume) {
    volume[FoldAZ(directory)] = {};
    for (const std::u16string &name : sim::ListDirectory(directory)) {
        std::u16string path = directory + name;
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            Require(false, "an entry of the volume has no attributes");
        } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            volume[FoldAZ(path) + u"\\"] = {};
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            TakeDirectory(path + u"\\", volume);
        } else {
            volume[FoldAZ(path)] = sim::FileBytes(path);
        }
    }
}

VolumeSnapshot TakeVolume() {
    VolumeSnapshot volume;
    TakeDirectory(u"C:\\", volume);
    TakeDirectory(u"D:\\", volume);
    return volume;
}

// ---- Names the simulation does not model.

static bool IsSeparator(WCHAR ch) {
    return ch == u'\\' || ch == u'/';
}

static WCHAR Lower(WCHAR ch) {
    return (ch >= u'A' && ch <= u'Z') ? (WCHAR)(ch + 32) : ch;
}

static bool IsDriveRoot(const std::u16string &text, size_t at) {
    return text.size() >= at + 3 &&
           ((text[at] >= u'A' && text[at] <= u'Z') || (text[at] >= u'a' && text[at] <= u'z')) &&
           text[at + 1] == u':' && IsSeparator(text[at + 2]);
}

// winsim answers device names (CON, NUL, COM1, ...) and the "\\?\" and
// "\\.\" prefixes before a drive (and "\\?\UNC\"), as Windows does; any
// other prefixed path (a volume, a device by its NT name) it does not
// simulate.
static bool ArgumentInsideSimulation(const WCHAR *argument) {
    std::u16string text(argument);
    if (text.size() < 4 || !IsSeparator(text[0]) || !IsSeparator(text[1]) ||
        (text[2] != u'.' && text[2] != u'?') || !IsSeparator(text[3])) {
        return true;
    }
    if (IsDriveRoot(text, 4)) {
        return true;
    }
    std::u16string unc = text.substr(4, 4);
    for (char16_t &ch : unc) {
        ch = Lower(ch);
    }
    return text[2] == u'?' && unc.size() == 4 && unc.compare(0, 3, u"unc") == 0 &&
           IsSeparator(unc[3]);
}

bool InsideSimulation(const std::u16string &tail) {
    std::u16string copy = tail;
    int count = TokenizeArguments(copy.c_str());
    bool inside = true;
    for (int i = 0; i < count && inside; i++) {
        inside = ArgumentInsideSimulation(ArgTable.args[i]);
    }
    // The overflow message of a tail that does not fit is glim's to write.
    sim::ClearOutput();
    return inside;
}

// ---- The model of the formats.

void PutWord(std::vector<uint8_t> &bytes, size_t at, uint16_t value) {
    if (at + 2 > bytes.size()) {
        bytes.resize(at + 2, 0);
    }
    bytes[at] = (uint8_t)value;
    bytes[at + 1] = (uint8_t)(value >> 8);
}

uint16_t WordAt(const std::vector<uint8_t> &bytes, size_t at) {
    return (uint16_t)(bytes[at] | (bytes[at + 1] << 8));
}

static uint16_t W(const uint8_t *bytes, size_t at) {
    return (uint16_t)(bytes[at] | (bytes[at + 1] << 8));
}

static uint32_t D(const uint8_t *bytes, size_t at) {
    return (uint32_t)W(bytes, at) | ((uint32_t)W(bytes, at + 2) << 16);
}

int ModelClassify(const uint8_t *h) {
    static const char magic[] = "Glimpset";
    bool hasMagic = true;
    for (int i = 0; i < 8; i++) {
        hasMagic = hasMagic && h[i] == (uint8_t)magic[i];
    }
    unsigned columns, rows;
    if (hasMagic) {
        columns = W(h, 22);
        rows = W(h, 24);
        return columns >= 22 && columns <= 512 && rows >= 8 && rows <= 9999 && W(h, 26) < columns &&
                       W(h, 28) < rows
                   ? 1
                   : 0;
    }
    columns = W(h, 0);
    rows = W(h, 2);
    unsigned attribute = W(h, 8) & 0xFF;
    unsigned left = W(h, 10), top = W(h, 12), right = W(h, 14), bottom = W(h, 16);
    bool ok = columns >= 22 && columns <= 512 && rows >= 8 && rows <= 9999 && W(h, 4) < columns &&
              W(h, 6) < rows && (attribute & 0x0F) != (attribute >> 4) && right > left &&
              bottom > top && right - left >= 21 && bottom - top >= 4 && right - left < columns &&
              bottom - top < rows;
    return ok ? 2 : 0;
}

static uint32_t Crc32(const std::vector<uint16_t> &characters,
                      const std::vector<uint16_t> &attributes) {
    static uint32_t table[256];
    if (table[1] == 0) {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; bit++) {
                c = (c >> 1) ^ ((c & 1) ? 0xEDB88320u : 0);
            }
            table[n] = c;
        }
    }
    uint32_t crc = 0xFFFFFFFFu;
    auto feed = [&crc](uint8_t byte) { crc = (crc >> 8) ^ table[(crc ^ byte) & 0xFF]; };
    for (size_t i = 0; i < characters.size(); i++) {
        feed((uint8_t)characters[i]);
        feed((uint8_t)(characters[i] >> 8));
        feed((uint8_t)attributes[i]);
        feed((uint8_t)(attributes[i] >> 8));
    }
    return characters.empty() ? 0 : ~crc;
}

ModelScreen ModelRead(const std::vector<uint8_t> &file) {
    ModelScreen m;
    if (file.size() < 80) {
        return m;
    }
    const uint8_t *h = file.data();
    m.kind = ModelClassify(h);
    if (m.kind == 0) {
        return m;
    }
    size_t start;
    if (m.kind == 1) {
        m.version = W(h, 8);
        m.columns = W(h, 22);
        m.rows = W(h, 24);
        m.cursorColumn = W(h, 26);
        m.cursorRow = W(h, 28);
        m.attribute = W(h, 30) & 0xFF;
        start = 80;
    } else {
        m.columns = W(h, 0);
        m.rows = W(h, 2);
        m.cursorColumn = W(h, 4);
        m.cursorRow = W(h, 6);
        m.attribute = W(h, 8);
        start = W(h, 22) != 0 ? 22 : 832;
    }
    // Whole words only: a last odd byte carries none.
    std::vector<uint16_t> words;
    for (size_t at = start; at + 1 < file.size(); at += 2) {
        words.push_back(WordAt(file, at));
    }
    size_t count = (size_t)m.columns * (size_t)m.rows;
    m.characters.assign(count, u' ');
    m.attributes.assign(count, (uint16_t)m.attribute);
    size_t next = 0;
    if (m.kind == 2) {
        for (size_t cell = 0; cell < count && next < words.size(); cell++) {
            m.characters[cell] = words[next++];
            if (next < words.size()) {
                m.attributes[cell] = words[next++];
            }
        }
        m.readable = true;
        m.crcMatches = true;
        return m;
    }
    uint16_t current = (uint16_t)m.attribute;
    size_t cell = 0;
    bool complete = false;
    while (!complete) {
        if (cell == count) {
            complete = true;
            break;
        }
        if (next >= words.size()) {
            break;
        }
        uint16_t word = words[next++];
        if (word == 0xFFF9 || word == 0xFFFA) {
            size_t operands = word == 0xFFF9 ? 2 : 1;
            if (next + operands > words.size()) {
                break;
            }
            size_t n = words[next] == 0 ? 65536 : words[next];
            uint16_t ch = word == 0xFFF9 ? words[next + 1] : u' ';
            next += operands;
            for (size_t i = 0; i < n && cell < count; i++, cell++) {
                m.characters[cell] = ch;
                m.attributes[cell] = current;
            }
        } else if (word == 0xFFFB) {
            if (next >= words.size()) {
                break;
            }
            m.characters[cell] = words[next++];
            m.attributes[cell] = current;
            cell++;
        } else if (word == 0xFFFC) {
            if (next >= words.size()) {
                break;
            }
            current = words[next++];
        } else if (word == 0xFFFD) {
            for (; cell < count; cell++) {
                m.characters[cell] = u' ';
                m.attributes[cell] = current;
            }
            complete = true;
        } else {
            m.characters[cell] = word;
            m.attributes[cell] = current;
            cell++;
        }
    }
    m.readable = complete;
    m.crcMatches = complete && Crc32(m.characters, m.attributes) == D(h, 44);
    return m;
}

} // namespace fuzz
