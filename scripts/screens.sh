#!/usr/bin/env bash
# The pictures of docs/images, made again from a run: the run command without a
# display (a two-pass run of the sample disc on D:, then Print), whose screenshot
# of the results window becomes docs/images/results.png and whose printed page,
# trimmed to what is printed, docs/images/report.png. Both are stored as
# palette PNGs to keep them small. Arguments go to run.sh.
#   bash scripts/screens.sh [RUN-OPTIONS...]
set -uo pipefail
case "${1:-}" in -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh"
shot=$KV_SCREENS/run/results.png page=$KV_BUILD/print/korvane.png out=$KV_ROOT/docs/images
rm -f "$shot" "$page"
env -u DISPLAY bash "$KV_ROOT/scripts/run.sh" "$@" || { kv_log "the run failed: docs/images left as they were"; exit 1; }
[ -s "$shot" ] && [ -s "$page" ] || { kv_log "the run left no $shot or $page"; exit 1; }
mkdir -p "$out"
convert "$shot" -strip PNG8:"$out/results.png" || exit 1
convert "$page" -trim +repage -bordercolor white -border 30 -bordercolor '#a0a0a0' -border 1 \
    -strip -colors 32 PNG8:"$out/report.png" || exit 1
for f in results report; do
    echo "$out/$f.png: $(identify -format '%wx%h' "$out/$f.png"), $(( $(stat -c %s "$out/$f.png") / 1024 )) KB"
done
