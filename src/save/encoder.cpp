// encoder.cpp: the Glimpset token stream encoder. One pass over the cells:
// an attribute token before each change of attribute, runs of identical
// cells as TOKEN_SPACES (3 or more spaces) or TOKEN_RUN (4 or more of any
// other character) in pieces of at most 65,536 cells, TOKEN_BLANK_TO_END for
// blanks that reach the last cell, TOKEN_LITERAL before a lone character
// that would otherwise read as a token word.
#include "save/encoder.h"

#include "format/glimformat.h"

#include <stdint.h>
#include <string.h>

static const WORD SPACE = 0x0020;
static const WORD FIRST_ESCAPED = 0xFFF0; // from here on a lone character is escaped
static const DWORD MAX_TOKEN_CELLS = 65536;
static const DWORD MIN_SPACES_RUN = 3;
static const DWORD MIN_CHARACTER_RUN = 4;

// Counts the identical cells (character and attribute) from `start`, which
// is below `count`, looking at no more than `limit` cells.
static DWORD CountRun(const WORD *characters, const WORD *attributes, DWORD count, DWORD start,
                      DWORD limit) {
    WORD ch = characters[start];
    WORD at = attributes[start];
    DWORD end = count - start > limit ? start + limit : count;
    DWORD i = start + 1;
    // Four cells at a time while they all match: long runs (a buffer's
    // empty lower part) are most of what a screen holds. The pattern holds
    // the same word four times, so that the order of the bytes in memory
    // plays no part.
    uint64_t characterPattern = (uint64_t)ch * 0x0001000100010001ull;
    uint64_t attributePattern = (uint64_t)at * 0x0001000100010001ull;
    while (end - i >= 4) {
        uint64_t fourCharacters;
        uint64_t fourAttributes;
        memcpy(&fourCharacters, characters + i, sizeof fourCharacters);
        memcpy(&fourAttributes, attributes + i, sizeof fourAttributes);
        if (((fourCharacters ^ characterPattern) | (fourAttributes ^ attributePattern)) != 0) {
            break;
        }
        i += 4;
    }
    while (i < end && characters[i] == ch && attributes[i] == at) {
        i++;
    }
    return i - start;
}

int MeasureRun(const WORD *characters, const WORD *attributes, DWORD count, DWORD start) {
    if (start >= count) {
        return 0;
    }
    // A run of spaces is followed to its end, to learn whether it reaches
    // the last cell; for any other character one cell past the longest
    // token tells all there is to know.
    BOOL spaces = characters[start] == SPACE;
    DWORD run = CountRun(characters, attributes, count, start,
                         spaces ? count - start : MAX_TOKEN_CELLS + 1);
    if (spaces && start + run == count) {
        return -1;
    }
    return (int)(run < MAX_TOKEN_CELLS ? run : MAX_TOKEN_CELLS);
}

// PutToken with the common case inline: a word that fits in the buffer is
// stored here; a full buffer goes through PutToken, which writes the block.
static inline int Emit(WORD word, TokenBuffer *out) {
    if (out->fill < TOKEN_BUFFER_WORDS) {
        BYTE *at = (BYTE *)(out->words + out->fill);
        at[0] = (BYTE)(word & 0xFF);
        at[1] = (BYTE)(word >> 8);
        out->fill++;
        return 0;
    }
    return PutToken(word, out);
}

static inline int EmitSingle(WORD ch, TokenBuffer *out) {
    if (ch >= FIRST_ESCAPED && Emit(TOKEN_LITERAL, out) != 0) {
        return 2;
    }
    return Emit(ch, out);
}

int EncodeScreen(const WORD *characters, const WORD *attributes, DWORD count, WORD headerAttribute,
                 TokenBuffer *out) {
    // The reader starts from the low byte of the header's attribute, and so
    // must the writer, or the first cells would be restored in another
    // colour.
    WORD current = (WORD)(headerAttribute & 0xFF);
    DWORD i = 0;
    while (i < count) {
        WORD at = attributes[i];
        if (at != current) {
            if (Emit(TOKEN_ATTRIBUTE, out) != 0 || Emit(at, out) != 0) {
                return 2;
            }
            current = at;
        }
        WORD ch = characters[i];
        if (i + 1 >= count || characters[i + 1] != ch || attributes[i + 1] != at) {
            if (EmitSingle(ch, out) != 0) {
                return 2;
            }
            i++;
            continue;
        }
        // The whole run is measured once and cut into tokens here; measuring
        // again after each 65,536-cell piece would rescan long runs of
        // spaces over and over. The tokens are those that measuring at every
        // piece gives.
        DWORD run = CountRun(characters, attributes, count, i, count - i);
        if (ch == SPACE && i + run == count) {
            return Emit(TOKEN_BLANK_TO_END, out);
        }
        WORD token = ch == SPACE ? TOKEN_SPACES : TOKEN_RUN;
        DWORD least = ch == SPACE ? MIN_SPACES_RUN : MIN_CHARACTER_RUN;
        while (run >= least) {
            DWORD piece = run < MAX_TOKEN_CELLS ? run : MAX_TOKEN_CELLS;
            // 65,536 is written as 0.
            if (Emit(token, out) != 0 || Emit((WORD)(piece & 0xFFFF), out) != 0 ||
                (token == TOKEN_RUN && Emit(ch, out) != 0)) {
                return 2;
            }
            i += piece;
            run -= piece;
        }
        // What is left of the run is too short for a token.
        for (; run > 0; run--, i++) {
            if (EmitSingle(ch, out) != 0) {
                return 2;
            }
        }
    }
    return 0;
}
