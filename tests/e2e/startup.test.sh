#!/usr/bin/env bash
# Start-up under Wine: the template comes up with the version caption; a
# flasher shows its warning with the exact text, and "No" ends it with 0; a
# flasher with one flipped byte is refused before the warning, and its ASPI
# layer is never asked for anything.
. "$(dirname "$0")/lib.sh"
e2e_setup

NFPACK=$NATIVE_BUILD/nfpack
[ -x "$NFPACK" ] || die "no $NFPACK (build the native tools first)"

echo "template: builder window"
dir=$(workdir startup-template)
cp "$WIN_BUILD/norvexflash.exe" "$dir/norvexflash.exe"
cp "$E2E_REPO/samples/norvexflash.ini" "$dir/norvexflash.ini"
start_program "$dir/norvexflash.exe"
if caption=$(clicker --raw wait-window " Flash Utility V1.048A " 30); then
    expect_eq "caption begins with the version caption" " Flash Utility V1.048A " "${caption:0:23}"
    sleep 0.5  # painting, for the picture only
    screenshot startup-template
else
    fail "no window captioned \" Flash Utility V1.048A \""
fi
clicker close >/dev/null || true
wait_program 30 || fail "template did not end after closing its window"
stop_program

# One flasher per warning form; the firmware is a blank image.
check_flasher() {  # NAME RANGE EXPECTED_WARNING
    local name=$1 range=$2 expected=$3
    echo "flasher ($name): warning declined"
    local dir
    dir=$(workdir "startup-$name")
    head -c 262144 /dev/zero >"$dir/1A50.BIN"
    "$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/1A50.BIN" "$dir/1A50.EXE" --model CDRW-A100 \
        --inquiry "OPTIDRV CDRW-A100" --range "$range" --vendor OPTIDRV --note "" >/dev/null \
        || { fail "nfpack could not write the flasher"; return; }
    start_program "$dir/1A50.EXE"
    local text
    if capture text clicker --raw wait-box "WARNING:" 30; then
        expect_eq "warning text" "$expected" "$text"
        expect_eq "window caption under the warning" " Flash Utility V1.048A " "$(clicker --raw caption)"
        expect_eq "label" "Select the OPTIDRV drive you want to update:" "$(clicker --raw label)"
        sleep 0.5
        screenshot "startup-$name-warning"
        clicker press-box No || fail "could not answer No"
        if wait_program 30; then
            expect_eq "exit code after No" 0 "$PROGRAM_RC"
        else
            fail "flasher still running after No"
        fi
        clicker wait-gone 5 || fail "window still up after No"
    else
        fail "no warning box"
        screenshot "startup-$name-failed"
    fi
    stop_program
}

check_flasher range 1A00-1A99 $'\nWARNING:\n\nThis flash utility only supports OPTIDRV CDRW-A100 drive with firmware:1A00-1A99\nWe recommend you close all applications in order to run this update! \nDon\'t turn off the system while the flash is in progress!\n\nDo you wish to continue?\n'
check_flasher anyfirmware -AAAA-BBB $'\nWARNING:\n\nThis flash utility only supports OPTIDRV CDRW-A100 drive. \nWe recommend you close all applications in order to run this update!\nDon\'t turn off the system while the flash is in progress! \n\nDo you wish to continue?\n'

echo "flasher with a flipped byte: refused before the warning, no drive touched"
dir=$(workdir startup-damaged)
head -c 262144 /dev/zero >"$dir/1A50.BIN"
"$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/1A50.BIN" "$dir/DMGD.EXE" --model CDRW-A100 \
    --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null ||
    die "nfpack could not write the flasher"
# One byte of the firmware image, 4 KiB into it, set to 1 (the image is zeros).
offset=$(grep -a -b -o 'FWBLOCK-MARKER' "$dir/DMGD.EXE" | head -1 | cut -d: -f1)
printf '\001' | dd of="$dir/DMGD.EXE" bs=1 seek=$((offset + 152 + 4096)) conv=notrunc status=none
printf '%s\n' "[DRIVE0]" "HostAdapter=0" "Target=0" "Vendor=OPTIDRV" "Product=CDRW-A100" \
    "Revision=1A10" "FlashId=DA C8 00 00" "Medium=none" >"$dir/drives.ini"
: >"$dir/aspi.trace"
road_9x "$dir/DMGD.EXE" "$dir/drives.ini" "$dir/aspi.trace"
start_program "$dir/DMGD.EXE"
if capture text clicker --raw wait-box "This flash utility is damaged" 30; then
    expect_eq "the refusal" $'\nERROR:\n\nThis flash utility is damaged: its contents do not match the SHA-256 its builder recorded in it.\nNo drive was touched.\n' "$text"
    screenshot startup-damaged
    clicker press-box OK >/dev/null || fail "could not answer OK"
    if wait_program 30; then
        expect_eq "exit code after the refusal" 0 "$PROGRAM_RC"
    else
        fail "flasher still running after its refusal"
    fi
else
    fail "no refusal box (a warning instead?): $(clicker --raw box-text 2>/dev/null || true)"
fi
stop_program
expect_eq "no command reached the drive" 0 "$(wc -l <"$dir/aspi.trace")"

finish
