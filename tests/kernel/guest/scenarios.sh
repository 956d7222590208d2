# The scenarios, run by /init inside the guest: the native flasher against
# the virtual drive behind the kernel's SCSI target, through sg and sr. Each
# check reports one RESULT line (lib.sh); traces and the program's output go
# to the host as files. /rig/scenarios.wanted may name the scenarios to run.
. /rig/lib.sh
cd /rig
WANTED=$(cat /rig/scenarios.wanted 2>/dev/null)
wanted() { [ -z "$WANTED" ] || case " $WANTED " in *" $1 "*) return 0 ;; *) return 1 ;; esac; }

# A drive file: the drive of the reference flashes, then fault lines.
drive_file() {  # FILE [LINES...]
    local file=$1
    shift
    printf '%s\n' "[DRIVE0]" "Letter=E" "Vendor=OPTIDRV" "Product=CDRW-A100" "Revision=1A10" \
        "FlashId=DA C8 00 00" "Medium=none" "BecomingReady=2" "$@" >"$file"
}
# A fresh handler for a scenario: a new drive (fault counts from its first
# command), a new trace.
fresh_drive() {  # NAME [LINES...]
    local name=$1
    shift
    stop_handler
    drive_file "/tmp/$name.ini" "$@"
    start_handler "/tmp/$name.ini" "/tmp/$name.trace"
}
# Runs the flasher; its output goes to /tmp/NAME.out (sent to the host), its
# exit status to RC.
flasher() {  # NAME ARGS...
    local name=$1
    shift
    norvexflash "$@" </dev/null >"/tmp/$name.out" 2>&1 && RC=0 || RC=$?
    send_file "$name.out" "/tmp/$name.out"
}
# The command blocks of a trace from the load on, without the label and
# without the kernel's own media-event checks (GET EVENT STATUS
# NOTIFICATION, which the flasher never sends): the block layer checks the
# drive once, at once and asynchronously, whenever a program writes its
# events_poll_msecs, so that check may land after the flasher's load.
from_load() { sed -n '/ 1B 00 00 00 03 00 00 00 00 00 00 00 /,$p' "$1" | cut -d' ' -f2- | grep -v '^4A '; }
kernel_checks() { sed -n '/ 1B 00 00 00 03 00 00 00 00 00 00 00 /,$p' "$1" | grep -c ' 4A ' || true; }
# From the first download to the commit, every command as it came.
download_to_commit() {
    sed -n '/ 3B 05 01 .* out /,/ 3B 05 01 00 00 00 00 00 00 \(80\|A0\) 00 00 /p' "$1" | cut -d' ' -f2-
}
# Nothing but the flasher's commands from the first download to the commit.
only_flasher_in_flash() {  # NAME TRACE REFERENCE
    download_to_commit "$2" >/tmp/window.kernel
    download_to_commit "$3" >/tmp/window.aspi
    if [ -s /tmp/window.aspi ] && cmp -s /tmp/window.aspi /tmp/window.kernel; then
        pass "$1: from the first download to the commit only the flasher's commands" "$(wc -l </tmp/window.kernel) lines"
    else
        fail "$1: other commands reached the drive during the flash" \
            "$(diff /tmp/window.aspi /tmp/window.kernel | head -5 | tr '\n' '|')"
    fi
}
contains() { grep -qF -- "$2" "$1"; }
check_contains() {  # NAME FILE TEXT
    if contains "$2" "$3"; then pass "$1"; else fail "$1" "no [$3] in $(basename "$2")"; fi
}
# The target core reports a unit attention after the transport came back;
# one command takes it, as a driver's first command after a reset would.
clear_attention() { sgcheck /dev/sg0 00 >/dev/null 2>&1 || true; }
# sgcheck's status, host status and sense.
sg_line() { sed 's/.*\(status=..\) \(host=..\).*\(sense=[0-9A-F ]*\).*/\1 \2 \3/; s/ *$//'; }
sg_usable() {  # NAME: TEST UNIT READY answers as a drive without a disc
    expect "$1" "status=02 host=00 sense=70 00 02 00 00 00 00 0A 00 00 00 00 3A 00 00 00 00 00" \
        "$(sgcheck /dev/sg0 00 | sg_line)"
}

drive_file /tmp/scan.ini
export_drive /tmp/scan.ini /tmp/scan.trace || { fail export "no /dev/sg0 and /dev/sr0"; exit 1; }
pass export "$(cat /sys/class/scsi_generic/sg0/device/vendor) $(cat /sys/class/scsi_generic/sg0/device/model) as sg0 and sr0"
# Nodes as Debian's udev rules leave them: the group cdrom may use both.
chgrp 24 /dev/sg0 /dev/sr0
chmod 660 /dev/sg0 /dev/sr0

# ---- the path itself, one SG_IO at a time -----------------------------------------
if wanted path; then
    fresh_drive path TimeoutOpcode=3C TransportFailOpcode=3C TransportFailNth=2
    out=$(sgcheck /dev/sg0 --in 96 12 00 00 00 60)
    case "$out" in
        *"status=00 host=00 driver=00 resid=0 "*4F50544944525620434452572D41313030202020202020203141313000*)
            pass "path: INQUIRY through sg: GOOD, 96 bytes, the identification" ;;
        *) fail "path: INQUIRY through sg" "$out" ;;
    esac
    sg_usable "path: TEST UNIT READY: no medium"
    # The first READ BUFFER is held: a 5 s time-out of our own.
    out=$(sgcheck /dev/sg0 --timeout 5 --in 16 3C 01 01 00 00 00 00 00 10)
    expect "path: a held command times out: host status 03, no status, no sense" \
        "status=00 host=03 sense=" "$(echo "$out" | sg_line)"
    ms=$(echo "$out" | sed -n 's/.*duration=\([0-9]*\).*/\1/p')
    if [ "$ms" -ge 5000 ] && [ "$ms" -lt 7000 ]; then pass "path: after the time-out" "${ms} ms"; else fail "path: after the time-out" "${ms} ms"; fi
    sg_usable "path: usable after the abort"
    # The second is refused at the transport.
    expect "path: a transport refusal: host status 0E, no status, no sense" \
        "status=00 host=0E sense=" "$(sgcheck /dev/sg0 --in 16 3C 01 01 00 00 00 00 00 10 | sg_line)"
    transport_back || fail "path: the transport did not come back"
    expect "path: then a unit attention (I_T nexus loss)" \
        "status=02 host=00 sense=70 00 06 00 00 00 00 0A 00 00 00 00 29 07 00 00 00 00" "$(sgcheck /dev/sg0 00 | sg_line)"
    sg_usable "path: then usable"
    send_file path.trace /tmp/path.trace
fi

if [ ! -x /rig/norvexflash ]; then
    result "SKIP the flasher's scenarios: no dist/linux/norvexflash in this build"
    stop_handler
    send_file handler.log /tmp/handler.log
    exit 0
fi

# ---- the scan through sysfs ------------------------------------------------------
if wanted scan; then
    flasher list 1A50A.EXE --list
    expect "scan: --list exit status (a drive is accepted)" 0 "$RC"
    check_contains "scan: the drive from sysfs, with its node" /tmp/list.out "/dev/sg0"
    check_contains "scan: its identification" /tmp/list.out "OPTIDRV CDRW-A100       1A10"
    send_file scan.trace /tmp/scan.trace
fi

# ---- flashes through /dev/sg0: the ASPI road's command blocks -----------------------
flash_equals_aspi() {  # CASE REVISION
    local case=$1 rev=$2
    fresh_drive "$case"
    local t0 t1
    t0=$(cut -d' ' -f1 /proc/uptime)
    flasher "$case" --yes "$case.EXE"
    t1=$(cut -d' ' -f1 /proc/uptime)
    cp "/tmp/$case.trace" "/tmp/$case.flash"  # what the flash sent, before --list adds its own
    expect "$case: exit status 0 (completed, the refreshed list reports $rev)" 0 "$RC"
    pass "$case: the program's run" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f s", b - a }'), $(wc -l <"/tmp/$case.flash") commands"
    check_contains "$case: Flash Completed." "/tmp/$case.out" "Flash Completed."
    from_load "/tmp/$case.flash" >"/tmp/$case.kernel"
    from_load "/rig/ref-$case.trace" >"/tmp/$case.aspi" 2>/dev/null
    if [ ! -s "/tmp/$case.aspi" ]; then
        fail "$case: no reference trace of the ASPI road (tests/linux/expected/$case.trace)"
    elif cmp -s "/tmp/$case.aspi" "/tmp/$case.kernel"; then
        pass "$case: trace from the load on equals the ASPI road's" \
            "$(wc -l <"/tmp/$case.kernel") lines; the kernel's own media-event checks left out: $(kernel_checks "/tmp/$case.flash")"
    else
        fail "$case: trace from the load on differs from the ASPI road's" \
            "$(diff "/tmp/$case.aspi" "/tmp/$case.kernel" | head -5 | tr '\n' '|')"
    fi
    only_flasher_in_flash "$case" "/tmp/$case.flash" "/rig/ref-$case.trace"
    expect "$case: revision written back" "$rev" "$(revision_in "/tmp/$case.ini")"
    flasher "$case-after" --list "$case.EXE"
    check_contains "$case: --list afterwards shows $rev" "/tmp/$case-after.out" "OPTIDRV CDRW-A100       $rev"
    send_file "$case.trace" "/tmp/$case.trace"
}
wanted layout-a && flash_equals_aspi 1A50A 1A50
wanted odd-size && flash_equals_aspi 1A60P 1A60

# ---- /dev/sr0 named, a user of the group cdrom ---------------------------------------
if wanted sr-user; then
    fresh_drive sr
    # The kernel's own filter on sr: a non-root user may not send WRITE BUFFER there.
    su flash -c "/rig/sgcheck /dev/sr0 --out 16 3B 05 01 00 00 00 00 00 10" >/tmp/sr-filter.out 2>&1
    check_contains "sr-user: the sr node refuses WRITE BUFFER to the user (EPERM)" /tmp/sr-filter.out "errno=1 "
    su flash -c "/rig/norvexflash --yes --device /dev/sr0 /rig/1A50A.EXE" </dev/null >/tmp/sr.out 2>&1 && RC=0 || RC=$?
    send_file sr.out /tmp/sr.out
    expect "sr-user: exit status" 0 "$RC"
    check_contains "sr-user: Flash Completed." /tmp/sr.out "Flash Completed."
    expect "sr-user: revision written back" 1A50 "$(revision_in /tmp/sr.ini)"
    expect "sr-user: one commit reached the drive" 1 "$(count_commits /tmp/sr.trace)"
    send_file sr.trace /tmp/sr.trace
fi

# ---- failures --------------------------------------------------------------------------
# 1A70: a 32 KiB image, two chunks, so the commit is the third WRITE BUFFER.
if wanted sense; then
    # The second chunk's WRITE BUFFER fails with sense 03/0C/00.
    fresh_drive sense FailOpcode=3B FailByte=4 FailValue=40 "FailSense=03 0C 00"
    flasher sense --yes 1A70.EXE
    expect "sense: exit status (failed before the commit)" 2 "$RC"
    check_contains "sense: the Write Buffer box with the sense and the status" /tmp/sense.out \
        "Write Buffer> 03 0C 00. 02, 0000"
    check_contains "sense: the status" /tmp/sense.out "Write BIN to drive's DRAM... , Fail! "
    expect "sense: no commit reached the drive" 0 "$(count_commits /tmp/sense.trace)"
    send_file sense.trace /tmp/sense.trace
fi
if wanted transport; then
    # The commit is refused at the transport: the kernel answers host status
    # DID_TRANSPORT_DISRUPTED and no SCSI status.
    fresh_drive transport TransportFailOpcode=3B TransportFailNth=3
    flasher transport --yes 1A70.EXE
    expect "transport: exit status (commit failed or unknown)" 3 "$RC"
    check_contains "transport: Flash Fail." /tmp/transport.out "Flash Fail."
    # No sense, no status; the error code of the failed request: 1117 (0x45D),
    # what the program makes of a host status other than a time-out.
    check_contains "transport: the Write Buffer box" /tmp/transport.out "Write Buffer> 00 00 00. 00, 045D"
    expect "transport: the commit reached the handler once" 1 "$(count_commits /tmp/transport.trace)"
    expect "transport: the drive keeps its revision" 1A10 "$(revision_in /tmp/transport.ini)"
    transport_back || fail "transport: the transport did not come back"
    clear_attention
    sg_usable "transport: the device is usable afterwards"
    send_file transport.trace /tmp/transport.trace
fi
if wanted timeout; then
    # The handler holds the commit; the program's 180 s time-out runs out, the
    # mid-layer aborts the command, the abort notice hands it back.
    fresh_drive timeout TimeoutOpcode=3B TimeoutNth=3
    start=$(cut -d. -f1 /proc/uptime)
    flasher timeout --yes 1A70.EXE
    took=$(($(cut -d. -f1 /proc/uptime) - start))
    expect "timeout: exit status (commit failed or unknown)" 3 "$RC"
    check_contains "timeout: Flash Fail." /tmp/timeout.out "Flash Fail."
    # The error code of the timed-out request: 121 (0x79), the semaphore time-out.
    check_contains "timeout: the Write Buffer box" /tmp/timeout.out "Write Buffer> 00 00 00. 00, 0079"
    if [ "$took" -ge 180 ] && [ "$took" -lt 240 ]; then pass "timeout: the flash took ${took} s"; else fail "timeout: the flash took ${took} s"; fi
    expect "timeout: the commit reached the handler once" 1 "$(count_commits /tmp/timeout.trace)"
    expect "timeout: the drive keeps its revision" 1A10 "$(revision_in /tmp/timeout.ini)"
    sg_usable "timeout: the device is usable afterwards"
    flasher timeout-after --list 1A70.EXE
    check_contains "timeout: --list afterwards shows the old revision" /tmp/timeout-after.out "OPTIDRV CDRW-A100       1A10"
    send_file timeout.trace /tmp/timeout.trace
fi

# ---- media polling, as a desktop sets it ----------------------------------------------
if wanted polling; then
    # Each data transfer takes 50 ms, so a poll every 500 ms would land inside
    # the flash many times over if it were not switched off.
    fresh_drive polling CommandDelayMs=50
    echo 500 >/sys/block/sr0/events_poll_msecs
    sleep 2
    before=$(grep -c ' 4A 01 ' /tmp/polling.trace)
    if [ "$before" -ge 2 ]; then pass "polling: the kernel polls the drive before the flash" "$before polls"; else fail "polling: no polls before the flash" "$before"; fi
    flasher polling --yes 1A50A.EXE
    expect "polling: exit status" 0 "$RC"
    only_flasher_in_flash polling /tmp/polling.trace /rig/ref-1A50A.trace
    expect "polling: restored afterwards" 500 "$(cat /sys/block/sr0/events_poll_msecs)"
    after=$(grep -c ' 4A 01 ' /tmp/polling.trace)
    sleep 2
    if [ "$(grep -c ' 4A 01 ' /tmp/polling.trace)" -gt "$after" ]; then pass "polling: the kernel polls again after the flash"; else fail "polling: no polls after the flash"; fi
    echo 0 >/sys/block/sr0/events_poll_msecs
    send_file polling.trace /tmp/polling.trace
fi

# ---- QEMU's own drives, written elsewhere: ide-cd and scsi-cd -----------------------
wanted emulated && . /rig/emulated.sh

stop_handler
send_file handler.log /tmp/handler.log
