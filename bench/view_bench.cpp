// view_bench.cpp: glimview's comparison of two saved screens against the
// loading of them, over the largest buffer (512 x 9,999 without a single
// run) and the shell session: loading one file, comparing two loaded
// screens that are the same, and comparing two that differ in one cell of
// every row (each row then listed). A comparison should cost about what
// loading the two files costs.
#include "bench/screens.h"
#include "format/glimformat.h"
#include "glimview/glimview.h"
#include "save/encoder.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// The Glimpset file of a screen, as a save writes it.
std::vector<BYTE> FileOf(const Screen &s) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    info.dwSize = {(SHORT)s.columns, (SHORT)s.rows};
    info.dwCursorPosition = {(SHORT)s.cursorColumn, (SHORT)s.cursorRow};
    info.wAttributes = s.headerAttribute;
    info.srWindow = {0, 0, (SHORT)(s.columns - 1), 24};
    GlimpsetHeader header;
    FillGlimpsetHeader(&header, nullptr, 0, &info, 437, 437, nullptr);
    DWORD count = s.columns * s.rows;
    header.crc = ScreenCrc32(s.ch.data(), s.at.data(), count);
    std::vector<BYTE> stream((size_t)count * 8 + 64);
    MemoryStream memory = {stream.data(), 0, (DWORD)stream.size(), 0};
    std::vector<WORD> words(TOKEN_BUFFER_WORDS);
    TokenBuffer tokens = {words.data(), 0, MemoryBlockWriter, &memory};
    EncodeScreen(s.ch.data(), s.at.data(), count, (WORD)(s.headerAttribute & 0xFF), &tokens);
    FlushTokens(&tokens);
    std::vector<BYTE> bytes(HEADER_SIZE + (size_t)memory.size);
    memcpy(bytes.data(), &header, HEADER_SIZE);
    memcpy(bytes.data() + HEADER_SIZE, stream.data(), memory.size);
    return bytes;
}

// The same screen with one cell of every row another character.
Screen EveryRowChanged(Screen s) {
    for (DWORD row = 0; row < s.rows; row++) {
        s.ch[row * s.columns + row % s.columns] = '#';
    }
    return s;
}

const std::vector<BYTE> &Largest() {
    static const std::vector<BYTE> bytes = FileOf(NoRuns());
    return bytes;
}
const std::vector<BYTE> &LargestChanged() {
    static const std::vector<BYTE> bytes = FileOf(EveryRowChanged(NoRuns()));
    return bytes;
}
const std::vector<BYTE> &Shell() {
    static const std::vector<BYTE> bytes = FileOf(ShellSession());
    return bytes;
}
const std::vector<BYTE> &ShellChanged() {
    static const std::vector<BYTE> bytes = FileOf(EveryRowChanged(ShellSession()));
    return bytes;
}

// The listing is counted, not kept.
BOOL CountingWriter(void *context, const BYTE *, DWORD size) {
    *(unsigned long long *)context += size;
    return TRUE;
}

void BM_Load(benchmark::State &state, const std::vector<BYTE> &(*file)()) {
    const std::vector<BYTE> &bytes = file();
    DWORD cells = 0;
    for (auto _ : state) {
        ViewScreen screen;
        LoadScreen(bytes.data(), (DWORD)bytes.size(), &screen);
        cells = screen.count;
        FreeScreen(&screen);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * cells);
}

void BM_Diff(benchmark::State &state, const std::vector<BYTE> &(*older)(),
             const std::vector<BYTE> &(*newer)()) {
    static ViewSink sink;
    ViewScreen one;
    ViewScreen two;
    DiffOptions options = {};
    ViewDiff diff;
    unsigned long long bytes = 0;
    LoadScreen(older().data(), (DWORD)older().size(), &one);
    LoadScreen(newer().data(), (DWORD)newer().size(), &two);
    SinkInit(&sink, CountingWriter, &bytes);
    for (auto _ : state) {
        PrepareDiff(&one, &two, &options, &diff);
        benchmark::DoNotOptimize(RenderDiffListing(&diff, FALSE, "old.glim", "new.glim", &sink));
        SinkFlush(&sink);
    }
    state.SetItemsProcessed((int64_t)state.iterations() * one.count);
    state.counters["listing_bytes"] = (double)bytes / (double)state.iterations();
    FreeScreen(&one);
    FreeScreen(&two);
}

BENCHMARK_CAPTURE(BM_Load, largest_512x9999, Largest)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Diff, largest_same, Largest, Largest)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Diff, largest_every_row_differs, Largest, LargestChanged)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Load, shell_120x9001, Shell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Diff, shell_same, Shell, Shell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Diff, shell_every_row_differs, Shell, ShellChanged)
    ->Unit(benchmark::kMillisecond);

} // namespace
