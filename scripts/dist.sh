#!/usr/bin/env bash
# Builds the release package build/dist/korvane-3.2.1-win32.zip from the
# shipping (i686) build: KORVANE.EXE, KELDR32.DLL, ZELKOR.HLP, ZELKOR.HTM, README.TXT.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
KV_ARCHES=i686
kv_install_deps
mkdir -p "$KV_BUILD"
kv_build
out=$KV_BUILD/dist
rm -rf "$out/korvane-3.2.1"
mkdir -p "$out/korvane-3.2.1"
for f in KORVANE.EXE KELDR32.DLL ZELKOR.HLP ZELKOR.HTM; do
    [ -f "$KV_BUILD/i686/$f" ] || { kv_log "missing $KV_BUILD/i686/$f"; exit 1; }
    cp "$KV_BUILD/i686/$f" "$out/korvane-3.2.1/"
done
# Windows users read it in Notepad: CR LF line ends.
sed 's/$/\r/' "$KV_ROOT/res/readme-windows.txt" >"$out/korvane-3.2.1/README.TXT"
python3 - "$out" <<'PY'
import os, sys, zipfile
out = sys.argv[1]
src = os.path.join(out, "korvane-3.2.1")
with zipfile.ZipFile(os.path.join(out, "korvane-3.2.1-win32.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for name in sorted(os.listdir(src)):
        z.write(os.path.join(src, name), name)
PY
echo "$out/korvane-3.2.1-win32.zip"
