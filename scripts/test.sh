#!/usr/bin/env bash
# The test command: installs what it needs, builds the Linux-side tools and both
# architectures, and runs each architecture's CTest suite as soon as its build
# is done, side by side with the builds and suites still going, and the tools'
# suite once the other parts have ended (its drive model timing wants a quiet
# machine). Each part of a suite has a folder of its own (build/test/PART): a
# fresh Wine prefix with the test discs, its own Xvfb display, print jobs and
# screenshots. Extra arguments go to ctest (for example -R walk). Its last line
# says where the time went.
set -uo pipefail
case "${1:-}" in -h|--help)
    cat <<'USAGE'
usage: bash scripts/test.sh [CTEST-OPTIONS...]
  Installs what is missing, builds the Linux-side tools, i686 and x86_64, and runs
  each suite once its build is done: the i686 suite while x86_64 builds, then the
  x86_64 one beside it. Each suite runs in two parts side by side, ARCH (every test
  but the drive model's) and ARCH-model (label drivemodel), each with a fresh Wine
  prefix, the test discs and an Xvfb display of its own under build/test/PART
  (screenshots in build/test/PART/screens, print jobs in build/test/PART/print);
  the Linux-side suite runs once the others have ended. run.sh's prefix, page and
  screenshots are left alone. Each part's output is shown when it ends.
  CTEST-OPTIONS go to ctest: -R NAME runs the tests whose names match, -V shows their output.
  Without a filter, a suite that lists no test fails the command.
  On a 2-core machine it takes about 4 minutes from a fresh clone, packages installed.
  KORVANE_BUILD=DIR     build trees, prefixes and discs (default build/)
  KORVANE_ARCHES=ARCH   one architecture only (i686 or x86_64)
USAGE
    exit 0 ;;
esac
. "$(dirname "$0")/lib.sh"
kv_say_host

kv_timed install kv_install_deps || exit 1
KV_TEST=$KV_BUILD/test
rm -rf "$KV_TEST"
mkdir -p "$KV_TEST"
KV_SUITE_PIDS="" KV_SUITE_NAMES=""
trap 'for pid in $KV_SUITE_PIDS; do kill -TERM "$pid" 2>/dev/null; done; wait; kv_say_times' EXIT
trap 'exit 130' INT TERM HUP

# kv_built NAME: NAME's build is done (or failed: kv_built NAME failed); the
# suites that need it wait for the mark.
kv_built() { echo "${2:-ok}" >"$KV_TEST/built-$1"; }
kv_wait_built() {
    local name
    for name in "$@"; do
        while [ ! -f "$KV_TEST/built-$name" ]; do sleep 0.2; done
        [ "$(cat "$KV_TEST/built-$name")" = ok ] || { kv_log "the $name build failed"; return 1; }
    done
}

kv_ctest() { (cd "$KV_BUILD/$1" && shift && ctest --output-on-failure --timeout 600 "$@"); }
# kv_ctest_count DIR ARGS...: how many tests the ctest arguments (a -R filter, say) pick; fails when the listing does.
kv_ctest_count() {
    local listing
    listing=$(cd "$KV_BUILD/$1" && shift && ctest -N "$@" 2>&1) || return 1
    sed -n 's/^Total Tests: \([0-9]*\)$/\1/p' <<<"$listing" | grep . || return 1
}
# kv_suite_picks NAME DIR PART-ARGS -- USER-ARGS...: does the suite have a test to
# run? Without user arguments it must list one: a suite that lists none, or
# cannot be listed, fails (2); a user filter that picks none leaves it out (1).
kv_suite_picks() {
    local name=$1 dir=$2 part=() count
    shift 2
    while [ $# -gt 0 ] && [ "$1" != -- ]; do part+=("$1"); shift; done
    shift
    count=$(kv_ctest_count "$dir" "${part[@]}" "$@") || count=""
    if [ -z "$count" ] || [ "$count" = 0 ]; then
        if [ $# -eq 0 ]; then
            if [ -n "$count" ]; then kv_log "FAILED: the $name suite lists no test ($KV_BUILD/$dir)"
            else kv_log "FAILED: the $name suite could not be listed (ctest -N failed in $KV_BUILD/$dir)"; fi
            return 2
        fi
        kv_log "no test of the $name suite matches: $*"
        return 1
    fi
}

# The parts of an architecture's suite, each in a folder, prefix and display of
# its own: "main" runs every test but those labelled drivemodel, "model" those,
# which wait on the drive model in real time. Where the architecture does not
# run here, one part holds all its tests.
kv_suite_parts() { if kv_runs_here "$1"; then echo main model; else echo all; fi; }
kv_part_args() {
    case "$1" in main) echo -LE drivemodel ;; model) echo -L drivemodel ;; esac
}
kv_part_name() { case "$2" in model) echo "$1-model" ;; *) echo "$1" ;; esac; }
# The drive model's tests need the sample disc, the model's M:, the cache device and the printer.
kv_part_steps() { case "$1" in model) echo 10 15 20 30 ;; esac; }

# kv_arch_suite ARCH PART ARGS...: a part of ARCH's suite: display, prefix and
# discs while the builds go on, the steps that use ARCH's build once it is done,
# then ctest. Its times go to the part's times file.
kv_arch_suite() {
    local arch=$1 part=$2 name status
    shift 2
    name=$(kv_part_name "$arch" "$part")
    KV_TIMES=""
    kv_use_state "$KV_TEST/$name"
    # The set-up steps use this architecture's tools (printer set-up, cache
    # device); where it does not run here, those of x86_64.
    KV_SUITE_NEEDS=$arch
    if kv_runs_here "$arch"; then KV_ARCHES=$arch; else KV_ARCHES="$arch x86_64"; KV_SUITE_NEEDS="$arch x86_64"; fi
    kv_need_builds() { kv_wait_built $KV_SUITE_NEEDS; }
    KV_SETUP_ONLY=$(kv_part_steps "$part")
    trap 'kv_stop_all; echo "${KV_TIMES#, }" >"$KV_STATE/times"; touch "$KV_TEST/ended-'"$name"'"' EXIT
    kv_start_display
    kv_keep_cpus_awake
    kv_wait_built prefix || return 1
    kv_timed "prefix $name" kv_copy_prefix "$KV_TEST/template/wineprefix" || return 1
    kv_wait_built native || return 1
    kv_timed "set-up $name" kv_suite_set_up || return 1
    # shellcheck disable=SC2046
    kv_suite_picks "$name" "$arch" $(kv_part_args "$part") -- "$@"; status=$?
    [ $status = 1 ] && return 0
    [ $status = 0 ] || return 1
    export KORVANE_SCREENS=$KV_SCREENS KORVANE_DISCS=$KV_DISCS
    kv_log "tests for $name"
    kv_runs_here "$arch" ||
        kv_log "$arch: every test that starts an i686 program is skipped: this host runs no 32-bit x86 programs"
    # shellcheck disable=SC2046
    kv_timed "tests $name" kv_ctest "$arch" $(kv_part_args "$part") "$@"
}
kv_suite_set_up() {
    mkdir -p "$KV_SCREENS"
    kv_run_setup_steps || return 1
    kv_tests_first
    kv_restart_wineserver
}

# The tests, and the wineserver and display they talk to, run before the
# compiler of a build still going on beside them (nice -5 against its 0), so
# that its jobs do not stretch what the tests time. Other programs of the
# machine keep their share: lowering the builds instead gave a busy process
# the compiler's processors (the i686 build took 324 s instead of 63 beside
# two of them). Without root the priority stays as it is.
kv_tests_first() {
    renice -n -5 -p $BASHPID ${KV_XVFB_PID:-} >/dev/null 2>&1 || true
}

kv_native_suite() {
    local status
    KV_TIMES=""
    trap 'echo "${KV_TIMES#, }" >"$KV_TEST/native.times"' EXIT
    # Last, once the other parts have ended: its drive model's timing checks need
    # a quiet machine. Beside the x86_64 end-to-end tests, random reads took 2 to
    # 10 % longer than the model's log in six tries out of six.
    # KV_SUITE_NAMES holds the parts started before it (none when they ran one after another).
    kv_wait_built native || return 1
    local entry
    for entry in ${KV_SUITE_NAMES:-}; do
        while [ ! -e "$KV_TEST/ended-${entry%=*}" ] && kill -0 "${entry##*=}" 2>/dev/null; do sleep 0.2; done
    done
    kv_tests_first
    kv_suite_picks native native -- "$@"; status=$?
    [ $status = 1 ] && return 0
    [ $status = 0 ] || return 1
    kv_log "tests of the Linux-side tools"
    kv_timed "tests native" kv_ctest native "$@"
}

# kv_start_suite NAME FUNCTION ARGS...: runs the suite in the background, its output in build/test/NAME.log.
kv_start_suite() {
    local name=$1
    shift
    "$@" >"$KV_TEST/$name.log" 2>&1 </dev/null &
    KV_SUITE_PIDS="$KV_SUITE_PIDS $!"
    KV_SUITE_NAMES="${KV_SUITE_NAMES:-} $name=$!"
}

# With the user's own display (KORVANE_USE_DISPLAY) the suites share it, so they run one after another.
kv_serial() { [ -n "${KORVANE_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; }

kv_has_native() { [ -f "$KV_ROOT/tools/native/CMakeLists.txt" ]; }

# kv_each_suite RUNNER ARGS...: RUNNER NAME FUNCTION ARGS... for every part of
# every architecture's suite, then the Linux-side suite.
kv_each_suite() {
    local runner=$1 arch part
    shift
    for arch in $KV_ARCHES; do
        for part in $(kv_suite_parts "$arch"); do
            "$runner" "$(kv_part_name "$arch" "$part")" kv_arch_suite "$arch" "$part" "$@"
        done
    done
    if kv_has_native; then "$runner" native kv_native_suite "$@"; fi
}
# With the user's display: one after another, each in a subshell of its own.
kv_run_suite() {
    shift
    ("$@") || status=1
}

kv_build_all() {
    local arch
    if kv_has_native; then
        if kv_timed "build native" kv_build_native; then kv_built native; else kv_built native failed; return 1; fi
    else
        kv_built native
    fi
    for arch in $KV_ARCHES; do
        if ! kv_timed "build $arch" kv_build_arch "$arch"; then
            kv_built "$arch" failed
            return 1
        fi
        kv_built "$arch"
    done
}

# One prefix made with its settings, which each part of a suite copies; the
# disc trees are made once too (kv_make_disc).
kv_template_prefix() {
    kv_use_state "$KV_TEST/template"
    kv_make_prefix && wineserver -k && wineserver -w
}
( KV_TIMES=""
  if kv_timed "template prefix" kv_template_prefix; then kv_built prefix; else kv_built prefix failed; fi
  echo "${KV_TIMES#, }" >"$KV_TEST/template/times" ) </dev/null >"$KV_TEST/template.log" 2>&1 &
KV_SUITE_PIDS="$KV_SUITE_PIDS $!"
export KV_DISC_CACHE=$KV_TEST/discs

kv_serial || kv_each_suite kv_start_suite "$@"
build_status=0
kv_build_all || build_status=1
if [ $build_status != 0 ]; then
    for arch in $KV_ARCHES; do [ -f "$KV_TEST/built-$arch" ] || kv_built "$arch" failed; done
fi

# Each suite's output as it ended, in order: the architectures, then the tools.
status=$build_status
if kv_serial; then
    [ $build_status = 0 ] && kv_each_suite kv_run_suite "$@"
else
    for entry in $KV_SUITE_NAMES; do
        wait "${entry##*=}" || status=1
        cat "$KV_TEST/${entry%=*}.log"
    done
fi
KV_SUITE_PIDS="" KV_SUITE_NAMES=""
for times in "$KV_TEST"/*/times "$KV_TEST/native.times"; do
    line=$(cat "$times" 2>/dev/null)
    [ -n "$line" ] && KV_TIMES="$KV_TIMES, $line"
done
KV_TIMES="$KV_TIMES, all $SECONDS s"
exit $status
