# Awkward discs for the hardening tests (tests/e2e: baddisc_tests.cpp, responsive_tests.cpp), on letters from N: on:
#   N: ODDNAMES   blanks, "%", "&" and non-ASCII names (UTF-8 here), the largest file among them
#   O: DEEPTREE   120 nested folders, the largest file at the bottom
#   P: LONGPATH   the largest file past 260 characters, a smaller one near the root
#   Q: WIDEDISC   50,000 files in one folder: a long walk
#   R: DENYFILE   the largest file cannot be opened          } served through denyfs, which
#   T: DENYDIR    a folder that cannot be listed holds it    } refuses mode 000 even to root
#   S: a label of 32 characters
#   W: BESTFIT    the only large file in a folder named with a Greek letter
# Without FUSE (or denyfs) R: and T: are left out and their tests skip.
kv_hard=$KV_DISCS/hard
mkdir -p "$kv_hard"
kv_make_disc make_hard_discs names "$kv_hard/names" &&
    kv_make_disc make_disc deep "$kv_hard/deep" &&
    kv_make_disc make_hard_discs longpath "$kv_hard/longpath" &&
    kv_make_disc make_disc wide "$kv_hard/wide" &&
    kv_make_disc make_hard_discs longlabel "$kv_hard/longlabel" &&
    kv_make_disc make_hard_discs bestfit "$kv_hard/bestfit" &&
    kv_make_disc make_hard_discs denyfile "$kv_hard/denied/file" &&
    kv_make_disc make_hard_discs denydir "$kv_hard/denied/dir" || return 1
kv_map_cdrom n "$kv_hard/names" ODDNAMES
kv_map_cdrom o "$kv_hard/deep" DEEPTREE
kv_map_cdrom p "$kv_hard/longpath" LONGPATH
kv_map_cdrom q "$kv_hard/wide" WIDEDISC
kv_map_cdrom s "$kv_hard/longlabel" "KORVANE LONG VOLUME LABEL 32CHRS"
kv_map_cdrom w "$kv_hard/bestfit" BESTFIT

KV_DENYFS_MNT=$KV_STATE/mnt/denied
kv_unmount_denyfs() {
    mountpoint -q "$KV_DENYFS_MNT" 2>/dev/null || return 0
    fusermount3 -u "$KV_DENYFS_MNT" 2>/dev/null || fusermount3 -uz "$KV_DENYFS_MNT" 2>/dev/null || true
}
kv_mount_denyfs() {
    local bin=$KV_BUILD/native/denyfs i
    [ -x "$bin" ] || { kv_log "denyfs not built: R: and T: left out"; return 0; }
    [ -e /dev/fuse ] && command -v fusermount3 >/dev/null || { kv_log "no FUSE: R: and T: left out"; return 0; }
    kv_write_label "$kv_hard/denied/file" DENYFILE
    kv_write_label "$kv_hard/denied/dir" DENYDIR
    kv_unmount_denyfs
    mkdir -p "$KV_DENYFS_MNT"
    "$bin" "$kv_hard/denied" "$KV_DENYFS_MNT" -f </dev/null >"$KV_STATE/denyfs.log" 2>&1 &
    for i in $(seq 100); do mountpoint -q "$KV_DENYFS_MNT" && break; sleep 0.05; done
    mountpoint -q "$KV_DENYFS_MNT" || { kv_log "denyfs did not mount: $(tail -2 "$KV_STATE/denyfs.log")"; return 0; }
    KV_CLEANUP_HOOKS="${KV_CLEANUP_HOOKS:-} kv_unmount_denyfs"
    kv_map_cdrom r "$KV_DENYFS_MNT/file"
    kv_map_cdrom t "$KV_DENYFS_MNT/dir"
}
kv_mount_denyfs
true
