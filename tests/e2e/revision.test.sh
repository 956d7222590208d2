#!/usr/bin/env bash
# A flash the drive accepts but does not show: the image does not carry the
# drive's identification, so the virtual drive keeps reporting its old
# revision. After "Flash Completed." and the list refresh the flasher says so
# in a plain box with OK; the status stays "Flash Completed.".
. "$(dirname "$0")/lib.sh"
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
DLL=$WIN_BUILD/WNASPI32.DLL
[ -x "$NFPACK" ] || die "no $NFPACK (build the native tools first)"
[ -f "$DLL" ] || die "no $DLL"

dir=$(workdir revision-9x)
# No identification text and no layout marker (no byte 05) in the image.
{ yes 'sample firmware without the drive identification' || true; } | head -c 262144 >"$dir/1A50.BIN" || true
[ "$(stat -c %s "$dir/1A50.BIN")" = 262144 ] || die "no firmware image"
"$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/1A50.BIN" "$dir/REV9X.EXE" --model CDRW-A100 \
    --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null \
    || die "nfpack could not write the flasher"
write_drive_file "$dir/drives.ini" HostAdapter=0 Target=0 Vendor=OPTIDRV Product=CDRW-A100 Revision=1A10 \
    Medium=none
road_9x "$dir/REV9X.EXE" "$dir/drives.ini" "$dir/trace.txt"

echo "9x family: the drive still reports its old revision after the flash"
start_program "$dir/REV9X.EXE"
capture items accept_warning CDRW-A100
expect_eq "drive listed" "0-0-0  : OPTIDRV CDRW-A100       1A10" "$items"
clicker press-button
clicker --raw wait-box "Update FW:1A10 to FW:1A50" 30 >/dev/null || die "no update prompt"
clicker press-box Yes
if capture text clicker --raw wait-box "still reports firmware revision" 120; then
    expect_eq "revision box" $'\nThe drive accepted the new firmware, but it still reports firmware revision 1A10, not the packaged revision 1A50.\n\nSome drives report a new revision only after the computer has been switched off and on again.\nAfter that, start this flasher again to see which revision the drive reports.\n' "$text"
    expect_eq "status while the box is up" "Flash Completed." "$(clicker --raw status)"
    expect_eq "list refreshed before the box" "0-0-0  : OPTIDRV CDRW-A100       1A10" \
        "$(clicker --raw combo-items)"
    screenshot revision-not-taken
    clicker press-box OK
    sleep 0.5
    expect_eq "status after the box" "Flash Completed." "$(clicker --raw status)"
    expect_eq "progress bar empty" 0 "$(clicker --raw progress)"
else
    fail "no box about the revision (status: $(clicker --raw status))"
    screenshot revision-no-box
fi
expect_eq "the drive kept its revision" 1A10 "$(revision_in "$dir/drives.ini")"
close_program
finish
