# Shared shell functions of the run, test and packaging commands. Source it.
# KORVANE_BUILD (default build/) holds the build trees, the Wine prefix and the
# discs; a second checkout or a helper may point it elsewhere.

KV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KV_BUILD=${KORVANE_BUILD:-$KV_ROOT/build}
case "$KV_BUILD" in /*) ;; *) KV_BUILD=$KV_ROOT/$KV_BUILD ;; esac
KV_ARCHES=${KORVANE_ARCHES:-"i686 x86_64"}
mkdir -p "$KV_BUILD"

# The host: does it run 32-bit x86 Linux programs, and with them Wine's i686
# side? Asked once per command by running a tiny i386 program, and handed on in
# KORVANE_HOST_I386 (yes/no) to everything it starts. scripts/bin comes first on
# PATH: its wine sends Wine to the 64-bit loader where the answer is no.
if [ -z "${KORVANE_HOST_I386:-}" ]; then
    KORVANE_HOST_I386=$("$KV_ROOT/scripts/bin/host-runs-i386" "$KV_BUILD" 2>"$KV_BUILD/.host-probe")
    KV_HOST_REASON="the i386 probe: $(cat "$KV_BUILD/.host-probe" 2>/dev/null)"
    [ "$KORVANE_HOST_I386" = yes ] && KV_HOST_REASON="the i386 probe ran"
fi
export KORVANE_HOST_I386 KV_HOST_REASON=${KV_HOST_REASON:-KORVANE_HOST_I386=$KORVANE_HOST_I386}
case ":$PATH:" in *":$KV_ROOT/scripts/bin:"*) ;; *) export PATH="$KV_ROOT/scripts/bin:$PATH" ;; esac
# The build that commands running one program use: the shipping i686 one where
# it can run, else x86_64.
if [ "$KORVANE_HOST_I386" = yes ]; then KV_MAIN_ARCH=i686; else KV_MAIN_ARCH=x86_64; fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

# kv_use_state DIR: where a Wine session keeps what it makes: its prefix, test
# discs, screenshots, print jobs, drive mounts and the cache device's flags.
# The run command and the benchmarks keep theirs in $KV_BUILD; each test suite
# has a folder of its own under $KV_BUILD/test, so that the tests leave what
# run.sh printed alone and two suites can run side by side.
kv_use_state() {
    mkdir -p "$1"
    # Absolute: Wine takes no relative WINEPREFIX, and the tests run from their build folders.
    KV_STATE=$(cd "$1" && pwd)
    export WINEPREFIX=$KV_STATE/wineprefix
    KV_DISCS=$KV_STATE/discs
    KV_SCREENS=$KV_STATE/screens
    KV_PRINT_DIR=$KV_STATE/print
}
kv_use_state "$KV_BUILD"

kv_log() { printf '[korvane] %s\n' "$*" >&2; }

# kv_runs_here ARCH: can this host run ARCH's Windows programs under Wine?
kv_runs_here() { [ "$1" != i686 ] || [ "$KORVANE_HOST_I386" = yes ]; }

# One line on what this host runs, for the first lines of a command's output.
kv_say_host() {
    if [ "$KORVANE_HOST_I386" = yes ]; then
        kv_log "host: runs 32-bit x86 programs ($KV_HOST_REASON): i686 and x86_64 programs run under Wine"
    else
        kv_log "host: runs 64-bit programs only ($KV_HOST_REASON): Wine runs through its 64-bit loader; i686 files are built and checked, not run"
    fi
}

# Debian packages the commands need; installed once, only what is missing, and
# only what this host can use: wine32 where it runs 32-bit programs.
# The win32 thread model compilers build the shipping files, the posix ones the tests.
KV_PACKAGES="cmake ninja-build python3 mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 \
gcc-mingw-w64-i686-win32 gcc-mingw-w64-x86-64-win32 wine wine64 fonts-wine xvfb xauth x11-utils imagemagick \
ghostscript fonts-liberation googletest genisoimage udftools fuse3 libfuse3-dev g++ pkg-config"
[ "$KORVANE_HOST_I386" = yes ] && KV_PACKAGES="$KV_PACKAGES wine32:i386"

# apt's messages go to $KV_BUILD/apt.log; its warnings and errors are always shown.
kv_install_deps() {
    local missing=() p log=$KV_BUILD/apt.log suite
    for p in $KV_PACKAGES; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    kv_log "installing: ${missing[*]}"
    if [ "$(id -u)" != 0 ]; then
        kv_log "not root: install these packages first"; return 1
    fi
    if [ "$KORVANE_HOST_I386" = yes ]; then
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >"$log" 2>&1 || kv_log "apt-get update failed; installing from the package lists there are"
    grep -E '^(E|W|Err):' "$log" >&2
    apt-get install -y -q --no-install-recommends "${missing[@]}" >>"$log" 2>&1 && return 0
    kv_log "apt-get install failed:"
    sed -n '/^E:/p; /^ *[^ ].* : \(Pre\)\?Depends:/p; /held broken/p' "$log" | tail -25 >&2
    # A mirror whose security suite lags for one architecture offers amd64 and
    # i386 libraries of different versions, which must match: the release
    # suite's versions do.
    suite=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
    [ -n "$suite" ] || return 1
    kv_log "trying once more with the release suite's versions: apt-get install -t $suite"
    apt-get install -y -q --no-install-recommends -t "$suite" "${missing[@]}" >>"$log" 2>&1 && return 0
    kv_log "apt-get install -t $suite failed too (all of apt's output: $log):"
    grep -E '^E:' "$log" | tail -10 >&2
    return 1
}

# kv_timed LABEL COMMAND...: runs COMMAND in this shell and notes its wall time
# in KV_TIMES, which kv_say_times prints as one line.
KV_TIMES=""
kv_timed() {
    local label=$1 start=$SECONDS status
    shift
    "$@"
    status=$?
    KV_TIMES="$KV_TIMES, $label $((SECONDS - start)) s"
    return $status
}
kv_say_times() { kv_log "time: ${KV_TIMES#, }"; }

# Every architecture of KV_ARCHES, then the Linux-side tools, each timed.
kv_build() {
    local arch
    for arch in $KV_ARCHES; do
        kv_timed "build $arch" kv_build_arch "$arch" "$@" || return 1
    done
    if [ -f "$KV_ROOT/tools/native/CMakeLists.txt" ]; then
        kv_timed "build native" kv_build_native || return 1
    fi
}

# Where this host cannot run an architecture's programs, its build makes only
# what ships and what the static checks read (KORVANE_HOST_RUNS=OFF).
kv_build_arch() {
    local arch=$1 runs
    shift
    if kv_runs_here "$arch"; then runs=ON; else runs=OFF; fi
    if [ ! -f "$KV_BUILD/$arch/build.ninja" ] ||
        ! grep -qx "KORVANE_HOST_RUNS:BOOL=$runs" "$KV_BUILD/$arch/CMakeCache.txt" 2>/dev/null; then
        cmake -S "$KV_ROOT" -B "$KV_BUILD/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_HOST_RUNS=$runs \
            -DCMAKE_TOOLCHAIN_FILE="$KV_ROOT/cmake/$arch-w64-mingw32.cmake" "$@" >/dev/null || return 1
    fi
    ninja -C "$KV_BUILD/$arch" >"$KV_BUILD/build-$arch.log" 2>&1 || { tail -40 "$KV_BUILD/build-$arch.log"; return 1; }
}

# The Linux-side tools (drive model, ...) and their tests, with the host compiler.
kv_build_native() {
    if [ ! -f "$KV_BUILD/native/build.ninja" ]; then
        cmake -S "$KV_ROOT/tools/native" -B "$KV_BUILD/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || return 1
    fi
    ninja -C "$KV_BUILD/native" >"$KV_BUILD/build-native.log" 2>&1 || { tail -40 "$KV_BUILD/build-native.log"; return 1; }
}

# A private X display (Xvfb), unless KORVANE_USE_DISPLAY asks for $DISPLAY.
kv_start_display() {
    if [ -n "${KORVANE_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
    local fifo=$KV_STATE/.displayfd
    rm -f "$fifo"
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$fifo" </dev/null >/dev/null 2>&1 &
    KV_XVFB_PID=$!
    local i
    for i in $(seq 100); do [ -s "$fifo" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$fifo")"
    kv_log "Xvfb on $DISPLAY"
}

kv_wine() { wine "$@" </dev/null >/dev/null 2>&1; }

# Starts the persistent wineserver with its output detached (CTest would
# otherwise wait for Wine's background services).
kv_start_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1
    kv_wine cmd /c exit
}

# KV_POST_RESTART: names of commands that set-up steps add for what must run in
# the restarted prefix (services.exe reads its keys only at its start).
kv_restart_wineserver() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    kv_start_wineserver
    local hook
    for hook in ${KV_POST_RESTART:-}; do "$hook" || kv_log "after the restart: $hook failed"; done
}

# Starts the cache device stand-in (service KELDR, registered by
# scripts/setup.d/20-driver.sh) in the running prefix. kv_restart_wineserver
# calls it once 20-driver.sh has run; a run command that restarts by other means
# calls it itself.
kv_start_driver() {
    local log=$KV_BUILD/net-start-keldr.log
    wine net start KELDR </dev/null >"$log" 2>&1 && return 0
    kv_log "the cache device did not start: $(tr -d '\r' <"$log" | tr '\n' ' ')"
    return 1
}

kv_reg() { wine reg add "$@" /f </dev/null >/dev/null 2>&1; }
kv_reg_delete() { wine reg delete "$@" /f </dev/null >/dev/null 2>&1; }

# kv_set_dpi N: the screen resolution, in dots per inch, of the Wine programs
# started after it (the prefix's LogPixels, which each program reads at its start).
kv_set_dpi() {
    [ -f "$WINEPREFIX/system.reg" ] || return 0
    kv_reg 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1"
}

# A fresh prefix, with the settings below.
kv_make_prefix() {
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wine wineboot -i </dev/null >/dev/null 2>&1
    kv_start_wineserver
    kv_prefix_settings
}

# kv_copy_prefix DIR: this session's prefix as a copy of the prefix DIR, which
# kv_make_prefix made and whose wineserver has ended (a copy takes a second; a
# new prefix some 15 s of the processors).
kv_copy_prefix() {
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    cp -a "$1" "$WINEPREFIX" || return 1
    kv_start_wineserver
}

# No crash dialogs, metric-compatible serif font, unmanaged windows, no theme.
kv_prefix_settings() {
    kv_reg 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
    kv_reg 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' /d 'Liberation Serif'
    # Without a window manager, managed windows make Wine wait 2 s at every hide.
    kv_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /d N
    # 96 dpi unless a command asks for another (run.sh --dpi) for its own run.
    kv_set_dpi 96
    # Wine's own theme draws every progress step from its bitmaps: about 0.4 ms
    # a step inside the timed reads. Windows 98 draws its controls plain.
    kv_wine_theme 0
    kv_prefix_fonts
}

# Caption buttons are Marlett glyphs. Debian's Wine does not load the fonts of
# fonts-wine from its own folder, so without a copy in the prefix they come out
# as the letters "0 1 r".
kv_prefix_fonts() {
    local font=/usr/share/wine/fonts/marlett.ttf fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ -f "$font" ] && mkdir -p "$fonts" && cp -f "$font" "$fonts/"; then return 0; fi
    kv_log "no $font (package fonts-wine): caption buttons draw as letters"
}

# kv_wine_theme 0|1: Wine's own theme off or on, for programs started after.
kv_wine_theme() {
    kv_reg 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d "$1"
}

# Keeps this machine's idle processors polling instead of halting while the
# calling command runs: a halted virtual processor takes tens of microseconds
# to wake, and every Wine call and drive model request wakes one or two, which
# on a drive that answers from its cache in 30 us would be timed as the drive's.
# The setting lasts while a holder keeps /dev/cpu_dma_latency open; it ends with
# the calling shell. Without the device (or root), runs go on with a message.
# Without a cpuidle driver there are no idle states to keep the processors out
# of: the holder changed nothing there, or slowed Wine's calls, so it is left
# off, unless `kv_keep_cpus_awake force` (the client bench's comparison) asks.
kv_keep_cpus_awake() {
    [ -n "${KV_AWAKE_PID:-}" ] && return 0
    if [ "${1:-}" != force ] && ! kv_cpus_idle_states; then
        kv_log "no cpuidle driver here: processors are left as they are"
        return 0
    fi
    if [ "${KORVANE_CPU_WAKEUP:-}" = off ] || ! [ -w /dev/cpu_dma_latency ]; then
        kv_log "processors may halt when idle: cache-served times include their wake-up"
        return 0
    fi
    local parent=$$
    (
        exec 3>/dev/cpu_dma_latency || exit 1
        printf '\x00\x00\x00\x00' >&3 || exit 1
        while kill -0 "$parent" 2>/dev/null; do sleep 1; done
    ) </dev/null >/dev/null 2>&1 &
    KV_AWAKE_PID=$!
    KV_CLEANUP_HOOKS="${KV_CLEANUP_HOOKS:-} kv_let_cpus_halt"
}

# For the timing commands: this shell, and so Xvfb, the wineserver and every Wine
# program it starts, on one processor; drive models (kv_mount_drive_model) on
# another. Each Wine call is a round trip to the wineserver, and on one processor
# that is a switch rather than a wake-up across processors; the drive model's
# server, which spins to each reply's time at real-time priority, then never
# takes the processor that Wine needs. With one processor, nothing changes.
# `kv_pin_for_timing off` gives this shell and the drive models every processor
# again. Both move the drive models already mounted; Xvfb and the Wine programs
# already started keep the processors they had.
kv_pin_for_timing() {
    local mode=${1:-on} cpus wine model entry
    # The processors this command may use, as it found them.
    KV_ALL_CPUS=${KV_ALL_CPUS:-$(python3 -c 'import os; print(",".join(map(str, sorted(os.sched_getaffinity(0)))))' 2>/dev/null)}
    IFS=, read -ra cpus <<<"$KV_ALL_CPUS"
    [ ${#cpus[@]} -ge 2 ] || return 0
    if [ "$mode" = off ]; then wine=$KV_ALL_CPUS model=$KV_ALL_CPUS; else wine=${cpus[-1]} model=${cpus[0]}; fi
    taskset -pc "$wine" $$ >/dev/null 2>&1 || return 0
    KV_MODEL_CPU_PIN="taskset -c $model"
    for entry in $KV_MODEL_MOUNTS; do taskset -apc "$model" "${entry##*=}" >/dev/null 2>&1; done
    kv_log "timing set-up: Wine on processors $wine, drive models on processors $model"
}

# Do idle processors enter idle states (a cpuidle driver) that polling avoids?
kv_cpus_idle_states() {
    local driver
    driver=$(cat /sys/devices/system/cpu/cpuidle/current_driver 2>/dev/null)
    [ -n "$driver" ] && [ "$driver" != none ]
}

kv_let_cpus_halt() {
    [ -n "${KV_AWAKE_PID:-}" ] && { kill "$KV_AWAKE_PID" 2>/dev/null; wait "$KV_AWAKE_PID" 2>/dev/null; }
    KV_AWAKE_PID=""
}

# kv_make_disc TOOL KIND DIR: a generated disc tree, tools/TOOL.py KIND DIR.
# With KV_DISC_CACHE set (the test command's suites), each tree is made once
# there, and DIR is a copy of hard links to it: a test may rename in its copy.
kv_make_disc() {
    local tool=$KV_ROOT/tools/$1.py kind=$2 dir=$3 cached
    [ -n "${KV_DISC_CACHE:-}" ] || { python3 "$tool" "$kind" "$dir"; return; }
    cached=$KV_DISC_CACHE/${dir#"$KV_DISCS"/}
    mkdir -p "$KV_DISC_CACHE" "$(dirname "$cached")" "$(dirname "$dir")"
    flock "$KV_DISC_CACHE/.lock" python3 "$tool" "$kind" "$cached" || return 1
    rm -rf "$dir" && cp -al "$cached" "$dir" && cp "$cached.stamp" "$dir.stamp"
}

# kv_write_label DIR LABEL: the volume label Wine reads for a disc folder. Written
# only when it changes: a disc copied from the test command's cache shares the file.
kv_write_label() {
    [ "$(cat "$1/.windows-label" 2>/dev/null)" = "$2" ] || printf '%s' "$2" >"$1/.windows-label"
}

# kv_map_cdrom LETTER DIR [LABEL [DEVICE]]: DIR as the files of CD-ROM drive LETTER.
# Takes effect after kv_restart_wineserver.
kv_map_cdrom() {
    local letter=${1,,} dir=$2 label=${3:-} device=${4:-}
    mkdir -p "$dir"
    [ -n "$label" ] && kv_write_label "$dir" "$label"
    ln -sfn "$dir" "$WINEPREFIX/dosdevices/$letter:"
    rm -f "$WINEPREFIX/dosdevices/$letter::"
    [ -n "$device" ] && ln -sfn "$device" "$WINEPREFIX/dosdevices/$letter::"
    kv_reg 'HKLM\Software\Wine\Drives' /v "$letter:" /d cdrom /reg:64
    kv_reg 'HKLM\Software\Wine\Drives' /v "$letter:" /d cdrom
}

# kv_unmap_cdrom LETTER: the drive gone from the prefix (links and type).
kv_unmap_cdrom() {
    local letter=${1,,}
    rm -f "$WINEPREFIX/dosdevices/$letter:" "$WINEPREFIX/dosdevices/$letter::"
    kv_reg_delete 'HKLM\Software\Wine\Drives' /v "$letter:" /reg:64
    kv_reg_delete 'HKLM\Software\Wine\Drives' /v "$letter:"
}

# Optical discs mounted on this machine (iso9660, udf) in the mount table
# KORVANE_MOUNTS (default /proc/mounts): "device mountpoint" lines.
kv_mounted_discs() {
    local device mnt type rest
    while read -r device mnt type rest; do
        case "$type" in iso9660|udf) ;; *) continue ;; esac
        # The table writes blanks and the like as octal escapes (\040).
        printf '%s %s\n' "$device" "$(printf '%b' "${mnt//\\/\\0}")"
    done <"${KORVANE_MOUNTS:-/proc/mounts}"
}

# Maps each mounted optical disc as a CD-ROM drive. A disc that an earlier
# call mapped keeps its letter; a letter it gave a disc that is no longer
# mounted is removed. The letters given are kept in $WINEPREFIX/korvane-discs,
# a line "letter device mountpoint" each. Takes effect after kv_restart_wineserver.
kv_map_mounted_discs() {
    local record=$WINEPREFIX/korvane-discs discs mapped="" letter device mnt
    discs=$(kv_mounted_discs)
    if [ -f "$record" ]; then
        while read -r letter device mnt; do
            [ -n "$letter" ] || continue
            # A letter that now names something else (a test disc, say) is forgotten, not removed.
            [ "$(readlink "$WINEPREFIX/dosdevices/$letter:")" = "$mnt" ] || continue
            if grep -qxF -- "$device $mnt" <<<"$discs"; then
                mapped+="$letter $device $mnt"$'\n'
            else
                kv_unmap_cdrom "$letter"
                kv_log "drive ${letter^^}: removed: its disc $mnt is no longer mounted"
            fi
        done <"$record"
    fi
    while read -r device mnt; do
        [ -n "$device" ] || continue
        if ! letter=$(kv_letter_of "$device $mnt" "$mapped"); then
            letter=$(kv_free_letter) || { kv_log "no free drive letter for $mnt"; continue; }
            mapped+="$letter $device $mnt"$'\n'
        fi
        kv_map_cdrom "$letter" "$mnt" "" "$device"
        kv_log "mounted disc $mnt ($device) is drive ${letter^^}:"
    done <<<"$discs"
    printf '%s' "$mapped" >"$record"
}

# kv_letter_of "DEVICE MOUNTPOINT" LINES: the letter of that disc in LINES ("letter device mountpoint").
kv_letter_of() {
    local letter rest
    while read -r letter rest; do
        [ -n "$letter" ] && [ "$rest" = "$1" ] && { echo "$letter"; return 0; }
    done <<<"$2"
    return 1
}

# A drive letter the prefix does not use: the first after the highest in use
# (so a new disc comes after the test discs), else the first free from D: on.
kv_free_letter() {
    local used="" highest=d link letter
    for link in "$WINEPREFIX"/dosdevices/?:; do
        [ -e "$link" ] || [ -L "$link" ] || continue
        letter=$(basename "$link"); letter=${letter%:}
        used="$used$letter"
        [[ "$letter" > "$highest" && "$letter" != z ]] && highest=$letter
    done
    for letter in {d..y}; do
        [[ "$letter" > "$highest" ]] && [[ "$used" != *"$letter"* ]] && { echo "$letter"; return 0; }
    done
    for letter in {d..y}; do
        [[ "$used" != *"$letter"* ]] && { echo "$letter"; return 0; }
    done
    return 1
}

# Set-up steps that use what an architecture's build makes (the cache device,
# the printer set-up) call this first. The test command, whose suites make their
# prefixes and discs while the builds go on, waits there for the build.
kv_need_builds() { :; }

# Runs every set-up step of scripts/setup.d (discs, driver, printer, ...), or
# those whose numbers KV_SETUP_ONLY lists ("10 15", say).
kv_run_setup_steps() {
    local step start
    for step in "$KV_ROOT"/scripts/setup.d/*.sh; do
        [ -f "$step" ] || continue
        [ -z "${KV_SETUP_ONLY:-}" ] || [[ " $KV_SETUP_ONLY " == *" $(basename "$step" | cut -d- -f1) "* ]] || continue
        start=$SECONDS
        # shellcheck source=/dev/null
        . "$step" || { kv_log "set-up step failed: $step"; return 1; }
        kv_log "set-up: $(basename "$step") ($((SECONDS - start)) s)"
    done
}

kv_stop_all() {
    [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && { wineserver -k >/dev/null 2>&1 || true; }
    [ -n "${KV_XVFB_PID:-}" ] && { kill "$KV_XVFB_PID" 2>/dev/null || true; }
    local hook
    for hook in ${KV_CLEANUP_HOOKS:-}; do "$hook" || true; done
}

# kv_mount_drive_model PRESET SRC MOUNT LOG [FLAGSFILE]: serves the disc tree SRC
# at MOUNT through the CD-ROM drive model (tools/native/cdmodel, FUSE), timed as
# the preset's drive, with every request and its modelled time in LOG (CSV).
# FLAGSFILE is the drive's cache flags file; without it the cache stays off.
# Returns 1, mounting nothing, when FUSE cannot mount here. Unmounted by
# kv_stop_all (or kv_unmount_drive_model MOUNT).
KV_MODEL_MOUNTS=""
kv_mount_drive_model() {
    local preset=$1 src=$2 mnt=$3 log=$4 flags=${5:-} bin=$KV_BUILD/native/cdmodelfs i pid
    [ -x "$bin" ] || { kv_log "drive model: $bin not built"; return 1; }
    [ -e /dev/fuse ] && command -v fusermount3 >/dev/null || { kv_log "drive model: no FUSE here"; return 1; }
    if mountpoint -q "$mnt" 2>/dev/null; then fusermount3 -u "$mnt" 2>/dev/null || fusermount3 -uz "$mnt"; fi
    mkdir -p "$mnt" "$(dirname "$log")"
    ${KV_MODEL_CPU_PIN:-} "$bin" --preset "$preset" --log "$log" ${flags:+--flags "$flags"} --realtime "$src" "$mnt" -f \
        </dev/null >"$log.out" 2>&1 &
    pid=$!
    for i in $(seq 100); do
        mountpoint -q "$mnt" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if ! mountpoint -q "$mnt"; then
        kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
        kv_log "drive model: mount failed: $(tail -3 "$log.out" 2>/dev/null)"
        return 1
    fi
    KV_MODEL_MOUNTS="$KV_MODEL_MOUNTS $mnt=$pid"
    case " ${KV_CLEANUP_HOOKS:-} " in *" kv_unmount_drive_models "*) ;;
        *) KV_CLEANUP_HOOKS="${KV_CLEANUP_HOOKS:-} kv_unmount_drive_models" ;; esac
}

# Unmounts one model mount and waits for its server to end (5 s, then ends it).
kv_unmount_drive_model() {
    local mnt=$1 entry pid="" i rest=""
    for entry in $KV_MODEL_MOUNTS; do
        if [ "${entry%=*}" = "$mnt" ]; then pid=${entry##*=}; else rest="$rest $entry"; fi
    done
    KV_MODEL_MOUNTS=$rest
    if mountpoint -q "$mnt" 2>/dev/null; then
        fusermount3 -u "$mnt" 2>/dev/null || { sleep 0.5; fusermount3 -u "$mnt" 2>/dev/null; } || fusermount3 -uz "$mnt"
    fi
    [ -n "$pid" ] || return 0
    for i in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

kv_unmount_drive_models() {
    local entry
    for entry in $KV_MODEL_MOUNTS; do kv_unmount_drive_model "${entry%=*}"; done
}
