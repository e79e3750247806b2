#!/usr/bin/env bash
# The test command: installs what it needs, builds both architectures, makes a
# fresh Wine prefix with the test discs, and runs every CTest suite under Wine
# in a private X display. Extra arguments go to ctest (for example -R walk).
# Its last line says where the time went.
set -uo pipefail
. "$(dirname "$0")/lib.sh"
kv_say_host

kv_timed install kv_install_deps || exit 1
mkdir -p "$KV_BUILD" "$KV_SCREENS"
kv_build || exit 1

# The display, a fresh prefix and what the set-up steps put in it.
kv_set_up() {
    kv_start_display
    kv_keep_cpus_awake
    kv_make_prefix
    kv_run_setup_steps || return 1
    kv_restart_wineserver
}

trap 'kv_stop_all; kv_say_times' EXIT
kv_timed set-up kv_set_up || exit 1
export KORVANE_SCREENS=$KV_SCREENS KORVANE_DISCS=$KV_DISCS

kv_ctest() { (cd "$KV_BUILD/$1" && shift && ctest --output-on-failure --timeout 600 "$@"); }
status=0
for arch in $KV_ARCHES; do
    kv_log "tests for $arch"
    kv_runs_here "$arch" ||
        kv_log "$arch: every test that starts an i686 program is skipped: this host runs no 32-bit x86 programs"
    kv_timed "tests $arch" kv_ctest "$arch" "$@" || status=1
done
if [ -f "$KV_BUILD/native/CTestTestfile.cmake" ]; then
    kv_log "tests of the Linux-side tools"
    kv_timed "tests native" kv_ctest native "$@" || status=1
fi
exit $status
