// tokenizer.cpp: splits a command tail into the global ArgTable. One pass
// over the tail, at most two characters of look-ahead and one of
// look-behind; the table is static, so splitting never allocates.
#include "common/tokenizer.h"

#include "common/charclass.h"
#include "common/errors.h"
#include "plugin/host.h"

static const WCHAR OverflowMessage[] = TEXT("Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n");
static const WCHAR TooManyMessage[] = TEXT("Too many arguments: more than %d\r\n");

ArgumentTable ArgTable;

struct ScanState {
    int argIndex;  // the current argument
    int b;         // next free position in ArgTable.text
    int argLength; // characters stored for the current argument
    bool inQuotes;
    bool addressMark; // the current argument holds a scheme's "://"
};

static void ClearTable(void) {
    ArgTable.count = 0;
    for (int i = 0; i < MAX_ARGS; i++) {
        ArgTable.args[i] = nullptr;
        ArgTable.lengths[i] = 0;
    }
    ArgTable.text[0] = 0;
}

// Stores one character of the current argument. Returns 0, or -1 after its
// message when the text buffer is full or the character would begin an
// argument past the last slot: an argument is never lost without a word.
static int StoreCharacter(ScanState *state, WCHAR ch) {
    if (state->b >= MAX_ARG_LEN - 1) {
        ReportErrorPrefix();
        Qprintf(GetStdHandle(STD_ERROR_HANDLE), OverflowMessage, state->b, (int)MAX_ARG_LEN);
        return -1;
    }
    if (state->argIndex >= MAX_ARGS) {
        ReportErrorPrefix();
        Qprintf(GetStdHandle(STD_ERROR_HANDLE), TooManyMessage, (int)MAX_ARGS);
        return -1;
    }
    if (state->argLength == 0) {
        ArgTable.args[state->argIndex] = &ArgTable.text[state->b];
    }
    state->argLength++;
    ArgTable.lengths[state->argIndex] = state->argLength;
    ArgTable.text[state->b] = ch;
    state->b++;
    ArgTable.text[state->b] = 0;
    return 0;
}

// Moves on to the next argument, leaving the terminator of the closed one
// behind it.
static void NextArgument(ScanState *state) {
    state->argIndex++;
    state->b++;
    state->argLength = 0;
    if (state->b < MAX_ARG_LEN) {
        ArgTable.text[state->b] = 0;
    }
}

// A colon that begins a scheme's "://" (a letter before it, two slashes
// after it) inside an argument.
static bool IsAddressColon(const WCHAR *tail, int at, const ScanState *state) {
    return state->argLength > 0 && IsLetter(tail[at - 1]) && tail[at + 1] == '/' &&
           tail[at + 2] == '/';
}

// A slash that starts a new option glued to the current one (/O/Q).
static bool IsGluedOption(const ScanState *state) {
    return !state->inQuotes && !state->addressMark && state->argLength >= 2 &&
           state->argIndex < MAX_ARGS && ArgTable.args[state->argIndex][0] == '/';
}

// Removes the white space that quotes left at the end of each argument.
static void TrimArguments(int count) {
    for (int i = 0; i < count; i++) {
        WCHAR *arg = ArgTable.args[i];
        while (ArgTable.lengths[i] > 0 && IsWhiteSpace(arg[ArgTable.lengths[i] - 1])) {
            ArgTable.lengths[i]--;
            arg[ArgTable.lengths[i]] = 0;
        }
    }
}

int TokenizeArguments(const WCHAR *tail) {
    if (tail == nullptr) {
        return -1;
    }
    ClearTable();
    ScanState state = {0, 0, 0, false, false};
    int stored = 0;
    for (int i = 0;; i++) {
        WCHAR ch = tail[i];
        bool white = IsWhiteSpace(ch) != 0;
        if (ch == '"') {
            state.inQuotes = !state.inQuotes;
        } else if (white && state.argLength == 0 && !state.inQuotes) {
            // Blanks before an argument vanish.
        } else if (white && !state.inQuotes) {
            NextArgument(&state);
            state.inQuotes = false;
            state.addressMark = false;
        } else if (white) {
            stored = StoreCharacter(&state, ch);
        } else if (ch == ':') {
            if (IsAddressColon(tail, i, &state)) {
                state.addressMark = true;
            }
            stored = StoreCharacter(&state, ch);
        } else if (ch == '/' && IsGluedOption(&state)) {
            NextArgument(&state);
            stored = StoreCharacter(&state, ch);
        } else if (ch == 0) {
            if (state.argLength > 0) {
                state.argIndex++;
            }
            break;
        } else {
            stored = StoreCharacter(&state, ch);
        }
        if (stored < 0) {
            // No half-split table is left behind for the next reader.
            ClearTable();
            return -1;
        }
    }
    TrimArguments(state.argIndex);
    ArgTable.count = state.argIndex;
    return ArgTable.count;
}
