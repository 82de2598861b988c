// defaultname.cpp: the made-up file names of a save into a directory. The
// name comes from the capture time; when something of that name exists, a
// four-digit hexadecimal counter is added, the first free value winning.
#include "save/defaultname.h"

#include "common/text.h"
#include "plugin/host.h"

static const WCHAR CurrentDirectory[] = TEXT(".\\");
static const WCHAR Separator[] = TEXT("\\");
static const WCHAR BaseNameFormat[] = TEXT("Glimpset %04d-%02d-%02d %02d.%02d.%02d");
static const WCHAR Extension[] = TEXT(".glim");
static const WCHAR CounterFormat[] = TEXT("%s-%04X.glim");

enum {
    NAME_CAPACITY = 64, // the base name with a counter and the extension
};

static BOOL IsSeparator(WCHAR ch) {
    return ch == '/' || ch == '\\' || ch == ':';
}

int MakeDefaultName(WCHAR *path, const SYSTEMTIME *time) {
    int chosen = 0;
    return MakeDefaultNameFrom(path, time, 0, &chosen);
}

int MakeDefaultNameFrom(WCHAR *path, const SYSTEMTIME *time, int first, int *chosen) {
    if (path == nullptr || time == nullptr || chosen == nullptr) {
        return -1;
    }
    int result = -1;
    // On failure the caller names the directory that was searched, so the
    // buffer is given back as it came; every change below only appends
    // after `entryLength` (or fills the empty buffer).
    int entryLength = TextLength(path);
    WCHAR base[NAME_CAPACITY];
    WCHAR name[NAME_CAPACITY];
    int nameStart = 0;
    // A name whose formatting failed is no name: trying it would save under
    // ".glim", or take a later counter for a free one.
    if (wsprintfW(base, BaseNameFormat, (int)time->wYear, (int)time->wMonth, (int)time->wDay,
                  (int)time->wHour, (int)time->wMinute, (int)time->wSecond) <= 0) {
        goto done;
    }

    if (entryLength == 0 && TextCopy(path, PATH_CAPACITY, CurrentDirectory) != 0) {
        goto done;
    }
    if (!IsSeparator(path[TextLength(path) - 1]) &&
        TextAppend(path, PATH_CAPACITY, Separator) != 0) {
        goto done;
    }
    // The file name begins where the base name goes: after the last "/",
    // "\" or ":" of the directory part.
    nameStart = TextLength(path);
    if (TextAppend(path, PATH_CAPACITY, base) != 0 ||
        TextAppend(path, PATH_CAPACITY, Extension) != 0) {
        goto done;
    }
    if (first <= 0 && QueryIsFileOrDirectory(path) == 0) {
        *chosen = 0;
        result = 0;
        goto done;
    }
    for (int candidate = first > 1 ? first : 1; candidate < DEFAULT_NAME_CANDIDATES; candidate++) {
        path[nameStart] = 0;
        // A name cut by the bound would be some other file's name.
        if (wsprintfW(name, CounterFormat, base, candidate - 1) <= 0 ||
            TextAppend(path, PATH_CAPACITY, name) != 0) {
            goto done;
        }
        if (QueryIsFileOrDirectory(path) == 0) {
            *chosen = candidate;
            result = 0;
            goto done;
        }
    }

done:
    if (result != 0) {
        path[entryLength] = 0;
    }
    return result;
}
