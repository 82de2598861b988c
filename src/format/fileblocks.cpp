// fileblocks.cpp: the block functions of the word stream over an open file
// handle, kept apart so that the rest of the stream needs no file calls.
#include "format/wordstream.h"

BOOL FileBlockWriter(void *context, const void *data, DWORD size) {
    DWORD written = 0;
    // Only the call's success counts; a short count is not looked at.
    return WriteFile((HANDLE)context, data, size, &written, NULL) ? TRUE : FALSE;
}

BOOL FileBlockReader(void *context, void *buffer, DWORD capacity, DWORD *got) {
    *got = 0;
    return ReadFile((HANDLE)context, buffer, capacity, got, NULL) ? TRUE : FALSE;
}
