// charclass.h: the two character classes of the command line, white space
// and letter, used by the argument tokenizer and by the trimming of system
// error texts. Up to U+00FF they are fixed; above it they come from the
// system's character-type table (CT_CTYPE1). U+FFFF is in neither class.
#pragma once

#include "common/platform.h"

// Non-zero for U+0009..U+000D, U+0020, U+00A0, and above U+00FF for what
// the system classes C1_SPACE.
int IsWhiteSpace(WCHAR ch);
// Non-zero for A-Z, a-z, U+00C0..U+00D6, U+00D8..U+00F6, U+00F8..U+00FF,
// and above U+00FF for what the system classes C1_ALPHA, C1_UPPER or C1_LOWER.
int IsLetter(WCHAR ch);
