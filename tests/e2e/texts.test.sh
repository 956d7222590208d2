#!/usr/bin/env bash
# Every text the window shows can be read in full: a flasher for a vendor
# name of 24 wide letters, in 9x mode through the virtual ASPI layer. Before
# any flash the window is already wide enough for the longest status texts of
# every phase and failure (measured in the group box's own font by
# fitcheck.exe); the label and the drive list fit; a flash whose read-back
# differs ends with the whole failure text in view; the window only ever grew.
# Screenshots: build/e2e/texts-*.png.
. "$(dirname "$0")/lib.sh"
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
MKFW=$NATIVE_BUILD/mkfirmware
FITCHECK=$WIN_BUILD/fitcheck.exe
DLL=$WIN_BUILD/WNASPI32.DLL
for f in "$NFPACK" "$MKFW" "$FITCHECK" "$DLL"; do [ -e "$f" ] || die "no $f (build first)"; done
# Wine's console output through a file, not a pipe.
fitcheck() {
    local rc=0
    wine "$FITCHECK" "$@" >"$dir/fitcheck.out" 2>&1 || rc=$?
    tr -d '\r' <"$dir/fitcheck.out"
    return $rc
}

# The flasher's longest status texts: each phase with the failure suffixes it
# can end with, the commit and the outcomes.
verify="Read back and Verify drive's DRAM... "
longest=(
    "${verify}, Compare BIN and DRAM Fail! "
    "${verify}, Valid Profile Fail!"
    "${verify}, Read Fail! "
    "Write profile to drive's DRAM... , Fail! "
    "Write BIN to drive's DRAM... , Fail! "
    "Drive entry critical... , Fail! "
    "Don't turn off the system, Flash is in progress..."
    "Flash Completed."
    "Flash Fail."
)

dir=$(workdir texts)
VENDOR=WWWWWWWWWWWWWWWWWWWWWWWW  # 24 of the widest letter
"$MKFW" "$dir/1A50.BIN" --size 262144 --ident "OPTIDRV CDRW-A100       " --revision 1A50 \
    --layout a >/dev/null
"$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/1A50.BIN" "$dir/TEXTS.EXE" --model CDRW-A100 \
    --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor "$VENDOR" --note "" >/dev/null \
    || die "nfpack could not write the flasher"
write_drive_file "$dir/drives.ini" HostAdapter=0 Target=0 Vendor=OPTIDRV Product=CDRW-A100 Revision=1A10 \
    "FlashId=DA C8 00 00" Medium=none FlipReadBufferNth=5 FlipReadBufferByte=100
road_9x "$dir/TEXTS.EXE" "$dir/drives.ini" "$dir/trace.txt"
unmanaged TEXTS.EXE

echo "flasher for a 24-letter vendor: the window before any flash"
start_program "$dir/TEXTS.EXE"
accept_warning CDRW-A100 >/dev/null
expect_eq "label" "Select the $VENDOR drive you want to update:" "$(clicker --raw label)"
size_before=$(fitcheck size)
log "client area: $size_before (designed: 425 201)"
read -r width height <<<"$size_before"
[ "$width" -ge 425 ] && [ "$height" -ge 201 ] || fail "the window is smaller than its design: $size_before"
fitcheck label >"$dir/label.txt" && log "ok: the label fits" \
    || { fail "the label is cut"; cat "$dir/label.txt" >&2; }
fitcheck combo >"$dir/combo.txt" && log "ok: the drive list fits" \
    || { fail "a drive line is cut"; cat "$dir/combo.txt" >&2; }
fitcheck status "${longest[@]}" >"$dir/status.txt" && log "ok: the longest status texts fit" \
    || { fail "a status text is cut"; cat "$dir/status.txt" >&2; }
sed 's/^/    /' "$dir/status.txt"
screenshot texts-drive-list

echo "a read-back that differs: the failure stays readable"
run_flash "Compare BIN and DRAM fail!"
if [[ ${BOXES[*]-} == *"Compare BIN and DRAM fail!"* ]]; then
    expect_eq "status" "${verify}, Compare BIN and DRAM Fail! " "$STATUS"
    fitcheck status >"$dir/failed.txt" && log "ok: the failure text fits" \
        || { fail "the failure text is cut"; cat "$dir/failed.txt" >&2; }
    expect_eq "the window kept its size during the flash" "$size_before" "$(fitcheck size)"
    screenshot texts-compare-failed
else
    fail "no compare failure (status: $STATUS)"
fi
close_program
finish
