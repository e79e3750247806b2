#!/usr/bin/env bash
# The release package end to end: scripts/dist.sh makes the zip, which is unpacked
# into a fresh folder, checked, and its KORVANE.EXE started from there on E:.
#   dist_test.sh I686_BUILD_DIR E2E_HARDENING_EXE
set -uo pipefail
build=$1 tests=$2
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
    want = ["KELDR32.DLL", "KORVANE.EXE", "README.TXT", "ZELKOR.HLP"]
    if names != want:
        sys.exit("FAIL: the package holds %s, not %s" % (names, want))
    z.extractall(sys.argv[2])
    readme = z.read("README.TXT")
    if b"\r\n" not in readme or b"\n" in readme.replace(b"\r\n", b""):
        sys.exit("FAIL: README.TXT is not in CR LF lines")
print("package:", ", ".join("%s %d bytes" % (i.filename, i.file_size) for i in z.infolist()))
PY

# Nothing but system DLLs may be needed: the package carries no run-time DLLs.
objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump)
for f in KORVANE.EXE KELDR32.DLL; do
    deps=$("$objdump" -p "$unpacked/$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    echo "$f imports: $(echo $deps)"
    for d in $deps; do
        case "$d" in
            libstdc++*|libgcc*|libwinpthread*|*mingw*) fail "$f needs $d, which the package lacks" ;;
        esac
    done
done

KORVANE_DIST_DIR=$unpacked wine "$tests" --gtest_filter='Dist.*' || fail "the unpacked program did not run"
