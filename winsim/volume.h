// winsim/volume.h: what the parts of the simulated volume share among
// themselves (not for tests, which use sim.h). volume.cpp owns the model:
// drives and their trees of nodes, links, identities, free space and the
// paths that refuse to open or read, and the functions that change the
// tree by name; paths.cpp turns names into full paths and walks them;
// handles.cpp owns the open files, their sharing, reading and writing;
// search.cpp owns FindFirstFileW and its searches; devices.cpp owns the
// devices that CreateFileW opens by name (NUL, the console, ports, pipes);
// simvolume.cpp is the volume side of sim.h.
//
// The volume: drives by letter (C: exists from the start; the sim's Make*
// functions create a drive when they name one). Names compare without case
// (A-Z and Latin-1 letters) and keep the case they were made with. A
// directory lists its entries in the order they were made, as sim.h says;
// an entry renamed or moved by MoveFileExW is made anew at the end of its
// directory (a rename that changes only the case keeps its place).
// FindFirstFileW gives "." and ".." first in every directory but a drive's
// root, as NTFS does. A link is an entry with FILE_ATTRIBUTE_REPARSE_POINT
// (and FILE_ATTRIBUTE_DIRECTORY, but for a link to a file) whose contents
// are those of its target; every path is walked through links (CreateFileW
// opens the target, so a link and its target give the same identity);
// GetFileAttributesW and the listing of the directory that holds a link
// show the link itself. A hard link is a second name of a file: both names
// lead to one node's bytes and attributes.
//
// Choices where the machine is not Windows:
// - Paths of the form "\\server\share" (and "\\?\UNC\...") name no
//   reachable server: ERROR_BAD_NETPATH. "\\?\X:\..." and "\\.\X:\..."
//   name the drive's files; a "\\?\" path that names no drive stops the
//   program. A reserved device name as the last component (CON, NUL, COM1,
//   CONOUT$ ..., with any extension) is that device, "\\.\NAME", as
//   GetFullPathNameW makes it (devices.cpp).
// - A colon after the drive (an alternate data stream) is ERROR_INVALID_NAME.
// - There is no MAX_PATH limit (as with long paths enabled), but a component
//   is at most 255 characters (ERROR_INVALID_NAME beyond, as NTFS); file
//   times are zero; there are no short names.
// - FindFirstFileW matches * and ? without case; a pattern ending in ".*"
//   also matches the name without it ("*.*" matches every name), as DOS
//   patterns do. The entries of a search are taken when it starts.
// - Free space is one pool for all drives; only growth through WriteFile
//   takes from it, and only DeleteFileW, truncation and replacement give back.
#pragma once

#include "winsim/simcore.h"

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace winsim {

// ---- The model (volume.cpp).

struct Node {
    std::u16string name;
    bool directory = false;
    bool link = false;
    bool fileLink = false; // a link to a file, not a directory
    std::u16string target; // a link's target, a full path
    // A hard link: the node of the file's first name, which holds the bytes
    // and attributes of every name; that node lists its other names.
    Node *sameFile = nullptr;
    std::vector<Node *> otherNames;
    DWORD attributes = 0; // beyond DIRECTORY and REPARSE_POINT; 0 is "normal"
    std::vector<uint8_t> data;
    std::vector<Node *> children; // in the order they were made
    // The same entries by folded name, so that finding one does not walk
    // (and fold) the whole directory: a directory may hold 65,537 of them.
    std::unordered_map<std::u16string, Node *> byName;
    Node *parent = nullptr; // null for a root, and for a removed node
    uint64_t index = 0;
    WCHAR drive = u'C';
};

// Paths (as PathKey makes them, without a trailing separator for
// unopenable ones) that sim::SetUnopenable and sim::SetUnreadable named.
extern std::set<std::u16string> unopenable, unreadable;
// Directories that refuse new entries (sim::SetRefusesNewEntries).
extern std::set<const Node *> refusingNew;
// The flags of every MoveFileExW call, in order (sim::MoveFileFlags).
extern std::vector<DWORD> moveFlags;

// Counts the changes to the shape of the tree (entries attached, detached,
// the volume reset), so that what was found by walking a path can be kept
// for as long as the count stays.
extern uint64_t treeGeneration;

Node *NewNode(const std::u16string &name, bool directory, WCHAR drive);
// The root of the drive `letter` (any case); made when `create` is set,
// else null when there is no such drive.
Node *Drive(WCHAR letter, bool create);
// The entry of `directory` named by `length` characters at `name`, any
// case, or null.
Node *Child(Node *directory, const WCHAR *name, size_t length);
Node *Child(Node *directory, const std::u16string &name);
// Puts `node` at the end of `directory`. Its name must be free there (a
// name that differs only in case counts as taken).
void Attach(Node *directory, Node *node);
// Takes `node` out of its directory; its name must be the one it was
// attached under (a rename changes the name only after this).
void Detach(Node *node);
bool IsRoot(const Node *node);
DWORD AttributesOf(const Node *node);
// The volume serial number of a drive.
DWORD SerialOf(WCHAR drive);
// Adds `bytes` back to the free space (truncation, deletion, replacement).
void GiveBackSpace(uint64_t bytes);
// Takes `bytes` from the free space; false (nothing taken) when there are
// not so many left.
bool TakeSpace(uint64_t bytes);
// Sets the free space (sim::SetFreeSpace).
void SetSpaceLeft(uint64_t bytes);
// The directory that a link or a directory entry leads to, or null with
// the error; `depth` counts the links followed so far.
Node *Follow(Node *entry, DWORD *error, int depth);
// The node that holds the bytes and attributes of the file an entry names:
// the entry itself, or the first name of a hard link's file. Null for null.
Node *FileBehind(Node *entry);
const Node *FileBehind(const Node *entry);
// How many names a file has in the tree: its first name and its hard
// links, each while it is in a directory.
DWORD NameCount(const Node *file);
// Takes an entry out of its directory for good (DeleteFileW, a replacing
// MoveFileExW): the space of its bytes comes back once no name is left.
void RemoveName(Node *entry);
// The full path of a node in the tree ("C:\a\b", "C:\"); empty when the
// node is no longer in a directory.
std::u16string PathOf(const Node *node);

// ---- Paths (paths.cpp).

// Where a path leads: the directory that holds its last component (links
// followed), that component's entry (a link not followed), and its name.
struct Walk {
    Node *directory = nullptr; // null for a drive's root
    Node *entry = nullptr;     // null when the last component does not exist
    std::u16string name;       // the last component, empty for a root
    std::u16string full;       // the full path
    bool trailingSeparator = false;
};

// The full path of `input` as GetFullPathNameW makes it: purely textual.
// False for an empty name.
bool FullPath(const std::u16string &input, std::u16string &out);
// Walks `path` to its last component (wildcards allowed there when
// `wildcardsInLast`). Returns 0 or the Win32 error.
DWORD Locate(const std::u16string &path, bool wildcardsInLast, Walk &walk, int depth);
// Locate for a name that must exist: ERROR_FILE_NOT_FOUND when its last
// component does not.
DWORD LocateExisting(const std::u16string &path, Walk &walk);
// The entry `path` names (links not followed at the end), or null.
Node *EntryAt(const std::u16string &path);
// True for a reserved device name (CON, NUL, COM1, CONOUT$ ...), any
// extension.
bool IsDeviceName(const std::u16string &component);
// The parent directory part of a full path ("C:\a\b" -> "C:\a",
// "C:\a" -> "C:\").
std::u16string ParentOf(const std::u16string &full);
// The current directory, a full path without a trailing separator but
// for a drive's root.
extern std::u16string currentDirectory;
// Makes `full` the current directory (a trailing separator dropped).
void SetCurrent(const std::u16string &full);

// ---- Open files (handles.cpp).

// True when a handle is open on `node`.
bool IsOpen(const Node *node);
// True when an open handle on `node` does not share deletion.
bool DeleteBlocked(const Node *node);
void ResetHandles();
// Whether file indexes read as 0 (sim::SetZeroFileIndex).
void SetZeroIndex(bool on);

// ---- Searches (search.cpp).

void ResetSearches();

// ---- Devices (devices.cpp).

// True when a full path (as FullPath makes it) names a device: "\\.\" and
// a name without a further separator, or a pipe "\\.\pipe\NAME".
bool IsDevicePath(const std::u16string &full);
// CreateFileW on a device path, after the call was logged and its
// arguments checked: the console (through OpenConsole), console input,
// NUL, a port, a pipe; INVALID_HANDLE_VALUE with the last error when there
// is no such device or it refuses this access.
HANDLE OpenDevice(const std::u16string &full, DWORD access);
// ReadFile and WriteFile on a device handle (the count already cleared):
// NUL reads nothing and takes every byte; any other device would wait for
// a person or a peer, which stops the program.
BOOL ReadDevice(HANDLE handle, LPDWORD read);
BOOL WriteDevice(HANDLE handle, DWORD toWrite, LPDWORD written);
void ResetDevices();

// ---- The opening of every volume function.

// Sets the last error to `error`; for a failure's return.
void Fail(DWORD error);
// The call is logged; an armed failure of `function`, or of `function` on
// the path `name`, makes it fail with its error set as the last error. A
// null `name` stops the program (Win32 would crash). True when the call
// must fail.
bool EnterWithName(const char *function, const WCHAR *name);

} // namespace winsim
