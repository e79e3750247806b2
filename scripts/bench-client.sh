#!/usr/bin/env bash
# The client cost benchmark: one progress step, one path text, one cache-served
# read through the CD-ROM drive model and one plain read, each timed under Wine
# side by side in one run (bench/client_bench), against their targets.
# usage: scripts/bench-client.sh [PRESET]   (default 52x; the cache-hit time is the same in every preset)
# KORVANE_ARCHES picks the builds (default i686).
set -uo pipefail
KORVANE_ARCHES=${KORVANE_ARCHES:-i686}
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh"
export KORVANE_MODEL_PRESET=${1:-52x}
kv_install_deps || exit 1
mkdir -p "$KV_BUILD"
kv_build || exit 1
trap kv_stop_all EXIT
trap 'exit 130' INT TERM HUP
kv_pin_for_timing
kv_start_display
kv_keep_cpus_awake
kv_make_prefix
for step in 10-discs 15-drivemodel; do
    . "$KV_ROOT/scripts/setup.d/$step.sh" || { kv_log "set-up step failed: $step"; exit 1; }
done
[ -n "${KORVANE_MODEL_LOG:-}" ] || { kv_log "the drive model could not be mounted here"; exit 1; }
# The cache on for drive M:, as the cache device writes its flags.
printf '00000004\n' >"${KORVANE_FLAGS_DIR:-$KV_BUILD/cacheflags}/KELDR-M.flags"
kv_restart_wineserver
largest=$(cd "$KV_MODEL_SRC" && find . -type f -printf '%s %P\n' | sort -n | tail -1 | cut -d' ' -f2-)
status=0
for arch in $KV_ARCHES; do
    echo "== $arch, drive model preset $KORVANE_MODEL_PRESET, file $largest"
    wine "$KV_BUILD/$arch/client_bench.exe" "M:\\${largest//\//\\}" "Z:${KV_MODEL_SRC//\//\\}\\${largest//\//\\}" \
        "Z:${KORVANE_MODEL_LOG//\//\\}" </dev/null 2>&1 | tr -d '\r' || status=1
done
exit $status
