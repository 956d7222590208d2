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

# One flasher per damaged place: a byte of the firmware image (4 KiB into
# it, set to 1: the image is zeros) and the last byte of the trailer.
check_damaged() {  # NAME WHERE EXPECTED_CAUSE
    local name=$1 where=$2 cause=$3
    echo "flasher with a flipped byte ($name): refused before the warning, no drive touched"
    local dir offset text
    dir=$(workdir "startup-damaged-$name")
    head -c 262144 /dev/zero >"$dir/1A50.BIN"
    "$NFPACK" "$WIN_BUILD/norvexflash.exe" "$dir/1A50.BIN" "$dir/DMGD.EXE" --model CDRW-A100 \
        --inquiry "OPTIDRV CDRW-A100" --range 1A00-1A99 --vendor OPTIDRV --note "" >/dev/null ||
        { fail "nfpack could not write the flasher"; return; }
    if [ "$where" = image ]; then
        offset=$(grep -a -b -o 'FWBLOCK-MARKER' "$dir/DMGD.EXE" | head -1 | cut -d: -f1)
        offset=$((offset + 152 + 4096))
    else
        offset=$(($(stat -c %s "$dir/DMGD.EXE") - 1))
    fi
    printf '%b' "\\0$(printf '%o' $(( $(od -An -tu1 -j "$offset" -N1 "$dir/DMGD.EXE") ^ 1 )))" |
        dd of="$dir/DMGD.EXE" bs=1 seek="$offset" conv=notrunc status=none
    printf '%s\n' "[DRIVE0]" "HostAdapter=0" "Target=0" "Vendor=OPTIDRV" "Product=CDRW-A100" \
        "Revision=1A10" "FlashId=DA C8 00 00" "Medium=none" >"$dir/drives.ini"
    : >"$dir/aspi.trace"
    road_9x "$dir/DMGD.EXE" "$dir/drives.ini" "$dir/aspi.trace"
    start_program "$dir/DMGD.EXE"
    if capture text clicker --raw wait-box "This flash utility is damaged" 30; then
        expect_eq "$name: the refusal" $'\nERROR:\n\nThis flash utility is damaged: '"$cause"$'\nNo drive was touched.\n' "$text"
        screenshot "startup-damaged-$name"
        clicker press-box OK >/dev/null || fail "could not answer OK"
        if wait_program 30; then
            expect_eq "$name: exit code after the refusal" 0 "$PROGRAM_RC"
        else
            fail "$name: flasher still running after its refusal"
        fi
    else
        fail "$name: no refusal box (a warning instead?): $(clicker --raw box-text 2>/dev/null || true)"
    fi
    stop_program
    expect_eq "$name: no command reached the drive" 0 "$(wc -l <"$dir/aspi.trace")"
}
check_damaged image image "its contents do not match the SHA-256 its builder recorded in it."
check_damaged trailer trailer "its contents do not match the SHA-256 its builder recorded in it."

finish
