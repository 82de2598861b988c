#!/usr/bin/env bash
# install-wine.sh ZIP: the package used as a Windows user would use it,
# under Wine. ZIP (dist/glimpset-VERSION-win-x64.zip) is unzipped into a
# folder with blanks in its name, its SHA256SUMS is checked, and then
#   - standalone\glimhost.exe, started from another folder, finds the
#     packaged plugin and runs glim, glim /I and glim /R on a real console;
#   - the same from cmd, typed with the quoted path, from C:\;
#   - glimview.exe shows the saved file on the console;
#   - ver, glim /?? and glimview --version show the package's version.
# One line per check, then "N passed, N failed"; exit status 1 when any
# check failed.
set -uo pipefail
source "$(dirname "$0")/../wine/lib/checks.sh"

zip=$(realpath "${1:?usage: install-wine.sh ZIP}")
if [ ! -f "$zip" ]; then
    echo "FAIL no package $zip"
    exit 1
fi
version=$(basename "$zip" | sed -n 's/^glimpset-\(.*\)-win-x64\.zip$/\1/p')
export GLIM_WINE_TIMEOUT=${GLIM_WINE_TIMEOUT:-120}
work=$(mktemp -d /tmp/glimpset-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
home="$work/Program Files/Glimpset $version"
docs="$work/My Documents"
mkdir -p "$home" "$docs"
wine_run="$root/scripts/wine-run"

# Unzipped as Explorer would, then checked against the sums it carries.
why=""
if [ -z "$version" ]; then
    why="the name $(basename "$zip") names no version"
elif ! python3 -m zipfile -e "$zip" "$home" 2>"$work/unzip-err"; then
    why="it does not unzip: $(cat "$work/unzip-err")"
else
    listed=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
    expected="glimpset.dll glimview.exe README.txt SHA256SUMS standalone/ standalone/glimhost.exe"
    expected="$expected standalone/TakeCmd.dll standalone/glimpset.dll"
    if [ "$listed" != "$expected" ]; then
        why="it holds: $listed"
    elif ! (cd "$home" && sha256sum --quiet -c SHA256SUMS >"$work/sums" 2>&1); then
        why="SHA256SUMS does not match: $(cat "$work/sums")"
    elif [ "$(wc -l <"$home/SHA256SUMS")" != 6 ]; then
        why="SHA256SUMS does not list the six other files"
    fi
fi
verdict "the package unzips into the files it names, matching its SHA256SUMS" "$why"

why=""
readme="$home/README.txt"
if grep -q $'[^\r]$' "$readme" || grep -q '^$' "$readme"; then
    why="a line does not end in CRLF"
elif ! head -n 1 "$readme" | grep -q $'^Glimpset\r$'; then
    why="it does not begin with the title"
elif ! tail -n 2 "$readme" | tr -d '\r' | grep -q "Glimpset $version, built from commit"; then
    why="its last lines do not name the version and the commit"
fi
verdict "README.txt is plain text with CRLF line ends, naming the build" "$why"

# From another folder, by its full path (through the blanks), on a real
# console: the lines written stay on the screen that glim saves; then, with
# the output in a file, glim /I describes the file and glim /R restores it.
host="$home/standalone/glimhost.exe"
(cd "$docs" && "$wine_run" "$host" -e "$(win "$docs/err")" "cls" \
    "echo Glimpset installed from the package" "glim /Q" </dev/null >/dev/null 2>&1)
rc=$?
saved=$(ls "$docs" | grep '^Glimpset .*\.glim$' | head -n 1)
(cd "$docs" && "$wine_run" "$host" -o "$(win "$docs/out")" -e "$(win "$docs/err2")" "ver" \
    "glim /I *.glim" "glim /R /Q \"$saved\"" "echo restored" "glim /??" </dev/null >/dev/null 2>&1)
rc2=$?
why=""
if [ "$rc" != 0 ] || [ -s "$docs/err" ]; then
    why="glim ended with $rc: $(cat "$docs/err" 2>/dev/null)"
elif [ -z "$saved" ]; then
    why="glim saved no file in the current directory"
elif [ "$rc2" != 0 ] || [ -s "$docs/err2" ]; then
    why="glim /I or /R ended with $rc2: $(cat "$docs/err2" 2>/dev/null)"
elif ! grep -qF "\"$(win "$docs/$saved")\" - Glimpset v1 save file" "$docs/out"; then
    why="glim /I does not describe the saved file"
elif ! grep -q '^restored' "$docs/out"; then
    why="glim /R did not come back"
fi
verdict "standalone glimhost finds the plugin from another folder: glim, /I and /R" "$why"

major_minor_build=${version%.*}
why=""
if ! grep -qxF "glimhost $version - Glimpset $major_minor_build"$'\r' "$docs/out" 2>/dev/null; then
    why="ver says: $(head -n 1 "$docs/out" 2>/dev/null)"
elif ! grep -qF $'\t\t\t\t'"Glimpset  $version (x64)" "$docs/out"; then
    why="glim /?? does not end with the version line"
fi
verdict "ver and glim /?? show the package's version" "$why"

# From cmd in C:\, with the quoted path typed as a user would (a batch file
# is what cmd is given, so that its quotes are its own).
printf '@echo off\r\ncd /d C:\\\r\n"%s" -o "%s" "echo %%%%_cwds" "glim /I ""%s\\*.glim"""\r\nexit /b %%ERRORLEVEL%%\r\n' \
    "$(win "$host")" "$(win "$docs/cmd-out")" "$(win "$docs")" >"$work/try.cmd"
(cd "$work" && "$wine_run" cmd /c "$(win "$work/try.cmd")" </dev/null >"$work/cmd-console" 2>&1)
rc=$?
why=""
if [ "$rc" != 0 ]; then
    why="status $rc: $(tr -d '\r' <"$work/cmd-console" | grep -v '^$' | head -n 3)"
elif ! head -n 1 "$docs/cmd-out" | grep -qx $'C:\\\\\r'; then
    why="the current directory was $(head -n 1 "$docs/cmd-out")"
elif ! grep -qF "\"$(win "$docs/$saved")\" - Glimpset v1 save file" "$docs/cmd-out"; then
    why="glim /I does not describe the saved file"
fi
verdict "from cmd in C:\\, the quoted path runs glimhost with the plugin" "$why"

# glimview.exe on the saved file, on the console, and its version.
(cd "$docs" && "$wine_run" "$home/glimview.exe" --window "$saved" </dev/null \
    >"$work/view-console" 2>&1)
rc=$?
why=""
if [ "$rc" != 0 ]; then
    why="status $rc"
elif ! grep -q "Glimpset installed from the package" "$work/view-console"; then
    why="the console does not show the saved lines"
fi
verdict "glimview.exe shows the saved file" "$why"

(cd "$docs" && "$wine_run" "$home/glimview.exe" --version </dev/null >"$work/view-version" 2>&1)
rc=$?
why=""
if [ "$rc" != 0 ] || ! grep -qx "glimview $version" "$work/view-version"; then
    why="status $rc: $(head -n 1 "$work/view-version")"
fi
verdict "glimview --version shows the package's version" "$why"

checks_summary
