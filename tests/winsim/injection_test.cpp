// injection_test.cpp: the call log, failures armed by call number, for
// every call and by path, what a failure leaves behind (nothing), and the
// counters of handles and heap blocks.
#include "winsim/sim.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class InjectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
    }
};

HANDLE Create(const std::u16string &name) {
    return CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
}

TEST_F(InjectionTest, CallLogListsEveryCallInOrder) {
    HANDLE file = Create(u"C:\\a");
    DWORD written;
    WriteFile(file, "x", 1, &written, nullptr);
    CloseHandle(file);
    GetLastError(); // not a call that can fail: not logged
    EXPECT_EQ(sim::CallLog(),
              std::vector<std::string>({"CreateFileW", "WriteFile", "CloseHandle"}));
    EXPECT_EQ(sim::CallCount("WriteFile"), 1);
    EXPECT_EQ(sim::CallCount("ReadFile"), 0);
}

TEST_F(InjectionTest, NthCallFailsOnceCountingFromArming) {
    Create(u"C:\\before"); // not counted: made before arming
    sim::FailCall("CreateFileW", 2, ERROR_WRITE_PROTECT);
    HANDLE first = Create(u"C:\\one");
    HANDLE second = Create(u"C:\\two");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_WRITE_PROTECT);
    HANDLE third = Create(u"C:\\three");
    EXPECT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(third, INVALID_HANDLE_VALUE);
    // The failed call did nothing.
    EXPECT_FALSE(sim::Exists(u"C:\\two"));
    EXPECT_EQ(sim::OpenHandles(), 3);
    EXPECT_EQ(sim::CallCount("CreateFileW"), 4);
}

TEST_F(InjectionTest, EveryFamilyReturnsItsFailureValue) {
    sim::MakeFile(u"C:\\f", "abc");
    HANDLE console = CreateFileW(u"CONOUT$", GENERIC_READ | GENERIC_WRITE, 3, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    HANDLE file = CreateFileW(u"C:\\f", GENERIC_READ, 1, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD E = 0xE0E0;
    const char *names[] = {
        "ReadFile",         "GetConsoleScreenBufferInfo", "GetConsoleCP", "GetConsoleFontSize",
        "GetConsoleWindow", "GetSystemMetrics",           "RegOpenKeyW",  "GetTimeZoneInformation",
        "FindFirstFileW",   "GetFileAttributesW",         "GetLocalTime"};
    for (const char *name : names) {
        sim::FailAlways(name, E);
    }
    char buffer[4] = {'#'};
    DWORD read = 9;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(file, buffer, 3, &read, nullptr));
    EXPECT_EQ(GetLastError(), E);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(buffer[0], '#');
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_FALSE(GetConsoleScreenBufferInfo(console, &info));
    EXPECT_EQ(GetConsoleCP(), 0u);
    COORD size = GetConsoleFontSize(console, 0);
    EXPECT_EQ(size.X, 0);
    EXPECT_EQ(size.Y, 0);
    EXPECT_EQ(GetConsoleWindow(), nullptr);
    EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 0);
    HKEY key = nullptr;
    sim::RegMakeKey(HKEY_CURRENT_USER, u"K");
    SetLastError(0);
    EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, u"K", &key), (LSTATUS)E);
    EXPECT_EQ(GetLastError(), 0u); // Reg* report through their result
    TIME_ZONE_INFORMATION zone;
    zone.Bias = 77;
    EXPECT_EQ(GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
    EXPECT_EQ(zone.Bias, 0);
    WIN32_FIND_DATAW data;
    EXPECT_EQ(FindFirstFileW(u"C:\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileAttributesW(u"C:\\f"), INVALID_FILE_ATTRIBUTES);
    SYSTEMTIME now = {};
    GetLocalTime(&now); // cannot fail
    EXPECT_EQ(now.wYear, 2024);
    EXPECT_EQ(sim::OpenHandles(), 2);
    sim::ClearFailures();
    EXPECT_TRUE(ReadFile(file, buffer, 3, &read, nullptr));
    CloseHandle(file);
    CloseHandle(console);
}

TEST_F(InjectionTest, PathFailuresNameOnePathHoweverSpelled) {
    sim::MakeFile(u"C:\\dir\\bad.glim", "x");
    sim::MakeFile(u"C:\\dir\\good.glim", "x");
    sim::SetCurrentDirectory(u"C:\\dir");
    sim::FailPath("CreateFileW", u"C:\\dir\\bad.glim", ERROR_ACCESS_DENIED);
    sim::FailPath("GetFileAttributesW", u"C:\\DIR\\good.glim", ERROR_SHARING_VIOLATION);
    struct Row {
        const char16_t *name;
        bool opens;
    };
    const Row rows[] = {
        {u"C:\\dir\\bad.glim", false}, {u"c:/Dir/BAD.glim", false}, {u"bad.glim", false},
        {u"..\\dir\\bad.glim", false}, {u"good.glim", true},
    };
    for (const Row &row : rows) {
        HANDLE file = CreateFileW(row.name, GENERIC_READ, 1, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, row.opens) << sim::U8(row.name);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    EXPECT_EQ(GetFileAttributesW(u"bad.glim"), (DWORD)FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(u"good.glim"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
}

TEST_F(InjectionTest, HeapCountsBlocksBytesAndPeak) {
    void *a = HeapAlloc(GetProcessHeap(), 0, 100);
    void *b = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 50);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(sim::LiveAllocations(), 2);
    EXPECT_EQ(sim::LiveBytes(), 150u);
    EXPECT_EQ(std::vector<uint8_t>((uint8_t *)b, (uint8_t *)b + 50), std::vector<uint8_t>(50, 0));
    EXPECT_NE(((uint8_t *)a)[0], 0); // fresh memory is not zero unless asked
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, a));
    EXPECT_EQ(sim::LiveBytes(), 50u);
    EXPECT_EQ(sim::PeakBytes(), 150u);
    sim::ResetPeak();
    EXPECT_EQ(sim::PeakBytes(), 50u);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, nullptr));

    // A failed allocation gives null and leaves the last error alone.
    sim::FailCall("HeapAlloc", 1, 0);
    SetLastError(1234);
    EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 10), nullptr);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(sim::LiveAllocations(), 1);

    // A Reset forgets the block, which may still be freed afterwards.
    sim::Reset();
    EXPECT_EQ(sim::LiveAllocations(), 0);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, b));
    EXPECT_EQ(sim::LiveBytes(), 0u);
}

TEST_F(InjectionTest, ResetForgetsHandlesAndRestoresTheMachine) {
    sim::MakeFile(u"C:\\f", "x");
    sim::Console().columns = 132;
    sim::FailAlways("CreateFileW", 5);
    sim::Reset();
    HANDLE file = CreateFileW(u"C:\\f", GENERIC_READ, 1, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE); // the file is gone, the failure too
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(sim::Console().columns, 80);
    EXPECT_EQ(sim::ConsoleChars().size(), 80u * 300u);
    EXPECT_EQ(sim::CallLog().size(), 1u);
}

} // namespace
