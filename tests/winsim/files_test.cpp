// files_test.cpp: the simulated volume as the plugin relies on it: error
// codes of CreateFileW, reads at the end, access and sharing, disk full,
// listing order with "." and "..", links (cycles and identity), links to
// files and hard links, devices opened by name, full path names, deletion
// and renaming, names found without case in large directories, the
// environment.
#include "winsim/sim.h"

#include <gtest/gtest.h>

namespace {

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
    }
};

HANDLE Open(const std::u16string &name, DWORD access, DWORD disposition, DWORD flags = 0,
            DWORD share = FILE_SHARE_READ) {
    return CreateFileW(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

std::vector<std::u16string> Listing(const std::u16string &pattern, DWORD *error) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    *error = GetLastError();
    FindClose(find);
    return names;
}

// Names of 255 characters (the most a component may have) and 256.
const std::u16string Long255 = u"C:\\dir\\" + std::u16string(255, u'n');
const std::u16string Long256 = u"C:\\dir\\" + std::u16string(256, u'n');

TEST_F(FilesTest, CreateFileGivesTheErrorCodesOfWindows) {
    struct Row {
        const char16_t *name;
        DWORD access, disposition, flags;
        bool opens;
        DWORD error; // the last error after the call
    };
    const DWORD RW = GENERIC_READ | GENERIC_WRITE;
    const Row rows[] = {
        {u"C:\\dir\\file.txt", RW, CREATE_NEW, 0, false, ERROR_FILE_EXISTS},
        {u"C:\\dir\\missing.txt", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_FILE_NOT_FOUND},
        {u"C:\\dir\\missing.txt", RW, TRUNCATE_EXISTING, 0, false, ERROR_FILE_NOT_FOUND},
        {u"C:\\nodir\\x.txt", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_PATH_NOT_FOUND},
        {u"C:\\nodir\\x.txt", RW, CREATE_NEW, 0, false, ERROR_PATH_NOT_FOUND},
        {u"C:\\dir\\file.txt\\x", RW, CREATE_NEW, 0, false, ERROR_PATH_NOT_FOUND},
        {u"Q:\\x.txt", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_PATH_NOT_FOUND},
        {u"C:\\dir\\sub", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_ACCESS_DENIED},
        {u"C:\\dir\\sub", 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, true, 0},
        {u"C:\\dir\\sub", RW, CREATE_NEW, FILE_FLAG_BACKUP_SEMANTICS, false, ERROR_FILE_EXISTS},
        {u"C:\\dir\\a*b.txt", RW, CREATE_NEW, 0, false, ERROR_INVALID_NAME},
        {u"C:\\dir\\a?b.txt", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_INVALID_NAME},
        {u"C:\\dir\\a|b.txt", RW, CREATE_NEW, 0, false, ERROR_INVALID_NAME},
        {u"C:\\dir\\a<b>.txt", RW, CREATE_NEW, 0, false, ERROR_INVALID_NAME},
        {u"C:\\dir\\file.txt\\", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_INVALID_NAME},
        {u"C:\\dir\\locked.txt", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_ACCESS_DENIED},
        {u"C:\\dir\\readonly.txt", RW, OPEN_EXISTING, 0, false, ERROR_ACCESS_DENIED},
        {u"C:\\dir\\hidden.txt", RW, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, false,
         ERROR_ACCESS_DENIED},
        {u"C:\\dir\\file.txt", RW, CREATE_ALWAYS, 0, true, ERROR_ALREADY_EXISTS},
        {u"C:\\dir\\file.txt", RW, OPEN_ALWAYS, 0, true, ERROR_ALREADY_EXISTS},
        {u"C:\\dir\\new.txt", RW, CREATE_ALWAYS, 0, true, 0},
        {u"c:/DIR/FILE.TXT", GENERIC_READ, OPEN_EXISTING, 0, true, 0},
        {Long255.c_str(), RW, CREATE_NEW, 0, true, 0},
        {Long256.c_str(), RW, CREATE_NEW, 0, false, ERROR_INVALID_NAME},
        {u"\\\\?\\C:\\dir\\file.txt", GENERIC_READ, OPEN_EXISTING, 0, true, 0},
        {u"\\\\.\\C:\\dir\\sub\\..\\file.txt", GENERIC_READ, OPEN_EXISTING, 0, true, 0},
        {u"\\\\?\\C:\\dir\\sub\\..\\file.txt", GENERIC_READ, OPEN_EXISTING, 0, false,
         ERROR_INVALID_NAME},
        {u"\\\\?\\UNC\\server\\share\\x", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_BAD_NETPATH},
        {u"C:\\dir\\closed\\new.txt", RW, CREATE_NEW, 0, false, ERROR_ACCESS_DENIED},
        {u"C:\\dir\\closed\\old.txt", RW, TRUNCATE_EXISTING, 0, true, 0},
        {u"C:\\dir\\held.txt", RW, OPEN_EXISTING, 0, false, ERROR_SHARING_VIOLATION},
        {u"C:\\dir\\held.txt", GENERIC_READ, OPEN_EXISTING, 0, true, 0},
        {u"C:\\dir\\link.txt", GENERIC_READ, OPEN_EXISTING, 0, true, 0},
        {u"C:\\dir\\link.txt", RW, CREATE_NEW, 0, false, ERROR_FILE_EXISTS},
        {u"C:\\dir\\broken.txt", GENERIC_READ, OPEN_EXISTING, 0, false, ERROR_PATH_NOT_FOUND},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(sim::U8(row.name));
        sim::Reset();
        sim::MakeFile(u"C:\\dir\\file.txt", "data");
        sim::MakeFile(u"C:\\dir\\locked.txt", "data");
        sim::MakeFile(u"C:\\dir\\readonly.txt", "data", FILE_ATTRIBUTE_READONLY);
        sim::MakeFile(u"C:\\dir\\hidden.txt", "data", FILE_ATTRIBUTE_HIDDEN);
        sim::MakeDirectory(u"C:\\dir\\sub");
        sim::SetUnopenable(u"C:\\dir\\locked.txt");
        sim::MakeFile(u"C:\\dir\\closed\\old.txt", "data");
        sim::SetRefusesNewEntries(u"C:\\dir\\closed");
        sim::MakeFile(u"C:\\dir\\held.txt", "data");
        sim::HoldOpen(u"C:\\dir\\held.txt", GENERIC_READ, FILE_SHARE_READ);
        sim::MakeFileLink(u"C:\\dir\\link.txt", u"C:\\dir\\file.txt");
        sim::MakeFileLink(u"C:\\dir\\broken.txt", u"C:\\dir\\none.txt");
        SetLastError(1234);
        HANDLE handle = Open(row.name, row.access, row.disposition, row.flags);
        EXPECT_EQ(handle != INVALID_HANDLE_VALUE, row.opens);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(sim::OpenHandles(), row.opens ? 1 : 0);
        if (handle != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(handle));
        }
        EXPECT_EQ(sim::OpenHandles(), 0);
    }
}

TEST_F(FilesTest, ReadingAtTheEndSucceedsWithNoBytes) {
    sim::MakeFile(u"C:\\f.bin", "abcdef");
    HANDLE file = Open(u"C:\\f.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    DWORD read = 99;
    ASSERT_TRUE(ReadFile(file, buffer, 4, &read, nullptr));
    EXPECT_EQ(read, 4u);
    ASSERT_TRUE(ReadFile(file, buffer, 16, &read, nullptr));
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    ASSERT_TRUE(ReadFile(file, buffer, 16, &read, nullptr));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 3u);
    ASSERT_TRUE(ReadFile(file, buffer, 1, &read, nullptr));
    EXPECT_EQ(buffer[0], 'd');
    EXPECT_EQ(SetFilePointer(file, -10, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
    CloseHandle(file);
}

TEST_F(FilesTest, WritesGoWhereThePointerIsAndGrowTheFile) {
    HANDLE file = Open(u"C:\\w.bin", GENERIC_WRITE, CREATE_NEW);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "hello", 5, &written, nullptr));
    EXPECT_EQ(SetFilePointer(file, 1, nullptr, FILE_BEGIN), 1u);
    ASSERT_TRUE(WriteFile(file, "EL", 2, &written, nullptr));
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_END), 7u);
    ASSERT_TRUE(WriteFile(file, "!", 1, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(sim::FileBytes(u"C:\\w.bin"),
              std::vector<uint8_t>({'h', 'E', 'L', 'l', 'o', 0, 0, '!'}));
}

TEST_F(FilesTest, HandlesCarryOnlyTheAccessTheyWereOpenedWith) {
    sim::MakeFile(u"C:\\f.bin", "abc");
    char buffer[4];
    DWORD count = 7;
    HANDLE writeOnly = Open(u"C:\\f.bin", GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_FALSE(ReadFile(writeOnly, buffer, 3, &count, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(FlushFileBuffers(writeOnly));
    CloseHandle(writeOnly);
    HANDLE readOnly = Open(u"C:\\f.bin", GENERIC_READ, OPEN_EXISTING);
    EXPECT_FALSE(WriteFile(readOnly, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    // A flush needs write access too.
    EXPECT_FALSE(FlushFileBuffers(readOnly));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(readOnly);
    EXPECT_EQ(sim::FileBytes(u"C:\\f.bin").size(), 3u);
}

TEST_F(FilesTest, SharingModesDecideWhetherASecondOpenSucceeds) {
    struct Row {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool opens;
    };
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE;
    const DWORD SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
    const Row rows[] = {
        {R, SR, R, SR, true},          {R | W, SR, R, SR, false}, // the writer shares no writing
        {R | W, SR, R, SR | SW, true}, {R, SR, W, SR | SW, false}, {R, SR | SW, W, SR | SW, true},
        {R, 0, R, SR, false},          {0, SR, R | W, 0, true}, // a handle without access collides
                                                                // with nothing
    };
    for (const Row &row : rows) {
        sim::Reset();
        sim::MakeFile(u"C:\\f.bin", "abc");
        HANDLE first = Open(u"C:\\f.bin", row.firstAccess, OPEN_EXISTING, 0, row.firstShare);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = Open(u"C:\\f.bin", row.secondAccess, OPEN_EXISTING, 0, row.secondShare);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, row.opens)
            << row.firstAccess << " " << row.firstShare << " " << row.secondAccess;
        if (second == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
        } else {
            CloseHandle(second);
        }
        CloseHandle(first);
    }
}

TEST_F(FilesTest, AWriteBeyondTheFreeSpaceWritesNothingAndFails) {
    sim::SetFreeSpace(10);
    HANDLE file = Open(u"C:\\f.bin", GENERIC_WRITE, CREATE_NEW);
    DWORD written = 99;
    ASSERT_TRUE(WriteFile(file, "12345678", 8, &written, nullptr));
    EXPECT_FALSE(WriteFile(file, "abc", 3, &written, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_DISK_FULL);
    EXPECT_EQ(written, 0u);
    // Overwriting takes no space.
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(file, "abcdefghij", 10, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(sim::FileBytes(u"C:\\f.bin").size(), 10u);
}

TEST_F(FilesTest, UnreadableFilesOpenButFailToRead) {
    sim::MakeFile(u"C:\\bad.bin", "abc");
    sim::SetUnreadable(u"c:\\BAD.bin");
    HANDLE file = Open(u"C:\\bad.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[4];
    DWORD read = 5;
    EXPECT_FALSE(ReadFile(file, buffer, 3, &read, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_READ_FAULT);
    EXPECT_EQ(read, 0u);
    CloseHandle(file);
}

TEST_F(FilesTest, ListingsFollowCreationOrderWithDotsOutsideTheRoot) {
    sim::MakeFile(u"C:\\zeta.glim", "1");
    sim::MakeDirectory(u"C:\\Alpha");
    sim::MakeFile(u"C:\\Alpha\\b.glim", "12");
    sim::MakeFile(u"C:\\Alpha\\a.sav", "");
    sim::MakeDirectory(u"C:\\Empty");
    struct Row {
        const char16_t *pattern;
        std::vector<std::u16string> names;
        DWORD error;
    };
    const Row rows[] = {
        {u"C:\\*", {u"zeta.glim", u"Alpha", u"Empty"}, ERROR_NO_MORE_FILES},
        {u"C:\\alpha\\*", {u".", u"..", u"b.glim", u"a.sav"}, ERROR_NO_MORE_FILES},
        {u"C:\\Alpha\\*.*", {u".", u"..", u"b.glim", u"a.sav"}, ERROR_NO_MORE_FILES},
        {u"C:\\Alpha\\*.GLIM", {u"b.glim"}, ERROR_NO_MORE_FILES},
        {u"C:\\Alpha\\?.sav", {u"a.sav"}, ERROR_NO_MORE_FILES},
        {u"C:\\Alpha\\a.sav", {u"a.sav"}, ERROR_NO_MORE_FILES},
        {u"C:\\Empty\\*", {u".", u".."}, ERROR_NO_MORE_FILES},
        {u"C:\\Alpha\\*.txt", {}, ERROR_FILE_NOT_FOUND},
        {u"C:\\Missing\\*", {}, ERROR_PATH_NOT_FOUND},
        {u"C:\\zeta.glim\\*", {}, ERROR_PATH_NOT_FOUND},
        {u"C:\\Alpha\\", {}, ERROR_FILE_NOT_FOUND},
        {u"C:\\Al*\\*", {}, ERROR_INVALID_NAME},
    };
    for (const Row &row : rows) {
        DWORD error = 0;
        EXPECT_EQ(Listing(row.pattern, &error), row.names) << sim::U8(row.pattern);
        EXPECT_EQ(error, row.error) << sim::U8(row.pattern);
        EXPECT_EQ(sim::OpenHandles(), 0);
    }
}

TEST_F(FilesTest, FoundEntriesCarryAttributesAndSizes) {
    sim::MakeFile(u"C:\\plain.bin", "12345");
    sim::MakeFile(u"C:\\hidden.bin", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    sim::MakeDirectory(u"C:\\dir", FILE_ATTRIBUTE_HIDDEN);
    sim::MakeLink(u"C:\\link", u"C:\\dir");
    HANDLE made = Open(u"C:\\made.bin", GENERIC_WRITE, CREATE_NEW);
    CloseHandle(made);
    struct Row {
        const char16_t *name;
        DWORD attributes, size;
    };
    const Row rows[] = {
        {u"C:\\plain.bin", FILE_ATTRIBUTE_NORMAL, 5},
        {u"C:\\hidden.bin", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0},
        {u"C:\\dir", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, 0},
        {u"C:\\link", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0},
        {u"C:\\made.bin", FILE_ATTRIBUTE_ARCHIVE, 0},
    };
    for (const Row &row : rows) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(row.name, &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE) << sim::U8(row.name);
        EXPECT_EQ(data.dwFileAttributes, row.attributes) << sim::U8(row.name);
        EXPECT_EQ(data.nFileSizeLow, row.size);
        EXPECT_EQ(GetFileAttributesW(row.name), row.attributes);
        FindClose(find);
    }
}

TEST_F(FilesTest, LinksLeadIntoTheirTargetEvenInACycle) {
    sim::MakeFile(u"C:\\top\\inner\\f.glim", "x");
    sim::MakeLink(u"C:\\top\\inner\\back", u"C:\\top");
    DWORD error = 0;
    EXPECT_EQ(Listing(u"C:\\top\\inner\\back\\inner\\back\\inner\\*", &error),
              std::vector<std::u16string>({u".", u"..", u"f.glim", u"back"}));
    EXPECT_EQ(sim::FileBytes(u"C:\\top\\inner\\back\\inner\\f.glim"), std::vector<uint8_t>{'x'});

    // The link and its target are the same directory to the file system.
    BY_HANDLE_FILE_INFORMATION viaLink, direct, other;
    const char16_t *names[] = {u"C:\\top\\inner\\back", u"C:\\top", u"C:\\top\\inner"};
    BY_HANDLE_FILE_INFORMATION *infos[] = {&viaLink, &direct, &other};
    for (int i = 0; i < 3; i++) {
        HANDLE dir = Open(names[i], 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        ASSERT_NE(dir, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(GetFileInformationByHandle(dir, infos[i]));
        CloseHandle(dir);
    }
    EXPECT_EQ(viaLink.dwVolumeSerialNumber, direct.dwVolumeSerialNumber);
    EXPECT_EQ(viaLink.nFileIndexLow, direct.nFileIndexLow);
    EXPECT_EQ(viaLink.nFileIndexHigh, direct.nFileIndexHigh);
    EXPECT_NE(other.nFileIndexLow, direct.nFileIndexLow);
    EXPECT_EQ(viaLink.dwFileAttributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);

    // A link to itself cannot be resolved, and says so.
    sim::MakeLink(u"C:\\self", u"C:\\self");
    EXPECT_EQ(Listing(u"C:\\self\\*", &error), std::vector<std::u16string>());
    EXPECT_EQ(error, (DWORD)ERROR_CANT_RESOLVE_FILENAME);
}

TEST_F(FilesTest, FullPathNamesAreMadeFromTheTextAlone) {
    sim::MakeDirectory(u"C:\\work\\sub");
    sim::MakeDirectory(u"D:\\");
    sim::SetCurrentDirectory(u"C:\\work");
    struct Row {
        const char16_t *name, *full;
        int filePart; // offset, or -1 for none
    };
    const Row rows[] = {
        {u"x.glim", u"C:\\work\\x.glim", 8},
        {u".\\sub\\..\\y", u"C:\\work\\y", 8},
        {u"..\\..\\..\\z", u"C:\\z", 3},
        {u"sub/", u"C:\\work\\sub\\", -1},
        {u"\\root.txt", u"C:\\root.txt", 3},
        {u"C:rel", u"C:\\work\\rel", 8},
        {u"D:rel", u"D:\\rel", 3},
        {u"C:", u"C:\\work", 3},
        {u"D:\\a\\.", u"D:\\a", 3},
        {u"D:\\a\\..", u"D:\\", -1},
        {u"*.glim|*.sav", u"C:\\work\\*.glim|*.sav", 8},
        {u"name. . ", u"C:\\work\\name", 8},
        {u"missing\\dir\\f", u"C:\\work\\missing\\dir\\f", 20},
        {u"\\\\server\\share\\a\\..\\b", u"\\\\server\\share\\b", 15},
        {u"nul.txt", u"\\\\.\\nul", 4},
        {u"D:\\a\\CONOUT$", u"\\\\.\\CONOUT$", 4},
        {u"Com1 .log", u"\\\\.\\Com1", 4},
        {u"nul\\x", u"C:\\work\\nul\\x", 12},
        {u"\\\\.\\C:\\a\\..\\b", u"\\\\.\\C:\\b", 7},
    };
    for (const Row &row : rows) {
        WCHAR buffer[64] = {};
        LPWSTR filePart = nullptr;
        std::u16string full = row.full;
        DWORD length = GetFullPathNameW(row.name, 64, buffer, &filePart);
        EXPECT_EQ(std::u16string(buffer), full) << sim::U8(row.name);
        EXPECT_EQ(length, full.size()) << sim::U8(row.name);
        EXPECT_EQ(filePart == nullptr ? -1 : (int)(filePart - buffer), row.filePart)
            << sim::U8(row.name);
    }
    // Too small: the size needed, terminator included; nothing written.
    WCHAR small[8] = {u'#', 0};
    EXPECT_EQ(GetFullPathNameW(u"x.glim", 8, small, nullptr), 15u);
    EXPECT_EQ(small[0], u'#');
    EXPECT_EQ(GetFullPathNameW(u"", 8, small, nullptr), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
    WCHAR exact[14];
    EXPECT_EQ(GetCurrentDirectoryW(7, exact), 8u);
    EXPECT_EQ(GetCurrentDirectoryW(8, exact), 7u);
    EXPECT_EQ(std::u16string(exact), u"C:\\work");
}

TEST_F(FilesTest, DeletingMovingAndMakingDirectoriesGiveWindowsErrors) {
    struct Row {
        const char *what;
        BOOL result;
        DWORD error; // when the result is FALSE
    };
    sim::MakeFile(u"C:\\a.txt", "a");
    sim::MakeFile(u"C:\\b.txt", "b");
    sim::MakeFile(u"C:\\ro.txt", "r", FILE_ATTRIBUTE_READONLY);
    sim::MakeFile(u"C:\\full\\f.txt", "f");
    sim::MakeDirectory(u"C:\\empty");
    sim::MakeFile(u"C:\\closed\\c.txt", "c");
    sim::SetRefusesNewEntries(u"C:\\closed");
    sim::MakeFile(u"C:\\held.txt", "h");
    sim::HoldOpen(u"C:\\held.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    HANDLE open = Open(u"C:\\b.txt", GENERIC_READ, OPEN_EXISTING);
    const Row rows[] = {
        {"move into a directory that refuses new entries",
         MoveFileExW(u"C:\\a.txt", u"C:\\closed\\a.txt", 0), ERROR_ACCESS_DENIED},
        {"rename in it", MoveFileExW(u"C:\\closed\\c.txt", u"C:\\closed\\d.txt", 0),
         ERROR_ACCESS_DENIED},
        {"make a directory in it", CreateDirectoryW(u"C:\\closed\\sub", nullptr),
         ERROR_ACCESS_DENIED},
        {"move over a file another program holds",
         MoveFileExW(u"C:\\a.txt", u"C:\\held.txt", MOVEFILE_REPLACE_EXISTING),
         ERROR_ACCESS_DENIED},
        {"delete it", DeleteFileW(u"C:\\held.txt"), ERROR_SHARING_VIOLATION},
        {"delete a file of that directory", DeleteFileW(u"C:\\closed\\c.txt"), 0},
        {"delete missing", DeleteFileW(u"C:\\none.txt"), ERROR_FILE_NOT_FOUND},
        {"delete in missing dir", DeleteFileW(u"C:\\nodir\\x"), ERROR_PATH_NOT_FOUND},
        {"delete directory", DeleteFileW(u"C:\\empty"), ERROR_ACCESS_DENIED},
        {"delete read-only", DeleteFileW(u"C:\\ro.txt"), ERROR_ACCESS_DENIED},
        {"delete open file", DeleteFileW(u"C:\\b.txt"), ERROR_SHARING_VIOLATION},
        {"move onto existing", MoveFileExW(u"C:\\a.txt", u"C:\\ro.txt", 0), ERROR_ALREADY_EXISTS},
        {"move missing", MoveFileExW(u"C:\\none", u"C:\\x", 0), ERROR_FILE_NOT_FOUND},
        {"move across drives", MoveFileExW(u"C:\\a.txt", u"Q:\\a.txt", 0), ERROR_PATH_NOT_FOUND},
        {"make existing dir", CreateDirectoryW(u"C:\\empty", nullptr), ERROR_ALREADY_EXISTS},
        {"make in missing dir", CreateDirectoryW(u"C:\\x\\y", nullptr), ERROR_PATH_NOT_FOUND},
        {"remove full dir", RemoveDirectoryW(u"C:\\full"), ERROR_DIR_NOT_EMPTY},
        {"remove a file", RemoveDirectoryW(u"C:\\a.txt"), ERROR_DIRECTORY},
        {"remove missing", RemoveDirectoryW(u"C:\\nothing"), ERROR_FILE_NOT_FOUND},
        {"move replacing", MoveFileExW(u"C:\\a.txt", u"C:\\full\\f.txt", MOVEFILE_REPLACE_EXISTING),
         0},
        {"make dir", CreateDirectoryW(u"C:\\new", nullptr), 0},
        {"remove empty dir", RemoveDirectoryW(u"C:\\empty"), 0},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(row.result, row.error == 0 ? TRUE : FALSE) << row.what;
    }
    CloseHandle(open);
    EXPECT_EQ(sim::FileBytes(u"C:\\full\\f.txt"), std::vector<uint8_t>{'a'});
    EXPECT_FALSE(sim::Exists(u"C:\\a.txt"));
    EXPECT_EQ(sim::ListDirectory(u"C:\\"),
              std::vector<std::u16string>(
                  {u"b.txt", u"ro.txt", u"full", u"closed", u"held.txt", u"new"}));
    sim::ReleaseHeld(u"C:\\held.txt");
    EXPECT_TRUE(DeleteFileW(u"C:\\held.txt"));
}

// A link to a file leads to that file's bytes, but is itself what a
// listing shows and what a deletion or a replacing move takes away; a hard
// link is one more name of the same file.
TEST_F(FilesTest, LinksToFilesAndHardLinksLeadToTheFileTheyName) {
    sim::MakeFile(u"C:\\d\\file.txt", "file");
    sim::MakeFileLink(u"C:\\d\\link.txt", u"C:\\d\\file.txt");
    sim::MakeHardLink(u"C:\\d\\hard.txt", u"C:\\d\\file.txt");
    sim::MakeFile(u"C:\\d\\new.txt", "new");
    EXPECT_EQ(GetFileAttributesW(u"C:\\d\\link.txt"),
              (DWORD)(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW(u"C:\\d\\hard.txt"), (DWORD)FILE_ATTRIBUTE_NORMAL);

    struct Row {
        const char16_t *name;
        const char16_t *finalPath;
        DWORD links;
    };
    const Row rows[] = {
        {u"C:\\d\\file.txt", u"\\\\?\\C:\\d\\file.txt", 2},
        {u"C:\\D\\LINK.TXT", u"\\\\?\\C:\\d\\file.txt", 2},
        {u"C:\\d\\hard.txt", u"\\\\?\\C:\\d\\hard.txt", 2},
        {u"C:\\d\\new.txt", u"\\\\?\\C:\\d\\new.txt", 1},
        {u"\\\\?\\C:\\d", u"\\\\?\\C:\\d", 1},
        {u"C:\\", u"\\\\?\\C:\\", 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(sim::U8(row.name));
        HANDLE file = Open(row.name, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                           FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        WCHAR path[64] = {u'#', 0};
        std::u16string expected = row.finalPath;
        EXPECT_EQ(GetFinalPathNameByHandleW(file, path, 4, 0), expected.size() + 1);
        EXPECT_EQ(path[0], u'#');
        EXPECT_EQ(GetFinalPathNameByHandleW(file, path, 64, 0), expected.size());
        EXPECT_EQ(std::u16string(path), expected);
        BY_HANDLE_FILE_INFORMATION info;
        ASSERT_TRUE(GetFileInformationByHandle(file, &info));
        EXPECT_EQ(info.nNumberOfLinks, row.links);
        CloseHandle(file);
    }

    // Written through one name, read through every other.
    HANDLE file = Open(u"C:\\d\\link.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "FILE!", 5, &written, nullptr));
    CloseHandle(file);
    const std::vector<uint8_t> five = {'F', 'I', 'L', 'E', '!'};
    EXPECT_EQ(sim::FileBytes(u"C:\\d\\file.txt"), five);
    EXPECT_EQ(sim::FileBytes(u"C:\\d\\hard.txt"), five);

    // A move over the link replaces the link, not its file; the first name
    // removed leaves the file under its hard link.
    ASSERT_TRUE(MoveFileExW(u"C:\\d\\new.txt", u"C:\\d\\link.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetFileAttributesW(u"C:\\d\\link.txt"), (DWORD)FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(sim::FileBytes(u"C:\\d\\link.txt"), std::vector<uint8_t>({'n', 'e', 'w'}));
    EXPECT_EQ(sim::FileBytes(u"C:\\d\\file.txt"), five);
    ASSERT_TRUE(DeleteFileW(u"C:\\d\\file.txt"));
    EXPECT_EQ(sim::FileBytes(u"C:\\d\\hard.txt"), five);
    file = Open(u"C:\\d\\hard.txt", GENERIC_READ, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(file, &info));
    EXPECT_EQ(info.nNumberOfLinks, 1u);
    CloseHandle(file);
    sim::MakeFileLink(u"C:\\d\\gone.txt", u"C:\\d\\hard.txt");
    ASSERT_TRUE(DeleteFileW(u"C:\\d\\gone.txt"));
    EXPECT_EQ(sim::ListDirectory(u"C:\\d"),
              std::vector<std::u16string>({u"hard.txt", u"link.txt"}));
    EXPECT_EQ(RemoveDirectoryW(u"C:\\d\\link.txt"), FALSE);
    EXPECT_EQ(sim::OpenHandles(), 0);
}

// The devices CreateFileW opens by name, what GetFileType says of them, and
// what reading and writing NUL does.
TEST_F(FilesTest, DevicesOpenByNameAsWindowsOpensThem) {
    sim::MakeDirectory(u"C:\\work");
    sim::SetCurrentDirectory(u"C:\\work");
    sim::SetPortPresent(u"COM1");
    sim::MakePipe(u"glim");
    struct Row {
        const char16_t *name;
        DWORD access;
        DWORD type; // FILE_TYPE_UNKNOWN: the open fails
        DWORD error;
    };
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE, RW = R | W;
    const Row rows[] = {
        {u"NUL", RW, FILE_TYPE_CHAR, 0},
        {u"nul.txt", RW, FILE_TYPE_CHAR, 0},
        {u"C:\\any\\where\\NUL", R, FILE_TYPE_CHAR, 0},
        {u"\\\\.\\NUL", W, FILE_TYPE_CHAR, 0},
        {u"CON", R, FILE_TYPE_CHAR, 0},
        {u"con", W, FILE_TYPE_CHAR, 0},
        {u"CON", RW, FILE_TYPE_UNKNOWN, ERROR_FILE_NOT_FOUND},
        {u"CONIN$", R, FILE_TYPE_CHAR, 0},
        {u"\\\\.\\CONIN$", RW, FILE_TYPE_CHAR, 0},
        {u"CONOUT$", RW, FILE_TYPE_CHAR, 0},
        {u"\\\\.\\conout$", RW, FILE_TYPE_CHAR, 0},
        {u"AUX", R, FILE_TYPE_CHAR, 0},
        {u"\\\\.\\COM1", RW, FILE_TYPE_CHAR, 0},
        {u"COM2", R, FILE_TYPE_UNKNOWN, ERROR_FILE_NOT_FOUND},
        {u"LPT1", W, FILE_TYPE_UNKNOWN, ERROR_FILE_NOT_FOUND},
        {u"\\\\.\\pipe\\GLIM", RW, FILE_TYPE_PIPE, 0},
        {u"\\\\.\\pipe\\other", R, FILE_TYPE_UNKNOWN, ERROR_FILE_NOT_FOUND},
        {u"\\\\.\\nothing", R, FILE_TYPE_UNKNOWN, ERROR_FILE_NOT_FOUND},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(sim::U8(row.name));
        SetLastError(1234);
        HANDLE device = Open(row.name, row.access, CREATE_NEW);
        if (row.type == FILE_TYPE_UNKNOWN) {
            EXPECT_EQ(device, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), row.error);
            continue;
        }
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetFileType(device), row.type);
        BY_HANDLE_FILE_INFORMATION info;
        EXPECT_FALSE(GetFileInformationByHandle(device, &info));
        EXPECT_TRUE(CloseHandle(device));
    }
    EXPECT_FALSE(sim::Exists(u"C:\\work\\nul.txt"));
    EXPECT_EQ(sim::OpenHandles(), 0);

    // A port opens once at a time.
    HANDLE port = Open(u"COM1", RW, OPEN_EXISTING);
    EXPECT_EQ(Open(u"AUX", RW, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    CloseHandle(port);

    // The names as typed are there; a device path is no file of a volume.
    EXPECT_EQ(GetFileAttributesW(u"NUL"), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(GetFileAttributesW(u"C:\\work\\con.glim"), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(GetFileAttributesW(u"\\\\.\\NUL"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_BAD_DEV_TYPE);

    HANDLE nul = Open(u"NUL", RW, OPEN_EXISTING);
    char buffer[4] = {};
    DWORD count = 99;
    EXPECT_TRUE(ReadFile(nul, buffer, 4, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(WriteFile(nul, "abc", 3, &count, nullptr));
    EXPECT_EQ(count, 3u);
    CloseHandle(nul);

    // Without a console there is no console input either.
    sim::Console().present = false;
    EXPECT_EQ(Open(u"CONIN$", R, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

// Each step renames, deletes or makes an entry; after it the directory
// lists in its order (a rename that changes only the case keeps its place,
// any other rename or a new entry goes to the end), and at the end every
// name is found under any case exactly when it should be.
TEST_F(FilesTest, NamesAreFoundWithoutCaseAfterRenamesAndDeletions) {
    sim::MakeFile(u"C:\\D\\Report.TXT", "r");
    sim::MakeFile(u"C:\\D\\b.txt", "b");
    sim::MakeFile(u"C:\\D\\c.txt", "c");
    struct Row {
        const char *what;
        BOOL (*step)();
        std::vector<std::u16string> listing;
    };
    const Row rows[] = {
        {"case only",
         [] { return MoveFileExW(u"C:\\d\\report.txt", u"C:\\D\\REPORT.txt", 0); },
         {u"REPORT.txt", u"b.txt", u"c.txt"}},
        {"new name",
         [] { return MoveFileExW(u"C:\\D\\report.TXT", u"C:\\D\\Other.txt", 0); },
         {u"b.txt", u"c.txt", u"Other.txt"}},
        {"old name again",
         [] { return CreateDirectoryW(u"C:\\D\\rePort.txt", nullptr); },
         {u"b.txt", u"c.txt", u"Other.txt", u"rePort.txt"}},
        {"delete",
         [] { return DeleteFileW(u"C:\\D\\B.TXT"); },
         {u"c.txt", u"Other.txt", u"rePort.txt"}},
        {"into a subdirectory",
         [] { return MoveFileExW(u"C:\\D\\C.txt", u"C:\\D\\report.txt\\C.Txt", 0); },
         {u"Other.txt", u"rePort.txt"}},
        {"deleted name made anew",
         [] {
             HANDLE file =
                 CreateFileW(u"C:\\D\\b.TXT", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
             return file != INVALID_HANDLE_VALUE && CloseHandle(file) ? TRUE : FALSE;
         },
         {u"Other.txt", u"rePort.txt", u"b.TXT"}},
    };
    for (const Row &row : rows) {
        EXPECT_TRUE(row.step()) << row.what;
        EXPECT_EQ(sim::ListDirectory(u"C:\\D"), row.listing) << row.what;
    }
    struct Lookup {
        const char16_t *path;
        DWORD attributes;
    };
    const Lookup lookups[] = {
        {u"C:\\D\\OTHER.TXT", FILE_ATTRIBUTE_NORMAL},
        {u"C:\\D\\REPORT.TXT", FILE_ATTRIBUTE_DIRECTORY},
        {u"C:\\D\\report.txt\\c.TXT", FILE_ATTRIBUTE_NORMAL},
        {u"C:\\D\\B.txt", FILE_ATTRIBUTE_ARCHIVE},
        {u"C:\\D\\c.txt", INVALID_FILE_ATTRIBUTES},
    };
    for (const Lookup &lookup : lookups) {
        EXPECT_EQ(GetFileAttributesW(lookup.path), lookup.attributes) << sim::U8(lookup.path);
    }
    EXPECT_EQ(sim::ListDirectory(u"C:\\D\\Report.txt"), std::vector<std::u16string>{u"C.Txt"});
}

// Thousands of names in one directory, made out of order and with Latin-1
// letters: each is found under another case, none is found that was not
// made, and the listing keeps the order they were made in.
TEST_F(FilesTest, LargeDirectoryFindsEveryNameAndListsInCreationOrder) {
    std::vector<std::u16string> made;
    for (int i = 0; i < 3000; i++) {
        std::u16string name = sim::U16("F" + std::to_string(i * 7919 % 3000)) +
                              (i % 2 == 0 ? u"\u00C9.glim" : u"\u00E9x.glim");
        made.push_back(name);
        sim::MakeFile(u"C:\\Big\\" + name, "");
    }
    EXPECT_EQ(sim::ListDirectory(u"C:\\Big"), made);
    for (const std::u16string &name : made) {
        std::u16string other = name;
        for (char16_t &c : other) {
            c = c == u'F' ? u'f' : c == 0xC9 ? 0xE9 : c == 0xE9 ? 0xC9 : c;
        }
        EXPECT_EQ(GetFileAttributesW((u"C:\\BIG\\" + other).c_str()), (DWORD)FILE_ATTRIBUTE_NORMAL)
            << sim::U8(other);
    }
    EXPECT_EQ(GetFileAttributesW(u"C:\\Big\\F3000\u00C9.glim"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, EachFailingCallSetsItsOwnError) {
    sim::MakeFile(u"C:\\a.txt", "a");
    sim::MakeFile(u"C:\\full\\f.txt", "f");
    sim::MakeDirectory(u"D:\\");
    struct Row {
        const char *what;
        BOOL (*call)();
        DWORD error;
    };
    const Row rows[] = {
        {"delete missing", [] { return DeleteFileW(u"C:\\none.txt"); }, ERROR_FILE_NOT_FOUND},
        {"delete in missing dir", [] { return DeleteFileW(u"C:\\no\\x"); }, ERROR_PATH_NOT_FOUND},
        {"delete directory", [] { return DeleteFileW(u"C:\\full"); }, ERROR_ACCESS_DENIED},
        {"move onto existing", [] { return MoveFileExW(u"C:\\a.txt", u"C:\\full\\f.txt", 0); },
         ERROR_ALREADY_EXISTS},
        {"make existing", [] { return CreateDirectoryW(u"C:\\full", nullptr); },
         ERROR_ALREADY_EXISTS},
        {"remove full", [] { return RemoveDirectoryW(u"C:\\full"); }, ERROR_DIR_NOT_EMPTY},
        {"remove file", [] { return RemoveDirectoryW(u"C:\\a.txt"); }, ERROR_DIRECTORY},
        {"cd to file", [] { return SetCurrentDirectoryW(u"C:\\a.txt"); }, ERROR_DIRECTORY},
        {"cd to missing", [] { return SetCurrentDirectoryW(u"C:\\none"); }, ERROR_FILE_NOT_FOUND},
        {"move across drives", [] { return MoveFileExW(u"C:\\a.txt", u"D:\\a.txt", 0); },
         ERROR_NOT_SAME_DEVICE},
    };
    for (const Row &row : rows) {
        SetLastError(0);
        EXPECT_FALSE(row.call()) << row.what;
        EXPECT_EQ(GetLastError(), row.error) << row.what;
    }
}

TEST_F(FilesTest, EnvironmentNamesIgnoreCase) {
    sim::SetEnv(u"Path", u"C:\\bin");
    WCHAR buffer[16];
    EXPECT_EQ(GetEnvironmentVariableW(u"PATH", buffer, 16), 6u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\bin");
    EXPECT_EQ(GetEnvironmentVariableW(u"path", buffer, 6), 7u); // too small: size needed
    EXPECT_EQ(GetEnvironmentVariableW(u"none", buffer, 16), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ENVVAR_NOT_FOUND);
    EXPECT_TRUE(SetEnvironmentVariableW(u"path", nullptr));
    EXPECT_EQ(GetEnvironmentVariableW(u"Path", buffer, 16), 0u);
}

TEST_F(FilesTest, HandlesAreCountedUntilClosedTheRightWay) {
    sim::MakeFile(u"C:\\f.bin", "x");
    HANDLE file = Open(u"C:\\f.bin", GENERIC_READ, OPEN_EXISTING);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(u"C:\\*", &data);
    EXPECT_EQ(sim::OpenHandles(), 2);
    EXPECT_FALSE(FindClose(file)); // a file is not a search
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(find)); // nor a search a file
    EXPECT_EQ(sim::OpenHandles(), 2);
    EXPECT_TRUE(FindClose(find));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file)); // closed twice
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(sim::OpenHandles(), 0);
}

} // namespace
