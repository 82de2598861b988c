// consolecells.h: the behaviours of the console's cell calls that the save
// and the restore rely on, as one table that runs against winsim (in
// tests/winsim/console_test.cpp) and, inside wintests.exe, against a real
// console: under Wine, and on Windows in a console window or in Windows
// Terminal. Each row writes to the first two rows of the screen buffer with
// one or two calls, reads back with one call, and compares what it read
// with what the Windows console host (conhost) gives, naming the conhost
// source that says so.
//
// Under Wine a row that Wine is known to answer differently carries Wine's
// answer and is checked against it, as Wine's own tests mark theirs with
// todo_wine; when Wine starts to answer as conhost does, the row fails and
// says so, so that the mark can go. On Windows every row must give conhost's
// answer; a row that does not names a console behaviour that the save or
// the restore cannot count on there.
//
// Header only, built into both test programs; it uses nothing but Win32.
#pragma once

#include "common/platform.h"

#include <string>
#include <vector>

namespace consolecells {

// How a row writes its cells.
enum Write {
    CHARS,          // WriteConsoleOutputCharacterW of `text`
    CHARS_AND_ATTR, // the same, then WriteConsoleOutputAttribute of `attributes`
    CELLS,          // WriteConsoleOutputW of `cells` (character, attribute pairs)
};

// How a row reads its cells back.
enum Read {
    READ_CHARS,      // ReadConsoleOutputCharacterW: the units, then "#" and the count
    READ_ATTRIBUTES, // ReadConsoleOutputAttribute: each attribute in hex
    READ_CELLS,      // ReadConsoleOutputW: each cell's character, "<" after a
                     // leading cell, ">" after a trailing one, "/" and the
                     // attribute when it is not 07
};

struct Cell {
    char16_t character;
    WORD attribute;
};

struct Row {
    const char *behaviour; // what the console does
    const char *source;    // where conhost does it
    Write write;
    int column;           // where the write starts, row 0; -1: the last column
    const char16_t *text; // CHARS, CHARS_AND_ATTR
    std::vector<WORD> attributes;
    std::vector<Cell> cells; // CELLS, written as one row
    Read read;
    int readRow, readColumn, readCells; // readColumn -1: the last column
    const char *conhost;                // what conhost gives
    const char *wine;                   // what Wine gives when it differs; null when it agrees
};

inline std::string Utf8(const std::u16string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        unsigned long c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        }
        if (c < 0x80) {
            out += (char)c;
        } else if (c < 0x800) {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += (char)(0xE0 | (c >> 12));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        } else {
            out += (char)(0xF0 | (c >> 18));
            out += (char)(0x80 | ((c >> 12) & 0x3F));
            out += (char)(0x80 | ((c >> 6) & 0x3F));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::string Hex(WORD value) {
    const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += digits[(value >> shift) & 0xF];
    }
    return out;
}

// Clears the first two rows to spaces in attribute 07 (CHAR_INFO cells
// without flags take one cell each, whatever was there).
inline void ClearRows(HANDLE console, int columns) {
    std::vector<CHAR_INFO> blank((size_t)columns * 2);
    for (CHAR_INFO &cell : blank) {
        cell.Char.UnicodeChar = (WCHAR)' ';
        cell.Attributes = 0x07;
    }
    COORD size = {(SHORT)columns, 2};
    COORD origin = {0, 0};
    SMALL_RECT region = {0, 0, (SHORT)(columns - 1), 1};
    WriteConsoleOutputW(console, blank.data(), size, origin, &region);
}

// Runs one row on `console` (opened for reading and writing, at least 22
// columns wide and 2 rows high) and gives what it read, as the row's
// `conhost` and `wine` texts are written.
inline std::string RunRow(HANDLE console, const Row &row) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(console, &info)) {
        return "no screen buffer information";
    }
    int columns = info.dwSize.X;
    ClearRows(console, columns);
    int column = row.column < 0 ? columns - 1 : row.column;
    COORD at = {(SHORT)column, 0};
    DWORD done = 0;
    if (row.write == CHARS || row.write == CHARS_AND_ATTR) {
        std::u16string text(row.text);
        std::vector<WCHAR> units(text.begin(), text.end());
        if (!WriteConsoleOutputCharacterW(console, units.data(), (DWORD)units.size(), at, &done)) {
            return "WriteConsoleOutputCharacterW failed";
        }
    }
    if (row.write == CHARS_AND_ATTR &&
        !WriteConsoleOutputAttribute(console, row.attributes.data(), (DWORD)row.attributes.size(),
                                     at, &done)) {
        return "WriteConsoleOutputAttribute failed";
    }
    if (row.write == CELLS) {
        std::vector<CHAR_INFO> cells(row.cells.size());
        for (size_t i = 0; i < cells.size(); i++) {
            cells[i].Char.UnicodeChar = (WCHAR)row.cells[i].character;
            cells[i].Attributes = row.cells[i].attribute;
        }
        COORD size = {(SHORT)cells.size(), 1};
        COORD origin = {0, 0};
        SMALL_RECT region = {(SHORT)column, 0, (SHORT)(column + (int)cells.size() - 1), 0};
        if (!WriteConsoleOutputW(console, cells.data(), size, origin, &region)) {
            return "WriteConsoleOutputW failed";
        }
    }

    int readColumn = row.readColumn < 0 ? columns - 1 : row.readColumn;
    COORD from = {(SHORT)readColumn, (SHORT)row.readRow};
    DWORD count = (DWORD)row.readCells;
    std::string out;
    if (row.read == READ_CHARS) {
        std::vector<WCHAR> units(count + 1, 0);
        if (!ReadConsoleOutputCharacterW(console, units.data(), count, from, &done)) {
            return "ReadConsoleOutputCharacterW failed";
        }
        out = Utf8(std::u16string(units.begin(), units.begin() + (long)done)) + "#" +
              std::to_string(done);
    } else if (row.read == READ_ATTRIBUTES) {
        std::vector<WORD> words(count, 0);
        if (!ReadConsoleOutputAttribute(console, words.data(), count, from, &done)) {
            return "ReadConsoleOutputAttribute failed";
        }
        for (DWORD i = 0; i < done; i++) {
            out += (i > 0 ? " " : "") + Hex(words[i]);
        }
    } else {
        std::vector<CHAR_INFO> cells(count);
        COORD size = {(SHORT)count, 1};
        COORD origin = {0, 0};
        SMALL_RECT region = {(SHORT)readColumn, (SHORT)row.readRow,
                             (SHORT)(readColumn + (int)count - 1), (SHORT)row.readRow};
        if (!ReadConsoleOutputW(console, cells.data(), size, origin, &region)) {
            return "ReadConsoleOutputW failed";
        }
        for (const CHAR_INFO &cell : cells) {
            out += Utf8(std::u16string(1, (char16_t)cell.Char.UnicodeChar));
            if ((cell.Attributes & 0x0100) != 0) {
                out += "<";
            }
            if ((cell.Attributes & 0x0200) != 0) {
                out += ">";
            }
            WORD colours = (WORD)(cell.Attributes & ~0x0300);
            if (colours != 0x07) {
                out += "/" + Hex(colours);
            }
        }
    }
    return out;
}

// The table. Wine's answers are those of Wine 8, whose console keeps
// one UTF-16 unit and every attribute bit in each cell.
// Each row: behaviour, source; the write (how, column, text, attributes,
// cells); the read (how, row, column, cells); conhost's answer, Wine's.
// clang-format off
inline const std::vector<Row> &Rows() {
    static const std::vector<Row> rows = {
        {"a wide character written as text takes two cells, flagged",
         "src/host/_output.cpp, WriteOutputStringW; src/host/consoleInformation.cpp, AsCharInfo",
         CHARS, 0, u"\u4E2D\u6587ab", {}, {}, READ_CELLS, 0, 0, 6,
         "\u4E2D<\u4E2D>\u6587<\u6587>ab", "\u4E2D\u6587ab  "},
        {"characters read skip trailing cells and count what they give",
         "src/host/output.cpp, ReadOutputStringW",
         CHARS, 0, u"\u4E2D\u6587ab", {}, {}, READ_CHARS, 0, 0, 6,
         "\u4E2D\u6587ab#4", "\u4E2D\u6587ab  #6"},
        {"attributes read give one word per cell with the width flags",
         "src/host/output.cpp, ReadOutputAttributes",
         CHARS, 0, u"\u4E2Da", {}, {}, READ_ATTRIBUTES, 0, 0, 3,
         "0107 0207 0007", "0007 0007 0007"},
        {"a read that starts on a trailing cell gives a space for it",
         "src/host/output.cpp, ReadOutputStringW",
         CHARS, 0, u"\u4E2Da", {}, {}, READ_CHARS, 0, 1, 2,
         " a#2", "a #2"},
        {"a read that ends on a leading cell gives it without a flag",
         "src/host/output.cpp, ReadOutputAttributes",
         CHARS, 0, u"a\u4E2D", {}, {}, READ_ATTRIBUTES, 0, 0, 2,
         "0007 0007", nullptr},
        {"a wide character that does not fit the last column leaves a space there",
         "src/buffer/out/Row.cpp, ROW::WriteCells",
         CHARS, -1, u"\u4E2D", {}, {}, READ_CELLS, 0, -1, 1,
         " ", "\u4E2D"},
        {"... and goes on at the start of the next row",
         "src/buffer/out/Row.cpp, ROW::WriteCells",
         CHARS, -1, u"\u4E2D", {}, {}, READ_CELLS, 1, 0, 2,
         "\u4E2D<\u4E2D>", "  "},
        {"a surrogate pair reads back as U+FFFD in its cells",
         "src/host/consoleInformation.cpp, AsCharInfo",
         CHARS, 0, u"\U0001F600x", {}, {}, READ_CELLS, 0, 0, 3,
         "\uFFFD<\uFFFD>x", "\xED\xA0\xBD\xED\xB8\x80x"},
        {"attributes written drop the width flags and 0x2000",
         "src/inc/conattrs.hpp, USED_META_ATTRS",
         CHARS_AND_ATTR, 0, u"ab", {0x2317, 0xC41E}, {}, READ_ATTRIBUTES, 0, 0, 2,
         "0017 C41E", "2317 C41E"},
        {"attributes written keep each cell's width flags",
         "src/buffer/out/OutputCellIterator.cpp, s_GenerateViewLegacyAttr",
         CHARS_AND_ATTR, 0, u"\u4E2D", {0x001E, 0x001E}, {}, READ_ATTRIBUTES, 0, 0, 2,
         "011E 021E", "001E 001E"},
        {"cells written with their flags come back as they were",
         "src/buffer/out/Row.cpp, ROW::WriteCells",
         CELLS, 0, nullptr, {}, {{0x4E2D, 0x0117}, {0x4E2D, 0x0217}, {u'a', 0x07}},
         READ_CELLS, 0, 0, 3,
         "\u4E2D</0017\u4E2D>/0017a", nullptr},
        {"a cell written without a flag takes one cell, whatever its width",
         "src/buffer/out/OutputCellIterator.cpp, s_GenerateView of a CHAR_INFO",
         CELLS, 0, nullptr, {}, {{0x4E2D, 0x07}, {u'a', 0x07}},
         READ_CELLS, 0, 0, 3,
         "\u4E2Da ", nullptr},
        {"... and reads back as that one character",
         "src/buffer/out/OutputCellIterator.cpp, s_GenerateView of a CHAR_INFO",
         CELLS, 0, nullptr, {}, {{0x0416, 0x07}, {0x4E2D, 0x07}, {u'a', 0x07}},
         READ_CHARS, 0, 0, 3,
         "\u0416\u4E2Da#3", nullptr},
        {"a leading cell in the last column written becomes a space",
         "src/buffer/out/Row.cpp, ROW::WriteCells",
         CELLS, 0, nullptr, {}, {{u'a', 0x07}, {0x4E2D, 0x0107}},
         READ_CELLS, 0, 0, 3,
         "a  ", "a\u4E2D< "},
        {"a trailing cell in the first column becomes a space",
         "src/buffer/out/Row.cpp, ROW::WriteCells",
         CELLS, 0, nullptr, {}, {{0x4E2D, 0x0207}, {u'a', 0x07}},
         READ_CELLS, 0, 0, 2,
         " a", "\u4E2D>a"},
        {"a leading cell followed by a plain one leaves a space",
         "src/buffer/out/Row.cpp, ROW::WriteCells and ROW::WriteHelper",
         CELLS, 0, nullptr, {}, {{0x4E2D, 0x0107}, {u'a', 0x07}, {u'b', 0x07}},
         READ_CELLS, 0, 0, 3,
         " ab", "\u4E2D<ab"},
        {"attribute 0x2000 written in a cell is dropped",
         "src/inc/conattrs.hpp, USED_META_ATTRS",
         CELLS, 0, nullptr, {}, {{u'a', 0x201F}},
         READ_CELLS, 0, 0, 1,
         "a/001F", "a/201F"},
    };
    return rows;
}
// clang-format on

} // namespace consolecells
