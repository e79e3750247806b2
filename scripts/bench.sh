#!/usr/bin/env bash
# The timing benchmark: builds, then runs bench/timing_bench under Wine in a
# private display: each timed section against its floor (the same reads and
# window updates in a bare loop) and a last line on the targets. KORVANE_ARCHES
# picks the builds.
set -uo pipefail
. "$(dirname "$0")/lib.sh"
kv_install_deps || exit 1
mkdir -p "$KV_BUILD"
kv_build || exit 1
trap kv_stop_all EXIT
kv_start_display
kv_keep_cpus_awake
[ -d "$WINEPREFIX/drive_c" ] || kv_make_prefix
kv_start_wineserver
for arch in $KV_ARCHES; do
    kv_runs_here "$arch" || { echo "== $arch: skipped, this host runs no 32-bit programs"; continue; }
    echo "== $arch"
    wine "$KV_BUILD/$arch/timing_bench.exe" </dev/null 2>/dev/null | tr -d '\r'
done
