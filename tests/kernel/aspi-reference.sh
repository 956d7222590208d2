#!/usr/bin/env bash
# The ASPI road's traces of the flashes the real-kernel rig makes: each
# flasher DIR/<NAME>.EXE (1A50A and 1A60P) runs under Wine in 9x mode against
# the virtual WNASPI32.DLL and the same drive as in the guest, and its trace
# goes to DIR/ref-<NAME>.trace. The guest compares its handler's trace with
# these line by line.
#
#   tests/kernel/aspi-reference.sh DIR
#
# Environment as tests/e2e/lib.sh (prefix, display, builds).
. "$(dirname "$0")/../e2e/lib.sh"
DIR=$(realpath "${1:?usage: aspi-reference.sh DIR}")
e2e_setup
DLL=$WIN_BUILD/WNASPI32.DLL
[ -f "$DLL" ] || die "no $DLL (build first: ./build.sh)"
cp "$DLL" "$DIR/WNASPI32.DLL"

for rev in 1A50A 1A60P; do
    exe=$rev.EXE
    [ -f "$DIR/$exe" ] || die "no $DIR/$exe"
    # The guest's drive: the same identification, chip and readiness.
    printf '%s\n' "[DRIVE0]" "HostAdapter=0" "Target=0" "Vendor=OPTIDRV" "Product=CDRW-A100" \
        "Revision=1A10" "FlashId=DA C8 00 00" "Medium=none" "BecomingReady=2" >"$DIR/aspi-$rev.ini"
    trace=$DIR/ref-$rev.trace
    : >"$trace"
    set_win98 "$exe"
    (cd "$DIR" && NORVEX_SIM_DRIVES=$(winepath -w "$DIR/aspi-$rev.ini") \
        NORVEX_SIM_TRACE=$(winepath -w "$trace") WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n,b" \
        exec wine "$exe") >"$DIR/aspi-$rev.log" 2>&1 &
    E2E_PROGRAM_PID=$!
    clicker wait-box "WARNING:" 60 >/dev/null || die "$exe: no warning box"
    clicker press-box Yes
    clicker wait-window "CDRW-A100" 60 >/dev/null || die "$exe: no drive list"
    clicker press-button
    clicker wait-box "Update FW" 30 >/dev/null || die "$exe: no update prompt"
    clicker press-box Yes
    status=""
    for i in $(seq 1 600); do
        capture status clicker --raw status || true
        [ "$status" = "Flash Completed." ] && break
        case "$status" in *Fail*) die "$exe: the reference flash failed: $status" ;; esac
        sleep 0.2
    done
    [ "$status" = "Flash Completed." ] || die "$exe: the reference flash did not complete"
    clicker close >/dev/null 2>&1 || true
    wait_program 30 || die "$exe did not end"
    stop_program
    log "$exe: $(wc -l <"$trace") command blocks on the ASPI road"
done
finish
