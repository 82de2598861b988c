// screens.h: the screens that the benchmarks measure, built in memory as the
// console would hold them: a 120 x 9,001 buffer holding a shell session, a
// full 80 x 25 of coloured text, a 512 x 9,999 buffer without a single run,
// and a 512 x 9,999 buffer of one long run of spaces. Shared by the Linux
// benchmarks and the Windows timing program.
#pragma once

#include "common/platform.h"

#include <vector>

struct Screen {
    DWORD columns;
    DWORD rows;
    WORD headerAttribute; // the console's current attribute
    DWORD cursorColumn;   // where the shell would wait for the next command
    DWORD cursorRow;
    std::vector<WORD> ch; // rows x columns, row-major
    std::vector<WORD> at;
};

// A long shell session in the upper third of a 120 x 9,001 buffer: prompts
// in green, commands, directory listings, compiler output with the odd
// warning in yellow and error in red, and the rest of the buffer empty. The
// cursor stands after the last prompt.
Screen ShellSession();
// 80 x 25 filled to the last cell with words in changing colours.
Screen ColouredText();
// 512 x 9,999 of alternating characters and attributes: no run anywhere,
// an attribute token before every cell.
Screen NoRuns();
// 512 x 9,999 of spaces with a prompt character in the last cell: one long
// run that does not reach the end, cut into 79 tokens.
Screen LongBlank();
