# Default printer: Wine's PostScript driver writing each job to $KORVANE_PRINT_FILE
# (each job overwrites the file). Sourced by the test command.
# kv_print_pages turns the last job into a PDF and a PNG beside it.
mkdir -p "$KV_PRINT_DIR"
export KORVANE_PRINT_FILE=$KV_PRINT_DIR/korvane.ps
rm -f "$KORVANE_PRINT_FILE" "$KV_PRINT_DIR/korvane.pdf" "$KV_PRINT_DIR/korvane.png"

# The finished job in $KORVANE_PRINT_FILE as korvane.pdf and korvane.png (100 dpi)
# beside it, with their paths on standard output; 1 when there is no finished job
# (it ends in %%EOF) or ghostscript fails.
kv_print_pages() {
    local ps=$KORVANE_PRINT_FILE base=${KORVANE_PRINT_FILE%.ps} log=$KV_PRINT_DIR/gs.log
    [ -s "$ps" ] || { kv_log "nothing printed in $ps"; return 1; }
    tail -c 16 "$ps" | grep -q '%%EOF' || { kv_log "the print job in $ps is unfinished"; return 1; }
    if ! gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$base.pdf" "$ps" >"$log" 2>&1 ||
       ! gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r100 -dTextAlphaBits=4 -dGraphicsAlphaBits=4 \
            -sOutputFile="$base.png" "$ps" >>"$log" 2>&1; then
        kv_log "ghostscript could not convert $ps: $(tail -3 "$log")"
        return 1
    fi
    echo "printed page (PDF): $base.pdf"
    echo "printed page (PNG): $base.png"
}
kv_need_builds || return 1
kv_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports' /v "$KORVANE_PRINT_FILE" /t REG_SZ /d '' /reg:64
kv_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports' /v "$KORVANE_PRINT_FILE" /t REG_SZ /d ''
kv_printsetup=
for kv_arch in $KV_ARCHES; do
    kv_runs_here "$kv_arch" || continue
    if [ -f "$KV_BUILD/$kv_arch/printsetup.exe" ]; then kv_printsetup=$KV_BUILD/$kv_arch/printsetup.exe; break; fi
done
if [ -z "$kv_printsetup" ]; then
    kv_log "printsetup.exe not built for an architecture this host runs ($KV_ARCHES)"; false
else
    wine "$kv_printsetup" KorvanePS "$KORVANE_PRINT_FILE" </dev/null >"$KV_PRINT_DIR/printsetup.log" 2>&1 \
        || { kv_log "printer set-up failed: $(cat "$KV_PRINT_DIR/printsetup.log")"; false; }
fi
