// wintest.cpp: the shared pieces of the Windows test program.
#include "tests/wine/wintest.h"

#include "host/hoststate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace wintest {

Plugin &LoadedPlugin() {
    static Plugin plugin;
    static bool loaded = false;
    if (!loaded) {
        std::wstring path = ProgramDirectory() + L"glimpset.dll";
        plugin.module = LoadLibraryW(path.c_str());
        if (plugin.module == nullptr) {
            std::fprintf(stderr, "cannot load glimpset.dll (%lu)\n", GetLastError());
            std::abort();
        }
        auto get = [](const char *name) {
            FARPROC proc = GetProcAddress(LoadedPlugin().module, name);
            if (proc == nullptr) {
                std::fprintf(stderr, "glimpset.dll does not export %s\n", name);
                std::abort();
            }
            return reinterpret_cast<void *>(proc);
        };
        loaded = true;
        // GetProcAddress gives every export one type; each is cast back to its own.
        plugin.getPluginInfo = reinterpret_cast<GetPluginInfoFn>(get("GetPluginInfo"));
        plugin.initializePlugin = reinterpret_cast<InitializePluginFn>(get("InitializePlugin"));
        plugin.shutdownPlugin = reinterpret_cast<ShutdownPluginFn>(get("ShutdownPlugin"));
        plugin.usage = reinterpret_cast<UsageFn>(get("Usage"));
        plugin.help = reinterpret_cast<HelpFn>(get("Help"));
        plugin.glim = reinterpret_cast<CommandFn>(get("glim"));
        plugin.lastglim = reinterpret_cast<VariableFn>(get("_lastglim"));
        plugin.getPluginInfo();
        // As in a transient shell: no load line, which would otherwise land
        // in the console that a test has just filled.
        HostSetTransient(1);
        plugin.initializePlugin();
    }
    return plugin;
}

int Glim(const std::wstring &tail) {
    std::vector<WCHAR> buffer(tail.begin(), tail.end());
    buffer.push_back(0);
    return LoadedPlugin().glim(buffer.data());
}

int GlimWithErrorsIn(const std::wstring &tail, const std::wstring &errors) {
    HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE file = CreateFileW(errors.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetStdHandle(STD_ERROR_HANDLE, file);
    int result = Glim(tail);
    SetStdHandle(STD_ERROR_HANDLE, saved);
    CloseHandle(file);
    return result;
}

std::wstring LastGlim() {
    std::vector<WCHAR> buffer(16384, 0);
    LoadedPlugin().lastglim(buffer.data());
    return std::wstring(buffer.data());
}

std::wstring ProgramDirectory() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

std::wstring ScratchDirectory(const std::wstring &name) {
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = std::wstring(temp) + L"glimpset-tests\\";
    CreateDirectoryW(base.c_str(), nullptr);
    std::wstring dir = base + name + L"\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((dir + found.cFileName).c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return dir;
}

bool ReadBytes(const std::wstring &path, std::vector<unsigned char> &bytes) {
    bytes.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    unsigned char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), block, block + got);
    CloseHandle(file);
    return true;
}

bool WriteBytes(const std::wstring &path, const std::vector<unsigned char> &bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

HANDLE Console() {
    static HANDLE console = INVALID_HANDLE_VALUE;
    if (console == INVALID_HANDLE_VALUE)
        console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return console;
}

CONSOLE_SCREEN_BUFFER_INFO ConsoleInfo() {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(Console(), &info);
    return info;
}

void ConsoleResize(int columns, int rows, int windowHeight) {
    // The window can never be larger than the buffer: shrink it first.
    CONSOLE_SCREEN_BUFFER_INFO info = ConsoleInfo();
    SMALL_RECT small = {0, 0, static_cast<SHORT>(std::min<int>(columns, info.dwSize.X) - 1),
                        static_cast<SHORT>(std::min<int>(windowHeight, info.dwSize.Y) - 1)};
    SetConsoleWindowInfo(Console(), TRUE, &small);
    COORD size = {static_cast<SHORT>(columns), static_cast<SHORT>(rows)};
    SetConsoleScreenBufferSize(Console(), size);
    SMALL_RECT window = {0, 0, static_cast<SHORT>(columns - 1),
                         static_cast<SHORT>(windowHeight - 1)};
    SetConsoleWindowInfo(Console(), TRUE, &window);
}

void ConsoleFill(const std::vector<WORD> &characters, const std::vector<WORD> &attributes) {
    COORD origin = {0, 0};
    DWORD done = 0;
    WriteConsoleOutputCharacterW(Console(), reinterpret_cast<const WCHAR *>(characters.data()),
                                 static_cast<DWORD>(characters.size()), origin, &done);
    WriteConsoleOutputAttribute(Console(), attributes.data(), static_cast<DWORD>(attributes.size()),
                                origin, &done);
}

void ConsoleRead(std::vector<WORD> &characters, std::vector<WORD> &attributes) {
    CONSOLE_SCREEN_BUFFER_INFO info = ConsoleInfo();
    DWORD count = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    characters.assign(count, 0);
    attributes.assign(count, 0);
    COORD origin = {0, 0};
    DWORD done = 0;
    ReadConsoleOutputCharacterW(Console(), reinterpret_cast<WCHAR *>(characters.data()), count,
                                origin, &done);
    ReadConsoleOutputAttribute(Console(), attributes.data(), count, origin, &done);
}

bool OnWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace wintest
