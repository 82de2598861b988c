#!/usr/bin/env bash
# command.sh [BIN]: the glim command under Wine, on a real console: help and
# version output to the byte, an unknown option, an error inside a batch
# file, the Quiet setting read from keys written by Wine's reg, /O through a
# symbolic link and in a folder that refuses new files, and three saves at
# once racing for made-up names. BIN is the folder of the Windows binaries
# (default build/windows/bin). One line per check, then "N passed, N
# failed"; exit status 1 when any check failed.
set -uo pipefail

source "$(dirname "$0")/lib/checks.sh"
checks_setup /tmp/glim-command.XXXXXX "${1:-}"

# check NAME OUT ERR STATUS: the exact bytes (printf formats) and status.
check() {
    local why=""
    printf "$2" >"$work/expected-out"
    printf "$3" >"$work/expected-err"
    if ! cmp -s "$work/out" "$work/expected-out"; then
        why="standard output differs: $(od -c "$work/out" | head -n 4)"
    elif ! cmp -s "$work/err" "$work/expected-err"; then
        why="standard error differs: $(od -c "$work/err" | head -n 4)"
    elif [ "$rc" != "$4" ]; then
        why="exit status $rc, expected $4"
    fi
    verdict "$1" "$why"
}

help='Save, restore, or show information about console glimpset files.  \n\nGLIM /I /N: /O /Q /R /S filename  \r\n\n\t/I\tdisplay information about glimpset files\n\t/N:\tdisable features\n\t/O\toverwrite an existing file\n\t/Q\tquietly\n\t/R\treload the console buffer from a glimpset file  \n\t/S\tsearch into subdirectories\n\nIf neither /I nor /R is given, GLIM saves the console buffer  \nto a file.  The filename is optional.\n\nIf /I is given, you can use wildcards, multiple filenames, or /S\nto recurse.\n'

run "glim /?"
check "glim /? writes the help text" "$help" '' 0

run "glim /??"
check "glim /?? adds the version line" "$help"'\r\n\t\t\t\tGlimpset  1.2.0.3 (x64)\r\n' '' 0

run "glim /x"
check "an unknown option is named upper-cased, with result 1" '' \
    'Glimpset plugin: Unknown option:  "/X"\r\n' 1

run "glim a.glim b.glim"
check "a second name without /I is a syntax error without the prefix" '' \
    'Syntax error:  "B.GLIM"\r\n' 1

printf 'echo first\r\nglim /N:Q\r\n' >"$work/bad.btm"
run -f "$(win "$work/bad.btm")"
check "an error inside a batch file names the file and its line" 'first\r\n' \
    "Glimpset plugin: $(win "$work/bad.btm" | sed 's/\\/\\\\/g') [2]  Unknown suboption:  /N:Q\\r\\n" 1

# The Quiet setting, from keys written by Wine's reg.
key='Software\RIRevazud\Glimpset'
reg() { "$root/scripts/wine-run" reg "$@" </dev/null >/dev/null 2>&1; }
set_key() { # ROOT VALUE-TYPE DATA ("-" for no value, "none" for no key)
    reg delete "$1\\$key" /f
    case "$2" in
    none) ;;
    -) reg add "$1\\$key" /f ;;
    *) reg add "$1\\$key" /v Quiet /t "$2" /d "$3" /f ;;
    esac
}
quiet_case() { # NAME HKCU-TYPE HKCU-DATA HKLM-TYPE HKLM-DATA EXPECTED
    set_key HKCU "$2" "$3"
    set_key HKLM "$4" "$5"
    "$root/scripts/wine-run" "$bin/quietprobe.exe" </dev/null >"$work/probe" 2>&1
    local got=$?
    if [ "$got" = "$6" ]; then verdict "quiet: $1" ""; else verdict "quiet: $1" "read $got, expected $6"; fi
}
quiet_case "no keys" none '' none '' 0
quiet_case "the user's DWORD 1" REG_DWORD 1 none '' 1
quiet_case "the user's DWORD 0 wins over the machine's 1" REG_DWORD 0 REG_DWORD 1 0
quiet_case "the user's key without the value lets the machine decide" - '' REG_DWORD 1 1
quiet_case "a string value counts as not set" REG_SZ 1 REG_DWORD 0 0
quiet_case "no user's key: the machine's key is not asked" none '' REG_DWORD 1 0
set_key HKCU none ''
set_key HKLM none ''

# is_glimpset FILE: the file begins with the Glimpset magic.
is_glimpset() {
    [ "$(head -c 8 "$1" 2>/dev/null)" = Glimpset ]
}

# /O through a symbolic link writes the file it names, and the link stays.
echo old >"$work/real.glim"
ln -s real.glim "$work/link.glim"
run "glim /Q /O link.glim"
why=""
if [ "$rc" != 0 ]; then
    why="exit status $rc: $(cat "$work/err")"
elif [ ! -L "$work/link.glim" ]; then
    why="the link was replaced by a plain file"
elif ! is_glimpset "$work/real.glim"; then
    why="the file the link names was not written"
fi
verdict "/O through a symbolic link writes its file and keeps the link" "$why"

# A folder that refuses new files: a plain save cannot create a file there,
# /O rewrites the existing one in place. Root may write anywhere, so the
# check drops that right when it runs as root (and gives Wine a server
# without it).
mkdir "$work/closed"
echo old >"$work/closed/a.glim"
chmod 555 "$work/closed"
as_user() { "$@"; }
if [ "$(id -u)" = 0 ]; then
    as_user() {
        setpriv --inh-caps=-dac_override,-dac_read_search \
            --bounding-set=-dac_override,-dac_read_search "$@"
    }
fi
rm -f "$work/out" "$work/err"
wine_idle
(cd "$work" && as_user "$root/scripts/wine-run" "$bin/glimhost.exe" -o "$(win "$work/out")" \
    -e "$(win "$work/err")" "glim /Q closed\\b.glim" "glim /Q /O closed\\a.glim" \
    'echo %_lastglim' </dev/null >/dev/null 2>&1)
rc=$?
why=""
if [ "$rc" != 0 ]; then
    why="exit status $rc: $(cat "$work/err")"
elif ! grep -q 'Error opening' "$work/err"; then
    why="the folder took a new file, so it refuses nothing: $(cat "$work/err")"
elif ! is_glimpset "$work/closed/a.glim"; then
    why="the file was not rewritten"
elif [ "$(ls -A "$work/closed")" != a.glim ]; then
    why="left in the folder: $(ls -A "$work/closed" | tr '\n' ' ')"
fi
chmod 755 "$work/closed"
verdict "/O rewrites a file in a folder that refuses new files" "$why"

# Three saves at once, each making up 15 names in one folder within the
# same seconds: every one gets a name of its own.
mkdir "$work/race"
lines=()
for _ in $(seq 15); do lines+=("glim /Q race"); done
for n in 1 2 3; do
    (cd "$work" && "$root/scripts/wine-run" "$bin/glimhost.exe" -o "$(win "$work/race$n.out")" \
        -e "$(win "$work/race$n.err")" "${lines[@]}" </dev/null >/dev/null 2>&1
    echo $? >"$work/race$n.rc") &
done
wait
why=""
count=$(find "$work/race" -name 'Glimpset *.glim' | wc -l)
for n in 1 2 3; do
    if [ "$(cat "$work/race$n.rc")" != 0 ] || [ -s "$work/race$n.err" ]; then
        why="save $n: status $(cat "$work/race$n.rc"), $(cat "$work/race$n.err")"
    fi
done
if [ -z "$why" ] && [ "$count" != 45 ]; then
    why="$count files, not 45"
fi
verdict "three saves at once make up 45 names in one folder without an error" "$why"

checks_summary
