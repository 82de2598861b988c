// sweep_test.cpp: every platform call of every operation, made to fail one at
// a time. Each scenario runs once to list the calls it makes, then once more
// for each call in that list with that one call failing, on a machine set up
// the same way. The table of a scenario says, for each function (and where
// it matters, each occurrence), what its failure must lead to: nothing but
// the call's own effect, or a stop with its result, its message and the
// machine as it was. After every run: no handle open and no allocation
// live but the last-name store, whatever failed.
#include "tests/support/glimtest.h"

#include "format/glimformat.h"
#include "plugin/lastname.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using glimtest::Outcome;

// A block whose HeapFree is made to fail stays live in winsim, which
// forgets it at the next reset without giving it back: the sweep counts
// every allocation through winsim after every run instead, so the leak
// checker is told to pass over blocks from HeapAlloc.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:HeapAlloc\n";
}

namespace {

// ---- The machine every scenario starts from.

const char16_t WorkDirectory[] = u"C:\\work";
const char16_t EarlierName[] = u"C:\\earlier.glim";
const char16_t QuietKey[] = u"SOFTWARE\\RIRevazud\\Glimpset";

// The cells of a screen: characters cycling through 26 letters from `first`
// (no two neighbours equal, so the stream has no runs) and attributes
// changing row by row.
void PatternCells(int columns, int rows, WORD first, std::vector<WORD> &chars,
                  std::vector<WORD> &attrs) {
    chars.assign((size_t)columns * rows, 0);
    attrs.assign((size_t)columns * rows, 0);
    for (int i = 0; i < columns * rows; i++) {
        chars[i] = (WORD)(first + i % 26);
        attrs[i] = (WORD)(0x07 + 0x10 * ((i / columns) % 4));
    }
}

// The console as a user left it: 80 x 300 cells of lower-case letters, the
// cursor at (5, 40), attribute 0x1E, the window on rows 20 to 44, code pages
// 850 and 1252; a time zone east of UTC; a current user's Quiet key without
// the value and the machine's key saying not quiet (so that every registry
// call is made); and an earlier save's name in _lastglim.
void SetUpMachine() {
    sim::MakeDirectory(WorkDirectory);
    sim::SetCurrentDirectory(WorkDirectory);
    sim::RegMakeKey(HKEY_CURRENT_USER, QuietKey);
    sim::RegSetDword(HKEY_LOCAL_MACHINE, QuietKey, u"Quiet", 0);
    sim::SetTimeZoneBias(-60);
    sim::ConsoleState &console = sim::Console();
    PatternCells(console.columns, console.rows, 'a', sim::ConsoleChars(), sim::ConsoleAttrs());
    console.cursorColumn = 5;
    console.cursorRow = 40;
    console.attribute = 0x1E;
    console.window = SMALL_RECT{0, 20, 79, 44};
    console.inputCodePage = 850;
    console.outputCodePage = 1252;
    SetLastName((const WCHAR *)EarlierName);
}

void PutWords(std::vector<uint8_t> &bytes, std::initializer_list<WORD> words) {
    for (WORD word : words) {
        bytes.push_back((uint8_t)(word & 0xFF));
        bytes.push_back((uint8_t)(word >> 8));
    }
}

// Each cell's character, then its attribute: the bytes of SAVECON cells and
// of the checksum.
std::vector<uint8_t> CellBytes(const std::vector<WORD> &chars, const std::vector<WORD> &attrs) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < chars.size(); i++) {
        PutWords(bytes, {chars[i], attrs[i]});
    }
    return bytes;
}

// A Glimpset file of upper-case pattern cells, written as the format allows
// without the writer's runs: an attribute token before each change, then
// every character plain.
std::vector<uint8_t> GlimpsetFile(int columns, int rows, int cursorRow, WORD attribute,
                                  int windowHeight, UINT inputCodePage, UINT outputCodePage) {
    std::vector<WORD> chars, attrs;
    PatternCells(columns, rows, 'A', chars, attrs);
    std::vector<uint8_t> cells = CellBytes(chars, attrs);
    GlimpsetHeader header;
    memset(&header, 0, sizeof header);
    memcpy(header.magic, "Glimpset", 8);
    header.version = 1;
    header.year = 2023;
    header.day = 17;
    header.month = 11;
    header.columns = (WORD)columns;
    header.rows = (WORD)rows;
    header.cursorColumn = 3;
    header.cursorRow = (WORD)cursorRow;
    header.attribute = attribute;
    header.inputCodePage = inputCodePage;
    header.outputCodePage = outputCodePage;
    header.windowHeight = (WORD)windowHeight;
    header.crc = (DWORD)crc32(0, cells.data(), (uInt)cells.size());
    std::vector<uint8_t> bytes((const uint8_t *)&header, (const uint8_t *)&header + sizeof header);
    WORD current = attribute;
    for (size_t i = 0; i < chars.size(); i++) {
        if (attrs[i] != current) {
            current = attrs[i];
            PutWords(bytes, {TOKEN_ATTRIBUTE, current});
        }
        PutWords(bytes, {chars[i]});
    }
    return bytes;
}

// A SAVECON file of 80 x 100 upper-case pattern cells whose start selector
// is 0, so that the cells begin at byte 832.
std::vector<uint8_t> SaveconFile() {
    std::vector<WORD> chars, attrs;
    PatternCells(80, 100, 'A', chars, attrs);
    std::vector<uint8_t> bytes;
    PutWords(bytes, {80, 100, 7, 60, 0x1F, 0, 36, 79, 60, 80, 100, 0});
    bytes.resize(SAVECON_LATE_START, 0);
    std::vector<uint8_t> cells = CellBytes(chars, attrs);
    bytes.insert(bytes.end(), cells.begin(), cells.end());
    return bytes;
}

// ---- What a run leaves behind.

struct ConsoleView {
    sim::ConsoleState state;
    std::vector<WORD> chars, attrs;
};

struct Snapshot {
    Outcome run;
    ConsoleView console;
    std::map<std::u16string, std::vector<uint8_t>> files; // every entry of the volume
    std::string lastName;
    std::vector<std::u16string> sounds;
    int handles = 0;
    long blocks = 0;
};

void ListVolume(const std::u16string &directory,
                std::map<std::u16string, std::vector<uint8_t>> &files) {
    for (const std::u16string &name : sim::ListDirectory(directory)) {
        std::u16string path = directory + (directory.back() == u'\\' ? u"" : u"\\") + name;
        files[path] = sim::FileBytes(path);
        // A link's entry is kept; what it leads to is listed where it is.
        if (!sim::IsLink(path)) {
            ListVolume(path, files);
        }
    }
}

Snapshot Take(const Outcome &run) {
    Snapshot shot;
    shot.run = run;
    shot.console.state = sim::Console();
    shot.console.chars = sim::ConsoleChars();
    shot.console.attrs = sim::ConsoleAttrs();
    ListVolume(u"C:\\", shot.files);
    shot.lastName = glimtest::LastGlim();
    for (const sim::SoundCall &sound : sim::Sounds()) {
        shot.sounds.push_back(sound.name);
    }
    shot.handles = sim::OpenHandles();
    shot.blocks = sim::LiveAllocations();
    return shot;
}

// ---- What a failure must lead to.

enum Verdict {
    IGNORED,     // result, output and machine as in the good run, but for `differs`
    STOPS,       // the stated result and message; console and volume as before the run
    WRITES_PART, // as STOPS, but the console holds the new size and the blocks written before
};

// How the outcome differs from the reference (the good run for IGNORED,
// the machine before the run otherwise): the failed call's own effect.
enum : unsigned {
    CURSOR = 1u << 0,          // the console keeps its cursor
    WINDOW = 1u << 1,          // the console's window (rectangle, size on the screen) may differ
    ATTRIBUTE = 1u << 2,       // the console keeps its text attribute
    INPUT_CP = 1u << 3,        // the input code page: 0 in the header; the console keeps its own
    OUTPUT_CP = 1u << 4,       // the same for the output code page
    NO_BIAS = 1u << 5,         // the header's time-zone bias is 0
    NO_COMPUTER = 1u << 6,     // the header's computer name is all zero
    SILENT = 1u << 7,          // no sound is played
    NO_LAST_NAME = 1u << 8,    // _lastglim is empty
    OUT_CUT = 1u << 9,         // one piece of standard output is lost
    ERR_CUT = 1u << 10,        // one piece of standard error is lost
    NUMBERED_TEXT = 1u << 11,  // the system's text of the error is "Error <code>"
    HANDLE_KEPT = 1u << 12,    // a handle whose close failed stays open
    BLOCK_KEPT = 1u << 13,     // a block whose free failed stays live
    ANY_OUT = 1u << 14,        // standard output is not compared
    TEMPORARY_KEPT = 1u << 15, // the save's file beside the target, whose close failed, stays
    PART_KEPT = 1u << 16,      // the part of a file that could not be removed stays
};

enum Form {
    PLAIN,      // prefix and message
    SYSTEM,     // prefix, message, "    <text of the code>\r\n"
    BARE,       // the message alone
    FIRST_LINE, // prefix and message, then whatever follows
};

enum Last {
    LAST_KEPT,  // _lastglim as before the run
    LAST_ERROR, // "*ERROR*"
};

struct Row {
    const char *function;
    int nth; // the occurrence the row is for; 0: every occurrence
    Verdict verdict;
    unsigned differs;
    int result;          // STOPS, WRITES_PART
    Form form;           // STOPS, WRITES_PART
    const char *message; // the first line after the prefix, UTF-8
    Last last;
    DWORD shown; // SYSTEM: the code whose text is shown; 0: the failed call's
};

Row Ignored(const char *function, unsigned differs = 0, int nth = 0) {
    return Row{function, nth, IGNORED, differs, 0, PLAIN, "", LAST_KEPT, 0};
}

Row Stops(const char *function, int nth, int result, Form form, const char *message,
          Last last = LAST_KEPT, unsigned differs = 0, DWORD shown = 0) {
    return Row{function, nth, STOPS, differs, result, form, message, last, shown};
}

Row WritesPart(const char *function, const char *message) {
    return Row{function, 0, WRITES_PART, WINDOW, 2, SYSTEM, message, LAST_KEPT, 0};
}

// The code each function fails with, and the system's text for it.
struct Failure {
    const char *function;
    DWORD code;
};
const Failure FailureCodes[] = {
    {"CreateFileW", ERROR_ACCESS_DENIED},
    {"ReadFile", ERROR_READ_FAULT},
    {"WriteFile", ERROR_DISK_FULL},
    {"SetFilePointer", ERROR_INVALID_PARAMETER},
    {"MoveFileExW", ERROR_SHARING_VIOLATION},
    {"GetFileAttributesW", ERROR_ACCESS_DENIED},
    {"GetFullPathNameW", ERROR_FILENAME_EXCED_RANGE},
    {"GetCurrentDirectoryW", ERROR_FILENAME_EXCED_RANGE},
    {"FindFirstFileW", ERROR_ACCESS_DENIED},
    {"FindNextFileW", ERROR_READ_FAULT},
    {"GetEnvironmentVariableW", ERROR_ENVVAR_NOT_FOUND},
    {"HeapAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"HeapFree", ERROR_INVALID_PARAMETER},
    {"RegOpenKeyW", ERROR_ACCESS_DENIED},
    {"RegQueryValueExW", ERROR_ACCESS_DENIED},
    {"GetConsoleWindow", ERROR_INVALID_WINDOW_HANDLE},
    {"GetWindowRect", ERROR_INVALID_WINDOW_HANDLE},
    {"GetClassNameW", ERROR_INVALID_WINDOW_HANDLE},
    {"MoveWindow", ERROR_INVALID_WINDOW_HANDLE},
    {"GetSystemMetrics", ERROR_INVALID_PARAMETER},
    {"GetComputerNameW", ERROR_FILE_NOT_FOUND},
    {"GetTimeZoneInformation", ERROR_INVALID_PARAMETER},
    {"GetLocalTime", ERROR_INVALID_PARAMETER},
    {"Sleep", ERROR_INVALID_PARAMETER},
    {"PlaySoundW", ERROR_FILE_NOT_FOUND},
    {"wsprintfW", ERROR_INVALID_PARAMETER},
    {"FormatMessageW", ERROR_MR_MID_NOT_FOUND},
};
const DWORD OtherCode = ERROR_INVALID_HANDLE; // handles, consoles, keys

DWORD CodeFor(const std::string &function) {
    for (const Failure &failure : FailureCodes) {
        if (function == failure.function) {
            return failure.code;
        }
    }
    return OtherCode;
}

std::string SystemText(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_INVALID_HANDLE:
        return "The handle is invalid.";
    case ERROR_READ_FAULT:
        return "The system cannot read from the specified device.";
    case ERROR_DISK_FULL:
        return "There is not enough space on the disk.";
    case ERROR_SHARING_VIOLATION:
        return "The process cannot access the file because it is being used by another "
               "process.";
    case ERROR_FILE_EXISTS:
        return "The file exists.";
    case ERROR_PATH_NOT_FOUND:
        return "The system cannot find the path specified.";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.";
    default:
        return "(no text known for " + std::to_string(code) + ")";
    }
}

// A scenario: how the machine is set up, and the command tail.
struct Scenario {
    void (*setUp)();
    const char *tail;
    const char16_t *target; // the file a save writes, or null
};

// ---- Comparing.

// True when `got` is `good` with one non-empty piece cut out.
bool LostOnePiece(const std::string &good, const std::string &got) {
    if (got.size() >= good.size()) {
        return false;
    }
    size_t head = 0;
    while (head < got.size() && got[head] == good[head]) {
        head++;
    }
    size_t tail = 0;
    while (tail < got.size() - head && got[got.size() - 1 - tail] == good[good.size() - 1 - tail]) {
        tail++;
    }
    return head + tail == got.size();
}

// The names of what differs between two consoles (" size cursor ..."), or
// nothing; the window is passed over when `differs` has WINDOW.
std::string ConsoleDifferences(const ConsoleView &got, const ConsoleView &want, unsigned differs) {
    const sim::ConsoleState &g = got.state;
    const sim::ConsoleState &w = want.state;
    std::string found;
    if (g.columns != w.columns || g.rows != w.rows) {
        found += " size";
    }
    if (g.cursorColumn != w.cursorColumn || g.cursorRow != w.cursorRow) {
        found += " cursor";
    }
    if (g.attribute != w.attribute) {
        found += " attribute";
    }
    if (!(differs & WINDOW) && (memcmp(&g.window, &w.window, sizeof g.window) != 0 ||
                                memcmp(&g.pixels, &w.pixels, sizeof g.pixels) != 0)) {
        found += " window";
    }
    if (g.inputCodePage != w.inputCodePage || g.outputCodePage != w.outputCodePage) {
        found += " code-pages";
    }
    if (got.chars != want.chars || got.attrs != want.attrs) {
        found += " cells";
    }
    return found;
}

std::string VolumeDifferences(const std::map<std::u16string, std::vector<uint8_t>> &got,
                              const std::map<std::u16string, std::vector<uint8_t>> &want) {
    std::string found;
    for (const auto &entry : want) {
        auto it = got.find(entry.first);
        if (it == got.end()) {
            found += " missing:" + sim::U8(entry.first);
        } else if (it->second != entry.second) {
            found += " changed:" + sim::U8(entry.first);
        }
    }
    for (const auto &entry : got) {
        if (want.count(entry.first) == 0) {
            found += " new:" + sim::U8(entry.first);
        }
    }
    return found;
}

void ZeroBytes(std::vector<uint8_t> &bytes, size_t offset, size_t count) {
    for (size_t i = offset; i < offset + count && i < bytes.size(); i++) {
        bytes[i] = 0;
    }
}

// The first file a replacing save writes beside its target.
std::u16string TemporaryBeside(const std::u16string &target) {
    return target.substr(0, target.find_last_of(u'\\') + 1) + u"~glimpset-0.tmp";
}

// The good run as a failure of an ignored call must leave it.
Snapshot IgnoredOutcome(const Snapshot &good, const Snapshot &before, const Row &row,
                        const Scenario &scenario) {
    Snapshot want = good;
    sim::ConsoleState &console = want.console.state;
    const sim::ConsoleState &old = before.console.state;
    if (row.differs & CURSOR) {
        console.cursorColumn = old.cursorColumn;
        console.cursorRow = old.cursorRow;
    }
    if (row.differs & ATTRIBUTE) {
        console.attribute = old.attribute;
    }
    if (row.differs & INPUT_CP) {
        console.inputCodePage = old.inputCodePage;
    }
    if (row.differs & OUTPUT_CP) {
        console.outputCodePage = old.outputCodePage;
    }
    if (scenario.target != nullptr && want.files.count(scenario.target) != 0) {
        std::vector<uint8_t> &file = want.files[scenario.target];
        if (row.differs & NO_BIAS) {
            ZeroBytes(file, offsetof(GlimpsetHeader, utcBias), 4);
        }
        if (row.differs & INPUT_CP) {
            ZeroBytes(file, offsetof(GlimpsetHeader, inputCodePage), 4);
        }
        if (row.differs & OUTPUT_CP) {
            ZeroBytes(file, offsetof(GlimpsetHeader, outputCodePage), 4);
        }
        if (row.differs & NO_COMPUTER) {
            ZeroBytes(file, offsetof(GlimpsetHeader, computerName), 32);
        }
    }
    if (row.differs & SILENT) {
        want.sounds.clear();
    }
    if (row.differs & TEMPORARY_KEPT) {
        want.files[TemporaryBeside(scenario.target)] = good.files.at(scenario.target);
    }
    if (row.differs & NO_LAST_NAME) {
        want.lastName.clear();
    }
    return want;
}

// The message a stopping failure must print.
std::string ExpectedMessage(const Row &row, DWORD armed) {
    std::string text = row.form == BARE ? row.message : glimtest::Prefix() + row.message;
    if (row.form == SYSTEM) {
        text += "    " + SystemText(row.shown != 0 ? row.shown : armed) + "\r\n";
    }
    return text;
}

// The error text with its system line turned into "    Error <digits>\r\n".
bool HasNumberedText(const std::string &good, const std::string &got) {
    size_t line = good.find("\r\n    ");
    if (line == std::string::npos || got.compare(0, line + 6, good, 0, line + 6) != 0) {
        return false;
    }
    std::string rest = got.substr(line + 6);
    size_t digits = 6;
    return rest.compare(0, digits, "Error ") == 0 && rest.size() > digits + 2 &&
           rest.find_first_not_of("-0123456789", digits) == rest.size() - 2 &&
           rest.compare(rest.size() - 2, 2, "\r\n") == 0;
}

void Check(const Row &row, DWORD armed, int nth, const Snapshot &before, const Snapshot &good,
           const Snapshot &got, const Scenario &scenario) {
    int handles = (row.differs & HANDLE_KEPT) ? 1 : 0;
    long blocks = (LastName != nullptr ? 1 : 0) + ((row.differs & BLOCK_KEPT) ? 1 : 0);
    EXPECT_EQ(got.handles, handles) << "handles left open";
    EXPECT_EQ(got.blocks, blocks) << "allocations left behind";

    if (row.verdict == IGNORED) {
        Snapshot want = IgnoredOutcome(good, before, row, scenario);
        EXPECT_EQ(got.run.result, want.run.result);
        if (row.differs & OUT_CUT) {
            EXPECT_TRUE(LostOnePiece(want.run.out, got.run.out)) << got.run.out;
        } else if (!(row.differs & ANY_OUT)) {
            EXPECT_EQ(got.run.out, want.run.out);
        }
        if (row.differs & ERR_CUT) {
            EXPECT_TRUE(LostOnePiece(want.run.err, got.run.err)) << got.run.err;
        } else if (row.differs & NUMBERED_TEXT) {
            EXPECT_TRUE(HasNumberedText(want.run.err, got.run.err)) << got.run.err;
        } else {
            EXPECT_EQ(got.run.err, want.run.err);
        }
        EXPECT_EQ(ConsoleDifferences(got.console, want.console, row.differs), "");
        EXPECT_EQ(VolumeDifferences(got.files, want.files), "");
        EXPECT_EQ(got.lastName, want.lastName);
        EXPECT_EQ(got.sounds, want.sounds);
        return;
    }

    EXPECT_EQ(got.run.result, row.result);
    std::string message = ExpectedMessage(row, armed);
    if (row.form == FIRST_LINE) {
        EXPECT_EQ(got.run.err.substr(0, message.size()), message);
    } else {
        EXPECT_EQ(got.run.err, message);
    }
    if (!(row.differs & ANY_OUT)) {
        EXPECT_EQ(got.run.out, "");
    }
    std::map<std::u16string, std::vector<uint8_t>> files = before.files;
    if (row.differs & TEMPORARY_KEPT) {
        files[TemporaryBeside(scenario.target)] = good.files.at(scenario.target);
    }
    if (row.differs & PART_KEPT) {
        auto part = got.files.find(scenario.target);
        if (part != got.files.end()) {
            files[scenario.target] = part->second;
        }
        EXPECT_TRUE(part != got.files.end()) << "the part written is gone";
    }
    EXPECT_EQ(VolumeDifferences(got.files, files), "");
    EXPECT_EQ(got.lastName, row.last == LAST_ERROR ? "*ERROR*" : before.lastName);
    EXPECT_TRUE(got.sounds.empty());
    if (row.verdict == STOPS) {
        EXPECT_EQ(ConsoleDifferences(got.console, before.console, row.differs), "");
        return;
    }

    // The cell writes stopped at block `nth`: the blocks before it hold the
    // new cells; cursor, attribute and code pages are as they were.
    ConsoleView want = got.console;
    want.state.cursorColumn = before.console.state.cursorColumn;
    want.state.cursorRow = before.console.state.cursorRow;
    want.state.attribute = before.console.state.attribute;
    want.state.inputCodePage = before.console.state.inputCodePage;
    want.state.outputCodePage = before.console.state.outputCodePage;
    int columns = good.console.state.columns;
    size_t blockCells = (size_t)(8192 / columns) * columns;
    size_t written = std::min(blockCells * (nth - 1), good.console.chars.size());
    std::copy(good.console.chars.begin(), good.console.chars.begin() + (long)written,
              want.chars.begin());
    std::copy(good.console.attrs.begin(), good.console.attrs.begin() + (long)written,
              want.attrs.begin());
    EXPECT_EQ(got.console.state.columns, good.console.state.columns);
    EXPECT_EQ(got.console.state.rows, good.console.state.rows);
    EXPECT_EQ(ConsoleDifferences(got.console, want, WINDOW), "");
}

const Row *FindRow(const std::vector<Row> &rows, const std::string &function, int nth) {
    for (const Row &row : rows) {
        if (function == row.function && (row.nth == 0 || row.nth == nth)) {
            return &row;
        }
    }
    return nullptr;
}

// A fresh machine set up for the scenario; what it holds before the run.
Snapshot Prepare(const Scenario &scenario) {
    glimtest::ResetAll();
    scenario.setUp();
    Snapshot before = Take(Outcome{0, "", ""});
    sim::ClearOutput();
    sim::CallLog().clear();
    return before;
}

// Runs the scenario once as it is and once for every call it made with that
// call failing, and checks each failing run against the row for its call.
void RunSweep(const Scenario &scenario, const std::vector<Row> &rows) {
    Prepare(scenario);
    Snapshot good = Take(glimtest::Glim(scenario.tail));
    std::vector<std::string> calls = sim::CallLog();
    ASSERT_EQ(good.handles, 0);
    ASSERT_EQ(good.blocks, LastName != nullptr ? 1 : 0);

    std::vector<bool> used(rows.size(), false);
    std::map<std::string, int> seen;
    for (size_t i = 0; i < calls.size(); i++) {
        const std::string &function = calls[i];
        int nth = ++seen[function];
        SCOPED_TRACE(function + " #" + std::to_string(nth) + " fails");
        const Row *row = FindRow(rows, function, nth);
        if (row == nullptr) {
            ADD_FAILURE() << "no row for this call";
            continue;
        }
        used[(size_t)(row - rows.data())] = true;
        DWORD code = CodeFor(function);
        Snapshot start = Prepare(scenario);
        sim::FailCall(function, nth, code);
        Snapshot got = Take(glimtest::Glim(scenario.tail));
        // The run was the good one up to the failing call.
        std::vector<std::string> &log = sim::CallLog();
        ASSERT_TRUE(log.size() > i &&
                    std::equal(calls.begin(), calls.begin() + (long)i + 1, log.begin()))
            << "the run took another road before the failing call";
        Check(*row, code, nth, start, good, got, scenario);
    }
    for (size_t r = 0; r < rows.size(); r++) {
        EXPECT_TRUE(used[r]) << "row for " << rows[r].function << " #" << rows[r].nth
                             << " met no call";
    }
    glimtest::ResetAll();
}

// ---- The scenarios and their tables.

class Sweep : public glimtest::GlimTest {};

// Failures of the command's own calls before an operation that takes a file
// name: resolving the name stops the command; the Quiet setting's calls only
// leave the setting off (and a key whose close failed, open).
#define COMMAND_ROWS(badName)                                                                      \
    Stops("GetFullPathNameW", 1, 1, PLAIN, badName), Ignored("RegOpenKeyW"),                       \
        Ignored("RegQueryValueExW"), Ignored("RegCloseKey", HANDLE_KEPT)

const char OpenShot[] = "Error opening \"C:\\work\\shot.glim\":\r\n";
const char WriteShot[] = "Error writing to file \"C:\\work\\shot.glim\":\r\n";
const char NoBuffers[] = "Can\u2019t allocate temporary buffers\r\n";
const char ConsoleRead[] = "Error reading data from console buffer:\r\n";

void MachineOnly() {
    SetUpMachine();
}

void MachineWithShot() {
    SetUpMachine();
    sim::MakeFile(u"C:\\work\\shot.glim", std::string("the bytes of an earlier screen"));
}

TEST_F(Sweep, SaveToANamedFile) {
    RunSweep({MachineOnly, "shot.glim", u"C:\\work\\shot.glim"},
             {
                 COMMAND_ROWS("Bad filename:  \"SHOT.GLIM\"\r\n"),
                 Ignored("GetLocalTime"),
                 Ignored("GetTimeZoneInformation", NO_BIAS),
                 Ignored("GetFileAttributesW"),
                 Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n", LAST_ERROR),
                 Stops("GetConsoleScreenBufferInfo", 0, 2, SYSTEM,
                       "Error getting console buffer info:\r\n", LAST_ERROR),
                 Ignored("GetConsoleCP", INPUT_CP),
                 Ignored("GetConsoleOutputCP", OUTPUT_CP),
                 Ignored("HeapAlloc", NO_LAST_NAME, 5),
                 Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers, LAST_ERROR),
                 Stops("CreateFileW", 2, 2, SYSTEM, OpenShot, LAST_ERROR),
                 Stops("GetFileType", 0, 2, SYSTEM, OpenShot, LAST_ERROR),
                 Ignored("GetComputerNameW", NO_COMPUTER),
                 Stops("ReadConsoleOutputW", 0, 2, SYSTEM, ConsoleRead),
                 Stops("WriteFile", 0, 2, SYSTEM, WriteShot, LAST_ERROR),
                 Ignored("CloseHandle", HANDLE_KEPT),
                 Ignored("HeapFree", BLOCK_KEPT),
                 Ignored("PlaySoundW", SILENT),
             });
}

TEST_F(Sweep, SaveOverAnExistingFile) {
    RunSweep({MachineWithShot, "/O shot.glim", u"C:\\work\\shot.glim"},
             {
                 COMMAND_ROWS("Bad filename:  \"SHOT.GLIM\"\r\n"),
                 Ignored("GetLocalTime"),
                 Ignored("GetTimeZoneInformation", NO_BIAS),
                 Ignored("GetFileAttributesW"),
                 Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n", LAST_ERROR),
                 Stops("GetConsoleScreenBufferInfo", 0, 2, SYSTEM,
                       "Error getting console buffer info:\r\n", LAST_ERROR),
                 Ignored("GetConsoleCP", INPUT_CP),
                 Ignored("GetConsoleOutputCP", OUTPUT_CP),
                 Ignored("HeapAlloc", NO_LAST_NAME, 6),
                 Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers, LAST_ERROR),
                 // The target, opened to see what it is: it cannot be
                 // replaced, or nobody can say what it is.
                 Stops("CreateFileW", 2, 2, SYSTEM, OpenShot, LAST_ERROR),
                 Stops("GetFileType", 1, 2, SYSTEM, OpenShot, LAST_ERROR),
                 // Whether it has other names or is reached through a link
                 // cannot be told: it is replaced as a plain file is.
                 Ignored("GetFileInformationByHandle"),
                 Ignored("GetFinalPathNameByHandleW"),
                 // Still open, the target takes no move and no second open
                 // for writing in place: the old file stays as it was.
                 Stops("CloseHandle", 1, 2, SYSTEM, WriteShot, LAST_ERROR, HANDLE_KEPT,
                       ERROR_SHARING_VIOLATION),
                 // No file beside the target, or no move over it: the
                 // target is written in place.
                 Ignored("wsprintfW"),
                 Ignored("CreateFileW", 0, 3),
                 Ignored("GetFileType", 0, 2),
                 Ignored("MoveFileExW"),
                 Ignored("GetComputerNameW", NO_COMPUTER),
                 Stops("ReadConsoleOutputW", 0, 2, SYSTEM, ConsoleRead),
                 Stops("WriteFile", 0, 2, SYSTEM, WriteShot, LAST_ERROR),
                 // Not on the disk, the file beside is not moved over the
                 // target: a failed write.
                 Stops("FlushFileBuffers", 0, 2, SYSTEM, WriteShot, LAST_ERROR),
                 // The file beside the target, still open, can be neither
                 // moved nor removed: the target is written in place, and
                 // that file stays.
                 Ignored("CloseHandle", HANDLE_KEPT | TEMPORARY_KEPT, 2),
                 Ignored("CloseHandle", HANDLE_KEPT),
                 Ignored("HeapFree", BLOCK_KEPT),
                 Ignored("PlaySoundW", SILENT),
             });
}

TEST_F(Sweep, SaveOverAnExistingFileWithoutOverwrite) {
    RunSweep({MachineWithShot, "shot.glim", u"C:\\work\\shot.glim"},
             {
                 COMMAND_ROWS("Bad filename:  \"SHOT.GLIM\"\r\n"),
                 Ignored("GetLocalTime"),
                 Ignored("GetTimeZoneInformation"),
                 Ignored("GetFileAttributesW"),
                 Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n", LAST_ERROR),
                 Stops("GetConsoleScreenBufferInfo", 0, 2, SYSTEM,
                       "Error getting console buffer info:\r\n", LAST_ERROR),
                 Ignored("GetConsoleCP"),
                 Ignored("GetConsoleOutputCP"),
                 Ignored("HeapAlloc", NO_LAST_NAME, 5),
                 Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers, LAST_ERROR),
                 Stops("CreateFileW", 2, 2, SYSTEM, OpenShot, LAST_ERROR),
                 Ignored("FormatMessageW", NUMBERED_TEXT),
                 Ignored("GetStdHandle", ERR_CUT),
                 Ignored("GetConsoleMode"),
                 Ignored("WriteFile", ERR_CUT),
                 Ignored("CloseHandle", HANDLE_KEPT),
                 Ignored("HeapFree", BLOCK_KEPT),
             });
}

// A volume with room for the header and one block of the stream only: the
// save fails at its second block, and its cleanup calls are swept too.
void MachineWithFullDisk() {
    SetUpMachine();
    sim::SetFreeSpace(HEADER_SIZE + 16384);
}

TEST_F(Sweep, SaveOntoAFullDisk) {
    RunSweep(
        {MachineWithFullDisk, "shot.glim", u"C:\\work\\shot.glim"},
        {
            COMMAND_ROWS("Bad filename:  \"SHOT.GLIM\"\r\n"),
            Ignored("GetLocalTime"),
            Ignored("GetTimeZoneInformation"),
            Ignored("GetFileAttributesW"),
            Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n", LAST_ERROR),
            Stops("GetConsoleScreenBufferInfo", 0, 2, SYSTEM,
                  "Error getting console buffer info:\r\n", LAST_ERROR),
            Ignored("GetConsoleCP"),
            Ignored("GetConsoleOutputCP"),
            Ignored("HeapAlloc", NO_LAST_NAME, 5),
            Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers, LAST_ERROR),
            Stops("CreateFileW", 2, 2, SYSTEM, OpenShot, LAST_ERROR),
            Stops("GetFileType", 0, 2, SYSTEM, OpenShot, LAST_ERROR),
            Ignored("GetComputerNameW"),
            Stops("ReadConsoleOutputW", 0, 2, SYSTEM, ConsoleRead),
            // The header, the first block, the block that meets the full
            // disk: any of them failing ends the save the same way. Then the
            // message goes to standard error.
            Ignored("WriteFile", 0, 1),
            Ignored("WriteFile", 0, 2),
            Ignored("WriteFile", 0, 3),
            Ignored("WriteFile", ERR_CUT),
            Ignored("FormatMessageW", NUMBERED_TEXT),
            Ignored("GetStdHandle", ERR_CUT),
            Ignored("GetConsoleMode"),
            // The file whose close failed is still open and cannot be
            // removed; one that closed but cannot be removed stays.
            Stops("CloseHandle", 1, 2, SYSTEM, WriteShot, LAST_ERROR, HANDLE_KEPT | PART_KEPT,
                  ERROR_DISK_FULL),
            Ignored("CloseHandle", HANDLE_KEPT),
            Stops("DeleteFileW", 0, 2, SYSTEM, WriteShot, LAST_ERROR, PART_KEPT, ERROR_DISK_FULL),
            Ignored("HeapFree", BLOCK_KEPT),
        });
}

const char16_t TakenDefaultName[] = u"C:\\work\\Glimpset 2024-03-05 09.07.02.glim";

void MachineWithTakenName() {
    SetUpMachine();
    sim::MakeFile(TakenDefaultName, std::string("taken"));
}

TEST_F(Sweep, SaveUnderAMadeUpName) {
    RunSweep(
        {MachineWithTakenName, "", u"C:\\work\\Glimpset 2024-03-05 09.07.02-0000.glim"},
        {
            Ignored("RegOpenKeyW"),
            Ignored("RegQueryValueExW"),
            Ignored("RegCloseKey", HANDLE_KEPT),
            Ignored("GetLocalTime"),
            Ignored("GetTimeZoneInformation", NO_BIAS),
            // No current directory: no name can be made up, nothing opens.
            Stops("GetCurrentDirectoryW", 0, 2, PLAIN,
                  "Error generating glimpset name in \"%_cwds\"\r\n"),
            // The directory taken for a file: it exists.
            Stops("GetFileAttributesW", 1, 2, SYSTEM, "Error opening \"C:\\work\\\":\r\n",
                  LAST_ERROR, 0, ERROR_FILE_EXISTS),
            Stops("wsprintfW", 0, 2, PLAIN, "Error generating glimpset name in \"C:\\work\\\"\r\n"),
            // The taken name thought free: creating it finds it taken, and
            // the next free name is made up.
            Ignored("GetFileAttributesW", 0, 2),
            Ignored("GetFileAttributesW"),
            Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n", LAST_ERROR),
            Stops("GetConsoleScreenBufferInfo", 0, 2, SYSTEM,
                  "Error getting console buffer info:\r\n", LAST_ERROR),
            Ignored("GetConsoleCP", INPUT_CP),
            Ignored("GetConsoleOutputCP", OUTPUT_CP),
            Ignored("HeapAlloc", NO_LAST_NAME, 5),
            Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers, LAST_ERROR),
            Stops("CreateFileW", 2, 2, SYSTEM,
                  "Error opening \"C:\\work\\Glimpset 2024-03-05 09.07.02-0000.glim\":\r\n",
                  LAST_ERROR),
            Stops("GetFileType", 0, 2, SYSTEM,
                  "Error opening \"C:\\work\\Glimpset 2024-03-05 09.07.02-0000.glim\":\r\n",
                  LAST_ERROR),
            Ignored("GetComputerNameW", NO_COMPUTER),
            Stops("ReadConsoleOutputW", 0, 2, SYSTEM, ConsoleRead),
            Stops("WriteFile", 0, 2, SYSTEM,
                  "Error writing to file \"C:\\work\\Glimpset 2024-03-05 "
                  "09.07.02-0000.glim\":\r\n",
                  LAST_ERROR),
            Ignored("CloseHandle", HANDLE_KEPT),
            Ignored("HeapFree", BLOCK_KEPT),
            Ignored("PlaySoundW", SILENT),
        });
}

const char CannotMeasure[] = "Can\u2019t get current screen buffer info\r\n";
const char ConsoleWrite[] = "Error writing data to console buffer:\r\n";

void MachineWithBigFile() {
    SetUpMachine();
    sim::MakeFile(u"C:\\work\\big.glim", GlimpsetFile(100, 120, 100, 0x1F, 20, 1252, 65001));
}

TEST_F(Sweep, RestoreAGlimpsetFileOfAnotherSize) {
    const char *read = "Error reading from file \"C:\\work\\big.glim\":\r\n";
    RunSweep(
        {MachineWithBigFile, "/R big.glim", nullptr},
        {
            COMMAND_ROWS("Bad filename:  \"BIG.GLIM\"\r\n"),
            Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n"),
            Stops("CreateFileW", 2, 2, SYSTEM, "Error opening file \"C:\\work\\big.glim\":\r\n"),
            // What the file is cannot be told: it is not read.
            Stops("GetFileType", 0, 2, SYSTEM, "Error opening file \"C:\\work\\big.glim\":\r\n"),
            Stops("HeapAlloc", 1, 2, PLAIN, "Can\u2019t allocate file buffer\r\n"),
            Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers),
            Stops("ReadFile", 0, 2, SYSTEM, read),
            Ignored("CloseHandle", HANDLE_KEPT),
            Ignored("HeapFree", BLOCK_KEPT),
            Stops("GetConsoleWindow", 0, 2, PLAIN, CannotMeasure),
            Stops("GetConsoleScreenBufferInfo", 1, 2, PLAIN, CannotMeasure),
            Ignored("GetConsoleScreenBufferInfo", WINDOW),
            // Not told apart, the console is taken for one in a window of its own.
            Ignored("GetClassNameW"),
            Ignored("GetEnvironmentVariableW"),
            Ignored("GetLargestConsoleWindowSize", WINDOW),
            Ignored("GetSystemMetrics", WINDOW),
            Ignored("GetWindowRect", WINDOW),
            Ignored("GetCurrentConsoleFont", WINDOW),
            Ignored("GetConsoleFontSize", WINDOW),
            Ignored("MoveWindow", WINDOW),
            Ignored("Sleep"),
            Stops("SetConsoleScreenBufferSize", 0, 2, SYSTEM,
                  "Error resizing console screen buffer:\r\n", LAST_KEPT, WINDOW),
            WritesPart("WriteConsoleOutputW", ConsoleWrite),
            Ignored("SetConsoleCursorPosition", CURSOR),
            Ignored("SetConsoleWindowInfo", WINDOW),
            Ignored("SetConsoleTextAttribute", ATTRIBUTE),
            Ignored("SetConsoleOutputCP", OUTPUT_CP),
            Ignored("SetConsoleCP", INPUT_CP),
            Ignored("PlaySoundW", SILENT),
        });
}

void MachineWithSameSizeFile() {
    SetUpMachine();
    sim::MakeFile(u"C:\\work\\same.glim", GlimpsetFile(80, 300, 250, 0x2E, 25, 1250, 1251));
}

TEST_F(Sweep, RestoreAGlimpsetFileOfTheSameSize) {
    const char *read = "Error reading from file \"C:\\work\\same.glim\":\r\n";
    RunSweep(
        {MachineWithSameSizeFile, "/R same.glim", nullptr},
        {
            COMMAND_ROWS("Bad filename:  \"SAME.GLIM\"\r\n"),
            Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n"),
            Stops("CreateFileW", 2, 2, SYSTEM, "Error opening file \"C:\\work\\same.glim\":\r\n"),
            // What the file is cannot be told: it is not read.
            Stops("GetFileType", 0, 2, SYSTEM, "Error opening file \"C:\\work\\same.glim\":\r\n"),
            Stops("HeapAlloc", 1, 2, PLAIN, "Can\u2019t allocate file buffer\r\n"),
            Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers),
            Stops("ReadFile", 0, 2, SYSTEM, read),
            Ignored("CloseHandle", HANDLE_KEPT),
            Ignored("HeapFree", BLOCK_KEPT),
            Stops("GetConsoleWindow", 0, 2, PLAIN, CannotMeasure),
            Stops("GetConsoleScreenBufferInfo", 1, 2, PLAIN, CannotMeasure),
            // The window's width, read before it is placed.
            Ignored("GetConsoleScreenBufferInfo", WINDOW),
            Ignored("GetClassNameW"),
            WritesPart("WriteConsoleOutputW", ConsoleWrite),
            Ignored("SetConsoleCursorPosition", CURSOR),
            Ignored("SetConsoleWindowInfo", WINDOW),
            Ignored("SetConsoleTextAttribute", ATTRIBUTE),
            Ignored("SetConsoleOutputCP", OUTPUT_CP),
            Ignored("SetConsoleCP", INPUT_CP),
            Ignored("PlaySoundW", SILENT),
        });
}

void MachineWithSaveconFile() {
    SetUpMachine();
    sim::MakeFile(u"C:\\work\\old.sav", SaveconFile());
}

TEST_F(Sweep, RestoreASaveconFile) {
    const char *read = "Error reading from file \"C:\\work\\old.sav\":\r\n";
    RunSweep(
        {MachineWithSaveconFile, "/R old.sav", nullptr},
        {
            COMMAND_ROWS("Bad filename:  \"OLD.SAV\"\r\n"),
            Stops("CreateFileW", 1, 2, SYSTEM, "Error opening console:\r\n"),
            Stops("CreateFileW", 2, 2, SYSTEM, "Error opening file \"C:\\work\\old.sav\":\r\n"),
            // What the file is cannot be told: it is not read.
            Stops("GetFileType", 0, 2, SYSTEM, "Error opening file \"C:\\work\\old.sav\":\r\n"),
            Stops("HeapAlloc", 1, 2, PLAIN, "Can\u2019t allocate file buffer\r\n"),
            Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers),
            Stops("ReadFile", 0, 2, SYSTEM, read),
            Stops("SetFilePointer", 0, 2, SYSTEM, read),
            Ignored("CloseHandle", HANDLE_KEPT),
            Ignored("HeapFree", BLOCK_KEPT),
            Stops("GetConsoleWindow", 0, 2, PLAIN, CannotMeasure),
            Stops("GetConsoleScreenBufferInfo", 1, 2, PLAIN, CannotMeasure),
            Ignored("GetConsoleScreenBufferInfo", WINDOW),
            Ignored("GetClassNameW"),
            Ignored("GetEnvironmentVariableW"),
            Ignored("GetCurrentConsoleFont", WINDOW),
            Ignored("GetConsoleFontSize", WINDOW),
            Ignored("GetLargestConsoleWindowSize", WINDOW),
            Stops("SetConsoleScreenBufferSize", 0, 2, SYSTEM,
                  "Error resizing console screen buffer:\r\n", LAST_KEPT, WINDOW),
            WritesPart("WriteConsoleOutputW", ConsoleWrite),
            Ignored("SetConsoleCursorPosition", CURSOR),
            Ignored("SetConsoleWindowInfo", WINDOW),
            Ignored("SetConsoleTextAttribute", ATTRIBUTE),
            Ignored("PlaySoundW", SILENT),
        });
}

// A small tree: a Glimpset file, a SAVECON file, another file, a
// subdirectory with one more Glimpset file, and a link back to the top.
void MachineWithTree() {
    SetUpMachine();
    std::vector<uint8_t> glimpset = GlimpsetFile(80, 25, 3, 0x07, 25, 437, 437);
    sim::MakeDirectory(u"C:\\tree");
    sim::MakeFile(u"C:\\tree\\a.glim", glimpset);
    sim::MakeFile(u"C:\\tree\\b.sav", SaveconFile());
    sim::MakeFile(u"C:\\tree\\notes.txt", std::string("not a screen"));
    sim::MakeDirectory(u"C:\\tree\\sub");
    sim::MakeFile(u"C:\\tree\\sub\\c.glim", glimpset);
    sim::MakeLink(u"C:\\tree\\back", u"C:\\tree");
}

// A report on one file that cannot be opened or read: its error, and the
// search goes on; the result is 2.
Row OpenFails(int nth, const char *message) {
    return Stops("CreateFileW", nth, 2, SYSTEM, message, LAST_KEPT, ANY_OUT);
}

Row ReadFails(int nth, const char *message) {
    return Stops("ReadFile", nth, 2, SYSTEM, message, LAST_KEPT, ANY_OUT);
}

TEST_F(Sweep, ReportOnATreeWithSubdirectories) {
    const char *noFiles = "No * files found in C:\\tree\r\n";
    RunSweep({MachineWithTree, "/I /S C:\\tree", nullptr},
             {
                 COMMAND_ROWS("Bad filename:  \"C:\\TREE\"\r\n"),
                 // The file name given cannot be resolved: the current
                 // directory is searched instead.
                 Stops("GetFullPathNameW", 2, 1, FIRST_LINE, "Bad filespec:  \"C:\\TREE\"\r\n",
                       LAST_KEPT, ANY_OUT),
                 Stops("HeapAlloc", 0, 2, PLAIN, NoBuffers, LAST_KEPT, ANY_OUT),
                 // Not known as a directory: C:\tree is taken as the pattern.
                 Stops("GetFileAttributesW", 1, 0, PLAIN, "No tree files found in C:\\\r\n",
                       LAST_KEPT, ANY_OUT),
                 // A listing that cannot start, or ends early, finds less.
                 Stops("FindFirstFileW", 1, 0, PLAIN, noFiles, LAST_KEPT, ANY_OUT),
                 Ignored("FindFirstFileW", ANY_OUT),
                 Stops("FindNextFileW", 1, 0, PLAIN, noFiles, LAST_KEPT, ANY_OUT),
                 Stops("FindNextFileW", 2, 0, PLAIN, noFiles, LAST_KEPT, ANY_OUT),
                 Ignored("FindNextFileW", ANY_OUT),
                 Ignored("FindClose", HANDLE_KEPT),
                 OpenFails(1, "Error opening \"C:\\tree\\a.glim\":\r\n"),
                 OpenFails(2, "Error opening \"C:\\tree\\b.sav\":\r\n"),
                 OpenFails(3, "Error opening \"C:\\tree\\notes.txt\":\r\n"),
                 OpenFails(4, "Error opening \"C:\\tree\\sub\\c.glim\":\r\n"),
                 ReadFails(1, "Error reading \"C:\\tree\\a.glim\":\r\n"),
                 ReadFails(2, "Error reading \"C:\\tree\\b.sav\":\r\n"),
                 ReadFails(3, "Error reading \"C:\\tree\\notes.txt\":\r\n"),
                 ReadFails(4, "Error reading \"C:\\tree\\sub\\c.glim\":\r\n"),
                 // Opening the link and the top directory to tell whether
                 // the link leads back up: a failure leaves the identity
                 // unknown, and the link is followed one level further.
                 Ignored("CreateFileW", ANY_OUT),
                 Ignored("GetFileInformationByHandle", ANY_OUT),
                 Ignored("CloseHandle", HANDLE_KEPT),
                 Ignored("HeapFree", BLOCK_KEPT),
                 Ignored("GetStdHandle", OUT_CUT),
                 Ignored("GetConsoleMode"),
                 Ignored("WriteFile", OUT_CUT),
             });
}

// Output through the host: a failed handle or write loses what it carried.
#define OUTPUT_ROWS(cut)                                                                           \
    Ignored("GetStdHandle", cut), Ignored("GetConsoleMode"), Ignored("WriteFile", cut)

TEST_F(Sweep, Help) {
    RunSweep({MachineOnly, "/?", nullptr}, {OUTPUT_ROWS(OUT_CUT)});
}

TEST_F(Sweep, HelpWithTheVersion) {
    RunSweep({MachineOnly, "/??", nullptr}, {OUTPUT_ROWS(OUT_CUT)});
}

TEST_F(Sweep, AnUnknownOption) {
    RunSweep({MachineOnly, "/X", nullptr}, {OUTPUT_ROWS(ERR_CUT)});
}

TEST_F(Sweep, TwoFileNames) {
    RunSweep({MachineOnly, "one.glim two.glim", nullptr},
             {
                 Stops("GetFullPathNameW", 1, 1, PLAIN, "Bad filename:  \"ONE.GLIM\"\r\n"),
                 OUTPUT_ROWS(ERR_CUT),
             });
}

} // namespace
