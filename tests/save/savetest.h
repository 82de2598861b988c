// savetest.h: helpers of the save tests: a fixture over a fresh simulated
// machine, path buffers, and a reader that takes a saved file apart (header
// fields by offset, cells decoded back from the token stream).
#pragma once

#include "common/text.h"
#include "format/glimformat.h"
#include "format/wordstream.h"
#include "plugin/exports.h"
#include "plugin/lastname.h"
#include "restore/decoder.h"
#include "winsim/sim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace savetest {

// A module handle of our own, to see that the sound comes from it.
inline HMODULE FakeModule() {
    return (HMODULE)(uintptr_t)0x5A5A0000;
}

class SaveFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Reset();
        FreeLastName();
        ModuleHandle = FakeModule();
    }
    void TearDown() override {
        FreeLastName();
    }
};

// A path buffer of the system's capacity holding `text`.
inline std::vector<WCHAR> PathBuffer(const std::u16string &text) {
    std::vector<WCHAR> buffer(PATH_CAPACITY, 0);
    for (size_t i = 0; i < text.size() && i + 1 < buffer.size(); i++) {
        buffer[i] = text[i];
    }
    return buffer;
}

inline std::u16string Text(const WCHAR *text) {
    return text != nullptr ? std::u16string(text) : std::u16string();
}

inline std::u16string LastNameText() {
    return LastName != nullptr ? std::u16string(LastName) : std::u16string(u"<none>");
}

inline WORD Word(const std::vector<uint8_t> &bytes, size_t at) {
    return (WORD)(bytes[at] | (bytes[at + 1] << 8));
}

inline DWORD Dword(const std::vector<uint8_t> &bytes, size_t at) {
    return (DWORD)Word(bytes, at) | ((DWORD)Word(bytes, at + 2) << 16);
}

// The cells of a saved file, decoded from its token stream with the
// header's attribute as the starting attribute.
struct DecodedFile {
    bool ok = false;
    std::vector<WORD> characters;
    std::vector<WORD> attributes;
};

inline DecodedFile DecodeFile(const std::vector<uint8_t> &bytes) {
    DecodedFile decoded;
    if (bytes.size() < HEADER_SIZE) {
        return decoded;
    }
    DWORD count = (DWORD)Word(bytes, 22) * Word(bytes, 24);
    decoded.characters.assign(count, 0);
    decoded.attributes.assign(count, 0);
    std::vector<uint8_t> stream(bytes.begin() + HEADER_SIZE, bytes.end());
    MemoryStream memory = {stream.data(), (DWORD)stream.size(), (DWORD)stream.size(), 0};
    std::vector<BYTE> buffer(READ_BUFFER_BYTES);
    WordReader reader = {buffer.data(), 0, 0, MemoryBlockReader, &memory};
    decoded.ok = DecodeGlimpset(&reader, Word(bytes, 30), decoded.characters.data(),
                                decoded.attributes.data(), count) == DECODE_OK;
    return decoded;
}

} // namespace savetest
