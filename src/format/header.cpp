// header.cpp: the one place where the bytes of a screen-file header are
// filled (Glimpset, for the save) and read (Glimpset and SAVECON, for the
// restore and the report). Fields are stored and taken byte by byte in
// little-endian order, so neither the host's byte order nor the alignment of
// the caller's buffer matters.
#include "format/glimformat.h"

#include <string.h>

static void PutWord(BYTE *at, WORD value) {
    at[0] = (BYTE)(value & 0xFF);
    at[1] = (BYTE)(value >> 8);
}

static void PutDword(BYTE *at, DWORD value) {
    PutWord(at, (WORD)(value & 0xFFFF));
    PutWord(at + 2, (WORD)(value >> 16));
}

static WORD GetWord(const BYTE *at) {
    return (WORD)(at[0] | (at[1] << 8));
}

static DWORD GetDword(const BYTE *at) {
    return (DWORD)GetWord(at) | ((DWORD)GetWord(at + 2) << 16);
}

void FillGlimpsetHeader(GlimpsetHeader *header, const SYSTEMTIME *time, LONG bias,
                        const CONSOLE_SCREEN_BUFFER_INFO *info, UINT inputCodePage,
                        UINT outputCodePage, const WCHAR *computerName) {
    BYTE *bytes = (BYTE *)header;
    memset(bytes, 0, HEADER_SIZE);
    memcpy(bytes + offsetof(GlimpsetHeader, magic), GLIMPSET_MAGIC, sizeof GLIMPSET_MAGIC);
    PutWord(bytes + offsetof(GlimpsetHeader, version), GLIMPSET_VERSION);
    if (time != NULL) {
        // Each byte keeps the low 8 bits of its field; the year is whole.
        PutWord(bytes + offsetof(GlimpsetHeader, year), time->wYear);
        bytes[offsetof(GlimpsetHeader, day)] = (BYTE)(time->wDay & 0xFF);
        bytes[offsetof(GlimpsetHeader, month)] = (BYTE)(time->wMonth & 0xFF);
        bytes[offsetof(GlimpsetHeader, minute)] = (BYTE)(time->wMinute & 0xFF);
        bytes[offsetof(GlimpsetHeader, hour)] = (BYTE)(time->wHour & 0xFF);
        bytes[offsetof(GlimpsetHeader, second)] = (BYTE)(time->wSecond & 0xFF);
        bytes[offsetof(GlimpsetHeader, dayOfWeek)] = (BYTE)(time->wDayOfWeek & 0xFF);
        PutDword(bytes + offsetof(GlimpsetHeader, utcBias), (DWORD)bias);
    }
    PutWord(bytes + offsetof(GlimpsetHeader, columns), (WORD)info->dwSize.X);
    PutWord(bytes + offsetof(GlimpsetHeader, rows), (WORD)info->dwSize.Y);
    PutWord(bytes + offsetof(GlimpsetHeader, cursorColumn), (WORD)info->dwCursorPosition.X);
    PutWord(bytes + offsetof(GlimpsetHeader, cursorRow), (WORD)info->dwCursorPosition.Y);
    PutWord(bytes + offsetof(GlimpsetHeader, attribute), (WORD)(info->wAttributes & 0xFF));
    PutDword(bytes + offsetof(GlimpsetHeader, inputCodePage), (DWORD)inputCodePage);
    PutDword(bytes + offsetof(GlimpsetHeader, outputCodePage), (DWORD)outputCodePage);
    PutWord(bytes + offsetof(GlimpsetHeader, windowHeight),
            (WORD)((WORD)info->srWindow.Bottom - (WORD)info->srWindow.Top + 1));
    if (computerName != NULL) {
        for (DWORD i = 0; i < 16 && computerName[i] != 0; i++) {
            PutWord(bytes + offsetof(GlimpsetHeader, computerName) + 2 * i, (WORD)computerName[i]);
        }
    }
    // The name's last unit is its terminator, whatever the name held.
    PutWord(bytes + HEADER_SIZE - 2, 0);
}

void ReadSavedScreen(const BYTE *header, HeaderKind kind, SavedScreen *saved) {
    memset(saved, 0, sizeof *saved);
    saved->kind = kind;
    if (kind == HEADER_GLIMPSET) {
        saved->version = GetWord(header + offsetof(GlimpsetHeader, version));
        saved->columns = GetWord(header + offsetof(GlimpsetHeader, columns));
        saved->rows = GetWord(header + offsetof(GlimpsetHeader, rows));
        saved->cursorColumn = GetWord(header + offsetof(GlimpsetHeader, cursorColumn));
        saved->cursorRow = GetWord(header + offsetof(GlimpsetHeader, cursorRow));
        saved->attribute = GetWord(header + offsetof(GlimpsetHeader, attribute));
        saved->windowHeight = GetWord(header + offsetof(GlimpsetHeader, windowHeight));
        saved->hasCodePages = TRUE;
        saved->inputCodePage = GetDword(header + offsetof(GlimpsetHeader, inputCodePage));
        saved->outputCodePage = GetDword(header + offsetof(GlimpsetHeader, outputCodePage));
        saved->hasCrc = TRUE;
        saved->crc = GetDword(header + offsetof(GlimpsetHeader, crc));
        saved->dataOffset = HEADER_SIZE;
    } else if (kind == HEADER_SAVECON) {
        saved->columns = GetWord(header + offsetof(SaveconHeader, sizeX));
        saved->rows = GetWord(header + offsetof(SaveconHeader, sizeY));
        saved->cursorColumn = GetWord(header + offsetof(SaveconHeader, cursorX));
        saved->cursorRow = GetWord(header + offsetof(SaveconHeader, cursorY));
        saved->attribute = GetWord(header + offsetof(SaveconHeader, attributes));
        saved->windowHeight = (WORD)(GetWord(header + offsetof(SaveconHeader, windowBottom)) -
                                     GetWord(header + offsetof(SaveconHeader, windowTop)) + 1);
        saved->windowWidth = (WORD)(GetWord(header + offsetof(SaveconHeader, windowRight)) -
                                    GetWord(header + offsetof(SaveconHeader, windowLeft)) + 1);
        saved->dataOffset = GetWord(header + offsetof(SaveconHeader, startSelector)) != 0
                                ? SAVECON_EARLY_START
                                : SAVECON_LATE_START;
    }
}
