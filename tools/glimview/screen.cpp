// screen.cpp: a screen file in memory made into cells, through the format's
// own classification, header reading, decoders and checksum: the same road
// as a restore, with the console left out.
#include "glimview/glimview.h"

#include "restore/decoder.h"

#include <string.h>

static const WORD SPACE = 0x0020;

void FreeScreen(ViewScreen *screen) {
    ViewFree(screen->attributes);
    ViewFree(screen->characters);
    memset(screen, 0, sizeof *screen);
}

LoadResult LoadScreen(const BYTE *data, DWORD size, ViewScreen *screen) {
    BYTE *readBuffer = NULL;
    LoadResult result = LOAD_OK;
    DecodeResult decoded = DECODE_OK;
    MemoryStream stream = {};
    WordReader reader = {};
    HeaderKind kind = HEADER_UNKNOWN;

    memset(screen, 0, sizeof *screen);
    if (data == NULL || size < HEADER_SIZE) {
        result = LOAD_TOO_SHORT;
        goto done;
    }
    kind = ClassifyHeader(data);
    if (kind == HEADER_UNKNOWN) {
        result = LOAD_UNKNOWN;
        goto done;
    }
    ReadSavedScreen(data, kind, &screen->saved);
    if (kind == HEADER_GLIMPSET) {
        memcpy(&screen->header, data, HEADER_SIZE);
    }
    // The classification bounds the size: at most 512 x 9,999 cells.
    screen->count = (DWORD)screen->saved.columns * screen->saved.rows;

    readBuffer = (BYTE *)ViewAlloc(READ_BUFFER_BYTES);
    screen->characters = (WORD *)ViewAlloc(screen->count * sizeof(WORD));
    screen->attributes = (WORD *)ViewAlloc(screen->count * sizeof(WORD));
    if (readBuffer == NULL || screen->characters == NULL || screen->attributes == NULL) {
        result = LOAD_NO_MEMORY;
        goto done;
    }

    stream.data = (BYTE *)data;
    stream.size = size;
    stream.capacity = size;
    // A SAVECON file may end before its late start: its cells are then all
    // blank, as when the data ends anywhere else.
    stream.position = screen->saved.dataOffset < size ? screen->saved.dataOffset : size;
    reader.buffer = readBuffer;
    reader.read = MemoryBlockReader;
    reader.context = &stream;

    if (kind == HEADER_GLIMPSET) {
        // Cells that a short stream does not reach are shown blank, in the
        // colour the stream starts with, when the caller shows them anyway.
        WORD blank = (WORD)(screen->saved.attribute & 0xFF);
        for (DWORD i = 0; i < screen->count; i++) {
            screen->characters[i] = SPACE;
            screen->attributes[i] = blank;
        }
        decoded = DecodeGlimpset(&reader, screen->saved.attribute, screen->characters,
                                 screen->attributes, screen->count);
        screen->computedCrc = ScreenCrc32(screen->characters, screen->attributes, screen->count);
        if (screen->saved.version != GLIMPSET_VERSION) {
            result = LOAD_VERSION;
        } else if (decoded == DECODE_EARLY_END) {
            result = LOAD_EARLY_END;
        } else if (decoded == DECODE_FAILED) {
            result = LOAD_READ_FAILED;
        } else if (screen->computedCrc != screen->saved.crc) {
            result = LOAD_CRC;
        }
    } else {
        decoded = DecodeSavecon(&reader, screen->saved.attribute, screen->characters,
                                screen->attributes, screen->count);
        if (decoded != DECODE_OK) {
            result = LOAD_READ_FAILED;
        }
    }

done:
    ViewFree(readBuffer);
    if (result == LOAD_TOO_SHORT || result == LOAD_UNKNOWN || result == LOAD_NO_MEMORY ||
        result == LOAD_READ_FAILED) {
        FreeScreen(screen);
    }
    return result;
}
