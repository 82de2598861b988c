// target.h: where a save writes. The file is opened before the console is
// read and made the target only once the whole screen is written, so that a
// failed save leaves no damaged file under the target's name where that can
// be helped. Three ways lead there:
// - a new file: created under the target's name (a name the user gave
//   without /O, a made-up name, or /O where nothing is to be replaced), and
//   removed again when the save fails;
// - replaced by a move: written beside the target under a name of its own
//   and moved over the target once complete and flushed to the disk, the
//   move written through, so that the file it replaces survives any
//   failure, a power loss included;
// - written in place: where a move would be wrong (the target is a link, or
//   has more than one name, which a move would split off) or cannot be made
//   (the folder refuses new files, or refuses the move), the target is
//   truncated and written once the whole screen is held in memory: its old
//   content is then lost only if that last write fails.
// Only a file on disk is written: a name that opens the console, NUL, a port
// or a pipe is refused as soon as it is open, before a byte is written, and
// nothing is created. A target that cannot be replaced at all (held open
// elsewhere, read-only, hidden or system) is refused at opening.
#pragma once

#include "common/platform.h"

// How the name came about.
enum TargetRule {
    TARGET_NEW,     // the user's name: an existing file is an error
    TARGET_REPLACE, // the user's name with /O: an existing file is replaced
    TARGET_MADE_UP, // a made-up name, free when it was made up
};

// One save's target. The caller fills the first five fields (the last
// three for a made-up name only), sets `file` to INVALID_HANDLE_VALUE and
// the rest to zero; OpenSaveTarget fills the others.
struct SaveTarget {
    WCHAR *path;            // PATH_CAPACITY characters: the name written
    TargetRule rule;        // how the name came about
    const SYSTEMTIME *time; // made up: the time in the name
    int folderLength;       // made up: the length of its folder in `path`
    int candidate;          // made up: the number of the name (defaultname.h)
    HANDLE file;            // open for the first write; INVALID_HANDLE_VALUE: in place
    WCHAR *temporary;       // the file beside the target (PATH_CAPACITY), or null
    BOOL temporaryMade;     // `temporary` exists and is ours to remove
    BOOL madeNew;           // `file` is new under `path` and ours to remove
};

// Writes the whole file to `file`. Returns 0, or nonzero with the failed
// write's code as the last error.
typedef int (*TargetWriter)(HANDLE file, void *content);

// Opens `target` for writing. A made-up name taken meanwhile (another save
// got there first) is never replaced: the next free name is made up and
// written into `path`. Returns 0; 2 after the message ("Error opening",
// "is not a file on disk", or the allocation's); or -1 after "Error
// generating glimpset name" when every later made-up name is taken (the
// path then holds the folder). Whatever the result, AbandonSaveTarget
// releases what it holds.
int OpenSaveTarget(SaveTarget *target);

// Writes the file with `write` and makes it the target: closes the new
// file, or moves the file beside over the target, or (in place, or when the
// move is refused) truncates the target and writes it again. Returns 0, or 2
// after "Error writing to file" with the target's name. After a failure the
// target keeps its old content, except when it was written in place.
int CommitSaveTarget(SaveTarget *target, TargetWriter write, void *content);

// Closes what is open, removes what the save made and did not commit (the
// new file under the target's name, the file beside it) and frees the
// temporary name. Safe to call after any result of the two above.
void AbandonSaveTarget(SaveTarget *target);
