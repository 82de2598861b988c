// Tests of the stand-in host library TakeCmd.dll over the real system
// calls (under Wine): full names from GetFullPathNameW with patterns kept,
// existence tests, %_cwds, and UTF-8 output into a file.
#include "tests/wine/wintest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Makes `directory` the current directory for one test, and goes back.
class InDirectory {
  public:
    explicit InDirectory(const std::wstring &directory) {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        SetCurrentDirectoryW(directory.c_str());
    }
    ~InDirectory() {
        SetCurrentDirectoryW(saved_);
    }

  private:
    WCHAR saved_[MAX_PATH];
};

std::wstring TrueName(const std::wstring &path) {
    std::vector<WCHAR> output(16384, L'#');
    QueryTrueName(path.c_str(), output.data());
    return output.data();
}

struct TrueNameRow {
    const wchar_t *path;
    const wchar_t *expected; // after the scratch directory; null: unusable
};

TEST(HostServices, TrueNamesKeepTheirPatterns) {
    std::wstring dir = wintest::ScratchDirectory(L"host-truename");
    InDirectory in(dir);
    const TrueNameRow rows[] = {
        {L"file.glim", L"file.glim"},
        {L"sub\\..\\x.glim", L"x.glim"},
        {L"*.glim", L"*.glim"},
        {L"*.", L"*."},
        {L"*.glim|*.sav", L"*.glim|*.sav"},
        {L"?x[ab].g*", L"?x[ab].g*"},
        {L"sub/*.glim", L"sub\\*.glim"},
        {L"", nullptr},
        {L"a<b", nullptr},
        {L"name:stream", nullptr},
    };
    for (const TrueNameRow &row : rows) {
        std::wstring expected = row.expected == nullptr ? L"" : dir + row.expected;
        EXPECT_EQ(TrueName(row.path), expected) << "for " << row.path;
    }
    // The system's namespaces: a prefix is no pattern, and a pattern after
    // it survives as it does without one.
    const std::wstring longPath = L"\\\\?\\" + dir, device = L"\\\\.\\" + dir;
    EXPECT_EQ(TrueName(longPath + L"file.glim"), longPath + L"file.glim");
    EXPECT_EQ(TrueName(device + L"file.glim"), device + L"file.glim");
    EXPECT_EQ(TrueName(longPath + L"*.glim"), longPath + L"*.glim");
    EXPECT_EQ(TrueName(L"CONOUT$"), L"\\\\.\\CONOUT$");
    EXPECT_NE(QueryIsDirectory((L"\\\\?\\" + dir).c_str()), 0);
}

TEST(HostServices, ExistenceFollowsTheFileSystem) {
    std::wstring dir = wintest::ScratchDirectory(L"host-exists");
    std::wstring file = dir + L"present.glim";
    ASSERT_TRUE(wintest::WriteBytes(file, {1, 2, 3}));
    std::wstring sub = dir + L"sub";
    CreateDirectoryW(sub.c_str(), nullptr);

    EXPECT_NE(QueryIsDirectory(sub.c_str()), 0);
    EXPECT_NE(QueryIsDirectory((sub + L"\\").c_str()), 0);
    EXPECT_EQ(QueryIsDirectory(file.c_str()), 0);
    EXPECT_NE(QueryIsFileOrDirectory(file.c_str()), 0);
    EXPECT_NE(QueryIsFileOrDirectory(sub.c_str()), 0);
    EXPECT_EQ(QueryIsFileOrDirectory((dir + L"absent.glim").c_str()), 0);
    EXPECT_EQ(QueryIsFileOrDirectory((dir + L"*.glim").c_str()), 0);
    DeleteFileW(file.c_str());
}

TEST(HostServices, CwdsIsTheCurrentDirectoryWithABackslash) {
    std::wstring dir = wintest::ScratchDirectory(L"host-cwds");
    InDirectory in(dir);
    std::vector<WCHAR> buffer(1024, 0);
    const std::wstring text = L"%_cwds";
    std::copy(text.begin(), text.end(), buffer.begin());
    EXPECT_EQ(ExpandVariables(buffer.data(), 1), 0);
    EXPECT_EQ(std::wstring(buffer.data()), dir);
}

TEST(HostServices, OutputIntoAFileIsUtf8) {
    std::wstring dir = wintest::ScratchDirectory(L"host-output");
    std::wstring path = dir + L"out.txt";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Qprintf(file, L"%s \x2019%d\r\n",
            L"Gr\x00FC\x00DF"
            L"e \xD83D\xDE00",
            7);
    CloseHandle(file);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(wintest::ReadBytes(path, bytes));
    const std::string expected = "Gr\xC3\xBC\xC3\x9F"
                                 "e \xF0\x9F\x98\x80 \xE2\x80\x99"
                                 "7\r\n";
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    DeleteFileW(path.c_str());
}

} // namespace
