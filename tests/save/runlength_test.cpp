// Tests of run measuring over every short length, start and kind of end:
// runs are compared several cells at a time, so a run may end at any cell
// of such a group, by its character or by its attribute alone.
#include "save/encoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const WORD SP = 0x0020;

enum RunEnd {
    END_OTHER_CHARACTER,
    END_OTHER_LOW_ATTRIBUTE,  // the colours differ
    END_OTHER_HIGH_ATTRIBUTE, // only the flags of the high byte differ
    END_OF_BUFFER,
};

struct Cells {
    std::vector<WORD> ch;
    std::vector<WORD> at;
};

// `lead` cells of another kind, the run of `length` cells of `ch` in 0x07,
// then the end that the case asks for and a few cells more.
Cells MakeRun(DWORD lead, DWORD length, WORD ch, RunEnd end) {
    Cells cells;
    cells.ch.assign(lead, 'z');
    cells.at.assign(lead, 0x1F);
    cells.ch.insert(cells.ch.end(), length, ch);
    cells.at.insert(cells.at.end(), length, 0x07);
    if (end == END_OF_BUFFER) {
        return cells;
    }
    WORD otherCh = end == END_OTHER_CHARACTER ? (WORD)(ch + 1) : ch;
    WORD otherAt = end == END_OTHER_LOW_ATTRIBUTE    ? 0x08
                   : end == END_OTHER_HIGH_ATTRIBUTE ? 0x8007
                                                     : 0x07;
    cells.ch.insert(cells.ch.end(), 5, otherCh);
    cells.at.insert(cells.at.end(), 5, otherAt);
    return cells;
}

TEST(MeasureRun, CountsEveryShortRunWhereverItStartsAndHoweverItEnds) {
    const WORD characters[] = {'a', SP};
    const RunEnd ends[] = {END_OTHER_CHARACTER, END_OTHER_LOW_ATTRIBUTE, END_OTHER_HIGH_ATTRIBUTE,
                           END_OF_BUFFER};
    for (WORD ch : characters) {
        for (RunEnd end : ends) {
            for (DWORD lead = 0; lead < 4; lead++) {
                for (DWORD length = 1; length <= 13; length++) {
                    Cells c = MakeRun(lead, length, ch, end);
                    int expected = ch == SP && end == END_OF_BUFFER ? -1 : (int)length;
                    EXPECT_EQ(expected,
                              MeasureRun(c.ch.data(), c.at.data(), (DWORD)c.ch.size(), lead))
                        << "character " << ch << ", end " << end << ", lead " << lead << ", length "
                        << length;
                }
            }
        }
    }
}

TEST(MeasureRun, CapsLongRunsWhereverTheyStart) {
    const WORD characters[] = {'a', SP};
    for (WORD ch : characters) {
        for (DWORD lead = 0; lead < 4; lead++) {
            for (DWORD length = 65535; length <= 65541; length++) {
                Cells c = MakeRun(lead, length, ch, END_OTHER_CHARACTER);
                int expected = length < 65536 ? (int)length : 65536;
                EXPECT_EQ(expected, MeasureRun(c.ch.data(), c.at.data(), (DWORD)c.ch.size(), lead))
                    << "character " << ch << ", lead " << lead << ", length " << length;
            }
        }
    }
}

} // namespace
