// tokenizer.h: the splitting of a command tail into arguments, kept in the
// global ArgTable until the next command. Blanks separate arguments, double
// quotes protect blanks, glued options (/O/Q) come apart, and an address
// with a scheme (http://...) keeps its slashes.
#pragma once

#include "common/platform.h"

enum {
    MAX_ARG_LEN = 8192, // characters of argument text, terminators included
    MAX_ARGS = 1024,
};

struct ArgumentTable {
    int count;
    WCHAR *args[MAX_ARGS]; // start of each argument in `text`; null past count
    int lengths[MAX_ARGS]; // length after trailing white space is removed
    WCHAR text[MAX_ARG_LEN];
};

extern ArgumentTable ArgTable;

// Splits `tail` into ArgTable. Returns the count (0 to 1,024); -1 when the
// tail is absent (table unchanged), and -1 after a full text buffer or a
// 1,025th argument (its message has been written; the count is 0).
// Allocates nothing.
int TokenizeArguments(const WCHAR *tail);
