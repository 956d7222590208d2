# The scenarios on QEMU's own optical drives (sourced by scenarios.sh, after
# those of the TCMU drive): ide-cd on the AHCI controller and scsi-cd on
# virtio-scsi, each once empty and once with a disc. Written elsewhere and
# knowing none of the vendor commands, they answer as a drive without this
# firmware interface does: every flash must stop before the commit. Each
# check reports a RESULT line; what reached each drive is checked on the host
# in QEMU's trace, window by window between this script's markers (mark).

EMU_NODES=/tmp/emulated.nodes
EMU_ANSWERS=/tmp/emulated-answers.txt
MARKS=0

node_of() { sed -n "s|^$1 ||p" "$EMU_NODES"; }
# The identification as the drive reported it: vendor, product, revision (sysfs).
ident_of() {  # DRIVE
    local d
    d=/sys/class/scsi_generic/$(node_of "$1" | sed 's|/dev/||')/device
    echo "$(cat "$d/vendor")$(cat "$d/model")$(cat "$d/rev")"
}

# One marker: INQUIRY with allocation length N (1 to 35: neither the kernel
# nor the flasher asks for so little) opens a window in QEMU's trace of that
# drive, which lasts until the next marker there; ALLOWED is what the host
# lets into it (comma-separated operation codes, or "*").
mark() {  # DRIVE ALLOWED LABEL...
    local drive=$1 allowed=$2
    shift 2
    MARKS=$((MARKS + 1))
    [ "$MARKS" -le 35 ] || fail "emulated: more than 35 markers"
    echo "MARK $MARKS $drive $allowed $*" >&3
    sgcheck "$(node_of "$drive")" --in "$MARKS" 12 00 00 00 "$(printf %02X "$MARKS")" 00 >/dev/null
}

# The drivers, then the four drives: a name for each node from its
# identification (sysfs) and whether it holds a disc: TEST UNIT READY GOOD
# (sr's capacity in sysfs is no help: without a disc it guesses one), asked
# up to three times past a unit attention.
emulated_drives() {
    local m d model medium i answer found
    for m in $(cat /rig/modules.emulated); do
        insmod "/lib/modules/$m.ko" || { fail "emulated: insmod $m"; return 1; }
    done
    for i in $(seq 1 300); do
        [ "$(ls /sys/class/scsi_generic | wc -l)" -ge 5 ] && [ "$(ls -d /sys/block/sr* | wc -l)" -ge 5 ] && break
        sleep 0.1
    done
    : >"$EMU_NODES"
    for d in /sys/class/scsi_generic/sg*; do
        model=$(cat "$d/device/model")
        case "$model" in
            "QEMU DVD-ROM"*) model=ide-cd ;;
            "QEMU CD-ROM"*) model=scsi-cd ;;
            *) continue ;;
        esac
        medium=""
        for i in 1 2 3; do
            answer=$(answer_of "$(sgcheck "/dev/$(basename "$d")" 00)")
            case "$answer" in
                GOOD) medium=disc ;;
                "02 02/3A/"*) medium=empty ;;
                *) continue ;;
            esac
            break
        done
        echo "$model-$medium /dev/$(basename "$d")" >>"$EMU_NODES"
    done
    # Without each of the four once, nothing else here would mean anything.
    found=$(cut -d' ' -f1 "$EMU_NODES" | sort | tr '\n' ' ' | sed 's/ $//')
    expect "emulated: the drives found through sysfs" "ide-cd-disc ide-cd-empty scsi-cd-disc scsi-cd-empty" "$found"
    [ "$found" = "ide-cd-disc ide-cd-empty scsi-cd-disc scsi-cd-empty" ] || return 1
    pass "emulated: the nodes" "$(tr '\n' ' ' <"$EMU_NODES")"
}

# "GOOD" with the bytes moved of ASKED, or the status and the sense key, ASC
# and ASCQ (fixed or descriptor format, the valid bit aside), or the host
# status; from one sgcheck line. With "data": the sense data the command
# returned (REQUEST SENSE), decoded in the same way.
answer_of() {  # SGCHECK-LINE [ASKED [data]]
    echo "$1" | awk -v asked="${2:-0}" -v data="${3:-}" '
        function decode(s,   b, n) {
            n = split(s, b, " ")
            if (n >= 14 && b[1] ~ /^[7F][01]$/) return sprintf("0%s/%s/%s", substr(b[3], 2), b[13], b[14])
            if (n >= 4 && b[1] ~ /^[7F][23]$/) return sprintf("0%s/%s/%s", substr(b[2], 2), b[3], b[4])
            return "no sense"
        }
        {
            if (substr($0, 1, 4) != "ret=") { print "no answer"; exit }
            for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
            if (v["host"] != "00") { printf "host %s\n", v["host"]; exit }
            if (v["status"] != "00") {
                s = $0; sub(/.*sense=/, "", s); sub(/ data=.*/, "", s)
                print v["status"] " " decode(s)
                exit
            }
            out = "GOOD"
            if (asked > 0) out = out sprintf(", %d of %d", asked - v["resid"], asked)
            if (data != "") {
                d = v["data"]; s = ""
                for (i = 1; i < length(d); i += 2) s = s " " substr(d, i, 2)
                out = out ": " decode(s)
            }
            print out
        }'
}

# One command of the flash, as the flasher sends it, on every drive: a row of
# the table of answers.
ask_all() {  # NAME DIRECTION LENGTH BYTES...
    local name=$1 dir=$2 len=$3 drive row line data=""
    shift 3
    [ "$1" = 03 ] && data=data
    row=$(printf '%-28s' "$name")
    for drive in ide-cd-empty ide-cd-disc scsi-cd-empty scsi-cd-disc; do
        if [ "$len" -gt 0 ]; then
            line=$(sgcheck "$(node_of "$drive")" "--$dir" "$len" "$@")
        else
            line=$(sgcheck "$(node_of "$drive")" "$@")
        fi
        row="$row | $(printf '%-18s' "$(answer_of "$line" "$len" $data)")"
        echo "$drive $name $line" >>/tmp/emulated-answers.raw
    done
    echo "$row" | sed 's/ *$//' >>"$EMU_ANSWERS"
}

# What each drive answers to each command of the flash (the commit aside:
# the flasher must never reach it on these drives).
emulated_answers() {
    local drive
    for drive in ide-cd-empty ide-cd-disc scsi-cd-empty scsi-cd-disc; do
        mark "$drive" "*" "the table of answers"
    done
    printf '%-28s | %-18s | %-18s | %-18s | %s\n' command "ide-cd, empty" "ide-cd, disc" \
        "scsi-cd, empty" "scsi-cd, disc" >"$EMU_ANSWERS"
    : >/tmp/emulated-answers.raw
    ask_all "START STOP UNIT, load" in 0 1B 00 00 00 03
    ask_all "TEST UNIT READY" in 0 00
    ask_all "READ CAPACITY" in 8 25
    ask_all "STOP PLAY/SCAN" in 0 4E
    ask_all "START STOP UNIT, stop" in 0 1B 00 00 00 00
    ask_all "DF 11 read flash ID" in 128 DF 11
    ask_all "WRITE BUFFER profile" out 2048 3B 05 01 08 00 00 00 08 00 7F
    ask_all "WRITE BUFFER data" out 16384 3B 05 01 00 00 00 00 40 00 00
    ask_all "WRITE BUFFER entry critical" in 0 3B 05 01 00 00 00 00 00 00 7F
    ask_all "READ BUFFER profile" in 2048 3C 01 01 08 00 00 00 08 00
    ask_all "READ BUFFER data" in 16384 3C 01 01 00 00 00 00 40 00
    ask_all "REQUEST SENSE after it" in 18 03 00 00 00 12
    cat "$EMU_ANSWERS"
    send_file emulated-answers.txt "$EMU_ANSWERS"
    send_file emulated-answers.raw /tmp/emulated-answers.raw
}

# The scan: every drive through sysfs, with a flasher for another model.
emulated_scan() {
    local drive node ident line
    for drive in ide-cd-empty ide-cd-disc scsi-cd-empty scsi-cd-disc; do
        mark "$drive" 12 "--list of a flasher for another model"
    done
    fresh_drive emulated-scan  # the TCMU drive answers the scan too
    flasher emulated-scan --list 1A50A.EXE
    expect "emulated: --list of a flasher for another model: exit status (the TCMU drive is accepted)" 0 "$RC"
    for drive in ide-cd-empty ide-cd-disc scsi-cd-empty scsi-cd-disc; do
        node=$(node_of "$drive")
        ident=$(ident_of "$drive")
        line=$(grep "^$node " /tmp/emulated-scan.out)
        case "$line" in
            *" $ident  not accepted: another model; this flasher is for \"OPTIDRV CDRW-A100\""*)
                pass "emulated $drive: the scan finds $node as \"$ident\", another model" ;;
            *) fail "emulated $drive: the scan's line for $node" "[$line], sysfs [$ident]" ;;
        esac
    done
}

# One drive with the flasher for its own identification: accepted; the flash
# goes as far as the drive lets it; the drive answers as before afterwards.
emulated_flash() {  # DRIVE
    local drive=$1 node exe box tur
    node=$(node_of "$drive")
    case "$drive" in ide-cd-*) exe=2.6D.EXE ;; *) exe=2.6C.EXE ;; esac
    mark "$drive" 12 "--list of its own flasher"
    flasher "$drive-list" --list --device "$node" "$exe"
    expect "emulated $drive: --list of $exe: exit status (accepted)" 0 "$RC"
    check_contains "emulated $drive: $exe accepts it" "/tmp/$drive-list.out" "$(ident_of "$drive")  accepted"
    tur=$(answer_of "$(sed -n "s/^$drive TEST UNIT READY //p" /tmp/emulated-answers.raw)")
    case "$drive" in
        *-empty)
            # The first command it refuses is the first WRITE BUFFER; the box
            # shows what the drive answered to it in the table: "KEY ASC
            # ASCQ. STATUS, ERROR" (no system error with sense).
            box=$(answer_of "$(sed -n "s/^$drive WRITE BUFFER data //p" /tmp/emulated-answers.raw)" |
                sed -E 's|^(..) (..)/(..)/(..)$|\2 \3 \4. \1, 0000|')
            mark "$drive" 12,1B,00,4E,3B "the flash"
            flasher "$drive-flash" --yes --device "$node" "$exe"
            expect "emulated $drive: the flash: exit status (failed before the commit)" 2 "$RC"
            check_contains "emulated $drive: the Write Buffer box with the drive's own sense" \
                "/tmp/$drive-flash.out" "Write Buffer> $box"
            check_contains "emulated $drive: the status" "/tmp/$drive-flash.out" "Write BIN to drive's DRAM... , Fail! "
            ;;
        *-disc)
            mark "$drive" 12,1B,00,25 "the flash with a disc"
            flasher "$drive-flash" --yes --device "$node" "$exe"
            expect "emulated $drive: the flash with a disc: exit status" 2 "$RC"
            check_contains "emulated $drive: the disc box" "/tmp/$drive-flash.out" \
                "Remove disc, before to do the flash task."
            ;;
    esac
    mark "$drive" 12,00 "afterwards"
    expect "emulated $drive: INQUIRY afterwards" GOOD "$(answer_of "$(sgcheck "$node" --in 36 12 00 00 00 24 00)")"
    expect "emulated $drive: TEST UNIT READY afterwards, as before" "$tur" "$(answer_of "$(sgcheck "$node" 00)")"
}

if emulated_drives; then
    emulated_answers
    emulated_scan
    for drive in ide-cd-empty ide-cd-disc scsi-cd-empty scsi-cd-disc; do
        emulated_flash "$drive"
    done
    for drive in ide-cd-empty ide-cd-disc scsi-cd-empty scsi-cd-disc; do
        mark "$drive" "*" "the end"
    done
fi
