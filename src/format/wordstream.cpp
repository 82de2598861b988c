// wordstream.cpp: the word-level transport of the token stream, shared by
// files and memory: PutToken and FlushTokens collect words into blocks of
// 16,384 bytes for a block writer, ReadWord takes words out of blocks from a
// block reader. Words travel as little-endian byte pairs whatever the host.
// Also the block functions over memory (those over files are in
// fileblocks.cpp, which alone needs the platform's file calls).
#include "format/wordstream.h"

#include <string.h>

int PutToken(WORD word, TokenBuffer *buffer) {
    if (buffer->fill >= TOKEN_BUFFER_WORDS) {
        BOOL written = buffer->write(buffer->context, buffer->words, buffer->fill * 2);
        // The block is gone either way: a later flush must not send it again.
        buffer->fill = 0;
        if (!written) {
            return 2;
        }
    }
    BYTE *at = (BYTE *)(buffer->words + buffer->fill);
    at[0] = (BYTE)(word & 0xFF);
    at[1] = (BYTE)(word >> 8);
    buffer->fill++;
    return 0;
}

int FlushTokens(TokenBuffer *buffer) {
    if (buffer->fill == 0) {
        return 0;
    }
    BOOL written = buffer->write(buffer->context, buffer->words, buffer->fill * 2);
    buffer->fill = 0;
    return written ? 0 : 2;
}

WordResult ReadWord(WordReader *reader, WORD *word) {
    if (reader->next >= reader->words) {
        DWORD got = 0;
        reader->words = 0;
        reader->next = 0;
        if (!reader->read(reader->context, reader->buffer, READ_BUFFER_BYTES, &got)) {
            return WORD_FAILED;
        }
        // A reader that claims more than it was given room for is not
        // believed beyond the buffer.
        if (got > READ_BUFFER_BYTES) {
            got = READ_BUFFER_BYTES;
        }
        // An odd byte at the end of a refill belongs to no word and is
        // dropped. A refill of one byte alone thus yields no word; it can
        // only be the last byte of a stream of odd length, and is taken as
        // the end of data like an empty refill.
        reader->words = got / 2;
        if (reader->words == 0) {
            return WORD_END;
        }
    }
    const BYTE *at = reader->buffer + 2 * reader->next;
    *word = (WORD)(at[0] | (at[1] << 8));
    reader->next++;
    return WORD_OK;
}

BOOL MemoryBlockWriter(void *context, const void *data, DWORD size) {
    MemoryStream *stream = (MemoryStream *)context;
    if (stream->size > stream->capacity || size > stream->capacity - stream->size) {
        return FALSE;
    }
    if (size > 0) {
        memcpy(stream->data + stream->size, data, size);
    }
    stream->size += size;
    return TRUE;
}

BOOL MemoryBlockReader(void *context, void *buffer, DWORD capacity, DWORD *got) {
    MemoryStream *stream = (MemoryStream *)context;
    DWORD left = stream->position < stream->size ? stream->size - stream->position : 0;
    DWORD take = left < capacity ? left : capacity;
    if (take > 0) {
        memcpy(buffer, stream->data + stream->position, take);
    }
    stream->position += take;
    *got = take;
    return TRUE;
}
