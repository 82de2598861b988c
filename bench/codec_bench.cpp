// codec_bench.cpp: cells per second and bytes per cell of the token stream
// encoder, the decoder and the screen checksum, over three screens: a
// 120 x 9,001 buffer holding a shell session, a full 80 x 25 of coloured
// text, and a 512 x 9,999 buffer without a single run (the encoder also over
// one long run of spaces).
#include "bench/screens.h"
#include "format/glimformat.h"
#include "restore/decoder.h"
#include "save/encoder.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

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
