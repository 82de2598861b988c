// classify.cpp: recognition of the two accepted screen-file formats from the
// first 80 bytes of a file, and the magic that marks a Glimpset file.
#include "format/glimformat.h"

#include <string.h>

const BYTE GLIMPSET_MAGIC[8] = {'G', 'l', 'i', 'm', 'p', 's', 'e', 't'};

// The header is a byte string of unknown alignment: words are assembled
// from their bytes, never read through a cast pointer.
static WORD WordAt(const BYTE *header, DWORD offset) {
    return (WORD)(header[offset] | (header[offset + 1] << 8));
}

static BOOL FitsScreenBounds(WORD columns, WORD rows, WORD cursorColumn, WORD cursorRow) {
    return columns >= MIN_COLUMNS && columns <= MAX_COLUMNS && rows >= MIN_ROWS &&
           rows <= MAX_ROWS && cursorColumn < columns && cursorRow < rows;
}

HeaderKind ClassifyHeader(const BYTE *header) {
    if (memcmp(header, GLIMPSET_MAGIC, sizeof GLIMPSET_MAGIC) == 0) {
        // A file that carries the magic is judged as Glimpset only; its words
        // are never given a second chance as SAVECON.
        if (FitsScreenBounds(WordAt(header, offsetof(GlimpsetHeader, columns)),
                             WordAt(header, offsetof(GlimpsetHeader, rows)),
                             WordAt(header, offsetof(GlimpsetHeader, cursorColumn)),
                             WordAt(header, offsetof(GlimpsetHeader, cursorRow)))) {
            return HEADER_GLIMPSET;
        }
        return HEADER_UNKNOWN;
    }

    WORD columns = WordAt(header, offsetof(SaveconHeader, sizeX));
    WORD rows = WordAt(header, offsetof(SaveconHeader, sizeY));
    WORD attributes = WordAt(header, offsetof(SaveconHeader, attributes));
    WORD left = WordAt(header, offsetof(SaveconHeader, windowLeft));
    WORD top = WordAt(header, offsetof(SaveconHeader, windowTop));
    WORD right = WordAt(header, offsetof(SaveconHeader, windowRight));
    WORD bottom = WordAt(header, offsetof(SaveconHeader, windowBottom));
    if (!FitsScreenBounds(columns, rows, WordAt(header, offsetof(SaveconHeader, cursorX)),
                          WordAt(header, offsetof(SaveconHeader, cursorY)))) {
        return HEADER_UNKNOWN;
    }
    // Foreground and background colours must differ.
    if ((attributes & 0x0F) == ((attributes >> 4) & 0x0F)) {
        return HEADER_UNKNOWN;
    }
    if (right <= left || bottom <= top) {
        return HEADER_UNKNOWN;
    }
    // With right > left and bottom > top the differences cannot wrap. The
    // window is at least 22 x 5 cells and smaller than the buffer.
    DWORD spanX = (DWORD)right - left;
    DWORD spanY = (DWORD)bottom - top;
    if (spanX < 21 || spanY < 4 || spanX >= columns || spanY >= rows) {
        return HEADER_UNKNOWN;
    }
    return HEADER_SAVECON;
}
