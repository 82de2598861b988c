// wordstream.h: the block-wise transport of the token stream, over a file
// or over memory. The writer collects words in a TokenBuffer of 8,192 words
// and hands full blocks of 16,384 bytes to its block writer; the reader
// refills one 16,384-byte buffer from its block reader and yields words.
// Files and memory differ only in the block functions.
#pragma once

#include "common/platform.h"

enum {
    TOKEN_BUFFER_WORDS = 8192,
    READ_BUFFER_BYTES = 16384,
};

// Writes `size` bytes; TRUE on success (only the success is looked at).
typedef BOOL (*BlockWriter)(void *context, const void *data, DWORD size);
// Reads up to `capacity` bytes, setting *got; FALSE when the read failed.
typedef BOOL (*BlockReader)(void *context, void *buffer, DWORD capacity, DWORD *got);

struct TokenBuffer {
    WORD *words; // TOKEN_BUFFER_WORDS words, owned by the caller
    DWORD fill;
    BlockWriter write;
    void *context;
};

// Stores a word; when the buffer is full, first writes it out as one block.
// Returns 0, or 2 when the block write failed (the word is not stored).
int PutToken(WORD word, TokenBuffer *buffer);
// Writes the words that remain (if any). Returns 0, or 2 on failure.
int FlushTokens(TokenBuffer *buffer);

enum WordResult {
    WORD_OK = 0,
    WORD_END = 1,    // end of data
    WORD_FAILED = 2, // the read failed
};

struct WordReader {
    BYTE *buffer; // READ_BUFFER_BYTES bytes, owned by the caller
    DWORD words;  // whole words available from the last refill
    DWORD next;   // index of the next word to take
    BlockReader read;
    void *context;
};

// Takes the next word, refilling with one read of the whole buffer when it
// is used up. A refill of no bytes is the end of data; a trailing odd byte
// is ignored (a refill of one byte alone counts as the end of data).
WordResult ReadWord(WordReader *reader, WORD *word);

// Block functions over a file handle (context: the HANDLE).
BOOL FileBlockWriter(void *context, const void *data, DWORD size);
BOOL FileBlockReader(void *context, void *buffer, DWORD capacity, DWORD *got);

// Block functions over memory (context: a MemoryStream).
struct MemoryStream {
    BYTE *data;
    DWORD size;     // bytes held (reader: bytes available)
    DWORD capacity; // writer: bytes it may hold; a write beyond fails
    DWORD position; // reader: next byte to read
};
BOOL MemoryBlockWriter(void *context, const void *data, DWORD size);
BOOL MemoryBlockReader(void *context, void *buffer, DWORD capacity, DWORD *got);
