// restore_fuzz.cpp: glim /R on arbitrary file bytes, of either format, with
// and without /N:X, on consoles of a few shapes.
//
// Input: one control byte, then the file's bytes.
//   0x01 /N:X (the checksum is not verified)
//   0x02 /Q
//   0x04 the console is a Take Command tab window
//   0x08 moving the console window does not resize it
//   0x10 the console has no window
//   0x60 the console before the restore: 80 x 300 showing 80 x 25 (as
//        sim::Reset leaves it), 80 x 25 showing all, 132 x 60 showing
//        100 x 40, or 30 x 10 showing all
//   0x80 the console is hosted by a pseudo console (a terminal) whose
//        screen is the buffer of that shape
//
// Besides the checks of every run, the outcome is held against a model of
// the formats: a file that the model cannot read fails; a restore that
// succeeds has put the model's cells (as the console keeps them, below),
// size, cursor and attribute into the console (in a terminal: kept the
// buffer's size and window, and put the model's cells only where the sizes
// agree), shows the cursor, and played the notification unless
// quiet; a restore that fails has left the buffer's size and cells, the cursor, the attribute and
// the code pages as they were, and played nothing.
#include "fuzz/fuzzsupport.h"

#include "host/hoststate.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

struct Shape {
    int columns, rows, width, height;
};

const Shape Shapes[4] = {{80, 300, 80, 25}, {80, 25, 80, 25}, {132, 60, 100, 40}, {30, 10, 30, 10}};

void ShapeConsole(const Shape &shape) {
    if (shape.columns != 80 || shape.rows != 300) {
        sim::ConsoleResize(shape.columns, shape.rows);
    }
    sim::ConsoleState &console = sim::Console();
    console.window = SMALL_RECT{0, 0, (SHORT)(shape.width - 1), (SHORT)(shape.height - 1)};
    // The pixel size that this window has with the frame of sim::Reset's.
    int pixelWidth = 16 + console.fontWidth * shape.width + (shape.rows > shape.height ? 17 : 0);
    int pixelHeight =
        39 + console.fontHeight * shape.height + (shape.columns > shape.width ? 17 : 0);
    console.pixels = RECT{100, 100, 100 + pixelWidth, 100 + pixelHeight};
    // Something to tell apart from what a restore writes.
    sim::ConsolePutText(0, 0, u"before the restore", 0x2A);
}

// Whether the console holds the file's cells as the console keeps them:
// every cell without a width flag, and every wide character whose two
// cells are flagged leading and trailing, with its character, and its
// attribute without the bits the console drops (0x2000 and, on a cell
// without a flag, the two flags). Cells flagged otherwise (a lone half, a
// leading cell in the last column) follow the console's own rules for
// them and are not checked here.
bool RestoredAsTheConsoleKeepsThem(const fuzz::ModelScreen &model) {
    const WORD leading = 0x0100, trailing = 0x0200, dropped = 0x2000;
    const std::vector<WORD> &characters = sim::ConsoleChars();
    const std::vector<WORD> &attributes = sim::ConsoleAttrs();
    size_t columns = (size_t)model.columns;
    for (size_t i = 0; i < model.characters.size(); i++) {
        WORD flags = (WORD)(model.attributes[i] & (leading | trailing));
        bool pair = flags == leading && i % columns + 1 < columns &&
                    (model.attributes[i + 1] & (leading | trailing)) == trailing &&
                    model.characters[i + 1] == model.characters[i];
        if (flags != 0 && !pair) {
            continue;
        }
        size_t cells = pair ? 2 : 1;
        for (size_t k = i; k < i + cells; k++) {
            if (characters[k] != model.characters[k] ||
                attributes[k] != (WORD)(model.attributes[k] & ~dropped)) {
                return false;
            }
        }
        i += cells - 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return -1;
    }
    const uint8_t control = data[0];
    const bool noCrc = (control & 0x01) != 0;
    const bool quiet = (control & 0x02) != 0;
    const bool tab = (control & 0x04) != 0;
    const bool noWindow = (control & 0x10) != 0;
    const bool terminal = (control & 0x80) != 0;
    std::vector<uint8_t> file(data + 1, data + size);

    fuzz::FreshMachine();
    const Shape &shape = Shapes[(control >> 5) & 3];
    if (terminal) {
        sim::SetPseudoConsole(shape.columns, shape.rows);
        sim::ConsolePutText(0, 0, u"before the restore", 0x2A);
    } else {
        ShapeConsole(shape);
    }
    if (tab) {
        HostSetTabWindow(1);
    }
    if (control & 0x08) {
        sim::SetMoveWindowResizes(false);
    }
    if (noWindow) {
        sim::Console().hasWindow = false;
    }
    sim::MakeFile(u"C:\\f.glim", file);

    const sim::ConsoleState before = sim::Console();
    const int columnsBefore = before.columns;
    const int rowsBefore = before.rows;
    const std::vector<WORD> charactersBefore = sim::ConsoleChars();
    const std::vector<WORD> attributesBefore = sim::ConsoleAttrs();

    std::u16string tail = u"/R ";
    tail += noCrc ? u"/N:X " : u"";
    tail += quiet ? u"/Q " : u"";
    tail += u"C:\\f.glim";
    int result = fuzz::RunGlim(tail);

    fuzz::ModelScreen model = fuzz::ModelRead(file);
    bool unreadable = model.kind == 0 || (model.kind == 1 && model.version != 1) ||
                      !model.readable || (model.kind == 1 && !noCrc && !model.crcMatches);
    if (unreadable) {
        fuzz::Require(result == 2, "a file that cannot be read back was restored");
    }
    bool sameSize = model.columns == columnsBefore && model.rows == rowsBefore;
    if (noWindow || (tab && !sameSize)) {
        fuzz::Require(result != 0, "a restore succeeded where the console cannot take it");
    }

    const sim::ConsoleState &console = sim::Console();
    if (result == 0 && terminal && !sameSize) {
        fuzz::Require(console.columns == columnsBefore && console.rows == rowsBefore &&
                          std::memcmp(&console.window, &before.window, sizeof console.window) == 0,
                      "a restore in a terminal changed the buffer's size or the window");
        fuzz::Require(sim::CallCount("SetConsoleScreenBufferSize") == 0 &&
                          sim::CallCount("SetConsoleWindowInfo") == 0,
                      "a restore in a terminal asked to resize it");
    } else if (result == 0) {
        fuzz::Require(console.columns == model.columns && console.rows == model.rows,
                      "the restored buffer has another size than the file's");
        fuzz::Require(RestoredAsTheConsoleKeepsThem(model),
                      "the restored cells differ from the file's");
        fuzz::Require(console.cursorColumn == model.cursorColumn &&
                          console.cursorRow == model.cursorRow,
                      "the cursor is not where the file put it");
        fuzz::Require(console.attribute == (model.attribute & 0xFF),
                      "the attribute is not the file's");
        fuzz::Require(console.window.Top <= console.cursorRow &&
                          console.cursorRow <= console.window.Bottom &&
                          console.window.Left <= console.cursorColumn &&
                          console.cursorColumn <= console.window.Right,
                      "the restored window does not show the cursor");
        fuzz::Require(sim::Sounds().size() == (quiet ? 0u : 1u),
                      "the notification was not played as asked");
    } else {
        fuzz::Require(console.columns == columnsBefore && console.rows == rowsBefore,
                      "a failed restore changed the buffer's size");
        fuzz::Require(sim::ConsoleChars() == charactersBefore &&
                          sim::ConsoleAttrs() == attributesBefore,
                      "a failed restore changed the console's cells");
        fuzz::Require(console.cursorColumn == before.cursorColumn &&
                          console.cursorRow == before.cursorRow &&
                          console.attribute == before.attribute &&
                          console.inputCodePage == before.inputCodePage &&
                          console.outputCodePage == before.outputCodePage,
                      "a failed restore changed the cursor, the attribute or the code pages");
        fuzz::Require(sim::Sounds().empty(), "a failed restore played a sound");
    }
    fuzz::CheckAfterRun(result);
    fuzz::SettleMachine();
    return 0;
}
