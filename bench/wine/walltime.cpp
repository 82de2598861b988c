// walltime.cpp: the wall-clock time of a save and of a restore of a whole
// 120 x 9,001 console holding a shell session, against the floor that no
// save or restore can beat: a bare loop that only reads (or writes) the same
// cells in the same blocks of whole rows, two calls a block or one CHAR_INFO
// call a block, whichever is faster.
//
// The plugin is loaded from beside this program as the host loads it, and
// `glim` is called through GetProcAddress, with the host services of our
// TakeCmd.dll. Every figure is the median of a number of runs (11 unless
// the first argument says otherwise), timed with QueryPerformanceCounter; a
// ratio is the median of the ratios of each run. The plugin's own work
// (checksum, encoder, decoder, and the file it writes or reads) is timed
// apart on the same cells, from the same sources built by the same
// compiler, to tell where any time above the floor goes.
//
// Usage: walltime [RUNS] [-o FILE]. The console is used for the measuring,
// so the table is printed only once it is back to its old size; with -o it
// is written to FILE instead (a Windows path).
#include "bench/screens.h"
#include "bench/wine/wallclock.h"
#include "format/glimformat.h"
#include "format/wordstream.h"
#include "host/hoststate.h"
#include "plugin/host.h"
#include "restore/decoder.h"
#include "save/encoder.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

enum {
    BLOCK_CELLS = 8192, // most cells a console call takes, in whole rows
    DEFAULT_RUNS = 11,
    WINDOW_ROWS = 25,
    PAGE_BYTES = 4096,
};

struct Plugin {
    HMODULE module;
    GetPluginInfoFn getPluginInfo;
    InitializePluginFn initializePlugin;
    ShutdownPluginFn shutdownPlugin;
    CommandFn glim;
};

void *Export(const Plugin *plugin, const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(plugin->module, name));
}

bool LoadPlugin(Plugin *plugin) {
    std::wstring path = ProgramDirectory() + L"glimpset.dll";
    plugin->module = LoadLibraryW(path.c_str());
    if (plugin->module == nullptr) {
        fprintf(stderr, "walltime: cannot load glimpset.dll (%lu)\n", GetLastError());
        return false;
    }
    // GetProcAddress gives every export one type; each is cast back to its own.
    plugin->getPluginInfo = reinterpret_cast<GetPluginInfoFn>(Export(plugin, "GetPluginInfo"));
    plugin->initializePlugin =
        reinterpret_cast<InitializePluginFn>(Export(plugin, "InitializePlugin"));
    plugin->shutdownPlugin = reinterpret_cast<ShutdownPluginFn>(Export(plugin, "ShutdownPlugin"));
    plugin->glim = reinterpret_cast<CommandFn>(Export(plugin, "glim"));
    if (plugin->getPluginInfo == nullptr || plugin->initializePlugin == nullptr ||
        plugin->shutdownPlugin == nullptr || plugin->glim == nullptr) {
        fprintf(stderr, "walltime: glimpset.dll lacks an export\n");
        return false;
    }
    plugin->getPluginInfo();
    // As in a transient shell: no load line in the console being measured.
    HostSetTransient(1);
    plugin->initializePlugin();
    return true;
}

int Glim(const Plugin &plugin, const std::wstring &tail) {
    std::vector<WCHAR> buffer(tail.begin(), tail.end());
    buffer.push_back(0);
    return plugin.glim(buffer.data());
}

// The console's size, changed as a console allows: the window shrinks
// first, since it can never be larger than the buffer.
void ResizeConsole(HANDLE console, int columns, int rows, int windowRows) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    SMALL_RECT small = {0, 0, (SHORT)(std::min<int>(columns, info.dwSize.X) - 1),
                        (SHORT)(std::min<int>(windowRows, info.dwSize.Y) - 1)};
    SetConsoleWindowInfo(console, TRUE, &small);
    COORD size = {(SHORT)columns, (SHORT)rows};
    SetConsoleScreenBufferSize(console, size);
    SMALL_RECT window = {0, 0, (SHORT)(columns - 1), (SHORT)(windowRows - 1)};
    SetConsoleWindowInfo(console, TRUE, &window);
}

// The floors: the cells read, or written, in blocks of whole rows of at
// most 8,192 cells, in either of the two ways a program can: characters
// then attributes for each block (two calls), or characters and
// attributes together, one CHAR_INFO per cell (one call), as the save and
// the restore do. The faster of the two is the floor that counts.
DWORD RowsPerBlock(DWORD columns) {
    DWORD rows = BLOCK_CELLS / columns;
    return rows > 0 ? rows : 1;
}

bool ReadCells(HANDLE console, DWORD columns, DWORD rows, WORD *ch, WORD *at) {
    DWORD step = RowsPerBlock(columns);
    for (DWORD row = 0; row < rows; row += step) {
        DWORD cells = std::min(step, rows - row) * columns;
        DWORD index = row * columns;
        COORD origin = {0, (SHORT)row};
        DWORD done = 0;
        if (!ReadConsoleOutputCharacterW(console, (WCHAR *)(ch + index), cells, origin, &done) ||
            !ReadConsoleOutputAttribute(console, at + index, cells, origin, &done)) {
            return false;
        }
    }
    return true;
}

bool WriteCells(HANDLE console, DWORD columns, DWORD rows, const WORD *ch, const WORD *at) {
    DWORD step = RowsPerBlock(columns);
    for (DWORD row = 0; row < rows; row += step) {
        DWORD cells = std::min(step, rows - row) * columns;
        DWORD index = row * columns;
        COORD origin = {0, (SHORT)row};
        DWORD done = 0;
        if (!WriteConsoleOutputCharacterW(console, (const WCHAR *)(ch + index), cells, origin,
                                          &done) ||
            !WriteConsoleOutputAttribute(console, at + index, cells, origin, &done)) {
            return false;
        }
    }
    return true;
}

bool ReadCharInfoCells(HANDLE console, DWORD columns, DWORD rows, CHAR_INFO *block, WORD *ch,
                       WORD *at) {
    DWORD step = RowsPerBlock(columns);
    for (DWORD row = 0; row < rows; row += step) {
        DWORD blockRows = std::min(step, rows - row);
        COORD size = {(SHORT)columns, (SHORT)blockRows};
        COORD origin = {0, 0};
        SMALL_RECT region = {0, (SHORT)row, (SHORT)(columns - 1), (SHORT)(row + blockRows - 1)};
        if (!ReadConsoleOutputW(console, block, size, origin, &region)) {
            return false;
        }
        DWORD index = row * columns;
        for (DWORD i = 0; i < blockRows * columns; i++) {
            ch[index + i] = (WORD)block[i].Char.UnicodeChar;
            at[index + i] = block[i].Attributes;
        }
    }
    return true;
}

bool WriteCharInfoCells(HANDLE console, DWORD columns, DWORD rows, CHAR_INFO *block, const WORD *ch,
                        const WORD *at) {
    DWORD step = RowsPerBlock(columns);
    for (DWORD row = 0; row < rows; row += step) {
        DWORD blockRows = std::min(step, rows - row);
        DWORD index = row * columns;
        for (DWORD i = 0; i < blockRows * columns; i++) {
            block[i].Char.UnicodeChar = (WCHAR)ch[index + i];
            block[i].Attributes = at[index + i];
        }
        COORD size = {(SHORT)columns, (SHORT)blockRows};
        COORD origin = {0, 0};
        SMALL_RECT region = {0, (SHORT)row, (SHORT)(columns - 1), (SHORT)(row + blockRows - 1)};
        if (!WriteConsoleOutputW(console, block, size, origin, &region)) {
            return false;
        }
    }
    return true;
}

// The bare reads into two cell arrays taken from the process heap for
// them, zeroed, as the save takes its arrays, and given back after.
// With `block`, read with one CHAR_INFO call a block through it.
bool ReadIntoNewArrays(HANDLE console, DWORD columns, DWORD rows, CHAR_INFO *block = nullptr) {
    SIZE_T bytes = (SIZE_T)columns * rows * sizeof(WORD);
    WORD *ch = (WORD *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    WORD *at = (WORD *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    bool ok = ch != nullptr && at != nullptr &&
              (block != nullptr ? ReadCharInfoCells(console, columns, rows, block, ch, at)
                                : ReadCells(console, columns, rows, ch, at));
    if (at != nullptr) {
        HeapFree(GetProcessHeap(), 0, at);
    }
    if (ch != nullptr) {
        HeapFree(GetProcessHeap(), 0, ch);
    }
    return ok;
}

// The same two arrays without the console: taken, each of their pages
// written once, given back. What memory new to the process costs.
bool NewArrays(DWORD columns, DWORD rows) {
    SIZE_T bytes = (SIZE_T)columns * rows * sizeof(WORD);
    BYTE *ch = (BYTE *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    BYTE *at = (BYTE *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    bool ok = ch != nullptr && at != nullptr;
    for (SIZE_T i = 0; ok && i < bytes; i += PAGE_BYTES) {
        ch[i] = 1;
        at[i] = 1;
    }
    if (at != nullptr) {
        HeapFree(GetProcessHeap(), 0, at);
    }
    if (ch != nullptr) {
        HeapFree(GetProcessHeap(), 0, ch);
    }
    return ok;
}

// The console as the shell left it: the session's cells, its attribute,
// the cursor after the last prompt, the window ending at the cursor's row.
void ShowScreen(HANDLE console, const Screen &s) {
    WriteCells(console, s.columns, s.rows, s.ch.data(), s.at.data());
    SetConsoleTextAttribute(console, s.headerAttribute);
    COORD cursor = {(SHORT)s.cursorColumn, (SHORT)s.cursorRow};
    SetConsoleCursorPosition(console, cursor);
    int top = std::max<int>(0, (int)s.cursorRow - WINDOW_ROWS + 1);
    SMALL_RECT window = {0, (SHORT)top, (SHORT)(s.columns - 1), (SHORT)(top + WINDOW_ROWS - 1)};
    SetConsoleWindowInfo(console, TRUE, &window);
}

// Another screen in its place, so that a restore or a write has cells to
// change: every cell an 'x' in white on blue.
void Scramble(HANDLE console, const Screen &s, std::vector<WORD> &ch, std::vector<WORD> &at) {
    std::fill(ch.begin(), ch.end(), (WORD)'x');
    std::fill(at.begin(), at.end(), (WORD)0x1F);
    WriteCells(console, s.columns, s.rows, ch.data(), at.data());
}

// The encoder's blocks go to memory; the file is timed on its own.
struct Encoded {
    std::vector<BYTE> bytes;
    DWORD size;
};

void Encode(const Screen &s, std::vector<WORD> &tokens, Encoded *encoded) {
    MemoryStream out = {encoded->bytes.data(), 0, (DWORD)encoded->bytes.size(), 0};
    TokenBuffer buffer = {tokens.data(), 0, MemoryBlockWriter, &out};
    EncodeScreen(s.ch.data(), s.at.data(), s.columns * s.rows, s.headerAttribute, &buffer);
    FlushTokens(&buffer);
    encoded->size = out.size;
}

// The file as the save writes it: the header, then 16,384-byte blocks.
bool WriteFileBlocks(const std::wstring &path, const Encoded &encoded) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BYTE header[HEADER_SIZE] = {};
    DWORD written = 0;
    bool ok = WriteFile(file, header, HEADER_SIZE, &written, nullptr) != 0;
    for (DWORD at = 0; ok && at < encoded.size; at += READ_BUFFER_BYTES) {
        DWORD size = std::min<DWORD>(READ_BUFFER_BYTES, encoded.size - at);
        ok = WriteFile(file, encoded.bytes.data() + at, size, &written, nullptr) != 0;
    }
    CloseHandle(file);
    return ok;
}

// The file as the restore reads it: 80 bytes, then 16,384-byte refills.
bool ReadFileBlocks(const std::wstring &path, std::vector<BYTE> &buffer) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD got = 0;
    bool ok = ReadFile(file, buffer.data(), HEADER_SIZE, &got, nullptr) != 0;
    while (ok) {
        ok = ReadFile(file, buffer.data(), READ_BUFFER_BYTES, &got, nullptr) != 0;
        if (got == 0) {
            break;
        }
    }
    CloseHandle(file);
    return ok;
}

// What is timed in every run, in the order of the runs.
enum Measure {
    SAVE,         // glim /Q into a new file
    SAVE_REPLACE, // glim /Q /O over the file
    READ_FLOOR,   // the bare reads, two calls a block
    READ_CELLS,   // the bare reads, one CHAR_INFO call a block
    FRESH_CELLS,  // the same into cell arrays allocated for them
    FRESH_READS,  // the bare reads into cell arrays allocated for them
    RESTORE,      // glim /R /Q
    WRITE_FLOOR,  // the bare writes, two calls a block
    WRITE_CELLS,  // the bare writes, one CHAR_INFO call a block
    CHECKSUM,     // ScreenCrc32 of all cells
    ENCODER,      // EncodeScreen into memory
    DECODER,      // DecodeGlimpset from memory
    FILE_WRITE,   // the file, as the save writes it
    FILE_READ,    // the file, as the restore reads it
    NEW_ARRAYS,   // two cell arrays taken, touched and given back
    MEASURES,
};

typedef std::vector<double> Runs[MEASURES];

double Time(const Runs &runs, Measure measure) {
    return Median(runs[measure]);
}

double Best(const Runs &runs, Measure measure) {
    return ::Best(runs[measure]);
}

double Ratio(const Runs &runs, Measure measure, Measure floor) {
    return MedianRatio(runs[measure], runs[floor]);
}

void PrintRow(FILE *out, const Runs &runs, const char *name, Measure measure, const char *floorName,
              Measure floor) {
    fprintf(out, "%-24s %7.2f %7.2f   %-22s %7.2f %7.2f   %6.3f %6.3f\n", name, Time(runs, measure),
            Best(runs, measure), floorName, Time(runs, floor), Best(runs, floor),
            Ratio(runs, measure, floor), Best(runs, measure) / Best(runs, floor));
}

void PrintPart(FILE *out, const Runs &runs, const char *name, Measure measure) {
    fprintf(out, "%-24s %7.2f %7.2f\n", name, Time(runs, measure), Best(runs, measure));
}

void Print(FILE *out, const Screen &s, const Runs &runs, DWORD fileBytes) {
    DWORD cells = s.columns * s.rows;
    fprintf(out, "Glimpset wall time under Wine: %lu x %lu cells (%lu), a shell session, %d runs\n",
            (unsigned long)s.columns, (unsigned long)s.rows, (unsigned long)cells,
            (int)runs[SAVE].size());
    fprintf(out, "(ms: the median and the best run; ratio: the median of each run's ratio, "
                 "and best to best)\n\n");
    fprintf(out, "%-24s %7s %7s   %-22s %7s %7s   %6s %6s\n", "operation", "median", "best",
            "floor", "median", "best", "ratio", "best");
    PrintRow(out, runs, "save    glim /Q FILE", SAVE, "bare reads", READ_FLOOR);
    PrintRow(out, runs, "save    glim /Q FILE", SAVE, "bare reads, new arrays", FRESH_READS);
    PrintRow(out, runs, "save    glim /Q /O FILE", SAVE_REPLACE, "bare reads", READ_FLOOR);
    PrintRow(out, runs, "save    glim /Q /O FILE", SAVE_REPLACE, "bare reads, new arrays",
             FRESH_READS);
    PrintRow(out, runs, "save    glim /Q FILE", SAVE, "bare CHAR_INFO reads", READ_CELLS);
    PrintRow(out, runs, "save    glim /Q FILE", SAVE, "CHAR_INFO, new arrays", FRESH_CELLS);
    PrintRow(out, runs, "restore glim /R /Q FILE", RESTORE, "bare writes", WRITE_FLOOR);
    PrintRow(out, runs, "restore glim /R /Q FILE", RESTORE, "bare CHAR_INFO writes", WRITE_CELLS);
    Measure readFloor = Time(runs, READ_CELLS) < Time(runs, READ_FLOOR) ? READ_CELLS : READ_FLOOR;
    Measure writeFloor =
        Time(runs, WRITE_CELLS) < Time(runs, WRITE_FLOOR) ? WRITE_CELLS : WRITE_FLOOR;
    Measure freshFloor =
        Time(runs, FRESH_CELLS) < Time(runs, FRESH_READS) ? FRESH_CELLS : FRESH_READS;
    fprintf(out, "\nAgainst the faster floor:\n");
    PrintRow(out, runs, "save    glim /Q FILE", SAVE,
             readFloor == READ_CELLS ? "bare CHAR_INFO reads" : "bare reads", readFloor);
    PrintRow(out, runs, "save    glim /Q FILE", SAVE,
             freshFloor == FRESH_CELLS ? "CHAR_INFO, new arrays" : "bare reads, new arrays",
             freshFloor);
    PrintRow(out, runs, "restore glim /R /Q FILE", RESTORE,
             writeFloor == WRITE_CELLS ? "bare CHAR_INFO writes" : "bare writes", writeFloor);
    fprintf(out, "\nThe plugin's own work on the same cells, timed apart in this process:\n");
    PrintPart(out, runs, "checksum (ScreenCrc32)", CHECKSUM);
    PrintPart(out, runs, "encoder, into memory", ENCODER);
    PrintPart(out, runs, "decoder, from memory", DECODER);
    PrintPart(out, runs, "file written, 16 KB", FILE_WRITE);
    PrintPart(out, runs, "file read, 16 KB", FILE_READ);
    PrintPart(out, runs, "new cell arrays", NEW_ARRAYS);
    fprintf(out, "file: %lu bytes, %.3f bytes a cell\n\n", (unsigned long)fileBytes,
            (double)fileBytes / cells);
    fprintf(out, "%-24s %7.2f %7.2f   reads, arrays, checksum, encoder, file\n", "save, its parts",
            Time(runs, READ_FLOOR) + Time(runs, NEW_ARRAYS) + Time(runs, CHECKSUM) +
                Time(runs, ENCODER) + Time(runs, FILE_WRITE),
            Best(runs, READ_FLOOR) + Best(runs, NEW_ARRAYS) + Best(runs, CHECKSUM) +
                Best(runs, ENCODER) + Best(runs, FILE_WRITE));
    fprintf(out, "%-24s %7.2f %7.2f   file, arrays, decoder, checksum, writes\n",
            "restore, its parts",
            Time(runs, FILE_READ) + Time(runs, NEW_ARRAYS) + Time(runs, DECODER) +
                Time(runs, CHECKSUM) + Time(runs, WRITE_FLOOR),
            Best(runs, FILE_READ) + Best(runs, NEW_ARRAYS) + Best(runs, DECODER) +
                Best(runs, CHECKSUM) + Best(runs, WRITE_FLOOR));
    fprintf(out, "\nThe bare reads and writes open no file. The bare reads go into arrays "
                 "allocated once, or,\nas the save's, allocated and zeroed for each read. The "
                 "restore also places the window.\nOperations and floors take turns at going "
                 "first.\n");
}

// Everything a run works with.
struct Bench {
    Plugin plugin;
    HANDLE console;
    const Screen *s;
    std::wstring path;   // the plugin's file
    std::wstring probe;  // the file written and read apart
    std::wstring quoted; // the plugin's file, quoted for the command line
    std::vector<WORD> ch, at, other, otherAt, tokens;
    std::vector<CHAR_INFO> block; // one block of cells for the CHAR_INFO floors
    std::vector<BYTE> readBuffer;
    Encoded encoded;
    Runs runs;
};

// The save, into a new file, then over it.
bool TimeSaves(Bench &b) {
    DeleteFileW(b.path.c_str());
    double start = Milliseconds();
    bool ok = Glim(b.plugin, L"/Q " + b.quoted) == 0;
    b.runs[SAVE].push_back(Milliseconds() - start);
    start = Milliseconds();
    ok = ok && Glim(b.plugin, L"/Q /O " + b.quoted) == 0;
    b.runs[SAVE_REPLACE].push_back(Milliseconds() - start);
    return ok;
}

// The floor of the save: the same cells read in the same blocks.
bool TimeReads(Bench &b) {
    const Screen &s = *b.s;
    double start = Milliseconds();
    bool ok = ReadCells(b.console, s.columns, s.rows, b.ch.data(), b.at.data());
    b.runs[READ_FLOOR].push_back(Milliseconds() - start);
    start = Milliseconds();
    ok = ok && ReadIntoNewArrays(b.console, s.columns, s.rows);
    b.runs[FRESH_READS].push_back(Milliseconds() - start);
    start = Milliseconds();
    ok = ok &&
         ReadCharInfoCells(b.console, s.columns, s.rows, b.block.data(), b.ch.data(), b.at.data());
    b.runs[READ_CELLS].push_back(Milliseconds() - start);
    start = Milliseconds();
    ok = ok && ReadIntoNewArrays(b.console, s.columns, s.rows, b.block.data());
    b.runs[FRESH_CELLS].push_back(Milliseconds() - start);
    return ok;
}

// The restore, over another screen.
bool TimeRestore(Bench &b) {
    Scramble(b.console, *b.s, b.other, b.otherAt);
    double start = Milliseconds();
    bool ok = Glim(b.plugin, L"/R /Q " + b.quoted) == 0;
    b.runs[RESTORE].push_back(Milliseconds() - start);
    ShowScreen(b.console, *b.s);
    return ok;
}

// The floor of the restore: the same cells written in the same blocks,
// over the same other screen.
bool TimeWrites(Bench &b) {
    const Screen &s = *b.s;
    Scramble(b.console, s, b.other, b.otherAt);
    double start = Milliseconds();
    bool ok = WriteCells(b.console, s.columns, s.rows, s.ch.data(), s.at.data());
    b.runs[WRITE_FLOOR].push_back(Milliseconds() - start);
    ShowScreen(b.console, s);
    Scramble(b.console, s, b.other, b.otherAt);
    start = Milliseconds();
    ok = ok &&
         WriteCharInfoCells(b.console, s.columns, s.rows, b.block.data(), s.ch.data(), s.at.data());
    b.runs[WRITE_CELLS].push_back(Milliseconds() - start);
    ShowScreen(b.console, s);
    return ok;
}

// The plugin's own work, without the console.
bool TimeOwnWork(Bench &b) {
    const Screen &s = *b.s;
    DWORD cells = s.columns * s.rows;
    double start = Milliseconds();
    DWORD crc = ScreenCrc32(s.ch.data(), s.at.data(), cells);
    b.runs[CHECKSUM].push_back(Milliseconds() - start);
    start = Milliseconds();
    Encode(s, b.tokens, &b.encoded);
    b.runs[ENCODER].push_back(Milliseconds() - start);
    start = Milliseconds();
    MemoryStream in = {b.encoded.bytes.data(), b.encoded.size, 0, 0};
    WordReader reader = {b.readBuffer.data(), 0, 0, MemoryBlockReader, &in};
    DecodeResult decoded =
        DecodeGlimpset(&reader, s.headerAttribute, b.other.data(), b.otherAt.data(), cells);
    b.runs[DECODER].push_back(Milliseconds() - start);
    bool ok = decoded == DECODE_OK && b.other == s.ch && b.otherAt == s.at &&
              crc == ScreenCrc32(b.other.data(), b.otherAt.data(), cells);
    start = Milliseconds();
    ok = ok && WriteFileBlocks(b.probe, b.encoded);
    b.runs[FILE_WRITE].push_back(Milliseconds() - start);
    start = Milliseconds();
    ok = ok && ReadFileBlocks(b.probe, b.readBuffer);
    b.runs[FILE_READ].push_back(Milliseconds() - start);
    start = Milliseconds();
    ok = ok && NewArrays(s.columns, s.rows);
    b.runs[NEW_ARRAYS].push_back(Milliseconds() - start);
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    int count = DEFAULT_RUNS;
    const char *outName = nullptr;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            outName = argv[++i];
        } else {
            count = std::max(1, atoi(argv[i]));
        }
    }

    Bench bench;
    Bench *b = &bench;
    const Screen s = ShellSession();
    DWORD cells = s.columns * s.rows;
    WCHAR temp[MAX_PATH];
    bool ok = true;
    if (!LoadPlugin(&b->plugin)) {
        return 2;
    }
    b->console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (b->console == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "walltime: no console (%lu)\n", GetLastError());
        return 2;
    }
    CONSOLE_SCREEN_BUFFER_INFO original = {};
    GetConsoleScreenBufferInfo(b->console, &original);

    GetTempPathW(MAX_PATH, temp);
    b->s = &s;
    b->path = std::wstring(temp) + L"glimpset-walltime.glim";
    b->probe = std::wstring(temp) + L"glimpset-walltime.probe";
    b->quoted = L"\"" + b->path + L"\"";
    b->ch.assign(cells, 0);
    b->at.assign(cells, 0);
    b->other.assign(cells, 0);
    b->otherAt.assign(cells, 0);
    b->tokens.assign(TOKEN_BUFFER_WORDS, 0);
    b->block.assign(BLOCK_CELLS, CHAR_INFO{});
    b->readBuffer.assign(READ_BUFFER_BYTES, 0);
    b->encoded.bytes.assign(8 * (size_t)cells + 16, 0);
    b->encoded.size = 0;

    ResizeConsole(b->console, (int)s.columns, (int)s.rows, WINDOW_ROWS);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(b->console, &info);
    if ((DWORD)info.dwSize.X != s.columns || (DWORD)info.dwSize.Y != s.rows) {
        fprintf(stderr, "walltime: the console is %d x %d, not %lu x %lu\n", info.dwSize.X,
                info.dwSize.Y, (unsigned long)s.columns, (unsigned long)s.rows);
        ok = false;
    }
    ShowScreen(b->console, s);

    // Operations and floors take turns at going first, so that neither
    // always meets the console (and wineserver) in the state the other left.
    for (int run = 0; ok && run < count; run++) {
        if (run % 2 == 0) {
            ok = TimeSaves(*b) && TimeReads(*b) && TimeRestore(*b) && TimeWrites(*b);
        } else {
            ok = TimeReads(*b) && TimeSaves(*b) && TimeWrites(*b) && TimeRestore(*b);
        }
        ok = ok && TimeOwnWork(*b);
    }

    // What the restore put back must be what was saved.
    if (ok) {
        Scramble(b->console, s, b->other, b->otherAt);
        ok = Glim(b->plugin, L"/R /Q " + b->quoted) == 0 &&
             ReadCells(b->console, s.columns, s.rows, b->ch.data(), b->at.data()) &&
             b->ch == s.ch && b->at == s.at;
        if (!ok) {
            fprintf(stderr, "walltime: the restored screen differs from the saved one\n");
        }
    }
    DeleteFileW(b->path.c_str());
    DeleteFileW(b->probe.c_str());
    b->plugin.shutdownPlugin(0);

    ResizeConsole(b->console, original.dwSize.X, original.dwSize.Y,
                  original.srWindow.Bottom - original.srWindow.Top + 1);
    CloseHandle(b->console);
    if (!ok) {
        fprintf(stderr, "walltime: a measurement failed\n");
        return 1;
    }

    FILE *out = OpenTable(outName, "walltime");
    if (out == nullptr) {
        return 2;
    }
    Print(out, s, b->runs, b->encoded.size);
    CloseTable(out);
    return 0;
}
