// view_fuzz.cpp: glimview on arbitrary file bytes, of either format, to
// every output it has: colour text, plain text, the HTML page, the SVG image
// and the rows --grep finds, with and without --force and --window.
//
// Input: one control byte, the text to look for, then the file's bytes.
//   0x1F the length of the text (0 to 31 bytes; it ends early at a NUL)
//   0x20 --grep ignores case (-i)
//   0x40 --force
//   0x80 --window
// (Each input runs one choice of the options: every run decodes the file
// again, and four choices an input would make the fuzzer four times slower.)
//
// Every run must exit 0 or 2 (--grep also 1), say why when it fails, write
// nothing to standard output then, and leave no allocation behind. What it
// writes must hold nothing from the file but what its own code made:
//   - colour text: no ESC but SGR sequences as attributes give them, no other
//     C0 or C1 control but "\n", every row closed with a reset;
//   - plain text: no control but "\n", no trailing blank or empty row;
//   - the page: no "<" that its template did not write (every tag is one of
//     the template's), every "&" a reference, every element closed, one row
//     a shown row, each exactly as wide as the buffer, and each span holding
//     as many cells as its width: printable ASCII as its text, every other
//     character alone in a box of one cell or two;
//   - the image: the same for its tags, well-formed XML characters, one x
//     position a character, everything inside the image;
//   - --grep: "NAME:ROW: line" rows in order, no control but "\n", and for a
//     plain ASCII text, exactly the lines of --text that hold it.
//   - --diff: the listing's own kinds of lines, its own SGR sequences, and
//     exit status 1 exactly when it lists something (0 for the file against
//     itself); the picture of the template's tags alone, every element
//     closed; against a second screen cut from the input (its last bytes
//     replaced by the text; with -i, the rows holding the text's start
//     left out).
// The modes agree on whether the file can be shown; --grep over the file and
// a missing one exits 2 with the same rows; --html and --svg refuse to write
// over the file through a hard link to it, leaving it as it was.
#include "fuzz/fuzzsupport.h"

#include "glimview/glimview.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// ---- Running glimview.

struct Capture {
    ViewSink sink;
    std::string text;
};

BOOL CaptureWriter(void *context, const BYTE *data, DWORD size) {
    ((Capture *)context)->text.append((const char *)data, size);
    return TRUE;
}

// The allocations the target itself holds while glimview runs: the file's
// screen, loaded once.
long Held = 0;

// Static: each sink holds 64 KiB.
Capture Out;
Capture Err;

struct Run {
    std::vector<std::string> arguments;
    int status;
    std::string out, err;
};

std::string Describe(const Run &run) {
    std::string text = "glimview";
    for (const std::string &argument : run.arguments) {
        text += " '" + argument + "'";
    }
    return text;
}

void Check(bool condition, const char *what, const Run &run) {
    if (!condition) {
        fprintf(stderr, "fuzz: check failed: %s\nfuzz: %s exited with %d\n", what,
                Describe(run).c_str(), run.status);
        fprintf(stderr, "fuzz: standard output (%zu bytes) began:\n%.4000s\n", run.out.size(),
                run.out.c_str());
        fprintf(stderr, "fuzz: standard error was:\n%s\n", run.err.c_str());
        abort();
    }
}

Run RunView(const std::vector<std::string> &arguments) {
    Run run;
    run.arguments = arguments;
    std::vector<std::string> copies = arguments;
    std::vector<char *> argv;
    for (std::string &argument : copies) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);
    Out.text.clear();
    Err.text.clear();
    SinkInit(&Out.sink, CaptureWriter, &Out);
    SinkInit(&Err.sink, CaptureWriter, &Err);
    run.status = GlimviewRun((int)arguments.size(), argv.data(), NULL, &Out.sink, &Err.sink);
    run.out = Out.text;
    run.err = Err.text;
    if (getenv("GLIM_FUZZ_SHOW") != nullptr) {
        fprintf(stderr, "---- %s: %d\n---- stdout:\n%s\n---- stderr:\n%s\n", Describe(run).c_str(),
                run.status, run.out.c_str(), run.err.c_str());
    }
    Check(sim::LiveAllocations() == Held, "an allocation was left behind", run);
    Check(run.status != 2 || !run.err.empty(), "a failure came without a message", run);
    return run;
}

// ---- Characters.

// The code points of a UTF-8 text; false when it is not valid UTF-8 (then
// winsim's conversion, which replaces bad bytes, does not give it back).
bool DecodeAll(const std::string &text, std::vector<uint32_t> *points) {
    std::u16string units = sim::U16(text);
    for (size_t i = 0; i < units.size(); i++) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        }
        points->push_back(c);
    }
    return sim::U8(units) == text;
}

bool IsControl(uint32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

// What may reach no terminal or page raw besides the controls: what breaks
// lines or reorders a row, and what is no character at all.
bool IsUnshowable(uint32_t c) {
    return c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xFFFE || c == 0xFFFF;
}

// The code points of an output, checked to be valid UTF-8 with no control
// but "\n" (and ESC where `escapes`) and nothing unshowable.
std::vector<uint32_t> CheckedPoints(const Run &run, bool escapes) {
    std::vector<uint32_t> points;
    Check(DecodeAll(run.out, &points), "the output is not valid UTF-8", run);
    for (uint32_t c : points) {
        Check(!IsControl(c) || c == '\n' || (escapes && c == 0x1B),
              "a control character reached the output", run);
        Check(!IsUnshowable(c),
              "a line break, a bidirectional control or a noncharacter "
              "reached the output",
              run);
    }
    return points;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// ---- Tags.

// Wildcards of the tag patterns: a decimal number, a list of them split by
// single blanks, a palette colour "#RRGGBB", four lower-case hex digits.
#define NUMBER "\x01"
#define NUMBERS "\x02"
#define COLOUR "\x03"
#define HEX4 "\x04"

// Whether `text` is `pattern`; the numbers met are appended to `numbers`.
bool Matches(const std::string &text, const char *pattern, std::vector<long> *numbers) {
    size_t at = 0;
    for (const char *p = pattern; *p != 0; p++) {
        if (*p == '\x01' || *p == '\x02') {
            do {
                size_t start = at;
                while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 9) {
                    at++;
                }
                if (at == start) {
                    return false;
                }
                numbers->push_back(strtol(text.substr(start, at - start).c_str(), nullptr, 10));
            } while (*p == '\x02' && at + 1 < text.size() && text[at] == ' ' &&
                     text[at + 1] >= '0' && text[at + 1] <= '9' && ++at);
        } else if (*p == '\x03') {
            if (at + 7 > text.size() || text[at] != '#') {
                return false;
            }
            for (size_t i = at + 1; i < at + 7; i++) {
                if (!strchr("0123456789ABCDEF", text[i]) || text[i] == 0) {
                    return false;
                }
            }
            at += 7;
        } else if (*p == '\x04') {
            for (int i = 0; i < 4; i++, at++) {
                if (at >= text.size() || !strchr("0123456789abcdef", text[at]) || text[at] == 0) {
                    return false;
                }
            }
        } else if (at >= text.size() || text[at++] != *p) {
            return false;
        }
    }
    return at == text.size();
}

// A markup document cut into its tags and the texts between them. Each text
// must hold no ">" and only the references "&amp;", "&lt;" and "&gt;";
// `characters` counts a text's characters, a reference as one.
struct Piece {
    bool tag;
    std::string text;
    size_t characters;
};

std::vector<Piece> Cut(const Run &run) {
    std::vector<Piece> pieces;
    const std::string &doc = run.out;
    size_t at = 0;
    while (at < doc.size()) {
        if (doc[at] == '<') {
            size_t end = doc.find('>', at);
            Check(end != std::string::npos, "a tag is not closed", run);
            pieces.push_back({true, doc.substr(at, end + 1 - at), 0});
            at = end + 1;
            continue;
        }
        size_t end = doc.find('<', at);
        if (end == std::string::npos) {
            end = doc.size();
        }
        Piece piece = {false, doc.substr(at, end - at), 0};
        for (size_t i = 0; i < piece.text.size(); i++) {
            char c = piece.text[i];
            Check(c != '>', "a \">\" stands outside a tag", run);
            if (c == '&') {
                bool known = piece.text.compare(i, 5, "&amp;") == 0 ||
                             piece.text.compare(i, 4, "&lt;") == 0 ||
                             piece.text.compare(i, 4, "&gt;") == 0;
                Check(known, "an \"&\" starts no reference of ours", run);
                i = piece.text.find(';', i);
            }
            if (((unsigned char)c & 0xC0) != 0x80) {
                piece.characters++;
            }
        }
        pieces.push_back(piece);
        at = end;
    }
    return pieces;
}

// The element a tag opens ("div"), closes ("/div") or neither ("").
std::string Element(const std::string &tag) {
    if (tag.size() < 3 || tag[1] == '!' || tag[1] == '?' || tag[tag.size() - 2] == '/') {
        return "";
    }
    size_t end = tag.find_first_of(" >");
    return tag.substr(1, end - 1);
}

// Checks that elements nest and are all closed; returns the elements
// enclosing each piece, innermost last.
std::vector<std::vector<std::string>> Nest(const std::vector<Piece> &pieces, const Run &run) {
    std::vector<std::vector<std::string>> within;
    std::vector<std::string> stack;
    for (const Piece &piece : pieces) {
        std::string element = piece.tag ? Element(piece.text) : "";
        if (element == "meta") {
            element = "";
        }
        if (!element.empty() && element[0] == '/') {
            Check(!stack.empty() && stack.back() == element.substr(1),
                  "an element is closed that is not open", run);
            stack.pop_back();
        }
        within.push_back(stack);
        if (!element.empty() && element[0] != '/') {
            stack.push_back(element);
        }
    }
    Check(stack.empty(), "an element is left open: the document is incomplete", run);
    return within;
}

// ---- The outputs.

// What the screen shows in a mode: whether it loads for showing, and its
// rows. The file is loaded once; the rows of each mode follow from it.
struct Shown {
    bool showable;
    DWORD columns, rows, first, end;
};

struct Loaded {
    LoadResult result;
    ViewScreen screen;
};

Shown ShownRows(const Loaded &loaded, bool force, bool window, ViewMode mode) {
    Shown shown = {false, 0, 0, 0, 0};
    LoadResult result = loaded.result;
    shown.showable =
        result == LOAD_OK ||
        (force && (result == LOAD_VERSION || result == LOAD_EARLY_END || result == LOAD_CRC));
    if (shown.showable) {
        shown.columns = loaded.screen.saved.columns;
        shown.rows = loaded.screen.saved.rows;
        SelectRows(&loaded.screen, mode, window ? TRUE : FALSE, &shown.first, &shown.end);
    }
    return shown;
}

bool SgrNumber(const std::vector<uint32_t> &points, size_t *at, long low, long high) {
    long value = 0;
    size_t start = *at;
    while (*at < points.size() && points[*at] >= '0' && points[*at] <= '9' && *at - start < 4) {
        value = value * 10 + (long)(points[(*at)++] - '0');
    }
    return *at > start &&
           ((value >= low && value <= low + 7) || (value >= high && value <= high + 7));
}

void CheckSgr(const Run &run, const Shown &shown) {
    std::vector<uint32_t> points = CheckedPoints(run, true);
    for (size_t i = 0; i < points.size(); i++) {
        if (points[i] != 0x1B) {
            continue;
        }
        // "\x1b[0m", or "\x1b[0;F;B" with ";4" and ";7" as the flags ask, "m".
        size_t at = i + 1;
        auto take = [&](const char *text) {
            for (const char *t = text; *t != 0; t++) {
                if (at >= points.size() || points[at] != (uint32_t)*t) {
                    return false;
                }
                at++;
            }
            return true;
        };
        bool sequence = take("[0");
        if (sequence && !take("m")) {
            sequence = take(";") && SgrNumber(points, &at, 30, 90) && take(";") &&
                       SgrNumber(points, &at, 40, 100);
            if (sequence) {
                size_t before = at;
                if (!take(";4")) {
                    at = before;
                }
                before = at;
                if (!take(";7")) {
                    at = before;
                }
                sequence = take("m");
            }
        }
        Check(sequence, "an ESC begins no SGR sequence built from an attribute", run);
    }
    std::vector<std::string> lines = Lines(run.out);
    Check(lines.size() == shown.end - shown.first, "the colour text has another number of rows",
          run);
    for (const std::string &line : lines) {
        Check(line.size() >= 4 && line.compare(line.size() - 4, 4, "\x1b[0m") == 0,
              "a row of colour text does not end with a reset", run);
    }
}

void CheckText(const Run &run, const Shown &shown) {
    CheckedPoints(run, false);
    std::vector<std::string> lines = Lines(run.out);
    Check(lines.size() <= shown.end - shown.first, "the text has more rows than were shown", run);
    for (const std::string &line : lines) {
        Check(line.empty() || line.back() != ' ', "a line of text ends in a blank", run);
    }
    Check(lines.empty() || !lines.back().empty(), "the text ends with an empty row", run);
    Check(run.out.empty() || run.out.back() == '\n', "the text's last line has no end", run);
}

void CheckHtml(const Run &run, const Shown &shown) {
    static const char *const Fixed[] = {
        "<!DOCTYPE html>",
        "<html lang=\"en\">",
        "<head>",
        "<meta charset=\"utf-8\">",
        "<title>",
        "</title>",
        "<style>",
        "</style>",
        "</head>",
        "<body>",
        "<h1>",
        "</h1>",
        "<div class=\"screen\">",
        "<div>",
        "</div>",
        "</span>",
        "<i>",
        "</i>",
        "<b>",
        "</b>",
        "</body>",
        "</html>",
    };
    CheckedPoints(run, false);
    Check(run.out.compare(0, 15, "<!DOCTYPE html>") == 0, "the page does not begin as a page", run);
    std::vector<Piece> pieces = Cut(run);
    std::vector<std::vector<std::string>> within = Nest(pieces, run);
    size_t rows = 0;
    long width = -1;
    long spanWidth = 0;
    long spanCells = 0;
    for (size_t i = 0; i < pieces.size(); i++) {
        const Piece &piece = pieces[i];
        if (!piece.tag) {
            if (!within[i].empty() && within[i].back() == "span") {
                for (char c : piece.text) {
                    Check(c >= 0x20 && c <= 0x7E, "a span holds other text than ASCII", run);
                }
                spanCells += (long)piece.characters;
            }
            continue;
        }
        std::vector<long> numbers;
        bool known = false;
        for (const char *fixed : Fixed) {
            known = known || piece.text == fixed;
        }
        bool span = Matches(piece.text, "<span class=\"a" HEX4 "\" style=\"width:" NUMBER "px\">",
                            &numbers) ||
                    Matches(piece.text, "<span class=\"a" HEX4 " c\" style=\"width:" NUMBER "px\">",
                            &numbers);
        Check(known || span, "the page holds a tag its template does not write", run);
        if (piece.text == "<div>") {
            Check(within[i].size() >= 1 && within[i].back() == "div",
                  "a row stands outside the grid", run);
            Check(width < 0 || width == (long)shown.columns * HTML_CELL_WIDTH,
                  "a row of the page is not as wide as the buffer", run);
            rows++;
            width = 0;
        }
        if (span) {
            Check(within[i].back() == "div", "a span stands outside a row", run);
            width += numbers.back();
            spanWidth = numbers.back();
            spanCells = 0;
        }
        if (piece.text == "<i>" || piece.text == "<b>") {
            Check(within[i].back() == "span", "a box stands outside a span", run);
            Check(i + 2 < pieces.size() && !pieces[i + 1].tag && pieces[i + 1].characters == 1 &&
                      pieces[i + 2].text == (piece.text == "<i>" ? "</i>" : "</b>"),
                  "a box holds other than one character", run);
            spanCells += piece.text == "<i>" ? 1 : 2;
            i += 2;
        }
        if (piece.text == "</span>") {
            Check(spanCells * HTML_CELL_WIDTH == spanWidth,
                  "a span holds another number of cells than its width", run);
        }
    }
    Check(width < 0 || width == (long)shown.columns * HTML_CELL_WIDTH,
          "a row of the page is not as wide as the buffer", run);
    Check(rows == shown.end - shown.first, "the page has another number of rows", run);
    const std::string tail = "</div>\n</body>\n</html>\n";
    Check(run.out.size() >= tail.size() &&
              run.out.compare(run.out.size() - tail.size(), tail.size(), tail) == 0,
          "the page does not end as a page", run);
}

void CheckSvg(const Run &run, const Shown &shown) {
    const long width = (long)shown.columns * SVG_CELL_WIDTH;
    const long height = (long)(shown.end - shown.first) * SVG_CELL_HEIGHT;
    CheckedPoints(run, false);
    std::vector<Piece> pieces = Cut(run);
    std::vector<std::vector<std::string>> within = Nest(pieces, run);
    Check(pieces.size() >= 2 && pieces[0].text == "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
          "the image does not begin with its declaration", run);
    std::vector<long> numbers;
    Check(pieces.size() >= 5 && Matches(pieces[2].text,
                                        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" NUMBER
                                        "\" height=\"" NUMBER "\" viewBox=\"0 0 " NUMBER " " NUMBER
                                        "\" font-family=\"'DejaVu Sans Mono',"
                                        "Consolas,'Courier New',monospace\" font-size=\"15\" "
                                        "shape-rendering=\"crispEdges\">",
                                        &numbers),
          "the image's root is not the template's", run);
    Check(numbers[0] == width && numbers[1] == height && numbers[2] == width &&
              numbers[3] == height,
          "the image is not the size of the rows shown", run);
    Check(pieces[4].text == "<title>", "the image's title does not come first", run);
    for (size_t i = 5; i < pieces.size(); i++) {
        const Piece &piece = pieces[i];
        if (!piece.tag) {
            // Between elements, only the template's line ends.
            Check(piece.text == "\n" || (!within[i].empty() && (within[i].back() == "title" ||
                                                                within[i].back() == "text")),
                  "the image holds text outside its title and its text elements", run);
            continue;
        }
        numbers.clear();
        if (piece.text == "</title>" || piece.text == "</text>" || piece.text == "</svg>") {
            continue;
        }
        if (Matches(piece.text,
                    "<rect x=\"" NUMBER "\" y=\"" NUMBER "\" width=\"" NUMBER "\" height=\"" NUMBER
                    "\" fill=\"" COLOUR "\"/>",
                    &numbers)) {
            Check(within[i].size() == 1, "a rectangle stands inside another element", run);
            Check(numbers[2] > 0 && numbers[3] > 0 && numbers[0] + numbers[2] <= width &&
                      numbers[1] + numbers[3] <= height,
                  "a rectangle reaches outside the image", run);
            continue;
        }
        Check(Matches(piece.text,
                      "<text x=\"" NUMBERS "\" y=\"" NUMBER "\" fill=\"" COLOUR
                      "\" xml:space=\"preserve\">",
                      &numbers),
              "the image holds a tag its template does not write", run);
        Check(within[i].size() == 1, "a text element stands inside another element", run);
        Check(i + 1 < pieces.size() && !pieces[i + 1].tag, "a text element holds no characters",
              run);
        Check(pieces[i + 1].characters == numbers.size() - 1,
              "a text element has another number of positions than of characters", run);
        for (size_t n = 0; n + 1 < numbers.size(); n++) {
            Check(numbers[n] < width && numbers[n] % SVG_CELL_WIDTH == 0 &&
                      (n == 0 || numbers[n] > numbers[n - 1]),
                  "a character is not placed at a column of the image, left to right", run);
        }
        Check(numbers.back() < height, "a text element lies below the image", run);
    }
    Check(pieces.back().text == "\n" && pieces[pieces.size() - 2].text == "</svg>",
          "the image does not end with its root", run);
}

// The rows --grep finds, as "NAME:ROW: line", rows in order.
void CheckGrep(const Run &run, const std::string &name, const Shown &shown) {
    CheckedPoints(run, false);
    long last = 0;
    for (const std::string &line : Lines(run.out)) {
        std::vector<long> numbers;
        Check(line.compare(0, name.size() + 1, name + ":") == 0,
              "a row found does not begin with the file's name", run);
        size_t colon = line.find(": ", name.size() + 1);
        Check(colon != std::string::npos &&
                  Matches(line.substr(name.size() + 1, colon - name.size() - 1), NUMBER, &numbers),
              "a row found has no number", run);
        Check(numbers[0] > last && numbers[0] >= (long)shown.first + 1 &&
                  numbers[0] <= (long)shown.end,
              "the rows found are not shown rows in order", run);
        last = numbers[0];
    }
}

// The listing of --diff: only its own kinds of lines, no control but "\n"
// (and its SGR sequences, in colour); nothing at all for the same screens.
void CheckListing(const Run &run, bool colour) {
    // A tab parts a file's name from its time in the header, as in diff -u
    // (a tab in a name is shown as its symbol); there alone.
    Run untabbed = run;
    for (size_t at = 0, line = 0; at < untabbed.out.size(); at++, line++) {
        size_t end = untabbed.out.find('\n', at);
        end = end == std::string::npos ? untabbed.out.size() : end;
        size_t tab = untabbed.out.find('\t', at);
        if (line < 2 && tab < end) {
            untabbed.out[tab] = ' ';
        }
        at = end;
    }
    CheckedPoints(untabbed, colour);
    std::string plain;
    for (size_t i = 0; i < run.out.size(); i++) {
        if (colour && run.out[i] == '\x1b') {
            size_t end = run.out.find('m', i);
            Check(end != std::string::npos && end - i <= 4, "an escape is no SGR sequence", run);
            std::string sequence = run.out.substr(i, end + 1 - i);
            Check(sequence == "\x1b[0m" || sequence == "\x1b[1m" || sequence == "\x1b[7m" ||
                      sequence == "\x1b[27m" || sequence == "\x1b[31m" || sequence == "\x1b[32m" ||
                      sequence == "\x1b[36m",
                  "an SGR sequence the listing does not write", run);
            i = end;
            continue;
        }
        plain += run.out[i];
    }
    for (const std::string &line : Lines(plain)) {
        bool known = line.compare(0, 4, "--- ") == 0 || line.compare(0, 4, "+++ ") == 0 ||
                     line.compare(0, 6, "size: ") == 0 || line.compare(0, 8, "cursor: ") == 0 ||
                     line.compare(0, 4, "@@ -") == 0 ||
                     ((line[0] == '-' || line[0] == '+') && line.find(": ") != std::string::npos) ||
                     (line[0] == ' ' && line.find("  column") != std::string::npos);
        Check(known, "the listing holds a line of no kind it writes", run);
    }
    Check(run.status == (run.out.empty() ? 0 : 1),
          "--diff's exit status does not say whether it listed a difference", run);
}

// The picture of --diff: an image (or a page that holds one) of the
// template's tags alone, every element closed.
void CheckPicture(const Run &run, bool html) {
    CheckedPoints(run, false);
    std::vector<Piece> pieces = Cut(run);
    std::vector<std::vector<std::string>> within = Nest(pieces, run);
    std::vector<long> numbers;
    const char *const tags[] = {
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" NUMBER "\" height=\"" NUMBER
        "\" viewBox=\"0 0 " NUMBER " " NUMBER
        "\" font-family=\"'DejaVu Sans Mono',Consolas,'Courier New',monospace\" "
        "font-size=\"15\" shape-rendering=\"crispEdges\">",
        "<title>",
        "</title>",
        "<rect x=\"" NUMBER "\" y=\"" NUMBER "\" width=\"" NUMBER "\" height=\"" NUMBER
        "\" fill=\"" COLOUR "\"/>",
        "<rect class=\"diff-character\" x=\"" NUMBER "\" y=\"" NUMBER "\" width=\"" NUMBER
        "\" height=\"" NUMBER "\" fill=\"none\" stroke=\"#FF8C00\" stroke-width=\"2\"/>",
        "<rect class=\"diff-colour\" x=\"" NUMBER "\" y=\"" NUMBER "\" width=\"" NUMBER
        "\" height=\"" NUMBER "\" fill=\"none\" stroke=\"#00BFFF\" stroke-width=\"2\"/>",
        "<text x=\"" NUMBERS "\" y=\"" NUMBER "\" fill=\"" COLOUR "\" xml:space=\"preserve\">",
        "<text x=\"" NUMBER "\" y=\"" NUMBER "\" fill=\"#C0C0C0\" font-family=\"sans-serif\" "
        "font-size=\"13\" xml:space=\"preserve\">",
        "</text>",
        "<g transform=\"translate(" NUMBER "," NUMBER ")\">",
        "</g>",
        "</svg>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
    };
    const char *const pageTags[] = {"<!DOCTYPE html>", "<html lang=\"en\">",
                                    "<head>",          "<meta charset=\"utf-8\"/>",
                                    "<style>",         "</style>",
                                    "</head>",         "<body>",
                                    "</body>",         "</html>"};
    for (size_t i = 0; i < pieces.size(); i++) {
        const Piece &piece = pieces[i];
        if (!piece.tag) {
            bool inText =
                !within[i].empty() && (within[i].back() == "title" || within[i].back() == "text" ||
                                       within[i].back() == "style");
            Check(inText || piece.text == "\n",
                  "the picture holds text outside its titles and text elements", run);
            continue;
        }
        bool known = false;
        for (const char *tag : tags) {
            known = known || Matches(piece.text, tag, &numbers);
        }
        for (const char *tag : pageTags) {
            known = known || (html && piece.text == tag);
        }
        Check(known, "the picture holds a tag its template does not write", run);
    }
    Check(html == (pieces[0].text == "<!DOCTYPE html>"), "the picture begins otherwise", run);
}

// For a text of printable ASCII: the lines of --text that hold it, as
// --grep writes them. -i folds ASCII letters; a text with an "s" is left
// out there, since the long s folds to it.
bool ModelGrep(const std::string &text, bool ignoreCase, const std::string &plain,
               const std::string &name, std::string *expected) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7E || (ignoreCase && (c == 's' || c == 'S'))) {
            return false;
        }
    }
    auto fold = [&](std::string s) {
        if (ignoreCase) {
            for (char &c : s) {
                if (c >= 'A' && c <= 'Z') {
                    c = (char)(c + 32);
                }
            }
        }
        return s;
    };
    std::vector<std::string> lines = Lines(plain);
    expected->clear();
    for (size_t i = 0; i < lines.size(); i++) {
        if (fold(lines[i]).find(fold(text)) != std::string::npos) {
            *expected += name + ":" + std::to_string(i + 1) + ": " + lines[i] + "\n";
        }
    }
    return true;
}

// ---- The files.

std::string Folder;

void RemoveFolder() {
    for (const char *name : {"screen.glim", "link.glim", "cut.glim"}) {
        unlink((Folder + name).c_str());
    }
    rmdir(Folder.c_str());
}

void WriteInput(const std::vector<uint8_t> &bytes) {
    if (Folder.empty()) {
        const char *base = getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && base[0] != 0 ? base : "/tmp") + "/glimview-fuzz-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        fuzz::Require(mkdtemp(buffer.data()) != nullptr, "no scratch folder");
        Folder = std::string(buffer.data()) + "/";
        atexit(RemoveFolder);
    }
    // Written in place, so that the hard link goes on naming it.
    FILE *file = fopen((Folder + "screen.glim").c_str(), "wb");
    fuzz::Require(file != nullptr, "the input cannot be written");
    fuzz::Require(bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(),
                  "the input cannot be written");
    fclose(file);
    if (access((Folder + "link.glim").c_str(), F_OK) != 0) {
        fuzz::Require(link((Folder + "screen.glim").c_str(), (Folder + "link.glim").c_str()) == 0,
                      "no hard link to the input");
    }
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    fuzz::Require(file != nullptr, "a file cannot be written");
    fuzz::Require(bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(),
                  "a file cannot be written");
    fclose(file);
}

std::string ReadInput() {
    std::string text;
    FILE *file = fopen((Folder + "screen.glim").c_str(), "rb");
    if (file != nullptr) {
        char buffer[4096];
        size_t got = 0;
        while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
            text.append(buffer, got);
        }
        fclose(file);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return -1;
    }
    const size_t length = data[0] & 0x1F;
    const bool ignoreCase = (data[0] & 0x20) != 0;
    const bool force = (data[0] & 0x40) != 0;
    const bool window = (data[0] & 0x80) != 0;
    const size_t start = 1 + length < size ? 1 + length : size;
    std::string text((const char *)data + 1, start - 1);
    text = text.c_str(); // an argument ends at a NUL
    std::vector<uint8_t> file(data + start, data + size);

    fuzz::FreshMachine();
    WriteInput(file);
    Loaded loaded;
    loaded.result = LoadScreen(file.data(), (DWORD)file.size(), &loaded.screen);
    Held = sim::LiveAllocations();
    const std::string name = Folder + "screen.glim";
    std::vector<std::string> options;
    if (force) {
        options.push_back("--force");
    }
    if (window) {
        options.push_back("--window");
    }
    auto with = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), options.begin(), options.end());
        return arguments;
    };

    Run sgr = RunView(with({name}));
    Run plain = RunView(with({"--text", name}));
    Run html = RunView(with({"--html", "-", name}));
    Run svg = RunView(with({"--svg=-", name}));
    Shown shown = ShownRows(loaded, force, window, VIEW_SGR);
    for (const Run *run : {&sgr, &plain, &html, &svg}) {
        Check(run->status == (shown.showable ? 0 : 2),
              "the exit status does not say whether the file could be shown", *run);
        Check(run->status == 0 || run->out.empty(), "a failure wrote output", *run);
    }
    if (shown.showable) {
        CheckSgr(sgr, shown);
        CheckText(plain, ShownRows(loaded, force, window, VIEW_TEXT));
        CheckHtml(html, ShownRows(loaded, force, window, VIEW_HTML));
        CheckSvg(svg, ShownRows(loaded, force, window, VIEW_SVG));
    }

    std::vector<std::string> grep = {"--grep"};
    if (ignoreCase) {
        grep.push_back("-i");
    }
    grep.push_back("--");
    grep.push_back(text);
    grep.push_back(name);
    Run found = RunView(with(grep));
    if (!shown.showable) {
        Check(found.status == 2 && found.out.empty(), "--grep searched a file that cannot be shown",
              found);
    } else {
        Check(found.status == (found.out.empty() ? 1 : 0),
              "--grep's exit status does not say whether it found a row", found);
        CheckGrep(found, name, ShownRows(loaded, force, window, VIEW_TEXT));
        std::string expected;
        if (!window && ModelGrep(text, ignoreCase, plain.out, name, &expected)) {
            Check(found.out == expected, "--grep found other rows than --text shows with the text",
                  found);
        }
        grep.push_back(Folder + "missing.glim");
        Run trouble = RunView(with(grep));
        Check(trouble.status == 2 && trouble.out == found.out,
              "--grep did not go on past a missing file, or did not say so", trouble);
    }

    // --diff: the file against itself, and against a second screen cut from
    // the input (its last bytes replaced by the text).
    const std::string cut = Folder + "cut.glim";
    std::vector<uint8_t> second = file;
    for (size_t i = 0; i < text.size() && i < second.size(); i++) {
        second[second.size() - 1 - i] = (uint8_t)text[i];
    }
    WriteFile(cut, second);
    Run same = RunView(with({"--diff", "--text", name, name}));
    Check(same.status == (shown.showable ? 0 : 2) && same.out.empty(),
          "a screen differs from itself", same);
    std::vector<std::string> diff = {"--diff"};
    if (ignoreCase && !text.empty()) {
        diff.push_back("--ignore-rows=" + text.substr(0, 2));
    }
    diff.push_back("--");
    diff.push_back(name);
    diff.push_back(cut);
    for (const char *form : {"", "--text", "--html=-", "--svg=-"}) {
        std::vector<std::string> arguments = diff;
        if (form[0] != 0) {
            arguments.insert(arguments.begin(), form);
        }
        Run compared = RunView(with(arguments));
        Check(compared.status <= 2 && (compared.status != 2 || compared.out.empty()),
              "--diff failed and wrote output, or exited with another status", compared);
        if (compared.status == 2) {
            continue;
        }
        if (form[0] == 0 || form[2] == 't') {
            CheckListing(compared, form[0] == 0);
        } else {
            CheckPicture(compared, form[2] == 'h');
        }
    }

    // Neither the page nor the image is written over the file shown.
    const std::string before = ReadInput();
    for (const char *option : {"--html", "--svg"}) {
        Run refused = RunView({option, Folder + "link.glim", name});
        Check(refused.status == 2 && refused.out.empty(),
              "a page or image was to be written over the file shown", refused);
        Check(ReadInput() == before, "the file shown was changed", refused);
    }
    FreeScreen(&loaded.screen);
    fuzz::SettleMachine();
    return 0;
}
