// memory.cpp: the plugin's allocations on the process heap (memory.h).
#include "common/memory.h"

void *AllocateMemory(SIZE_T bytes, BOOL zeroed) {
    return HeapAlloc(GetProcessHeap(), zeroed ? HEAP_ZERO_MEMORY : 0, bytes);
}

void FreeMemory(void *memory) {
    if (memory != nullptr) {
        HeapFree(GetProcessHeap(), 0, memory);
    }
}
