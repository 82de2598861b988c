// fileinfo.cpp: the description of one screen file for glim /I. Reads the
// first 80 bytes of the file, lets the format code say which format they
// belong to, and prints the header's values line by line; the token stream
// is never read, and the checksum shown is the stored one.
#include "report/fileinfo.h"

#include "common/errors.h"
#include "common/text.h"
#include "format/glimformat.h"
#include "plugin/host.h"

#include <string.h>

static const WCHAR GlimpsetTitle[] = TEXT("\r\n\"%s\" - Glimpset v%d save file\r\n");
static const WCHAR TakenLabel[] = TEXT("   Taken              : ");
static const WCHAR TakenFormat[] = TEXT("%04d-%02d-%02d %02d:%02d:%02d UTC%s%d:%02d\r\n");
static const WCHAR NotAvailableLine[] = TEXT("not available\r\n");
static const WCHAR ComputerFormat[] = TEXT("   On computer        : %s\r\n");
static const WCHAR NotAvailable[] = TEXT("not available");
static const WCHAR ChecksumFormat[] = TEXT("   Checksum           : %08X\r\n");
static const WCHAR SizeFormat[] = TEXT("   Screen buffer size : %d rows x %d columns\r\n");
static const WCHAR CursorFormat[] = TEXT("   Cursor position    : row %d, column %d\r\n");
static const WCHAR AttributeFormat[] = TEXT("   Screen attribute   : %04x\r\n");
static const WCHAR WindowHeightFormat[] = TEXT("   Window height      : %d rows\r\n");
static const WCHAR CodePageFormat[] = TEXT("   Code page          : %d\r\n");
static const WCHAR CodePagesFormat[] = TEXT("   Code page          : %d (input) / %d (output)\r\n");
static const WCHAR SaveconTitle[] = TEXT("\r\n\"%s\" - Varlotti SAVECON file\r\n");
static const WCHAR WindowSizeFormat[] = TEXT("   Window size        : %d rows x %d columns\r\n");
static const WCHAR NotGlimpsetFormat[] = TEXT("\r\n\"%s\" is not a Glimpset file.\r\n");
static const WCHAR OpenErrorFormat[] = TEXT("Error opening \"%s\":\r\n");
static const WCHAR ReadErrorFormat[] = TEXT("Error reading \"%s\":\r\n");
static const WCHAR SystemTextFormat[] = TEXT("    %s\r\n");
static const WCHAR EmptyLine[] = TEXT("\r\n");
static const WCHAR PlusSign[] = TEXT("+");
static const WCHAR MinusSign[] = TEXT("-");

enum {
    NAME_UNITS = 16, // units of the computer name field
};

// The file's name as the report prints it (PrintableText): names come from
// directory listings, and a name may hold C1 controls, bidirectional
// controls or lone surrogates, which Windows allows in names.
static WCHAR PrintableName[PATH_CAPACITY];

static const WCHAR *Shown(const WCHAR *name) {
    return PrintableText(name, PrintableName, PATH_CAPACITY);
}

// The header as read: the same 80 bytes seen as either record.
union HeaderBuffer {
    BYTE bytes[HEADER_SIZE];
    GlimpsetHeader glimpset;
    SaveconHeader savecon;
};

// The system form of an error, with the report's own step: an empty line on
// standard output between fetching the error text and writing the prefix, so
// that the error stands apart from the descriptions around it.
static void ReportFileError(DWORD code, const WCHAR *message, const WCHAR *name) {
    WCHAR errorText[ERROR_TEXT_CAPACITY];
    errorText[0] = 0;
    GetErrorText(code, errorText);
    QPuts(EmptyLine);
    ReportErrorPrefix();
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    Qprintf(error, message, Shown(name));
    Qprintf(error, SystemTextFormat, errorText);
}

// The time stamp after the label: the local time and the offset from UTC,
// which is the negated bias, shown as a sign and unsigned hours and minutes.
static void ShowTimestamp(const GlimpsetHeader *header) {
    WORD year = header->year;
    if (year == 0) {
        QPuts(NotAvailableLine);
        return;
    }
    // Negated in 64 bits: the most negative bias has no 32-bit negation.
    long long east = -(long long)header->utcBias;
    long long magnitude = east < 0 ? -east : east;
    Printf(TakenFormat, (int)year, (int)header->month, (int)header->day, (int)header->hour,
           (int)header->minute, (int)header->second, east < 0 ? MinusSign : PlusSign,
           (int)(magnitude / 60), (int)(magnitude % 60));
}

static void ShowGlimpset(const WCHAR *name, const HeaderBuffer *header) {
    SavedScreen saved;
    ReadSavedScreen(header->bytes, HEADER_GLIMPSET, &saved);

    // The field need not hold a terminator: at most 16 units are shown. It
    // is whatever the file says, so it is shown without controls: a name
    // holding ESC [2J or an OSC sequence must not clear the screen, retitle
    // the window or write the clipboard of a terminal that describes it.
    WCHAR computer[NAME_UNITS + 1];
    WCHAR printable[NAME_UNITS + 1];
    memcpy(computer, header->bytes + offsetof(GlimpsetHeader, computerName),
           NAME_UNITS * sizeof(WCHAR));
    computer[NAME_UNITS] = 0;

    Printf(GlimpsetTitle, Shown(name), (int)saved.version);
    QPuts(TakenLabel);
    ShowTimestamp(&header->glimpset);
    Printf(ComputerFormat,
           computer[0] != 0 ? PrintableText(computer, printable, NAME_UNITS + 1) : NotAvailable);
    Printf(ChecksumFormat, (unsigned)saved.crc);
    Printf(SizeFormat, (int)saved.rows, (int)saved.columns);
    Printf(CursorFormat, (int)saved.cursorRow, (int)saved.cursorColumn);
    Printf(AttributeFormat, (int)(saved.attribute & 0xFF));
    Printf(WindowHeightFormat, (int)saved.windowHeight);
    if (saved.inputCodePage == saved.outputCodePage) {
        Printf(CodePageFormat, (int)saved.inputCodePage);
    } else {
        Printf(CodePagesFormat, (int)saved.inputCodePage, (int)saved.outputCodePage);
    }
}

static void ShowSavecon(const WCHAR *name, const HeaderBuffer *header) {
    SavedScreen saved;
    ReadSavedScreen(header->bytes, HEADER_SAVECON, &saved);
    Printf(SaveconTitle, Shown(name));
    Printf(SizeFormat, (int)saved.rows, (int)saved.columns);
    Printf(CursorFormat, (int)saved.cursorRow, (int)saved.cursorColumn);
    Printf(AttributeFormat, (int)saved.attribute);
    Printf(WindowSizeFormat, (int)saved.windowHeight, (int)saved.windowWidth);
}

int ReportUnopenedFile(const WCHAR *name, DWORD code) {
    ReportFileError(code, OpenErrorFormat, name);
    return -2;
}

int ShowFileInfo(const WCHAR *name, int onlyKnown) {
    return ShowFileInfoAs(name, name, onlyKnown);
}

int ShowFileInfoAs(const WCHAR *name, const WCHAR *openName, int onlyKnown) {
    if (name == nullptr || name[0] == 0 || openName == nullptr || openName[0] == 0) {
        return -1;
    }

    HANDLE file = CreateFileW(openName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ReportFileError(GetLastError(), OpenErrorFormat, name);
        return -2;
    }

    HeaderBuffer header;
    memset(&header, 0, sizeof header);
    DWORD got = 0;
    BOOL read = ReadFile(file, header.bytes, HEADER_SIZE, &got, nullptr);
    // The code is taken before the handle is closed, which may set its own.
    DWORD readError = read ? 0 : GetLastError();
    CloseHandle(file);
    if (!read) {
        ReportFileError(readError != 0 ? readError : 0xFFFFFFFF, ReadErrorFormat, name);
        return -2;
    }

    HeaderKind kind = got < HEADER_SIZE ? HEADER_UNKNOWN : ClassifyHeader(header.bytes);
    if (kind == HEADER_GLIMPSET) {
        ShowGlimpset(name, &header);
    } else if (kind == HEADER_SAVECON) {
        ShowSavecon(name, &header);
    } else if (!onlyKnown) {
        Printf(NotGlimpsetFormat, Shown(name));
    }
    return 0;
}
