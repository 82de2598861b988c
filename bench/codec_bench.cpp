// codec_bench.cpp: cells per second and bytes per cell of the token stream
// encoder, the decoder and the screen checksum, over three screens: a
// 120 x 9,001 buffer holding a shell session, a full 80 x 25 of coloured
// text, and a 512 x 9,999 buffer without a single run (the encoder also over
// one long run of spaces).
#include "format/glimformat.h"
#include "restore/decoder.h"
#include "save/encoder.h"

#include <benchmark/benchmark.h>

#include <stdio.h>
#include <string.h>
#include <vector>

namespace {

struct Screen {
    DWORD columns;
    DWORD rows;
    WORD headerAttribute;
    std::vector<WORD> ch;
    std::vector<WORD> at;
};

const char PROMPT[] = "C:\\Users\\dev\\src\\glimpset>";

// Writes a line of text at a row, the rest of the row left as it was.
void PutLine(Screen &s, DWORD row, const char *text, WORD attribute) {
    for (DWORD i = 0; text[i] != 0 && i < s.columns; i++) {
        s.ch[row * s.columns + i] = (WORD)(unsigned char)text[i];
        s.at[row * s.columns + i] = attribute;
    }
}

// A long shell session in the upper third of a 120 x 9,001 buffer: prompts
// in green, commands, directory listings, compiler output with the odd
// warning in yellow and error in red, and the rest of the buffer empty.
Screen ShellSession() {
    Screen s = {120, 9001, 0x07, {}, {}};
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
    return s;
}

// 80 x 25 filled to the last cell with words in changing colours.
Screen ColouredText() {
    Screen s = {80, 25, 0x07, {}, {}};
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

// 512 x 9,999 of alternating characters and attributes: no run anywhere,
// an attribute token before every cell.
Screen NoRuns() {
    Screen s = {512, 9999, 0x07, {}, {}};
    for (DWORD i = 0; i < s.columns * s.rows; i++) {
        s.ch.push_back(i % 2 ? 'a' : 'b');
        s.at.push_back(i % 2 ? 0x07 : 0x1F);
    }
    return s;
}

// 512 x 9,999 of spaces with a prompt character in the last cell: one long
// run that does not reach the end, cut into 79 tokens.
Screen LongBlank() {
    Screen s = {512, 9999, 0x07, {}, {}};
    s.ch.assign(s.columns * s.rows, 0x20);
    s.at.assign(s.columns * s.rows, 0x07);
    s.ch.back() = '>';
    return s;
}

const Screen &Shell() {
    static const Screen screen = ShellSession();
    return screen;
}
const Screen &Coloured() {
    static const Screen screen = ColouredText();
    return screen;
}
const Screen &Worst() {
    static const Screen screen = NoRuns();
    return screen;
}
const Screen &Blank() {
    static const Screen screen = LongBlank();
    return screen;
}

// The encoder's blocks are counted, not kept: the file is not what is
// measured.
BOOL CountingWriter(void *context, const void *data, DWORD size) {
    (void)data;
    *(unsigned long long *)context += size;
    return TRUE;
}

unsigned long long EncodeOnce(const Screen &s, std::vector<WORD> &tokens) {
    unsigned long long bytes = 0;
    TokenBuffer out = {tokens.data(), 0, CountingWriter, &bytes};
    EncodeScreen(s.ch.data(), s.at.data(), s.columns * s.rows, s.headerAttribute, &out);
    FlushTokens(&out);
    return bytes;
}

void Report(benchmark::State &state, const Screen &s, unsigned long long streamBytes) {
    DWORD cells = s.columns * s.rows;
    state.SetItemsProcessed((int64_t)state.iterations() * cells);
    state.counters["bytes_per_cell"] = (double)streamBytes / cells;
}

void BM_Encode(benchmark::State &state, const Screen &(*screen)()) {
    const Screen &s = screen();
    std::vector<WORD> tokens(TOKEN_BUFFER_WORDS);
    unsigned long long bytes = 0;
    for (auto _ : state) {
        bytes = EncodeOnce(s, tokens);
        benchmark::DoNotOptimize(bytes);
    }
    Report(state, s, bytes);
}

// What the save does with the cells: checksum, then encode.
void BM_CrcAndEncode(benchmark::State &state, const Screen &(*screen)()) {
    const Screen &s = screen();
    std::vector<WORD> tokens(TOKEN_BUFFER_WORDS);
    unsigned long long bytes = 0;
    for (auto _ : state) {
        DWORD crc = ScreenCrc32(s.ch.data(), s.at.data(), s.columns * s.rows);
        benchmark::DoNotOptimize(crc);
        bytes = EncodeOnce(s, tokens);
        benchmark::DoNotOptimize(bytes);
    }
    Report(state, s, bytes);
}

void BM_Decode(benchmark::State &state, const Screen &(*screen)()) {
    const Screen &s = screen();
    DWORD cells = s.columns * s.rows;
    std::vector<BYTE> file(8 * (size_t)cells + 2);
    MemoryStream out = {file.data(), 0, (DWORD)file.size(), 0};
    std::vector<WORD> tokens(TOKEN_BUFFER_WORDS);
    TokenBuffer buffer = {tokens.data(), 0, MemoryBlockWriter, &out};
    EncodeScreen(s.ch.data(), s.at.data(), cells, s.headerAttribute, &buffer);
    FlushTokens(&buffer);
    std::vector<BYTE> readBuffer(READ_BUFFER_BYTES);
    std::vector<WORD> ch(cells);
    std::vector<WORD> at(cells);
    for (auto _ : state) {
        MemoryStream in = {file.data(), out.size, 0, 0};
        WordReader reader = {readBuffer.data(), 0, 0, MemoryBlockReader, &in};
        DecodeResult result =
            DecodeGlimpset(&reader, s.headerAttribute, ch.data(), at.data(), cells);
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    if (ch != s.ch || at != s.at) {
        state.SkipWithError("decoded screen differs");
    }
    Report(state, s, out.size);
}

void BM_Crc(benchmark::State &state, const Screen &(*screen)()) {
    const Screen &s = screen();
    for (auto _ : state) {
        DWORD crc = ScreenCrc32(s.ch.data(), s.at.data(), s.columns * s.rows);
        benchmark::DoNotOptimize(crc);
    }
    Report(state, s, 4ull * s.columns * s.rows);
}

} // namespace

BENCHMARK_CAPTURE(BM_Encode, shell_120x9001, Shell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, coloured_80x25, Coloured)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Encode, worst_512x9999, Worst)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, blank_512x9999, Blank)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CrcAndEncode, shell_120x9001, Shell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CrcAndEncode, coloured_80x25, Coloured)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CrcAndEncode, worst_512x9999, Worst)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, shell_120x9001, Shell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, coloured_80x25, Coloured)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Decode, worst_512x9999, Worst)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Crc, shell_120x9001, Shell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Crc, coloured_80x25, Coloured)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Crc, worst_512x9999, Worst)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
