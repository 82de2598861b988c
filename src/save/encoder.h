// encoder.h: the Glimpset token stream encoder. One pass over the cells,
// attribute tokens before each change, runs as TOKEN_SPACES (3 or more) or
// TOKEN_RUN (4 or more), at most 65,536 cells a token, TOKEN_BLANK_TO_END
// for blanks that reach the last cell, TOKEN_LITERAL for lone characters
// from 0xFFF0.
#pragma once

#include "format/wordstream.h"

// Length of the run of identical cells (character and attribute) from
// `start`: -1 when it is of spaces and reaches the last cell, otherwise at
// most 65,536.
int MeasureRun(const WORD *characters, const WORD *attributes, DWORD count, DWORD start);

// Encodes `count` cells through PutToken, the current attribute starting at
// `headerAttribute`. Words that remain in the buffer are left for the
// caller's FlushTokens. Returns 0, or 2 when a block write failed.
int EncodeScreen(const WORD *characters, const WORD *attributes, DWORD count, WORD headerAttribute,
                 TokenBuffer *out);
