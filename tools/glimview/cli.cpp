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
    "\n"
    "Shows a console screen saved by glim (a Glimpset file) or by SAVECON, or finds\n"
    "the rows of saved screens that hold a text.\n"
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
    "  --window     only the rows the saved window showed; otherwise the buffer up to\n"
    "               its last row that is not blank\n"
    "  --force      shows (or searches) the cells of a damaged file all the same\n"
    "  --help       shows this text\n"
    "  --version    shows the version of glimview\n"
    "\n"
    "OUT is never the file being shown.\n"
    "Exit status: 0 shown, 1 usage error, 2 unreadable or damaged file.\n"
    "With --grep, as grep's: 0 a row found, 1 none, 2 a file not read or a usage\n"
    "error.\n";
static const char VERSION_LINE[] = "glimview " GLIM_VERSION_TEXT "\n";
static const char MSG_TRY_HELP[] = "Try \"glimview --help\".\n";
static const char MSG_UNKNOWN_OPTION[] = "glimview: unknown option \"%s\".\n";
static const char MSG_NO_FILE[] = "glimview: no file given.\n";
static const char MSG_SECOND_FILE[] = "glimview: one file at a time; \"%s\" is one too many.\n";
static const char MSG_HTML_NAME[] = "glimview: --html needs the name of the page to write.\n";
static const char MSG_SVG_NAME[] = "glimview: --svg needs the name of the image to write.\n";
static const char MSG_MODES[] = "glimview: --text, --html, --svg and --grep exclude each other.\n";
static const char MSG_NO_TEXT[] = "glimview: --grep needs the text to look for.\n";
static const char MSG_IGNORE_CASE[] = "glimview: -i goes with --grep.\n";
static const char MSG_OPEN[] = "glimview: cannot open \"%s\": ";
static const char MSG_READ[] = "glimview: cannot read \"%s\": ";
static const char MSG_CREATE[] = "glimview: cannot create \"%s\": ";
static const char MSG_WRITE[] = "glimview: cannot write \"%s\": ";
static const char MSG_SAME_FILE[] =
    "glimview: will not write over \"%s\": it is the file being shown.\n";
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
};

struct ViewOptions {
    ViewMode mode;
    BOOL window;
    BOOL force;
    BOOL help;
    BOOL version;
    BOOL grep;
    BOOL ignoreCase;
    const char *file;
    const char *page;      // --html, --svg: where the page or image goes ("-": standard output)
    const char **operands; // the arguments that are no options: TEXT and FILEs, or FILE
    int operandCount;
};

// A message whose second half is a system's text.
static void SinkReason(ViewSink *err, const char *format, const char *name, const char *reason) {
    SinkFormat(err, format, name, 0, 0);
    SinkSafeText(err, reason, FALSE);
    SinkText(err, "\n");
}

// The value of an option that names a file to write: "--html OUT" takes the
// next argument, "--html=OUT" the rest of this one. Returns the name, or
// null after `missing` when there is none; *at moves past what it took.
static const char *OutputName(int argc, char **argv, int *at, const char *option,
                              const char *missing, ViewSink *err) {
    const char *arg = argv[*at];
    size_t length = strlen(option);
    const char *name = NULL;
    if (arg[length] == '=') {
        name = arg + length + 1;
    } else if (*at + 1 < argc) {
        name = argv[++*at];
    }
    if (name == NULL || name[0] == 0) {
        SinkText(err, missing);
        return NULL;
    }
    return name;
}

// Whether `arg` is `option`, alone or followed by "=" and a value.
static BOOL IsOutputOption(const char *arg, const char *option) {
    size_t length = strlen(option);
    return strncmp(arg, option, length) == 0 && (arg[length] == 0 || arg[length] == '=');
}

// Whether the arguments ask for --grep, whose usage errors exit as grep's;
// read as ParseOptions reads them, so that the name "--html OUT" or
// "--svg OUT" takes is no option.
static BOOL WantsGrep(int argc, char **argv) {
    for (int i = 0; i < argc && strcmp(argv[i], "--") != 0; i++) {
        if (strcmp(argv[i], "--grep") == 0) {
            return TRUE;
        }
        if (strcmp(argv[i], "--html") == 0 || strcmp(argv[i], "--svg") == 0) {
            i++;
        }
    }
    return FALSE;
}

// Fills `options`, whose `operands` holds room for `argc` names; returns 0,
// or EXIT_USAGE after its message.
static int ParseOptions(int argc, char **argv, ViewOptions *options, ViewSink *err) {
    BOOL onlyFiles = FALSE;
    int modes = 0; // how many of --text, --html, --svg and --grep
    options->mode = VIEW_SGR;
    for (int i = 0; i < argc; i++) {
        const char *arg = argv[i];
        if (!onlyFiles && arg[0] == '-' && arg[1] != 0) {
            if (strcmp(arg, "--") == 0) {
                onlyFiles = TRUE;
            } else if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0 ||
                       strcmp(arg, "-?") == 0) {
                options->help = TRUE;
                return 0;
            } else if (strcmp(arg, "--version") == 0) {
                options->version = TRUE;
                return 0;
            } else if (strcmp(arg, "--text") == 0) {
                if (options->mode != VIEW_TEXT) {
                    options->mode = VIEW_TEXT;
                    modes++;
                }
            } else if (strcmp(arg, "--window") == 0) {
                options->window = TRUE;
            } else if (strcmp(arg, "--force") == 0) {
                options->force = TRUE;
            } else if (strcmp(arg, "--grep") == 0) {
                if (!options->grep) {
                    options->grep = TRUE;
                    modes++;
                }
            } else if (strcmp(arg, "-i") == 0 || strcmp(arg, "--ignore-case") == 0) {
                options->ignoreCase = TRUE;
            } else if (IsOutputOption(arg, "--html") || IsOutputOption(arg, "--svg")) {
                BOOL html = IsOutputOption(arg, "--html");
                ViewMode mode = html ? VIEW_HTML : VIEW_SVG;
                options->page = OutputName(argc, argv, &i, html ? "--html" : "--svg",
                                           html ? MSG_HTML_NAME : MSG_SVG_NAME, err);
                if (options->page == NULL) {
                    return EXIT_USAGE;
                }
                // The same option again names another file: the last one counts.
                if (options->mode != mode) {
                    options->mode = mode;
                    modes++;
                }
            } else {
                SinkFormat(err, MSG_UNKNOWN_OPTION, arg, 0, 0);
                SinkText(err, MSG_TRY_HELP);
                return EXIT_USAGE;
            }
        } else {
            options->operands[options->operandCount++] = arg;
        }
    }
    if (modes > 1) {
        SinkText(err, MSG_MODES);
        return EXIT_USAGE;
    }
    if (options->ignoreCase && !options->grep) {
        SinkText(err, MSG_IGNORE_CASE);
        return EXIT_USAGE;
    }
    if (options->grep) {
        if (options->operandCount == 0) {
            SinkText(err, MSG_NO_TEXT);
            SinkText(err, MSG_TRY_HELP);
            return EXIT_USAGE;
        }
        for (int i = 1; i < options->operandCount; i++) {
            if (options->operands[i][0] == 0) {
                SinkText(err, MSG_NO_FILE);
                return EXIT_USAGE;
            }
        }
        if (options->operandCount == 1) {
            SinkText(err, MSG_NO_FILE);
            SinkText(err, MSG_TRY_HELP);
            return EXIT_USAGE;
        }
        return 0;
    }
    // A page or an image is of one screen, and screens written one after
    // the other would run together: the other modes take one file.
    if (options->operandCount > 1) {
        SinkFormat(err, MSG_SECOND_FILE, options->operands[1], 0, 0);
        return EXIT_USAGE;
    }
    options->file = options->operandCount == 1 ? options->operands[0] : NULL;
    if (options->file == NULL || options->file[0] == 0) {
        SinkText(err, MSG_NO_FILE);
        SinkText(err, MSG_TRY_HELP);
        return EXIT_USAGE;
    }
    return 0;
}

// Reads and loads the file; returns 0 when its cells are to be shown
// (after a warning, for a damaged file with --force), or EXIT_BAD_FILE
// after its message, with nothing held.
static int ReadScreen(const ViewOptions *options, const char *name, ViewScreen *screen,
                      ViewSink *err) {
    HANDLE heap = GetProcessHeap();
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
    if (data != NULL) {
        HeapFree(heap, 0, data);
    }
    if (status != 0) {
        FreeScreen(screen);
    }
    return status;
}

// Searches every file named after the text; files that cannot be read are
// reported and passed over. Returns the exit status of --grep.
static int GrepFiles(const ViewOptions *options, ViewSink *out, ViewSink *err) {
    ViewPattern pattern;
    BOOL found = FALSE;
    BOOL trouble = FALSE;
    MakePattern(options->operands[0], options->ignoreCase, &pattern);
    ViewPrepareStdout(FALSE);
    for (int i = 1; i < options->operandCount && !out->failed; i++) {
        const char *name = options->operands[i];
        ViewScreen screen;
        DWORD first = 0;
        DWORD end = 0;
        if (ReadScreen(options, name, &screen, err) != 0) {
            trouble = TRUE;
        } else {
            SelectRows(&screen, VIEW_TEXT, options->window, &first, &end);
            if (GrepScreen(&screen, first, end, name, &pattern, out) > 0) {
                found = TRUE;
            }
            FreeScreen(&screen);
        }
        // File by file, so that a message stands among the rows where it
        // belongs.
        SinkFlush(out);
        SinkFlush(err);
    }
    ViewRestoreStdout();
    if (out->failed) {
        SinkText(err, MSG_WRITE_OUTPUT);
        return EXIT_TROUBLE;
    }
    return trouble ? EXIT_TROUBLE : found ? EXIT_FOUND : EXIT_NOT_FOUND;
}

int GlimviewRun(int argc, char **argv, ViewSink *out, ViewSink *err) {
    ViewOptions options;
    ViewScreen screen;
    ViewSink *target = out;
    ViewSink *page = NULL;
    void *file = NULL;
    char reason[VIEW_REASON_BYTES];
    DWORD first = 0;
    DWORD end = 0;
    BOOL prepared = FALSE;
    int status = 0;

    memset(&options, 0, sizeof options);
    memset(&screen, 0, sizeof screen);
    options.operands =
        (const char **)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)(argc + 1) * sizeof(char *));
    if (options.operands == NULL) {
        SinkText(err, MSG_NO_MEMORY_ARGUMENTS);
        status = EXIT_BAD_FILE;
        goto done;
    }
    status = ParseOptions(argc, argv, &options, err);
    if (status != 0) {
        if (WantsGrep(argc, argv)) {
            status = EXIT_TROUBLE;
        }
        goto done;
    }
    if (options.help) {
        SinkText(out, USAGE);
        goto done;
    }
    if (options.version) {
        SinkText(out, VERSION_LINE);
        goto done;
    }
    if (options.grep) {
        status = GrepFiles(&options, out, err);
        goto done;
    }
    // Creating the page or image truncates it: were it the file to be
    // shown, under this name or another, the screen would be lost.
    if (options.page != NULL && strcmp(options.page, "-") != 0 &&
        ViewSameFile(options.page, options.file)) {
        SinkFormat(err, MSG_SAME_FILE, options.page, 0, 0);
        status = EXIT_BAD_FILE;
        goto done;
    }
    status = ReadScreen(&options, options.file, &screen, err);
    if (status != 0) {
        goto done;
    }
    // The page or image is created only once the screen has been read, so
    // that a bad file leaves an existing one as it was.
    if (options.page != NULL && strcmp(options.page, "-") != 0) {
        page = (ViewSink *)HeapAlloc(GetProcessHeap(), 0, sizeof *page);
        if (page == NULL) {
            SinkFormat(err, MSG_NO_MEMORY, options.page, 0, 0);
            status = EXIT_BAD_FILE;
            goto done;
        }
        file = ViewCreateFile(options.page, reason);
        if (file == NULL) {
            SinkReason(err, MSG_CREATE, options.page, reason);
            status = EXIT_BAD_FILE;
            goto done;
        }
        SinkInit(page, ViewFileWriter, file);
        target = page;
    }
    if (target == out) {
        ViewPrepareStdout(options.mode == VIEW_SGR);
        prepared = TRUE;
    }

    SelectRows(&screen, options.mode, options.window, &first, &end);
    if (options.mode == VIEW_SGR) {
        RenderSgr(&screen, first, end, target);
    } else if (options.mode == VIEW_TEXT) {
        RenderText(&screen, first, end, target);
    } else if (options.mode == VIEW_HTML) {
        RenderHtml(&screen, first, end, options.file, target);
    } else {
        RenderSvg(&screen, first, end, options.file, target);
    }

    if (file != NULL) {
        BOOL written = SinkFlush(page);
        BOOL closed = ViewCloseFile(file, reason);
        file = NULL;
        if (!written || !closed) {
            SinkReason(err, MSG_WRITE, options.page, reason);
            status = EXIT_BAD_FILE;
        }
    } else if (!SinkFlush(out)) {
        SinkText(err, MSG_WRITE_OUTPUT);
        status = EXIT_BAD_FILE;
    }

done:
    if (file != NULL) {
        ViewCloseFile(file, reason);
    }
    if (page != NULL) {
        HeapFree(GetProcessHeap(), 0, page);
    }
    if (options.operands != NULL) {
        HeapFree(GetProcessHeap(), 0, (void *)options.operands);
    }
    FreeScreen(&screen);
    SinkFlush(out);
    if (prepared) {
        ViewRestoreStdout();
    }
    SinkFlush(err);
    return status;
}
