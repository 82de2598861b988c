// screens.cpp: the screens that the benchmarks measure (see screens.h).
#include "bench/screens.h"

#include <stdio.h>
#include <string.h>

namespace {

const char PROMPT[] = "C:\\Users\\dev\\src\\glimpset>";

// Writes a line of text at a row, the rest of the row left as it was.
void PutLine(Screen &s, DWORD row, const char *text, WORD attribute) {
    for (DWORD i = 0; text[i] != 0 && i < s.columns; i++) {
        s.ch[row * s.columns + i] = (WORD)(unsigned char)text[i];
        s.at[row * s.columns + i] = attribute;
    }
}

} // namespace

Screen ShellSession() {
    Screen s = {120, 9001, 0x07, 0, 0, {}, {}};
    s.ch.assign(s.columns * s.rows, 0x20);
    s.at.assign(s.columns * s.rows, 0x07);
    const char *files[] = {"main.cpp",       "encoder.cpp", "decoder.cpp",    "glimformat.h",
                           "CMakeLists.txt", "README.md",   "wordstream.cpp", "build"};
    char line[200];
    DWORD row = 0;
    for (int command = 0; row < 3000; command++) {
        const char *verbs[] = {"dir /o", "cl /W4 /c src\\save\\encoder.cpp", "git status",
                               "type notes.txt"};
        snprintf(line, sizeof line, "%s%s", PROMPT, verbs[command % 4]);
        PutLine(s, row, line, 0x07);
        PutLine(s, row++, PROMPT, 0x0A);
        int lines = 5 + command % 23;
        for (int i = 0; i < lines && row < 3000; i++, row++) {
            switch (command % 4) {
            case 0:
                snprintf(line, sizeof line, "2024-06-%02d  %02d:%02d    %s %9d %s", 1 + i % 28,
                         i % 24, (i * 7) % 60, i % 5 == 0 ? "<DIR>    " : "         ",
                         1000 + i * 977, files[i % 8]);
                PutLine(s, row, line, 0x07);
                break;
            case 1:
                if (i % 7 == 3) {
                    snprintf(line, sizeof line,
                             "src\\save\\encoder.cpp(%d,%d): warning C4244: conversion from "
                             "'DWORD' to 'WORD', possible loss of data",
                             100 + i, 5 + i % 30);
                    PutLine(s, row, line, 0x0E);
                } else if (i % 11 == 5) {
                    snprintf(line, sizeof line,
                             "src\\save\\encoder.cpp(%d,1): error C2065: 'count': undeclared "
                             "identifier",
                             200 + i);
                    PutLine(s, row, line, 0x0C);
                } else {
                    snprintf(line, sizeof line, "encoder.cpp");
                    PutLine(s, row, line, 0x07);
                }
                break;
            case 2:
                snprintf(line, sizeof line, "\tmodified:   src/%s", files[i % 8]);
                PutLine(s, row, line, 0x0C);
                break;
            default:
                snprintf(line, sizeof line, "%.*s", 10 + (i * 13) % 100,
                         "The quick brown fox jumps over the lazy dog while the compiler "
                         "complains about conversions and the tests keep passing regardless.");
                PutLine(s, row, line, 0x07);
                break;
            }
        }
        row++; // a blank line before the next prompt
    }
    PutLine(s, row, PROMPT, 0x0A);
    s.cursorColumn = (DWORD)strlen(PROMPT);
    s.cursorRow = row;
    return s;
}

Screen ColouredText() {
    Screen s = {80, 25, 0x07, 0, 24, {}, {}};
    const char *text = "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod "
                       "tempor incididunt ut labore et dolore magna aliqua. ";
    size_t length = strlen(text);
    WORD attribute = 0x07;
    for (DWORD i = 0; i < s.columns * s.rows; i++) {
        char c = text[i % length];
        if (c == ' ') {
            attribute = (WORD)(0x01 + (i * 5) % 15 + ((i / 80) % 2 ? 0x10 : 0));
        }
        s.ch.push_back((WORD)(unsigned char)c);
        s.at.push_back(attribute);
    }
    return s;
}

Screen NoRuns() {
    Screen s = {512, 9999, 0x07, 0, 9998, {}, {}};
    for (DWORD i = 0; i < s.columns * s.rows; i++) {
        s.ch.push_back(i % 2 ? 'a' : 'b');
        s.at.push_back(i % 2 ? 0x07 : 0x1F);
    }
    return s;
}

Screen LongBlank() {
    Screen s = {512, 9999, 0x07, 511, 9998, {}, {}};
    s.ch.assign(s.columns * s.rows, 0x20);
    s.at.assign(s.columns * s.rows, 0x07);
    s.ch.back() = '>';
    return s;
}
