#!/usr/bin/env bash
# The client cost benchmark: one progress step, one path text, one cache-served
# read through the CD-ROM drive model and one plain read, each timed under Wine
# side by side in one run (bench/client_bench), against their targets.
# usage: scripts/bench-client.sh [PRESET] [--compare] [--trace]
#   PRESET     drive model preset (default 52x; the cache-hit time is the same in every preset)
#   --compare  first as Wine and the machine come, then with each timing set-up
#              measure added in turn (polling processors, no theme, Wine on one
#              processor), and a table of the three figures per step; polling is
#              taken off again where the machine has no cpuidle driver, as the
#              commands leave it off there
#   --trace    then once more with the wineserver's request log and Wine's
#              window-surface flushes: what one progress step asks of each
# KORVANE_ARCHES picks the builds (default i686; x86_64 where the host runs no 32-bit programs).
set -uo pipefail
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh"
KV_ARCHES=${KORVANE_ARCHES:-$KV_MAIN_ARCH}
preset=52x compare=0 trace=0
for arg in "$@"; do
    case "$arg" in
        --compare) compare=1 ;;
        --trace) trace=1 ;;
        -*) kv_log "unknown option $arg (known: --compare, --trace)"; exit 2 ;;
        *) preset=$arg ;;
    esac
done
export KORVANE_MODEL_PRESET=$preset
kv_install_deps || exit 1
mkdir -p "$KV_BUILD"
kv_build || exit 1
# The floor under every figure below: a wineserver request and a read through
# the drive model are each a round trip to another process.
echo "== this host, one message to another process and back (tools/native/ipc)"
"$KV_BUILD/native/roundtrip"
trap kv_stop_all EXIT
trap 'exit 130' INT TERM HUP
kv_pin_for_timing
kv_start_display
kv_make_prefix
for step in 10-discs 15-drivemodel; do
    . "$KV_ROOT/scripts/setup.d/$step.sh" || { kv_log "set-up step failed: $step"; exit 1; }
done
[ -n "${KORVANE_MODEL_LOG:-}" ] || { kv_log "the drive model could not be mounted here"; exit 1; }
# The cache on for drive M:, as the cache device writes its flags.
printf '00000004\n' >"${KORVANE_FLAGS_DIR:-$KV_BUILD/cacheflags}/KELDR-M.flags"
largest=$(cd "$KV_MODEL_SRC" && find . -type f -printf '%s %P\n' | sort -n | tail -1 | cut -d' ' -f2-)
# The largest file through the model and as a plain file.
files=("M:\\${largest//\//\\}" "Z:${KV_MODEL_SRC//\//\\}\\${largest//\//\\}")
status=0
summary=""

# One client_bench run per architecture; "$1" names the set-up in the summary.
bench() {
    local arch out
    for arch in $KV_ARCHES; do
        echo "== $arch, drive model preset $KORVANE_MODEL_PRESET, file $largest${1:+, $1}"
        out=$(wine "$KV_BUILD/$arch/client_bench.exe" "${files[@]}" "Z:${KORVANE_MODEL_LOG//\//\\}" </dev/null 2>&1 |
            tr -d '\r') || status=1
        printf '%s\n' "$out"
        summary+=$(printf '%-34s %-7s %s' "${1:-this set-up}" "$arch" \
            "$(for what in 'progress step' 'path text' 'cache-served'; do
                   printf '%10s ' "$(printf '%s\n' "$out" | sed -n "s/^$what[^:]*: *\([0-9.]*\) us.*/\1/p")"; done)")$'\n'
    done
}

if [ "$compare" = 1 ]; then
    kv_pin_for_timing off
    kv_wine_theme 1
    kv_restart_wineserver
    bench "as Wine and the machine come"
    kv_keep_cpus_awake force
    bench "+ processors polling"
    kv_wine_theme 0
    if kv_cpus_idle_states; then
        bench "+ no theme"
    else
        kv_let_cpus_halt
        bench "+ no theme, no polling (no cpuidle)"
    fi
    kv_pin_for_timing
    kv_restart_wineserver
    bench "+ Wine on one processor"
    echo "== median microseconds a call (targets: step 100, text 50, read 2x the model's hit)"
    printf '%-34s %-7s %10s %10s %10s\n%s' "set-up" "arch" "step" "text" "read" "$summary"
else
    kv_keep_cpus_awake
    kv_restart_wineserver
    bench ""
fi

if [ "$trace" = 1 ]; then
    kv_keep_cpus_awake
    requests=$KV_BUILD/bench-client-requests.log flushes=$KV_BUILD/bench-client-flushes.log
    wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1
    wineserver -f -d1 </dev/null >/dev/null 2>"$requests" &
    sleep 1
    for arch in ${KV_ARCHES%% *}; do
        echo "== $arch traced (wineserver -d1: $requests; WINEDEBUG=+bitblt: $flushes)"
        WINEDEBUG=+bitblt wine "$KV_BUILD/$arch/client_bench.exe" "${files[@]}" </dev/null 2>"$flushes" |
            tr -d '\r' | grep '^progress step'
    done
    wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1
    python3 "$KV_ROOT/bench/client_trace.py" "$requests" "$flushes" || status=1
fi
exit $status
