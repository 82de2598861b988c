// restore_test.cpp (Windows): restoring into the real console. A screen is
// saved with glim, the console changed, and glim /R must bring back every
// cell, the cursor, the buffer size and the code pages; a composed SAVECON
// file restores likewise; a damaged file leaves the console as it was.
// Error messages are sent to a file so that they do not land in the
// console under test.
#include "tests/wine/wintest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ConsoleImage {
    CONSOLE_SCREEN_BUFFER_INFO info;
    UINT inputCodePage, outputCodePage;
    std::vector<WORD> characters, attributes;
};

ConsoleImage TakeImage() {
    ConsoleImage image;
    image.info = wintest::ConsoleInfo();
    image.inputCodePage = GetConsoleCP();
    image.outputCodePage = GetConsoleOutputCP();
    wintest::ConsoleRead(image.characters, image.attributes);
    return image;
}

// Cells that differ from their neighbours, in `seed`'s own pattern.
void FillPattern(int columns, int rows, int seed) {
    static const char cycle[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    size_t count = (size_t)columns * (size_t)rows;
    std::vector<WORD> characters(count), attributes(count);
    for (size_t i = 0; i < count; i++) {
        size_t row = i / (size_t)columns;
        characters[i] = (WORD)cycle[(i + row + (size_t)seed) % (sizeof cycle - 1)];
        attributes[i] = (WORD)(((row + (size_t)seed) % 15 + 1) << 4 | (i % 7));
    }
    wintest::ConsoleFill(characters, attributes);
}

void PutWord(std::vector<unsigned char> &bytes, size_t offset, unsigned value) {
    bytes[offset] = (unsigned char)(value & 0xFF);
    bytes[offset + 1] = (unsigned char)((value >> 8) & 0xFF);
}

class RestoreWine : public ::testing::Test {
  protected:
    void SetUp() override {
        // Loading the plugin prints its load line into the console: done
        // before any screen is composed.
        wintest::LoadedPlugin();
        original = TakeImage();
        directory = wintest::ScratchDirectory(L"restore");
        errors = directory + L"stderr.txt";
    }
    void TearDown() override {
        const SMALL_RECT &w = original.info.srWindow;
        wintest::ConsoleResize(original.info.dwSize.X, original.info.dwSize.Y,
                               w.Bottom - w.Top + 1);
        SetConsoleCP(original.inputCodePage);
        SetConsoleOutputCP(original.outputCodePage);
    }
    // Runs glim with standard error sent to a file; returns its result.
    int GlimQuietly(const std::wstring &tail) {
        return wintest::GlimWithErrorsIn(tail, errors);
    }
    std::string ErrorText() {
        std::vector<unsigned char> bytes;
        wintest::ReadBytes(errors, bytes);
        return std::string(bytes.begin(), bytes.end());
    }
    void SetCursor(int column, int row) {
        COORD at = {(SHORT)column, (SHORT)row};
        SetConsoleCursorPosition(wintest::Console(), at);
    }
    void ExpectSameScreen(const ConsoleImage &now, const ConsoleImage &then) {
        EXPECT_EQ(now.info.dwSize.X, then.info.dwSize.X);
        EXPECT_EQ(now.info.dwSize.Y, then.info.dwSize.Y);
        EXPECT_EQ(now.info.dwCursorPosition.X, then.info.dwCursorPosition.X);
        EXPECT_EQ(now.info.dwCursorPosition.Y, then.info.dwCursorPosition.Y);
        EXPECT_EQ(now.inputCodePage, then.inputCodePage);
        EXPECT_EQ(now.outputCodePage, then.outputCodePage);
        EXPECT_TRUE(now.characters == then.characters);
        EXPECT_TRUE(now.attributes == then.attributes);
    }
    // Saves a known screen of 100 x 200 cells (window 30 rows, cursor on
    // row 150, code pages 850) into `name`; returns what the console held.
    ConsoleImage SaveKnownScreen(const std::wstring &name) {
        wintest::ConsoleResize(100, 200, 30);
        FillPattern(100, 200, 1);
        SetCursor(7, 150);
        SetConsoleTextAttribute(wintest::Console(), 0x1E);
        SetConsoleCP(850);
        SetConsoleOutputCP(850);
        ConsoleImage saved = TakeImage();
        EXPECT_EQ(GlimQuietly(L"/Q \"" + name + L"\""), 0) << ErrorText();
        return saved;
    }
    // Something else on screen: other cells, size, cursor and code pages.
    void ChangeConsole() {
        wintest::ConsoleResize(80, 120, 25);
        FillPattern(80, 120, 5);
        SetCursor(3, 60);
        SetConsoleCP(437);
        SetConsoleOutputCP(437);
    }
    ConsoleImage original;
    std::wstring directory, errors;
};

TEST_F(RestoreWine, RestoreBringsBackTheSavedScreen) {
    std::wstring name = directory + L"a.glim";
    ConsoleImage saved = SaveKnownScreen(name);
    ChangeConsole();
    ASSERT_EQ(GlimQuietly(L"/R /Q \"" + name + L"\""), 0) << ErrorText();
    ConsoleImage now = TakeImage();
    ExpectSameScreen(now, saved);
    // The saved window height, ending on the cursor's row.
    EXPECT_EQ(now.info.srWindow.Bottom, 150);
    EXPECT_EQ(now.info.srWindow.Bottom - now.info.srWindow.Top + 1, 30);
    EXPECT_EQ(now.info.srWindow.Right - now.info.srWindow.Left + 1, 100);
    EXPECT_EQ(now.info.wAttributes & 0xFF, 0x1E);
}

TEST_F(RestoreWine, RestoreOfTheSameSizeKeepsTheWindowHeight) {
    std::wstring name = directory + L"same.glim";
    ConsoleImage saved = SaveKnownScreen(name);
    wintest::ConsoleResize(100, 200, 20);
    FillPattern(100, 200, 9);
    ASSERT_EQ(GlimQuietly(L"/R /Q \"" + name + L"\""), 0) << ErrorText();
    ConsoleImage now = TakeImage();
    ExpectSameScreen(now, saved);
    EXPECT_EQ(now.info.srWindow.Bottom, 150);
    EXPECT_EQ(now.info.srWindow.Bottom - now.info.srWindow.Top + 1, 20);
}

TEST_F(RestoreWine, ComposedSaveconFileIsRestored) {
    const int columns = 90, rows = 150;
    std::vector<unsigned char> bytes(22, 0);
    PutWord(bytes, 0, columns);
    PutWord(bytes, 2, rows);
    PutWord(bytes, 4, 11);  // cursor column
    PutWord(bytes, 6, 120); // cursor row
    PutWord(bytes, 8, 0x0017);
    PutWord(bytes, 10, 0);
    PutWord(bytes, 12, 93);
    PutWord(bytes, 14, columns - 1);
    PutWord(bytes, 16, 120); // a window of 28 rows
    PutWord(bytes, 18, columns);
    PutWord(bytes, 20, 28);
    std::vector<WORD> characters, attributes;
    for (int i = 0; i < columns * rows; i++) {
        WORD ch = (WORD)(0x0410 + i % 32); // Cyrillic, from byte 22 on
        WORD at = (WORD)(0x20 + (i / columns) % 0x50);
        characters.push_back(ch);
        attributes.push_back(at);
        bytes.push_back((unsigned char)(ch & 0xFF));
        bytes.push_back((unsigned char)(ch >> 8));
        bytes.push_back((unsigned char)(at & 0xFF));
        bytes.push_back((unsigned char)(at >> 8));
    }
    std::wstring name = directory + L"screen.sav";
    ASSERT_TRUE(wintest::WriteBytes(name, bytes));
    ChangeConsole();
    SetConsoleCP(850);
    SetConsoleOutputCP(852);

    ASSERT_EQ(GlimQuietly(L"/R /Q \"" + name + L"\""), 0) << ErrorText();
    ConsoleImage now = TakeImage();
    EXPECT_EQ(now.info.dwSize.X, columns);
    EXPECT_EQ(now.info.dwSize.Y, rows);
    EXPECT_EQ(now.info.dwCursorPosition.X, 11);
    EXPECT_EQ(now.info.dwCursorPosition.Y, 120);
    EXPECT_TRUE(now.characters == characters);
    EXPECT_TRUE(now.attributes == attributes);
    EXPECT_EQ(now.info.srWindow.Bottom, 120);
    EXPECT_EQ(now.info.srWindow.Bottom - now.info.srWindow.Top + 1, 28);
    // SAVECON files carry no code pages.
    EXPECT_EQ(now.inputCodePage, 850u);
    EXPECT_EQ(now.outputCodePage, 852u);
}

TEST_F(RestoreWine, DamagedFileLeavesTheConsoleAsItWas) {
    std::wstring name = directory + L"good.glim";
    SaveKnownScreen(name);
    std::vector<unsigned char> good;
    ASSERT_TRUE(wintest::ReadBytes(name, good));
    ASSERT_GT(good.size(), 100u);

    std::vector<unsigned char> badCrc = good;
    badCrc[44] ^= 0x01;
    std::vector<unsigned char> truncated(good.begin(), good.begin() + 80 + (good.size() - 80) / 2);
    struct Row {
        const wchar_t *file;
        std::vector<unsigned char> bytes;
        const char *message;
    };
    const Row rows[] = {
        {L"crc.glim", badCrc, "CRC32 mismatch\r\n"},
        {L"cut.glim", truncated, "Error reading from file"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.message);
        std::wstring damaged = directory + row.file;
        ASSERT_TRUE(wintest::WriteBytes(damaged, row.bytes));
        ChangeConsole();
        ConsoleImage before = TakeImage();
        EXPECT_EQ(GlimQuietly(L"/R /Q \"" + damaged + L"\""), 2);
        EXPECT_NE(ErrorText().find(row.message), std::string::npos) << ErrorText();
        ConsoleImage now = TakeImage();
        ExpectSameScreen(now, before);
        EXPECT_EQ(now.info.srWindow.Top, before.info.srWindow.Top);
        EXPECT_EQ(now.info.srWindow.Bottom, before.info.srWindow.Bottom);
        EXPECT_EQ(now.info.srWindow.Right, before.info.srWindow.Right);
    }
}

// A name that opens a device is refused at once, without waiting for keys
// or data, and the console stays as it was.
TEST_F(RestoreWine, DeviceNamesAreRefusedAtOnce) {
    const wchar_t *names[] = {L"CON", L"CONIN$", L"\\\\.\\CONIN$", L"CONOUT$", L"NUL", L"AUX"};
    ChangeConsole();
    for (const wchar_t *name : names) {
        SCOPED_TRACE(::testing::Message() << name);
        ConsoleImage before = TakeImage();
        DWORD start = GetTickCount();
        EXPECT_EQ(GlimQuietly(std::wstring(L"/R /Q ") + name), 2);
        EXPECT_LT(GetTickCount() - start, 10000u);
        EXPECT_NE(ErrorText().find("Glimpset plugin: "), std::string::npos) << ErrorText();
        ExpectSameScreen(TakeImage(), before);
    }
    EXPECT_EQ(GlimQuietly(L"/R /Q CON"), 2);
    EXPECT_NE(ErrorText().find("is not a file on disk."), std::string::npos) << ErrorText();
}

// A file saved with a window of one row restores with the current height,
// so that the next restore can still measure the window.
TEST_F(RestoreWine, WindowOfOneRowLeavesTheNextRestoreWorking) {
    std::wstring name = directory + L"low.glim";
    ConsoleImage saved = SaveKnownScreen(name);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(wintest::ReadBytes(name, bytes));
    PutWord(bytes, 40, 1); // the window height; the checksum covers the cells only
    ASSERT_TRUE(wintest::WriteBytes(name, bytes));
    ChangeConsole();
    ASSERT_EQ(GlimQuietly(L"/R /Q \"" + name + L"\""), 0) << ErrorText();
    ConsoleImage now = TakeImage();
    EXPECT_GE(now.info.srWindow.Bottom - now.info.srWindow.Top + 1, 2);
    ChangeConsole();
    ASSERT_EQ(GlimQuietly(L"/R /Q \"" + name + L"\""), 0) << ErrorText();
    ExpectSameScreen(TakeImage(), saved);
}

// A long-path prefix is a path, not a wildcard.
TEST_F(RestoreWine, LongPathPrefixedNameRestores) {
    std::wstring name = directory + L"long.glim";
    ConsoleImage saved = SaveKnownScreen(name);
    ChangeConsole();
    ASSERT_EQ(GlimQuietly(L"/R /Q \\\\?\\" + name), 0) << ErrorText();
    ExpectSameScreen(TakeImage(), saved);
}

} // namespace
