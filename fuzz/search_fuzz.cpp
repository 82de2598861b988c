// search_fuzz.cpp: glim /I with arbitrary file specifications and search
// options over the small volume of fuzzsupport.h: nested directories, a
// link that leads back to the top (a cycle), a link to a sibling, hidden
// and system directories, unreadable and unopenable files.
//
// Input: one byte of options, then up to four file specifications separated
// by line feeds, each byte one character (Latin-1); each is passed in
// quotes.
//   0x01 /S   0x02 /E   0x04 /N:D   0x08 /N:Z   0x10 /N:J
//   0x20 /I a second time (files of neither format pass in silence)
//   0x40 /N:S (no "Found" lines)
//   0x80 the search starts in C:\work\sub rather than C:\work
//
// Besides the checks of every run: the search ends (a cycle would not); the
// total line, where there is one, adds up the per-directory lines; and every
// file that the report names exists.
#include "fuzz/fuzzsupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int MAX_SPECS = 4;

// The count of a line "Found N file(s) in DIR." or "Found N file(s) total.":
// `total` says which; false when the line is neither.
bool FoundLine(const std::string &line, unsigned long *count, bool *total) {
    if (line.compare(0, 6, "Found ") != 0) {
        return false;
    }
    char *end = nullptr;
    *count = strtoul(line.c_str() + 6, &end, 10);
    std::string rest(end);
    const char *ending = *count == 1 ? " file " : " files ";
    if (rest.compare(0, strlen(ending), ending) != 0) {
        return false;
    }
    rest = rest.substr(strlen(ending));
    *total = rest == "total.";
    return *total || rest.compare(0, 3, "in ") == 0;
}

void CheckTotals(const std::string &out) {
    unsigned long sum = 0;
    int totals = 0;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find("\r\n", start);
        if (end == std::string::npos) {
            end = out.size();
        }
        std::string line = out.substr(start, end - start);
        start = end + 2;
        unsigned long count = 0;
        bool total = false;
        if (!FoundLine(line, &count, &total)) {
            continue;
        }
        if (total) {
            totals++;
            fuzz::Require(count == sum, "the total line does not add up the directories' lines");
        } else {
            fuzz::Require(totals == 0, "a directory's line follows the total line");
            sum += count;
        }
    }
    fuzz::Require(totals <= 1, "more than one total line");
}

// Every file described or named as neither format exists on the volume.
void CheckReportedFiles(const std::string &out) {
    static const std::string neither = "\" is not a Glimpset file.";
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find("\r\n", start);
        if (end == std::string::npos) {
            end = out.size();
        }
        std::string line = out.substr(start, end - start);
        start = end + 2;
        if (line.empty() || line[0] != '"') {
            continue;
        }
        size_t close = std::string::npos;
        if (line.size() > neither.size() &&
            line.compare(line.size() - neither.size(), neither.size(), neither) == 0) {
            close = line.size() - neither.size();
        } else {
            close = line.rfind("\" - ");
        }
        fuzz::Require(close != std::string::npos && close > 1, "a report line names no file");
        std::vector<uint8_t> bytes;
        fuzz::Require(sim::ReadWholeFile(sim::U16(line.substr(1, close - 1)), bytes),
                      "a report names a file that does not exist");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return -1;
    }
    const uint8_t options = data[0];
    std::u16string tail = u"/I";
    tail += (options & 0x01) ? u" /S" : u"";
    tail += (options & 0x02) ? u" /E" : u"";
    tail += (options & 0x04) ? u" /N:D" : u"";
    tail += (options & 0x08) ? u" /N:Z" : u"";
    tail += (options & 0x10) ? u" /N:J" : u"";
    tail += (options & 0x20) ? u" /I" : u"";
    tail += (options & 0x40) ? u" /N:S" : u"";
    int specs = 0;
    size_t at = 1;
    while (at < size && specs < MAX_SPECS) {
        std::u16string spec;
        while (at < size && data[at] != '\n') {
            spec += (char16_t)data[at++];
        }
        at++;
        if (spec.find(u'\0') != std::u16string::npos) {
            return -1;
        }
        tail += u" \"" + spec + u"\"";
        specs++;
    }

    fuzz::FreshMachine();
    fuzz::MakeVolume();
    if (options & 0x80) {
        sim::SetCurrentDirectory(u"C:\\work\\sub");
    }
    if (!fuzz::InsideSimulation(tail)) {
        return -1;
    }
    int result = fuzz::RunGlim(tail);
    CheckTotals(sim::Stdout());
    CheckReportedFiles(sim::Stdout());
    fuzz::CheckAfterRun(result);
    fuzz::SettleMachine();
    return 0;
}
