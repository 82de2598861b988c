// search.cpp: the file search of glim /I. Owns the walk over the file
// specifications of the command, their preparation (alternatives of the name
// part written with vertical bars), the listing of one directory and, with
// /S, of the directories below it, the per-directory and total lines, and
// the guard that keeps a link from leading the search back into its own tree.
//
// Each level of the search keeps its buffers in one block on the heap: the
// host's stack would not hold four path buffers for every level of a deep
// tree. A level stands on the chain of the directories above it, identified
// by volume and file index, so that no directory is entered twice on one path.
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

enum {
    ALTERNATIVE_CAPACITY = 1024, // one alternative of a pattern: 1,023 characters
    // Entries that are never reported as files.
    NOT_A_FILE = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_OFFLINE,
};

// What identifies a directory itself, whatever path leads to it.
struct DirectoryIdentity {
    BOOL known;
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};

// One directory on the current path of the search; `above` leads to the
// directory that contains it, null at the top.
struct ChainLink {
    DirectoryIdentity identity;
    const ChainLink *above;
};

// The working storage of one level of the search.
struct SearchLevel {
    WCHAR directory[PATH_CAPACITY];  // the directory part, as printed
    WCHAR pattern[PATH_CAPACITY];    // the name part: alternatives cut at '|'
    WCHAR searchPath[PATH_CAPACITY]; // the directory part and "*"
    WCHAR composed[PATH_CAPACITY];   // a found file, or a subdirectory's specification
    WCHAR alternative[ALTERNATIVE_CAPACITY];
    WIN32_FIND_DATAW found;
    ChainLink self;  // the top directory, heading the chain
    ChainLink below; // the subdirectory being searched, linked to this level
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

// Reads the identity of the directory at `path`; `identity->known` is FALSE
// when it cannot be read. The directory is opened for no access at all, only
// to ask the file system which directory it is.
static void ReadIdentity(const WCHAR *path, DirectoryIdentity *identity) {
    identity->known = FALSE;
    HANDLE directory = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory == INVALID_HANDLE_VALUE) {
        return;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(directory, &info)) {
        identity->known = TRUE;
        identity->volume = info.dwVolumeSerialNumber;
        identity->indexHigh = info.nFileIndexHigh;
        identity->indexLow = info.nFileIndexLow;
    }
    CloseHandle(directory);
}

static int OnChain(const DirectoryIdentity *identity, const ChainLink *chain) {
    if (!identity->known) {
        return 0;
    }
    for (const ChainLink *link = chain; link != nullptr; link = link->above) {
        if (link->identity.known && link->identity.volume == identity->volume &&
            link->identity.indexHigh == identity->indexHigh &&
            link->identity.indexLow == identity->indexLow) {
            return 1;
        }
    }
    return 0;
}

// The identity of the directory that a directory part names. A trailing
// separator is dropped for the opening, except after a drive's colon or as
// the whole text, where it names a root.
static void ReadDirectoryPartIdentity(WCHAR *scratch, const WCHAR *directory,
                                      DirectoryIdentity *identity) {
    identity->known = FALSE;
    if (directory[0] == 0) {
        return;
    }
    TextCopy(scratch, PATH_CAPACITY, directory);
    int length = TextLength(scratch);
    if (length > 1 && IsSeparator(scratch[length - 1]) && scratch[length - 2] != ':') {
        scratch[length - 1] = 0;
    }
    ReadIdentity(scratch, identity);
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

// Reports on the matching files of one directory and searches below it.
// `chain` holds the directories on the path from the top down to this one;
// it is null at the top, where this level puts its own directory first.
static int SearchDirectory(const WCHAR *spec, DWORD searchFlags, DWORD modeFlags, DWORD *total,
                           const ChainLink *chain) {
    if (spec == nullptr || spec[0] == 0) {
        return -1;
    }

    int lowest = 0;
    DWORD count = 0;
    HANDLE find = INVALID_HANDLE_VALUE;
    SearchLevel *level = (SearchLevel *)AllocateMemory(sizeof(SearchLevel), FALSE);
    if (level == nullptr) {
        ReportPlain(NoBuffersMessage, nullptr);
        lowest = -2;
        goto done;
    }

    if (QueryIsDirectory(spec)) {
        TextCopy(level->directory, PATH_CAPACITY, spec);
        TextCopy(level->pattern, PATH_CAPACITY, AllPattern);
    } else {
        int split = NameStart(spec);
        for (int i = 0; i < split; i++) {
            level->directory[i] = spec[i];
        }
        level->directory[split] = 0;
        GetNamePart(spec, level->pattern);
    }

    TextCopy(level->searchPath, PATH_CAPACITY, level->directory);
    AppendSeparator(level->searchPath, AllEntries);
    TextAppend(level->searchPath, PATH_CAPACITY, AllEntries);

    find = FindFirstFileW(level->searchPath, &level->found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const WCHAR *name = level->found.cFileName;
            if ((level->found.dwFileAttributes & NOT_A_FILE) != 0 || level->pattern[0] == 0 ||
                !MatchesPattern(level->pattern, name, level->alternative)) {
                continue;
            }
            count++;
            // A file whose path does not fit is counted but not reported:
            // a cut-off path could name another file.
            TextCopy(level->composed, PATH_CAPACITY, level->directory);
            if (AppendSeparator(level->composed, name) != 0 ||
                TextAppend(level->composed, PATH_CAPACITY, name) != 0) {
                continue;
            }
            int result = ShowFileInfo(level->composed, (modeFlags & MODE_ONLY_KNOWN) ? 1 : 0);
            if (result < lowest) {
                lowest = result;
            }
        } while (FindNextFileW(find, &level->found));
        FindClose(find);
        find = INVALID_HANDLE_VALUE;
    }

    if (count == 0 && (searchFlags & SEARCH_EMPTY_OK) == 0) {
        ReportErrorPrefix();
        Qprintf(GetStdHandle(STD_ERROR_HANDLE), NoFilesFormat, level->pattern, level->directory);
    } else if ((modeFlags & MODE_NO_TOTALS) == 0 &&
               !(count == 0 && (modeFlags & MODE_SUBDIRECTORY) != 0)) {
        Printf(FoundInFormat, (unsigned)count, PluralEnding(count), level->directory);
    }

    if ((searchFlags & SEARCH_RECURSE) != 0) {
        if (chain == nullptr) {
            // A link back to the top directory is not followed either.
            ReadDirectoryPartIdentity(level->composed, level->directory, &level->self.identity);
            level->self.above = nullptr;
            chain = &level->self;
        }
        find = FindFirstFileW(level->searchPath, &level->found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const WCHAR *name = level->found.cFileName;
                DWORD attributes = level->found.dwFileAttributes;
                if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                    IsExactly(name, ThisDirectory) || IsExactly(name, ParentDirectory)) {
                    continue;
                }
                if (((searchFlags & SEARCH_NO_HIDDEN) && (attributes & FILE_ATTRIBUTE_HIDDEN)) ||
                    ((searchFlags & SEARCH_NO_SYSTEM) && (attributes & FILE_ATTRIBUTE_SYSTEM)) ||
                    ((searchFlags & SEARCH_NO_REPARSE) &&
                     (attributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
                    continue;
                }
                // A specification that does not fit would be cut into
                // another one, and could lead the search round in a circle.
                TextCopy(level->composed, PATH_CAPACITY, level->directory);
                if (AppendSeparator(level->composed, name) != 0 ||
                    TextAppend(level->composed, PATH_CAPACITY, name) != 0) {
                    continue;
                }
                ReadIdentity(level->composed, &level->below.identity);
                if (OnChain(&level->below.identity, chain)) {
                    continue;
                }
                if (AppendSeparator(level->composed, level->pattern) != 0 ||
                    TextAppend(level->composed, PATH_CAPACITY, level->pattern) != 0) {
                    continue;
                }
                level->below.above = chain;
                int result = SearchDirectory(level->composed, searchFlags | SEARCH_EMPTY_OK,
                                             modeFlags | MODE_SUBDIRECTORY, total, &level->below);
                if (result < lowest) {
                    lowest = result;
                }
            } while (FindNextFileW(find, &level->found));
            FindClose(find);
            find = INVALID_HANDLE_VALUE;
        }
    }

    if (total != nullptr) {
        *total += count;
    }

done:
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
    }
    FreeMemory(level);
    return lowest;
}

int ListFiles(const WCHAR *spec, DWORD searchFlags, DWORD modeFlags, DWORD *total) {
    return SearchDirectory(spec, searchFlags, modeFlags, total, nullptr);
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
