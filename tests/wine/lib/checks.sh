# checks.sh: helpers shared by the check scripts that run glimhost.exe and
# glimview.exe under Wine. Sourced, never run by itself. Defines root (the
# top of the tree) on sourcing; checks_setup defines the rest.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)

# checks_setup TEMPLATE [BIN]: bin (the folder of the Windows binaries, by
# default build/windows/bin), work (a new folder from the mktemp TEMPLATE,
# removed when the script ends), the counts passed and failed, and a
# timeout of 120 seconds for each program under Wine unless one is set.
checks_setup() {
    bin=$(cd "${2:-$root/build/windows/bin}" && pwd)
    export GLIM_WINE_TIMEOUT=${GLIM_WINE_TIMEOUT:-120}
    work=$(mktemp -d "$1")
    trap 'rm -rf "$work"' EXIT
    passed=0
    failed=0
}

# The Windows name of a Unix path (Wine's drive Z: is the Unix root).
win() {
    local p=$1
    echo "Z:${p//\//\\}"
}

# run [ARGS...]: glimhost in $work, standard input from /dev/null, its
# standard output and error in $work/out and $work/err; sets rc.
run() {
    rm -f "$work/out" "$work/err"
    (cd "$work" && "$root/scripts/wine-run" "$bin/glimhost.exe" -o "$(win "$work/out")" \
        -e "$(win "$work/err")" "$@" </dev/null >/dev/null 2>&1)
    rc=$?
}

# verdict NAME WHY: one line for the check NAME, passed when WHY is empty,
# failed for the reason WHY otherwise; counts it.
verdict() {
    if [ -z "$2" ]; then
        echo "PASS $1"
        passed=$((passed + 1))
    else
        echo "FAIL $1: $2"
        failed=$((failed + 1))
    fi
}

# checks_summary: the counts; the status is 1 when any check failed.
checks_summary() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

# wine_idle: waits (a minute at most) until the Wine server of the prefix
# has ended, as it does by itself a few seconds after its last program, so
# that the next program starts a server of its own. The server opens files
# for its programs with its own rights: a program run with fewer rights
# must have a server of its own.
wine_idle() {
    local server
    server="$(dirname "${GLIM_WINE:-/usr/lib/wine/wine64}")/wineserver"
    [ -x "$server" ] || return 0
    WINEPREFIX=${GLIM_WINEPREFIX:-/tmp/glimpset-wine} timeout 60 "$server" -w
}
