#!/usr/bin/env bash
# glimview-wine.sh [BIN] [GLIMVIEW]: glimview on a file from a real save.
# BIN is the folder of the Windows binaries (glimhost.exe, TakeCmd.dll,
# glimpset.dll, glimview.exe; default build/windows/bin), GLIMVIEW the Linux
# glimview (default build/linux/bin/glimview). Under Wine, on a real
# console, glimhost clears the screen, writes known lines and saves the
# screen with glim; then
#   - the Linux glimview shows the file as text, with the known lines first;
#   - glimview.exe under Wine makes the same page and the same text as the
#     Linux glimview (its own file reading, writing and redirected output);
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

# glimview.exe makes the same page and the same text.
(cd "$work" && "$root/scripts/wine-run" "$bin/glimview.exe" --html page-windows.html shot.glim \
    </dev/null >/dev/null 2>&1)
rc=$?
(cd "$work" && "$glimview" --html page-linux.html shot.glim >/dev/null 2>&1)
why=""
if [ "$rc" != 0 ]; then
    why="glimview.exe ended with $rc"
elif ! cmp -s "$work/page-windows.html" "$work/page-linux.html"; then
    why="the pages differ"
fi
verdict "glimview.exe makes the page the Linux glimview makes" "$why"

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

(cd "$work" && "$root/scripts/wine-run" "$bin/glimview.exe" missing.glim </dev/null \
    >/dev/null 2>&1)
rc=$?
why=""
[ "$rc" = 2 ] || why="exit status $rc, expected 2"
verdict "glimview.exe fails with 2 for a missing file" "$why"

checks_summary
