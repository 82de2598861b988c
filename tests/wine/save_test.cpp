// Tests of the save on a real console (under Wine): the file written for a
// known screen (header fields, checksum, cells decoded back), a default name
// in the current directory, the refusal of an existing file and its
// replacement with /O (a long name, a second name, a file held open
// elsewhere), the refusal of a device, and the value of _lastglim after
// each.
#include "tests/support/consolecells.h"
#include "tests/wine/wintest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

WORD Word(const Bytes &bytes, size_t at) {
    return static_cast<WORD>(bytes[at] | (bytes[at + 1] << 8));
}

DWORD Dword(const Bytes &bytes, size_t at) {
    return static_cast<DWORD>(Word(bytes, at)) | (static_cast<DWORD>(Word(bytes, at + 2)) << 16);
}

// The standard CRC-32 over each cell's character and attribute words.
DWORD CellsCrc(const std::vector<WORD> &characters, const std::vector<WORD> &attributes) {
    DWORD crc = 0xFFFFFFFF;
    auto feed = [&crc](unsigned char byte) {
        crc ^= byte;
        for (int bit = 0; bit < 8; bit++) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
        }
    };
    for (size_t i = 0; i < characters.size(); i++) {
        feed(static_cast<unsigned char>(characters[i] & 0xFF));
        feed(static_cast<unsigned char>(characters[i] >> 8));
        feed(static_cast<unsigned char>(attributes[i] & 0xFF));
        feed(static_cast<unsigned char>(attributes[i] >> 8));
    }
    return ~crc;
}

// The cells of a saved file, read back from its token stream. False when
// the stream ends before the last cell.
bool Decode(const Bytes &file, std::vector<WORD> &characters, std::vector<WORD> &attributes) {
    size_t count = static_cast<size_t>(Word(file, 22)) * Word(file, 24);
    characters.assign(count, 0);
    attributes.assign(count, 0);
    WORD current = Word(file, 30);
    size_t at = 80;
    size_t cell = 0;
    auto next = [&](WORD &word) {
        if (at + 1 >= file.size())
            return false;
        word = Word(file, at);
        at += 2;
        return true;
    };
    auto fill = [&](size_t n, WORD ch) {
        for (; n > 0 && cell < count; n--, cell++) {
            characters[cell] = ch;
            attributes[cell] = current;
        }
    };
    WORD word = 0, operand = 0, ch = 0;
    while (cell < count) {
        if (!next(word))
            return false;
        switch (word) {
        case 0xFFF9:
            if (!next(operand) || !next(ch))
                return false;
            fill(operand == 0 ? 65536 : operand, ch);
            break;
        case 0xFFFA:
            if (!next(operand))
                return false;
            fill(operand == 0 ? 65536 : operand, 0x20);
            break;
        case 0xFFFB:
            if (!next(ch))
                return false;
            fill(1, ch);
            break;
        case 0xFFFC:
            if (!next(current))
                return false;
            break;
        case 0xFFFD:
            fill(count - cell, 0x20);
            break;
        default:
            fill(1, word);
        }
    }
    return true;
}

// Puts the console back as the tests found it.
class SaveOnConsole : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = wintest::ConsoleInfo();
        inputCodePage = GetConsoleCP();
        outputCodePage = GetConsoleOutputCP();
        GetCurrentDirectoryW(MAX_PATH, directory);
    }
    void TearDown() override {
        SetCurrentDirectoryW(directory);
        SetConsoleCP(inputCodePage);
        SetConsoleOutputCP(outputCodePage);
        SetConsoleTextAttribute(wintest::Console(), saved.wAttributes);
        wintest::ConsoleResize(saved.dwSize.X, saved.dwSize.Y,
                               saved.srWindow.Bottom - saved.srWindow.Top + 1);
    }
    CONSOLE_SCREEN_BUFFER_INFO saved;
    UINT inputCodePage = 0;
    UINT outputCodePage = 0;
    WCHAR directory[MAX_PATH];
};

// A known screen: letters, runs, blanks, token-word characters, and
// attributes with high-byte flags.
void FillKnownScreen(int columns, int rows) {
    std::vector<WORD> characters(static_cast<size_t>(columns) * rows, 0x20);
    std::vector<WORD> attributes(characters.size(), 0x07);
    for (size_t i = 0; i < characters.size() / 2; i++) {
        characters[i] = static_cast<WORD>(i % 7 == 0 ? 0x20 : 'A' + i % 26);
        attributes[i] = static_cast<WORD>((i / 80) % 16 << 4 | (i % 15 + 1));
    }
    for (size_t i = 200; i < 260; i++) {
        characters[i] = '=';
        attributes[i] = 0x0A;
    }
    const WORD specials[] = {0xFFFD, 0xFFF0, 0xFFFF, 0xFFF9, 0xFFFB};
    for (size_t i = 0; i < sizeof specials / sizeof specials[0]; i++) {
        characters[400 + i] = specials[i];
    }
    attributes[500] = 0x8007;
    attributes[501] = 0x4000 | 0x1E;
    wintest::ConsoleFill(characters, attributes);
}

TEST_F(SaveOnConsole, FileHoldsTheConsoleAsItWas) {
    wintest::ConsoleResize(80, 50, 25);
    FillKnownScreen(80, 50);
    COORD cursor = {17, 33};
    SetConsoleCursorPosition(wintest::Console(), cursor);
    SetConsoleTextAttribute(wintest::Console(), 0x1E);
    SetConsoleCP(850);
    SetConsoleOutputCP(850);
    std::vector<WORD> characters, attributes;
    wintest::ConsoleRead(characters, attributes);
    CONSOLE_SCREEN_BUFFER_INFO info = wintest::ConsoleInfo();
    UINT input = GetConsoleCP();
    UINT output = GetConsoleOutputCP();

    std::wstring dir = wintest::ScratchDirectory(L"save-known");
    ASSERT_EQ(0, wintest::Glim(L"/Q \"" + dir + L"a.glim\""));

    Bytes file;
    ASSERT_TRUE(wintest::ReadBytes(dir + L"a.glim", file));
    ASSERT_GE(file.size(), 80u);
    EXPECT_EQ("Glimpset", std::string(file.begin(), file.begin() + 8));
    EXPECT_EQ(1, Word(file, 8));
    EXPECT_NE(0, Word(file, 10)); // the year
    EXPECT_EQ(80, Word(file, 22));
    EXPECT_EQ(50, Word(file, 24));
    EXPECT_EQ(info.dwCursorPosition.X, Word(file, 26));
    EXPECT_EQ(info.dwCursorPosition.Y, Word(file, 28));
    EXPECT_EQ(info.wAttributes & 0xFF, Word(file, 30));
    EXPECT_EQ(input, Dword(file, 32));
    EXPECT_EQ(output, Dword(file, 36));
    EXPECT_EQ(info.srWindow.Bottom - info.srWindow.Top + 1, Word(file, 40));
    EXPECT_EQ(0, Word(file, 42));
    EXPECT_EQ(CellsCrc(characters, attributes), Dword(file, 44));
    EXPECT_EQ(0, Word(file, 78));

    WCHAR name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(name, &size);
    std::wstring saved;
    for (size_t at = 48; at < 80 && Word(file, at) != 0; at += 2)
        saved += static_cast<wchar_t>(Word(file, at));
    EXPECT_EQ(std::wstring(name).substr(0, 15), saved);

    std::vector<WORD> decodedCharacters, decodedAttributes;
    ASSERT_TRUE(Decode(file, decodedCharacters, decodedAttributes));
    EXPECT_TRUE(decodedCharacters == characters);
    EXPECT_TRUE(decodedAttributes == attributes);
    EXPECT_EQ(L"\"" + dir + L"a.glim\"", wintest::LastGlim());
}

// The console behaviours that the save and the restore rely on, row by row
// (tests/support/consolecells.h): on Windows each as conhost does it; under
// Wine, a row marked as Wine's own is checked as Wine does it, and fails
// once Wine does it as conhost does.
TEST_F(SaveOnConsole, CellCallsBehaveAsTheWindowsConsoleHost) {
    wintest::ConsoleResize(80, 25, 25);
    bool wine = wintest::OnWine();
    for (const consolecells::Row &row : consolecells::Rows()) {
        std::string got = consolecells::RunRow(wintest::Console(), row);
        if (wine && row.wine != nullptr) {
            EXPECT_NE(row.conhost, got) << "now as conhost (drop the Wine mark): " << row.behaviour;
            EXPECT_EQ(row.wine, got) << "todo_wine: " << row.behaviour << " (" << row.source << ")";
        } else {
            EXPECT_EQ(row.conhost, got) << row.behaviour << " (" << row.source << ")";
        }
    }
}

TEST_F(SaveOnConsole, DefaultNameInTheCurrentDirectoryCarriesTheCaptureTime) {
    std::wstring dir = wintest::ScratchDirectory(L"save-default");
    ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
    ASSERT_EQ(0, wintest::Glim(L"/Q"));

    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"Glimpset *.glim").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    std::wstring fileName = found.cFileName;
    EXPECT_FALSE(FindNextFileW(find, &found));
    FindClose(find);

    Bytes file;
    ASSERT_TRUE(wintest::ReadBytes(dir + fileName, file));
    ASSERT_GE(file.size(), 80u);
    wchar_t expected[64];
    std::swprintf(expected, 64, L"Glimpset %04u-%02u-%02u %02u.%02u.%02u.glim", Word(file, 10),
                  file[13], file[12], file[15], file[14], file[16]);
    EXPECT_EQ(std::wstring(expected), fileName);
    EXPECT_EQ(L"\"" + dir + fileName + L"\"", wintest::LastGlim());
}

TEST_F(SaveOnConsole, ExistingFileIsKeptWithoutOverwriteAndReplacedWithIt) {
    std::wstring dir = wintest::ScratchDirectory(L"save-existing");
    std::wstring path = dir + L"a.glim";
    const Bytes old = {'o', 'l', 'd'};
    ASSERT_TRUE(wintest::WriteBytes(path, old));

    EXPECT_EQ(2, wintest::Glim(L"/Q \"" + path + L"\""));
    Bytes file;
    ASSERT_TRUE(wintest::ReadBytes(path, file));
    EXPECT_TRUE(file == old);
    EXPECT_EQ(L"*ERROR*", wintest::LastGlim());

    EXPECT_EQ(0, wintest::Glim(L"/Q /O \"" + path + L"\""));
    ASSERT_TRUE(wintest::ReadBytes(path, file));
    ASSERT_GE(file.size(), 80u);
    EXPECT_EQ("Glimpset", std::string(file.begin(), file.begin() + 8));
    EXPECT_EQ(L"\"" + path + L"\"", wintest::LastGlim());

    // Nothing but the file itself is left in the directory.
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"~glimpset-*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

bool IsGlimpsetFile(const std::wstring &path) {
    Bytes file;
    return wintest::ReadBytes(path, file) && file.size() >= 80 &&
           std::string(file.begin(), file.begin() + 8) == "Glimpset";
}

// A name that opens the console or NUL is no file: the save fails, writes
// nothing into the console and sets _lastglim to *ERROR*.
TEST_F(SaveOnConsole, SavingToADeviceChangesNothingAndFails) {
    std::wstring dir = wintest::ScratchDirectory(L"save-device");
    const wchar_t *tails[] = {L"CONOUT$", L"/O CONOUT$", L"\\\\.\\CONOUT$", L"NUL", L"/O NUL"};
    wintest::ConsoleResize(80, 50, 25);
    FillKnownScreen(80, 50);
    for (const wchar_t *tail : tails) {
        SCOPED_TRACE(::testing::Message() << tail);
        std::vector<WORD> characters, attributes, afterCharacters, afterAttributes;
        wintest::ConsoleRead(characters, attributes);
        EXPECT_EQ(2, wintest::GlimWithErrorsIn(std::wstring(L"/Q ") + tail, dir + L"err.txt"));
        wintest::ConsoleRead(afterCharacters, afterAttributes);
        EXPECT_TRUE(afterCharacters == characters);
        EXPECT_TRUE(afterAttributes == attributes);
        EXPECT_EQ(L"*ERROR*", wintest::LastGlim());
        Bytes err;
        wintest::ReadBytes(dir + L"err.txt", err);
        EXPECT_NE(std::string(err.begin(), err.end()).find("is not a file on disk."),
                  std::string::npos);
    }
}

// With /O: a name of 255 characters, a file with a second name (both names
// see the new screen), a file another program reads while sharing writes
// (the move over it is refused: written in place), and one held open
// without sharing (refused at opening, the old content kept).
TEST_F(SaveOnConsole, OverwriteReplacesWhatAPlainSaveCanCreate) {
    std::wstring dir = wintest::ScratchDirectory(L"save-replace");
    const Bytes old = {'o', 'l', 'd'};
    std::wstring err = dir + L"err.txt";

    std::wstring longName = dir + std::wstring(250, L'n') + L".glim";
    ASSERT_TRUE(wintest::WriteBytes(longName, old));
    EXPECT_EQ(0, wintest::GlimWithErrorsIn(L"/Q /O \"" + longName + L"\"", err));
    EXPECT_TRUE(IsGlimpsetFile(longName));

    std::wstring first = dir + L"first.glim", second = dir + L"second.glim";
    ASSERT_TRUE(wintest::WriteBytes(first, old));
    ASSERT_TRUE(CreateHardLinkW(second.c_str(), first.c_str(), nullptr));
    EXPECT_EQ(0, wintest::GlimWithErrorsIn(L"/Q /O \"" + first + L"\"", err));
    EXPECT_TRUE(IsGlimpsetFile(first));
    EXPECT_TRUE(IsGlimpsetFile(second));

    std::wstring shared = dir + L"shared.glim";
    ASSERT_TRUE(wintest::WriteBytes(shared, old));
    HANDLE reader = CreateFileW(shared.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(0, wintest::GlimWithErrorsIn(L"/Q /O \"" + shared + L"\"", err));
    CloseHandle(reader);
    EXPECT_TRUE(IsGlimpsetFile(shared));

    std::wstring held = dir + L"held.glim";
    ASSERT_TRUE(wintest::WriteBytes(held, old));
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(2, wintest::GlimWithErrorsIn(L"/Q /O \"" + held + L"\"", err));
    CloseHandle(holder);
    Bytes file, text;
    ASSERT_TRUE(wintest::ReadBytes(held, file));
    EXPECT_TRUE(file == old);
    wintest::ReadBytes(err, text);
    EXPECT_NE(std::string(text.begin(), text.end()).find("Error opening"), std::string::npos);

    // Nothing of ours is left beside them.
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"~glimpset-*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

} // namespace
