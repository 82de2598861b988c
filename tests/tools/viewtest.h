// viewtest.h: shared pieces of the glimview suites: screens composed in
// memory, made into the bytes of a Glimpset file (through the system's own
// header and encoder code) or of a SAVECON file, loaded and rendered into
// strings, and glimview run on real files in a scratch directory.
#pragma once

#include "glimview/glimview.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace viewtest {

struct Screen {
    int columns = 22;
    int rows = 8;
    int cursorColumn = 0;
    int cursorRow = 0;
    WORD attribute = 0x07;
    int windowHeight = 8;
    std::vector<WORD> characters; // rows x columns
    std::vector<WORD> attributes;
};

// A screen of spaces in one attribute.
Screen Blank(int columns, int rows, WORD attribute);
// Writes UTF-16 units from (row, column) on, in one attribute.
void Put(Screen &screen, int row, int column, const std::u16string &text, WORD attribute);

// When the file says it was taken, and where.
struct Stamp {
    bool taken = true; // false: the time stamp suppressed (year 0)
    SYSTEMTIME time = {2024, 3, 2, 5, 9, 7, 2, 0};
    LONG bias = -60;
    std::u16string computer = u"SIMHOST";
};

// The Glimpset file of a screen with its correct CRC.
std::vector<uint8_t> GlimpsetBytes(const Screen &screen, const Stamp &stamp = Stamp());
// A SAVECON file of a screen: the window `windowHeight` rows high from the
// top, the cells from byte 22 (`early`) or 832; `cells` limits how many
// cell pairs are written (-1: all).
std::vector<uint8_t> SaveconBytes(const Screen &screen, bool early, int cells = -1);
void PutWord(std::vector<uint8_t> &bytes, size_t offset, WORD value);
void PutDword(std::vector<uint8_t> &bytes, size_t offset, DWORD value);

// A sink that collects what it is given.
struct Capture {
    ViewSink sink;
    std::string text;
    bool fail = false; // true: every write fails
};
std::unique_ptr<Capture> NewCapture();

// The screen of a file's bytes (LoadScreen); the caller frees it.
LoadResult Load(const std::vector<uint8_t> &bytes, ViewScreen *screen);
// A loaded file rendered: the rows SelectRows gives for the mode.
std::string Render(const std::vector<uint8_t> &bytes, ViewMode mode, bool window = false,
                   const char *name = "screen.glim");

// glimview run with arguments; what it returned and wrote.
struct Outcome {
    int status;
    std::string out;
    std::string err;
};
Outcome RunView(const std::vector<std::string> &arguments);

// A fresh scratch directory for one test (ends in "/"), and whole files.
std::string Scratch();
void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes);
std::string ReadText(const std::string &path);

} // namespace viewtest
