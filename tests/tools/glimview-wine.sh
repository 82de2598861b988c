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
#   - glimview.exe shows the file in colour on the Wine console.
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

checks_summary
