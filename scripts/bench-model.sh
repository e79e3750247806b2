#!/usr/bin/env bash
# The drive model benchmark: the sample disc as drive M: through the CD-ROM drive
# model at a preset (default 52x), one two-pass KORVANE.EXE run driven by
# bench/modelrun.exe, and per section the program's time, the model's true time
# and their ratio, then the speed-up of the with-cache pass.
# usage: scripts/bench-model.sh [PRESET]   (presets: tools/native/cdmodel/presets.txt)
# KORVANE_ARCHES picks the builds (default i686; x86_64 where the host runs no 32-bit programs). Screenshot: build/screens/bench-model-ARCH/.
set -uo pipefail
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh"
KV_ARCHES=${KORVANE_ARCHES:-$KV_MAIN_ARCH}
export KORVANE_MODEL_PRESET=${1:-52x}
grep -qx "\[$KORVANE_MODEL_PRESET\]" "$KV_ROOT/tools/native/cdmodel/presets.txt" ||
    { kv_log "no preset $KORVANE_MODEL_PRESET in tools/native/cdmodel/presets.txt"; exit 2; }
kv_install_deps || exit 1
mkdir -p "$KV_BUILD" "$KV_SCREENS"
kv_build || exit 1
trap kv_stop_all EXIT
trap 'exit 130' INT TERM HUP
kv_pin_for_timing
kv_start_display
kv_keep_cpus_awake
kv_make_prefix
for step in 10-discs 15-drivemodel 20-driver; do
    . "$KV_ROOT/scripts/setup.d/$step.sh" || { kv_log "set-up step failed: $step"; exit 1; }
done
[ -n "${KORVANE_MODEL_LOG:-}" ] || { kv_log "the drive model could not be mounted here"; exit 1; }
kv_restart_wineserver
status=0
for arch in $KV_ARCHES; do
    echo "== $arch, drive model preset $KORVANE_MODEL_PRESET"
    wine "$KV_BUILD/$arch/modelrun.exe" "$KV_BUILD/$arch/KORVANE.EXE" M "$KORVANE_MODEL_LOG" \
        "$KV_SCREENS/bench-model-$arch" </dev/null 2>&1 | tr -d '\r' || status=1
done
exit $status
