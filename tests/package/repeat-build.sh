#!/usr/bin/env bash
# repeat-build.sh OUT: packages the current commit twice, from two fresh
# clones in two folders of different names and depths (one with blanks),
# and compares the two zips and their SHA256SUMS byte for byte. The cost is
# the compiling, twice (configuring takes about a second and a half; two
# builds side by side take as long as one after the other). The first
# build's dist/ is left as OUT/dist. On a difference, names the entries that
# differ. Uncommitted changes are not in the clones: this packages the
# commit.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(realpath "${1:?usage: repeat-build.sh OUT}")

commit=$(git -C "$root" rev-parse --verify HEAD) || exit 1
if [ -n "$(git -C "$root" status --porcelain)" ]; then
    echo "repeat-build: the tree has uncommitted changes; this packages commit $commit without them"
fi

one="$out/one/glimpset"
two="$out/the second build/sources of glimpset"
for dir in "$one" "$two"; do
    if ! { git clone -q --no-checkout "$root" "$dir" && git -C "$dir" checkout -q --detach "$commit"; }; then
        echo "repeat-build: cannot clone commit $commit into $dir" >&2
        exit 1
    fi
done

start=$SECONDS
status=0
(cd "$one" && nice scripts/package >"$out/one.log" 2>&1) || status=1
(cd "$two" && nice scripts/package >"$out/two.log" 2>&1) || status=1
echo "repeat-build: two package builds took $((SECONDS - start)) s"
if [ "$status" != 0 ]; then
    for log in "$out/one.log" "$out/two.log"; do
        echo "-- the end of $log"
        tail -n 30 "$log"
    done
    echo "FAIL scripts/package failed"
    exit 1
fi
tail -n 3 "$out/one.log"

zip=$(tail -n 1 "$out/one.log")
if [ ! -f "$one/$zip" ] || [ ! -f "$two/$zip" ]; then
    echo "FAIL both builds write $zip"
    exit 1
fi
cp -r "$one/dist" "$out/dist"

if cmp -s "$one/$zip" "$two/$zip" && cmp -s "$one/dist/SHA256SUMS" "$two/dist/SHA256SUMS"; then
    echo "PASS two builds in two folders give the same $(basename "$zip"), byte for byte"
    exit 0
fi
echo "FAIL two builds in two folders give different zips; the entries that differ:"
python3 - "$one/$zip" "$two/$zip" <<'PY'
import sys, zipfile

a, b = (zipfile.ZipFile(name) for name in sys.argv[1:3])
names = list(dict.fromkeys(a.namelist() + b.namelist()))
for name in names:
    if name not in a.namelist() or name not in b.namelist():
        print("    %s: only in one" % name)
        continue
    x, y = a.getinfo(name), b.getinfo(name)
    if (x.date_time, x.external_attr) != (y.date_time, y.external_attr):
        print("    %s: time or permissions" % name)
    data_x, data_y = a.read(name), b.read(name)
    if data_x != data_y:
        at = [i for i in range(min(len(data_x), len(data_y))) if data_x[i] != data_y[i]]
        print("    %s: %d bytes differ%s" % (name, len(at), ", the first at %d" % at[0] if at else ""))
PY
exit 1
