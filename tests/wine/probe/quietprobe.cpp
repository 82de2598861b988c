// quietprobe.cpp: prints what the Quiet setting reads as on this machine
// ("quiet=0" or "quiet=1") and exits with it, so that a script can write the
// registry with Wine's reg and check the plugin's reading of it.
#include "command/options.h"

#include <cstdio>

int wmain() {
    int quiet = ReadQuietSetting();
    std::printf("quiet=%d\n", quiet);
    return quiet;
}
