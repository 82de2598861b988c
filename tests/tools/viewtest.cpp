// viewtest.cpp: the shared pieces of the glimview suites.
#include "tests/tools/viewtest.h"

#include "save/encoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace viewtest {

Screen Blank(int columns, int rows, WORD attribute) {
    Screen screen;
    screen.columns = columns;
    screen.rows = rows;
    screen.attribute = attribute;
    screen.windowHeight = rows;
    screen.characters.assign((size_t)columns * rows, 0x20);
    screen.attributes.assign((size_t)columns * rows, attribute);
    return screen;
}

void Put(Screen &screen, int row, int column, const std::u16string &text, WORD attribute) {
    for (size_t i = 0; i < text.size(); i++) {
        size_t at = (size_t)row * screen.columns + column + i;
        screen.characters.at(at) = text[i];
        screen.attributes.at(at) = attribute;
    }
}

void PutWord(std::vector<uint8_t> &bytes, size_t offset, WORD value) {
    bytes.at(offset) = (uint8_t)(value & 0xFF);
    bytes.at(offset + 1) = (uint8_t)(value >> 8);
}

void PutDword(std::vector<uint8_t> &bytes, size_t offset, DWORD value) {
    PutWord(bytes, offset, (WORD)(value & 0xFFFF));
    PutWord(bytes, offset + 2, (WORD)(value >> 16));
}

std::vector<uint8_t> GlimpsetBytes(const Screen &screen, const Stamp &stamp) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    info.dwSize = {(SHORT)screen.columns, (SHORT)screen.rows};
    info.dwCursorPosition = {(SHORT)screen.cursorColumn, (SHORT)screen.cursorRow};
    info.wAttributes = screen.attribute;
    info.srWindow = {0, 0, (SHORT)(screen.columns - 1), (SHORT)(screen.windowHeight - 1)};
    std::u16string computer = stamp.computer;
    GlimpsetHeader header;
    FillGlimpsetHeader(&header, stamp.taken ? &stamp.time : nullptr, stamp.bias, &info, 437, 437,
                       computer.empty() ? nullptr : computer.c_str());
    DWORD count = (DWORD)screen.characters.size();
    header.crc = ScreenCrc32(screen.characters.data(), screen.attributes.data(), count);

    // Room for the worst stream: an attribute token and a literal a cell.
    std::vector<uint8_t> stream((size_t)count * 8 + 64);
    MemoryStream memory = {stream.data(), 0, (DWORD)stream.size(), 0};
    std::vector<WORD> words(TOKEN_BUFFER_WORDS);
    TokenBuffer tokens = {words.data(), 0, MemoryBlockWriter, &memory};
    EXPECT_EQ(0, EncodeScreen(screen.characters.data(), screen.attributes.data(), count,
                              (WORD)(screen.attribute & 0xFF), &tokens));
    EXPECT_EQ(0, FlushTokens(&tokens));

    std::vector<uint8_t> bytes(HEADER_SIZE);
    memcpy(bytes.data(), &header, HEADER_SIZE);
    bytes.insert(bytes.end(), stream.begin(), stream.begin() + memory.size);
    return bytes;
}

std::vector<uint8_t> SaveconBytes(const Screen &screen, bool early, int cells) {
    std::vector<uint8_t> bytes(early ? 22 : 832, 0);
    PutWord(bytes, 0, (WORD)screen.columns);
    PutWord(bytes, 2, (WORD)screen.rows);
    PutWord(bytes, 4, (WORD)screen.cursorColumn);
    PutWord(bytes, 6, (WORD)screen.cursorRow);
    PutWord(bytes, 8, screen.attribute);
    PutWord(bytes, 10, 0);
    PutWord(bytes, 12, 0);
    PutWord(bytes, 14, (WORD)(screen.columns - 1));
    PutWord(bytes, 16, (WORD)(screen.windowHeight - 1));
    PutWord(bytes, 18, (WORD)screen.columns);
    PutWord(bytes, 20, (WORD)screen.rows);
    size_t count = screen.characters.size();
    if (cells >= 0 && (size_t)cells < count) {
        count = (size_t)cells;
    }
    for (size_t i = 0; i < count; i++) {
        bytes.push_back((uint8_t)(screen.characters[i] & 0xFF));
        bytes.push_back((uint8_t)(screen.characters[i] >> 8));
        bytes.push_back((uint8_t)(screen.attributes[i] & 0xFF));
        bytes.push_back((uint8_t)(screen.attributes[i] >> 8));
    }
    // Every header is read as 80 bytes; a short late-start file is padded.
    if (bytes.size() < HEADER_SIZE) {
        bytes.resize(HEADER_SIZE, 0);
    }
    return bytes;
}

static BOOL CaptureWriter(void *context, const BYTE *data, DWORD size) {
    Capture *capture = (Capture *)context;
    if (capture->fail) {
        return FALSE;
    }
    capture->text.append((const char *)data, size);
    return TRUE;
}

std::unique_ptr<Capture> NewCapture() {
    std::unique_ptr<Capture> capture(new Capture());
    SinkInit(&capture->sink, CaptureWriter, capture.get());
    return capture;
}

LoadResult Load(const std::vector<uint8_t> &bytes, ViewScreen *screen) {
    return LoadScreen(bytes.data(), (DWORD)bytes.size(), screen);
}

std::string Render(const std::vector<uint8_t> &bytes, ViewMode mode, bool window,
                   const char *name) {
    ViewScreen screen;
    LoadResult loaded = Load(bytes, &screen);
    EXPECT_EQ(LOAD_OK, loaded);
    if (loaded != LOAD_OK) {
        FreeScreen(&screen);
        return "(not loaded)";
    }
    std::unique_ptr<Capture> out = NewCapture();
    DWORD first = 0;
    DWORD end = 0;
    SelectRows(&screen, mode, window ? TRUE : FALSE, &first, &end);
    if (mode == VIEW_SGR) {
        RenderSgr(&screen, first, end, &out->sink);
    } else if (mode == VIEW_TEXT) {
        RenderText(&screen, first, end, &out->sink);
    } else if (mode == VIEW_HTML) {
        RenderHtml(&screen, first, end, name, &out->sink);
    } else {
        RenderSvg(&screen, first, end, name, &out->sink);
    }
    SinkFlush(&out->sink);
    FreeScreen(&screen);
    return out->text;
}

Outcome RunView(const std::vector<std::string> &arguments) {
    std::vector<std::string> copies = arguments;
    std::vector<char *> argv;
    for (std::string &argument : copies) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);
    std::unique_ptr<Capture> out = NewCapture();
    std::unique_ptr<Capture> err = NewCapture();
    Outcome run;
    run.status = GlimviewRun((int)arguments.size(), argv.data(), NULL, &out->sink, &err->sink);
    run.out = out->text;
    run.err = err->text;
    return run;
}

std::string Scratch() {
    const char *base = getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] != 0 ? base : "/tmp") + "/glimview-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    const char *made = mkdtemp(buffer.data());
    EXPECT_NE(nullptr, made);
    return made != nullptr ? std::string(made) + "/" : std::string("./");
}

void WriteBytes(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write((const char *)bytes.data(), (std::streamsize)bytes.size());
    EXPECT_TRUE(file.good()) << path;
}

std::string ReadText(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace viewtest
