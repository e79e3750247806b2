# Drive M: (label KORVANE_MODEL): the sample disc served through the CD-ROM drive
# model, fast preset (KORVANE_MODEL_PRESET picks another), so that read times
# are those of a modelled drive. The model's request log is $KORVANE_MODEL_LOG;
# its cache follows the flags file KELDR-M.flags in the cache device's flags
# folder (KORVANE_FLAGS_DIR, $KV_STATE/cacheflags). Without FUSE the
# drive is left out, with a message.
KV_MODEL_SRC=$KV_DISCS/model-sample
KV_MODEL_MNT=$KV_STATE/mnt/m
export KORVANE_MODEL_LOG=$KV_STATE/drivemodel-m.csv
# A hard-linked copy: its own volume label file, the same bytes as D:.
rm -rf "$KV_MODEL_SRC"
cp -al "$KV_DISCS/sample" "$KV_MODEL_SRC" && rm -f "$KV_MODEL_SRC/.windows-label" &&
    printf '%s' KORVANE_MODEL >"$KV_MODEL_SRC/.windows-label"
kv_flags_dir=$KV_STATE/cacheflags
mkdir -p "$kv_flags_dir"
if kv_mount_drive_model "${KORVANE_MODEL_PRESET:-fast}" "$KV_MODEL_SRC" "$KV_MODEL_MNT" "$KORVANE_MODEL_LOG" "$kv_flags_dir/KELDR-M.flags"; then
    kv_map_cdrom m "$KV_MODEL_MNT"
else
    kv_log "drive model: skipped, drive M: is not set up"
    unset KORVANE_MODEL_LOG
fi
true
