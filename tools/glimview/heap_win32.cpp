// heap_win32.cpp: glimview's memory from the process heap: on Windows, and
// in the Linux tests and fuzz target, where the simulated machine answers
// HeapAlloc, can make any call of it fail and counts the blocks held.
#include "glimview/glimview.h"

void *ViewAlloc(SIZE_T size) {
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void ViewFree(void *block) {
    if (block != NULL) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}
