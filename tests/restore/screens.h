// screens.h: screens composed in memory for the restore tests, turned into
// the bytes of a Glimpset file (through the system's own header and encoder
// code) or of a SAVECON file (by hand), and snapshots of the simulated
// console to compare before and after.
#pragma once

#include "format/glimformat.h"
#include "winsim/sim.h"

#include <cstdint>
#include <string>
#include <vector>

namespace restoretest {

struct Screen {
    int columns = 80;
    int rows = 300;
    int cursorColumn = 0;
    int cursorRow = 0;
    WORD attribute = 0x1E;
    int windowHeight = 25;
    UINT inputCodePage = 1252;
    UINT outputCodePage = 65001;
    std::vector<WORD> characters; // rows x columns
    std::vector<WORD> attributes;
};

// A screen whose every cell differs from its neighbours and from a blank
// console: letters and digits cycling, attributes changing row by row.
Screen PatternScreen(int columns, int rows);

// The Glimpset file of a screen, with its correct CRC.
std::vector<uint8_t> GlimpsetBytes(const Screen &screen);
// Header fields patched afterwards (little-endian).
void PutWord(std::vector<uint8_t> &bytes, size_t offset, WORD value);
void PutDword(std::vector<uint8_t> &bytes, size_t offset, DWORD value);

// A SAVECON file: the header of a console screen buffer info with the
// window `windowHeight` rows high ending at the cursor's row (or the top),
// then the cell pairs from byte 22 (`early`; the first character must not
// be 0) or from byte 832.
std::vector<uint8_t> SaveconBytes(const Screen &screen, bool early);

// What a test compares of the simulated console.
struct ConsoleSnapshot {
    int columns, rows, cursorColumn, cursorRow;
    WORD attribute;
    SMALL_RECT window;
    UINT inputCodePage, outputCodePage;
    std::vector<WORD> characters, attributes;
};
ConsoleSnapshot TakeSnapshot();
// Fills the console with recognisable text and a non-default state, so that
// any change shows.
void MarkConsole();
bool SameConsole(const ConsoleSnapshot &a, const ConsoleSnapshot &b);

} // namespace restoretest
