// tail_fuzz.cpp: glim with an arbitrary command tail, up to and past the
// 8,192 characters of the argument table, over the small volume of
// fuzzsupport.h and an 80 x 25 console with some text on it.
//
// Input: the tail as UTF-16 units, two bytes each, little-endian (a last
// odd byte is dropped; a unit 0 ends the tail, as it would for the host).
//
// Besides the checks of every run: _lastglim holds nothing, "*ERROR*" or a
// quoted name; after a save that succeeded, the file it names holds the
// console as it was, readable by the model of the format, checksum
// included; no other file of the volume changed, came or went; and a usage
// error left the console and _lastglim as they were.
#include "fuzz/fuzzsupport.h"

#include "plugin/exports.h"
#include "plugin/lastname.h"

#include <cstddef>
#include <cstdint>

namespace {

std::u16string FoldAZ(std::u16string text) {
    for (char16_t &ch : text) {
        if (ch >= u'A' && ch <= u'Z') {
            ch = (char16_t)(ch + 32);
        }
    }
    return text;
}

// The file that the last save wrote, or nothing after no save or a failed
// one. The value must be one of the three that _lastglim can hold.
std::u16string SavedFile() {
    if (LastName == nullptr) {
        return std::u16string();
    }
    std::u16string value(LastName);
    if (value == u"*ERROR*") {
        return std::u16string();
    }
    fuzz::Require(value.size() >= 3 && value.front() == u'"' && value.back() == u'"',
                  "_lastglim holds neither a quoted name nor *ERROR*");
    return value.substr(1, value.size() - 2);
}

void CheckSavedFile(const std::u16string &name, const std::vector<WORD> &characters,
                    const std::vector<WORD> &attributes) {
    std::vector<uint8_t> bytes;
    fuzz::Require(sim::ReadWholeFile(name, bytes), "the file of the last save does not exist");
    fuzz::ModelScreen model = fuzz::ModelRead(bytes);
    fuzz::Require(model.kind == 1 && model.version == 1 && model.readable && model.crcMatches,
                  "the file of the last save cannot be read back");
    fuzz::Require(model.characters == characters && model.attributes == attributes,
                  "the file of the last save does not hold the console's cells");
}

// Whether two names lead to one file: a save through a directory link
// names the file by the link, the snapshot by the directory it leads to.
bool SameFile(const std::u16string &a, const std::u16string &b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::u16string *names[2] = {&a, &b};
    for (int i = 0; i < 2; i++) {
        HANDLE file = CreateFileW(names[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known) {
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// Nothing on the volume changed but the file that a save wrote.
void CheckVolume(const fuzz::VolumeSnapshot &before, const fuzz::VolumeSnapshot &after,
                 const std::u16string &saved) {
    std::u16string allowed = FoldAZ(saved);
    for (const auto &entry : after) {
        auto was = before.find(entry.first);
        if (was == before.end() || was->second != entry.second) {
            fuzz::Require(entry.first == allowed ||
                              (!saved.empty() && SameFile(entry.first, saved)),
                          "a command changed a file it did not save");
        }
    }
    for (const auto &entry : before) {
        fuzz::Require(after.count(entry.first) == 1, "a command removed a file");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::u16string tail;
    for (size_t i = 0; i + 1 < size; i += 2) {
        WCHAR unit = (WCHAR)(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        tail += unit;
    }

    fuzz::FreshMachine();
    fuzz::MakeVolume();
    if (!fuzz::InsideSimulation(tail)) {
        return -1;
    }
    // A buffer no larger than its window keeps the saves of the tail quick.
    sim::ConsoleResize(80, 25);
    sim::ConsolePutText(0, 0, u"C:\\work> glim", 0x07);
    sim::ConsolePutText(4, 1, u"\u00E9t\u00E9 \uFFFA\uFFFB", 0x1E);
    const std::vector<WORD> characters = sim::ConsoleChars();
    const std::vector<WORD> attributes = sim::ConsoleAttrs();

    const fuzz::VolumeSnapshot volume = fuzz::TakeVolume();

    int result = fuzz::RunGlim(tail);
    // Only a save leaves a quoted name, and a save reads the console as it
    // was before the command.
    std::u16string saved = SavedFile();
    if (!saved.empty()) {
        CheckSavedFile(saved, characters, attributes);
    }
    CheckVolume(volume, fuzz::TakeVolume(), saved);
    if (result == 1) {
        fuzz::Require(LastName == nullptr, "a usage error changed _lastglim");
        fuzz::Require(sim::ConsoleChars() == characters && sim::ConsoleAttrs() == attributes,
                      "a usage error changed the console");
    }
    fuzz::CheckAfterRun(result);
    fuzz::SettleMachine();
    return 0;
}
