// treetime.cpp: the wall-clock time of glim /I /S over a tree of saved
// screens, run as a user runs it (glimhost.exe with its output in a file),
// against the floor that no report can beat: a bare walk in this process
// that finds every file of the tree and reads its 80-byte header, with the
// same calls the report makes (FindFirstFileW, CreateFileW, ReadFile).
//
// A third figure is glimhost running the same search over the same tree
// with a pattern that matches no file: what starting glimhost and walking
// the directories cost before any file is opened or described.
//
// Every figure is the median of a number of runs (5 unless the second
// argument says otherwise), timed with QueryPerformanceCounter; the ratio is
// the median of the ratios of each run. The walk and glimhost take turns at
// going first, so that neither always finds the file cache as the other
// left it.
//
// Usage: treetime TREE [RUNS] [-o FILE]. TREE is a Windows path; glimhost.exe
// and the plugin are found beside this program. The table goes to FILE (a
// Windows path), or to standard output.
#include "bench/wine/wallclock.h"
#include "common/platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

enum {
    DEFAULT_RUNS = 5,
    HEADER_BYTES = 80,
};

std::wstring Widen(const char *text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) {
        MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], n);
    }
    return wide;
}

// The bare walk: every file below `directory` (ending in a backslash) found
// and its header read. Counts the files whose header could be read.
void Walk(const std::wstring &directory, long *files) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((directory + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::wstring path = directory + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) {
                Walk(path + L"\\", files);
            }
            continue;
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            continue;
        }
        BYTE header[HEADER_BYTES];
        DWORD got = 0;
        if (ReadFile(file, header, HEADER_BYTES, &got, nullptr)) {
            (*files)++;
        }
        CloseHandle(file);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

// glimhost.exe run in `directory` with the command line `command` and its
// standard output in `output`. Returns its exit status, or -1 when it could
// not be started.
int RunHost(const std::wstring &host, const std::wstring &directory, const std::wstring &output,
            const std::wstring &command) {
    std::wstring line = L"\"" + host + L"\" -o \"" + output + L"\" \"" + command + L"\"";
    std::vector<WCHAR> writable(line.begin(), line.end());
    writable.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(host.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return (int)status;
}

// The last line of a text file, without its line end; empty when there is
// none.
std::string LastLine(const std::wstring &path) {
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    LONGLONG start = std::max<LONGLONG>(0, size.QuadPart - 256);
    LARGE_INTEGER at = {};
    at.QuadPart = start;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    char buffer[256];
    DWORD got = 0;
    if (ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        text.assign(buffer, got);
    }
    CloseHandle(file);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.pop_back();
    }
    size_t end = text.find_last_of('\n');
    return end == std::string::npos ? text : text.substr(end + 1);
}

enum Measure {
    WALK,     // the bare walk
    REPORT,   // glimhost "glim /I /S *.glim"
    NO_MATCH, // glimhost "glim /I /S /E *.none"
    MEASURES,
};

typedef std::vector<double> Runs[MEASURES];

void PrintRow(FILE *out, const Runs &runs, const char *name, Measure measure) {
    fprintf(out, "%-40s %8.1f %8.1f   %6.3f %6.3f\n", name, Median(runs[measure]),
            Best(runs[measure]), MedianRatio(runs[measure], runs[WALK]),
            Best(runs[measure]) / Best(runs[WALK]));
}

} // namespace

int main(int argc, char **argv) {
    int count = DEFAULT_RUNS;
    const char *outName = nullptr;
    const char *treeName = nullptr;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            outName = argv[++i];
        } else if (treeName == nullptr) {
            treeName = argv[i];
        } else {
            count = std::max(1, atoi(argv[i]));
        }
    }
    if (treeName == nullptr) {
        fprintf(stderr, "usage: treetime TREE [RUNS] [-o FILE]\n");
        return 2;
    }
    std::wstring tree = Widen(treeName);
    if (tree.empty() || tree.back() != L'\\') {
        tree += L"\\";
    }
    std::wstring host = ProgramDirectory() + L"glimhost.exe";
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring report = std::wstring(temp) + L"glimpset-treetime.txt";

    Runs runs;
    long files = 0;
    std::string reportTotal;
    bool ok = true;
    for (int run = 0; ok && run < count; run++) {
        for (int turn = 0; ok && turn < 2; turn++) {
            if ((run + turn) % 2 == 0) {
                long found = 0;
                double start = Milliseconds();
                Walk(tree, &found);
                runs[WALK].push_back(Milliseconds() - start);
                files = found;
                continue;
            }
            double start = Milliseconds();
            int status = RunHost(host, tree, report, L"glim /I /S *.glim");
            runs[REPORT].push_back(Milliseconds() - start);
            reportTotal = LastLine(report);
            start = Milliseconds();
            int none = RunHost(host, tree, report, L"glim /I /S /E *.none");
            runs[NO_MATCH].push_back(Milliseconds() - start);
            if (status != 0 || none != 0) {
                fprintf(stderr, "treetime: glimhost ended with status %d and %d\n", status, none);
                ok = false;
            }
        }
    }
    DeleteFileW(report.c_str());
    if (!ok) {
        return 1;
    }

    FILE *out = OpenTable(outName, "treetime");
    if (out == nullptr) {
        return 2;
    }
    fprintf(out, "glim /I /S under Wine over a tree of %ld files, %d runs\n", files, count);
    fprintf(out, "(ms: the median and the best run; ratio to the walk: the median of each run's "
                 "ratio, and best to best)\n\n");
    fprintf(out, "%-40s %8s %8s   %6s %6s\n", "operation", "median", "best", "ratio", "best");
    PrintRow(out, runs, "bare walk, every header read", WALK);
    PrintRow(out, runs, "glimhost \"glim /I /S *.glim\" -o FILE", REPORT);
    PrintRow(out, runs, "glimhost, a pattern matching no file", NO_MATCH);
    fprintf(out, "\nThe report's last line: %s\n", reportTotal.c_str());
    CloseTable(out);
    return 0;
}
