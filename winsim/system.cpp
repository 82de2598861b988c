// winsim/system.cpp: the rest of the simulated machine. Owns the clock and
// time zone, the computer name, the character-type table, the system's
// message texts, the records of sounds, message boxes and pauses, and
// wsprintfW (through the host's formatter).
//
// What an injected failure means where Win32 has no failure value:
// - GetLocalTime cannot fail: an armed failure is counted and ignored.
// - GetTimeZoneInformation returns TIME_ZONE_ID_INVALID with a zeroed record.
// - Sleep cannot fail: the failure is ignored, and the pause is counted.
// - wsprintfW returns 0 with an empty text in the buffer.
// - MessageBoxW returns 0 (no box); PlaySoundW returns FALSE (no sound);
//   neither is then recorded.
// Other choices: GetComputerNameW with the name set empty fails with
// ERROR_FILE_NOT_FOUND (the name is missing from the registry); the time
// zone record carries the bias and nothing else; GetStringTypeW knows
// CT_CTYPE1 only, the ASCII and Latin-1 classes of Windows, and above U+00FF
// a small table (characters outside it have no class).
#include "winsim/simcore.h"

#include "host/hostformat.h"

#include <cstdarg>
#include <cstring>

namespace winsim {

namespace {

struct SystemMessage {
    DWORD code;
    const char16_t *text;
};

// The system's English message texts for the codes Glimpset meets.
const SystemMessage SystemMessages[] = {
    {0, u"The operation completed successfully."},
    {1, u"Incorrect function."},
    {2, u"The system cannot find the file specified."},
    {3, u"The system cannot find the path specified."},
    {5, u"Access is denied."},
    {6, u"The handle is invalid."},
    {8, u"Not enough memory resources are available to process this command."},
    {14, u"Not enough memory resources are available to complete this operation."},
    {17, u"The system cannot move the file to a different disk drive."},
    {18, u"There are no more files."},
    {19, u"The media is write protected."},
    {29, u"The system cannot write to the specified device."},
    {30, u"The system cannot read from the specified device."},
    {32, u"The process cannot access the file because it is being used by another process."},
    {38, u"Reached the end of the file."},
    {53, u"The network path was not found."},
    {66, u"The network resource type is not correct."},
    {80, u"The file exists."},
    {87, u"The parameter is incorrect."},
    {109, u"The pipe has been ended."},
    {111, u"The file name is too long."},
    {112, u"There is not enough space on the disk."},
    {122, u"The data area passed to a system call is too small."},
    {123, u"The filename, directory name, or volume label syntax is incorrect."},
    {126, u"The specified module could not be found."},
    {145, u"The directory is not empty."},
    {183, u"Cannot create a file when that file already exists."},
    {203, u"The system could not find the environment option that was entered."},
    {206, u"The filename or extension is too long."},
    {234, u"More data is available."},
    {267, u"The directory name is invalid."},
    {1400, u"Invalid window handle."},
};

const SYSTEMTIME StartTime = {2024, 3, 2, 5, 9, 7, 2, 0};
const char16_t *const StartComputerName = u"SIMHOST";
const int WSPRINTF_LIMIT = 1024; // characters, terminator excluded

SYSTEMTIME localTime;
LONG timeZoneBias;
std::u16string computerName;
std::vector<sim::SoundCall> sounds;
std::vector<sim::MessageBoxCall> messageBoxes;
int sleepCount;

WORD Latin1Type(WCHAR c) {
    const WORD D = C1_DEFINED;
    if (c == 0x09) {
        return C1_CNTRL | C1_SPACE | C1_BLANK | D;
    }
    if (c >= 0x0A && c <= 0x0D) {
        return C1_CNTRL | C1_SPACE | D;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
        return C1_CNTRL | D;
    }
    if (c == 0x20 || c == 0xA0) {
        return C1_SPACE | C1_BLANK | D;
    }
    if (c >= u'0' && c <= u'9') {
        return C1_DIGIT | C1_XDIGIT | D;
    }
    if (c >= u'A' && c <= u'Z') {
        return C1_ALPHA | C1_UPPER | (c <= u'F' ? C1_XDIGIT : 0) | D;
    }
    if (c >= u'a' && c <= u'z') {
        return C1_ALPHA | C1_LOWER | (c <= u'f' ? C1_XDIGIT : 0) | D;
    }
    if (c < 0x80) {
        return C1_PUNCT | D;
    }
    if (c == 0xB2 || c == 0xB3 || c == 0xB9) {
        return C1_DIGIT | C1_PUNCT | D; // superscript digits
    }
    if (c == 0xAA || c == 0xB5 || c == 0xBA) {
        return C1_ALPHA | C1_LOWER | D;
    }
    if (c == 0xD7 || c == 0xF7 || c < 0xC0) {
        return C1_PUNCT | D;
    }
    if (c <= 0xDE) {
        return C1_ALPHA | C1_UPPER | D;
    }
    return C1_ALPHA | C1_LOWER | D;
}

WORD CharType(WCHAR c) {
    const WORD D = C1_DEFINED;
    if (c <= 0xFF) {
        return Latin1Type(c);
    }
    if ((c >= 0x2000 && c <= 0x200A) || c == 0x3000) {
        return C1_SPACE | C1_BLANK | D;
    }
    if (c == 0x2028 || c == 0x2029) {
        return C1_SPACE | D;
    }
    if ((c >= 0x0100 && c <= 0x024F) || (c >= 0x0370 && c <= 0x03FF) ||
        (c >= 0x0400 && c <= 0x04FF) || (c >= 0x4E00 && c <= 0x9FFF)) {
        return C1_ALPHA | D;
    }
    // General punctuation, and the arrows, symbols and box drawing that
    // consoles show.
    if ((c >= 0x2010 && c <= 0x2027) || (c >= 0x2030 && c <= 0x205E) ||
        (c >= 0x2190 && c <= 0x2BFF)) {
        return C1_PUNCT | D;
    }
    return 0;
}

void Fail(DWORD error) {
    SetLastError(error);
}

} // namespace

void ResetSystem() {
    localTime = StartTime;
    timeZoneBias = 0;
    computerName = StartComputerName;
    sounds.clear();
    messageBoxes.clear();
    sleepCount = 0;
}

} // namespace winsim

using namespace winsim;

extern "C" {

void GetLocalTime(LPSYSTEMTIME time) {
    DWORD error = 0;
    Enter("GetLocalTime", &error);
    if (time == nullptr) {
        Unsupported("GetLocalTime", "a null time record");
    }
    *time = localTime;
}

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info) {
    DWORD error = 0;
    bool failed = Enter("GetTimeZoneInformation", &error);
    if (info == nullptr) {
        Unsupported("GetTimeZoneInformation", "a null record");
    }
    memset(info, 0, sizeof *info);
    if (failed) {
        Fail(error);
        return TIME_ZONE_ID_INVALID;
    }
    info->Bias = timeZoneBias;
    return TIME_ZONE_ID_UNKNOWN;
}

BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) {
    if (EnterOrFail("GetComputerNameW")) {
        return FALSE;
    }
    if (size == nullptr) {
        Unsupported("GetComputerNameW", "a null size");
    }
    if (computerName.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (buffer == nullptr || *size <= computerName.size()) {
        *size = (DWORD)computerName.size() + 1;
        Fail(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    std::copy(computerName.begin(), computerName.end(), buffer);
    buffer[computerName.size()] = 0;
    *size = (DWORD)computerName.size();
    return TRUE;
}

BOOL GetStringTypeW(DWORD infoType, LPCWSTR text, int length, WORD *types) {
    if (EnterOrFail("GetStringTypeW")) {
        return FALSE;
    }
    if (infoType != CT_CTYPE1) {
        Unsupported("GetStringTypeW", "an information type other than CT_CTYPE1");
    }
    if (text == nullptr || types == nullptr || length == 0 || length < -1) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // With -1 the terminator is classified too, as Win32 does.
    size_t count = length == -1 ? Length(text) + 1 : (size_t)length;
    for (size_t i = 0; i < count; i++) {
        types[i] = CharType(text[i]);
    }
    return TRUE;
}

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, void *arguments) {
    if (EnterOrFail("FormatMessageW")) {
        return 0;
    }
    (void)languageId;
    (void)arguments;
    DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    DWORD known =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if ((flags & ~known) != 0 || !(flags & FORMAT_MESSAGE_FROM_SYSTEM) || source != nullptr) {
        Unsupported("FormatMessageW", "a message not from the system table");
    }
    if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) {
        Unsupported("FormatMessageW", "a maximum line width");
    }
    const char16_t *text = nullptr;
    for (const SystemMessage &message : SystemMessages) {
        if (message.code == messageId) {
            text = message.text;
        }
    }
    if (text == nullptr) {
        Fail(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    // The table's texts end in a line break; the width mask turns it into
    // a blank.
    std::u16string out = text;
    out += width != 0 ? u" " : u"\r\n";
    if (buffer == nullptr || size <= out.size()) {
        Fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(out.begin(), out.end(), buffer);
    buffer[out.size()] = 0;
    return (DWORD)out.size();
}

BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
    if (EnterOrFail("PlaySoundW")) {
        return FALSE;
    }
    sounds.push_back(sim::SoundCall{sound == nullptr ? u"" : sound, module, flags});
    return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    if (EnterOrFail("MessageBoxW")) {
        return 0;
    }
    messageBoxes.push_back(sim::MessageBoxCall{owner, text == nullptr ? u"" : text,
                                               caption == nullptr ? u"" : caption, type});
    return IDOK;
}

void Sleep(DWORD milliseconds) {
    DWORD error = 0;
    Enter("Sleep", &error);
    (void)milliseconds;
    sleepCount++;
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    DWORD error = 0;
    if (Enter("wsprintfW", &error)) {
        Fail(error);
        if (buffer != nullptr) {
            buffer[0] = 0;
        }
        return 0;
    }
    if (buffer == nullptr || format == nullptr) {
        Unsupported("wsprintfW", "a null buffer or format");
    }
    va_list args;
    va_start(args, format);
    int written = HostFormatV(buffer, WSPRINTF_LIMIT + 1, format, args);
    va_end(args);
    return written;
}

} // extern "C"

namespace sim {

void SetLocalTime(const SYSTEMTIME &time) {
    EnsureInitialised();
    localTime = time;
}

void SetTimeZoneBias(LONG bias) {
    EnsureInitialised();
    timeZoneBias = bias;
}

void SetComputerName(const std::u16string &name) {
    EnsureInitialised();
    computerName = name;
}

std::vector<SoundCall> &Sounds() {
    EnsureInitialised();
    return sounds;
}

std::vector<MessageBoxCall> &MessageBoxes() {
    EnsureInitialised();
    return messageBoxes;
}

int SleepCount() {
    EnsureInitialised();
    return sleepCount;
}

} // namespace sim
