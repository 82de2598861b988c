// screens.cpp: composing screens and screen files for the restore tests,
// and snapshots of the simulated console.
#include "tests/restore/screens.h"

#include "format/wordstream.h"
#include "save/encoder.h"

#include <cstring>

namespace restoretest {

Screen PatternScreen(int columns, int rows) {
    static const char cycle[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    Screen screen;
    screen.columns = columns;
    screen.rows = rows;
    size_t count = (size_t)columns * (size_t)rows;
    screen.characters.resize(count);
    screen.attributes.resize(count);
    for (size_t i = 0; i < count; i++) {
        size_t row = i / (size_t)columns;
        screen.characters[i] = (WORD)cycle[(i + row) % (sizeof cycle - 1)];
        // Every attribute but the header's own, with some high bits too.
        screen.attributes[i] = (WORD)(0x10 + row % 0x60 + ((row % 3) == 0 ? 0x4000 : 0));
    }
    return screen;
}

void PutWord(std::vector<uint8_t> &bytes, size_t offset, WORD value) {
    bytes[offset] = (uint8_t)(value & 0xFF);
    bytes[offset + 1] = (uint8_t)(value >> 8);
}

void PutDword(std::vector<uint8_t> &bytes, size_t offset, DWORD value) {
    PutWord(bytes, offset, (WORD)(value & 0xFFFF));
    PutWord(bytes, offset + 2, (WORD)(value >> 16));
}

static SMALL_RECT SavedWindow(const Screen &screen) {
    int top = screen.cursorRow - screen.windowHeight + 1;
    if (top < 0) {
        top = 0;
    }
    return SMALL_RECT{0, (SHORT)top, (SHORT)(screen.columns - 1),
                      (SHORT)(top + screen.windowHeight - 1)};
}

std::vector<uint8_t> GlimpsetBytes(const Screen &screen) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    info.dwSize = COORD{(SHORT)screen.columns, (SHORT)screen.rows};
    info.dwCursorPosition = COORD{(SHORT)screen.cursorColumn, (SHORT)screen.cursorRow};
    info.wAttributes = screen.attribute;
    info.srWindow = SavedWindow(screen);
    SYSTEMTIME time = {2024, 3, 2, 5, 9, 7, 2, 0};
    GlimpsetHeader header;
    FillGlimpsetHeader(&header, &time, 0, &info, screen.inputCodePage, screen.outputCodePage,
                       u"SIMHOST");
    // A window height the console could not show is kept as the test says.
    std::vector<uint8_t> bytes((const uint8_t *)&header, (const uint8_t *)&header + HEADER_SIZE);
    PutWord(bytes, offsetof(GlimpsetHeader, windowHeight), (WORD)screen.windowHeight);
    DWORD count = (DWORD)screen.characters.size();
    PutDword(bytes, offsetof(GlimpsetHeader, crc),
             ScreenCrc32(screen.characters.data(), screen.attributes.data(), count));

    std::vector<uint8_t> stream((size_t)count * 6 + 64);
    MemoryStream memory = {stream.data(), 0, (DWORD)stream.size(), 0};
    std::vector<WORD> words(TOKEN_BUFFER_WORDS);
    TokenBuffer out = {words.data(), 0, MemoryBlockWriter, &memory};
    EncodeScreen(screen.characters.data(), screen.attributes.data(), count,
                 (WORD)(screen.attribute & 0xFF), &out);
    FlushTokens(&out);
    bytes.insert(bytes.end(), stream.begin(), stream.begin() + memory.size);
    return bytes;
}

std::vector<uint8_t> SaveconBytes(const Screen &screen, bool early) {
    SMALL_RECT window = SavedWindow(screen);
    std::vector<uint8_t> bytes(early ? 22 : 832, 0);
    PutWord(bytes, 0, (WORD)screen.columns);
    PutWord(bytes, 2, (WORD)screen.rows);
    PutWord(bytes, 4, (WORD)screen.cursorColumn);
    PutWord(bytes, 6, (WORD)screen.cursorRow);
    PutWord(bytes, 8, screen.attribute);
    PutWord(bytes, 10, (WORD)window.Left);
    PutWord(bytes, 12, (WORD)window.Top);
    PutWord(bytes, 14, (WORD)window.Right);
    PutWord(bytes, 16, (WORD)window.Bottom);
    PutWord(bytes, 18, (WORD)screen.columns);
    PutWord(bytes, 20, (WORD)screen.windowHeight);
    for (size_t i = 0; i < screen.characters.size(); i++) {
        bytes.push_back((uint8_t)(screen.characters[i] & 0xFF));
        bytes.push_back((uint8_t)(screen.characters[i] >> 8));
        bytes.push_back((uint8_t)(screen.attributes[i] & 0xFF));
        bytes.push_back((uint8_t)(screen.attributes[i] >> 8));
    }
    return bytes;
}

ConsoleSnapshot TakeSnapshot() {
    sim::ConsoleState &state = sim::Console();
    return ConsoleSnapshot{state.columns,       state.rows,           state.cursorColumn,
                           state.cursorRow,     state.attribute,      state.window,
                           state.inputCodePage, state.outputCodePage, sim::ConsoleChars(),
                           sim::ConsoleAttrs()};
}

void MarkConsole() {
    sim::ConsoleState &state = sim::Console();
    for (int row = 0; row < state.rows; row += 7) {
        sim::ConsolePutText(0, row, u"a console that must stay as it is", (WORD)(0x20 + row % 16));
    }
    state.cursorColumn = 5;
    state.cursorRow = 40;
    state.attribute = 0x2F;
    state.window = SMALL_RECT{0, 16, 79, 40};
    state.inputCodePage = 850;
    state.outputCodePage = 852;
}

bool SameConsole(const ConsoleSnapshot &a, const ConsoleSnapshot &b) {
    return a.columns == b.columns && a.rows == b.rows && a.cursorColumn == b.cursorColumn &&
           a.cursorRow == b.cursorRow && a.attribute == b.attribute &&
           std::memcmp(&a.window, &b.window, sizeof a.window) == 0 &&
           a.inputCodePage == b.inputCodePage && a.outputCodePage == b.outputCodePage &&
           a.characters == b.characters && a.attributes == b.attributes;
}

} // namespace restoretest
