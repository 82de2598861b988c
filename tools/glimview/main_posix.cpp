// main_posix.cpp: glimview's entry point on POSIX systems, where the
// arguments already are UTF-8 and the shell has expanded any wildcards, and
// its memory, from the C library: the program runs on no simulated machine.
#include "glimview/viewplatform.h"

#include <stdlib.h>

// Static: two sinks of 64 KiB each are too much for some stacks.
static ViewSink out;
static ViewSink err;

void *ViewAlloc(SIZE_T size) {
    return malloc(size);
}

void ViewFree(void *block) {
    free(block);
}

int main(int argc, char **argv) {
    SinkInit(&out, ViewStdoutWriter, NULL);
    SinkInit(&err, ViewStderrWriter, NULL);
    return GlimviewRun(argc - 1, argv + 1, NULL, &out, &err);
}
