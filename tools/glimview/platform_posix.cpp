// platform_posix.cpp: glimview's machine on Linux and other POSIX systems:
// real files through the C library's streams, standard output and error as
// byte streams (a terminal takes UTF-8 and SGR sequences as they are).
#include "glimview/viewplatform.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

// An output file, and the first failure met while writing it.
struct PosixFile {
    FILE *stream;
    int error; // errno of the first failed write, or 0
};

static void CopyReason(char *reason, int error) {
    snprintf(reason, VIEW_REASON_BYTES, "%s", strerror(error));
}

ViewReadResult ViewReadFile(const char *path, DWORD limit, BYTE **data, DWORD *size, char *reason) {
    HANDLE heap = GetProcessHeap();
    FILE *stream = NULL;
    BYTE *bytes = NULL;
    DWORD capacity = 0;
    DWORD fill = 0;
    ViewReadResult result = VIEW_READ_OK;

    *data = NULL;
    *size = 0;
    reason[0] = 0;
    stream = fopen(path, "rb");
    if (stream == NULL) {
        CopyReason(reason, errno);
        result = VIEW_READ_NO_OPEN;
        goto done;
    }
    // The size is not asked beforehand: a pipe or a device has none. The
    // block grows by doubling until the file or the limit ends.
    for (;;) {
        if (fill == capacity) {
            if (capacity >= limit) {
                break;
            }
            DWORD grown = capacity == 0 ? 65536 : capacity * 2;
            if (grown > limit || grown < capacity) {
                grown = limit;
            }
            BYTE *larger = (BYTE *)HeapAlloc(heap, 0, grown);
            if (larger == NULL) {
                result = VIEW_READ_NO_MEMORY;
                goto done;
            }
            if (fill > 0) {
                memcpy(larger, bytes, fill);
            }
            if (bytes != NULL) {
                HeapFree(heap, 0, bytes);
            }
            bytes = larger;
            capacity = grown;
        }
        size_t got = fread(bytes + fill, 1, capacity - fill, stream);
        fill += (DWORD)got;
        if (got == 0) {
            if (ferror(stream)) {
                CopyReason(reason, errno != 0 ? errno : EIO);
                result = VIEW_READ_NO_READ;
                goto done;
            }
            break;
        }
    }

done:
    if (stream != NULL) {
        fclose(stream);
    }
    if (result != VIEW_READ_OK || fill == 0) {
        if (bytes != NULL) {
            HeapFree(heap, 0, bytes);
        }
        bytes = NULL;
        fill = 0;
    }
    *data = bytes;
    *size = fill;
    return result;
}

BOOL ViewSameFile(const char *first, const char *second) {
    struct stat one;
    struct stat two;
    // stat follows symbolic links: a link is the file it leads to.
    if (stat(first, &one) != 0 || stat(second, &two) != 0) {
        return FALSE;
    }
    return one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

void *ViewCreateFile(const char *path, char *reason) {
    PosixFile *file = (PosixFile *)HeapAlloc(GetProcessHeap(), 0, sizeof(PosixFile));
    reason[0] = 0;
    if (file == NULL) {
        CopyReason(reason, ENOMEM);
        return NULL;
    }
    file->error = 0;
    file->stream = fopen(path, "wb");
    if (file->stream == NULL) {
        CopyReason(reason, errno);
        HeapFree(GetProcessHeap(), 0, file);
        return NULL;
    }
    return file;
}

BOOL ViewFileWriter(void *context, const BYTE *data, DWORD size) {
    PosixFile *file = (PosixFile *)context;
    if (fwrite(data, 1, size, file->stream) != size) {
        if (file->error == 0) {
            file->error = errno != 0 ? errno : EIO;
        }
        return FALSE;
    }
    return TRUE;
}

BOOL ViewCloseFile(void *context, char *reason) {
    PosixFile *file = (PosixFile *)context;
    int error = file->error;
    // fclose flushes what the stream still holds: its failure is a write's.
    if (fclose(file->stream) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    HeapFree(GetProcessHeap(), 0, file);
    reason[0] = 0;
    if (error != 0) {
        CopyReason(reason, error);
        return FALSE;
    }
    return TRUE;
}

static BOOL WriteStream(FILE *stream, const BYTE *data, DWORD size) {
    return fwrite(data, 1, size, stream) == size && fflush(stream) == 0;
}

BOOL ViewStdoutWriter(void *, const BYTE *data, DWORD size) {
    return WriteStream(stdout, data, size);
}

BOOL ViewStderrWriter(void *, const BYTE *data, DWORD size) {
    return WriteStream(stderr, data, size);
}

void ViewPrepareStdout(BOOL) {}

void ViewRestoreStdout(void) {}
