#!/usr/bin/env bash
# The run command: installs what it needs, builds, prepares a Wine prefix with the
# sample disc as CD-ROM drive D: (and any optical disc mounted on this machine as
# a further drive), and starts KORVANE.EXE: on $DISPLAY when there is one,
# otherwise in a private Xvfb display, where the UI driver runs drive D: and
# prints the results and the path of a screenshot.
# --drive-model=PRESET (default 52x; presets in tools/native/cdmodel/presets.txt)
# serves the sample disc as D: through the CD-ROM drive model, so that its times
# are a drive's and the cache device's second pass differs; --drive-model=off
# keeps D: the plain folder (no FUSE here: the same, with a message).
# --dpi=N (default 96) runs the program at N dots per inch (120, 144, 192 for a
# high-resolution screen): the Wine prefix's LogPixels, put back to 96 after.
# KORVANE_BUILD: build folder (default build/); KORVANE_ARCHES: the build to
# run (default i686, the shipping files; x86_64 where the host runs no 32-bit
# programs); KORVANE_RUN_DRIVE: the drive the headless run measures (default D);
# KORVANE_MOUNTS: the mount table to look for optical discs in (/proc/mounts).
set -uo pipefail
case "${1:-}" in -h|--help)
    cat <<USAGE
usage: bash scripts/run.sh [--drive-model=PRESET|off] [--dpi=N]
  Installs what is missing, builds, and runs KORVANE.EXE with the sample disc as drive D:.
  With \$DISPLAY: the program on that display. Without: a two-pass run driven in Xvfb,
  printing the results table, the copied text, a screenshot and the printed page.
  --drive-model=PRESET  D: timed as a drive: $(sed -n 's/^\[\(.*\)\]$/\1/p' "$(dirname "$0")/../tools/native/cdmodel/presets.txt" | tr '\n' ' ')(default 52x)
  --drive-model=off     D: is the plain folder (times near 0)
  --dpi=N               the program at N dots per inch: 120, 144, 192 for a high-resolution
                        screen (default 96; the prefix is put back to 96 after)
  KORVANE_BUILD=DIR     build trees, Wine prefix and discs (default build/)
USAGE
    exit 0 ;;
esac
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh"
kv_say_host
KV_ARCHES=${KORVANE_ARCHES:-$KV_MAIN_ARCH}
KV_RUN_ARCH=${KV_ARCHES%% *}
if ! kv_runs_here "$KV_RUN_ARCH"; then
    kv_log "the $KV_RUN_ARCH build cannot run on this host; KORVANE_ARCHES=x86_64 runs the 64-bit one"
    exit 2
fi
[ "$KV_RUN_ARCH" = i686 ] || kv_log "running the $KV_RUN_ARCH build of KORVANE.EXE (the shipping i686 one needs a host that runs 32-bit programs)"
KV_RUN_DRIVE=${KORVANE_RUN_DRIVE:-D}
KV_DRIVE_MODEL=52x
KV_DPI=96
for arg in "$@"; do
    case "$arg" in
        --drive-model=*) KV_DRIVE_MODEL=${arg#--drive-model=} ;;
        --dpi=*) KV_DPI=${arg#--dpi=} ;;
        *) kv_log "unknown option $arg (known: --drive-model=off|PRESET, --dpi=N)"; exit 2 ;;
    esac
done
if ! [[ "$KV_DPI" =~ ^[0-9]+$ ]] || [ "$KV_DPI" -lt 72 ] || [ "$KV_DPI" -gt 480 ]; then
    kv_log "--dpi takes a resolution from 72 to 480 dots per inch, such as 96, 120, 144 or 192"
    exit 2
fi
if [ "$KV_DRIVE_MODEL" != off ] && ! grep -qx "\[$KV_DRIVE_MODEL\]" "$KV_ROOT/tools/native/cdmodel/presets.txt"; then
    kv_log "no drive model preset $KV_DRIVE_MODEL; known: off $(sed -n 's/^\[\(.*\)\]$/\1/p' "$KV_ROOT/tools/native/cdmodel/presets.txt" | tr '\n' ' ')"
    exit 2
fi

# The sample disc as D: through the drive model (cache flags KELDR-D.flags, as
# the cache device writes them), or the plain folder when FUSE cannot mount.
kv_model_drive_d() {
    local mnt=$KV_STATE/mnt/d log=$KV_STATE/drivemodel-d.csv
    KV_MODEL_LOG_D=""
    [ "$KV_DRIVE_MODEL" = off ] && return 0
    if kv_mount_drive_model "$KV_DRIVE_MODEL" "$KV_DISCS/sample" "$mnt" "$log" \
            "$KV_STATE/cacheflags/KELDR-D.flags"; then
        kv_map_cdrom d "$mnt"
        KV_MODEL_LOG_D=$log
        kv_log "drive D: is the sample disc through the drive model, preset $KV_DRIVE_MODEL (log $log)"
    else
        kv_log "drive D: is the plain sample folder: the drive model is not available, times will be near 0"
    fi
}

kv_install_deps || exit 1
mkdir -p "$KV_BUILD" "$KV_SCREENS"
kv_log "building ($KV_ARCHES) in $KV_BUILD"
kv_build || exit 1

# The prefix's resolution goes back to 96 before Wine is stopped, however the command ends.
trap 'kv_set_dpi 96; kv_stop_all' EXIT
trap 'exit 130' INT TERM HUP
headless=1
if [ -n "${DISPLAY:-}" ]; then
    export KORVANE_USE_DISPLAY=1
    headless=0
fi
kv_pin_for_timing
kv_start_display
kv_keep_cpus_awake
if [ -f "$WINEPREFIX/system.reg" ]; then
    kv_log "reusing the Wine prefix $WINEPREFIX"
    kv_start_wineserver
    kv_prefix_settings
else
    kv_log "making the Wine prefix $WINEPREFIX"
    kv_make_prefix
fi
kv_run_setup_steps || exit 1
# Help opens ZELKOR.HTM in the browser (Wine says Windows 7). A prefix made
# without mshtml has HKCR\htmlfile (winebrowser, the Linux browser) but no
# HKCR\.htm, and ShellExecute would find no program (31) for the page.
kv_reg 'HKCR\.htm' /ve /d htmlfile
kv_reg 'HKCR\.htm' /ve /d htmlfile /reg:64
kv_model_drive_d
kv_map_mounted_discs
kv_restart_wineserver
export KORVANE_SCREENS=$KV_SCREENS KORVANE_DISCS=$KV_DISCS
kv_set_dpi "$KV_DPI"
[ "$KV_DPI" = 96 ] || kv_log "the program runs at $KV_DPI dpi"

exe=$KV_BUILD/$KV_RUN_ARCH/KORVANE.EXE
if [ "$headless" = 0 ]; then
    kv_log "starting KORVANE.EXE on $DISPLAY; the command ends when the program does"
    wine "$exe" </dev/null >/dev/null 2>&1
    status=$?
    # Print writes each job over the last one: the page the program printed last, if any.
    if [ -s "$KORVANE_PRINT_FILE" ]; then
        kv_log "the last page printed (PostScript): $KORVANE_PRINT_FILE"
        kv_print_pages
    else
        kv_log "nothing was printed; Print writes its page to $KORVANE_PRINT_FILE"
    fi
    exit $status
fi
kv_log "no display: running drive $KV_RUN_DRIVE: with the UI driver in Xvfb"
# The rows with their transfer rates and access times, then Print and its page.
if [ -n "$KV_MODEL_LOG_D" ] && [ "${KV_RUN_DRIVE^^}" = D ]; then
    # Under each row, the model's true time for the same requests.
    wine "$KV_BUILD/$KV_RUN_ARCH/modelrun.exe" "$exe" D "$KV_MODEL_LOG_D" "$KV_SCREENS/run" "$KORVANE_PRINT_FILE" </dev/null
else
    wine "$KV_BUILD/$KV_RUN_ARCH/uidriver.exe" demo "$exe" "$KV_SCREENS/run" "$KV_RUN_DRIVE" "$KORVANE_PRINT_FILE" </dev/null
fi
status=$?
kv_print_pages || status=1
exit $status
