#!/usr/bin/env bash
# host.sh [BIN]: checks of the stand-in host glimhost.exe under Wine, on a
# real console. BIN is the folder of the Windows binaries (glimhost.exe,
# TakeCmd.dll, glimpset.dll; default build/windows/bin). Every check runs
# glimhost with -o and -e, so that its standard output and error land in
# files byte for byte, and compares those files and the exit status with
# what is expected. One line per check, then "N passed, N failed"; the exit
# status is 1 when any check failed.
set -uo pipefail

source "$(dirname "$0")/lib/checks.sh"
checks_setup /tmp/glimhost-checks.XXXXXX "${1:-}"

# run_typed TEXT [ARGS...]: glimhost at its interactive prompt, TEXT typed
# into the console again and again until glimhost has read it and ended
# (keys typed before Wine has the console ready are lost).
run_typed() {
    local text=$1
    shift
    rm -f "$work/out" "$work/err"
    (cd "$work" && for _ in $(seq 60); do
        sleep 1
        printf '%s' "$text" || exit 0
    done | "$root/scripts/wine-run" "$bin/glimhost.exe" -o "$(win "$work/out")" \
        -e "$(win "$work/err")" "$@" >/dev/null 2>&1
    exit "${PIPESTATUS[1]}")
    rc=$?
}

# check NAME OUT ERR STATUS: OUT and ERR are printf formats of the exact
# bytes expected on standard output and standard error.
check() {
    local name=$1 out=$2 err=$3 status=$4 why=""
    printf "$out" >"$work/expected-out"
    printf "$err" >"$work/expected-err"
    if [ ! -f "$work/out" ] || ! cmp -s "$work/out" "$work/expected-out"; then
        why="standard output differs:$(od -c "$work/out" 2>/dev/null | head -n 8 | sed 's/^/\n    /')"
    elif [ ! -f "$work/err" ] || ! cmp -s "$work/err" "$work/expected-err"; then
        why="standard error differs:$(od -c "$work/err" 2>/dev/null | head -n 8 | sed 's/^/\n    /')"
    elif [ "$rc" != "$status" ]; then
        why="exit status $rc, expected $status"
    fi
    verdict "$name" "$why"
}

cwds="$(win "$work")\\"

run "echo hello"
check "echo writes its text and a line end" 'hello\r\n' '' 0

run "exit 3"
check "exit N ends glimhost with status N" '' '' 3

run "echo one" "exit 4" "echo never"
check "exit stops the remaining command lines" 'one\r\n' '' 4

run "echo %_cwds"
check "%_cwds is the current directory with a trailing backslash" "${cwds//\\/\\\\}\\r\\n" '' 0

run "bogus 1 2"
check "an unknown command is reported on standard error with status 1" '' \
    'Unknown command: bogus\r\n' 1

run "bogus" "echo after"
check "the status is that of the last command" 'after\r\n' 'Unknown command: bogus\r\n' 0

run "set GREETING=hi there" "echo [%GREETING%] [%greeting] [%[GREETING]]" "set GREETING=" \
    "echo [%GREETING%]"
check "set defines and removes environment variables for expansion" \
    '[hi there] [hi there] [hi there]\r\n[]\r\n' '' 0

run "echo 100%% and 50% off, %undefined%end"
check "%% is a percent sign, a lone % stays, undefined names vanish" \
    '100%% and 50%% off, end\r\n' '' 0

run "ver"
check "ver names glimhost and the plugin's version" 'glimhost 1.2.0.3 - Glimpset 1.2.0\r\n' '' 0

run "echo [%_lastglim]"
check "_lastglim is empty before any save" '[]\r\n' '' 0

run "echo [%_batch] [%_transient]"
check "outside a batch file _batch is 0; given command lines the shell is transient" \
    '[0] [1]\r\n' '' 0

printf 'echo [%%_batch] line %%_batchline\r\n\r\necho %%_batchname\r\nexit 7\r\necho never\r\n' \
    >"$work/lines.btm"
run -f "$(win "$work/lines.btm")"
check "a batch file sets _batch, _batchline and _batchname" \
    "[1] line 1\\r\\n${cwds//\\/\\\\}lines.btm\\r\\n" '' 7

printf '\xef\xbb\xbfecho Gr\xc3\xbc\xc3\x9fe \xe2\x82\xac \xf0\x9f\x98\x80\n' >"$work/utf8.btm"
run -f "$(win "$work/utf8.btm")"
check "a UTF-8 batch file's text is written as UTF-8, surrogate pairs included" \
    'Gr\xc3\xbc\xc3\x9fe \xe2\x82\xac \xf0\x9f\x98\x80\r\n' '' 0

printf '\xff\xfee\x00c\x00h\x00o\x00 \x00\xe9\x00\r\x00\n\x00' >"$work/utf16.btm"
run -f "$(win "$work/utf16.btm")"
check "a batch file with a UTF-16 byte order mark is read as UTF-16" '\xc3\xa9\r\n' '' 0

rm -f "$work/out" "$work/err"
(cd "$work" && "$root/scripts/wine-run" "$bin/glimhost.exe" -o "$(win "$work/out")" \
    -e "$(win "$work/out")" "echo a" "bogus" "echo b" </dev/null >/dev/null 2>&1)
rc=$?
printf '' >"$work/err"
check "-e naming the -o file keeps both streams in order" \
    'a\r\nUnknown command: bogus\r\nb\r\n' '' 0

# -e naming the -o file another way: its "\\?\" form, another case, a hard
# link, a symbolic link. One file is one stream, whatever its names.
printf 'old text, longer than what glimhost writes\r\n' >"$work/both"
ln "$work/both" "$work/both-hard"
ln -s both "$work/both-soft"
for other in "\\\\?\\$(win "$work/both")" "$(win "$work/BOTH")" "$(win "$work/both-hard")" \
    "$(win "$work/both-soft")"; do
    (cd "$work" && "$root/scripts/wine-run" "$bin/glimhost.exe" -o "$(win "$work/both")" \
        -e "$other" "echo a" "bogus" "echo b" </dev/null >/dev/null 2>&1)
    rc=$?
    cp "$work/both" "$work/out"
    printf '' >"$work/err"
    check "-e naming the -o file as $other keeps both streams in order" \
        'a\r\nUnknown command: bogus\r\nb\r\n' '' 0
done

# An inherited variable longer than a line (16,384 characters) is still
# there; the system allows 32,767.
long=$(head -c 30000 /dev/zero | tr '\0' v)
export GLIM_LONG_VALUE=$long
run "set GLIM_LONG_VALUE" "set GLIM_NO_SUCH_VALUE"
unset GLIM_LONG_VALUE
check "set NAME shows an inherited variable longer than a line" \
    "GLIM_LONG_VALUE=$long\\r\\n" 'Not in environment: GLIM_NO_SUCH_VALUE\r\n' 1

run "help glim"
check "help glim prints the command's usage text" \
    'GLIM /I /N: /O /Q /R /S filename  \r\n\n\t/I\tdisplay information about glimpset files\n\t/N:\tdisable features\n\t/O\toverwrite an existing file\n\t/Q\tquietly\n\t/R\treload the console buffer from a glimpset file  \n\t/S\tsearch into subdirectories\n\nIf neither /I nor /R is given, GLIM saves the console buffer  \nto a file.  The filename is optional.\n\nIf /I is given, you can use wildcards, multiple filenames, or /S\nto recurse.\n' \
    '' 0

run "help _lastglim"
check "help on a name without a usage line tells how to open its help box" \
    '_lastglim has no usage line; help /box _lastglim opens its help.\r\n' '' 0

run "help /box _lastglim" "help /BOX echo"
check "help /box opens the plugin's box; a built-in has none and shows its usage line" \
    'ECHO text: writes the text and a line end.\r\n' '' 0

run "help nothing-here"
check "help on an unknown name says so with status 1" '' 'No help for nothing-here.\r\n' 1

run -x
check "an unknown option is refused with status 2" '' \
    'glimhost: unknown option "-x" (glimhost -h shows the usage)\r\n' 2

run_typed $'exit\r'
check "an interactive start shows the plugin's load line" 'Glimpset v1.2.0 loaded.\r\n' '' 0

run_typed $'echo typed\rexit 6\r'
check "lines typed at the prompt run" 'Glimpset v1.2.0 loaded.\r\ntyped\r\n' '' 6

checks_summary
