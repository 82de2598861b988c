// drawprobe.cpp: a small console program that draws in colour, for testing
// a program's screen against a saved one: a title, a status line, a clock
// (which differs on every run) and a row of coloured cells. With the
// argument "changed", one cell of the status line shows another letter:
// row 2 (counted from the first row drawn), column 10.
#include <windows.h>

#include <cstdio>
#include <cwchar>

static void Write(HANDLE console, WORD attribute, const wchar_t *text) {
    DWORD written = 0;
    SetConsoleTextAttribute(console, attribute);
    WriteConsoleW(console, text, (DWORD)wcslen(text), &written, NULL);
}

int wmain(int argc, wchar_t **argv) {
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    SYSTEMTIME now;
    wchar_t clock[64];
    bool changed = argc > 1 && wcscmp(argv[1], L"changed") == 0;
    if (!GetConsoleScreenBufferInfo(console, &info)) {
        std::fprintf(stderr, "drawprobe: no console\n");
        return 2;
    }
    GetLocalTime(&now);
    swprintf(clock, 64, L"Time: %02u:%02u:%02u.%03u\r\n", (unsigned)now.wHour,
             (unsigned)now.wMinute, (unsigned)now.wSecond, (unsigned)now.wMilliseconds);
    Write(console, 0x0E, L"drawprobe: a screen to test\r\n");
    Write(console, 0x07, L"status: ");
    Write(console, 0x0A, changed ? L"Ok" : L"OK");
    Write(console, 0x07, L"\r\n");
    Write(console, 0x08, clock);
    Write(console, 0x1F, L" blue ");
    Write(console, 0x4E, L" red ");
    Write(console, 0x2F, L" green ");
    Write(console, info.wAttributes, L"\r\n");
    return 0;
}
