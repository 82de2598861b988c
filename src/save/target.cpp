// target.cpp: where a save writes (the rules are in target.h): opening the
// target as a new file, as a file beside it that replaces it by a move, or
// for a write in place; committing it once the file is written; and
// removing what a failed save made.
#include "save/target.h"

#include "common/diskfile.h"
#include "common/errors.h"
#include "common/memory.h"
#include "common/text.h"
#include "save/defaultname.h"

static const WCHAR NameErrorText[] = TEXT("Error generating glimpset name in \"%s\"\r\n");
static const WCHAR AllocationText[] = TEXT("Can\u2019t allocate temporary buffers\r\n");
static const WCHAR FileOpenText[] = TEXT("Error opening \"%s\":\r\n");
static const WCHAR NotOnDiskText[] = TEXT("\"%s\" is not a file on disk.\r\n");
static const WCHAR FileWriteText[] = TEXT("Error writing to file \"%s\":\r\n");

// The file a replacing save writes before it moves it over the target. A
// save killed between the two leaves it behind: its fixed prefix and its
// extension make it recognisable as ours, never taken for the user's file
// (and no *.glim pattern matches it), and the next save steps over it
// rather than reuse it. The stepping over is tested by a save beside such
// files (save_test).
static const WCHAR TemporaryFormat[] = TEXT("~glimpset-%u.tmp");

enum {
    NAME_CAPACITY = 32,       // a temporary file's name
    TEMPORARY_ATTEMPTS = 100, // names tried for the temporary file
};

// Opens `path` for reading and writing, shared for reading, with
// `disposition`, and makes sure it is a file on disk. Returns the handle;
// or INVALID_HANDLE_VALUE with *device TRUE when it opened something else
// (closed again, nothing created), or with the system's code in *error.
static HANDLE OpenDiskFile(const WCHAR *path, DWORD disposition, DWORD *error, BOOL *device) {
    *device = FALSE;
    *error = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return INVALID_HANDLE_VALUE;
    }
    DiskFileCheck check = CheckDiskFile(file);
    if (check == DISK_FILE) {
        return file;
    }
    *device = check == NOT_DISK_FILE;
    *error = GetLastError();
    CloseHandle(file);
    // A device creates nothing; a file made new that cannot be told from
    // one goes again.
    if (!*device && disposition == CREATE_NEW) {
        DeleteFileW(path);
    }
    return INVALID_HANDLE_VALUE;
}

// The message for a file that OpenDiskFile could not give: `message` (the
// opening or the writing one) with the system's text, or the one for a
// device.
static void ReportOpenFailure(const WCHAR *message, DWORD error, BOOL device, const WCHAR *path) {
    if (device) {
        ReportPlain(NotOnDiskText, path);
    } else {
        ReportSystemCode(error, message, path);
    }
}

// 0 when the target of a save with /O may be replaced; ERROR_ACCESS_DENIED
// when it is a read-only, hidden or system file, which a replacing open with
// normal attributes would refuse (a file moved over it would not be). When
// the attributes cannot be read (there is no such file, most often) the save
// goes on, and opening the target reports what is wrong.
static DWORD ReplaceError(const WCHAR *path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    const DWORD refused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (attributes & refused) != 0 ? (DWORD)ERROR_ACCESS_DENIED : 0;
}

// A path with its namespace prefix taken away, so that "\\?\C:\a" compares
// equal to "C:\a", and "\\?\UNC\srv\x" to "\\srv\x" (both from the "\" on).
static const WCHAR *Unprefixed(const WCHAR *p) {
    BOOL prefixed = p[0] == '\\' && p[1] == '\\' && (p[2] == '?' || p[2] == '.') && p[3] == '\\';
    if (prefixed && p[2] == '?' && (p[4] | 0x20) == 'u' && (p[5] | 0x20) == 'n' &&
        (p[6] | 0x20) == 'c' && p[7] == '\\') {
        return p + 7;
    }
    if (prefixed) {
        return p + 4;
    }
    return p[0] == '\\' && p[1] == '\\' ? p + 1 : p;
}

// TRUE when the existing target `file` (open, named `path`) must be written
// in place rather than replaced by a move: it has more than one name (a
// move would split its hard links), or `path` reaches it through a link
// (its final path is another; a move would replace the link by a plain
// file). `buffer` (PATH_CAPACITY characters) is scratch space. When the
// system cannot tell, FALSE: the target is replaced as a plain file is.
static BOOL MustWriteInPlace(HANDLE file, const WCHAR *path, WCHAR *buffer) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) && info.nNumberOfLinks > 1) {
        return TRUE;
    }
    DWORD length = GetFinalPathNameByHandleW(file, buffer, PATH_CAPACITY,
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= PATH_CAPACITY) {
        return FALSE;
    }
    return CompareNoCaseAZ(Unprefixed(buffer), Unprefixed(path)) != 0;
}

// Creates a new file in the folder of `target` for a save that replaces
// it: "~glimpset-0.tmp", or the first of "~glimpset-1.tmp" ... that is
// free. Returns the open handle with its path in `temporary`
// (PATH_CAPACITY characters), or INVALID_HANDLE_VALUE when none could be
// made (the folder refuses new files, every name is taken, the path would
// not fit): the caller then writes the target in place. Nothing is created
// on failure.
static HANDLE CreateTemporaryFile(const WCHAR *target, WCHAR *temporary) {
    WCHAR name[NAME_CAPACITY];
    BOOL device = FALSE;
    DWORD error = 0;
    int folder = TextLength(target);
    while (folder > 0 && target[folder - 1] != '\\' && target[folder - 1] != '/') {
        folder--;
    }
    if (folder == 0 || TextCopy(temporary, PATH_CAPACITY, target) != 0) {
        return INVALID_HANDLE_VALUE;
    }
    for (unsigned attempt = 0; attempt < TEMPORARY_ATTEMPTS; attempt++) {
        temporary[folder] = 0;
        if (wsprintfW(name, TemporaryFormat, attempt) <= 0 ||
            TextAppend(temporary, PATH_CAPACITY, name) != 0) {
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = OpenDiskFile(temporary, CREATE_NEW, &error, &device);
        if (file != INVALID_HANDLE_VALUE || device ||
            (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// A made-up name is only ever created new: taken since it was made up
// (another save got there first), it is never replaced, the next free name
// is taken instead. Returns the new file, or INVALID_HANDLE_VALUE with the
// failure in *error and *device, or with *noName TRUE when no name is left.
static HANDLE CreateMadeUp(SaveTarget *target, DWORD *error, BOOL *device, BOOL *noName) {
    HANDLE file = OpenDiskFile(target->path, CREATE_NEW, error, device);
    while (file == INVALID_HANDLE_VALUE &&
           (*error == ERROR_FILE_EXISTS || *error == ERROR_ALREADY_EXISTS)) {
        target->path[target->folderLength] = 0;
        if (MakeDefaultNameFrom(target->path, target->time, target->candidate + 1,
                                &target->candidate) != 0) {
            *noName = TRUE;
            return INVALID_HANDLE_VALUE;
        }
        file = OpenDiskFile(target->path, CREATE_NEW, error, device);
    }
    return file;
}

// /O: the file beside an existing target, or a new file when there is
// nothing to replace. Returns it, or INVALID_HANDLE_VALUE with *inPlace
// TRUE when the target is to be written in place, or with the failure in
// *error and *device.
static HANDLE OpenReplacing(SaveTarget *target, BOOL *inPlace, DWORD *error, BOOL *device) {
    HANDLE existing = INVALID_HANDLE_VALUE;
    HANDLE file = INVALID_HANDLE_VALUE;
    *error = ReplaceError(target->path);
    if (*error == 0) {
        existing = OpenDiskFile(target->path, OPEN_EXISTING, error, device);
    }
    if (existing != INVALID_HANDLE_VALUE) {
        *inPlace = MustWriteInPlace(existing, target->path, target->temporary);
        CloseHandle(existing);
        if (!*inPlace) {
            file = CreateTemporaryFile(target->path, target->temporary);
            target->temporaryMade = file != INVALID_HANDLE_VALUE;
            *inPlace = !target->temporaryMade;
        }
    } else if (!*device && *error == ERROR_FILE_NOT_FOUND) {
        // Nothing to replace: made new, as without /O.
        file = OpenDiskFile(target->path, CREATE_NEW, error, device);
    }
    return file;
}

int OpenSaveTarget(SaveTarget *target) {
    DWORD error = 0;
    BOOL device = FALSE;
    BOOL inPlace = FALSE;
    BOOL noName = FALSE;
    if (target->rule == TARGET_REPLACE) {
        target->temporary = (WCHAR *)AllocateMemory(PATH_CAPACITY * sizeof(WCHAR), FALSE);
        if (target->temporary == nullptr) {
            ReportPlain(AllocationText, nullptr);
            return 2;
        }
    }
    if (target->rule == TARGET_MADE_UP) {
        target->file = CreateMadeUp(target, &error, &device, &noName);
        if (noName) {
            ReportPlain(NameErrorText, target->path);
            return -1;
        }
    } else if (target->rule == TARGET_NEW) {
        target->file = OpenDiskFile(target->path, CREATE_NEW, &error, &device);
    } else {
        target->file = OpenReplacing(target, &inPlace, &error, &device);
    }
    if (target->file == INVALID_HANDLE_VALUE && !inPlace) {
        ReportOpenFailure(FileOpenText, error, device, target->path);
        return 2;
    }
    target->madeNew = target->file != INVALID_HANDLE_VALUE && !target->temporaryMade;
    return 0;
}

int CommitSaveTarget(SaveTarget *target, TargetWriter write, void *content) {
    DWORD error = 0;
    BOOL device = FALSE;
    BOOL inPlace = target->file == INVALID_HANDLE_VALUE;
    if (!inPlace) {
        if (write(target->file, content) != 0) {
            ReportSystem(FileWriteText, target->path);
            return 2;
        }
        // The file beside reaches the disk before the move and the move
        // before the call returns: else after a power loss the target's
        // name could lead to data that was never written. A failed flush
        // is a failed write; the old target stays whole. Tested by a
        // failing flush and by the move's flags (save_test).
        if (target->temporaryMade && !FlushFileBuffers(target->file)) {
            ReportSystem(FileWriteText, target->path);
            return 2;
        }
        CloseHandle(target->file);
        target->file = INVALID_HANDLE_VALUE;
        // A refused move (the target is open elsewhere, the folder takes no
        // new name) leaves the target as it was: it is written in place.
        if (target->temporaryMade) {
            inPlace = !MoveFileExW(target->temporary, target->path,
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            target->temporaryMade = inPlace;
        }
    }
    if (inPlace) {
        // The whole screen is read and held: from here on only the writes
        // can fail, and only their failure loses the old content.
        target->file = OpenDiskFile(target->path, TRUNCATE_EXISTING, &error, &device);
        if (target->file == INVALID_HANDLE_VALUE) {
            ReportOpenFailure(FileWriteText, error, device, target->path);
            return 2;
        }
        if (write(target->file, content) != 0) {
            ReportSystem(FileWriteText, target->path);
            return 2;
        }
        CloseHandle(target->file);
        target->file = INVALID_HANDLE_VALUE;
    }
    target->madeNew = FALSE;
    return 0;
}

void AbandonSaveTarget(SaveTarget *target) {
    if (target->file != INVALID_HANDLE_VALUE) {
        CloseHandle(target->file);
        target->file = INVALID_HANDLE_VALUE;
    }
    if (target->madeNew) {
        DeleteFileW(target->path);
        target->madeNew = FALSE;
    }
    if (target->temporaryMade) {
        DeleteFileW(target->temporary);
        target->temporaryMade = FALSE;
    }
    FreeMemory(target->temporary);
    target->temporary = nullptr;
}
