// load_test.cpp: screen files read into cells by glimview: sound, damaged,
// truncated and unrecognised Glimpset files, SAVECON files, and running out
// of memory.
#include "tests/support/glimtest.h"
#include "tests/tools/viewtest.h"

#include <gtest/gtest.h>

using namespace viewtest;

namespace {

class LoadTest : public glimtest::GlimTest {};

Screen Sample() {
    Screen screen = Blank(22, 8, 0x07);
    Put(screen, 0, 0, u"AAAAA", 0x07);
    Put(screen, 0, 5, u"B", 0x1F);
    Put(screen, 1, 0, u"xx", 0x07);
    Put(screen, 7, 0, std::u16string(22, u'='), 0x4E);
    screen.cursorColumn = 3;
    screen.cursorRow = 2;
    return screen;
}

void ExpectCells(const Screen &expected, const ViewScreen &loaded, const char *behaviour) {
    ASSERT_EQ(expected.characters.size(), loaded.count) << behaviour;
    for (DWORD i = 0; i < loaded.count; i++) {
        ASSERT_EQ(expected.characters[i], loaded.characters[i]) << behaviour << ": cell " << i;
        ASSERT_EQ(expected.attributes[i], loaded.attributes[i]) << behaviour << ": cell " << i;
    }
}

TEST_F(LoadTest, ASoundFileGivesItsCellsAndHeader) {
    Screen screen = Sample();
    std::vector<uint8_t> bytes = GlimpsetBytes(screen);
    ViewScreen loaded;
    ASSERT_EQ(LOAD_OK, Load(bytes, &loaded));
    ExpectCells(screen, loaded, "sound file");
    EXPECT_EQ(HEADER_GLIMPSET, loaded.saved.kind);
    EXPECT_EQ(3, loaded.saved.cursorColumn);
    EXPECT_EQ(2, loaded.saved.cursorRow);
    EXPECT_EQ(loaded.saved.crc, loaded.computedCrc);
    FreeScreen(&loaded);
}

struct DamageCase {
    const char *behaviour;
    int cut;      // bytes removed from the end (0: none)
    size_t flip;  // offset of a byte to change (0: none)
    uint8_t mask; // the bits changed there
    WORD version; // written at offset 8 (0: left at 1)
    LoadResult expected;
    bool hasCells;
};

TEST_F(LoadTest, DamagedFilesAreToldApart) {
    const size_t stream = HEADER_SIZE;
    const DamageCase cases[] = {
        {"a changed cell", 0, stream + 4, 0x01, 0, LOAD_CRC, true},
        {"a changed checksum", 0, offsetof(GlimpsetHeader, crc), 0x01, 0, LOAD_CRC, true},
        {"the stream cut short", 3, 0, 0, 0, LOAD_EARLY_END, true},
        {"the stream cut inside a word", 1, 0, 0, 0, LOAD_EARLY_END, true},
        {"version 2", 0, 0, 0, 2, LOAD_VERSION, true},
        {"version 2 and a changed cell", 0, stream + 4, 0x01, 2, LOAD_VERSION, true},
        {"no stream at all", -1, 0, 0, 0, LOAD_EARLY_END, true},
        {"79 bytes", -2, 0, 0, 0, LOAD_TOO_SHORT, false},
        {"534 columns", 0, offsetof(GlimpsetHeader, columns) + 1, 0x02, 0, LOAD_UNKNOWN, false},
        {"the cursor below the buffer", 0, offsetof(GlimpsetHeader, cursorRow), 0x08, 0,
         LOAD_UNKNOWN, false},
        {"a changed magic", 0, 0, 0x20, 0, LOAD_UNKNOWN, false},
    };
    for (const DamageCase &c : cases) {
        std::vector<uint8_t> bytes = GlimpsetBytes(Sample());
        if (c.cut > 0) {
            bytes.resize(bytes.size() - c.cut);
        } else if (c.cut == -1) {
            bytes.resize(HEADER_SIZE);
        } else if (c.cut == -2) {
            bytes.resize(HEADER_SIZE - 1);
        }
        if (c.mask != 0) {
            bytes.at(c.flip) ^= c.mask;
        }
        if (c.version != 0) {
            PutWord(bytes, offsetof(GlimpsetHeader, version), c.version);
        }
        ViewScreen loaded;
        EXPECT_EQ(c.expected, Load(bytes, &loaded)) << c.behaviour;
        EXPECT_EQ(c.hasCells, loaded.characters != nullptr) << c.behaviour;
        EXPECT_EQ(c.hasCells, loaded.attributes != nullptr) << c.behaviour;
        FreeScreen(&loaded);
    }
}

TEST_F(LoadTest, ACutStreamLeavesTheCellsItDoesNotReachBlank) {
    Screen screen = Blank(22, 8, 0x1E);
    Put(screen, 0, 0, u"abcdef", 0x1E);
    Put(screen, 5, 0, u"far", 0x1E);
    std::vector<uint8_t> bytes = GlimpsetBytes(screen);
    // "abcdef" are six plain words: keep the first three.
    bytes.resize(HEADER_SIZE + 6);
    ViewScreen loaded;
    ASSERT_EQ(LOAD_EARLY_END, Load(bytes, &loaded));
    Screen expected = Blank(22, 8, 0x1E);
    Put(expected, 0, 0, u"abc", 0x1E);
    ExpectCells(expected, loaded, "cut stream");
    FreeScreen(&loaded);
}

TEST_F(LoadTest, TheCrcMismatchKeepsBothChecksums) {
    std::vector<uint8_t> bytes = GlimpsetBytes(Sample());
    PutDword(bytes, offsetof(GlimpsetHeader, crc), 0x12345678);
    ViewScreen loaded;
    ASSERT_EQ(LOAD_CRC, Load(bytes, &loaded));
    EXPECT_EQ(0x12345678u, loaded.saved.crc);
    EXPECT_EQ(ScreenCrc32(Sample().characters.data(), Sample().attributes.data(), 22 * 8),
              loaded.computedCrc);
    ExpectCells(Sample(), loaded, "crc mismatch");
    FreeScreen(&loaded);
}

TEST_F(LoadTest, UnrecognisedBytesAreNoScreen) {
    const std::vector<uint8_t> cases[] = {
        std::vector<uint8_t>(80, 0),
        std::vector<uint8_t>(4096, 'x'),
        std::vector<uint8_t>(),
    };
    for (const std::vector<uint8_t> &bytes : cases) {
        ViewScreen loaded;
        EXPECT_NE(LOAD_OK, Load(bytes, &loaded)) << bytes.size();
        EXPECT_EQ(nullptr, loaded.characters);
        FreeScreen(&loaded);
    }
}

TEST_F(LoadTest, SaveconFilesAreReadFromEitherStart) {
    for (bool early : {true, false}) {
        Screen screen = Sample();
        screen.attribute = 0x1F;
        std::vector<uint8_t> bytes = SaveconBytes(screen, early);
        ViewScreen loaded;
        ASSERT_EQ(LOAD_OK, Load(bytes, &loaded)) << early;
        EXPECT_EQ(HEADER_SAVECON, loaded.saved.kind);
        ExpectCells(screen, loaded, early ? "early start" : "late start");
        FreeScreen(&loaded);
    }
}

TEST_F(LoadTest, ATruncatedSaveconFileEndsInBlanks) {
    Screen screen = Sample();
    screen.attribute = 0x1F;
    std::vector<uint8_t> bytes = SaveconBytes(screen, false, 6);
    // And half of the seventh cell: its character without its attribute.
    bytes.push_back('Z');
    bytes.push_back(0);
    ViewScreen loaded;
    ASSERT_EQ(LOAD_OK, Load(bytes, &loaded));
    Screen expected = Blank(22, 8, 0x1F);
    for (int i = 0; i < 6; i++) {
        expected.characters[i] = screen.characters[i];
        expected.attributes[i] = screen.attributes[i];
    }
    expected.characters[6] = 'Z';
    ExpectCells(expected, loaded, "truncated SAVECON");
    FreeScreen(&loaded);
}

TEST_F(LoadTest, ASaveconFileWithNothingBeyondItsHeaderIsBlank) {
    Screen screen = Sample();
    screen.attribute = 0x2F;
    std::vector<uint8_t> bytes = SaveconBytes(screen, false, 0);
    bytes.resize(HEADER_SIZE);
    ViewScreen loaded;
    ASSERT_EQ(LOAD_OK, Load(bytes, &loaded));
    ExpectCells(Blank(22, 8, 0x2F), loaded, "header only");
    FreeScreen(&loaded);
}

TEST_F(LoadTest, RunningOutOfMemoryHoldsNothing) {
    std::vector<uint8_t> bytes = GlimpsetBytes(Sample());
    for (int nth = 1; nth <= 3; nth++) {
        sim::ClearFailures();
        sim::FailCall("HeapAlloc", nth, ERROR_NOT_ENOUGH_MEMORY);
        ViewScreen loaded;
        EXPECT_EQ(LOAD_NO_MEMORY, Load(bytes, &loaded)) << nth;
        EXPECT_EQ(nullptr, loaded.characters) << nth;
        EXPECT_EQ(0, sim::LiveAllocations()) << nth;
        FreeScreen(&loaded);
    }
    sim::ClearFailures();
}

} // namespace
