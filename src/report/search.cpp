// search.cpp: the file search of glim /I. Owns the walk over the file
// specifications of the command, their preparation (alternatives of the name
// part written with vertical bars), the listing of one directory and, with
// /S, of the directories below it, the per-directory and total lines, and
// the guard that keeps a link from leading the search back into its own tree.
//
// The walk goes down a tree without recursion, with one block of texts for
// the whole walk and a small frame for each level, so that neither the
// host's stack nor its heap limits how deep a tree can be searched. A link
// is not followed to a directory on the path above it, identified by volume
// and file index, so that no directory is entered twice on one path.
#include "report/search.h"

#include "command/options.h"
#include "common/errors.h"
#include "common/memory.h"
#include "common/text.h"
#include "common/tokenizer.h"
#include "plugin/host.h"
#include "report/fileinfo.h"

static const WCHAR FoundInFormat[] = TEXT("\r\nFound %u file%s in %s.\r\n");
static const WCHAR FoundTotalFormat[] = TEXT("\r\nFound %u file%s total.\r\n");
static const WCHAR NoFilesFormat[] = TEXT("No %s files found in %s\r\n");
static const WCHAR BadFileSpecFormat[] = TEXT("Bad filespec:  \"%s\"\r\n");
static const WCHAR NoBuffersMessage[] = TEXT("Can’t allocate temporary buffers\r\n");
static const WCHAR AllPattern[] = TEXT("*");
static const WCHAR AllEntries[] = TEXT("*");
static const WCHAR Backslash[] = TEXT("\\");
static const WCHAR Plural[] = TEXT("s");
static const WCHAR Singular[] = TEXT("");
static const WCHAR ThisDirectory[] = TEXT(".");
static const WCHAR ParentDirectory[] = TEXT("..");
static const WCHAR ELLIPSIS = 0x2026;
static const WCHAR LiteralPrefix[] = TEXT("\\\\?\\");
static const WCHAR LiteralUncPrefix[] = TEXT("\\\\?\\UNC\\");

enum {
    ALTERNATIVE_CAPACITY = 1024, // one alternative of a pattern: 1,023 characters
    // A directory part and an entry's name, which may not fit a path buffer.
    COMPOSED_CAPACITY = PATH_CAPACITY + MAX_PATH + 1,
    // A composed path in its literal form, "\\?\UNC\" before it at the most.
    LITERAL_CAPACITY = COMPOSED_CAPACITY + 8,
    FIRST_FRAMES = 64, // levels before the frames need a block of their own
    // The characters of a path too long to open that its message shows.
    SHOWN_PATH_TAIL = PATH_CAPACITY - 256,
    // Entries that are never reported as files.
    NOT_A_FILE = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_OFFLINE,
};

// The prepared specification of ListFileSpecs and the working copy of
// NormalizeFileSpec. Neither function is entered twice at once, and static
// storage cannot fail as an allocation can.
static WCHAR PreparedSpec[PATH_CAPACITY];
static WCHAR WorkingSpec[PATH_CAPACITY];

static int IsSeparator(WCHAR ch) {
    return ch == '\\' || ch == '/';
}

static int EndsInSeparatorOrColon(const WCHAR *text) {
    int length = TextLength(text);
    if (length == 0) {
        return 0;
    }
    WCHAR last = text[length - 1];
    return IsSeparator(last) || last == ':';
}

static int IsLetterOrDigit(WCHAR ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
}

// Index just past the split point of `path`: its last slash or backslash,
// else its last colon; 0 when it has none.
static int NameStart(const WCHAR *path) {
    int length = TextLength(path);
    for (int i = length; i > 0; i--) {
        if (IsSeparator(path[i - 1])) {
            return i;
        }
    }
    for (int i = length; i > 0; i--) {
        if (path[i - 1] == ':') {
            return i;
        }
    }
    return 0;
}

const WCHAR *GetNamePart(const WCHAR *path, WCHAR *buffer) {
    if (path == nullptr || path[0] == 0) {
        return nullptr;
    }
    const WCHAR *name = path + NameStart(path);
    if (buffer == nullptr) {
        return name;
    }
    TextCopy(buffer, PATH_CAPACITY, name);
    return buffer;
}

int NormalizeFileSpec(const WCHAR *spec, WCHAR *output) {
    TextCopy(WorkingSpec, PATH_CAPACITY, spec);
    int start = 0;
    if (IsLetterOrDigit(WorkingSpec[0]) && WorkingSpec[1] == ':') {
        start = 2;
    }
    for (int i = start; WorkingSpec[i] != 0; i++) {
        if (IsSeparator(WorkingSpec[i])) {
            start = i;
        }
    }
    // Alternatives are typed with semicolons; only the name part holds them.
    for (int i = start; WorkingSpec[i] != 0; i++) {
        if (WorkingSpec[i] == ';') {
            WorkingSpec[i] = '|';
        }
    }
    return QueryTrueName(WorkingSpec, output);
}

// Appends "\" to `path` when it is not empty and ends in none of slash,
// backslash and colon, and `next` (the text to follow) begins with no slash
// or backslash. Returns -1 when the result does not fit.
static int AppendSeparator(WCHAR *path, const WCHAR *next) {
    if (path[0] == 0 || EndsInSeparatorOrColon(path) || IsSeparator(next[0])) {
        return 0;
    }
    return TextAppend(path, PATH_CAPACITY, Backslash);
}

// 1 when `name` matches one of the alternatives of `pattern`.
static int MatchesPattern(const WCHAR *pattern, const WCHAR *name, WCHAR *alternative) {
    const WCHAR *at = pattern;
    while (*at != 0) {
        int length = 0;
        while (*at != 0 && *at != '|') {
            if (length < ALTERNATIVE_CAPACITY - 1) {
                alternative[length++] = *at;
            }
            at++;
        }
        alternative[length] = 0;
        if (*at == '|') {
            at++;
        }
        if (length > 0 && WildcardComparison(alternative, name, 1, 1) == 0) {
            return 1;
        }
    }
    return 0;
}

static const WCHAR *PluralEnding(DWORD count) {
    return count == 1 ? Singular : Plural;
}

static int IsExactly(const WCHAR *text, const WCHAR *expected) {
    int i = 0;
    while (text[i] != 0 && text[i] == expected[i]) {
        i++;
    }
    return text[i] == expected[i];
}

// The name by which a found file is opened: `path` in the "\\?\" form,
// which the system takes as it stands. In any other form the system
// normalises the last component of a path, dropping its trailing periods
// and blanks and taking a reserved name (CON, NUL.glim) for the device, so
// that "t.glim." or "t.glim " would open "t.glim", another file or none.
// A drive path "X:\..." becomes "\\?\X:\...", a share "\\server\share\..."
// becomes "\\?\UNC\server\share\...", a "\\.\" path its "\\?\" twin, slashes
// becoming backslashes; `path` is full (the host resolved it), so it holds
// no "." or ".." component. A "\\?\" path is literal already; any other
// form, and a path that does not fit `literal` (LITERAL_CAPACITY), is
// returned as it is.
static const WCHAR *LiteralPath(const WCHAR *path, WCHAR *literal) {
    const WCHAR *rest = path;
    const WCHAR *prefix = LiteralPrefix;
    if (path[0] == '\\' && path[1] == '\\' && path[2] == '?' && path[3] == '\\') {
        return path;
    }
    if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        if ((path[2] == '?' || path[2] == '.') && IsSeparator(path[3])) {
            rest = path + 4;
        } else if (path[2] != 0 && !IsSeparator(path[2])) {
            rest = path + 2;
            prefix = LiteralUncPrefix;
        } else {
            return path;
        }
    } else if (!(IsLetterOrDigit(path[0]) && path[1] == ':' && IsSeparator(path[2]))) {
        return path;
    }
    if (TextCopy(literal, LITERAL_CAPACITY, prefix) != 0 ||
        TextAppend(literal, LITERAL_CAPACITY, rest) != 0) {
        return path;
    }
    for (WCHAR *at = literal; *at != 0; at++) {
        if (*at == '/') {
            *at = '\\';
        }
    }
    return literal;
}

// ---- The walk.

// What identifies a directory itself, whatever path leads to it.
struct DirectoryIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

enum IdentityState {
    IDENTITY_UNREAD = 0, // not asked for yet
    IDENTITY_UNKNOWN,    // could not be read, or the file system gives no index
    IDENTITY_KNOWN,
};

// One directory on the path of the walk, from the top (frame 0) down. Its
// texts are prefixes of the walk's directory buffer: a directory below it
// is always its directory part followed by more.
struct SearchFrame {
    HANDLE find;         // its listing of subdirectories, open while one below is searched
    BOOL pending;        // the listing's first entry is in the walk's find data, not yet seen
    int directoryLength; // its directory part, as printed
    int enteredLength;   // the directory it was entered by (for the top: its directory part)
    BOOL allEntries;     // its pattern is "*" (it named a directory), not the top's pattern
    BOOL belowLink;      // a link was followed on the way down to it
    DWORD count;         // its matching files
    IdentityState identityState;
    DirectoryIdentity identity; // of the entered directory, read only when a link asks
};

// The working storage of a whole walk, one block on the heap whatever the
// depth: the texts of the level being searched, and a frame per level. A
// level costs a frame (a few dozen bytes) and a search handle, so a tree as
// deep as a path can reach (about 8,000 levels of one-character names) is
// searched without recursion, in well under a megabyte. The frames start in
// the block and move to a block of their own, doubled, when the walk goes
// deeper; the search test of a deepest tree exercises that growth.
struct SearchWalk {
    WCHAR spec[PATH_CAPACITY];         // the specification of the level being entered
    WCHAR directory[PATH_CAPACITY];    // the directory part of the deepest level
    WCHAR pattern[PATH_CAPACITY];      // the top's pattern: alternatives cut at '|'
    WCHAR searchPath[PATH_CAPACITY];   // a directory part and "*"
    WCHAR composed[COMPOSED_CAPACITY]; // a found file, or a directory to identify
    WCHAR literal[LITERAL_CAPACITY];   // a found file's name that reaches only it
    WCHAR alternative[ALTERNATIVE_CAPACITY];
    WCHAR shownPattern[PATH_CAPACITY]; // what the lines print, without controls
    WCHAR shownDirectory[PATH_CAPACITY];
    WIN32_FIND_DATAW found;
    SearchFrame *frames; // firstFrames, or a larger block
    int capacity;
    SearchFrame firstFrames[FIRST_FRAMES];
};

// Reads the identity of the directory at `path`; UNKNOWN when it cannot be
// read, and when the file system reports the file index 0, as some network
// shares and virtual file systems do for every directory: such a number
// tells no directory from another. The directory is opened for no access
// at all, only to ask the file system which directory it is.
static IdentityState ReadIdentity(const WCHAR *path, DirectoryIdentity *identity) {
    HANDLE directory = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory == INVALID_HANDLE_VALUE) {
        return IDENTITY_UNKNOWN;
    }
    IdentityState state = IDENTITY_UNKNOWN;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(directory, &info) &&
        (info.nFileIndexHigh != 0 || info.nFileIndexLow != 0)) {
        state = IDENTITY_KNOWN;
        identity->volume = info.dwVolumeSerialNumber;
        identity->indexHigh = info.nFileIndexHigh;
        identity->indexLow = info.nFileIndexLow;
    }
    CloseHandle(directory);
    return state;
}

// The identity of the directory a frame was entered by, read when first
// asked for. A trailing separator is dropped for the opening, except after
// a drive's colon or as the whole text, where it names a root.
static const SearchFrame *FrameIdentity(SearchWalk *walk, SearchFrame *frame) {
    if (frame->identityState == IDENTITY_UNREAD) {
        frame->identityState = IDENTITY_UNKNOWN;
        int length = frame->enteredLength;
        if (length > 0) {
            for (int i = 0; i < length; i++) {
                walk->composed[i] = walk->directory[i];
            }
            if (length > 1 && IsSeparator(walk->composed[length - 1]) &&
                walk->composed[length - 2] != ':') {
                length--;
            }
            walk->composed[length] = 0;
            frame->identityState = ReadIdentity(walk->composed, &frame->identity);
        }
    }
    return frame;
}

static int SameIdentity(const DirectoryIdentity *a, const DirectoryIdentity *b) {
    return a->volume == b->volume && a->indexHigh == b->indexHigh && a->indexLow == b->indexLow;
}

// Whether the directory at walk->spec is one on the path from the top down
// to frame `depth`. A directory whose identity is unknown is never taken
// for one on the path, so a file system without identities is searched
// whole (a cycle of links there ends where the path no longer fits its
// buffer).
static int LeadsBackUp(SearchWalk *walk, int depth) {
    DirectoryIdentity target;
    if (ReadIdentity(walk->spec, &target) != IDENTITY_KNOWN) {
        return 0;
    }
    for (int i = 0; i <= depth; i++) {
        const SearchFrame *frame = FrameIdentity(walk, &walk->frames[i]);
        if (frame->identityState == IDENTITY_KNOWN && SameIdentity(&frame->identity, &target)) {
            return 1;
        }
    }
    return 0;
}

// Makes room for frame `depth`. Returns 0, or -1 when the heap refuses a
// larger block (the frames are then as they were).
static int MakeFrameRoom(SearchWalk *walk, int depth) {
    if (depth < walk->capacity) {
        return 0;
    }
    int capacity = walk->capacity * 2;
    SearchFrame *frames =
        (SearchFrame *)AllocateMemory((SIZE_T)capacity * sizeof(SearchFrame), FALSE);
    if (frames == nullptr) {
        return -1;
    }
    for (int i = 0; i < walk->capacity; i++) {
        frames[i] = walk->frames[i];
    }
    if (walk->frames != walk->firstFrames) {
        FreeMemory(walk->frames);
    }
    walk->frames = frames;
    walk->capacity = capacity;
    return 0;
}

// The pattern of a frame.
static const WCHAR *FramePattern(const SearchWalk *walk, const SearchFrame *frame) {
    return frame->allEntries ? AllPattern : walk->pattern;
}

// Enters the level whose specification is walk->spec as frame `depth`
// (whose enteredLength the caller has set): reports on its matching files,
// prints its line, and starts its listing of subdirectories when the
// search recurses. Returns the lowest result of its reports (0 or -2).
static int EnterLevel(SearchWalk *walk, int depth, DWORD searchFlags, DWORD modeFlags) {
    SearchFrame *frame = &walk->frames[depth];
    int lowest = 0;
    frame->find = INVALID_HANDLE_VALUE;
    frame->pending = FALSE;
    frame->count = 0;
    frame->identityState = IDENTITY_UNREAD;
    if (QueryIsDirectory(walk->spec)) {
        TextCopy(walk->directory, PATH_CAPACITY, walk->spec);
        frame->allEntries = TRUE;
    } else {
        int split = NameStart(walk->spec);
        for (int i = 0; i < split; i++) {
            walk->directory[i] = walk->spec[i];
        }
        walk->directory[split] = 0;
        if (depth == 0) {
            GetNamePart(walk->spec, walk->pattern);
            frame->allEntries = FALSE;
        } else {
            frame->allEntries = walk->frames[depth - 1].allEntries;
        }
    }
    frame->directoryLength = TextLength(walk->directory);
    if (depth == 0) {
        frame->enteredLength = frame->directoryLength;
    }
    const WCHAR *pattern = FramePattern(walk, frame);

    TextCopy(walk->searchPath, PATH_CAPACITY, walk->directory);
    AppendSeparator(walk->searchPath, AllEntries);
    TextAppend(walk->searchPath, PATH_CAPACITY, AllEntries);

    HANDLE find = FindFirstFileW(walk->searchPath, &walk->found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const WCHAR *name = walk->found.cFileName;
            if ((walk->found.dwFileAttributes & NOT_A_FILE) != 0 || pattern[0] == 0 ||
                !MatchesPattern(pattern, name, walk->alternative)) {
                continue;
            }
            frame->count++;
            TextCopy(walk->composed, COMPOSED_CAPACITY, walk->directory);
            AppendSeparator(walk->composed, name);
            TextAppend(walk->composed, COMPOSED_CAPACITY, name);
            int result = 0;
            // A path that does not fit a path buffer names a file that no
            // operation here could open: it is reported as one that cannot
            // be opened, rather than cut into the name of another file.
            int length = TextLength(walk->composed);
            if (length >= PATH_CAPACITY) {
                // Shown by its end, after an ellipsis: the whole path would
                // not fit the host's line either.
                WCHAR *shown = walk->composed + length - SHOWN_PATH_TAIL;
                shown[0] = ELLIPSIS;
                result = ReportUnopenedFile(shown, ERROR_FILENAME_EXCED_RANGE);
            } else {
                result = ShowFileInfoAs(walk->composed, LiteralPath(walk->composed, walk->literal),
                                        (modeFlags & MODE_ONLY_KNOWN) ? 1 : 0);
            }
            if (result < lowest) {
                lowest = result;
            }
        } while (FindNextFileW(find, &walk->found));
        FindClose(find);
    }

    const WCHAR *shownDirectory =
        PrintableText(walk->directory, walk->shownDirectory, PATH_CAPACITY);
    if (frame->count == 0 && (searchFlags & SEARCH_EMPTY_OK) == 0) {
        ReportErrorPrefix();
        Qprintf(GetStdHandle(STD_ERROR_HANDLE), NoFilesFormat,
                PrintableText(pattern, walk->shownPattern, PATH_CAPACITY), shownDirectory);
    } else if ((modeFlags & MODE_NO_TOTALS) == 0 &&
               !(frame->count == 0 && (modeFlags & MODE_SUBDIRECTORY) != 0)) {
        Printf(FoundInFormat, (unsigned)frame->count, PluralEnding(frame->count), shownDirectory);
    }

    if ((searchFlags & SEARCH_RECURSE) != 0) {
        frame->find = FindFirstFileW(walk->searchPath, &walk->found);
        frame->pending = frame->find != INVALID_HANDLE_VALUE;
    }
    return lowest;
}

// Finds the next subdirectory of frame `depth` to search, and composes its
// specification in walk->spec, the length of the directory it enters in
// *enteredLength, and in *viaLink whether that is a link. Returns 0 when
// the listing has no more.
static int NextSubdirectory(SearchWalk *walk, int depth, DWORD searchFlags, int *enteredLength,
                            BOOL *viaLink) {
    SearchFrame *frame = &walk->frames[depth];
    if (frame->find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    // The levels below have written past this level's directory part, but
    // never into it.
    walk->directory[frame->directoryLength] = 0;
    for (;;) {
        if (!frame->pending && !FindNextFileW(frame->find, &walk->found)) {
            return 0;
        }
        frame->pending = FALSE;
        const WCHAR *name = walk->found.cFileName;
        DWORD attributes = walk->found.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || IsExactly(name, ThisDirectory) ||
            IsExactly(name, ParentDirectory)) {
            continue;
        }
        if (((searchFlags & SEARCH_NO_HIDDEN) && (attributes & FILE_ATTRIBUTE_HIDDEN)) ||
            ((searchFlags & SEARCH_NO_SYSTEM) && (attributes & FILE_ATTRIBUTE_SYSTEM)) ||
            ((searchFlags & SEARCH_NO_REPARSE) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
            continue;
        }
        // A specification that does not fit would be cut into another one,
        // and could lead the search round in a circle.
        TextCopy(walk->spec, PATH_CAPACITY, walk->directory);
        if (AppendSeparator(walk->spec, name) != 0 ||
            TextAppend(walk->spec, PATH_CAPACITY, name) != 0) {
            continue;
        }
        // Only a link can lead back up a tree: below the top's plain
        // directories nothing is on the path, and nothing is asked, so
        // that file systems whose indexes are 0 or repeat are searched
        // whole. Below a link, a plain directory may be the way back to a
        // directory on the path (a link to the top's parent leads down to
        // the top again), and is asked too.
        *viaLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if ((*viaLink || frame->belowLink) && LeadsBackUp(walk, depth)) {
            continue;
        }
        *enteredLength = TextLength(walk->spec);
        const WCHAR *pattern = FramePattern(walk, frame);
        if (AppendSeparator(walk->spec, pattern) != 0 ||
            TextAppend(walk->spec, PATH_CAPACITY, pattern) != 0) {
            continue;
        }
        return 1;
    }
}

int ListFiles(const WCHAR *spec, DWORD searchFlags, DWORD modeFlags, DWORD *total) {
    if (spec == nullptr || spec[0] == 0) {
        return -1;
    }
    SearchWalk *walk = (SearchWalk *)AllocateMemory(sizeof(SearchWalk), FALSE);
    if (walk == nullptr) {
        ReportPlain(NoBuffersMessage, nullptr);
        return -2;
    }
    walk->frames = walk->firstFrames;
    walk->capacity = FIRST_FRAMES;
    TextCopy(walk->spec, PATH_CAPACITY, spec);

    // Depth first, as a recursion would go: a level's files and line, then
    // each of its subdirectories whole, in listing order.
    walk->frames[0].belowLink = FALSE;
    int lowest = EnterLevel(walk, 0, searchFlags, modeFlags);
    int depth = 0;
    while (depth >= 0) {
        SearchFrame *frame = &walk->frames[depth];
        int enteredLength = 0;
        BOOL viaLink = FALSE;
        if (!NextSubdirectory(walk, depth, searchFlags, &enteredLength, &viaLink)) {
            if (frame->find != INVALID_HANDLE_VALUE) {
                FindClose(frame->find);
            }
            if (total != nullptr) {
                *total += frame->count;
            }
            depth--;
            continue;
        }
        if (MakeFrameRoom(walk, depth + 1) != 0) {
            // The subdirectory goes unsearched; the rest of the tree is not.
            ReportPlain(NoBuffersMessage, nullptr);
            lowest = -2;
            continue;
        }
        depth++;
        walk->frames[depth].enteredLength = enteredLength;
        walk->frames[depth].belowLink = walk->frames[depth - 1].belowLink || viaLink;
        int result =
            EnterLevel(walk, depth, searchFlags | SEARCH_EMPTY_OK, modeFlags | MODE_SUBDIRECTORY);
        if (result < lowest) {
            lowest = result;
        }
    }

    if (walk->frames != walk->firstFrames) {
        FreeMemory(walk->frames);
    }
    FreeMemory(walk);
    return lowest;
}

int ListFileSpecs(DWORD modeFlags, DWORD searchFlags) {
    DWORD total = 0;
    DWORD runs = 0;
    int result = 0;

    for (int i = 0; i < ArgTable.count; i++) {
        WCHAR *argument = ArgTable.args[i];
        if (argument == nullptr || argument[0] == 0 || argument[0] == '/') {
            continue;
        }
        PreparedSpec[0] = 0;
        NormalizeFileSpec(argument, PreparedSpec);
        if (PreparedSpec[0] != 0) {
            if (ListFiles(PreparedSpec, searchFlags, modeFlags, &total) != 0) {
                result = 2;
            }
            runs++;
        } else {
            UpperCaseAZ(argument);
            ReportPlain(BadFileSpecFormat, argument);
            if (result != 2) {
                result = 1;
            }
        }
    }

    if (runs == 0) {
        PreparedSpec[0] = 0;
        QueryTrueName(AllPattern, PreparedSpec);
        if (ListFiles(PreparedSpec, searchFlags, modeFlags, &total) != 0) {
            result = 2;
        }
        runs++;
    }

    if ((modeFlags & MODE_NO_TOTALS) == 0 && ((searchFlags & SEARCH_RECURSE) != 0 || runs > 1)) {
        Printf(FoundTotalFormat, (unsigned)total, PluralEnding(total));
    }
    return result;
}
