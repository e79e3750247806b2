#!/usr/bin/env bash
# The soak: one program session of KORVANE_SOAK_RUNS (default 100) complete runs,
# alternating D: and E:, Print every tenth run, with the program's handle, GDI,
# USER and memory figures printed and checked for growth. Builds and sets up as
# the test command does; the shipping (i686) build unless KORVANE_ARCHES says (x86_64 on a host that
# runs no 32-bit programs). Its last line is the verdict.
#   bash scripts/soak.sh [RUNS]
set -uo pipefail
case "${1:-}" in -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
export KORVANE_SOAK_RUNS=${1:-${KORVANE_SOAK_RUNS:-100}}
. "$(dirname "$0")/lib.sh"
export KORVANE_ARCHES=${KORVANE_ARCHES:-$KV_MAIN_ARCH}
bash "$(dirname "$0")/test.sh" -V -R '^e2e_hard_soak$'
status=$?
if [ $status = 0 ]; then
    kv_log "soak: passed, $KORVANE_SOAK_RUNS runs in one session ($KORVANE_ARCHES)"
else
    kv_log "soak: FAILED (status $status), $KORVANE_SOAK_RUNS runs in one session ($KORVANE_ARCHES); the output above says where"
fi
exit $status
