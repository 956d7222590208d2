# The host's side of QEMU's own optical drives in the real-kernel rig
# (sourced by run.sh): ide-cd on the emulated AHCI controller and scsi-cd on
# virtio-scsi, each once empty and once with a disc image made here; a
# flasher for each model's own identification, written by the Linux program
# in its builder role from tests/kernel/emulated-drives.ini; and, after the
# guest ended, QEMU's own trace of every command block that reached them,
# checked against what the guest's scenarios (guest/emulated.sh) said may
# reach each drive. docs/TESTING.md, "QEMU's own drives".

# The kernel's drivers for them, loaded by the guest after the scenarios of
# the TCMU drive (which stays sg0 and sr0), each after those it depends on.
EMU_MODULES="libata libahci ahci virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev
             virtio_pci virtio_scsi"
EMU=$OUT/emulated
EMU_TRACE=$EMU/qemu-trace.log

# The disc: an ISO 9660 image of one small file.
emulated_disc() {
    rm -rf "$EMU" && mkdir -p "$EMU/disc" "$EMU/tools" "$EMU/work"
    echo "A disc in the drive: a flash must stop at the disc check." >"$EMU/disc/README.TXT"
    xorriso -as mkisofs -quiet -V NORVEX_RIG -o "$EMU/disc.iso" "$EMU/disc" 2>"$EMU/xorriso.log" ||
        die "xorriso could not write the disc image ($(tail -1 "$EMU/xorriso.log"))"
}

# The flashers 2.6D.EXE (QEMU DVD-ROM, the ide-cd) and 2.6C.EXE (QEMU CD-ROM,
# the scsi-cd), written by the builder beside the template and the catalogue
# into $WORK, from where they go into the guest.
emulated_flashers() {
    cp "${NORVEX_KERNEL_TEMPLATE:-$REPO/dist/norvexflash.exe}" "$EMU/tools/norvexflash.exe"
    cp "$REPO/tests/kernel/emulated-drives.ini" "$EMU/tools/norvexflash.ini"
    local model ident revision
    for model in "QEMU DVD-ROM:2.6D" "QEMU CD-ROM:2.6C"; do
        IFS=: read -r model revision <<<"$model"
        ident=$(printf '%-8s%-16s' QEMU "$model")
        "$NATIVE/mkfirmware" "$EMU/work/$revision.BIN" --size 32768 --ident "$ident" \
            --revision "$revision" --layout plain >/dev/null || die "mkfirmware could not write $revision.BIN"
        (cd "$EMU/work" && "$FLASHER" --model "$model" --firmware "$revision.BIN" ../tools/norvexflash.exe \
            </dev/null >"$EMU/build-$revision.log" 2>&1) ||
            die "the builder did not write $revision.EXE: $(tail -3 "$EMU/build-$revision.log" | tr '\n' ' ')"
        cp "$EMU/work/$revision.EXE" "$WORK/"
    done
}

# QEMU's part: the controllers, the four drives and the trace of their
# command blocks (QEMU's log trace backend).
emulated_qemu_args() {
    printf '%s\n' ide_atapi_cmd_packet scsi_req_parsed scsi_req_parse_bad scsi_disk_new_request \
        >"$EMU/trace-events"
    : >"$EMU_TRACE"
    local iso=file=$EMU/disc.iso,format=raw,readonly=on
    EMU_ARGS=(-device ahci,id=ahci
        -drive if=none,id=ide-empty,media=cdrom -device ide-cd,bus=ahci.0,drive=ide-empty
        -drive "if=none,id=ide-disc,media=cdrom,$iso" -device ide-cd,bus=ahci.1,drive=ide-disc
        -device virtio-scsi-pci,id=vscsi
        -drive if=none,id=scsi-empty,media=cdrom -device scsi-cd,bus=vscsi.0,scsi-id=0,drive=scsi-empty
        -drive "if=none,id=scsi-disc,media=cdrom,$iso" -device scsi-cd,bus=vscsi.0,scsi-id=1,drive=scsi-disc
        -trace "events=$EMU/trace-events,file=$EMU_TRACE")
}

# QEMU's trace as a command trace of the rig's own form: the device (ide:
# the IDE state of its port; scsi: its target), then the command block in
# hexadecimal. An ATAPI packet has its 12 bytes; a SCSI block as many as its
# group defines, padded with "--" to 12; a block the SCSI layer refused
# before the drive model saw it only its operation code.
emulated_commands() {
    tr -d '\r' <"$EMU_TRACE" | awk '
        function flush() { if (pending != "") print pending; pending = "" }
        function field(name,   i) { for (i = 1; i < NF; i++) if ($i == name) return $(i + 1); return "" }
        # scsi_req_parsed prints the tag as a signed 32-bit number,
        # scsi_disk_new_request as 0x and lowercase hex: virtio-scsi tags
        # come from addresses, often with the top bit set. By hand: the %x
        # of printf for a number above 2^31 differs between awks.
        function taghex(v,   s, d) {
            v = v + 0; if (v < 0) v += 4294967296
            if (v == 0) return "0x0"
            s = ""
            while (v > 0) { d = v % 16; s = substr("0123456789abcdef", d + 1, 1) s; v = (v - d) / 16 }
            return "0x" s
        }
        /ide_atapi_cmd_packet / {
            flush()
            state = $0; sub(/.*IDEState: /, "", state); sub(/;.*/, "", state)
            packet = $0; sub(/.*packet: */, "", packet); sub(/ *$/, "", packet)
            print "ide:" state " " toupper(packet)
            next
        }
        /scsi_req_parsed / || /scsi_req_parse_bad / {
            flush()
            line = sprintf("scsi:%d %02X", field("target"), field("command"))
            if (/scsi_req_parse_bad /) print line
            else { pending = line; tag = taghex(field("tag")) }
            next
        }
        /scsi_disk_new_request / {
            t = $0; sub(/.*tag=/, "", t); sub(/ .*/, "", t)
            if (pending != "" && t == tag) {
                data = $0; sub(/.*data= */, "", data)
                n = split(data, b, " ")
                split(pending, p, " ")
                line = p[1]
                for (i = 1; i <= n || i <= 12; i++) line = line " " (i <= n ? toupper(substr(b[i], 3)) : "--")
                print line
                pending = ""
            }
            next
        }
        END { flush() }' >"$EMU/commands.trace"
}

# The host's checks, as result lines of the guest's form: each marker the
# guest sent ("MARK N DRIVE ALLOWED LABEL": INQUIRY with allocation length N
# to DRIVE) names the device of DRIVE in the trace and opens a window that
# lasts until the next marker on that device; only the operation codes in
# ALLOWED (comma-separated, or "*") may be in it, leaving out the kernel's
# own: GET EVENT STATUS NOTIFICATION (4A, the block layer's media check) and
# REQUEST SENSE (03, libata's error handler fetching an ATAPI drive's sense).
# Then for each drive: no commit in the whole run, every WRITE BUFFER seen
# with its bytes.
emulated_checks() {  # RESULTS
    local results=$1 n drive allowed label address window ops own bad
    grep -q '^MARK ' "$results" || return 0
    emulated_commands
    : >"$EMU/drives"
    while read -r _ n drive allowed label; do
        address=$(awk -v m="$(printf '%02X' "$n")" '$2 == "12" && $3 == "00" && $5 == "00" && $6 == m && $7 == "00" { print $1; exit }' \
            "$EMU/commands.trace")
        if [ -z "$address" ]; then
            echo "RESULT FAIL emulated $drive: marker $n ($label) is not in QEMU's trace" >>"$results"
            continue
        fi
        grep -q "^$drive " "$EMU/drives" || echo "$drive $address" >>"$EMU/drives"
        # The window: the marker's line on that device, up to the next marker there.
        window=$(awk -v a="$address" -v m="$(printf '%02X' "$n")" '
            $1 != a { next }
            $2 == "12" && $3 == "00" && $5 == "00" && $7 == "00" && length($6) == 2 && $6 <= "23" {
                if (open) exit
                if ($6 == m) { open = 1; next }
            }
            open { print $2 }' "$EMU/commands.trace" | tr '\n' ' ')
        own=$(printf '%s\n' $window | grep -cx -e 4A -e 03 || true)
        ops=$(echo $(printf '%s\n' $window | grep -vx -e 4A -e 03))
        bad=""
        [ "$allowed" = "*" ] || bad=$(printf '%s\n' $ops | grep -vx -F "$(echo "$allowed" | tr ',' '\n')" || true)
        if [ -z "$bad" ]; then
            echo "RESULT ok emulated $drive: $label: only ${ops:-nothing} reached the drive (QEMU's trace; the kernel's own besides: $own)" >>"$results"
        else
            echo "RESULT FAIL emulated $drive: $label: $(echo $bad) reached the drive; allowed: $allowed; all: $ops" >>"$results"
        fi
    done < <(grep '^MARK ' "$results")
    while read -r drive address; do
        grep "^$address " "$EMU/commands.trace" >"$EMU/$drive.trace"
        n=$(count_commits "$EMU/$drive.trace")
        if [ "$n" -eq 0 ]; then
            echo "RESULT ok emulated $drive: no commit reached the drive ($(wc -l <"$EMU/$drive.trace") commands in QEMU's trace)" >>"$results"
        else
            echo "RESULT FAIL emulated $drive: $n commit(s) reached the drive" >>"$results"
        fi
        bad=$(awk '$2 == "3B" && NF < 12' "$EMU/$drive.trace" | wc -l)
        [ "$bad" -eq 0 ] || echo "RESULT FAIL emulated $drive: $bad WRITE BUFFER(s) without their bytes in QEMU's trace" >>"$results"
    done <"$EMU/drives"
    # The guest's table of the drives' answers, in the log and beside the kept one.
    if [ -f "$OUT/files/emulated-answers.txt" ]; then
        echo "  QEMU's drives' answers to the flash's commands:"
        sed 's/^/    /' "$OUT/files/emulated-answers.txt"
        if diff -u "$REPO/tests/kernel/emulated-answers.txt" "$OUT/files/emulated-answers.txt" >"$EMU/answers.diff"; then
            echo "RESULT ok emulated: the answers equal tests/kernel/emulated-answers.txt" >>"$results"
        else
            echo "RESULT FAIL emulated: the answers differ from tests/kernel/emulated-answers.txt: $(grep '^[-+][^-+]' "$EMU/answers.diff" | head -4 | tr '\n' '|')" >>"$results"
        fi
    fi
}
