#!/usr/bin/env bash
# The release package end to end: scripts/dist.sh makes the zip, which is checked
# and unpacked into a fresh folder. Given a test program and its arguments, it is
# run with KORVANE_DIST_DIR naming that folder, to start its KORVANE.EXE on E:;
# without one, the files are checked instead (imports, PE type, version), which
# needs no Windows program to run.
#   release_zip.sh I686_BUILD_DIR [TEST_PROGRAM ARGS...]
set -uo pipefail
build=$1
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

KORVANE_BUILD=$(dirname "$build") bash "$root/scripts/dist.sh" >"$build/dist-test.log" 2>&1 ||
    { tail -20 "$build/dist-test.log"; fail "scripts/dist.sh failed"; }
zip=$(dirname "$build")/dist/korvane-3.2.1-win32.zip
[ -f "$zip" ] || fail "no $zip"

unpacked=$(mktemp -d "$build/dist-unpacked.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
python3 - "$zip" "$unpacked" <<'PY' || exit 1
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad:
        sys.exit("FAIL: corrupt member %s" % bad)
    names = sorted(z.namelist())
    want = ["KELDR32.DLL", "KORVANE.EXE", "README.TXT", "ZELKOR.HLP", "ZELKOR.HTM"]
    if names != want:
        sys.exit("FAIL: the package holds %s, not %s" % (names, want))
    z.extractall(sys.argv[2])
    readme = z.read("README.TXT")
    if b"\r\n" not in readme or b"\n" in readme.replace(b"\r\n", b""):
        sys.exit("FAIL: README.TXT is not in CR LF lines")
    if b"charset=windows-1252" not in z.read("ZELKOR.HTM"):
        sys.exit("FAIL: ZELKOR.HTM does not declare Windows-1252")
print("package:", ", ".join("%s %d bytes" % (i.filename, i.file_size) for i in z.infolist()))
PY

if [ $# -gt 0 ]; then
    KORVANE_DIST_DIR=$unpacked "$root/scripts/bin/wine" "$@"
    code=$?
    [ $code = 77 ] && exit 77  # the host cannot start an i686 program
    [ $code = 0 ] || fail "the unpacked program did not run"
    exit 0
fi

# Nothing but system DLLs may be needed: the package carries no run-time DLLs.
# Both files are 32-bit, the EXE a GUI program, the DLL a DLL, each with version 3.2.1.0.
objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump)
for f in KORVANE.EXE KELDR32.DLL; do
    headers=$("$objdump" -p "$unpacked/$f")
    deps=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
    echo "$f imports: $(echo $deps)"
    for d in $deps; do
        case "$d" in
            libstdc++*|libgcc*|libwinpthread*|*mingw*) fail "$f needs $d, which the package lacks" ;;
        esac
    done
    grep -q 'file format pei-i386' <<<"$headers" || fail "$f is not a 32-bit x86 PE file"
    case $f in
        *.EXE) grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || fail "$f is not a Windows GUI program" ;;
        *.DLL) grep -qx $'\tDLL' <<<"$headers" || fail "$f is not marked as a DLL" ;;
    esac
    # The version resource's fixed part: signature FEEF04BD, then file and product versions.
    python3 - "$unpacked/$f" <<'PY' || fail "$f has no version resource 3,2,1,0"
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
fields = struct.unpack_from("<6I", data, at) if at >= 0 else ()
sys.exit(0 if fields[2:] == (0x00030002, 0x00010000, 0x00030002, 0x00010000) else 1)
PY
done
echo "KORVANE.EXE and KELDR32.DLL: 32-bit PE files, version 3,2,1,0"
