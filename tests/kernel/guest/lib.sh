# Shared functions of the guest's scenarios: the virtual drive behind the
# kernel's SCSI target, results and files sent to the host. The drive files
# and traces are read as everywhere else (scripts/lib/trace.sh, copied in).
. /rig/trace.sh
T=/sys/kernel/config/target
BACKSTORE=$T/core/user_0/vdrive
TPG=$T/loopback/naa.5001405000000001/tpgt_1
HANDLER_PID=""

# One result line for the host: "RESULT ok|FAIL CHECK[: DETAIL]".
result() { echo "RESULT $*" >&3; echo "rig: $*"; }
pass() { result "ok $1${2:+: $2}"; }
fail() { result "FAIL $1${2:+: $2}"; }
# Compares exactly; a difference is one FAIL line with both values.
expect() {  # NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected [$2] got [$3]"; fi
}
# A file for the host, between FILE and END lines.
send_file() {  # NAME PATH
    echo "FILE $1" >&3
    [ -f "$2" ] && cat "$2" >&3
    echo "END" >&3
}

# Starts the handler on drive file $1 (trace to $2) and waits until it serves.
start_handler() {  # DRIVES TRACE
    rm -f /tmp/handler.ready
    : >"$2"
    vtcmu --name vdrive --drives "$1" --trace "$2" --loopback "$TPG" --ready /tmp/handler.ready \
        2>>/tmp/handler.log &
    HANDLER_PID=$!
    for i in $(seq 1 100); do
        [ -f /tmp/handler.ready ] && return 0
        sleep 0.1
    done
    echo "rig: the handler did not start:"; cat /tmp/handler.log
    return 1
}
# After a transport refusal the handler brings the transport back once the
# kernel has refused the command; a command sent before that would be
# refused too. Waits up to 5 s.
transport_back() {
    for i in $(seq 1 50); do
        [ "$(cat "$TPG/transport_status")" = online ] && return 0
        sleep 0.1
    done
    return 1
}
stop_handler() {
    [ -n "$HANDLER_PID" ] || return 0
    kill "$HANDLER_PID" 2>/dev/null
    wait "$HANDLER_PID" 2>/dev/null
    HANDLER_PID=""
}

# The backstore (a TCMU device with abort notices and a command time-out
# longer than any the flasher uses), then the loopback LUN: the kernel scans
# the device at once, so the handler must already serve it.
export_drive() {  # DRIVES TRACE
    mkdir -p "$BACKSTORE"
    echo -n "dev_size=1048576,dev_config=norvex/vdrive,max_data_area_mb=4" >"$BACKSTORE/control"
    echo 300 >"$BACKSTORE/attrib/cmd_time_out"
    echo 1 >"$BACKSTORE/attrib/tmr_notification"
    echo 1 >"$BACKSTORE/enable"
    start_handler "$1" "$2" || return 1
    mkdir -p "$TPG/lun/lun_0"
    echo naa.5001405000000002 >"$TPG/nexus"
    ln -s "$BACKSTORE" "$TPG/lun/lun_0/vdrive"
    for i in $(seq 1 100); do
        [ -e /dev/sg0 ] && [ -e /dev/sr0 ] && return 0
        sleep 0.1
    done
    echo "rig: no /dev/sg0 and /dev/sr0 after the export"; ls /sys/class/scsi_generic /dev
    return 1
}
