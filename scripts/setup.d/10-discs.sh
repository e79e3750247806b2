# Test discs: generated trees mapped as CD-ROM drives D: to G:.
#   D: KORVANE_DEMO  the sample disc (enough files, a 4 MiB largest file)
#   E: SMALLDISC     few files, a 3 MiB largest file: warns, then runs
#   F: TINYFILES     many files, none of 2 MiB: the small-file message
#   G: BLANK         no files at all
kv_make_disc make_disc sample "$KV_DISCS/sample"
kv_make_disc make_disc small "$KV_DISCS/small"
kv_make_disc make_disc tinyfiles "$KV_DISCS/tinyfiles"
mkdir -p "$KV_DISCS/blank"
kv_map_cdrom d "$KV_DISCS/sample" KORVANE_DEMO
kv_map_cdrom e "$KV_DISCS/small" SMALLDISC
kv_map_cdrom f "$KV_DISCS/tinyfiles" TINYFILES
kv_map_cdrom g "$KV_DISCS/blank" BLANK
