#!/usr/bin/env bash
# The test command: installs what it needs, builds both architectures, makes a
# fresh Wine prefix with the test discs, and runs every CTest suite under Wine
# in a private X display. Extra arguments go to ctest (for example -R walk).
# Its last line says where the time went.
set -uo pipefail
case "${1:-}" in -h|--help)
    cat <<'USAGE'
usage: bash scripts/test.sh [CTEST-OPTIONS...]
  Installs what is missing, builds i686 and x86_64 and the Linux-side tools,
  makes a fresh Wine prefix with the test discs and runs every CTest suite in Xvfb.
  CTEST-OPTIONS go to ctest: -R NAME runs the tests whose names match, -V shows their output.
  KORVANE_BUILD=DIR     build trees, Wine prefix and discs (default build/)
  KORVANE_ARCHES=ARCH   one architecture only (i686 or x86_64)
USAGE
    exit 0 ;;
esac
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
# kv_ctest_picks SUITE ARGS...: do the ctest arguments (a -R filter, say) pick a test of SUITE?
kv_ctest_picks() {
    (cd "$KV_BUILD/$1" && shift && ctest -N "$@" 2>/dev/null) | grep -q '^Total Tests: [1-9]'
}
status=0
for arch in $KV_ARCHES; do
    if ! kv_ctest_picks "$arch" "$@"; then kv_log "no test for $arch matches: $*"; continue; fi
    kv_log "tests for $arch"
    kv_runs_here "$arch" ||
        kv_log "$arch: every test that starts an i686 program is skipped: this host runs no 32-bit x86 programs"
    kv_timed "tests $arch" kv_ctest "$arch" "$@" || status=1
done
if [ -f "$KV_BUILD/native/CTestTestfile.cmake" ] && kv_ctest_picks native "$@"; then
    kv_log "tests of the Linux-side tools"
    kv_timed "tests native" kv_ctest native "$@" || status=1
fi
exit $status
