// platform_posix.cpp: glimview's machine on Linux and other POSIX systems:
// real files through the C library's streams, standard output and error as
// byte streams (a terminal takes UTF-8 and SGR sequences as they are).
#include "glimview/viewplatform.h"

#include <errno.h>
#include <glob.h>
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

void *ViewOpenInput(const char *path, char *reason) {
    FILE *stream = fopen(path, "rb");
    reason[0] = 0;
    if (stream == NULL) {
        CopyReason(reason, errno);
    }
    return stream;
}

BOOL ViewReadInput(void *input, BYTE *buffer, DWORD size, DWORD *got, char *reason) {
    FILE *stream = (FILE *)input;
    *got = (DWORD)fread(buffer, 1, size, stream);
    if (*got == 0 && ferror(stream)) {
        CopyReason(reason, errno != 0 ? errno : EIO);
        return FALSE;
    }
    return TRUE;
}

void ViewCloseInput(void *input) {
    fclose((FILE *)input);
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

DWORD ViewExpandPattern(const char *pattern, ViewNameCallback found, void *context, char *reason) {
    glob_t matches;
    DWORD given = 0;
    memset(&matches, 0, sizeof matches);
    // glob sorts the names; a name with "/" appended is a directory.
    if (glob(pattern, GLOB_MARK, NULL, &matches) == 0) {
        for (size_t i = 0; i < matches.gl_pathc; i++) {
            const char *name = matches.gl_pathv[i];
            size_t length = strlen(name);
            if (length > 0 && name[length - 1] == '/') {
                continue;
            }
            given++;
            if (!found(context, name)) {
                break;
            }
        }
    }
    globfree(&matches);
    if (given == 0) {
        CopyReason(reason, ENOENT);
    }
    return given;
}

void *ViewCreateFile(const char *path, char *reason) {
    PosixFile *file = (PosixFile *)ViewAlloc(sizeof(PosixFile));
    reason[0] = 0;
    if (file == NULL) {
        CopyReason(reason, ENOMEM);
        return NULL;
    }
    file->error = 0;
    file->stream = fopen(path, "wb");
    if (file->stream == NULL) {
        CopyReason(reason, errno);
        ViewFree(file);
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
    ViewFree(file);
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
