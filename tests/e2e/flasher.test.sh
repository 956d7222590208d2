#!/usr/bin/env bash
# The flasher under Wine: with no optical drive (NT family) it ends with the
# "Can't find ATAPI Drive !" box; in 9x mode without any ASPI layer, the
# layer's box comes once and that box follows; in 9x mode, through the virtual ASPI layer,
# it lists exactly the eligible virtual drives, flashes one to "Flash
# Completed.", and a second run finds that drive already up to date; one
# fault in each command the flash judges stops it with that command's box and
# sends no commit. The 9x runs go through the layer in both completion modes:
# immediate (completed before SendASPI32Command returns) and deferred
# (SS_PENDING, completed later from a thread of the layer).
. "$(dirname "$0")/lib.sh"
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
MKFW=$NATIVE_BUILD/mkfirmware
DLL=$WIN_BUILD/WNASPI32.DLL
[ -x "$NFPACK" ] || die "no $NFPACK (build the native tools first)"
[ -f "$DLL" ] || die "no $DLL"

# A firmware image that carries the drive's identification and revision 1A50.
make_image() {  # FILE
    if [ -x "$MKFW" ]; then
        "$MKFW" "$1" --size 262144 --ident "OPTIDRV CDRW-A100       " --revision 1A50 >/dev/null
    else
        { head -c 4096 /dev/zero; printf 'OPTIDRV CDRW-A100       1A50'; } >"$1"
        head -c $((262144 - 4096 - 28)) /dev/urandom | tr '\005' '\006' >>"$1"
    fi
}

make_flasher() {  # DIR NAME [LAYOUT]
    if [ -n "${3:-}" ]; then
        [ -x "$MKFW" ] || die "no $MKFW (build the native tools first)"
        "$MKFW" "$1/1A50.BIN" --size 262144 --ident "OPTIDRV CDRW-A100       " --revision 1A50 \
            --layout "$3" >/dev/null
    else
        make_image "$1/1A50.BIN"
    fi
    "$NFPACK" "$WIN_BUILD/norvexflash.exe" "$1/1A50.BIN" "$1/$2" --model CDRW-A100 \
        --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null \
        || die "nfpack could not write the flasher"
}

echo "NT family, no optical drive"
dir=$(workdir flasher-nt)
make_flasher "$dir" NTFLASH.EXE
start_program "$dir/NTFLASH.EXE"
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
clicker press-box Yes
if clicker --raw wait-box "Can't find ATAPI Drive" 60 >"$dir/box.txt"; then
    text=$(cat "$dir/box.txt"; echo x)  # keeps the trailing newline
    text=${text%x}
    expect_eq "no-drive box" $'\nERROR:\n\nCan\'t found CDRW-A100 firmware: 1A00-1A99 drive !\n\nThis flash utility only supports CDRW-A100 firmware: 1A00-1A99\n\nCan\'t find ATAPI Drive !\n' "$text"
    screenshot flasher-nt-no-drive
    clicker press-box OK
    wait_program 30 && expect_eq "exit code" 0 "$PROGRAM_RC" || fail "flasher did not end"
else
    fail "no \"Can't find ATAPI Drive !\" box"
    screenshot flasher-nt-failed
fi
stop_program

echo "9x family, no ASPI layer at all: its box once, then the no-drive box"
dir=$(workdir flasher-no-layer)
make_flasher "$dir" NOLAYER.EXE
set_win98 NOLAYER.EXE
overrides=$WINEDLLOVERRIDES
export WINEDLLOVERRIDES="$overrides;wnaspi32=d"  # Wine's own layer stays out too
start_program "$dir/NOLAYER.EXE"
export WINEDLLOVERRIDES=$overrides
clicker wait-box "WARNING:" 30 >/dev/null || die "no warning box"
clicker press-box Yes
if clicker --raw wait-box "Unable to load WNASPI32.DLL !" 60 >/dev/null; then
    log "ok: the missing-layer box"
    clicker press-box OK
    # Another missing-layer box instead would never match: the wait runs out.
    if clicker --raw wait-box "Can't find ATAPI Drive !" 30 >/dev/null; then
        log "ok: the no-drive box follows at once"
        clicker press-box OK
        wait_program 30 && expect_eq "exit code" 0 "$PROGRAM_RC" || fail "flasher did not end"
    else
        fail "no \"Can't find ATAPI Drive !\" box after the missing-layer box (box: $(clicker --raw box-text))"
    fi
else
    fail "no missing-layer box"
fi
stop_program


run_flasher() {  # EXE
    start_program "$1"
    accept_warning CDRW-A100 >/dev/null
}

flash_9x() {  # COMPLETION
    echo "9x family, virtual ASPI layer ($1 completion): drive list and flash"
    dir=$(workdir "flasher-9x-$1")
    make_flasher "$dir" FLASH9X.EXE
    # Another model, the drive to flash, and one more of its model; each
    # completes its commands the way under test.
    {
        drive_section 0 HostAdapter=0 Target=0 Vendor=OTHER Product=DVD-X Revision=1A10 Medium=none \
            "Completion=$1"
        echo
        drive_section 1 HostAdapter=0 Target=1 Vendor=OPTIDRV Product=CDRW-A100 Revision=1A10 \
            "FlashId=DA C8 00 00" Medium=none BecomingReady=2 CommandDelayMs=60 "Completion=$1"
        echo
        drive_section 2 HostAdapter=1 Target=0 Vendor=OPTIDRV Product=CDRW-A100 Revision=1A20 Medium=none \
            "Completion=$1"
    } >"$dir/drives.ini"
    road_9x "$dir/FLASH9X.EXE" "$dir/drives.ini" "$dir/trace.txt"

    run_flasher "$dir/FLASH9X.EXE"
    items=$(clicker --raw combo-items)
    expect_eq "eligible drives listed" $'0-1-0  : OPTIDRV CDRW-A100       1A10\n1-0-0  : OPTIDRV CDRW-A100       1A20' "$items"
    expect_eq "caption" "OPTIDRV Flash Utility V1.048A CDRW-A100" "$(clicker --raw caption)"
    screenshot "flasher-drive-list-$1"

    : >"$dir/trace.txt"
    clicker press-button
    if clicker --raw wait-box "Update FW:1A10 to FW:1A50" 30 >/dev/null; then
        clicker press-box Yes
        # The window answers no questions while it flashes; the screen shows the progress.
        sleep 2
        screenshot "flasher-in-progress-$1"
        if clicker --raw wait-status "Flash Completed." 120 >/dev/null; then
            sleep 0.5
            screenshot "flasher-completed-$1"
            expect_eq "list entry refreshed in place" \
                $'0-1-0  : OPTIDRV CDRW-A100       1A50\n1-0-0  : OPTIDRV CDRW-A100       1A20' \
                "$(clicker --raw combo-items)"
            expect_eq "same item selected" 0 "$(clicker --raw combo-index)"
            expect_eq "progress bar empty" 0 "$(clicker --raw progress)"
        else
            fail "no \"Flash Completed.\" (status: $(clicker --raw status))"
            screenshot "flasher-flash-failed-$1"
        fi
    else
        fail "no update prompt"
    fi

    # The trace holds the whole sequence, in order, on drive 0:1 only.
    {
        echo "0:1 1B 00 00 00 03 00 00 00 00 00 00 00 in 0"
        for _ in 1 2 3; do echo "0:1 00 00 00 00 00 00 00 00 00 00 00 00 in 0"; done
        echo "0:1 4E 00 00 00 00 00 00 00 00 00 00 00 in 0"
        echo "0:1 1B 00 00 00 00 00 00 00 00 00 00 00 in 0"
        for op in "3B 05 01" "3C 01 01"; do
            dir_word=out
            [ "$op" = "3C 01 01" ] && dir_word=in
            for k in $(seq 0 15); do
                printf '0:1 %s %02X %02X 00 00 40 00 00 00 00 %s 16384\n' "$op" $((k / 4)) $(((k % 4) * 64)) "$dir_word"
            done
        done
        echo "0:1 3B 05 01 00 00 00 00 00 00 80 00 00 in 16"
        echo "0:1 12 00 00 00 80 00 00 00 00 00 00 00 in 128"
    } >"$dir/trace.expected"
    if diff -u "$dir/trace.expected" "$dir/trace.txt" >"$dir/trace.diff"; then
        log "ok: trace shows the whole command sequence"
    else
        fail "trace differs from the expected sequence (see $dir/trace.diff)"
        head -20 "$dir/trace.diff" >&2
    fi
    expect_eq "revision written back to the drive file" "Revision=1A50" "$(sed -n '/^\[DRIVE1\]/,/^\[/p' "$dir/drives.ini" | grep '^Revision=')"
    clicker close >/dev/null || true
    wait_program 30 || fail "flasher did not end after closing"
    stop_program
}

flash_9x immediate
flash_9x deferred

echo "9x family: second run finds the drive up to date"
run_flasher "$dir/FLASH9X.EXE"
clicker press-button
if text=$(clicker --raw wait-box "aready the most updated" 30); then
    expect_eq "up-to-date box" $'\nWARNING:\n\nYour drive FW:1A50 is aready the most updated ?' "$text"
    screenshot flasher-up-to-date
    clicker press-box OK
else
    fail "no \"already up to date\" box"
fi
clicker close >/dev/null || true
wait_program 30 || fail "flasher did not end"
stop_program

# One fault in each command the flash judges, in both completion modes: the
# command's own box, the phase's failure suffix, and no commit (the commit's
# own fault: "Flash Fail." and the revision kept). The image has profile
# layout A, so the flash ID, the profile write, entry critical and the profile
# read-back are sent too.
fault_run() {  # COMPLETION NAME KEYS BOX_PREFIX STATUS_SUFFIX COMMITS
    local mode=$1 name=$2 keys=$3 prefix=$4 suffix=$5 commits=$6 text
    : >"$fdir/trace.txt"
    {
        printf '[DRIVE0]\nHostAdapter=0\nTarget=0\nVendor=OPTIDRV\nProduct=CDRW-A100\n'
        printf 'Revision=1A10\nFlashId=DA C8 00 00\nMedium=none\nCompletion=%s\n' "$mode"
        printf '%s\n' $keys | tr '_' ' '  # FailSense=03_0C_00: blanks in a value
    } >"$fdir/drives.ini"
    run_flasher "$fdir/FAULT9X.EXE"
    clicker press-button
    if clicker --raw wait-box "Update FW:1A10 to FW:1A50" 30 >/dev/null; then
        clicker press-box Yes
        if text=$(clicker --raw wait-box "$prefix" 60); then
            [[ $text == "$prefix"* ]] && log "ok: $mode $name: box \"${text%%$'\n'*}\"" \
                || fail "$mode $name: box \"$text\" does not start with \"$prefix\""
            clicker press-box OK
            clicker --raw wait-status "$suffix" 10 >/dev/null \
                || fail "$mode $name: status \"$(clicker --raw status)\" lacks \"$suffix\""
        else
            fail "$mode $name: no \"$prefix\" box (status: $(clicker --raw status))"
            screenshot "flasher-fault-$mode-$name"
        fi
    else
        fail "$mode $name: no update prompt"
    fi
    clicker close >/dev/null || true
    wait_program 30 || fail "$mode $name: flasher did not end"
    stop_program
    expect_eq "$mode $name: commits sent" "$commits" "$(count_commits "$fdir/trace.txt")"
    expect_eq "$mode $name: revision kept" 1A10 "$(revision_in "$fdir/drives.ini")"
}

fdir=$(workdir flasher-faults)
make_flasher "$fdir" FAULT9X.EXE a
road_9x "$fdir/FAULT9X.EXE" "$fdir/drives.ini" "$fdir/trace.txt"
unmanaged FAULT9X.EXE
for mode in immediate deferred; do
    echo "9x family, $mode completion: one fault per judged command"
    s="FailSense=03_0C_00"
    fault_run $mode flash-id "FailOpcode=DF FailByte=1 FailValue=11 $s" "Read Flash ID> " ", Fail! " 0
    fault_run $mode profile-write "FailOpcode=3B FailByte=3 FailValue=08 $s" "Write Profile> " ", Fail! " 0
    fault_run $mode chunk-write "FailOpcode=3B FailByte=4 FailValue=40 FailNth=2 $s" "Write Buffer> " ", Fail! " 0
    fault_run $mode entry-critical "FailOpcode=3B FailByte=9 FailValue=7F FailNth=2 $s" "Entry critical> " ", Fail! " 0
    fault_run $mode profile-read "FailOpcode=3C FailByte=3 FailValue=08 $s" "Read Profile> " ", Valid Profile Fail!" 0
    fault_run $mode chunk-read "FailOpcode=3C FailByte=4 FailValue=80 $s" "Read Buffer> " ", Read Fail! " 0
    fault_run $mode chunk-compare "FlipReadBufferNth=5 FlipReadBufferByte=100" "Compare BIN and DRAM fail!" \
        ", Compare BIN and DRAM Fail! " 0
    fault_run $mode commit "FailOpcode=3B FailByte=9 FailValue=80 $s" "Write Buffer> " "Flash Fail." 1
done
finish
