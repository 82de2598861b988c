#!/usr/bin/env bash
# report.sh BIN: glim /I on real files under Wine, through glimhost.exe from
# the folder BIN (default build/windows/bin). A tree of Glimpset, SAVECON and
# other files is written byte by byte, one file is saved by glim itself, and
# every check compares the report's standard output and standard error (as
# UTF-8 files) and its result with what they must be, to the byte.
#
# Directory listings on a Unix file system come in no fixed order, so a
# check never lets two files of one directory, or two subdirectories of one
# directory, both reach the output. A check marked "merged" runs glimhost
# from cmd.exe with "> FILE 2>&1", as a user sends both streams to one
# file, and expects them interleaved in the order they were written.
#
# Prints one line a check and "N passed, N failed"; exits 1 on a failure.
set -uo pipefail
source "$(dirname "$0")/lib/checks.sh"
bin=$(cd "${1:-$root/build/windows/bin}" && pwd)
host="$bin/glimhost.exe"
run="$root/scripts/wine-run"
if [ ! -f "$host" ]; then
    echo "report.sh: no $host" >&2
    exit 1
fi

work=$(mktemp -d /tmp/glim-report.XXXXXX)
trap 'rm -rf "$work"' EXIT
winwork=$(win "$work")
tree="$work/t"
wintree="$winwork\\t"
mkdir -p "$tree" "$work/expect" "$work/got"

passed=0
failed=0

# glimhost DIRECTORY OUT ERR COMMAND-LINE...: runs the command lines in
# DIRECTORY (a Unix path) with standard output and error in two files (Unix
# paths); the exit status is the result of the last command.
glimhost() {
    local dir=$1 out=$2 err=$3
    shift 3
    (cd "$dir" && "$run" "$host" -o "$(win "$out")" -e "$(win "$err")" "$@" >/dev/null 2>&1)
}

# glimhost_merged DIRECTORY OUT COMMAND-LINE: the same through cmd.exe, both
# streams into the one file OUT, from a batch file so that no quoting is
# lost on the way.
glimhost_merged() {
    local dir=$1 out=$2
    printf '@"%s" "%s" > "%s" 2>&1\r\n' "$(win "$host")" "$3" "$(win "$out")" >"$work/merged.cmd"
    (cd "$dir" && "$run" cmd /c "$(win "$work/merged.cmd")" >/dev/null 2>&1)
}

# The screen saved by glim itself comes first: its expected report is made
# from its own bytes, below.
mkdir -p "$tree/real"
glimhost "$tree" "$work/save.out" "$work/save.err" 'glim /O /Q real\saved.glim'
if [ -f "$tree/real/saved.glim" ]; then
    echo "ok - glim saves a screen to report on"
    passed=$((passed + 1))
else
    echo "FAIL - glim saves a screen to report on"
    cat "$work/save.err" 2>/dev/null
    failed=$((failed + 1))
fi

# Writes the tree and, for every check, its command line, its directory,
# its result and its two expected outputs.
python3 - "$tree" "$wintree" "$work/expect" <<'PYTHON'
import os, socket, struct, sys

tree, wintree, expect = sys.argv[1], sys.argv[2], sys.argv[3]
checks = []

def put(path, data):
    full = os.path.join(tree, *path.split("/"))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)

def win(path):
    return wintree + "\\" + path.replace("/", "\\")

def glimpset(version=1, year=2024, month=3, day=5, hour=9, minute=7, second=2, dow=2,
             bias=-60, columns=80, rows=300, ccol=3, crow=12, attribute=0x1F,
             incp=437, outcp=437, height=25, crc=0x0BADF00D, name="SIMHOST"):
    units = name.encode("utf-16-le")[:32].ljust(32, b"\0")
    return struct.pack("<8sHHBBBBBBiHHHHHIIHHI32s", b"Glimpset", version, year, day, month,
                       minute, hour, second, dow, bias, columns, rows, ccol, crow, attribute,
                       incp, outcp, height, 0, crc, units)

def savecon(columns=80, rows=300, ccol=5, crow=10, attribute=0x1F07, window=(0, 0, 79, 24),
            selector=0):
    head = struct.pack("<HHHHHHHHHHHH", columns, rows, ccol, crow, attribute, *window,
                       columns, 50, selector)
    return head.ljust(832, b"\0") + b"A\0\x07\0" * 10

# A computer name as the report shows it: every character that could act
# on a terminal (C0, DEL, C1, the bidirectional embeddings, overrides and
# isolates) is U+FFFD.
def printable(name):
    return "".join("\ufffd" if ord(c) < 0x20 or 0x7F <= ord(c) <= 0x9F or
                   0x202A <= ord(c) <= 0x202E or 0x2066 <= ord(c) <= 0x2069 else c
                   for c in name)

# The description of a Glimpset header, as the report prints it.
def describe_glimpset(path, header):
    (magic, version, year, day, month, minute, hour, second, dow, bias, columns, rows, ccol,
     crow, attribute, incp, outcp, height, reserved, crc, units) = struct.unpack(
        "<8sHHBBBBBBiHHHHHIIHHI32s", header[:80])
    text = "\r\n\"%s\" - Glimpset v%d save file\r\n" % (path, version)
    text += "   Taken              : "
    if year == 0:
        text += "not available\r\n"
    else:
        east = -bias
        text += "%04d-%02d-%02d %02d:%02d:%02d UTC%s%d:%02d\r\n" % (
            year, month, day, hour, minute, second, "-" if east < 0 else "+",
            abs(east) // 60, abs(east) % 60)
    name = printable(units.decode("utf-16-le", "surrogatepass").split("\0")[0])
    text += "   On computer        : %s\r\n" % (name if name else "not available")
    text += "   Checksum           : %08X\r\n" % crc
    text += "   Screen buffer size : %d rows x %d columns\r\n" % (rows, columns)
    text += "   Cursor position    : row %d, column %d\r\n" % (crow, ccol)
    text += "   Screen attribute   : %04x\r\n" % (attribute & 0xFF)
    text += "   Window height      : %d rows\r\n" % height
    if incp == outcp:
        text += "   Code page          : %d\r\n" % incp
    else:
        text += "   Code page          : %d (input) / %d (output)\r\n" % (incp, outcp)
    return text

def other(path):
    return "\r\n\"%s\" is not a Glimpset file.\r\n" % path

def found(count, directory):
    return "\r\nFound %d file%s in %s.\r\n" % (count, "" if count == 1 else "s", directory)

def total(count):
    return "\r\nFound %d file%s total.\r\n" % (count, "" if count == 1 else "s")

PREFIX = "Glimpset plugin: "

def check(name, command, out, err="", result=0, directory="", merged=False):
    checks.append((name, command, directory, result, "merged" if merged else ""))
    with open(os.path.join(expect, name + ".out"), "wb") as f:
        f.write(out.encode("utf-8"))
    with open(os.path.join(expect, name + ".err"), "wb") as f:
        f.write(err.encode("utf-8"))

base = glimpset()
put("one/a.glim", base + b"\xF9\xFF\x05\x00\x41\x00\xFD\xFF")
variant = glimpset(version=2, bias=-330, attribute=0x1F07, incp=850, outcp=65001,
                   name="ABCDEFGHIJKLMNOP")
put("two/b.glim", variant + b"\xFD\xFF")
untimed = glimpset(year=0, month=0, day=0, hour=0, minute=0, second=0, dow=0, bias=0,
                   name="")
put("two/c.glim", untimed + b"\xFD\xFF")
put("sav/old.sav", savecon())
put("mixed/note.txt", b"hello\r\n")
put("mixed/short.glim", base[:79])
os.makedirs(os.path.join(tree, "empty"), exist_ok=True)
put("tree/top.glim", base)
put("tree/sub/mid.glim", variant)
put("tree/sub/deeper/low.sav", savecon(window=(0, 275, 79, 299)))
# Text files, silenced by /N:O: these checks look at the directories only.
put("hidden/x.glim", b"x")
put("hidden/.h/y.glim", b"y")
put("cycle/x.glim", b"x")
put("cycle/sub/y.glim", b"y")
os.symlink("..", os.path.join(tree, "cycle", "sub", "back"))
put("uni/\u00dcbersicht \u2013 \u00df.glim", base)
# Computer names that would clear the screen, write the clipboard, retitle
# the window, or start a C1 control sequence, on a terminal that obeys them.
hostile = ["\x1b[2J\x1b[H", "\x1b]52;c;SGk=\x07", "\x1b]0;owned\x07", "\u009b2J"]
for number, name in enumerate(hostile):
    put("hostile%d/h.glim" % number, glimpset(name=name) + b"\xFD\xFF")
# Names that end in a period or a blank, which Windows programs make only
# through "\\?\" paths: each beside a file of the name without that ending.
put("dota/t.glim", base)
put("dota/t.glim.", variant)
put("dotb/t.glim", base)
put("dotb/t.glim ", untimed)
put("dotc/u.glim.", variant)
# A socket is listed as a file but cannot be opened.
os.makedirs(os.path.join(tree, "socket"), exist_ok=True)
socket.socket(socket.AF_UNIX).bind(os.path.join(tree, "socket", "s.glim"))

with open(os.path.join(tree, "real", "saved.glim"), "rb") as f:
    saved = f.read(80)

check("glimpset-description", "glim /I one\\a.glim",
      describe_glimpset(win("one/a.glim"), base) + found(1, win("one") + "\\"))
check("variants-and-two-specifications", "glim /I two\\b.glim two\\c.glim",
      describe_glimpset(win("two/b.glim"), variant) + found(1, win("two") + "\\") +
      describe_glimpset(win("two/c.glim"), untimed) + found(1, win("two") + "\\") + total(2))
check("savecon-description", "glim /I sav\\old.sav",
      "\r\n\"%s\" - Varlotti SAVECON file\r\n" % win("sav/old.sav") +
      "   Screen buffer size : 300 rows x 80 columns\r\n"
      "   Cursor position    : row 10, column 5\r\n"
      "   Screen attribute   : 1f07\r\n"
      "   Window size        : 25 rows x 80 columns\r\n" + found(1, win("sav") + "\\"))
check("short-file-is-not-glimpset", "glim /I mixed\\short.glim",
      other(win("mixed/short.glim")) + found(1, win("mixed") + "\\"))
check("alternatives", "glim /I mixed\\*.xyz;note.*",
      other(win("mixed/note.txt")) + found(1, win("mixed") + "\\"))
check("second-i-silences-others", "glim /I /I mixed\\*", found(2, win("mixed") + "\\"))
check("no-match-names-alternatives", "glim /I one\\*.xyz;*.abc", "",
      PREFIX + "No *.xyz|*.abc files found in %s\\\r\n" % win("one"))
check("empty-directory", "glim /I empty", "", PREFIX + "No * files found in %s\r\n" % win("empty"))
check("empty-directory-with-e", "glim /I /E empty", found(0, win("empty")))
check("bad-specification", "glim /I one\\a.glim a:b:c",
      describe_glimpset(win("one/a.glim"), base) + found(1, win("one") + "\\"),
      PREFIX + "Bad filespec:  \"A:B:C\"\r\n", 1)
check("current-directory", "glim /I",
      describe_glimpset(win("one/a.glim"), base) + found(1, win("one") + "\\"),
      directory="one")
check("recursion-depth-first", "glim /I /S tree\\*.glim;*.sav",
      describe_glimpset(win("tree/top.glim"), base) + found(1, win("tree") + "\\") +
      describe_glimpset(win("tree/sub/mid.glim"), variant) + found(1, win("tree/sub") + "\\") +
      "\r\n\"%s\" - Varlotti SAVECON file\r\n" % win("tree/sub/deeper/low.sav") +
      "   Screen buffer size : 300 rows x 80 columns\r\n"
      "   Cursor position    : row 10, column 5\r\n"
      "   Screen attribute   : 1f07\r\n"
      "   Window size        : 25 rows x 80 columns\r\n" +
      found(1, win("tree/sub/deeper") + "\\") + total(3))
check("recursion-without-lines", "glim /I /S /N:S tree",
      describe_glimpset(win("tree/top.glim"), base) +
      describe_glimpset(win("tree/sub/mid.glim"), variant) +
      "\r\n\"%s\" - Varlotti SAVECON file\r\n" % win("tree/sub/deeper/low.sav") +
      "   Screen buffer size : 300 rows x 80 columns\r\n"
      "   Cursor position    : row 10, column 5\r\n"
      "   Screen attribute   : 1f07\r\n"
      "   Window size        : 25 rows x 80 columns\r\n")
check("recursion-without-match", "glim /I /S tree\\*.xyz", total(0),
      PREFIX + "No *.xyz files found in %s\\\r\n" % win("tree"))
check("hidden-subdirectory-searched", "glim /I /S /N:O hidden\\*.glim",
      found(1, win("hidden") + "\\") + found(1, win("hidden/.h") + "\\") + total(2))
check("hidden-subdirectory-passed-over", "glim /I /S /N:O /N:D hidden\\*.glim",
      found(1, win("hidden") + "\\") + total(1))
check("link-back-into-the-tree", "glim /I /S /N:O cycle\\*.glim",
      found(1, win("cycle") + "\\") + found(1, win("cycle/sub") + "\\") + total(2))
# From below, the link leads up to a directory not on the path, which is
# searched; its own subdirectory is the start again, and is not.
check("link-followed-until-it-leads-back", "glim /I /S /N:O cycle\\sub\\*.glim",
      found(1, win("cycle/sub") + "\\") + found(1, win("cycle/sub/back") + "\\") + total(2))
check("link-passed-over-with-n-j", "glim /I /S /N:O /N:J cycle\\sub\\*.glim",
      found(1, win("cycle/sub") + "\\") + total(1))
check("unicode-name", "glim /I uni\\*.glim",
      describe_glimpset(win("uni/\u00dcbersicht \u2013 \u00df.glim"), base) +
      found(1, win("uni") + "\\"))
check("hostile-computer-names",
      "glim /I " + " ".join("hostile%d\\h.glim" % n for n in range(len(hostile))),
      "".join(describe_glimpset(win("hostile%d/h.glim" % n), glimpset(name=name)) +
              found(1, win("hostile%d" % n) + "\\") for n, name in enumerate(hostile)) +
      total(len(hostile)))
check("saved-by-glim", "glim /I real\\saved.glim",
      describe_glimpset(win("real/saved.glim"), saved) + found(1, win("real") + "\\"))

check("name-ending-in-a-period", "glim /I dota\\t.glim?",
      describe_glimpset(win("dota/t.glim."), variant) + found(1, win("dota") + "\\"))
check("name-ending-in-a-blank", "glim /I dotb\\t.glim?",
      describe_glimpset(win("dotb/t.glim "), untimed) + found(1, win("dotb") + "\\"))
check("name-found-only-with-its-period", "glim /I dotc",
      describe_glimpset(win("dotc/u.glim."), variant) + found(1, win("dotc")))
check("more-than-1024-arguments", "glim /I " + " ".join(["x.glim"] * 1025), "",
      PREFIX + "Too many arguments: more than 1024\r\n", 1)

check("mixed-output-keeps-its-order", "glim /I one\\a.glim one\\*.xyz socket\\*.glim two\\b.glim",
      describe_glimpset(win("one/a.glim"), base) + found(1, win("one") + "\\") +
      PREFIX + "No *.xyz files found in %s\\\r\n" % win("one") +
      "\r\n" + PREFIX + "Error opening \"%s\":\r\n    Error 433\r\n" % win("socket/s.glim") +
      found(1, win("socket") + "\\") +
      describe_glimpset(win("two/b.glim"), variant) + found(1, win("two") + "\\") + total(3),
      result=2, merged=True)

with open(os.path.join(expect, "checks"), "w") as f:
    for name, command, directory, result, merged in checks:
        f.write("\x1f".join((name, command, directory, str(result), merged)) + "\n")
PYTHON

while IFS=$'\x1f' read -r -u 3 name command directory result merged; do
    out="$work/got/$name.out"
    err="$work/got/$name.err"
    if [ -n "$merged" ]; then
        glimhost_merged "$tree/$directory" "$out" "$command"
        status=$?
        : >"$err"
    else
        glimhost "$tree/$directory" "$out" "$err" "$command"
        status=$?
    fi
    problems=""
    cmp -s "$out" "$work/expect/$name.out" || problems="$problems stdout"
    cmp -s "$err" "$work/expect/$name.err" || problems="$problems stderr"
    [ "$status" = "$result" ] || problems="$problems result=$status(want $result)"
    if [ -z "$problems" ]; then
        echo "ok - $name"
        passed=$((passed + 1))
    else
        echo "FAIL - $name:$problems"
        for stream in out err; do
            if ! cmp -s "$work/got/$name.$stream" "$work/expect/$name.$stream"; then
                diff <(cat -A "$work/expect/$name.$stream") <(cat -A "$work/got/$name.$stream") |
                    sed 's/^/    /'
            fi
        done
        failed=$((failed + 1))
    fi
done 3<"$work/expect/checks"

checks_summary
