#!/usr/bin/env bash
# glimview-wine.sh [BIN] [GLIMVIEW]: glimview on a file from a real save.
# BIN is the folder of the Windows binaries (glimhost.exe, TakeCmd.dll,
# glimpset.dll, glimview.exe; default build/windows/bin), GLIMVIEW the Linux
# glimview (default build/linux/bin/glimview). Under Wine, on a real
# console, glimhost clears the screen, writes known lines and saves the
# screen with glim; then
#   - the Linux glimview shows the file as text, with the known lines first;
#   - glimview.exe under Wine makes the same page, image and text as the
#     Linux glimview (its own file reading, writing and redirected output);
#   - glimview.exe --grep finds the same rows, with grep's exit statuses;
#   - glimview.exe refuses to write an image over the file under another
#     spelling of its name;
#   - glimview.exe shows the file in colour on the Wine console;
#   - glimview.exe --grep expands the wildcards of names not quoted;
#   - the README's batch file for testing a console program's screen runs
#     as it stands on drawprobe.exe: 0 unchanged (its clock row left out),
#     1 for a changed cell, named by row and column.
# One line per check, then "N passed, N failed"; exit status 1 when any
# check failed.
set -uo pipefail

source "$(dirname "$0")/../wine/lib/checks.sh"
glimview=$(realpath "${2:-$root/build/linux/bin/glimview}")
checks_setup /tmp/glimview-wine.XXXXXX "${1:-}"

# A real save: the lines are written to the console, then saved.
(cd "$work" && "$root/scripts/wine-run" "$bin/glimhost.exe" -e "$(win "$work/host-err")" \
    "cls" "echo glimview under Wine: first line" "echo second line" \
    "glim /O /Q $(win "$work/shot.glim")" </dev/null >/dev/null 2>&1)
rc=$?
why=""
if [ "$rc" != 0 ]; then
    why="glimhost ended with $rc: $(cat "$work/host-err" 2>/dev/null)"
elif [ ! -s "$work/shot.glim" ]; then
    why="no file saved"
fi
verdict "glim saves the console under Wine" "$why"

# The Linux glimview reads it: the lines written come first, as written.
why=""
if ! (cd "$work" && "$glimview" --text shot.glim >"$work/text-linux" 2>"$work/err-linux"); then
    why="glimview failed: $(cat "$work/err-linux")"
else
    printf 'glimview under Wine: first line\nsecond line\n' >"$work/expected"
    # Wine's console may start with an empty line of its own.
    if ! grep -v '^$' "$work/text-linux" | head -n 2 | cmp -s - "$work/expected"; then
        why="the text begins otherwise:$(head -n 4 "$work/text-linux" | sed 's/^/\n    /')"
    fi
fi
verdict "glimview --text shows the saved lines" "$why"

why=""
if ! (cd "$work" && "$glimview" --window shot.glim >"$work/sgr-linux" 2>"$work/err-linux"); then
    why="glimview failed: $(cat "$work/err-linux")"
elif ! grep -q $'\x1b\[0;37;40mglimview under Wine: first line' "$work/sgr-linux"; then
    why="no grey-on-black first line"
fi
verdict "glimview --window shows the saved lines in colour" "$why"

# view_exe ARGS...: glimview.exe under Wine in $work, its output dropped;
# sets rc.
view_exe() {
    (cd "$work" && "$root/scripts/wine-run" "$bin/glimview.exe" "$@" </dev/null >/dev/null 2>&1)
    rc=$?
}

# glimview.exe makes the same page and image, and the same text.
for output in "--html page html" "--svg image svg"; do
    read -r option noun extension <<<"$output"
    view_exe "$option" "$noun-windows.$extension" shot.glim
    (cd "$work" && "$glimview" "$option" "$noun-linux.$extension" shot.glim >/dev/null 2>&1)
    why=""
    if [ "$rc" != 0 ]; then
        why="glimview.exe ended with $rc"
    elif ! cmp -s "$work/$noun-windows.$extension" "$work/$noun-linux.$extension"; then
        why="the ${noun}s differ"
    fi
    verdict "glimview.exe $option makes the $noun the Linux glimview makes" "$why"
done

# --grep over the saved file, a missing one and the file again: the rows of
# both readings, a message for the missing one, and status 2; then 0 for a
# match alone and 1 for none.
(cd "$work" && "$glimview" --grep -i SECOND shot.glim missing.glim shot.glim \
    >"$work/grep-linux" 2>/dev/null)
(cd "$work" && "$root/scripts/wine-run" cmd /c \
    "$(win "$bin/glimview.exe") --grep -i SECOND shot.glim missing.glim shot.glim \
    > grep-windows 2> grep-err" </dev/null >/dev/null 2>&1)
several=$?
view_exe --grep "second line" shot.glim
found=$rc
view_exe --grep "not on the screen" shot.glim
none=$rc
why=""
if [ "$several" != 2 ] || [ "$found" != 0 ] || [ "$none" != 1 ]; then
    why="exit statuses $several, $found, $none; expected 2, 0, 1"
elif [ "$(grep -c ':[0-9]*: second line$' "$work/grep-windows")" != 2 ]; then
    why="not two rows found:$(sed 's/^/\n    /' "$work/grep-windows")"
elif ! cmp -s "$work/grep-windows" "$work/grep-linux"; then
    why="the rows found differ from the Linux glimview's"
elif ! grep -q 'cannot open "missing.glim"' "$work/grep-err"; then
    why="no message for the missing file: $(cat "$work/grep-err")"
fi
verdict "glimview.exe --grep finds the rows with grep's exit statuses" "$why"

cp "$work/shot.glim" "$work/shot-before"
(cd "$work" && "$root/scripts/wine-run" "$bin/glimview.exe" --svg ".\\SHOT.GLIM" shot.glim \
    </dev/null >"$work/same" 2>&1)
rc=$?
why=""
if [ "$rc" != 2 ]; then
    why="exit status $rc, expected 2"
elif ! cmp -s "$work/shot.glim" "$work/shot-before"; then
    why="the saved file was changed"
elif ! grep -q "it is the file being shown" "$work/same"; then
    why="no reason given: $(cat "$work/same")"
fi
verdict "glimview.exe writes no image over the file shown under another spelling" "$why"

(cd "$work" && "$root/scripts/wine-run" cmd /c \
    "$(win "$bin/glimview.exe") --text shot.glim > text-windows" </dev/null >/dev/null 2>&1)
why=""
if ! cmp -s "$work/text-windows" "$work/text-linux"; then
    why="the texts differ"
fi
verdict "glimview.exe --text writes the text the Linux glimview writes" "$why"

(cd "$work" && "$root/scripts/wine-run" "$bin/glimview.exe" --window shot.glim \
    </dev/null >"$work/console" 2>&1)
rc=$?
why=""
if [ "$rc" != 0 ]; then
    why="glimview.exe ended with $rc"
elif ! grep -q "glimview under Wine: first line" "$work/console"; then
    why="the console does not show the saved lines"
fi
verdict "glimview.exe shows the screen on the console" "$why"

view_exe missing.glim
why=""
[ "$rc" = 2 ] || why="exit status $rc, expected 2"
verdict "glimview.exe fails with 2 for a missing file" "$why"

# cmd_file NAME LINE...: a batch file in $work, with CRLF line ends.
cmd_file() {
    local name=$1
    shift
    printf '%s\r\n' "$@" >"$work/$name"
}

# Wildcards: glimview.exe expands them itself, in the order of the names; a
# quoted name is taken as it stands; a pattern that matches nothing is a
# file not found.
cp "$work/shot.glim" "$work/copy.glim"
view="$(win "$bin/glimview.exe")"
cmd_file wild.cmd "@$view --grep -i SECOND *.glim >wild-out 2>wild-err"
cmd_file quoted.cmd "@$view --grep -i SECOND \"*.glim\" >quoted-out 2>quoted-err"
(cd "$work" && "$root/scripts/wine-run" cmd /c wild.cmd </dev/null >/dev/null 2>&1)
wild=$?
(cd "$work" && "$root/scripts/wine-run" cmd /c quoted.cmd </dev/null >/dev/null 2>&1)
quoted=$?
view_exe --grep x "*.none"
none=$rc
why=""
if [ "$wild" != 0 ] || [ "$quoted" != 2 ] || [ "$none" != 2 ]; then
    why="exit statuses $wild, $quoted, $none; expected 0, 2, 2"
elif [ "$(sed 's/:[0-9]*:.*//' "$work/wild-out" | tr -d '\r' | tr '\n' ' ')" != "copy.glim shot.glim " ]; then
    why="not one row from each file, in order:$(sed 's/^/\n    /' "$work/wild-out")"
elif ! grep -q 'cannot open "\*.glim"' "$work/quoted-err"; then
    why="the quoted name was not taken as it stands: $(cat "$work/quoted-err")"
fi
verdict "glimview.exe --grep TEXT *.glim searches the matching files" "$why"

# The README's recipe, as it stands there, on a program that draws in
# colour: the first run makes the expected screen, the unchanged program
# gives 0 (its clock row left out), a changed cell gives 1 and is named.
awk '/^    @echo off/ {on = 1} on && !/^    / && !/^$/ {exit} on {sub(/^    /, ""); printf "%s\r\n", $0}' \
    "$root/README.md" >"$work/screentest.cmd"
# screentest UPDATE ARGUMENT: the recipe on drawprobe; sets rc.
screentest() {
    cmd_file run.cmd "@echo off" "set PATH=$(win "$bin");%PATH%" "set UPDATE=$1" \
        "call screentest.cmd drawprobe.exe $2" "exit /b %errorlevel%"
    (cd "$work" && "$root/scripts/wine-run" cmd /c run.cmd </dev/null >"$work/screentest-out" 2>&1)
    rc=$?
}
screentest 1 ""
made=$rc
screentest "" ""
same=$rc
why=""
if [ ! -s "$work/screentest.cmd" ]; then
    why="no batch file in the README"
elif [ "$made" != 0 ] || [ ! -s "$work/expected.glim" ]; then
    why="the first run ended with $made: $(tr -d '\r' <"$work/screentest-out" | tail -n 3)"
elif [ "$same" != 0 ]; then
    why="the unchanged program gave $same:$(tr -d '\r' <"$work/screen.diff" | sed 's/^/\n    /')"
elif ! (cd "$work" && "$glimview" --text expected.glim 2>/dev/null) | grep -q "^drawprobe: a screen to test"; then
    why="the expected screen does not hold the program's rows"
elif (cd "$work" && "$glimview" --diff --text expected.glim actual.glim >"$work/clock" 2>&1) ||
    ! grep -q "^+ *[0-9]*: Time:" "$work/clock"; then
    why="the clock row did not change between the runs, so leaving it out proves nothing"
fi
verdict "the README's screen test passes on an unchanged program, its clock left out" "$why"

screentest "" changed
why=""
if [ "$rc" != 1 ]; then
    why="exit status $rc, expected 1: $(tr -d '\r' <"$work/screentest-out" | tail -n 3)"
elif ! grep -q '^@@ -2,1 +2,1 @@' "$work/screen.diff" ||
    ! grep -q '^ *\^  column 10' "$work/screen.diff"; then
    why="row 2, column 10 not named:$(tr -d '\r' <"$work/screen.diff" | sed 's/^/\n    /')"
elif ! grep -q 'class="diff-character"' "$work/screen.html"; then
    why="no picture with the cell marked"
fi
verdict "the README's screen test fails on a changed cell, naming its row and column" "$why"

checks_summary
