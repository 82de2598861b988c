// glimhost.h: what the parts of the stand-in host program glimhost.exe
// share. The program (glimhost.cpp) reads its options and runs the command
// lines; loadplugin.cpp loads the plugin and registers its names;
// runlines.cpp runs command lines, batch files and standard input;
// builtins.cpp holds the built-in commands; hostio.cpp the console and
// redirected input and output. All of glimhost's texts are at the top of
// glimhost.cpp, so that they can be read in one place. Everything is
// process-global and used from one thread. Nothing here is exported:
// TakeCmd.dll knows none of it.
#pragma once

#include "plugin/host.h"

enum {
    LINE_CAPACITY = 16384,   // a command line, a path, an environment value
    ERROR_CAPACITY = 1024,   // a system error text
    STATUS_HOST_FAILURE = 2, // the status when glimhost itself fails
};

// ---- The program (glimhost.cpp).

// glimhost's texts, all defined at the top of glimhost.cpp.
extern const WCHAR MSG_CANNOT_LOAD[];
extern const WCHAR MSG_NOT_A_PLUGIN[];
extern const WCHAR MSG_NO_EXPORT[];
extern const WCHAR DEFAULT_PLUGIN[];
extern const WCHAR MSG_UNKNOWN_COMMAND[];
extern const WCHAR MSG_LINE_TOO_LONG[];
extern const WCHAR USAGE_ECHO[];
extern const WCHAR USAGE_SET[];
extern const WCHAR USAGE_CLS[];
extern const WCHAR USAGE_HELP[];
extern const WCHAR USAGE_VER[];
extern const WCHAR USAGE_REM[];
extern const WCHAR USAGE_EXIT[];
extern const WCHAR MSG_NO_HELP[];
extern const WCHAR MSG_HELP_IN_BOX[];
extern const WCHAR SWITCH_BOX[];
extern const WCHAR MSG_NOT_IN_ENVIRONMENT[];
extern const WCHAR MSG_TOO_LONG_TO_SHOW[];
extern const WCHAR EQUALS_SIGN[];
extern const WCHAR MSG_NO_CONSOLE[];
extern const WCHAR FORMAT_VERSION[];
extern const WCHAR FORMAT_LINE[];
extern const WCHAR MSG_CANNOT_OPEN[];
extern const WCHAR FORMAT_ERROR_CODE[];
extern const WCHAR PROMPT[];
extern const WCHAR LINE_END[];

// Writes glimhost's usage text to standard output.
void ShowUsage(void);

// ---- Loading the plugin (loadplugin.cpp).

// The loaded plugin's information record and its help exports; null when
// no plugin is loaded or it lacks the export.
extern PluginInfoRecord *PluginInfoPtr;
extern UsageFn PluginUsage;
extern HelpFn PluginHelp;

// Loads the plugin at `path` (null: glimpset.dll beside glimhost.exe),
// registers its commands and variable functions, and starts it. Returns
// false, with a message on standard error, when it cannot be loaded or is
// not a plugin; nothing stays loaded then.
bool LoadPlugin(const WCHAR *path);
// Shuts the plugin down, resets the host's state and unloads it; its
// record, help exports and commands are null or gone then.
void UnloadPlugin(void);
// The plugin's command of that name (compared without case), or null.
CommandFn FindPluginCommand(const WCHAR *name);

// ---- Running command lines (runlines.cpp).

// The status of the last command; set by exit N to N.
extern int Status;
// Set by exit: no further command line runs.
extern bool ExitRequested;

// Expands the variables of one command line and runs it: a plugin command,
// then a built-in; anything else is reported as unknown. Sets Status, and
// flushes the output at the end.
void RunLine(const WCHAR *text);
// Runs the lines of the batch file at `path` until its end or exit; a file
// that cannot be opened is reported, with Status 2.
void RunBatchFile(const WCHAR *path);
// Runs the lines of standard input: typed at the prompt when it is a
// console, else read as a batch file's lines are.
void RunStandardInput(void);

// ---- The built-in commands (builtins.cpp).

// A built-in takes the command line's tail and returns its status.
typedef int (*BuiltinFn)(WCHAR *tail);
// The built-in of that name (compared without case), or null.
BuiltinFn FindBuiltin(const WCHAR *name);

// ---- Console and redirected input and output (hostio.cpp).

// The standard error handle, as it stands.
HANDLE StdErr(void);
// The system's text for an error code, without its line end, into a
// buffer of ERROR_CAPACITY characters.
void ErrorText(DWORD code, WCHAR *buffer);
// Reports on standard error that `path` cannot be opened, with the
// system's text for `code`.
void ReportCannotOpen(const WCHAR *path, DWORD code);

// Sets up the output: standard output to a new file at `outPath` and
// standard error to one at `errPath` (either may be null; an -e name that
// reaches the -o file, by any name or link, shares its handle, so that
// both streams keep their order in it), notes whether standard output as it was is a console, for
// the prompt, and turns on the host's output buffering, so that a file or
// a pipe is written a buffer at a time rather than a call at a time.
// Returns false, with a message, when a file cannot be created; what was
// changed stays so until EndOutput. What is gathered is written out by
// HostFlushOutput at the end of every command line, before input is read
// and before a message box, so that nothing waits unseen.
bool StartOutput(const WCHAR *outPath, const WCHAR *errPath);
// Flushes and turns the buffering off, sets standard output and error
// back as they were before StartOutput, and closes its files.
void EndOutput(void);
// Whether the standard handle `which` is a pipe.
bool IsPipe(DWORD which);

// Reads lines from a file or a pipe, a chunk at a time.
struct LineReader;
// A reader of `handle`, which stays the caller's; null when out of memory.
LineReader *OpenLineReader(HANDLE handle);
// Frees the reader (null is allowed); its handle is not closed.
void CloseLineReader(LineReader *reader);
// Reads the next line (without its line end) into `line` of `capacity`
// characters; the output is flushed before the input is read. Returns 1
// for a line, 0 at the end of the input, -1 for a line too long for the
// buffer (skipped). The first line decides on UTF-16 (a little-endian byte
// order mark); otherwise each line is UTF-8 when it is valid UTF-8, else
// ANSI.
int ReadLine(LineReader *reader, WCHAR *line, int capacity);

// Whether `handle` is a console's input or screen buffer.
bool IsConsole(HANDLE handle);
// Flushes the output, shows the prompt "> " on the console that standard
// output was at the start, if it was one, and reads one typed line from
// `input`. Returns 1 for a line, 0 at the end of the input (Ctrl+Z, or the
// console is gone; the prompt's line is ended then), -1 for a line too
// long.
int PromptForLine(HANDLE input, WCHAR *line, int capacity);
