// memory.h: the plugin's memory, all of it from the process heap of the
// host, so that every block the plugin holds is one the host's heap knows
// (and the simulated machine can count and refuse).
#pragma once

#include "common/platform.h"

// A block of `bytes` bytes from the process heap; zero-filled when `zeroed`
// is TRUE, otherwise with undefined contents. Returns null when the heap
// refuses it; nothing is then held.
void *AllocateMemory(SIZE_T bytes, BOOL zeroed);
// Returns a block from AllocateMemory to the process heap. A null `memory`
// is ignored.
void FreeMemory(void *memory);
