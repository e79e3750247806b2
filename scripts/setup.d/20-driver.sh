# The cache device stand-in: keldr.sys as service KELDR handling D: (the sample
# disc) and, when 15-drivemodel.sh mapped it, M: (the modelled drive), started
# once the wineserver has restarted. The 64-bit driver when
# x86_64 is built (both 32- and 64-bit programs reach it), else the 32-bit one.
# KORVANE_FLAGS_DIR: the Unix folder where the driver keeps KELDR-<LETTER>.flags.
kv_need_builds || return 1
case " $KV_ARCHES " in
    *" x86_64 "*) kv_driver_arch=x86_64 ;;
    *) kv_driver_arch=i686 ;;
esac
kv_driver_sys=$KV_BUILD/$kv_driver_arch/keldr.sys
export KORVANE_FLAGS_DIR=$KV_STATE/cacheflags
export KORVANE_DRIVER_FLAGS=${KORVANE_DRIVER_FLAGS:-0x00000005}  # cache on, plus a bit a run must give back untouched
export KORVANE_DRIVER_DRIVES=D
[ -L "$WINEPREFIX/dosdevices/m:" ] && KORVANE_DRIVER_DRIVES=DM
mkdir -p "$KORVANE_FLAGS_DIR"
rm -f "$KORVANE_FLAGS_DIR"/KELDR-*.flags*
if [ ! -f "$kv_driver_sys" ]; then
    kv_log "keldr.sys not built for $kv_driver_arch"; false
else
    kv_key='HKLM\System\CurrentControlSet\Services\KELDR'
    # Not "sc create": it marks every service WOW64, which breaks the 64-bit driver.
    kv_reg "$kv_key" /v Type /t REG_DWORD /d 1 /reg:64
    kv_reg "$kv_key" /v Start /t REG_DWORD /d 3 /reg:64
    kv_reg "$kv_key" /v ErrorControl /t REG_DWORD /d 1 /reg:64
    kv_reg "$kv_key" /v ImagePath /t REG_EXPAND_SZ /d "\\??\\Z:${kv_driver_sys//\//\\}" /reg:64
    kv_reg "$kv_key" /v Drives /t REG_SZ /d "$KORVANE_DRIVER_DRIVES" /reg:64
    kv_reg "$kv_key" /v InitialFlags /t REG_DWORD /d "$KORVANE_DRIVER_FLAGS" /reg:64
    kv_reg "$kv_key" /v FlagsDir /t REG_SZ /d "\\??\\Z:${KORVANE_FLAGS_DIR//\//\\}" /reg:64
    [ "$kv_driver_arch" = i686 ] && kv_reg "$kv_key" /v WOW64 /t REG_DWORD /d 1 /reg:64
    case " ${KV_POST_RESTART:-} " in
        *" kv_start_driver "*) ;;
        *) KV_POST_RESTART="${KV_POST_RESTART:-} kv_start_driver" ;;
    esac
    true
fi
