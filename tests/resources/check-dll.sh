#!/usr/bin/env bash
# check-dll.sh BIN_DIR [VERSION]: checks the built glimpset.dll in BIN_DIR:
# its export table holds exactly the seven names the host looks up, it
# imports only from the Windows system libraries and the host's TakeCmd.dll,
# and its resources hold the sound WAVE/CAMERA4 (a RIFF WAVE) and a version
# record for VERSION (by default the project version of the build that
# BIN_DIR belongs to, from its CMakeCache.txt); and its headers carry no
# time stamp and the file's true checksum, as two builds of one source must
# give the same bytes. Prints one line a check and a count; fails when any
# fails.
set -uo pipefail

bin=${1:-build/windows/bin}
dll="$bin/glimpset.dll"
version=${2:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$bin/../CMakeCache.txt" 2>/dev/null)}
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

passed=0
failed=0
check() {
    local name=$1 ok=$2 detail=${3:-}
    if [ "$ok" = 1 ]; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name${detail:+: $detail}"
        failed=$((failed + 1))
    fi
}

if [ ! -f "$dll" ]; then
    check "glimpset.dll exists" 0 "$dll not found"
    echo "$passed passed, $failed failed"
    exit 1
fi
check "glimpset.dll exists" 1

dump=$("$objdump" -p "$dll" 2>&1)

# Exports: the names listed under the [Ordinal/Name Pointer] table.
exports=$(printf '%s\n' "$dump" |
    awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
         on && /^[[:space:]]*\[/ {print $NF; next}
         on {on = 0}' | sort | tr '\n' ' ')
expected=$(printf '%s\n' GetPluginInfo InitializePlugin ShutdownPlugin Help Usage glim _lastglim |
    sort | tr '\n' ' ')
ok=0
[ "$exports" = "$expected" ] && ok=1
check "exports are exactly the seven entry points" $ok "got: $exports"

# Imports: every DLL named must be one of the allowed ones.
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print $3}')
bad=""
for name in $imports; do
    case "${name,,}" in
    kernel32.dll | user32.dll | advapi32.dll | winmm.dll | msvcrt.dll | takecmd.dll) ;;
    api-ms-win-crt-*) ;;
    *) bad="$bad $name" ;;
    esac
done
ok=0
[ -n "$imports" ] && [ -z "$bad" ] && ok=1
check "imports only from system libraries and TakeCmd.dll" $ok "unexpected:${bad:- none found}"

ok=0
printf '%s\n' "$imports" | grep -qix 'takecmd.dll' && ok=1
check "imports the host services from TakeCmd.dll" $ok

# Resources: parsed from the file itself.
resources=$(python3 - "$dll" <<'PY'
import struct, sys

data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections = struct.unpack_from("<H", data, pe + 6)[0]
optional_size = struct.unpack_from("<H", data, pe + 20)[0]
optional = pe + 24
magic = struct.unpack_from("<H", data, optional)[0]
directories = optional + (112 if magic == 0x20B else 96)
rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
table = optional + optional_size
spans = []
for i in range(sections):
    at = table + 40 * i
    vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, at + 8)
    spans.append((va, max(vsize, rawsize), raw))

def offset(rva):
    for va, size, raw in spans:
        if va <= rva < va + size:
            return raw + rva - va
    raise ValueError("rva outside every section")

# The time stamps of the file header and of the export directory.
exports_rva = struct.unpack_from("<I", data, directories)[0]
stamps = struct.unpack_from("<I", data, pe + 8)[0]
if exports_rva:
    stamps |= struct.unpack_from("<I", data, offset(exports_rva) + 4)[0]
print("stamp %d" % stamps)

# The image checksum: the file's 16-bit words summed with their carries
# folded back in, the checksum field itself counted as zero, plus the
# file's length.
at = optional + 64
stored = struct.unpack_from("<I", data, at)[0]
image = data[:at] + bytes(4) + data[at + 4:] + bytes(len(data) % 2)
total = 0
for (word,) in struct.iter_unpack("<H", image):
    total += word
    total = (total & 0xFFFF) + (total >> 16)
computed = ((total & 0xFFFF) + (total >> 16) + len(data)) & 0xFFFFFFFF
print("checksum %s" % ("true" if stored == computed else "%08X-not-%08X" % (stored, computed)))

if rsrc_rva == 0:
    print("none")
    sys.exit(0)
base = offset(rsrc_rva)

def name_of(field):
    if field & 0x80000000:
        at = base + (field & 0x7FFFFFFF)
        length = struct.unpack_from("<H", data, at)[0]
        return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
    return "#%d" % field

def entries(at):
    named, numbered = struct.unpack_from("<HH", data, base + at + 12)
    for i in range(named + numbered):
        field, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
        yield name_of(field), target

def leaves(target):
    if target & 0x80000000:
        for _, inner in entries(target & 0x7FFFFFFF):
            yield from leaves(inner)
    else:
        rva, size = struct.unpack_from("<II", data, base + target)
        yield data[offset(rva):offset(rva) + size]

for kind, names in entries(0):
    for name, target in entries(names & 0x7FFFFFFF):
        for blob in leaves(target):
            if kind == "WAVE" and name == "CAMERA4":
                ok = blob[0:4] == b"RIFF" and blob[8:12] == b"WAVE"
                print("wave %s %d" % ("riff" if ok else "other", len(blob)))
            elif kind == "#16":
                at = blob.find(struct.pack("<I", 0xFEEF04BD))
                if at < 0:
                    print("version none")
                    continue
                ms, ls = struct.unpack_from("<II", blob, at + 8)
                pms, pls = struct.unpack_from("<II", blob, at + 16)
                print("version %d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
                print("product %d.%d.%d.%d" % (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF))
                text = "FileVersion\0".encode("utf-16-le")
                at = blob.find(text)
                if at >= 0:
                    at += len(text)
                    at += (-at) % 4
                    end = blob.find(b"\0\0", at)
                    while end >= 0 and (end - at) % 2:
                        end = blob.find(b"\0\0", end + 1)
                    print("filetext %s" % blob[at:end].decode("utf-16-le"))
PY
)

ok=0
printf '%s\n' "$resources" | grep -q '^wave riff ' && ok=1
check "resource WAVE CAMERA4 holds a RIFF WAVE sound" $ok "$(printf '%s' "$resources" | tr '\n' ';')"

size=$(printf '%s\n' "$resources" | awk '$1 == "wave" {print $3}')
ok=0
[ -n "$size" ] && [ "$size" -gt 1000 ] && [ "$size" -lt 20480 ] && ok=1
check "the sound is between 1 KB and 20 KB" $ok "size ${size:-unknown}"

# The version record against the project version (the dots are escaped for
# grep; an unknown version fails every line).
pattern=${version//./\\.}
for line in "version:file version" "product:product version" "filetext:FileVersion text"; do
    ok=0
    [ -n "$version" ] && printf '%s\n' "$resources" | grep -qx "${line%%:*} $pattern" && ok=1
    check "version record: ${line#*:} ${version:-(project version unknown)}" $ok
done

ok=0
printf '%s\n' "$resources" | grep -qx 'stamp 0' && ok=1
check "no time stamp in the headers" $ok

ok=0
printf '%s\n' "$resources" | grep -qx 'checksum true' && ok=1
check "the header's checksum is that of the file" $ok \
    "$(printf '%s\n' "$resources" | sed -n 's/^checksum //p')"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
