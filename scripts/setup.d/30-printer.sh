# Default printer: Wine's PostScript driver writing each job to $KORVANE_PRINT_FILE
# (each job overwrites the file). Sourced by the test command.
KV_PRINT_DIR=$KV_BUILD/print
mkdir -p "$KV_PRINT_DIR"
export KORVANE_PRINT_FILE=$KV_PRINT_DIR/korvane.ps
rm -f "$KORVANE_PRINT_FILE"
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
