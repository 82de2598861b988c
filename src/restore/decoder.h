// decoder.h: the readers of the cell data of both formats, into two cell
// arrays allocated by the caller at full size.
#pragma once

#include "format/wordstream.h"

enum DecodeResult {
    DECODE_OK = 0,
    DECODE_EARLY_END = 1, // the data ended before the last cell
    DECODE_FAILED = 2,    // a read failed
};

// Glimpset token stream; the current attribute starts at `headerAttribute`.
// Stops at the last cell or at TOKEN_BLANK_TO_END; reads nothing after.
DecodeResult DecodeGlimpset(WordReader *reader, WORD headerAttribute, WORD *characters,
                            WORD *attributes, DWORD count);
// SAVECON word pairs (character, attribute). An early end is normal: the
// cell whose attribute is missing and every later one get `savedAttribute`
// (later ones as spaces). Only a failed read fails.
DecodeResult DecodeSavecon(WordReader *reader, WORD savedAttribute, WORD *characters,
                           WORD *attributes, DWORD count);
