// decoder.cpp: the readers of the cell data of both accepted formats, the
// Glimpset token stream and the SAVECON cell pairs, into two cell arrays
// that the caller has allocated at full size. Nothing is allocated here, and
// nothing is read past the point where the screen is complete.
#include "restore/decoder.h"

#include "format/glimformat.h"

static const WORD SPACE = 0x0020;
static const DWORD MAX_TOKEN_CELLS = 65536; // what a count of 0 stands for

// ReadWord with the common case inline: a word still in the buffer is taken
// here; an empty buffer goes through ReadWord, which refills it.
static inline WordResult NextWord(WordReader *reader, WORD *word) {
    if (reader->next < reader->words) {
        const BYTE *at = reader->buffer + 2 * reader->next;
        *word = (WORD)(at[0] | (at[1] << 8));
        reader->next++;
        return WORD_OK;
    }
    return ReadWord(reader, word);
}

static inline DecodeResult Failure(WordResult result) {
    return result == WORD_END ? DECODE_EARLY_END : DECODE_FAILED;
}

static void FillCells(WORD *characters, WORD *attributes, DWORD from, DWORD cells, WORD ch,
                      WORD at) {
    for (DWORD i = from; i < from + cells; i++) {
        characters[i] = ch;
        attributes[i] = at;
    }
}

DecodeResult DecodeGlimpset(WordReader *reader, WORD headerAttribute, WORD *characters,
                            WORD *attributes, DWORD count) {
    // The stream's first attribute is the low byte of the header's field.
    WORD current = (WORD)(headerAttribute & 0xFF);
    DWORD i = 0;
    while (i < count) {
        WORD word = 0;
        WORD operand = 0;
        WordResult got = NextWord(reader, &word);
        if (got != WORD_OK) {
            return Failure(got);
        }
        switch (word) {
        case TOKEN_RUN:
        case TOKEN_SPACES: {
            got = NextWord(reader, &operand);
            if (got != WORD_OK) {
                return Failure(got);
            }
            DWORD cells = operand == 0 ? MAX_TOKEN_CELLS : operand;
            WORD ch = SPACE;
            if (word == TOKEN_RUN) {
                got = NextWord(reader, &ch);
                if (got != WORD_OK) {
                    return Failure(got);
                }
            }
            // Cells beyond the last one are dropped.
            if (cells > count - i) {
                cells = count - i;
            }
            FillCells(characters, attributes, i, cells, ch, current);
            i += cells;
            break;
        }
        case TOKEN_LITERAL:
            got = NextWord(reader, &operand);
            if (got != WORD_OK) {
                return Failure(got);
            }
            characters[i] = operand;
            attributes[i] = current;
            i++;
            break;
        case TOKEN_ATTRIBUTE:
            got = NextWord(reader, &operand);
            if (got != WORD_OK) {
                return Failure(got);
            }
            current = operand;
            break;
        case TOKEN_BLANK_TO_END:
            FillCells(characters, attributes, i, count - i, SPACE, current);
            return DECODE_OK;
        default:
            characters[i] = word;
            attributes[i] = current;
            i++;
            break;
        }
    }
    return DECODE_OK;
}

DecodeResult DecodeSavecon(WordReader *reader, WORD savedAttribute, WORD *characters,
                           WORD *attributes, DWORD count) {
    for (DWORD i = 0; i < count; i++) {
        WORD ch = 0;
        WORD at = 0;
        WordResult got = NextWord(reader, &ch);
        if (got == WORD_FAILED) {
            return DECODE_FAILED;
        }
        if (got == WORD_END) {
            FillCells(characters, attributes, i, count - i, SPACE, savedAttribute);
            return DECODE_OK;
        }
        characters[i] = ch;
        got = NextWord(reader, &at);
        if (got == WORD_FAILED) {
            return DECODE_FAILED;
        }
        if (got == WORD_END) {
            // The cell whose attribute is missing keeps its character.
            attributes[i] = savedAttribute;
            FillCells(characters, attributes, i + 1, count - i - 1, SPACE, savedAttribute);
            return DECODE_OK;
        }
        attributes[i] = at;
    }
    return DECODE_OK;
}
