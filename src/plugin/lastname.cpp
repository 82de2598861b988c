// lastname.cpp: the last-name store behind _lastglim, a text on the process
// heap or nothing.
#include "plugin/lastname.h"

#include "common/memory.h"
#include "common/text.h"

static const WCHAR ErrorValue[] = TEXT("*ERROR*");

WCHAR *LastName = nullptr;

int SetLastName(const WCHAR *name) {
    int length = name != nullptr ? TextLength(name) + 2 : TextLength(ErrorValue);
    // The new text is made before the old one is freed, so that a caller
    // may pass the store's own text; a failure still leaves the store empty.
    WCHAR *text = (WCHAR *)AllocateMemory((SIZE_T)(length + 1) * sizeof(WCHAR), FALSE);
    if (text != nullptr) {
        if (name != nullptr) {
            text[0] = '"';
            text[1] = 0;
            TextAppend(text, length + 1, name);
            TextAppend(text, length + 1, TEXT("\""));
        } else {
            TextCopy(text, length + 1, ErrorValue);
        }
    }
    FreeLastName();
    LastName = text;
    return text != nullptr ? 0 : -1;
}

void FreeLastName(void) {
    FreeMemory(LastName);
    LastName = nullptr;
}
