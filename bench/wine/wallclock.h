// wallclock.h: what the wall-clock timings run under Wine share: the clock,
// the median and the best of a set of runs and the median ratio of two, the folder of the running
// program, where the plugin and glimhost.exe are found, and the file the table goes to.
#pragma once

#include "common/platform.h"

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

// Milliseconds since some fixed moment, from QueryPerformanceCounter.
inline double Milliseconds() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// The median of at least one time.
inline double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    size_t n = times.size();
    return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

// The shortest of at least one time.
inline double Best(const std::vector<double> &times) {
    return *std::min_element(times.begin(), times.end());
}

// The median of the ratios of each run's time to the same run's floor: the
// load of the machine changes less within a run than over all of them.
inline double MedianRatio(const std::vector<double> &times, const std::vector<double> &floors) {
    std::vector<double> ratios;
    for (size_t i = 0; i < times.size() && i < floors.size(); i++) {
        ratios.push_back(times[i] / floors[i]);
    }
    return Median(ratios);
}

// The running program's folder, with its trailing backslash.
inline std::wstring ProgramDirectory() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

// The file for the table: `name` (a Windows path) made anew, or standard
// output when it is null. Null, with a message naming `program`, when the
// file cannot be made.
inline FILE *OpenTable(const char *name, const char *program) {
    if (name == nullptr) {
        return stdout;
    }
    FILE *out = fopen(name, "w");
    if (out == nullptr) {
        fprintf(stderr, "%s: cannot write %s\n", program, name);
    }
    return out;
}

// Closes what OpenTable opened.
inline void CloseTable(FILE *out) {
    if (out != stdout) {
        fclose(out);
    }
}
