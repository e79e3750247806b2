# Disc images on loop devices, and a disc with no file at all:
#   I: KVISO_IMAGE  an ISO 9660 image: its label comes from the image itself
#   U: a UDF image: the file system name is "UDF", which the Run command warns about
#   V: no label, no file (the other test discs carry Wine's .windows-label file)
# Loop devices are optional: without them (no losetup, not root) I: and U: are
# left out and the tests that need them skip.
kv_images_dir=$KV_DISCS/images
kv_image_tree=$KV_DISCS/imagetree
mkdir -p "$kv_images_dir" "$kv_image_tree" "$KV_DISCS/empty"
kv_map_cdrom v "$KV_DISCS/empty"

if [ ! -f "$kv_image_tree/BIG.DAT" ]; then
    head -c $((2 * 1024 * 1024 + 8192)) /dev/urandom >"$kv_image_tree/BIG.DAT.part" &&
        mv "$kv_image_tree/BIG.DAT.part" "$kv_image_tree/BIG.DAT"
    printf 'Korvane test image\r\n' >"$kv_image_tree/README.TXT"
fi

# Loop devices of an earlier run that ended without its clean-up.
kv_images_detach() {
    local image dev
    for image in "$kv_images_dir/disc.iso" "$kv_images_dir/disc.udf"; do
        [ -f "$image" ] || continue
        for dev in $(losetup -j "$image" 2>/dev/null | cut -d: -f1); do
            losetup -d "$dev" 2>/dev/null || true
        done
    done
}

kv_images_setup() {
    command -v losetup >/dev/null 2>&1 || { kv_log "images: no losetup, I: and U: left out"; return 0; }
    kv_images_detach
    if [ ! -f "$kv_images_dir/disc.iso" ]; then
        genisoimage -quiet -V KVISO_IMAGE -o "$kv_images_dir/disc.iso.part" "$kv_image_tree" 2>/dev/null &&
            mv "$kv_images_dir/disc.iso.part" "$kv_images_dir/disc.iso" ||
            { kv_log "images: genisoimage failed"; return 0; }
    fi
    if [ ! -f "$kv_images_dir/disc.udf" ]; then
        truncate -s 16M "$kv_images_dir/disc.udf.part" &&
            mkudffs --media-type=hd --label=KVUDF_IMAGE "$kv_images_dir/disc.udf.part" >/dev/null 2>&1 &&
            mv "$kv_images_dir/disc.udf.part" "$kv_images_dir/disc.udf" ||
            { rm -f "$kv_images_dir/disc.udf.part"; kv_log "images: mkudffs failed"; }
    fi
    local iso_dev udf_dev
    iso_dev=$(losetup -f --show -r "$kv_images_dir/disc.iso" 2>/dev/null) ||
        { kv_log "images: losetup failed, I: and U: left out"; return 0; }
    kv_map_cdrom i "$kv_image_tree" "" "$iso_dev"
    if [ -f "$kv_images_dir/disc.udf" ] && udf_dev=$(losetup -f --show -r "$kv_images_dir/disc.udf" 2>/dev/null); then
        kv_map_cdrom u "$kv_image_tree" "" "$udf_dev"
    fi
    KV_CLEANUP_HOOKS="${KV_CLEANUP_HOOKS:-} kv_images_detach"
}
kv_images_setup
true
