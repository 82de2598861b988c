// errors.cpp: the prefix of every error message, the system's text for an
// error code, and the three forms (plain, system, bare) in which messages
// reach the standard error handle through the host's Qprintf.
#include "common/errors.h"

#include "common/charclass.h"
#include "common/text.h"
#include "plugin/helptext.h"
#include "plugin/host.h"

static const WCHAR PrefixFormat[] = TEXT("%s plugin: ");
static const WCHAR BatchTest[] = TEXT("%_batch");
static const WCHAR BatchPlace[] = TEXT("%_batchname [%_batchline]  ");
static const WCHAR PlainText[] = TEXT("%s");
static const WCHAR UnknownErrorText[] = TEXT("Unknown error");
static const WCHAR NumberedErrorFormat[] = TEXT("Error %d");
static const WCHAR SystemTextFormat[] = TEXT("    %s\r\n");
static const WCHAR EmptyText[] = TEXT("");

enum {
    EXPANSION_CAPACITY = 8192,
    // Text from the system's message table, inserts left as they are, and
    // the message's own line breaks dropped.
    ERROR_TEXT_FLAGS =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
};

// The expansion buffer lives outside the host's stack: 16 KB is more than a
// message helper should take from a caller it does not own, and a static
// buffer cannot fail the way an allocation can.
static WCHAR Expansion[EXPANSION_CAPACITY];

static HANDLE ErrorHandle(void) {
    return GetStdHandle(STD_ERROR_HANDLE);
}

// Puts `text` into the zero-filled expansion buffer and expands it in place.
static void ExpandInto(const WCHAR *text) {
    for (int i = 0; i < EXPANSION_CAPACITY; i++) {
        Expansion[i] = 0;
    }
    TextCopy(Expansion, EXPANSION_CAPACITY, text);
    ExpandVariables(Expansion, 1);
    Expansion[EXPANSION_CAPACITY - 1] = 0;
}

int ReportErrorPrefix(void) {
    Qprintf(ErrorHandle(), PrefixFormat, PLUGIN_NAME);
    ExpandInto(BatchTest);
    if (Expansion[0] != '0') {
        ExpandInto(BatchPlace);
        // A batch file's name may hold '%': it is written as text, never
        // used as a format.
        Qprintf(ErrorHandle(), PlainText, Expansion);
    }
    return 0;
}

int GetErrorText(DWORD code, WCHAR *buffer) {
    if (buffer == nullptr) {
        return -1;
    }
    if (code == 0xFFFFFFFF) {
        TextCopy(buffer, ERROR_TEXT_CAPACITY, UnknownErrorText);
    } else {
        DWORD length = FormatMessageW(ERROR_TEXT_FLAGS, nullptr, code, 0, buffer,
                                      ERROR_TEXT_CAPACITY, nullptr);
        if (length == 0) {
            Sprintf(buffer, NumberedErrorFormat, (int)code);
        } else {
            buffer[length < ERROR_TEXT_CAPACITY ? length : ERROR_TEXT_CAPACITY - 1] = 0;
        }
    }
    int end = TextLength(buffer);
    while (end > 0 && IsWhiteSpace(buffer[end - 1])) {
        end--;
        buffer[end] = 0;
    }
    return 0;
}

// The text of a message's %s: a name or an argument, which may have come
// from a directory listing, shown without the controls it may carry.
static WCHAR PrintableArgument[PATH_CAPACITY];

static const WCHAR *Argument(const WCHAR *text) {
    if (text == nullptr) {
        return EmptyText;
    }
    return PrintableText(text, PrintableArgument, PATH_CAPACITY);
}

void ReportPlain(const WCHAR *message, const WCHAR *text) {
    ReportErrorPrefix();
    Qprintf(ErrorHandle(), message, Argument(text));
}

void ReportPlainNumber(const WCHAR *message, unsigned number) {
    ReportErrorPrefix();
    Qprintf(ErrorHandle(), message, number);
}

void ReportPlainNumbers(const WCHAR *message, int first, int second) {
    ReportErrorPrefix();
    Qprintf(ErrorHandle(), message, first, second);
}

void ReportSystem(const WCHAR *message, const WCHAR *text) {
    ReportSystemCode(GetLastError(), message, text);
}

void ReportSystemCode(DWORD code, const WCHAR *message, const WCHAR *text) {
    // The error text is fetched before anything is written: writing may
    // change the thread's last error code.
    WCHAR errorText[ERROR_TEXT_CAPACITY];
    errorText[0] = 0;
    GetErrorText(code, errorText);
    ReportErrorPrefix();
    Qprintf(ErrorHandle(), message, Argument(text));
    Qprintf(ErrorHandle(), SystemTextFormat, errorText);
}

void ReportBare(const WCHAR *message, const WCHAR *text) {
    Qprintf(ErrorHandle(), message, Argument(text));
}
