// cli.cpp: the glimview program: its options, its messages, and the road
// from a file name to a rendered screen (read, decode and verify, choose
// the rows, render, write).
#include "glimview/glimview.h"

#include "glimview/viewplatform.h"
#include "glimversion.h"

#include <string.h>

// ---- The program's texts.

static const char USAGE[] =
    "Usage: glimview [--text | --html OUT | --svg OUT] [--window] [--force] FILE\n"
    "       glimview --grep [-i] [--window] [--force] TEXT FILE...\n"
    "       glimview --diff [--text | --html OUT | --svg OUT] [--window] [--force]\n"
    "                [--ignore-colours] [--ignore-cursor] [--ignore-rows TEXT]... OLD NEW\n"
    "\n"
    "Shows a console screen saved by glim (a Glimpset file) or by SAVECON, finds\n"
    "the rows of saved screens that hold a text, or compares two saved screens.\n"
    "\n"
    "  (no option)  the screen as text with colour sequences, for a terminal or less -R\n"
    "  --text       plain UTF-8 text, without trailing blanks or trailing empty rows\n"
    "  --html OUT   a self-contained HTML page, written to OUT (\"-\": standard output)\n"
    "  --svg OUT    a self-contained SVG image, written to OUT (\"-\": standard output)\n"
    "  --grep       writes FILE:ROW: line for each row of each FILE that holds TEXT\n"
    "               (ROW counts the buffer's rows from 1; the line is as --text\n"
    "               shows it)\n"
    "  -i, --ignore-case\n"
    "               with --grep: ignores case (the letters of ASCII, Latin-1, Latin\n"
    "               Extended-A, Greek and Cyrillic)\n"
    "  --diff       compares OLD with NEW cell by cell (the character each cell shows\n"
    "               and its colours, reverse video and underscore), the buffer size\n"
    "               and the cursor, and lists what differs as diff -u does: each\n"
    "               differing row as -ROW: (OLD) and +ROW: (NEW), as --text shows it,\n"
    "               and under them ^ below each cell that shows another character\n"
    "               and ~ below each that shows the same in another colour alone,\n"
    "               then their column numbers; a row of one screen only is listed\n"
    "               alone. In colour unless --text; --html and --svg show both\n"
    "               screens side by side with the differing cells outlined\n"
    "  --ignore-colours\n"
    "               with --diff: compares the characters alone\n"
    "  --ignore-cursor\n"
    "               with --diff: leaves the cursor out\n"
    "  --ignore-rows TEXT\n"
    "               with --diff: leaves out the rows that hold TEXT in either screen\n"
    "               (a clock, a temporary path), wherever they stand; may be repeated\n"
    "  --window     only the rows the saved window showed; otherwise the buffer up to\n"
    "               its last row that is not blank (with --diff, the whole buffer)\n"
    "  --force      shows (searches, compares) the cells of a damaged file all the same\n"
    "  --help       shows this text\n"
    "  --version    shows the version of glimview\n"
    "\n"
    "OUT is never a file being shown or compared.\n"
    "Exit status: 0 shown, 1 usage error, 2 unreadable or damaged file.\n"
    "With --grep, as grep's: 0 a row found, 1 none, 2 a file not read or a usage\n"
    "error. With --diff, as diff's: 0 the same, 1 different, 2 a file not read or a\n"
    "usage error.\n";
static const char VERSION_LINE[] = "glimview " GLIM_VERSION_TEXT "\n";
static const char MSG_TRY_HELP[] = "Try \"glimview --help\".\n";
static const char MSG_UNKNOWN_OPTION[] = "glimview: unknown option \"%s\".\n";
static const char MSG_NO_FILE[] = "glimview: no file given.\n";
static const char MSG_SECOND_FILE[] = "glimview: one file at a time; \"%s\" is one too many.\n";
static const char MSG_HTML_NAME[] = "glimview: --html needs the name of the page to write.\n";
static const char MSG_SVG_NAME[] = "glimview: --svg needs the name of the image to write.\n";
static const char MSG_MODES[] = "glimview: --text, --html, --svg and --grep exclude each other.\n";
static const char MSG_NO_TEXT[] = "glimview: --grep needs the text to look for.\n";
static const char MSG_GOES_WITH[] = "glimview: %s goes with --grep.\n";
static const char MSG_GOES_WITH_DIFF[] = "glimview: %s goes with --diff.\n";
static const char MSG_TASKS[] = "glimview: --grep and --diff exclude each other.\n";
static const char MSG_DIFF_FILES[] = "glimview: --diff needs two files.\n";
static const char MSG_THIRD_FILE[] =
    "glimview: --diff compares two files; \"%s\" is one too many.\n";
static const char MSG_ROWS_TEXT[] =
    "glimview: --ignore-rows needs the text of the rows to leave out.\n";
static const char MSG_OPEN[] = "glimview: cannot open \"%s\": ";
static const char MSG_READ[] = "glimview: cannot read \"%s\": ";
static const char MSG_CREATE[] = "glimview: cannot create \"%s\": ";
static const char MSG_WRITE[] = "glimview: cannot write \"%s\": ";
static const char MSG_SAME_FILE[] =
    "glimview: will not write over \"%s\": it is the file being shown.\n";
static const char MSG_SAME_FILE_DIFF[] =
    "glimview: will not write over \"%s\": it is a file being compared.\n";
static const char MSG_WRITE_OUTPUT[] = "glimview: writing the output failed.\n";
static const char MSG_NO_MEMORY[] = "glimview: not enough memory for \"%s\".\n";
const char MSG_NO_MEMORY_ARGUMENTS[] = "glimview: not enough memory for the arguments.\n";
static const char MSG_TOO_SHORT[] =
    "glimview: \"%s\" is too short to be a Glimpset or SAVECON file.\n";
static const char MSG_UNKNOWN[] = "glimview: \"%s\" is not a Glimpset or SAVECON file.\n";
static const char MSG_VERSION[] =
    "glimview: \"%s\": unsupported Glimpset file version %u; --force shows the cells anyway.\n";
static const char MSG_VERSION_FORCED[] =
    "glimview: \"%s\": unsupported Glimpset file version %u; the cells are shown anyway.\n";
static const char MSG_EARLY_END[] = "glimview: \"%s\": the data ends before the last cell.\n";
static const char MSG_EARLY_END_FORCED[] = "glimview: \"%s\": the data ends before the last "
                                           "cell; the cells it does not reach are shown blank.\n";
static const char MSG_CRC[] = "glimview: \"%s\": CRC32 mismatch (stored %08X, computed %08X); "
                              "--force shows the cells anyway.\n";
static const char MSG_CRC_FORCED[] = "glimview: \"%s\": CRC32 mismatch (stored %08X, computed "
                                     "%08X); the cells are shown anyway.\n";
static const char MSG_READ_FAILED[] = "glimview: \"%s\": reading the cells failed.\n";

enum {
    EXIT_SHOWN = 0,
    EXIT_USAGE = 1,
    EXIT_BAD_FILE = 2,
    // With --grep, as grep's: found, nothing found, trouble (usage included).
    EXIT_FOUND = 0,
    EXIT_NOT_FOUND = 1,
    EXIT_TROUBLE = 2,
    // With --diff, as diff's: the same, different, trouble (usage included).
    EXIT_SAME = 0,
    EXIT_DIFFERENT = 1,
};

// What glimview does: show one screen, search several, or compare two. The
// task decides the exit statuses, usage errors included.
enum ViewTask {
    TASK_SHOW = 0,
    TASK_GREP = 1,
    TASK_DIFF = 2,
};

struct ViewOptions {
    ViewTask task;
    ViewMode form; // how the screen or the comparison is written
    BOOL window;
    BOOL force;
    BOOL help;
    BOOL version;
    BOOL ignoreCase;
    BOOL ignoreColours;
    BOOL ignoreCursor;
    const char *page;      // --html, --svg: where the page or image goes ("-": standard output)
    const char **operands; // the arguments that are no options: TEXT and FILEs, or FILEs
    BOOL *expandable;      // for each operand: a pattern to expand (GlimviewRun's `expand`)
    int operandCount;
    const char **ignored; // --ignore-rows
    int ignoredCount;
    int forms;             // how many of --text, --html and --svg
    int tasks;             // how many of --grep and --diff
    const char *grepOnly;  // the first option given that goes with --grep alone
    const char *diffOnly;  // ... with --diff alone
    const char *usage;     // the first usage error met: its message,
    const char *usageText; // the text it names,
    BOOL usageTryHelp;     // and whether "Try" follows
};

// ---- The table of options.

enum OptionAction {
    SETS_FLAG,    // sets the BOOL at `value` (an offset into ViewOptions)
    SETS_FORM,    // sets the form `value` (--html and --svg also the page's name)
    SETS_TASK,    // sets the task `value`
    ADDS_IGNORED, // adds a text of rows to leave out
    SHOWS_HELP,
    SHOWS_VERSION,
};

struct OptionEntry {
    const char *name;
    BOOL takesValue; // the next argument, or the rest of this one after "="
    OptionAction action;
    size_t value;
    ViewTask onlyWith;   // TASK_SHOW: with any task
    const char *missing; // the message when the value is missing
};

static const OptionEntry OPTIONS[] = {
    {"--text", FALSE, SETS_FORM, VIEW_TEXT, TASK_SHOW, NULL},
    {"--html", TRUE, SETS_FORM, VIEW_HTML, TASK_SHOW, MSG_HTML_NAME},
    {"--svg", TRUE, SETS_FORM, VIEW_SVG, TASK_SHOW, MSG_SVG_NAME},
    {"--grep", FALSE, SETS_TASK, TASK_GREP, TASK_SHOW, NULL},
    {"--diff", FALSE, SETS_TASK, TASK_DIFF, TASK_SHOW, NULL},
    {"--window", FALSE, SETS_FLAG, offsetof(ViewOptions, window), TASK_SHOW, NULL},
    {"--force", FALSE, SETS_FLAG, offsetof(ViewOptions, force), TASK_SHOW, NULL},
    {"-i", FALSE, SETS_FLAG, offsetof(ViewOptions, ignoreCase), TASK_GREP, NULL},
    {"--ignore-case", FALSE, SETS_FLAG, offsetof(ViewOptions, ignoreCase), TASK_GREP, NULL},
    {"--ignore-colours", FALSE, SETS_FLAG, offsetof(ViewOptions, ignoreColours), TASK_DIFF, NULL},
    {"--ignore-cursor", FALSE, SETS_FLAG, offsetof(ViewOptions, ignoreCursor), TASK_DIFF, NULL},
    {"--ignore-rows", TRUE, ADDS_IGNORED, 0, TASK_DIFF, MSG_ROWS_TEXT},
    {"--help", FALSE, SHOWS_HELP, 0, TASK_SHOW, NULL},
    {"-h", FALSE, SHOWS_HELP, 0, TASK_SHOW, NULL},
    {"-?", FALSE, SHOWS_HELP, 0, TASK_SHOW, NULL},
    {"--version", FALSE, SHOWS_VERSION, 0, TASK_SHOW, NULL},
};

// A message whose second half is a system's text.
static void SinkReason(ViewSink *err, const char *format, const char *name, const char *reason) {
    SinkFormat(err, format, name, 0, 0);
    SinkSafeText(err, reason, FALSE);
    SinkText(err, "\n");
}

// Keeps the first usage error met; the pass goes on, so that the task
// named anywhere decides the exit status.
static void NoteUsage(ViewOptions *options, const char *message, const char *text, BOOL tryHelp) {
    if (options->usage == NULL) {
        options->usage = message;
        options->usageText = text;
        options->usageTryHelp = tryHelp;
    }
}

// The entry of `arg`: its name alone, or for an option with a value, its
// name and "=".
static const OptionEntry *FindOption(const char *arg) {
    for (size_t i = 0; i < sizeof OPTIONS / sizeof OPTIONS[0]; i++) {
        const OptionEntry *entry = &OPTIONS[i];
        size_t length = strlen(entry->name);
        if (strncmp(arg, entry->name, length) == 0 &&
            (arg[length] == 0 || (entry->takesValue && arg[length] == '='))) {
            return entry;
        }
    }
    return NULL;
}

// Reads the arguments in one pass through the table: `options` holds room
// for `argc` operands and ignored texts. Stops early only for --help and
// --version; every usage error is left in options->usage.
static void ReadArguments(int argc, char **argv, const BOOL *expand, ViewOptions *options) {
    BOOL onlyFiles = FALSE;
    options->form = VIEW_SGR;
    for (int i = 0; i < argc; i++) {
        const char *arg = argv[i];
        if (onlyFiles || arg[0] != '-' || arg[1] == 0) {
            options->expandable[options->operandCount] = expand != NULL && expand[i];
            options->operands[options->operandCount++] = arg;
            continue;
        }
        if (strcmp(arg, "--") == 0) {
            onlyFiles = TRUE;
            continue;
        }
        const OptionEntry *entry = FindOption(arg);
        const char *value = NULL;
        if (entry == NULL) {
            NoteUsage(options, MSG_UNKNOWN_OPTION, arg, TRUE);
            continue;
        }
        if (entry->takesValue) {
            size_t length = strlen(entry->name);
            if (arg[length] == '=') {
                value = arg + length + 1;
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (value == NULL || value[0] == 0) {
                NoteUsage(options, entry->missing, NULL, FALSE);
                continue;
            }
        }
        if (entry->onlyWith == TASK_GREP && options->grepOnly == NULL) {
            options->grepOnly = entry->name;
        }
        if (entry->onlyWith == TASK_DIFF && options->diffOnly == NULL) {
            options->diffOnly = entry->name;
        }
        switch (entry->action) {
        case SETS_FLAG:
            *(BOOL *)((char *)options + entry->value) = TRUE;
            break;
        case SETS_FORM:
            // The same option again names another file: the last one counts.
            if (options->form != (ViewMode)entry->value) {
                options->form = (ViewMode)entry->value;
                options->forms++;
            }
            if (value != NULL) {
                options->page = value;
            }
            break;
        case SETS_TASK:
            if (options->task != (ViewTask)entry->value) {
                options->task = (ViewTask)entry->value;
                options->tasks++;
            }
            break;
        case ADDS_IGNORED:
            options->ignored[options->ignoredCount++] = value;
            break;
        case SHOWS_HELP:
        case SHOWS_VERSION:
            if (options->usage == NULL) {
                options->help = entry->action == SHOWS_HELP;
                options->version = entry->action == SHOWS_VERSION;
                return;
            }
            break;
        }
    }
}

// Checks what the arguments ask for as a whole; returns 0, or the task's
// usage status after the message.
static int CheckOptions(ViewOptions *options, ViewSink *err) {
    int usage = options->task == TASK_SHOW ? EXIT_USAGE : EXIT_TROUBLE;
    const char *name = NULL;
    if (options->help || options->version) {
        return 0;
    }
    if (options->usage == NULL) {
        if (options->tasks > 1) {
            NoteUsage(options, MSG_TASKS, NULL, FALSE);
        } else if (options->forms > 1 || (options->task == TASK_GREP && options->forms > 0)) {
            NoteUsage(options, MSG_MODES, NULL, FALSE);
        } else if (options->grepOnly != NULL && options->task != TASK_GREP) {
            NoteUsage(options, MSG_GOES_WITH, options->grepOnly, FALSE);
        } else if (options->diffOnly != NULL && options->task != TASK_DIFF) {
            NoteUsage(options, MSG_GOES_WITH_DIFF, options->diffOnly, FALSE);
        }
    }
    if (options->usage == NULL && options->task == TASK_GREP) {
        if (options->operandCount == 0) {
            NoteUsage(options, MSG_NO_TEXT, NULL, TRUE);
        } else if (options->operandCount == 1) {
            NoteUsage(options, MSG_NO_FILE, NULL, TRUE);
        }
        for (int i = 1; i < options->operandCount; i++) {
            if (options->operands[i][0] == 0) {
                NoteUsage(options, MSG_NO_FILE, NULL, FALSE);
            }
        }
    } else if (options->usage == NULL && options->task == TASK_DIFF) {
        if (options->operandCount < 2) {
            NoteUsage(options, MSG_DIFF_FILES, NULL, TRUE);
        } else if (options->operandCount > 2) {
            NoteUsage(options, MSG_THIRD_FILE, options->operands[2], FALSE);
        } else if (options->operands[0][0] == 0 || options->operands[1][0] == 0) {
            NoteUsage(options, MSG_NO_FILE, NULL, FALSE);
        }
    } else if (options->usage == NULL) {
        // A page or an image is of one screen, and screens written one
        // after the other would run together: the other modes take one file.
        if (options->operandCount > 1) {
            NoteUsage(options, MSG_SECOND_FILE, options->operands[1], FALSE);
        } else if (options->operandCount == 0 || options->operands[0][0] == 0) {
            NoteUsage(options, MSG_NO_FILE, NULL, TRUE);
        }
    }
    if (options->usage == NULL) {
        return 0;
    }
    name = options->usageText;
    SinkFormat(err, options->usage, name, 0, 0);
    if (options->usageTryHelp) {
        SinkText(err, MSG_TRY_HELP);
    }
    return usage;
}

// ---- Reading.

ViewReadResult ViewReadFile(const char *path, DWORD limit, BYTE **data, DWORD *size, char *reason) {
    void *input = NULL;
    BYTE *bytes = NULL;
    DWORD capacity = 0;
    DWORD fill = 0;
    ViewReadResult result = VIEW_READ_OK;

    *data = NULL;
    *size = 0;
    reason[0] = 0;
    input = ViewOpenInput(path, reason);
    if (input == NULL) {
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
            BYTE *larger = (BYTE *)ViewAlloc(grown);
            if (larger == NULL) {
                result = VIEW_READ_NO_MEMORY;
                goto done;
            }
            if (fill > 0) {
                memcpy(larger, bytes, fill);
            }
            ViewFree(bytes);
            bytes = larger;
            capacity = grown;
        }
        DWORD got = 0;
        if (!ViewReadInput(input, bytes + fill, capacity - fill, &got, reason)) {
            result = VIEW_READ_NO_READ;
            goto done;
        }
        if (got == 0) {
            break;
        }
        fill += got;
    }

done:
    if (input != NULL) {
        ViewCloseInput(input);
    }
    if (result != VIEW_READ_OK || fill == 0) {
        ViewFree(bytes);
        bytes = NULL;
        fill = 0;
    }
    *data = bytes;
    *size = fill;
    return result;
}

// Reads and loads the file; returns 0 when its cells are to be shown
// (after a warning, for a damaged file with --force), or EXIT_BAD_FILE
// after its message, with nothing held.
static int ReadScreen(const ViewOptions *options, const char *name, ViewScreen *screen,
                      ViewSink *err) {
    BYTE *data = NULL;
    DWORD size = 0;
    char reason[VIEW_REASON_BYTES];
    int status = EXIT_BAD_FILE;
    LoadResult loaded = LOAD_OK;
    ViewReadResult read = ViewReadFile(name, VIEW_READ_LIMIT, &data, &size, reason);

    memset(screen, 0, sizeof *screen);
    if (read == VIEW_READ_NO_OPEN) {
        SinkReason(err, MSG_OPEN, name, reason);
        goto done;
    }
    if (read == VIEW_READ_NO_READ) {
        SinkReason(err, MSG_READ, name, reason);
        goto done;
    }
    if (read == VIEW_READ_NO_MEMORY) {
        SinkFormat(err, MSG_NO_MEMORY, name, 0, 0);
        goto done;
    }
    loaded = LoadScreen(data, size, screen);
    switch (loaded) {
    case LOAD_OK:
        status = 0;
        break;
    case LOAD_TOO_SHORT:
        SinkFormat(err, MSG_TOO_SHORT, name, 0, 0);
        break;
    case LOAD_UNKNOWN:
        SinkFormat(err, MSG_UNKNOWN, name, 0, 0);
        break;
    case LOAD_NO_MEMORY:
        SinkFormat(err, MSG_NO_MEMORY, name, 0, 0);
        break;
    case LOAD_READ_FAILED:
        SinkFormat(err, MSG_READ_FAILED, name, 0, 0);
        break;
    case LOAD_VERSION:
        SinkFormat(err, options->force ? MSG_VERSION_FORCED : MSG_VERSION, name,
                   screen->saved.version, 0);
        status = options->force ? 0 : EXIT_BAD_FILE;
        break;
    case LOAD_EARLY_END:
        SinkFormat(err, options->force ? MSG_EARLY_END_FORCED : MSG_EARLY_END, name, 0, 0);
        status = options->force ? 0 : EXIT_BAD_FILE;
        break;
    case LOAD_CRC:
        SinkFormat(err, options->force ? MSG_CRC_FORCED : MSG_CRC, name, screen->saved.crc,
                   screen->computedCrc);
        status = options->force ? 0 : EXIT_BAD_FILE;
        break;
    }

done:
    ViewFree(data);
    if (status != 0) {
        FreeScreen(screen);
    }
    return status;
}

// ---- Writing.

// Where the output goes: standard output, or the page or image file.
struct ViewTarget {
    ViewSink *sink;
    ViewSink *page; // the file's sink (ViewAlloc), or null
    void *file;
    BOOL prepared; // standard output readied (ViewPrepareStdout)
};

// Whether --html or --svg names a file (not standard output).
static BOOL WritesFile(const ViewOptions *options) {
    return options->page != NULL && strcmp(options->page, "-") != 0;
}

// Opens the page or image file, or readies standard output; returns 0, or
// EXIT_BAD_FILE after its message. Called once the screens have been read,
// so that a bad file leaves an existing page as it was.
static int OpenTarget(const ViewOptions *options, ViewSink *out, ViewTarget *target,
                      ViewSink *err) {
    char reason[VIEW_REASON_BYTES];
    target->sink = out;
    if (!WritesFile(options)) {
        ViewPrepareStdout(options->form == VIEW_SGR);
        target->prepared = TRUE;
        return 0;
    }
    target->page = (ViewSink *)ViewAlloc(sizeof *target->page);
    if (target->page == NULL) {
        SinkFormat(err, MSG_NO_MEMORY, options->page, 0, 0);
        return EXIT_BAD_FILE;
    }
    target->file = ViewCreateFile(options->page, reason);
    if (target->file == NULL) {
        SinkReason(err, MSG_CREATE, options->page, reason);
        return EXIT_BAD_FILE;
    }
    SinkInit(target->page, ViewFileWriter, target->file);
    target->sink = target->page;
    return 0;
}

// Hands on what was written and releases the target; returns 0, or
// EXIT_BAD_FILE after a message when writing failed (or, after a failure
// before, with `written` FALSE, quietly).
static int CloseTarget(const ViewOptions *options, ViewTarget *target, BOOL written, ViewSink *out,
                       ViewSink *err) {
    char reason[VIEW_REASON_BYTES];
    int status = 0;
    if (target->file != NULL) {
        BOOL flushed = SinkFlush(target->page);
        BOOL closed = ViewCloseFile(target->file, reason);
        if (written && (!flushed || !closed)) {
            SinkReason(err, MSG_WRITE, options->page, reason);
            status = EXIT_BAD_FILE;
        }
    } else if (written && !SinkFlush(out)) {
        SinkText(err, MSG_WRITE_OUTPUT);
        status = EXIT_BAD_FILE;
    }
    ViewFree(target->page);
    SinkFlush(out);
    if (target->prepared) {
        ViewRestoreStdout();
    }
    memset(target, 0, sizeof *target);
    return status;
}

// ---- The tasks.

static int ShowFile(const ViewOptions *options, ViewSink *out, ViewSink *err) {
    const char *name = options->operands[0];
    ViewScreen screen;
    ViewTarget target;
    DWORD first = 0;
    DWORD end = 0;
    int status = 0;
    memset(&screen, 0, sizeof screen);
    memset(&target, 0, sizeof target);
    // Creating the page or image truncates it: were it the file to be
    // shown, under this name or another, the screen would be lost.
    if (WritesFile(options) && ViewSameFile(options->page, name)) {
        SinkFormat(err, MSG_SAME_FILE, options->page, 0, 0);
        return EXIT_BAD_FILE;
    }
    status = ReadScreen(options, name, &screen, err);
    if (status == 0) {
        status = OpenTarget(options, out, &target, err);
    }
    if (status == 0) {
        SelectRows(&screen, options->form, options->window, &first, &end);
        if (options->form == VIEW_SGR) {
            RenderSgr(&screen, first, end, target.sink);
        } else if (options->form == VIEW_TEXT) {
            RenderText(&screen, first, end, target.sink);
        } else if (options->form == VIEW_HTML) {
            RenderHtml(&screen, first, end, name, target.sink);
        } else {
            RenderSvg(&screen, first, end, name, target.sink);
        }
    }
    int closed = CloseTarget(options, &target, status == 0, out, err);
    FreeScreen(&screen);
    return status != 0 ? status : closed;
}

// One search of --grep, over the files named by its operands.
struct GrepRun {
    const ViewOptions *options;
    ViewPattern pattern;
    ViewSink *out;
    ViewSink *err;
    BOOL found;
    BOOL trouble;
};

// Searches one file; one that cannot be read is reported and passed over.
// FALSE once the output has failed, which ends the search.
static BOOL GrepFile(void *context, const char *name) {
    GrepRun *run = (GrepRun *)context;
    ViewScreen screen;
    DWORD first = 0;
    DWORD end = 0;
    if (ReadScreen(run->options, name, &screen, run->err) != 0) {
        run->trouble = TRUE;
    } else {
        SelectRows(&screen, VIEW_TEXT, run->options->window, &first, &end);
        if (GrepScreen(&screen, first, end, name, &run->pattern, run->out) > 0) {
            run->found = TRUE;
        }
        FreeScreen(&screen);
    }
    // File by file, so that a message stands among the rows where it
    // belongs.
    SinkFlush(run->out);
    SinkFlush(run->err);
    return !run->out->failed;
}

// Whether a name holds a wildcard of its own.
static BOOL IsPattern(const char *name) {
    return strchr(name, '*') != NULL || strchr(name, '?') != NULL;
}

// Searches every file named after the text, a pattern's matches in its
// place. Returns the exit status of --grep.
static int GrepFiles(const ViewOptions *options, ViewSink *out, ViewSink *err) {
    GrepRun search;
    GrepRun *run = &search;
    char reason[VIEW_REASON_BYTES];
    int status = EXIT_TROUBLE;
    run->options = options;
    run->out = out;
    run->err = err;
    run->found = FALSE;
    run->trouble = FALSE;
    MakePattern(options->operands[0], options->ignoreCase, &run->pattern);
    ViewPrepareStdout(FALSE);
    for (int i = 1; i < options->operandCount && !out->failed; i++) {
        const char *name = options->operands[i];
        if (!options->expandable[i] || !IsPattern(name)) {
            GrepFile(run, name);
        } else if (ViewExpandPattern(name, GrepFile, run, reason) == 0) {
            // A pattern that matches nothing names a file that is not there.
            SinkReason(err, MSG_OPEN, name, reason);
            SinkFlush(err);
            run->trouble = TRUE;
        }
    }
    ViewRestoreStdout();
    if (out->failed) {
        SinkText(err, MSG_WRITE_OUTPUT);
    } else {
        status = run->trouble ? EXIT_TROUBLE : run->found ? EXIT_FOUND : EXIT_NOT_FOUND;
    }
    return status;
}

// Compares the two files named; returns the exit status of --diff.
static int DiffFiles(const ViewOptions *options, ViewSink *out, ViewSink *err) {
    const char *olderName = options->operands[0];
    const char *newerName = options->operands[1];
    ViewScreen older;
    ViewScreen newer;
    ViewTarget target;
    ViewDiff diff;
    DiffOptions what;
    ViewPattern *ignored = NULL;
    BOOL differs = FALSE;
    int status = 0;
    memset(&older, 0, sizeof older);
    memset(&newer, 0, sizeof newer);
    memset(&target, 0, sizeof target);
    memset(&what, 0, sizeof what);
    if (WritesFile(options) &&
        (ViewSameFile(options->page, olderName) || ViewSameFile(options->page, newerName))) {
        SinkFormat(err, MSG_SAME_FILE_DIFF, options->page, 0, 0);
        return EXIT_TROUBLE;
    }
    if (options->ignoredCount > 0) {
        ignored = (ViewPattern *)ViewAlloc((SIZE_T)options->ignoredCount * sizeof(ViewPattern));
        if (ignored == NULL) {
            SinkText(err, MSG_NO_MEMORY_ARGUMENTS);
            return EXIT_TROUBLE;
        }
        for (int i = 0; i < options->ignoredCount; i++) {
            MakePattern(options->ignored[i], FALSE, &ignored[i]);
        }
    }
    // Both are read, so that both get their messages.
    status = ReadScreen(options, olderName, &older, err);
    if (ReadScreen(options, newerName, &newer, err) != 0) {
        status = EXIT_TROUBLE;
    }
    if (status == 0) {
        status = OpenTarget(options, out, &target, err);
    }
    if (status == 0) {
        what.window = options->window;
        what.ignoreColours = options->ignoreColours;
        what.ignoreCursor = options->ignoreCursor;
        what.ignored = ignored;
        what.ignoredCount = (DWORD)options->ignoredCount;
        PrepareDiff(&older, &newer, &what, &diff);
        if (options->form == VIEW_HTML || options->form == VIEW_SVG) {
            differs = RenderDiffPicture(&diff, options->form == VIEW_HTML, olderName, newerName,
                                        target.sink);
        } else {
            differs = RenderDiffListing(&diff, options->form == VIEW_SGR, olderName, newerName,
                                        target.sink);
        }
    }
    int closed = CloseTarget(options, &target, status == 0, out, err);
    FreeScreen(&older);
    FreeScreen(&newer);
    ViewFree(ignored);
    if (status != 0) {
        return EXIT_TROUBLE;
    }
    return closed != 0 ? EXIT_TROUBLE : differs ? EXIT_DIFFERENT : EXIT_SAME;
}

int GlimviewRun(int argc, char **argv, const BOOL *expand, ViewSink *out, ViewSink *err) {
    ViewOptions options;
    // One block for the operands, the ignored texts and the operands' flags.
    SIZE_T slots = (SIZE_T)argc + 1;
    void *block = ViewAlloc(slots * (2 * sizeof(char *) + sizeof(BOOL)));
    int status = 0;

    memset(&options, 0, sizeof options);
    if (block == NULL) {
        SinkText(err, MSG_NO_MEMORY_ARGUMENTS);
        status = EXIT_BAD_FILE;
        goto done;
    }
    options.operands = (const char **)block;
    options.ignored = options.operands + slots;
    options.expandable = (BOOL *)(options.ignored + slots);
    ReadArguments(argc, argv, expand, &options);
    status = CheckOptions(&options, err);
    if (status != 0) {
        goto done;
    }
    if (options.help) {
        SinkText(out, USAGE);
    } else if (options.version) {
        SinkText(out, VERSION_LINE);
    } else if (options.task == TASK_GREP) {
        status = GrepFiles(&options, out, err);
    } else if (options.task == TASK_DIFF) {
        status = DiffFiles(&options, out, err);
    } else {
        status = ShowFile(&options, out, err);
    }

done:
    ViewFree(block);
    SinkFlush(out);
    SinkFlush(err);
    return status;
}
