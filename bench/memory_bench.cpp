// memory_bench.cpp: the peak memory of a save and of a restore of a whole
// console, measured in the simulated machine by its allocation counters,
// against what the operations may hold: the two cell arrays (4 bytes a
// cell) and one 16,384-byte buffer (the save's token buffer, the restore's
// read buffer), besides the last-name store that lives between commands.
// Also the time each takes there, where the console and the files are
// memory: the plugin's own work with next to no cost of the machine.
#include "bench/screens.h"
#include "command/options.h"
#include "common/text.h"
#include "format/wordstream.h"
#include "host/hoststate.h"
#include "plugin/lastname.h"
#include "restore/restore.h"
#include "save/save.h"
#include "winsim/sim.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

const WCHAR FILE_NAME[] = TEXT("C:\\screen.glim");

const Screen &Shell() {
    static const Screen screen = ShellSession();
    return screen;
}
const Screen &Worst() {
    static const Screen screen = NoRuns();
    return screen;
}

// A fresh machine and host whose console holds the screen, the window's 25
// rows ending at the cursor's row as a shell leaves them.
void LoadConsole(const Screen &s) {
    sim::Reset();
    HostResetState();
    FreeLastName();
    sim::ConsoleResize((int)s.columns, (int)s.rows);
    sim::ConsoleChars() = s.ch;
    sim::ConsoleAttrs() = s.at;
    sim::ConsoleState &console = sim::Console();
    console.attribute = s.headerAttribute;
    console.cursorColumn = (int)s.cursorColumn;
    console.cursorRow = (int)s.cursorRow;
    int height = std::min<int>(25, (int)s.rows);
    int top = std::max<int>(0, (int)s.cursorRow - height + 1);
    console.window = {0, (SHORT)top, (SHORT)(s.columns - 1), (SHORT)(top + height - 1)};
}

// What the operation may hold at once: the cell arrays, one buffer of
// 16,384 bytes, and whatever lived before it began (the last-name store).
void ReportPeak(benchmark::State &state, const Screen &s, uint64_t held, uint64_t peak) {
    DWORD cells = s.columns * s.rows;
    uint64_t allowance = 4ull * cells + READ_BUFFER_BYTES + held;
    state.SetItemsProcessed((int64_t)state.iterations() * cells);
    state.counters["peak_bytes"] = (double)peak;
    state.counters["allowance_bytes"] = (double)allowance;
    state.counters["over_allowance_bytes"] = (double)peak - (double)allowance;
    state.counters["peak_bytes_per_cell"] = (double)peak / cells;
}

// SaveScreen into a file of its own each time (the last one removed unseen),
// or, with /O, over the file of the last iteration.
void BM_SavePeak(benchmark::State &state, const Screen &(*screen)(), DWORD modeFlags) {
    const Screen &s = screen();
    LoadConsole(s);
    WCHAR *path = new WCHAR[PATH_CAPACITY];
    uint64_t held = 0;
    uint64_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if ((modeFlags & MODE_OVERWRITE) == 0) {
            DeleteFileW(FILE_NAME);
        }
        TextCopy(path, PATH_CAPACITY, FILE_NAME);
        held = sim::LiveBytes();
        sim::ResetPeak();
        state.ResumeTiming();
        int result = SaveScreen(path, modeFlags | MODE_QUIET);
        if (result != 0) {
            state.SkipWithError("the save failed");
            break;
        }
        peak = std::max(peak, sim::PeakBytes());
    }
    ReportPeak(state, s, held, peak);
    state.counters["file_bytes"] = (double)sim::FileBytes(sim::U16("C:\\screen.glim")).size();
    delete[] path;
}

// RestoreScreen of a file saved from the screen, into a console that shows
// something else each time.
void BM_RestorePeak(benchmark::State &state, const Screen &(*screen)()) {
    const Screen &s = screen();
    LoadConsole(s);
    WCHAR *path = new WCHAR[PATH_CAPACITY];
    TextCopy(path, PATH_CAPACITY, FILE_NAME);
    DeleteFileW(FILE_NAME);
    if (SaveScreen(path, MODE_QUIET) != 0) {
        state.SkipWithError("the save failed");
    }
    uint64_t held = 0;
    uint64_t peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::fill(sim::ConsoleChars().begin(), sim::ConsoleChars().end(), (WORD)'x');
        std::fill(sim::ConsoleAttrs().begin(), sim::ConsoleAttrs().end(), (WORD)0x1F);
        held = sim::LiveBytes();
        sim::ResetPeak();
        state.ResumeTiming();
        int result = RestoreScreen(path, MODE_QUIET);
        if (result != 0) {
            state.SkipWithError("the restore failed");
            break;
        }
        peak = std::max(peak, sim::PeakBytes());
    }
    if (sim::ConsoleChars() != s.ch || sim::ConsoleAttrs() != s.at) {
        state.SkipWithError("the restored screen differs");
    }
    ReportPeak(state, s, held, peak);
    delete[] path;
}

} // namespace

BENCHMARK_CAPTURE(BM_SavePeak, shell_120x9001, Shell, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SavePeak, shell_120x9001_replace, Shell, MODE_OVERWRITE)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SavePeak, worst_512x9999, Worst, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestorePeak, shell_120x9001, Shell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RestorePeak, worst_512x9999, Worst)->Unit(benchmark::kMillisecond);
