#!/usr/bin/env bash
# The run command's mapping of mounted optical discs, fed mount tables of its
# own: a disc keeps its letter from one run to the next, and a letter whose
# disc is gone is removed. Wine is not started: the registry calls are recorded.
#   disc_letters.sh ROOT
set -u
root=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export KORVANE_BUILD=$tmp/build KORVANE_HOST_I386=no
. "$root/scripts/lib.sh"
kv_reg() { echo "add $*" >>"$tmp/reg.log"; }
kv_reg_delete() { echo "delete $*" >>"$tmp/reg.log"; }
kv_log() { :; }

failures=0
check() {
    if [ "$1" = "$2" ]; then echo "ok   $3"; else echo "FAIL $3: got '$1', expected '$2'"; failures=$((failures + 1)); fi
}
# The CD-ROM letters whose files are at $1, in order.
letters_of() {
    local link
    for link in "$WINEPREFIX"/dosdevices/?:; do
        [ "$(readlink "$link")" = "$1" ] && basename "$link" :
    done | tr -d '\n'
}

# A prefix with C:, the test disc D: and Z:; one disc (its mount point has a blank) and a hard disc in the table.
mkdir -p "$WINEPREFIX/dosdevices" "$tmp/disc one" "$tmp/sample"
ln -s ../drive_c "$WINEPREFIX/dosdevices/c:"
ln -s / "$WINEPREFIX/dosdevices/z:"
ln -s "$tmp/sample" "$WINEPREFIX/dosdevices/d:"
printf '/dev/vda / ext4 rw 0 0\n/dev/loop7 %s iso9660 ro 0 0\n' "${tmp// /\\040}/disc\\040one" >"$tmp/mounts"
export KORVANE_MOUNTS=$tmp/mounts

kv_map_mounted_discs
first=$(letters_of "$tmp/disc one")
check "${#first}" 1 "the mounted disc has one letter"
check "$(readlink "$WINEPREFIX/dosdevices/$first::")" /dev/loop7 "its device is the mounted one"
kv_map_mounted_discs
check "$(letters_of "$tmp/disc one")" "$first" "a second run keeps the letter and adds none"
check "$(letters_of "$tmp/sample")" d "the test disc's letter is left alone"

: >"$tmp/mounts"
kv_map_mounted_discs
check "$(letters_of "$tmp/disc one")" "" "an unmounted disc's letter is removed"
check "$([ -e "$WINEPREFIX/dosdevices/$first::" ] || [ -L "$WINEPREFIX/dosdevices/$first::" ] && echo kept)" "" "with its device link"
check "$(grep -c "^delete .*/v $first: /reg:64" "$tmp/reg.log")" 1 "and its drive type"
check "$(letters_of "$tmp/sample")" d "the test disc stays"

echo "$failures failed"
[ "$failures" = 0 ]
