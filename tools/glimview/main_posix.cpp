// main_posix.cpp: glimview's entry point on POSIX systems, where the
// arguments already are UTF-8.
#include "glimview/viewplatform.h"

// Static: two sinks of 64 KiB each are too much for some stacks.
static ViewSink out;
static ViewSink err;

int main(int argc, char **argv) {
    SinkInit(&out, ViewStdoutWriter, NULL);
    SinkInit(&err, ViewStderrWriter, NULL);
    return GlimviewRun(argc - 1, argv + 1, &out, &err);
}
